// Internal: delivers a session's events one at a time, in the order they
// were posted, on the session's delegate queue. The queue may be concurrent;
// the lane still runs one event at a time. The target of the lane is a
// submit function, so the same lane can feed an operation queue, a dispatch
// queue or a thread's run loop.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "kit/foundation/object.h"

namespace kit {
class OperationQueue;
}

namespace kit::netdetail {

using Submit = std::function<void(std::function<void()>)>;

// Submits to an operation queue.
Submit submitToOperationQueue(const Ref<OperationQueue>& queue);
// A private serial operation queue for a session without a delegate queue.
Ref<OperationQueue> makeSerialOperationQueue(const std::string& name);
// Submits to the calling thread's run loop, in the default mode.
Submit submitToCurrentRunLoop();

class EventLane : public std::enable_shared_from_this<EventLane> {
 public:
  explicit EventLane(Submit submit) : submit_(std::move(submit)) {}

  // Queues an event; it runs after every event posted before it.
  void post(std::function<void()> event);

 private:
  void drain();

  Submit submit_;
  std::mutex mutex_;
  std::deque<std::function<void()>> pending_;
  bool scheduled_ = false;
};

}  // namespace kit::netdetail
