// Internal: ties a session's network thread to kit::Clock, so that request
// and idle time-outs follow the clock the way timers do.
//
// The network thread publishes its nearest time-out here after every check.
// A virtual clock reads it to step there, and whenever the clock is
// installed, removed or moved the thread is woken to look again. When an
// advance reaches a published time-out, the thread is also handed a flight:
// the advance then waits until the time-out has been checked and what it
// posted (the task's failure on its delegate queue, and the hops that
// follow) has run, as it does for a timer. With the real clock the thread
// only waits for the time until its next time-out.
//
// Bytes that keep a transfer alive count from when they came. On a virtual
// clock the thread looks for them on every pass and tells the clock when,
// and what each running transfer's socket had received by the look before
// (bytes that came since may not have been read yet). While
// transfers run, an advance hands the thread a flight before time moves on
// when the thread has not looked since the clock came to this instant, or
// a socket has received more since it did: so the thread notes the bytes
// at the instant they came.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/clock_detail.h"

namespace kit::netdetail {

class TransferClock : public detail::ClockClient {
 public:
  // `wake` interrupts the network thread's wait; it is called from any
  // thread until detach().
  static std::shared_ptr<TransferClock> create(std::function<void()> wake);

  // ---- Network thread
  // The nearest time-out of the thread's tasks (Forever: none).
  void publish(double deadline);
  // The flights handed over for time-outs that fell due; the thread holds
  // them while it checks its time-outs and posts what follows.
  std::vector<detail::FlightRef> takeFlights();
  // Virtual clock: the thread looked at `time`, and the sockets of the
  // transfers whose time-out runs had received so much.
  void publishReceived(double time, std::vector<std::pair<int, uint64_t>> sockets);
  // The thread waits on something other than its transfers (a TLS
  // handshake waiting for the delegate): flights handed now could not land,
  // so none are handed until endBlockingWait(), and those already handed
  // land at once. The wait's own deadline is on the clock; after it the
  // next advance waits for the thread's look.
  void beginBlockingWait();
  void endBlockingWait();

  // The engine is going: no more wakes, handed flights land.
  void detach();

  // ---- detail::ClockClient (any thread)
  double nextDeadlineAfter(double time) override;
  bool fireDue(double now) override;
  void clockChanged() override;

 private:
  explicit TransferClock(std::function<void()> wake) : wake_(std::move(wake)) {}

  std::mutex mutex_;
  std::function<void()> wake_;
  // Whether a watched socket received bytes the thread has not looked at.
  bool bytesUnseen() const;

  double deadline_ = Forever;
  double lookedAt_ = 0;
  std::vector<std::pair<int, uint64_t>> watched_;
  bool blocked_ = false;
  std::vector<detail::FlightRef> flights_;
};

}  // namespace kit::netdetail
