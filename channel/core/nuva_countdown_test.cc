// Named countdowns on the virtual clock: progress each second and finish on
// the main queue, replacement and cancelling by key, finish at most once
// with a busy main queue, and the time texts.

#include "channel/core/nuva_countdown.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/format.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace {

struct Recorder {
  std::vector<std::pair<double, double>> progress;  // (elapsed, remaining)
  std::vector<double> finishes;
  bool offMain = false;
};

class Countdown : public kit::test::VirtualClockTest {
 protected:
  // A countdown that records what it reports and when.
  void start(Recorder& r, double seconds, const char* key = nullptr) {
    auto startTime = clock().now();
    countdowns->countdown(
        seconds,
        [&r, startTime, this](double remaining) {
          r.offMain |= !kit::RunLoop::isMainThread();
          r.progress.emplace_back(clock().now() - startTime, remaining);
        },
        [&r, startTime, this] {
          r.offMain |= !kit::RunLoop::isMainThread();
          r.finishes.push_back(clock().now() - startTime);
        },
        key ? kit::str(key) : nullptr);
  }
  // Lets the timer's first tick and its hop to the main queue run.
  void settle() { ASSERT_TRUE(kit::test::drain(kit::Queue::global())); clock().settle(); }

  kit::Ref<NUVACountdown> countdowns = kit::make<NUVACountdown>();
};

TEST_F(Countdown, ThreeSecondsReportThreeTwoOneThenFinishOnMain) {
  Recorder r;
  start(r, 3);
  settle();
  advance(3.0);
  settle();
  ASSERT_EQ(r.progress.size(), 3u);
  EXPECT_EQ(r.progress[0], (std::pair<double, double>{0, 3}));
  EXPECT_EQ(r.progress[1], (std::pair<double, double>{1, 2}));
  EXPECT_EQ(r.progress[2], (std::pair<double, double>{2, 1}));
  ASSERT_EQ(r.finishes.size(), 1u);
  EXPECT_DOUBLE_EQ(r.finishes[0], 3.0);
  EXPECT_FALSE(r.offMain);
  advance(5.0);
  EXPECT_EQ(r.finishes.size(), 1u);
}

TEST_F(Countdown, FractionalAndZeroLengths) {
  Recorder half, zero;
  start(half, 2.5);
  start(zero, 0);
  settle();
  EXPECT_TRUE(zero.progress.empty());
  ASSERT_EQ(zero.finishes.size(), 1u);
  EXPECT_DOUBLE_EQ(zero.finishes[0], 0);
  advance(3.0);
  settle();
  ASSERT_EQ(half.progress.size(), 3u);
  EXPECT_DOUBLE_EQ(half.progress[2].second, 0.5);
  ASSERT_EQ(half.finishes.size(), 1u);
  EXPECT_DOUBLE_EQ(half.finishes[0], 3.0);
}

TEST_F(Countdown, RestartingANameLeavesOneCountdownAndTheFirstNeverFinishes) {
  Recorder first, second;
  start(first, 60, "upDown");
  settle();
  advance(10.0);
  start(second, 60, "upDown");
  settle();
  advance(59.0);
  EXPECT_TRUE(second.finishes.empty());
  advance(1.0);
  settle();
  EXPECT_TRUE(first.finishes.empty());
  ASSERT_EQ(second.finishes.size(), 1u);
  EXPECT_DOUBLE_EQ(second.finishes[0], 60.0);
  EXPECT_LE(first.progress.size(), 11u);  // it stopped at the restart
  EXPECT_EQ(countdowns->timerDictionary()->count(), 1u);
}

