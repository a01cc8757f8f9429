// Pausable block timers on kit's run-loop timers. A paused timer's fire date
// is the distant future; resuming moves it to now (it fires on the next
// run-loop pass) or to now plus an interval. An invalidated timer ignores
// all three. A block timer keeps nothing alive but its block: the run loop
// holds the timer, the timer holds the block in its user info, and the
// block's owner is free to go while the timer runs (capture it weakly).
//
//   timer_ = NSTimerKTAddition::wy_scheduledTimerWithTimeInterval(0.03, true, [weak](kit::Timer&) {
//     if (auto self = weak.lock()) self->tick();
//   });
//   NSTimerKTAddition::pause(*timer_);
#pragma once

#include <functional>

#include "kit/dispatch/timer.h"

class NSTimerKTAddition {
 public:
  using Block = std::function<void(kit::Timer&)>;

  static void pause(kit::Timer& timer);
  static void resume(kit::Timer& timer);
  static void resumeWithTimeInterval(kit::Timer& timer, double interval);

  // A timer scheduled on the current run loop in the default mode whose
  // user info is the block; each fire calls timeFired.
  static kit::Ref<kit::Timer> wy_scheduledTimerWithTimeInterval(double interval, bool repeats, Block block);
  // Calls the timer's user-info block with the timer, when it has one.
  static void timeFired(kit::Timer& timer);
};
