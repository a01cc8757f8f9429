// The serial event lane: batches from the network thread, drains on the
// delegate queue, lingering on the session's own queue.
#include "kit/net/event_lane.h"

#include <sched.h>

#include <chrono>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/operation_queue.h"

namespace kit::netdetail {

Ref<OperationQueue> makeSerialOperationQueue(const std::string& name) {
  auto queue = OperationQueue::create(name);
  queue->setMaxConcurrentOperationCount(1);
  return queue;
}

EventLane::EventLane(Ref<OperationQueue> queue, bool ownQueue, std::function<bool()> delegateIsPrompt)
    : queue_(std::move(queue)), ownQueue_(ownQueue), delegateIsPrompt_(std::move(delegateIsPrompt)) {}

void EventLane::post(std::function<void()> event, Reach reach) {
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(Event{std::move(event), reach});
    if (reach == Reach::Caller) ++pendingCallerEvents_;
    pendingCount_.fetch_add(1, std::memory_order_release);
    if (scheduled_ || batching_ == std::this_thread::get_id()) return;
    scheduled_ = true;
    noteWaitEndedLocked();
  }
  schedule();
}

void EventLane::noteWaitEndedLocked() {
  if (!idleSince_) return;
  lingerPolicy_.record(AdaptiveLinger::Clock::now() - *idleSince_);
  idleSince_.reset();
}

void EventLane::beginBatch() {
  std::lock_guard lock(mutex_);
  batching_ = std::this_thread::get_id();
}

void EventLane::endBatch(bool passEnds, const Watch* watch) {
  bool mayRunHere;
  {
    std::lock_guard lock(mutex_);
    batching_ = {};
    if (scheduled_ || pending_.empty()) return;
    scheduled_ = true;
    noteWaitEndedLocked();
    mayRunHere = passEnds && queue_ && (pendingCallerEvents_ == 0 || watch);
  }
  // A delegate's events wait for its word; a session without one has its
  // callers' events alone.
  if (mayRunHere && (delegateIsPrompt_ ? delegateIsPrompt_() : watch != nullptr)) {
    bool ran = false;
    auto runHere = [&] {
      ran = queue_->runBlockHereIfIdle([self = shared_from_this(), watched = watch != nullptr] {
        self->drain(/*here=*/true, watched);
      });
    };
    if (watch) {
      (*watch)(runHere);
    } else {
      runHere();
    }
    if (ran) return;
  }
  schedule();
}

void EventLane::schedule() {
  if (!queue_) return drain();
  queue_->addOperationWithBlock([self = shared_from_this()] { self->drain(); });
}

void EventLane::drain(bool here, bool watched) {
  const bool mayLinger = queue_ && ownQueue_ && !here && !Clock::isVirtual();
  // A batch at a time, so that a busy session does not hold its queue for
  // ever; the rest goes back to the queue behind whatever else waits there.
  // Without a queue the posting thread runs them all.
  for (int handled = 0; handled < 64 || !queue_;) {
    // Suspending the queue holds the events not yet delivered: the drain
    // ends here, submitted again, and waits in the queue.
    if (queue_ && queue_->isSuspended()) break;
    std::function<void()> event;
    {
      std::lock_guard lock(mutex_);
      if (!pending_.empty()) {
        // Unwatched, a caller's event posted meanwhile from another thread
        // goes to the queue's own worker.
        if (here && !watched && pending_.front().reach == Reach::Caller) break;
        if (pending_.front().reach == Reach::Caller) --pendingCallerEvents_;
        event = std::move(pending_.front().run);
        pending_.pop_front();
        pendingCount_.fetch_sub(1, std::memory_order_relaxed);
      } else if (!mayLinger) {
        scheduled_ = false;
        return;
      }
    }
    if (!event) {
      const auto idleSince = AdaptiveLinger::Clock::now();
      if (lingerPolicy_.worthSpinning() && linger()) {
        lingerPolicy_.record(AdaptiveLinger::Clock::now() - idleSince);
        continue;
      }
      std::lock_guard lock(mutex_);
      if (pending_.empty()) {
        scheduled_ = false;
        // The next post ends the wait and tells the policy how long it was.
        idleSince_ = idleSince;
        return;
      }
      continue;
    }
    event();
    ++handled;
  }
  schedule();
}

bool EventLane::linger() {
  using std::chrono::steady_clock;
  const auto until = steady_clock::now() + kLinger;
  do {
    if (pendingCount_.load(std::memory_order_acquire) > 0) return true;
    // Gives the processor to whoever is about to post, if they share it.
    sched_yield();
  } while (steady_clock::now() < until);
  return pendingCount_.load(std::memory_order_acquire) > 0;
}

}  // namespace kit::netdetail