TEST_F(Countdown, KeyedCountdownsCanBeQueriedAndCancelledUnkeyedOnesCannot) {
  Recorder luck, a, b;
  start(luck, 30, "luck");
  start(a, 2);
  start(b, 2);
  settle();
  EXPECT_TRUE(countdowns->isHasRunTimer(kit::str("luck")));
  EXPECT_EQ(countdowns->timerDictionary()->count(), 1u);
  EXPECT_FALSE(countdowns->isHasRunTimer(nullptr));  // "defaultTimeKey"

  countdowns->cancelTimer(kit::str(""));
  countdowns->cancelTimer(kit::str("nothing"));
  EXPECT_TRUE(countdowns->isHasRunTimer(kit::str("luck")));
  advance(5.0);
  countdowns->cancelTimer(kit::str("luck"));
  EXPECT_FALSE(countdowns->isHasRunTimer(kit::str("luck")));
  advance(40.0);
  EXPECT_TRUE(luck.finishes.empty());
  EXPECT_EQ(a.finishes.size(), 1u);
  EXPECT_EQ(b.finishes.size(), 1u);
}

TEST_F(Countdown, AFinishedKeyedCountdownStaysRegistered) {
  Recorder r;
  start(r, 1, "twoTimer");
  settle();
  advance(2.0);
  settle();
  ASSERT_EQ(r.finishes.size(), 1u);
  EXPECT_TRUE(countdowns->isHasRunTimer(kit::str("twoTimer")));
  EXPECT_EQ(kit::describe((*countdowns->timerDictionary())["twoTimer"]), "finished");
}

// A busy main queue needs real time: the main thread holds a task while the
// timer's ticks queue up behind it (waiting on the queue's count, with a
// real-time limit, not for a fixed time).
bool holdMainUntilQueued(size_t steps, double limitSeconds = 10) {
  auto limit = std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
  while (kit::Queue::main().pendingTaskCount() < steps + 1) {  // + the task holding it
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(CountdownOnABusyMainQueue, FinishRunsOnceAndEachStepSeesItsOwnValue) {
  auto countdowns = kit::make<NUVACountdown>();
  std::vector<double> progress;
  int finishes = 0;
  countdowns->countdown(
      2, [&](double remaining) { progress.push_back(remaining); }, [&] { ++finishes; }, kit::str("busy"));
  ASSERT_TRUE(kit::test::runUntil([&] { return progress.size() == 1; }));
  // The main queue is held past the 1 s, 2 s and 3 s ticks: two of the
  // queued steps come when the countdown is due to end.
  bool held = false;
  kit::Queue::main().async([&] { held = holdMainUntilQueued(3); });
  ASSERT_TRUE(kit::test::runUntil([&] { return finishes > 0; }));
  EXPECT_TRUE(held);
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(finishes, 1);
  EXPECT_EQ(progress, (std::vector<double>{2, 1}));
}

TEST(CountdownOnABusyMainQueue, AStepQueuedBeforeACancelIsDropped) {
  auto countdowns = kit::make<NUVACountdown>();
  std::vector<double> progress;
  int finishes = 0;
  countdowns->countdown(
      1, [&](double remaining) { progress.push_back(remaining); }, [&] { ++finishes; }, kit::str("luck"));
  ASSERT_TRUE(kit::test::runUntil([&] { return progress.size() == 1; }));
  // The 1 s tick (the finish) reaches the main queue while a task holds it;
  // that task cancels the countdown before the step can run.
  bool held = false;
  kit::Queue::main().async([&] {
    held = holdMainUntilQueued(1);
    countdowns->cancelTimer(kit::str("luck"));
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return held; }));
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(finishes, 0);
  EXPECT_FALSE(countdowns->isHasRunTimer(kit::str("luck")));
}

TEST(CountdownTexts, HoursMinutesAndSeconds) {
  auto countdowns = NUVACountdown::shareInstance();
  EXPECT_EQ(countdowns, NUVACountdown::shareInstance());
  EXPECT_EQ(countdowns->createTimeStingWithTime(3725.9)->utf8(), "01:02:05");
  EXPECT_EQ(countdowns->createTimeStingWithTime(-1)->utf8(), "00:00:00");
  EXPECT_EQ(countdowns->createTimeStingWithTime(360000)->utf8(), "100:00:00");
  EXPECT_EQ(countdowns->createMMSS(3700)->utf8(), "61:40");
  EXPECT_EQ(countdowns->createMMSS(59)->utf8(), "00:59");
  EXPECT_EQ(countdowns->createMMSS(-3)->utf8(), "00:00");
}

}  // namespace
