// The clock: real time, installing a virtual clock, stepping through
// deadlines on the main run loop and on worker queues.
#include "kit/dispatch/clock.h"
#include "kit/dispatch/clock_detail.h"

#include <gtest/gtest.h>

#include "kit/foundation/date.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/semaphore.h"
#include "kit/dispatch/thread.h"
#include "kit/dispatch/timer.h"
#include "kit/dispatch/timer_source.h"
#include "kit/foundation/exception.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace kit {
namespace {

TEST(ClockTest, RealClockMovesForwardAndWallTimeIsNow) {
  const double a = Clock::now();
  const double b = Clock::now();
  EXPECT_LE(a, b);
  EXPECT_FALSE(Clock::isVirtual());
  const double wall = Clock::wallNow();
  EXPECT_GT(wall, 1.7e9);  // after 2023
  EXPECT_EQ(Clock::realDeadline(Forever), std::chrono::steady_clock::time_point::max());
}

TEST(ClockTest, VirtualClockStandsStillUntilAdvancedAndNeverGoesBack) {
  double reached;
  {
    VirtualClock clock(1000.0);
    EXPECT_TRUE(Clock::isVirtual());
    const double start = Clock::now();
    EXPECT_DOUBLE_EQ(Clock::wallNow(), 1000.0);
    EXPECT_EQ(Clock::now(), start);
    clock.advance(3600);
    EXPECT_DOUBLE_EQ(Clock::now(), start + 3600);
    EXPECT_NEAR(Clock::wallNow(), 4600.0, 1e-6);
    EXPECT_EQ(Clock::realDeadline(start + 3601), std::chrono::steady_clock::time_point::max());
    reached = Clock::now();
  }
  EXPECT_FALSE(Clock::isVirtual());
  // The hour the virtual clock ran ahead is kept: monotonic time goes on
  // from there.
  EXPECT_GE(Clock::now(), reached);
}

TEST(ClockTest, OnlyOneVirtualClockAtATime) {
  VirtualClock clock;
  EXPECT_THROW(VirtualClock second, Exception);
}

class VirtualClockStepping : public test::VirtualClockTest {};

TEST_F(VirtualClockStepping, DelayedWorkRunsInDueOrderAtItsOwnTime) {
  std::mutex mutex;
  std::vector<std::pair<int, double>> runs;
  auto record = [&](int tag) {
    return [&, tag] {
      std::lock_guard lock(mutex);
      runs.emplace_back(tag, elapsed());
    };
  };
  auto serial = Queue::serial("stepping");
  Queue::global().after(2.0, record(2));
  Queue::main().after(0.5, record(1));
  serial->after(3.0, record(3));
  RunLoop::main().performAfter(nullptr, "four", nullptr, 3.5, record(4));
  advance(2.9);
  {
    std::lock_guard lock(mutex);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].first, 1);
    EXPECT_DOUBLE_EQ(runs[0].second, 0.5);
    EXPECT_EQ(runs[1].first, 2);
    EXPECT_DOUBLE_EQ(runs[1].second, 2.0);
  }
  advance(1.0);
  std::lock_guard lock(mutex);
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_EQ(runs[2].first, 3);
  EXPECT_NEAR(runs[2].second, 3.0, 1e-9);
  EXPECT_EQ(runs[3].first, 4);
  EXPECT_NEAR(runs[3].second, 3.5, 1e-9);
  EXPECT_NEAR(elapsed(), 3.9, 1e-9);
}

TEST_F(VirtualClockStepping, WorkStartedByDueWorkFinishesBeforeTimeMovesOn) {
  // A delayed task on a worker hops to the main queue, which schedules more
  // delayed work: all of it runs within one advance, each at its time.
  std::vector<double> times;
  Queue::global().after(1.0, [&] {
    Queue::main().async([&] {
      times.push_back(elapsed());
      Queue::global().after(1.0, [&] { Queue::main().async([&] { times.push_back(elapsed()); }); });
    });
  });
  advance(5.0);
  ASSERT_EQ(times.size(), 2u);
  EXPECT_DOUBLE_EQ(times[0], 1.0);
  EXPECT_DOUBLE_EQ(times[1], 2.0);
}

TEST_F(VirtualClockStepping, ZeroDelayWorkRunsWithoutAdvancing) {
  std::atomic<bool> ran{false};
  Queue::global().after(0, [&] { ran = true; });
  ASSERT_TRUE(test::runUntil([&] { return ran.load(); }));
  EXPECT_EQ(elapsed(), 0);
}

TEST_F(VirtualClockStepping, TimedWaitOnAWorkerEndsWhenVirtualTimeReachesItsDeadline) {
  auto semaphore = Semaphore::create(0);
  std::atomic<int> result{-1};
  std::atomic<double> endedAt{0};
  Queue::global().async([&] {
    const bool taken = semaphore->wait(5.0);
    endedAt = elapsed();
    result = taken ? 1 : 0;
  });
  // The waiter must be waiting before time moves; its wait registers a
  // deadline, which the advance steps to.
  ASSERT_TRUE(test::runUntil([&] { return detail::nextWaiterDeadlineAfter(Clock::now()) < Forever; }));
  advance(4.0);
  EXPECT_EQ(result.load(), -1);
  // The waiter is not work the clock started, so the advance does not wait
  // for it; time stays at 5 while it wakes.
  advance(1.0);
  ASSERT_TRUE(test::runUntil([&] { return result != -1; }));
  EXPECT_EQ(result.load(), 0);
  EXPECT_DOUBLE_EQ(endedAt.load(), 5.0);
}

