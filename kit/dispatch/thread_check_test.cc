// Thread checks and bound posts: a wrong thread aborts at the call with the
// method's name; a bound callback runs on its queue only while its receiver
// lives.

#include "kit/dispatch/thread_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/testing/run_until.h"

namespace {

struct Counter : kit::Object {
  void touch() { KIT_CHECK_MAIN_THREAD(); }
  std::vector<std::string> heard;
  kit::SequenceChecker sequence;
  void onSequence() { KIT_CHECK_SEQUENCE(sequence); }
};

TEST(ThreadCheckDeathTest, MainThreadMethodOffTheMainThreadAbortsNamingIt) {
  auto counter = kit::make<Counter>();
  counter->touch();  // fine here
  EXPECT_DEATH(std::thread([&] { counter->touch(); }).join(), "Counter::touch.*must be called on the main thread");
}

TEST(ThreadCheckDeathTest, SequenceCheckerBindsToItsFirstSequence) {
  auto counter = kit::make<Counter>();
  auto queue = kit::Queue::serial("checked");
  queue->sync([&] { counter->onSequence(); });
  queue->sync([&] { counter->onSequence(); });  // same queue, maybe another worker
  EXPECT_DEATH(counter->onSequence(), "onSequence.*its own sequence");
  counter->sequence.detach();
  counter->onSequence();  // rebinds to the main thread
}

TEST(BindPostTest, RunsOnTheQueueWithCopiedArgumentsWhileTheReceiverLives) {
  auto counter = kit::make<Counter>();
  auto post = kit::bindPost(kit::Queue::main(), counter, [](Counter& self, const std::string& text, int n) {
    EXPECT_TRUE(kit::RunLoop::isMainThread());
    self.heard.push_back(text + std::to_string(n));
  });
  std::thread([&] {
    std::string text = "a";
    post(text, 1);
    text = "changed";
  }).join();
  post(std::string("b"), 2);
  ASSERT_TRUE(kit::test::runUntil([&] { return counter->heard.size() == 2; }));
  EXPECT_EQ(counter->heard, (std::vector<std::string>{"a1", "b2"}));

  // Gone before the task runs: dropped.
  bool ran = false;
  auto late = kit::bindPost(kit::Queue::main(), counter, [&](Counter&) { ran = true; });
  late();
  counter.reset();
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_FALSE(ran);
}

TEST(BindPostTest, OperationQueuePostsRunInOrderWhileTheReceiverLives) {
  auto counter = kit::make<Counter>();
  auto post = kit::bindPost(kit::OperationQueue::main(), counter, [](Counter& self, int n) {
    EXPECT_TRUE(kit::RunLoop::isMainThread());
    self.heard.push_back(std::to_string(n));
  });
  std::thread([&] { post(1); }).join();
  post(2);
  post(3);
  ASSERT_TRUE(kit::test::runUntil([&] { return counter->heard.size() == 3; }));
  EXPECT_EQ(counter->heard, (std::vector<std::string>{"1", "2", "3"}));

  bool ran = false;
  auto late = kit::bindPost(kit::OperationQueue::main(), counter, [&](Counter&) { ran = true; });
  late();
  counter.reset();
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_FALSE(ran);
}

TEST(BindPostTest, PrivateQueueIsKeptByItsCallback) {
  std::atomic<int> ran{0};
  std::function<void()> post;
  {
    auto queue = kit::Queue::serial("kept");
    post = kit::bindPost(*queue, [&] { ran++; });
  }
  post();
  ASSERT_TRUE(kit::test::runUntil([&] { return ran.load() == 1; }));
}

}  // namespace
