// KTWebProgressLayer: the thin orange line the platform's web pages show
// while a page loads. It grows from the left by 0.01 of its length every
// 0.03 s until just past 0.8 (about 2.4 s), then by 0.001 until 0.97
// (about 5 s more), and waits there; finishedLoad fills it at once and,
// 0.25 s later, hides it and takes it off its superlayer. The line spans the
// main screen's width whatever the layer's own width. Its timer keeps the
// layer only weakly, and goes with the layer. Main thread.
//
//   auto progress = KTWebProgressLayer::layerWithFrame(kit::Rect{0, 44, 300, 2});
//   view->layer()->addSublayer(progress);
//   progress->startLoad();
//   ...
//   progress->finishedLoad();
#pragma once

#include "kit/dispatch/timer.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/shape_layer.h"

class KTWebProgressLayer : public kit::ShapeLayer {
 public:
  // A new line (timer paused, nothing drawn) with that frame.
  static kit::Ref<KTWebProgressLayer> layerWithFrame(const kit::Rect& frame);
  // However it is made, a line has its look and an empty stroke; its timer
  // is made paused by layerWithFrame, or at the first startLoad.
  KTWebProgressLayer();
  ~KTWebProgressLayer() override;

  // Starts (or restarts) the growth, first step 0.03 s from now. Does
  // nothing once finished.
  void startLoad();
  // Fills the line, then hides and detaches it 0.25 s later.
  void finishedLoad();
  // Stops and drops the timer.
  void closeTimer();

  const kit::Ref<kit::Timer>& timer() const { return timer_; }
  double plusWidth() const { return plusWidth_; }

  static constexpr double TickInterval = 0.03;
  static constexpr double FastStep = 0.01, SlowStep = 0.001;
  static constexpr double SlowFrom = 0.8, WaitAt = 0.97;
  static constexpr double HideDelay = 0.25;

 private:
  // Makes the timer, paused, unless it was closed.
  void makeTimer();
  // One tick of the timer.
  void pathChanged();

  kit::Ref<kit::Timer> timer_;
  bool timerClosed_ = false;
  double plusWidth_ = FastStep;
};