TEST_F(VirtualClockStepping, DelayedTaskWaitingOnTheClockDoesNotHoldUpTheAdvance) {
  // A task started by the clock that then waits on the clock is parked, so
  // the advance goes on and reaches the wait's deadline.
  auto semaphore = Semaphore::create(0);
  std::atomic<double> timedOutAt{-1};
  Queue::global().after(1.0, [&] {
    if (!semaphore->wait(2.0)) timedOutAt = elapsed();
  });
  advance(10.0);
  EXPECT_DOUBLE_EQ(timedOutAt.load(), 3.0);
}

TEST_F(VirtualClockStepping, AdvanceFromInsideAnAdvanceRaises) {
  bool raised = false;
  Queue::main().after(1.0, [&] {
    try {
      clock().advance(1.0);
    } catch (const Exception&) {
      raised = true;
    }
  });
  advance(1.0);
  EXPECT_TRUE(raised);
}

TEST_F(VirtualClockStepping, TimersOfAnotherThreadsRunLoopFireAtTheirTimes) {
  auto worker = Thread::withRunLoop("clock-test");
  std::mutex mutex;
  std::vector<double> fires;
  worker->perform([&] {
    Timer::scheduled(1.0, true, [&](Timer& timer) {
      std::lock_guard lock(mutex);
      fires.push_back(elapsed());
      if (fires.size() == 3) timer.invalidate();
    });
  });
  ASSERT_TRUE(test::runUntil([&] { return worker->runLoop().nextDeadlineAfter(0) < Forever; }));
  advance(5.0);
  {
    std::lock_guard lock(mutex);
    ASSERT_EQ(fires.size(), 3u);
    EXPECT_DOUBLE_EQ(fires[0], 1.0);
    EXPECT_DOUBLE_EQ(fires[1], 2.0);
    EXPECT_DOUBLE_EQ(fires[2], 3.0);
  }
  worker->cancel();
  worker->waitUntilFinished();
}

}  // namespace
}  // namespace kit

namespace {

TEST(ClockAndDates, DatesAndMediaTimeFollowTheVirtualClock) {
  const double realWall = kit::wallClockNow();
  {
    kit::VirtualClock clock(1700000000.0);
    EXPECT_DOUBLE_EQ(kit::Date::now()->timeIntervalSince1970(), 1700000000.0);
    const double media = kit::mediaTime();
    clock.advance(90.0);
    EXPECT_DOUBLE_EQ(kit::Date::now()->timeIntervalSince1970(), 1700000090.0);
    EXPECT_DOUBLE_EQ(kit::mediaTime() - media, 90.0);
  }
  // The system clocks are back once the virtual clock is gone.
  EXPECT_NEAR(kit::wallClockNow(), realWall, 60.0);
}

TEST(ClockAndSleep, BootTimeGoesOnThroughSleepAndStallsMergeMissedFires) {
  double reached;
  {
    kit::VirtualClock clock(1700000000.0);
    std::vector<unsigned long> calls;
    auto ticks = kit::TimerSource::create(kit::Queue::main());
    ticks->setTimer(10, 10);
    ticks->setEventHandler([&] { calls.push_back(ticks->data()); });
    ticks->resume();
    const double now = kit::Clock::now(), boot = kit::Clock::bootNow();

    // Asleep for an hour: the wall and boot clocks move, timers do not.
    clock.sleep(3600);
    EXPECT_EQ(kit::Clock::now(), now);
    EXPECT_DOUBLE_EQ(kit::Clock::bootNow(), boot + 3600);
    EXPECT_DOUBLE_EQ(kit::Clock::wallNow(), 1700003600.0);
    EXPECT_TRUE(calls.empty());

    // An advance steps through every fire; a stall of the same length
    // delivers its three fires late, in one call.
    clock.advance(30);
    EXPECT_EQ(calls, (std::vector<unsigned long>{1, 1, 1}));
    clock.stall(30);
    EXPECT_EQ(calls, (std::vector<unsigned long>{1, 1, 1, 3}));
    EXPECT_DOUBLE_EQ(kit::Clock::now(), now + 60);
    EXPECT_DOUBLE_EQ(kit::Clock::bootNow(), boot + 3660);
    EXPECT_DOUBLE_EQ(kit::Clock::wallNow(), 1700003660.0);
    ticks->cancel();
    clock.settle();
    reached = kit::Clock::bootNow();
  }
  // The real boot clock goes on from there.
  EXPECT_GE(kit::Clock::bootNow(), reached);
}

}  // namespace

namespace {

TEST(ClockAndTimers, RepeatingTimerKeepsItsScheduleFarFromZero) {
  // Summing 0.1 ten times onto most clock readings lands just past the tenth
  // slot; the schedule must still give exactly ten fires a second, whatever
  // the reading the timer starts at.
  kit::VirtualClock clock;
  for (int start = 0; start < 40; ++start) {
    clock.advance(1.0);
    int fires = 0;
    auto timer = kit::Timer::scheduled(0.1, true, [&](kit::Timer&) { ++fires; });
    clock.advance(1.0);
    EXPECT_EQ(fires, 10) << "timer started at " << clock.now();
    timer->invalidate();
  }
}

}  // namespace
