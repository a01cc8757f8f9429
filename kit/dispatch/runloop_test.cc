// The run loop: the main queue as its source, timers, modes, sources,
// blocks, delayed performs and running until a date or a condition.
#include "kit/dispatch/runloop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread.h"
#include "kit/dispatch/timer.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/number.h"
#include "kit/foundation/string.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace kit {
namespace {

TEST(RunLoopTest, MainQueueTaskPostedFromTheMainQueueRunsAfterTheCurrentTask) {
  std::vector<std::string> order;
  Queue::main().async([&] {
    order.push_back("first begins");
    Queue::main().async([&] { order.push_back("posted from first"); });
    order.push_back("first ends");
  });
  Queue::main().async([&] { order.push_back("second"); });
  ASSERT_TRUE(test::runUntil([&] { return order.size() == 4; }));
  EXPECT_EQ(order, (std::vector<std::string>{"first begins", "first ends", "second", "posted from first"}));
}

TEST(RunLoopTest, MainQueueTasksDoNotNestWhenATaskRunsTheRunLoop) {
  std::vector<std::string> order;
  Queue::main().async([&] {
    Queue::main().async([&] { order.push_back("inner"); });
    // A nested run of the loop handles other work but not the main queue.
    bool blockRan = false;
    RunLoop::main().perform([&] { blockRan = true; });
    RunLoop::main().runUntil([&] { return blockRan; }, 5.0);
    order.push_back(blockRan ? "outer after nested run" : "nested run failed");
  });
  ASSERT_TRUE(test::runUntil([&] { return order.size() == 2; }));
  EXPECT_EQ(order, (std::vector<std::string>{"outer after nested run", "inner"}));
}

TEST(RunLoopTest, MainQueueTasksRunOnTheMainThreadInTheOrderPosted) {
  constexpr int kTasks = 1000;
  std::vector<int> seen;
  std::atomic<bool> offMain{false};
  auto worker = Thread::create("poster", [&] {
    for (int i = 0; i < kTasks; ++i) {
      Queue::main().async([&, i] {
        if (!Thread::isMainThread()) offMain = true;
        seen.push_back(i);
      });
    }
  });
  worker->start();
  ASSERT_TRUE(test::runUntil([&] { return seen.size() == static_cast<size_t>(kTasks); }));
  EXPECT_FALSE(offMain.load());
  for (int i = 0; i < kTasks; ++i) ASSERT_EQ(seen[i], i);
  worker->waitUntilFinished();
}

TEST(RunLoopTest, RunningAnotherThreadsRunLoopRaises) {
  std::atomic<bool> raised{false};
  auto worker = Thread::create("intruder", [&] {
    try {
      RunLoop::main().runOnce();
    } catch (const Exception& e) {
      raised = e.name() == InternalInconsistencyException;
    }
  });
  worker->start();
  worker->waitUntilFinished();
  EXPECT_TRUE(raised.load());
}

TEST(RunLoopTest, SourceIsPerformedOncePerSignalAndNeverReentrantly) {
  int performs = 0;
  int nestedPerforms = 0;
  Ref<RunLoopSource> source;
  source = RunLoopSource::create([&] {
    ++performs;
    if (performs == 1) {
      source->signal();
      // The nested run must not perform the source inside its own callback.
      RunLoop::main().runOnce(DefaultRunLoopMode, 0);
      nestedPerforms = performs - 1;
    }
  });
  RunLoop::main().addSource(source, DefaultRunLoopMode);
  source->signal();
  source->signal();  // merged with the first
  ASSERT_TRUE(test::runUntil([&] { return performs == 2; }));
  EXPECT_EQ(nestedPerforms, 0);
  RunLoop::main().runOnce(DefaultRunLoopMode, 0);
  EXPECT_EQ(performs, 2);
  source->invalidate();
  source->signal();
  RunLoop::main().runOnce(DefaultRunLoopMode, 0);
  EXPECT_EQ(performs, 2);
}

TEST(RunLoopTest, BlocksRunOnlyInTheirModes) {
  std::vector<std::string> ran;
  RunLoop::main().perform([&] { ran.push_back("tracking"); }, TrackingRunLoopMode);
  RunLoop::main().perform([&] { ran.push_back("common"); }, CommonRunLoopModes);
  RunLoop::main().perform([&] { ran.push_back("custom"); }, "custom");
  RunLoop::main().runOnce(DefaultRunLoopMode, 0);
  EXPECT_EQ(ran, (std::vector<std::string>{"common"}));
  RunLoop::main().runOnce(TrackingRunLoopMode, 0);
  EXPECT_EQ(ran, (std::vector<std::string>{"common", "tracking"}));
  RunLoop::main().addCommonMode("custom");
  RunLoop::main().perform([&] { ran.push_back("common in custom"); }, CommonRunLoopModes);
  RunLoop::main().runOnce("custom", 0);
  EXPECT_EQ(ran, (std::vector<std::string>{"common", "tracking", "custom", "common in custom"}));
}

TEST(RunLoopTest, StopEndsRunAndRunUntilReportsTheCondition) {
  Queue::main().async([] { RunLoop::main().stop(); });
  RunLoop::main().run();  // returns only because of stop()
  int count = 0;
  Queue::main().async([&] { ++count; });
  EXPECT_TRUE(RunLoop::main().runUntil([&] { return count == 1; }, 5.0));
  EXPECT_FALSE(RunLoop::main().runUntil([] { return false; }, 0.01));
}

TEST(RunLoopTest, ThreadRunLoopPerformsWorkHandedToIt) {
  auto worker = Thread::withRunLoop("loop-worker");
  std::atomic<bool> onWorker{false};
  std::atomic<bool> done{false};
  worker->perform([&] {
    onWorker = Thread::current() == worker && !Thread::isMainThread() && &RunLoop::current() == &worker->runLoop();
    done = true;
  });
  ASSERT_TRUE(test::runUntil([&] { return done.load(); }));
  EXPECT_TRUE(onWorker.load());
  EXPECT_EQ(worker->name(), "loop-worker");
  worker->cancel();
  worker->waitUntilFinished();
  EXPECT_TRUE(worker->isFinished());
  EXPECT_FALSE(worker->isExecuting());
}

// ---- Timers and performs on the virtual clock -------------------------------------

class RunLoopTimers : public test::VirtualClockTest {};

TEST_F(RunLoopTimers, RepeatingTimerFiresOnItsScheduleUntilInvalidated) {
  std::vector<double> fires;
  auto timer = Timer::scheduled(1.0, true, [&](Timer& t) {
    fires.push_back(elapsed());
    if (fires.size() == 3) t.invalidate();
  });
  EXPECT_DOUBLE_EQ(timer->fireDate(), startTime() + 1.0);
  EXPECT_DOUBLE_EQ(timer->timeInterval(), 1.0);
  advance(10.0);
  EXPECT_EQ(fires, (std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_FALSE(timer->isValid());
}

TEST_F(RunLoopTimers, OneShotTimerFiresOnceAndIsInvalidated) {
  int fires = 0;
  auto timer = Timer::scheduled(2.0, false, [&](Timer&) { ++fires; });
  EXPECT_EQ(timer->timeInterval(), 0);
  advance(1.999);
  EXPECT_EQ(fires, 0);
  advance(0.001);
  EXPECT_EQ(fires, 1);
  EXPECT_FALSE(timer->isValid());
  advance(10);
  EXPECT_EQ(fires, 1);
}

TEST_F(RunLoopTimers, MovingTheFireDateReschedules) {
  std::vector<double> fires;
  auto timer = Timer::scheduled(5.0, true, [&](Timer&) { fires.push_back(elapsed()); });
  timer->setFireDate(startTime() + 0.5);
  advance(6.0);
  EXPECT_EQ(fires, (std::vector<double>{0.5, 5.5}));
  timer->invalidate();
}

TEST_F(RunLoopTimers, InvalidatingReleasesTheCallback) {
  auto owner = std::make_shared<int>(7);
  Weak<int> weakOwner = owner;
  auto timer = Timer::scheduled(1.0, true, [owner](Timer&) {});
  owner.reset();
  EXPECT_FALSE(weakOwner.expired());
  timer->invalidate();
  EXPECT_TRUE(weakOwner.expired());
}

TEST_F(RunLoopTimers, TimerFiresOnlyInItsModes) {
  int defaultFires = 0, trackingFires = 0, commonFires = 0;
  auto inDefault = Timer::create(1.0, false, [&](Timer&) { ++defaultFires; });
  auto inTracking = Timer::create(1.0, false, [&](Timer&) { ++trackingFires; });
  auto inCommon = Timer::create(1.0, false, [&](Timer&) { ++commonFires; });
  RunLoop::main().addTimer(inDefault, DefaultRunLoopMode);
  RunLoop::main().addTimer(inTracking, TrackingRunLoopMode);
  RunLoop::main().addTimer(inCommon, CommonRunLoopModes);
  EXPECT_TRUE(RunLoop::main().containsTimer(inCommon, TrackingRunLoopMode));
  advance(2.0);  // the loop runs in the default mode
  EXPECT_EQ(defaultFires, 1);
  EXPECT_EQ(commonFires, 1);
  EXPECT_EQ(trackingFires, 0);
  RunLoop::main().runOnce(TrackingRunLoopMode, 0);  // e.g. while a scroll view tracks
  EXPECT_EQ(trackingFires, 1);
}

TEST_F(RunLoopTimers, TimerCanBelongToOneRunLoopOnly) {
  auto timer = Timer::create(1.0, false, [](Timer&) {});
  RunLoop::main().addTimer(timer);
  auto worker = Thread::withRunLoop("other-loop");
  EXPECT_THROW(worker->runLoop().addTimer(timer), Exception);
  timer->invalidate();
  worker->cancel();
  worker->waitUntilFinished();
}

TEST_F(RunLoopTimers, DelayedCallCancelledAndRescheduledRunsOnceAfterTheSecondRequest) {
  auto target = std::make_shared<Object>();
  int runs = 0;
  double ranAt = -1;
  auto hide = [&] {
    ++runs;
    ranAt = elapsed();
  };
  RunLoop::main().performAfter(target.get(), "hideHud", nullptr, 1.0, hide);
  advance(0.4);
  RunLoop::main().cancelPreviousPerformRequests(target.get(), "hideHud", nullptr);
  RunLoop::main().performAfter(target.get(), "hideHud", nullptr, 1.0, hide);
  advance(0.9);
  EXPECT_EQ(runs, 0);  // the first request, due at 1.0, was cancelled
  advance(0.5);
  EXPECT_EQ(runs, 1);
  EXPECT_NEAR(ranAt, 1.4, 1e-9);
  advance(5.0);
  EXPECT_EQ(runs, 1);
}

TEST_F(RunLoopTimers, CancelMatchesTargetNameAndEqualArgument) {
  auto target = std::make_shared<Object>();
  auto other = std::make_shared<Object>();
  std::vector<std::string> ran;
  auto record = [&](std::string what) { return [&ran, what] { ran.push_back(what); }; };
  RunLoop::main().performAfter(target.get(), "load", num(1), 1.0, record("load 1"));
  RunLoop::main().performAfter(target.get(), "load", num(2), 1.0, record("load 2"));
  RunLoop::main().performAfter(target.get(), "save", num(1), 1.0, record("save 1"));
  RunLoop::main().performAfter(other.get(), "load", num(1), 1.0, record("other load 1"));
  // A different but equal argument object matches.
  RunLoop::main().cancelPreviousPerformRequests(target.get(), "load", num(1.0));
  EXPECT_EQ(RunLoop::main().pendingPerformCount(target.get()), 2u);
  advance(1.0);
  EXPECT_EQ(ran, (std::vector<std::string>{"load 2", "save 1", "other load 1"}));

  ran.clear();
  RunLoop::main().performAfter(target.get(), "a", nullptr, 1.0, record("a"));
  RunLoop::main().performAfter(target.get(), "b", String::make("x"), 1.0, record("b"));
  RunLoop::main().performAfter(other.get(), "a", nullptr, 1.0, record("other a"));
  RunLoop::main().cancelPreviousPerformRequests(target.get());
  advance(1.0);
  EXPECT_EQ(ran, (std::vector<std::string>{"other a"}));
}

TEST_F(RunLoopTimers, DelayedCallOfADestroyedTargetIsDropped) {
  struct Hud : Object {
    int* hides;
    explicit Hud(int* h) : hides(h) {}
    void hide() { ++*hides; }
  };
  int hides = 0;
  auto hud = std::make_shared<Hud>(&hides);
  Hud* raw = hud.get();
  RunLoop::main().performAfter(raw, "hide", nullptr, 1.0, [raw] { raw->hide(); });
  hud.reset();
  advance(2.0);  // under ASan, calling through `raw` here would be reported
  EXPECT_EQ(hides, 0);
}

TEST_F(RunLoopTimers, PerformInTrackingModeWaitsForThatMode) {
  int runs = 0;
  RunLoop::main().performAfter(nullptr, "tracked", nullptr, 0.5, [&] { ++runs; }, {TrackingRunLoopMode});
  advance(1.0);
  EXPECT_EQ(runs, 0);
  RunLoop::main().runOnce(TrackingRunLoopMode, 0);
  EXPECT_EQ(runs, 1);
}

TEST_F(RunLoopTimers, RunUntilDateReturnsWhenTheVirtualClockGetsThere) {
  // Another thread moves time; the main loop runs until the date.
  const double date = startTime() + 3.0;
  std::atomic<bool> fired{false};
  Timer::scheduled(2.0, false, [&](Timer&) { fired = true; });
  auto mover = Thread::create("mover", [&] { clock().advance(3.0); });
  Queue::main().async([&] { mover->start(); });  // once the loop runs
  RunLoop::main().runUntilDate(date);
  EXPECT_GE(Clock::now(), date);
  EXPECT_TRUE(fired.load());
  mover->waitUntilFinished();
}

}  // namespace
}  // namespace kit
