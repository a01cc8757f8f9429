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
  OperationQueue() : thread_([state = state_] { run(state); }) {}
  ~OperationQueue() override {
    {
      std::lock_guard lock(state_->mutex);
      state_->stop = true;
    }
    state_->cv.notify_all();
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // the thread owns its state and ends by itself
    } else {
      thread_.join();
    }
  }
  void add(std::function<void()> block) {
    {
      std::lock_guard lock(state_->mutex);
      state_->blocks.push_back(std::move(block));
    }
    state_->cv.notify_all();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<std::function<void()>> blocks;
    bool stop = false;
  };
  static void run(std::shared_ptr<State> state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
      state->cv.wait(lock, [&] { return state->stop || !state->blocks.empty(); });
      if (state->stop) return;
      auto block = std::move(state->blocks.front());
      state->blocks.pop_front();
      lock.unlock();
      block();
      block = nullptr;
      lock.lock();
    }
  }
  std::shared_ptr<State> state_ = std::make_shared<State>();
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
