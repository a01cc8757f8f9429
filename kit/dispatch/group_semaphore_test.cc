// Groups, semaphores and once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "kit/dispatch/clock_detail.h"
#include "kit/dispatch/group.h"
#include "kit/dispatch/once.h"
#include "kit/dispatch/semaphore.h"
#include "kit/dispatch/thread.h"
#include "kit/foundation/exception.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace kit {
namespace {

TEST(GroupTest, NotifyRunsOnceAllWorkHasLeft) {
  auto group = Group::create();
  std::atomic<int> done{0};
  int doneWhenNotified = -1;
  bool notifiedOnMain = false;
  for (int i = 0; i < 20; ++i) group->async(Queue::global(), [&] { ++done; });
  group->enter();  // work tracked by hand
  Queue::global().async([&, group] {
    ++done;
    group->leave();
  });
  group->notify(Queue::main(), [&] {
    doneWhenNotified = done.load();
    notifiedOnMain = Thread::isMainThread();
  });
  ASSERT_TRUE(test::runUntil([&] { return doneWhenNotified != -1; }));
  EXPECT_EQ(doneWhenNotified, 21);
  EXPECT_TRUE(notifiedOnMain);
}

TEST(GroupTest, NotifyOnAnEmptyGroupRunsAtOnceAndWaitReturns) {
  auto group = Group::create();
  bool ran = false;
  group->notify(Queue::main(), [&] { ran = true; });
  ASSERT_TRUE(test::runUntil([&] { return ran; }));
  EXPECT_TRUE(group->wait(0));
}

TEST(GroupTest, WaitBlocksUntilTheGroupIsEmpty) {
  auto group = Group::create();
  auto release = Semaphore::create(0);
  std::atomic<bool> finished{false};
  group->async(Queue::global(), [&] {
    release->wait();
    finished = true;
  });
  EXPECT_FALSE(group->wait(0.01));  // real time: nothing has released it
  release->signal();
  EXPECT_TRUE(group->wait(10.0));
  EXPECT_TRUE(finished.load());
}

TEST(GroupTest, UnbalancedLeaveRaises) {
  auto group = Group::create();
  EXPECT_THROW(group->leave(), Exception);
  group->enter();
  group->leave();
  EXPECT_THROW(group->leave(), Exception);
}

TEST(SemaphoreTest, CountsAndWakesWaiters) {
  EXPECT_EQ(Semaphore::create(-1), nullptr);
  auto semaphore = Semaphore::create(2);
  EXPECT_TRUE(semaphore->wait(0));
  EXPECT_TRUE(semaphore->wait(0));
  EXPECT_FALSE(semaphore->wait(0));
  EXPECT_FALSE(semaphore->signal());  // nobody waiting
  EXPECT_EQ(semaphore->value(), 1);
  EXPECT_TRUE(semaphore->wait());

  // A producer hands out 500 units to four consumers; each unit is taken once.
  auto items = Semaphore::create(0);
  std::atomic<int> taken{0};
  std::vector<Ref<Thread>> consumers;
  for (int c = 0; c < 4; ++c) {
    consumers.push_back(Thread::create("consumer", [&] {
      while (items->wait(10.0)) {
        if (taken.fetch_add(1) + 1 >= 500) break;
      }
    }));
    consumers.back()->start();
  }
  for (int i = 0; i < 500; ++i) items->signal();
  ASSERT_TRUE(test::runUntil([&] { return taken >= 500; }));
  for (int c = 0; c < 4; ++c) items->signal();  // let the others out
  for (auto& t : consumers) t->waitUntilFinished();
  EXPECT_GE(taken.load(), 500);
  EXPECT_LE(taken.load(), 504);
}

TEST(OnceTest, RunsExactlyOnceAcrossThreadsAndRetriesAfterAThrow) {
  OnceToken token;
  std::atomic<int> runs{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      for (int j = 0; j < 100; ++j) once(token, [&] { ++runs; });
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(runs.load(), 1);

  OnceToken retry;
  EXPECT_THROW(once(retry, [] { throw Exception(GenericException, "first try fails"); }), Exception);
  bool ran = false;
  once(retry, [&] { ran = true; });
  EXPECT_TRUE(ran);
}

class SemaphoreOnVirtualClock : public test::VirtualClockTest {};

TEST_F(SemaphoreOnVirtualClock, TimeoutIsMeasuredOnTheClock) {
  auto semaphore = Semaphore::create(0);
  auto group = Group::create();
  std::atomic<int> semaphoreResult{-1}, groupResult{-1};
  group->enter();
  auto waiter = Thread::create("waiter", [&] {
    semaphoreResult = semaphore->wait(3.0) ? 1 : 0;
    groupResult = group->wait(3.0) ? 1 : 0;
  });
  waiter->start();
  ASSERT_TRUE(test::runUntil([] { return detail::nextWaiterDeadlineAfter(Clock::now()) < Forever; }));
  // Real time passes, virtual time does not: the wait keeps waiting.
  EXPECT_FALSE(test::runUntil([&] { return semaphoreResult != -1; }, 0.05));
  advance(3.0);
  ASSERT_TRUE(test::runUntil([&] { return semaphoreResult != -1; }));
  EXPECT_EQ(semaphoreResult.load(), 0);
  group->leave();  // the group empties before its wait times out
  waiter->waitUntilFinished();
  EXPECT_EQ(groupResult.load(), 1);
}

}  // namespace
}  // namespace kit
