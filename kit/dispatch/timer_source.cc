// Dispatch timers: scheduling on the delay scheduler, merging fires, and
// delivery of the event and cancel handlers on the source's queue.
#include "kit/dispatch/timer_source.h"

#include <cmath>

#include "kit/foundation/exception.h"

namespace kit {

Ref<TimerSource> TimerSource::create(Queue& queue) { return std::make_shared<TimerSource>(queue.selfAs<Queue>()); }

TimerSource::TimerSource(Ref<Queue> queue) : queue_(std::move(queue)) {}

TimerSource::~TimerSource() = default;

void TimerSource::setTimer(double start, double interval, double leeway) {
  const Id keepAlive = self();  // outlives the lock: cancelling the entry drops its reference
  std::lock_guard lock(mutex_);
  if (cancelled_) return;
  nextFire_ = Clock::now() + std::max(start, 0.0);
  interval_ = (interval > 0 && interval < Forever) ? interval : Forever;
  leeway_ = std::max(leeway, 0.0);
  ++generation_;
  pendingFires_ = 0;
  if (scheduled_) detail::DelayScheduler::shared().cancel(scheduled_);
  scheduled_ = 0;
  if (suspendCount_ == 0) armLocked();
}

void TimerSource::setEventHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  if (cancelled_) return;
  eventHandler_ = handler ? std::make_shared<Handler>(std::move(handler)) : nullptr;
}

void TimerSource::setCancelHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  if (cancelled_) return;
  cancelHandler_ = std::move(handler);
}

void TimerSource::armLocked() {
  if (cancelled_ || scheduled_ || nextFire_ >= Forever) return;
  auto self = selfAs<TimerSource>();
  const uint64_t generation = generation_;
  scheduled_ = detail::DelayScheduler::shared().schedule(nextFire_, leeway_,
                                                         [self, generation] { self->fired(generation); });
}

void TimerSource::fired(uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (generation != generation_ || cancelled_) return;
  scheduled_ = 0;
  const double now = Clock::now();
  unsigned long fires = 1;
  if (interval_ < Forever) {
    // Fires missed while the process was busy count towards data().
    double next = nextFire_ + interval_;
    if (next <= now) {
      const double missed = std::floor((now - next) / interval_) + 1;
      fires += static_cast<unsigned long>(missed);
      next += missed * interval_;
    }
    while (next <= now) {
      next += interval_;
      ++fires;
    }
    nextFire_ = next;
  } else {
    nextFire_ = Forever;
  }
  pendingFires_ += fires;
  if (suspendCount_ > 0) return;
  armLocked();
  queueDeliveryLocked();
}

void TimerSource::queueDeliveryLocked() {
  if (handlerQueued_) return;
  handlerQueued_ = true;
  auto self = selfAs<TimerSource>();
  queue_->async([self] { self->deliver(); });
}

void TimerSource::deliver() {
  std::unique_lock lock(mutex_);
  if (cancelled_) {
    handlerQueued_ = false;
    deliverCancel(lock);
    return;
  }
  if (suspendCount_ > 0 || pendingFires_ == 0) {
    handlerQueued_ = false;
    return;
  }
  data_ = pendingFires_;
  pendingFires_ = 0;
  auto handler = eventHandler_;
  lock.unlock();
  if (handler && *handler) (*handler)();
  lock.lock();
  handlerQueued_ = false;
  if (cancelled_) {
    deliverCancel(lock);
  } else if (pendingFires_ > 0 && suspendCount_ == 0) {
    queueDeliveryLocked();
  }
}

void TimerSource::deliverCancel(std::unique_lock<std::mutex>& lock) {
  if (cancelDelivered_ || suspendCount_ > 0) return;
  cancelDelivered_ = true;
  auto cancelHandler = std::move(cancelHandler_);
  auto eventHandler = std::move(eventHandler_);
  cancelHandler_ = nullptr;
  eventHandler_ = nullptr;
  lock.unlock();
  if (cancelHandler) cancelHandler();
  cancelHandler = nullptr;
  eventHandler = nullptr;
  lock.lock();
}

void TimerSource::resume() {
  std::lock_guard lock(mutex_);
  if (suspendCount_ == 0) raise(InternalInconsistencyException, "TimerSource::resume without a matching suspend");
  if (--suspendCount_ > 0) return;
  if (cancelled_) {
    if (!cancelDelivered_) queueDeliveryLocked();
    return;
  }
  armLocked();
  if (pendingFires_ > 0) queueDeliveryLocked();
}

void TimerSource::suspend() {
  const Id keepAlive = self();  // outlives the lock: cancelling the entry drops its reference
  std::lock_guard lock(mutex_);
  ++suspendCount_;
  if (scheduled_) detail::DelayScheduler::shared().cancel(scheduled_);
  scheduled_ = 0;
}

void TimerSource::cancel() {
  const Id keepAlive = self();  // outlives the lock: cancelling the entry drops its reference
  std::lock_guard lock(mutex_);
  if (cancelled_) return;
  cancelled_ = true;
  if (scheduled_) detail::DelayScheduler::shared().cancel(scheduled_);
  scheduled_ = 0;
  if (suspendCount_ == 0) queueDeliveryLocked();
}

bool TimerSource::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

unsigned long TimerSource::data() const {
  std::lock_guard lock(mutex_);
  return data_;
}

}  // namespace kit
