// NUVATimePopView: the small 300x75 banner the channel core slides over the
// game to advertise the time-limited store. It shows an animated GIF
// background ("timepopbg.gif" of NUVALight.bundle), a countdown text in its
// lower right ("5秒后自动关闭" until the owner writes into lastTimeLabel)
// and a close image in its upper right ("close.png"), and reports a tap on
// the close image through closeBlock.
//
// The banner only builds and holds its parts. The owner sets its frame,
// positions, animates and hides it, updates the countdown every second and
// handles a tap on the banner itself. A missing GIF leaves the background
// empty; a missing close image leaves an empty square that still takes taps.
// Main thread only.
#pragma once

#include <functional>

#include "kit/graphics/geometry.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"
#include "ui/images/nuva_animated_gif_view.h"

class NUVATimePopView : public kit::View {
 public:
  // The banner with its parts built; the frame is the owner's to set.
  static kit::Ref<NUVATimePopView> make(const kit::Rect& frame = {});

  // Use make, which builds the parts; public for kit::make.
  explicit NUVATimePopView(const kit::Rect& frame = {}) : kit::View(frame) {}

  // The close image's tap: calls closeBlock when one is set.
  void addPopGestureRecognizer();

  // Hiding the banner pauses its background GIF, which only watches its own
  // visibility; the owner keeps the hidden banner on the window between
  // showings.
  void setHidden(bool hidden) override;

  // The parts, each made on first use.
  const kit::Ref<NUVAAnimatedGIFView>& popBg();
  const kit::Ref<kit::Label>& lastTimeLabel();
  const kit::Ref<kit::ImageView>& closeImage();

  const std::function<void()>& closeBlock() const { return closeBlock_; }
  void setCloseBlock(std::function<void()> block) { closeBlock_ = std::move(block); }

 private:
  void p_setupUI();

  kit::Ref<NUVAAnimatedGIFView> popBg_;
  kit::Ref<kit::Label> lastTimeLabel_;
  kit::Ref<kit::ImageView> closeImage_;
  std::function<void()> closeBlock_;
};
