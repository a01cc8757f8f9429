// kit::Clock is the one source of time for every delay, timer and timeout in
// kit: run loop timers, delayed performs, queue `after` calls, timer sources
// and timed waits on groups and semaphores all read it.
//
// By default it is the real clock: Clock::now() is monotonic seconds,
// Clock::bootNow() monotonic seconds that go on while the machine sleeps,
// and Clock::wallNow() is seconds since 1970. A test installs a VirtualClock and
// advances it; advancing fires everything that falls due in due order, on the
// queues and run loops it belongs to, with the clock reading each due time
// while that work runs, and returns once that work is done:
//
//   kit::VirtualClock clock;
//   kit::Queue::main().after(10.0, [&] { done = true; });
//   clock.advance(10.0);   // done, in microseconds of real time
#pragma once

#include <chrono>
#include <limits>

namespace kit {

// A time-out or interval that never ends.
inline constexpr double Forever = std::numeric_limits<double>::infinity();

class Clock {
 public:
  // Monotonic seconds. Never goes backwards, also across installing and
  // removing a virtual clock. Stands still while the machine sleeps, as
  // every timer does.
  static double now();
  // Monotonic seconds that keep counting while the machine sleeps: the
  // clock to measure a limit of real elapsed time against (a deadline that
  // a suspend must not push back). Its readings are comparable only with
  // each other; it never goes backwards either.
  static double bootNow();
  // Wall time: seconds since 1970-01-01 00:00:00 UTC.
  static double wallNow();
  static bool isVirtual();

  // The real instant at which a deadline on this clock falls, for waiting on
  // a condition variable; time_point::max() when the deadline is Forever or
  // the clock is virtual (virtual time moves only when advanced, and an
  // advance wakes every waiter).
  static std::chrono::steady_clock::time_point realDeadline(double deadline);
};

// Replaces the real clock while it exists (one at a time). Time stands still
// until advanced. Its monotonic time starts at the next whole second of the
// real clock, so deadlines set before it was installed keep their meaning;
// the real clock reads the same fixed time in every process when first read,
// so a test's virtual time does not depend on the machine it runs on.
class VirtualClock {
 public:
  VirtualClock();
  // Starts the wall clock at `wallStart` (seconds since 1970).
  explicit VirtualClock(double wallStart);
  // Also starts monotonic time at `start`, wherever the real clock stands:
  // for tests of time itself. Deadlines set before are then off by the jump,
  // and once the clock goes, real time goes on from where it reached.
  VirtualClock(double wallStart, double start);
  ~VirtualClock();
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

  double now() const;
  double wallNow() const;

  // Moves time forward by `seconds`, stepping through every deadline on the
  // way (and any within a nanosecond past the end, which a sum of steps can
  // fall short of by rounding): at each one the clock reads exactly that time while the due timers,
  // delayed calls and timer sources run, and what they start (tasks on
  // worker queues, hops to the main queue, new zero-delay calls) finishes
  // before time moves on. Called on the main thread it runs the main run
  // loop itself; from another thread it waits for the main thread's run loop
  // to do so. Raises when called while an advance is in progress.
  void advance(double seconds);
  void advanceTo(double time);
  // Runs whatever is due at the current time without moving it.
  void settle() { advance(0); }

  // The process stops for `seconds` (a stall, or a stop signal) while time
  // goes on: time moves at once, and everything that fell due meanwhile
  // runs late, at the new time, in due order. A repeating timer source's
  // missed fires come in one call, as they do after a real stall.
  void stall(double seconds);
  // The machine sleeps for `seconds`: wall time and bootNow() move on,
  // monotonic time, and with it every timer and delay, stands still.
  void sleep(double seconds);
};

}  // namespace kit
