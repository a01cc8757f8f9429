// Run loop timers: firing, rescheduling and invalidation.
#include "kit/dispatch/timer.h"

#include <algorithm>
#include <cmath>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/guard.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/format.h"

namespace kit {
namespace {
// The shortest repeat interval; shorter ones are raised to it.
constexpr double kMinimumInterval = 0.0001;
}  // namespace

Ref<Timer> Timer::create(double interval, bool repeats, Callback callback) {
  return std::make_shared<Timer>(interval, repeats, std::move(callback));
}

Ref<Timer> Timer::scheduled(double interval, bool repeats, Callback callback) {
  auto timer = create(interval, repeats, std::move(callback));
  RunLoop::current().addTimer(timer, DefaultRunLoopMode);
  return timer;
}

Timer::Timer(double interval, bool repeats, Callback callback)
    : callback_(callback ? std::make_shared<Callback>(std::move(callback)) : nullptr),
      fireDate_(Clock::now() + std::max(interval, 0.0)),
      anchor_(fireDate_),
      interval_(repeats ? std::max(interval, kMinimumInterval) : 0),
      repeats_(repeats) {}

std::string Timer::description() const {
  return formatString("<Timer %p fireDate %.3f interval %.3f%s>", static_cast<const void*>(this), fireDate(),
                      interval_, isValid() ? "" : " invalid");
}

double Timer::fireDate() const {
  std::lock_guard lock(mutex_);
  return fireDate_;
}

void Timer::setFireDate(double date) {
  Ref<RunLoop> loop;
  {
    std::lock_guard lock(mutex_);
    fireDate_ = date;
    anchor_ = date;
    firesSinceAnchor_ = 0;
    loop = loop_.lock();
  }
  if (loop) loop->timerChanged();
}

double Timer::timeInterval() const { return interval_; }

double Timer::tolerance() const {
  std::lock_guard lock(mutex_);
  return tolerance_;
}

void Timer::setTolerance(double seconds) {
  std::lock_guard lock(mutex_);
  tolerance_ = std::max(seconds, 0.0);
}

Id Timer::userInfo() const {
  std::lock_guard lock(mutex_);
  return userInfo_;
}

void Timer::setUserInfo(Id info) {
  std::lock_guard lock(mutex_);
  userInfo_ = std::move(info);
}

std::shared_ptr<Timer::Callback> Timer::takeCallback() {
  std::lock_guard lock(mutex_);
  return std::move(callback_);
}

void Timer::invalidate() {
  if (!valid_.exchange(false)) return;
  Ref<RunLoop> loop;
  Id userInfo;
  {
    std::lock_guard lock(mutex_);
    loop = loop_.lock();
    // The user info is held until the timer is invalidated, as on the
    // platform, so what it holds can be freed with the timer's work done.
    userInfo = std::move(userInfo_);
  }
  // Released outside the locks: the callback may own objects whose
  // destructors use the run loop. A callback running right now keeps its
  // own reference until it returns.
  auto callback = takeCallback();
  if (loop) loop->removeTimer(this);
}

void Timer::fire() {
  std::shared_ptr<Callback> callback;
  {
    std::lock_guard lock(mutex_);
    if (!valid_) return;
    callback = callback_;
  }
  if (callback) detail::runGuarded([&] { (*callback)(*this); }, "a timer callback");
  if (!repeats_) invalidate();
}

bool Timer::fireFromLoop(double now) {
  std::shared_ptr<Callback> callback;
  double firedDate;
  {
    std::lock_guard lock(mutex_);
    if (!valid_ || fireDate_ > now) return false;
    callback = callback_;
    firedDate = fireDate_;
  }
  // Keep the timer alive through its callback even if the callback drops the
  // last reference to it.
  auto keepAlive = self();
  if (callback) detail::runGuarded([&] { (*callback)(*this); }, "a timer callback");
  if (!repeats_) {
    invalidate();
    return true;
  }
  Ref<RunLoop> loop;
  {
    std::lock_guard lock(mutex_);
    if (!valid_ || fireDate_ != firedDate) return true;  // invalidated, or moved by the callback
    // The next slot of the schedule after now; missed slots are skipped.
    uint64_t k = firesSinceAnchor_ + 1;
    if (anchor_ + static_cast<double>(k) * interval_ <= now) {
      k = static_cast<uint64_t>(std::floor((now - anchor_) / interval_)) + 1;
    }
    while (anchor_ + static_cast<double>(k) * interval_ <= now) ++k;
    firesSinceAnchor_ = k;
    fireDate_ = anchor_ + static_cast<double>(k) * interval_;
    loop = loop_.lock();
  }
  if (loop) loop->timerChanged();
  return true;
}

}  // namespace kit
