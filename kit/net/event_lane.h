// Internal: delivers a session's events one at a time, in the order they
// were posted, on the session's delegate queue. The queue may be concurrent;
// the lane still runs one event at a time.
//
// Fewer hops: the network thread posts a pass's events as one batch (one
// submission to the queue however many tasks moved), and on the session's
// own serial queue a drain that has run out of events waits a little for
// the next before it lets the queue go, so that a request following closely
// on the last one is delivered without waking another thread. A suspended
// queue stops delivery between events, as it would between operations.
//
// A lane without a queue runs its events on the thread that posts them
// (the network thread for a pass's batch), still one at a time and in
// order: for kit's own delegates that only hand each event on to another
// thread and never block.
//
// At the end of a pass the network thread may run the batch itself, when
// the queue is idle: as one of the queue's operations (the queue's rules
// hold), sparing the wake of a queue worker and, when the events start the
// next request, the wake of the network thread. A delegate's events run so
// when it says its handlers return promptly. Events that call a caller's
// code (a completion handler, which may block) run so only where the
// network thread is watched: should they hold it, its work goes on on
// another thread (see RoleRelief); elsewhere they run on the queue itself.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "kit/foundation/object.h"
#include "kit/net/adaptive_linger.h"

namespace kit {
class OperationQueue;
}

namespace kit::netdetail {

// A private serial operation queue for a session without a delegate queue.
Ref<OperationQueue> makeSerialOperationQueue(const std::string& name);

class EventLane : public std::enable_shared_from_this<EventLane> {
 public:
  // `ownQueue`: the queue is the session's own serial queue, which nothing
  // else uses, so a drain may hold it while it waits for more events. No
  // queue: events run on the posting thread.
  // `delegateIsPrompt`, when given, tells whether the delegate's handlers
  // return promptly now (asked at the end of each batch).
  EventLane(Ref<OperationQueue> queue, bool ownQueue, std::function<bool()> delegateIsPrompt = nullptr);

  // Who an event calls into: only the session's delegate (and the session
  // itself), or anything else, a caller's completion handler among them.
  enum class Reach { Caller, DelegateOnly };

  // Queues an event; it runs after every event posted before it.
  void post(std::function<void()> event, Reach reach = Reach::Caller);

  // How a watched network thread runs events in its own time: it calls the
  // function given, and carries its work on elsewhere should that not
  // return promptly.
  using Watch = std::function<void(const std::function<void()>&)>;

  // ---- The network thread
  // Events this thread posts from now on wait for endBatch(), which submits
  // them together. Posts from other threads go on as usual. At the end of
  // a pass (`passEnds`) the batch may run here, as said above, through
  // `watch` if the thread is watched.
  void beginBatch();
  void endBatch(bool passEnds = false, const Watch* watch = nullptr);
  // Whether the events of a task (with a caller's handler among them, or
  // `callerEvents` false: only the delegate's) would run, unwatched, on
  // the thread whose pass posts them: the lane has no queue, or the
  // delegate answers for its handlers (see endBatch()).
  bool runsUnwatched(bool callerEvents) const {
    return !queue_ || (!callerEvents && delegateIsPrompt_ && delegateIsPrompt_());
  }

  // How long a drain on the session's own queue waits for the next event
  // (real time: it trades a little processor time for a thread wake, and
  // is about what the wake costs). It does so only while the next event
  // has lately come within that time.
  static constexpr std::chrono::microseconds kLinger{50};

 private:
  struct Event {
    std::function<void()> run;
    Reach reach;
  };

  void schedule();
  // `here`: the drain runs on the network thread, within a pass, and
  // unless `watched` stops short of an event a caller's code may block in.
  void drain(bool here = false, bool watched = false);
  // Waits up to kLinger for an event while the queue runs; true when one
  // came.
  bool linger();
  // Called with mutex_ held when a post finds the drain gone: tells the
  // policy how long the lane waited for it.
  void noteWaitEndedLocked();

  Ref<OperationQueue> queue_;
  const bool ownQueue_;
  std::mutex mutex_;
  const std::function<bool()> delegateIsPrompt_;
  std::deque<Event> pending_;
  size_t pendingCallerEvents_ = 0;  // guarded by mutex_
  std::atomic<size_t> pendingCount_{0};
  bool scheduled_ = false;
  std::thread::id batching_;  // the thread holding its posts, if any
  AdaptiveLinger lingerPolicy_{kLinger};
  // When a drain that may linger ran out of events and let the queue go,
  // until the next post (guarded by mutex_).
  std::optional<AdaptiveLinger::Clock::time_point> idleSince_;
};

}  // namespace kit::netdetail
