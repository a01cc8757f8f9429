// The serial event lane and its targets.
#include "kit/net/event_lane.h"

#include "kit/dispatch/operation_queue.h"

namespace kit::netdetail {

Submit submitToOperationQueue(const Ref<OperationQueue>& queue) {
  return [queue](std::function<void()> block) { queue->addOperationWithBlock(std::move(block)); };
}

Ref<OperationQueue> makeSerialOperationQueue(const std::string& name) {
  auto queue = OperationQueue::create(name);
  queue->setMaxConcurrentOperationCount(1);
  return queue;
}

void EventLane::post(std::function<void()> event) {
  bool schedule = false;
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(event));
    if (!scheduled_) {
      scheduled_ = true;
      schedule = true;
    }
  }
  if (schedule) submit_([self = shared_from_this()] { self->drain(); });
}

void EventLane::drain() {
  // A batch at a time, so that a busy session does not hold its queue for
  // ever; the rest goes back to the queue behind whatever else waits there.
  for (int handled = 0; handled < 64; ++handled) {
    std::function<void()> event;
    {
      std::lock_guard lock(mutex_);
      if (pending_.empty()) {
        scheduled_ = false;
        return;
      }
      event = std::move(pending_.front());
      pending_.pop_front();
    }
    event();
  }
  submit_([self = shared_from_this()] { self->drain(); });
}

}  // namespace kit::netdetail
