// Signal sources: a signal caught while resumed reaches the handler on the
// source's queue (from whichever thread it was sent), every source of the
// signal hears it, and cancelling the last one puts the signal's previous
// disposition back.
#include "kit/dispatch/signal_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>

#include "kit/dispatch/runloop.h"
#include "kit/testing/run_until.h"

namespace kit {
namespace {

std::atomic<int> previousHandlerCalls{0};

TEST(SignalSource, CatchesWhileResumedOnItsQueueAndHandsTheSignalBackWhenCancelled) {
  previousHandlerCalls = 0;  // counted afresh when the test is repeated in its process
  struct sigaction previous {}, saved {};
  previous.sa_handler = [](int) { ++previousHandlerCalls; };
  sigemptyset(&previous.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &previous, &saved), 0);

  auto first = SignalSource::create(SIGUSR1, Queue::main());
  auto second = SignalSource::create(SIGUSR1, Queue::main());
  unsigned long heardByFirst = 0, heardBySecond = 0;
  bool allOnMain = true;
  first->setEventHandler([&] {
    heardByFirst += first->data();
    allOnMain = allOnMain && RunLoop::isMainThread();
  });
  second->setEventHandler([&] { heardBySecond += second->data(); });

  // Created suspended: the signal still goes where it went before.
  raise(SIGUSR1);
  EXPECT_EQ(previousHandlerCalls.load(), 1);

  first->resume();
  second->resume();
  raise(SIGUSR1);
  std::thread([] { kill(getpid(), SIGUSR1); }).join();
  ASSERT_TRUE(test::runUntil([&] { return heardByFirst == 2 && heardBySecond == 2; }));
  EXPECT_TRUE(allOnMain);
  EXPECT_EQ(previousHandlerCalls.load(), 1) << "caught by the sources, not passed on";

  // One source left: it alone hears the signal.
  first->cancel();
  EXPECT_TRUE(first->isCancelled());
  raise(SIGUSR1);
  ASSERT_TRUE(test::runUntil([&] { return heardBySecond == 3; }));
  EXPECT_EQ(heardByFirst, 2u);

  // The last one gone, the previous handler has the signal again.
  second->cancel();
  raise(SIGUSR1);
  EXPECT_EQ(previousHandlerCalls.load(), 2);
  ASSERT_TRUE(test::drain(Queue::main()));
  EXPECT_EQ(heardBySecond, 3u);
  sigaction(SIGUSR1, &saved, nullptr);
}

}  // namespace
}  // namespace kit
