// KTProgressDP: the login view's small progress panel. A ring of nine grey
// dots pulses one after another around the centre of the view, and under
// it a grey caption's trailing dots count down from three to one and start
// again, every 0.2 s. The dialog is shown once: dismissing removes the ring,
// the caption and the timer, and the caller makes a new dialog for the next
// request. The dialog view itself stays where the caller put it.
// Main thread.
//
//   auto dialog = KTProgressDP::make(kit::Rect{0, 0, 144, 85});
//   container->addSubview(dialog);
//   dialog->showWithTitle("正在登陆");
//   ...
//   dialog->dismiss();
#pragma once

#include <string>
#include <string_view>

#include "kit/dispatch/timer.h"
#include "kit/ui/label.h"
#include "kit/ui/layer.h"
#include "kit/ui/replicator_layer.h"
#include "kit/ui/view.h"

class KTProgressDP : public kit::View {
 public:
  static kit::Ref<KTProgressDP> make(const kit::Rect& frame) { return kit::make<KTProgressDP>(frame); }
  // Builds the (still invisible) ring.
  explicit KTProgressDP(const kit::Rect& frame);
  ~KTProgressDP() override;

  // The pulsing dots and, 8 points under the ring, the caption
  // "<title>..." (grey system 15, centred), whose dots then change every
  // 0.2 s on the current run loop.
  void showWithTitle(std::string_view title);
  // The pulsing dots only.
  void show();
  // One step of the caption, by the label's tag: 0 → "...", 1 → "..",
  // 2 → "." (each moving to the next tag, 2 back to 0); other tags leave it.
  void changeLable();
  // Stops the dots and removes the ring and the caption, ends the timer.
  // A second call changes nothing.
  void dismiss();

  // What the dialog still holds; each goes when dismissed.
  kit::Ref<kit::Label> label() const { return label_.lock(); }
  const std::string& title() const { return title_; }
  kit::Ref<kit::Timer> timer() const { return timer_.lock(); }
  kit::Ref<kit::Layer> dotLayer() const { return dotLayer_.lock(); }
  kit::Ref<kit::ReplicatorLayer> replayer() const { return replayer_.lock(); }

  static constexpr long DotCount = 9;
  static constexpr double DotSize = 13;
  static constexpr double DotTop = 10;  // the dot's centre, from the top
  static constexpr float PulseDuration = 0.7f;
  static constexpr double CaptionTick = 0.2;
  static constexpr double CaptionGap = 8;
  static constexpr double CaptionFontSize = 15;

 private:
  void initLoadView();
  void showLoadView();
  void dimssLoadView();

  kit::Weak<kit::Label> label_;
  std::string title_;
  kit::Weak<kit::Timer> timer_;
  kit::Weak<kit::Layer> dotLayer_;
  kit::Weak<kit::ReplicatorLayer> replayer_;
};
