// NUVAAnimatedGIFView: an image view that plays an NUVAAnimatedGIF.
//
// A display link on the main run loop, aimed at the view through a weak
// proxy, ticks as often as the frame delays need (their greatest common
// divisor, at most 60 times a second). Each tick asks the model for the
// frame under the playhead, shows it, and moves the playhead on by the time
// that passed, counting down loops at the end of each pass. A frame that is
// not decoded yet holds the playhead where it is, so no frame loses time
// and none is skipped to catch up.
//
// It plays only while it is really visible: in a window, with a superview,
// not hidden and not fully transparent; any change of these starts or
// pauses it. Without an animated image it is a plain kit::ImageView, and
// setting a still image with setImage clears the animated one.
//
//   auto gifView = NUVAAnimatedGIFView::make();
//   gifView->setContentMode(kit::ContentMode::ScaleAspectFill);
//   gifView->setAnimatedImage(NUVAAnimatedGIF::animatedImageWithGIFData(data));
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "kit/ui/display_link.h"
#include "kit/ui/image_view.h"
#include "ui/images/nuva_animated_gif.h"

class NUVAGIFWeakProxy;

class NUVAAnimatedGIFView : public kit::ImageView {
 public:
  // Called after each full pass with the passes still to play.
  using LoopCompletionBlock = std::function<void(size_t loopCountRemaining)>;

  static constexpr double kDisplayRefreshRate = 60.0;

  static kit::Ref<NUVAAnimatedGIFView> make(const kit::Rect& frame = {}) {
    return kit::make<NUVAAnimatedGIFView>(frame);
  }
  // A view sized to the image, at the origin.
  static kit::Ref<NUVAAnimatedGIFView> withImage(kit::Ref<kit::Image> image,
                                                 kit::Ref<kit::Image> highlightedImage = nullptr);
  explicit NUVAAnimatedGIFView(const kit::Rect& frame = {});
  ~NUVAAnimatedGIFView() override;

  // ---- The animated image
  const kit::Ref<NUVAAnimatedGIF>& animatedImage() const { return animatedImage_; }
  // Shows the poster frame and plays from the start with the full loop
  // count; setting the image already set does nothing.
  void setAnimatedImage(kit::Ref<NUVAAnimatedGIF> animatedImage);
  const LoopCompletionBlock& loopCompletionBlock() const { return loopCompletionBlock_; }
  void setLoopCompletionBlock(LoopCompletionBlock block) { loopCompletionBlock_ = std::move(block); }
  // The frame on screen and the playhead.
  const kit::Ref<kit::Image>& currentFrame() const { return currentFrame_; }
  size_t currentFrameIndex() const { return currentFrameIndex_; }
  // Passes still to play (the largest size_t for a GIF that loops forever).
  size_t loopCountdown() const { return loopCountdown_; }

  // The run loop mode of the display link: only the default or the common
  // modes; anything else stores defaultRunLoopMode(). Takes effect when the
  // link is made (on the first start).
  const std::string& runLoopMode() const { return runLoopMode_; }
  void setRunLoopMode(const std::string& mode);
  // The common modes on two or more active processors (playing on while
  // the player scrolls), else the default mode.
  static std::string defaultRunLoopMode();
  // The ticker; nil until playing first starts.
  const kit::Ref<kit::DisplayLink>& displayLink() const { return displayLink_; }

  // ---- kit::ImageView: with an animated image set these read its frames.
  // The current frame while an animated image is set, else the still image.
  const kit::Ref<kit::Image>& image() const override;
  // A still image replaces the animated one (nil leaves it).
  void setImage(kit::Ref<kit::Image> image) override;
  // Ignored while an animated image is set.
  void setHighlighted(bool highlighted) override;
  void startAnimating() override;
  // Pauses the display link; it stays on the run loop.
  void stopAnimating() override;
  bool isAnimating() const override;
  kit::Ref<kit::Image> displayedImage() const override;
  kit::Size intrinsicContentSize() const override;

  // ---- kit::View: each re-decides whether to play.
  void didMoveToSuperview() override;
  void didMoveToWindow() override;
  void setAlpha(double alpha) override;
  void setHidden(bool hidden) override;

  // One tick of the display link.
  void displayDidRefresh(kit::DisplayLink& displayLink);

 private:
  void updateShouldAnimate();
  void startOrStopForVisibility();
  // The end of a pass: counts it and wraps the playhead, or stops playing
  // after the last pass (false).
  bool completePass();
  // The greatest common divisor of the frame delays, in seconds.
  double frameDelayGreatestCommonDivisor() const;

  kit::Ref<NUVAAnimatedGIF> animatedImage_;
  LoopCompletionBlock loopCompletionBlock_;
  kit::Ref<kit::Image> currentFrame_;
  size_t currentFrameIndex_ = 0;
  std::string runLoopMode_;
  size_t loopCountdown_ = 0;
  double accumulator_ = 0;
  kit::Ref<kit::DisplayLink> displayLink_;
  kit::Ref<NUVAGIFWeakProxy> weakProxy_;
  bool shouldAnimate_ = false;
  bool needsDisplayWhenImageBecomesAvailable_ = false;
};
