// The serial event lane and its targets.
#include "kit/net/event_lane.h"

#if __has_include("kit/dispatch/operation_queue.h")
#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/runloop.h"
#define KIT_NET_HAS_DISPATCH 1
#else
// Until kit/dispatch is in the tree: a serial queue on a thread of its own.
#include <condition_variable>
#include <thread>
namespace kit {
class OperationQueue : public Object {
 public:
  OperationQueue() : thread_([this] { run(); }) {}
  ~OperationQueue() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    cv_.notify_all();
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  void add(std::function<void()> block) {
    {
      std::lock_guard lock(mutex_);
      blocks_.push_back(std::move(block));
    }
    cv_.notify_all();
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      cv_.wait(lock, [&] { return stop_ || !blocks_.empty(); });
      if (blocks_.empty()) return;
      auto block = std::move(blocks_.front());
      blocks_.pop_front();
      lock.unlock();
      block();
      block = nullptr;
      lock.lock();
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> blocks_;
  bool stop_ = false;
  std::thread thread_;
};
}  // namespace kit
#endif

namespace kit::netdetail {

#ifndef KIT_NET_HAS_DISPATCH
Submit submitToOperationQueue(const Ref<OperationQueue>& queue) {
  return [queue](std::function<void()> block) { queue->add(std::move(block)); };
}
Ref<OperationQueue> makeSerialOperationQueue(const std::string&) { return std::make_shared<OperationQueue>(); }
Submit submitToCurrentRunLoop() { return nullptr; }
#else

Submit submitToOperationQueue(const Ref<OperationQueue>& queue) {
  return [queue](std::function<void()> block) { queue->addOperationWithBlock(std::move(block)); };
}

Ref<OperationQueue> makeSerialOperationQueue(const std::string& name) {
  auto queue = OperationQueue::create(name);
  queue->setMaxConcurrentOperationCount(1);
  return queue;
}

Submit submitToCurrentRunLoop() {
  // The run loop lives as long as its thread; a connection that outlives the
  // thread that started it has nowhere to deliver, as on the platform.
  RunLoop* loop = &RunLoop::current();
  return [loop](std::function<void()> block) { loop->perform(std::move(block), DefaultRunLoopMode); };
}
#endif

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
