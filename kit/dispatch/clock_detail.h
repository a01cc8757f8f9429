// Internals shared by the parts of kit that keep deadlines on kit::Clock.
// Not for use outside kit/dispatch, kit/net (the network thread's
// time-outs) and kit/testing.
//
// - ClockClient: something holding deadlines (the delay scheduler, every run
//   loop, every session's network thread). A virtual clock asks clients for their next deadline to step to,
//   and tells them to start what is due.
// - Flights: while a virtual clock is installed, work started because time
//   moved carries a flight, and so does work that work posts. An advance
//   waits until every flight has landed (or waits on the clock) before it
//   moves time again, which is what makes "everything due runs in order"
//   hold across threads.
// - ClockWaitable: a condition variable whose timed waits end at a deadline
//   on kit::Clock, virtual or real.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace kit::detail {

class ClockClient {
 public:
  virtual ~ClockClient() = default;
  // The earliest deadline strictly after `time`, or Forever.
  virtual double nextDeadlineAfter(double time) = 0;
  // Virtual clock: start (or hand over) whatever is due at `now`. True when
  // something was started.
  virtual bool fireDue(double now) = 0;
  // The clock was installed, removed or moved: re-read it, re-arm waits.
  virtual void clockChanged() = 0;
};

void addClockClient(const std::shared_ptr<ClockClient>& client);

// ---- Flights -------------------------------------------------------------

class Flight {
 public:
  Flight();
  ~Flight();
  Flight(const Flight&) = delete;
  Flight& operator=(const Flight&) = delete;
};
using FlightRef = std::shared_ptr<Flight>;

// A new flight when the clock is virtual, else null.
FlightRef startFlight();
// A new flight when the current thread carries one, else null.
FlightRef childFlight();
bool hasCurrentFlight();

// Makes `flight` the current thread's flight for the scope and lands it
// (releases it) at the end of the scope.
class FlightScope {
 public:
  explicit FlightScope(FlightRef flight);
  ~FlightScope();
  FlightScope(const FlightScope&) = delete;
  FlightScope& operator=(const FlightScope&) = delete;

 private:
  FlightRef flight_;
  Flight* saved_;
};

// Wraps a task so that it carries a child of the current thread's flight,
// if there is one; otherwise returns the task as it is.
std::function<void()> carryFlight(std::function<void()> task);

// ---- Timed waits ---------------------------------------------------------

class ClockWaitable : public std::enable_shared_from_this<ClockWaitable> {
 public:
  static std::shared_ptr<ClockWaitable> create() { return std::shared_ptr<ClockWaitable>(new ClockWaitable()); }

  std::mutex mutex;

  // With `lock` held on `mutex`: waits until ready() holds or the clock
  // reaches `deadline` (Forever: no limit). Returns ready().
  bool waitUntil(std::unique_lock<std::mutex>& lock, double deadline, const std::function<bool()>& ready);
  // Wakes every waiter. Call after changing what ready() reads.
  void notifyAll();

 private:
  friend void notifyClockWaiters(double now, bool all);
  ClockWaitable() = default;
  std::condition_variable cv_;
};

// Wakes the waiters whose deadline is at or before `now` (all of them when
// `all`).
void notifyClockWaiters(double now, bool all);
// The earliest waiter deadline strictly after `time`, or Forever.
double nextWaiterDeadlineAfter(double time);

}  // namespace kit::detail
