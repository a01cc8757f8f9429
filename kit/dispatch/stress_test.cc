// Thread-safety under load: many threads posting to every kind of queue at
// once, mixed with barriers, groups, semaphores, timers and main-queue hops.
// Run under the sanitizers (and ThreadSanitizer where available) these look
// for races, lost tasks and deadlocks.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "kit/dispatch/group.h"
#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/semaphore.h"
#include "kit/dispatch/thread.h"
#include "kit/dispatch/timer_source.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace kit {
namespace {

constexpr int kProducers = 8;
constexpr int kPerProducer = 500;

TEST(StressTest, EveryTaskPostedFromManyThreadsRunsExactlyOnce) {
  auto serial = Queue::serial("stress-serial");
  auto concurrent = Queue::concurrent("stress-concurrent");
  auto group = Group::create();
  std::atomic<int> serialRuns{0}, concurrentRuns{0}, globalRuns{0}, mainRuns{0}, barrierRuns{0};
  // Plain state guarded only by the serial queue: a race here is a bug.
  std::vector<int> lastSeenPerProducer(kProducers, -1);
  std::atomic<bool> outOfOrder{false};
  // State that barriers alone write and plain tasks only read.
  long barrierCounter = 0;

  std::vector<Ref<Thread>> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.push_back(Thread::create("producer", [&, p] {
      for (int i = 0; i < kPerProducer; ++i) {
        group->async(*serial, [&, p, i] {
          if (lastSeenPerProducer[p] != i - 1) outOfOrder = true;
          lastSeenPerProducer[p] = i;
          ++serialRuns;
        });
        group->async(*concurrent, [&] {
          [[maybe_unused]] volatile long read = barrierCounter;
          ++concurrentRuns;
        });
        if (i % 50 == 0) {
          group->enter();
          concurrent->barrierAsync([&, group] {
            ++barrierCounter;
            ++barrierRuns;
            group->leave();
          });
        }
        group->async(Queue::global(static_cast<Queue::Priority>(i % 4)), [&] { ++globalRuns; });
        if (i % 10 == 0) group->async(Queue::main(), [&] { ++mainRuns; });
      }
    }));
    producers.back()->start();
  }
  for (auto& t : producers) t->waitUntilFinished();
  // Registered once nothing more is added: the group may have been empty
  // for a moment while the producers ran.
  bool allDone = false;
  group->notify(Queue::main(), [&] { allDone = true; });
  ASSERT_TRUE(test::runUntil([&] { return allDone; }, 60));
  EXPECT_FALSE(outOfOrder.load());
  EXPECT_EQ(serialRuns.load(), kProducers * kPerProducer);
  EXPECT_EQ(concurrentRuns.load(), kProducers * kPerProducer);
  EXPECT_EQ(globalRuns.load(), kProducers * kPerProducer);
  EXPECT_EQ(mainRuns.load(), kProducers * kPerProducer / 10);
  EXPECT_EQ(barrierRuns.load(), kProducers * kPerProducer / 50);
  EXPECT_EQ(concurrent->barrierSync([&] { return barrierCounter; }), kProducers * kPerProducer / 50);
}

TEST(StressTest, SemaphorePingPongAcrossThreadsLosesNoSignal) {
  auto ping = Semaphore::create(0), pong = Semaphore::create(0);
  constexpr int kRounds = 5000;
  std::atomic<int> rounds{0};
  auto other = Thread::create("pong", [&] {
    for (int i = 0; i < kRounds; ++i) {
      if (!ping->wait(30.0)) return;
      pong->signal();
    }
  });
  other->start();
  for (int i = 0; i < kRounds; ++i) {
    ping->signal();
    ASSERT_TRUE(pong->wait(30.0));
    ++rounds;
  }
  other->waitUntilFinished();
  EXPECT_EQ(rounds.load(), kRounds);
}

TEST(StressTest, RunLoopsTimersAndCancelsFromManyThreads) {
  // Threads add and cancel delayed performs on the main run loop at once.
  // Each even request is cancelled right away together with the odd one
  // before it, so per thread only the last request (i = 199) survives.
  std::atomic<int> fired{0};
  std::vector<Ref<Object>> targets;
  for (int i = 0; i < kProducers; ++i) targets.push_back(std::make_shared<Object>());
  std::vector<Ref<Thread>> threads;
  for (int t = 0; t < kProducers; ++t) {
    threads.push_back(Thread::create("performer", [&, t] {
      for (int i = 0; i < 200; ++i) {
        RunLoop::main().performAfter(targets[t].get(), "tick", nullptr, 0.001, [&] { ++fired; });
        if (i % 2 == 0) RunLoop::main().cancelPreviousPerformRequests(targets[t].get(), "tick", nullptr);
      }
    }));
    threads.back()->start();
  }
  for (auto& t : threads) t->waitUntilFinished();
  ASSERT_TRUE(test::runUntil([&] {
    size_t pending = 0;
    for (auto& target : targets) pending += RunLoop::main().pendingPerformCount(target.get());
    return pending == 0;
  }));
  EXPECT_EQ(fired.load(), kProducers);
}

TEST(StressTest, OperationQueuesUnderLoad) {
  auto queue = OperationQueue::create("stress-ops");
  queue->setMaxConcurrentOperationCount(3);
  std::atomic<int> active{0}, highest{0}, done{0};
  std::vector<Ref<Thread>> adders;
  for (int t = 0; t < 4; ++t) {
    adders.push_back(Thread::create("adder", [&] {
      Ref<Operation> previous;
      for (int i = 0; i < 100; ++i) {
        auto op = BlockOperation::create([&] {
          const int now = active.fetch_add(1) + 1;
          int seen = highest.load();
          while (now > seen && !highest.compare_exchange_weak(seen, now)) {
          }
          active.fetch_sub(1);
          ++done;
        });
        if (previous && i % 3 == 0) op->addDependency(previous);
        queue->addOperation(op);
        previous = op;
      }
    }));
    adders.back()->start();
  }
  for (auto& t : adders) t->waitUntilFinished();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(done.load(), 400);
  EXPECT_LE(highest.load(), 3);
}

class StressOnVirtualClock : public test::VirtualClockTest {};

TEST_F(StressOnVirtualClock, ManyTimerSourcesOnWorkerQueuesKeepTheirSchedules) {
  constexpr int kTimers = 16;
  std::vector<Ref<TimerSource>> timers;
  std::vector<std::atomic<int>> fires(kTimers);
  std::atomic<bool> wrongTime{false};
  for (int i = 0; i < kTimers; ++i) {
    auto queue = i % 2 ? Queue::serial("timer-" + std::to_string(i)) : Queue::concurrent("timer-c");
    auto timer = TimerSource::create(*queue);
    const double interval = 0.5 + 0.25 * i;
    timer->setTimer(interval, interval);
    timer->setEventHandler([&, i, interval] {
      const int n = ++fires[i];
      const double expected = n * interval;
      if (std::abs(elapsed() - expected) > 1e-6) wrongTime = true;
    });
    timer->resume();
    timers.push_back(timer);
  }
  advance(30.0);
  for (auto& timer : timers) timer->cancel();
  EXPECT_FALSE(wrongTime.load());
  for (int i = 0; i < kTimers; ++i) {
    const double interval = 0.5 + 0.25 * i;
    EXPECT_EQ(fires[i].load(), static_cast<int>(30.0 / interval + 1e-9)) << "timer " << i;
  }
}

}  // namespace
}  // namespace kit
