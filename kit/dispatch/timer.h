// kit::Timer: a timer that fires on a run loop, once or repeatedly, at a
// fire date on kit::Clock. A repeating timer that fires late skips the
// fire dates it missed, keeping its schedule (fire date + k * interval).
// Tolerance lets the run loop fire it up to that much late when that saves
// a wake-up; under a virtual clock every timer fires at its exact date.
//
// The run loop holds a scheduled timer until it is invalidated; invalidating
// releases the callback and the user info, so a callback (or user info) that
// captures its owner does not keep it alive past invalidate().
#pragma once

#include <cstdint>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "kit/foundation/object.h"

namespace kit {

class RunLoop;

class Timer : public Object {
 public:
  using Callback = std::function<void(Timer&)>;

  // A timer not yet on a run loop; its fire date is now + interval.
  static Ref<Timer> create(double interval, bool repeats, Callback callback);
  // A timer added to the current run loop in the default mode.
  static Ref<Timer> scheduled(double interval, bool repeats, Callback callback);

  Timer(double interval, bool repeats, Callback callback);
  std::string description() const override;

  // Calls the callback now; a non-repeating timer is then invalidated.
  void fire();
  void invalidate();
  bool isValid() const { return valid_.load(); }

  // The next fire date, on kit::Clock::now()'s scale.
  double fireDate() const;
  void setFireDate(double date);
  // The repeat interval; 0 for a non-repeating timer.
  double timeInterval() const;
  bool repeats() const { return repeats_; }
  double tolerance() const;
  void setTolerance(double seconds);
  Id userInfo() const;
  void setUserInfo(Id info);

 private:
  friend class RunLoop;
  // Fires from a run loop pass: the callback, then rescheduling or
  // invalidation. False when it was not due any more.
  bool fireFromLoop(double now);
  std::shared_ptr<Callback> takeCallback();

  mutable std::mutex mutex_;
  std::shared_ptr<Callback> callback_;
  double fireDate_;
  // A repeating timer's schedule is anchor_ + k * interval_, computed rather
  // than summed, so rounding never pushes a fire past the moment it is due.
  double anchor_;
  uint64_t firesSinceAnchor_ = 0;
  const double interval_;
  const bool repeats_;
  double tolerance_ = 0;
  Id userInfo_;
  std::atomic<bool> valid_{true};
  Weak<RunLoop> loop_;
};

}  // namespace kit
