// Dispatch queues: ordering, concurrency, barriers, sync and its deadlock
// checks, delays, suspension, current queue and queue-specific values.
#include "kit/dispatch/queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kit/dispatch/semaphore.h"
#include "kit/dispatch/thread.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/string.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace kit {
namespace {

TEST(QueueTest, SerialQueueRunsTasksOneAtATimeInOrder) {
  auto queue = Queue::serial("serial-order");
  constexpr int kTasks = 2000;
  std::vector<int> seen;
  std::atomic<int> active{0};
  std::atomic<bool> overlapped{false};
  for (int i = 0; i < kTasks; ++i) {
    queue->async([&, i] {
      if (active.fetch_add(1) != 0) overlapped = true;
      seen.push_back(i);
      active.fetch_sub(1);
    });
  }
  ASSERT_TRUE(test::drain(*queue));
  EXPECT_FALSE(overlapped.load());
  ASSERT_EQ(seen.size(), static_cast<size_t>(kTasks));
  for (int i = 0; i < kTasks; ++i) ASSERT_EQ(seen[i], i);
}

TEST(QueueTest, ConcurrentQueueRunsTasksSideBySide) {
  // Two tasks that each wait for the other can only both finish when they
  // run at the same time.
  auto queue = Queue::concurrent("side-by-side");
  auto first = Semaphore::create(0), second = Semaphore::create(0);
  std::atomic<int> met{0};
  queue->async([&] {
    first->signal();
    if (second->wait(10.0)) ++met;
  });
  queue->async([&] {
    second->signal();
    if (first->wait(10.0)) ++met;
  });
  ASSERT_TRUE(test::runUntil([&] { return met == 2; }));
}

TEST(QueueTest, BarrierRunsAloneBetweenWhatCameBeforeAndAfter) {
  auto queue = Queue::concurrent("barrier");
  std::atomic<int> active{0};
  std::atomic<int> before{0}, after{0};
  std::atomic<bool> barrierSawOthers{false}, afterStartedEarly{false};
  std::atomic<bool> barrierDone{false};
  for (int i = 0; i < 50; ++i) {
    queue->async([&] {
      active.fetch_add(1);
      before.fetch_add(1);
      active.fetch_sub(1);
    });
  }
  queue->barrierAsync([&] {
    if (active.load() != 0 || before.load() != 50) barrierSawOthers = true;
    barrierDone = true;
  });
  for (int i = 0; i < 50; ++i) {
    queue->async([&] {
      if (!barrierDone.load()) afterStartedEarly = true;
      after.fetch_add(1);
    });
  }
  ASSERT_TRUE(test::runUntil([&] { return after == 50; }));
  EXPECT_FALSE(barrierSawOthers.load());
  EXPECT_FALSE(afterStartedEarly.load());
}

TEST(QueueTest, SyncRunsOnTheCallerAndReturnsValuesAndExceptions) {
  auto queue = Queue::serial("sync");
  const auto caller = std::this_thread::get_id();
  std::thread::id ranOn;
  const int answer = queue->sync([&] {
    ranOn = std::this_thread::get_id();
    EXPECT_TRUE(queue->isCurrent());
    return 42;
  });
  EXPECT_EQ(answer, 42);
  EXPECT_EQ(ranOn, caller);
  EXPECT_THROW(queue->sync([] { raise(InvalidArgumentException, "bad"); }), Exception);
  // The queue still works after a task threw.
  EXPECT_EQ(queue->sync([] { return std::string("ok"); }), "ok");
  const int barrierValue = Queue::concurrent("c")->barrierSync([] { return 7; });
  EXPECT_EQ(barrierValue, 7);
}

TEST(QueueTest, SyncWaitsForEarlierTasks) {
  auto queue = Queue::serial("sync-order");
  std::vector<int> order;
  for (int i = 0; i < 100; ++i) queue->async([&, i] { order.push_back(i); });
  queue->sync([&] { order.push_back(100); });
  ASSERT_EQ(order.size(), 101u);
  for (int i = 0; i <= 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(QueueTest, SyncThatWouldDeadlockRaisesInstead) {
  try {
    Queue::main().sync([] {});
    FAIL() << "sync onto the main queue from the main thread returned";
  } catch (const Exception& e) {
    EXPECT_EQ(e.name(), InternalInconsistencyException);
    EXPECT_NE(e.reason().find("main queue"), std::string::npos);
  }

  auto serial = Queue::serial("self-sync");
  std::atomic<int> raised{0};
  serial->async([&] {
    try {
      serial->sync([] {});
    } catch (const Exception&) {
      ++raised;
    }
  });
  auto concurrent = Queue::concurrent("barrier-self-sync");
  concurrent->async([&] {
    try {
      concurrent->barrierSync([] {});
    } catch (const Exception&) {
      ++raised;
    }
    concurrent->sync([&] { ++raised; });  // a plain sync from a plain task is fine
  });
  ASSERT_TRUE(test::runUntil([&] { return raised == 3; }));
}

TEST(QueueTest, SyncOntoTheMainQueueFromAWorkerRunsOnTheMainThread) {
  std::atomic<bool> onMain{false};
  std::atomic<int> result{0};
  Queue::global().async([&] {
    result = Queue::main().sync([&] {
      onMain = Thread::isMainThread() && Queue::main().isCurrent();
      return 5;
    });
  });
  ASSERT_TRUE(test::runUntil([&] { return result == 5; }));
  EXPECT_TRUE(onMain.load());
}

TEST(QueueTest, CurrentQueueAndSpecificValues) {
  static const char key = 0;
  auto queue = Queue::serial("specific");
  queue->setSpecific(&key, String::make("private"));
  Queue::main().setSpecific(&key, String::make("main"));
  EXPECT_TRUE(Queue::main().isCurrent());
  EXPECT_EQ(Queue::current().get(), &Queue::main());
  EXPECT_EQ(describe(Queue::currentSpecific(&key)), "main");

  Id seen;
  bool current = false, mainCurrent = true;
  queue->sync([&] {
    seen = Queue::currentSpecific(&key);
    current = Queue::current() == queue;
    mainCurrent = Queue::main().isCurrent();
  });
  EXPECT_EQ(describe(seen), "private");
  EXPECT_TRUE(current);
  EXPECT_FALSE(mainCurrent);

  // A private queue without the value finds its global queue's.
  static const char globalKey = 0;
  Queue::global().setSpecific(&globalKey, String::make("global"));
  EXPECT_EQ(describe(queue->sync([] { return Queue::currentSpecific(&globalKey); })), "global");
  Queue::global().setSpecific(&globalKey, nullptr);
  EXPECT_EQ(queue->sync([] { return Queue::currentSpecific(&globalKey); }), nullptr);
}

TEST(QueueTest, SuspendedQueueStartsNothingUntilResumed) {
  auto queue = Queue::serial("suspended");
  std::atomic<int> ran{0};
  queue->suspend();
  queue->suspend();
  for (int i = 0; i < 10; ++i) queue->async([&] { ++ran; });
  queue->resume();
  EXPECT_FALSE(test::runUntil([&] { return ran > 0; }, 0.05));
  queue->resume();
  ASSERT_TRUE(test::runUntil([&] { return ran == 10; }));
  EXPECT_THROW(queue->resume(), Exception);
}

TEST(QueueTest, WeakCapturedHopIsSkippedWhenItsOwnerIsGone) {
  struct Screen : Object {
    std::atomic<int> reloads{0};
  };
  auto screen = std::make_shared<Screen>();
  Weak<Screen> weakScreen = screen;
  std::atomic<int> hopsRun{0}, reloadsDone{0};
  auto ready = Semaphore::create(0);
  Queue::global().async([weak = weakScreen, ready, &hopsRun, &reloadsDone] {
    ready->wait();  // the owner goes away while this worker is busy
    Queue::main().async([weak, &hopsRun, &reloadsDone] {
      ++hopsRun;
      if (auto self = weak.lock()) {
        ++self->reloads;
        ++reloadsDone;
      }
    });
  });
  screen.reset();
  EXPECT_TRUE(weakScreen.expired());
  ready->signal();
  ASSERT_TRUE(test::runUntil([&] { return hopsRun == 1; }));
  EXPECT_EQ(reloadsDone.load(), 0);
}

TEST(QueueTest, ExceptionEscapingAnAsyncTaskIsLoggedAndTheQueueGoesOn) {
  test::LogCapture logs;
  auto queue = Queue::serial("throwing");
  std::atomic<bool> after{false};
  queue->async([] { raise(InvalidArgumentException, "broken task"); });
  queue->async([&] { after = true; });
  ASSERT_TRUE(test::runUntil([&] { return after.load(); }));
  EXPECT_TRUE(logs.contains("broken task"));
  EXPECT_TRUE(logs.contains("throwing"));
}

TEST(QueueTest, HigherPriorityGlobalQueueAndLabels) {
  EXPECT_EQ(Queue::main().label(), "kit.main-thread");
  EXPECT_TRUE(Queue::main().isSerial());
  EXPECT_FALSE(Queue::global().isSerial());
  EXPECT_NE(&Queue::global(Queue::Priority::High), &Queue::global(Queue::Priority::Background));
  EXPECT_EQ(Queue::serial("com.example.io")->label(), "com.example.io");
  std::atomic<int> done{0};
  for (auto p : {Queue::Priority::High, Queue::Priority::Default, Queue::Priority::Low, Queue::Priority::Background}) {
    Queue::global(p).async([&] { ++done; });
  }
  ASSERT_TRUE(test::runUntil([&] { return done == 4; }));
}

// ---- Delays on the virtual clock -----------------------------------------------------

class QueueDelays : public test::VirtualClockTest {};

TEST_F(QueueDelays, AfterRunsOnItsQueueAtTheDelay) {
  auto queue = Queue::serial("delayed");
  std::mutex mutex;
  std::vector<std::pair<std::string, double>> runs;
  auto record = [&](std::string what) {
    return [&, what] {
      std::lock_guard lock(mutex);
      EXPECT_TRUE(queue->isCurrent());
      runs.emplace_back(what, elapsed());
    };
  };
  queue->after(2.0, record("two"));
  queue->after(1.0, record("one"));
  queue->after(1.0, record("one again"));
  advance(0.99);
  {
    std::lock_guard lock(mutex);
    EXPECT_TRUE(runs.empty());
  }
  advance(5.0);
  std::lock_guard lock(mutex);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0], std::make_pair(std::string("one"), 1.0));
  EXPECT_EQ(runs[1], std::make_pair(std::string("one again"), 1.0));
  EXPECT_EQ(runs[2], std::make_pair(std::string("two"), 2.0));
}

TEST_F(QueueDelays, NegativeDelayRunsAtOnce) {
  std::atomic<bool> ran{false};
  Queue::global().after(-5, [&] { ran = true; });
  ASSERT_TRUE(test::runUntil([&] { return ran.load(); }));
}

}  // namespace
}  // namespace kit
