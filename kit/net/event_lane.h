// Internal: delivers a session's events one at a time, in the order they
// were posted, on the session's delegate queue. The queue may be concurrent;
// the lane still runs one event at a time.
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
