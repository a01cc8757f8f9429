// The main job's clock: kit's clock is virtual for the whole session. It
// keeps up with real time while the page, the network and the simulator
// work (GLib keeps real time), and where the script waits on kit's own
// timers it moves on as soon as nothing else is happening, so those waits
// cost no real time while the steps and what kit's screens show stay those
// of a session at the real pace (see demo.cc).
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"

namespace demo {

// How long one step may take, in real seconds.
constexpr double kStepTimeout = 15.0;

// kit's clock for the session. Waits run the main
// run loop; after each pass the clock catches up with the real time that
// passed. A wait on kit's timers also moves the clock on by kSkip whenever
// the loop has had nothing to do for kQuiet, which gives the network and
// the page their turn first, so kit's timers and the real work keep their
// order.
class SessionClock {
 public:
  static constexpr auto kQuiet = std::chrono::milliseconds(10);
  static constexpr double kSkip = 0.1;
  static constexpr auto kLaunchGrace = std::chrono::milliseconds(50);
  static constexpr auto kKeepUpStep = std::chrono::milliseconds(5);

  // What a wait is for: real work (the clock keeps up with real time), kit's
  // timers (the clock also moves on when nothing else happens), or the
  // page's drawing (the clock stands still, so kit's screens stay as they
  // are while the page catches up).
  enum class Waiting { ForRealWork, OnKitTimers, ForThePage };

  // Starts the client (`start` returns once the main window shows the game
  // page's screen) and passes the launch pause the application delegate
  // makes on kit's clock, which holds the main thread: another thread moves
  // the clock past it, a moment after the call begins, and then keeps the
  // clock up with real time until the call returns. Should the pause begin
  // later than that moment, it simply lasts its real time.
  template <class Start>
  auto launch(Start start, double pause) {
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    std::atomic<bool> moved{false};
    std::thread mover([&] {
      std::unique_lock lock(mutex);
      // The main thread reaches the pause at once; the moment is generous.
      if (!changed.wait_for(lock, kLaunchGrace, [&] { return started; })) {
        lock.unlock();
        clock_.advance(pause);
        lock.lock();
      }
      auto synced = std::chrono::steady_clock::now();
      while (!changed.wait_for(lock, kQuiet, [&] { return started; })) {
        lock.unlock();
        const auto now = std::chrono::steady_clock::now();
        clock_.advance(std::chrono::duration<double>(now - synced).count());
        synced = now;
        lock.lock();
      }
      moved = true;
      kit::RunLoop::main().wakeUp();
    });
    auto result = start();
    {
      std::lock_guard lock(mutex);
      started = true;
    }
    changed.notify_all();
    // Work the clock set off on the main queue runs while the mover ends.
    while (!moved.load()) kit::RunLoop::main().runOnceWithRealTimeout(kit::DefaultRunLoopMode, kQuiet);
    mover.join();
    synced_ = std::chrono::steady_clock::now();
    return result;
  }

  // Runs the main run loop until `condition` holds or `limit` real seconds
  // pass; the condition's value. Moving on, the clock goes no further than
  // `until`.
  bool run(const std::function<bool()>& condition, Waiting waiting, double until = kit::Forever,
           double limit = kStepTimeout) {
    const auto start = std::chrono::steady_clock::now();
    auto busy = start;
    bool held = condition();
    while (!held && std::chrono::steady_clock::now() - start <= std::chrono::duration<double>(limit)) {
      const auto pass = kit::RunLoop::main().runOnceWithRealTimeout(kit::DefaultRunLoopMode, kQuiet);
      if (waiting != Waiting::ForThePage) keepUp(until);
      const auto now = std::chrono::steady_clock::now();
      if (pass == kit::RunLoop::RunResult::HandledSource) {
        busy = now;
      } else if (waiting == Waiting::OnKitTimers && now - busy >= kQuiet) {
        clock_.advance(std::min(kSkip, until - kit::Clock::now()));
        busy = std::chrono::steady_clock::now();
      }
      held = condition();
    }
    if (waiting == Waiting::ForThePage) synced_ = std::chrono::steady_clock::now();
    return held;
  }

  // Lets kit's clock run until it reads `until` (fades and answers settle).
  void settleUntil(double until) {
    run([&] { return kit::Clock::now() >= until; }, Waiting::OnKitTimers, until);
  }

 private:
  // Moves kit's clock by the real time passed since it was last moved (to
  // `until` at most).
  void keepUp(double until) {
    const auto now = std::chrono::steady_clock::now();
    // In steps of a few milliseconds: each step wakes every thread that
    // keeps time on the clock.
    if (now - synced_ < kKeepUpStep) return;
    const double passed = std::chrono::duration<double>(now - synced_).count();
    synced_ = now;
    const double step = std::min(passed, until - kit::Clock::now());
    if (step > 0) clock_.advance(step);
  }

  kit::VirtualClock clock_;
  std::chrono::steady_clock::time_point synced_ = std::chrono::steady_clock::now();
};

}  // namespace demo
