// The way product code uses kit, end to end in one place: a reply arrives on
// a worker queue, is checked with the "is set" rule, hops to the main queue
// with a weak capture, and a countdown runs on the virtual clock.

#include <gtest/gtest.h>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/timer.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace {

// A listener shaped like the product's: it keeps the token of a login reply
// and shows a countdown before the game may be entered again.
class LoginListener : public kit::Object {
 public:
  std::string token;
  std::string failure;
  int secondsLeft = 0;
  kit::Ref<kit::Timer> countdown;

  // Called on a worker queue with the server's reply.
  void handleReply(const kit::Id& reply) {
    bool ok = kit::describe(reply["code"]) == "200" && kit::isSet(reply["data"]["token"]);
    std::string text = ok ? kit::describe(reply["data"]["token"]) : kit::describe(reply["msg"]);
    kit::Queue::main().async([weak = weakSelf<LoginListener>(), ok, text] {
      auto self = weak.lock();
      if (!self) return;  // the screen went away while the request ran
      if (ok) {
        self->token = text;
      } else {
        self->failure = text;
      }
    });
  }

  void startCountdown(int seconds) {
    secondsLeft = seconds;
    countdown = kit::Timer::scheduled(1.0, true, [weak = weakSelf<LoginListener>()](kit::Timer& timer) {
      auto self = weak.lock();
      if (!self || --self->secondsLeft == 0) timer.invalidate();
    });
  }
};

TEST(ProductFlow, ReplyHopsToTheMainQueueOnlyWhileItsOwnerLives) {
  auto listener = kit::make<LoginListener>();
  kit::Queue::global().async([listener] {
    listener->handleReply(kit::dict({{"code", "200"}, {"data", kit::dict({{"token", "tk-1"}})}}));
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return !listener->token.empty(); }));
  EXPECT_EQ(listener->token, "tk-1");

  // A token that reads "(null)" is not set: the reply's message is shown.
  kit::Queue::global().async([listener] {
    listener->handleReply(kit::dict({{"code", 200}, {"msg", "登录失败"}, {"data", kit::dict({{"token", "(null)"}})}}));
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return !listener->failure.empty(); }));
  EXPECT_EQ(listener->failure, "登录失败");

  // When the owner is released before the hop runs, nothing is touched.
  bool hopped = false;
  {
    auto doomed = kit::make<LoginListener>();
    kit::Weak<LoginListener> weak = doomed;
    kit::Queue::main().async([weak, &hopped] { hopped = weak.lock() != nullptr; });
  }
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_FALSE(hopped);
}

class ProductCountdown : public kit::test::VirtualClockTest {};

TEST_F(ProductCountdown, TenSecondsPassInVirtualTime) {
  auto listener = kit::make<LoginListener>();
  listener->startCountdown(10);
  advance(9.0);
  EXPECT_EQ(listener->secondsLeft, 1);
  EXPECT_TRUE(listener->countdown->isValid());
  advance(1.0);
  EXPECT_EQ(listener->secondsLeft, 0);
  EXPECT_FALSE(listener->countdown->isValid());
}

}  // namespace
