// kit::TimerSource: a dispatch timer. It fires first `start` seconds after
// setTimer and then every `interval` seconds on kit::Clock (an infinite or
// zero interval fires once), delivering its event handler on its queue.
// `leeway` lets the system fire it up to that much late to share a wake-up.
//
// Like the platform's, a source is created suspended: resume() starts it.
// The handler never runs concurrently with itself: fires that come while it
// is queued or running are merged into one call, and data() tells how many
// fires that call stands for. cancel() stops it for good; the cancel
// handler then runs once on the queue (after a running handler returns),
// and both handlers are released, so they may capture their owner.
//
//   auto timer = kit::TimerSource::create(kit::Queue::main());
//   timer->setTimer(0, 1.0);
//   timer->setEventHandler([weak = weakSelf()] { if (auto self = weak.lock()) self->tick(); });
//   timer->resume();
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/scheduler.h"

namespace kit {

class TimerSource : public Object {
 public:
  using Handler = std::function<void()>;

  static Ref<TimerSource> create(Queue& queue);
  explicit TimerSource(Ref<Queue> queue);
  ~TimerSource() override;

  // (Re)starts the schedule: first fire `start` seconds from now, then every
  // `interval` seconds.
  void setTimer(double start, double interval, double leeway = 0);
  void setEventHandler(Handler handler);
  void setCancelHandler(Handler handler);

  void resume();
  // Counted; fires that come while suspended are delivered on resume().
  void suspend();
  void cancel();
  bool isCancelled() const;
  // Inside the event handler: the number of fires this call stands for.
  unsigned long data() const;

 private:
  void armLocked();
  void fired(uint64_t generation);
  void deliver();
  void queueDeliveryLocked();
  void deliverCancel(std::unique_lock<std::mutex>& lock);

  const Ref<Queue> queue_;
  mutable std::mutex mutex_;
  std::shared_ptr<Handler> eventHandler_;
  Handler cancelHandler_;
  double nextFire_ = Forever;
  double interval_ = Forever;
  double leeway_ = 0;
  int suspendCount_ = 1;
  bool cancelled_ = false;
  bool cancelDelivered_ = false;
  bool handlerQueued_ = false;
  unsigned long pendingFires_ = 0;
  unsigned long data_ = 0;
  uint64_t generation_ = 0;
  detail::DelayScheduler::Handle scheduled_ = 0;
};

}  // namespace kit
