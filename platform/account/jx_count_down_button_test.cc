// The countdown button on its own: the default titles without blocks, a
// restart while counting, and the touch handler with the tag.

#include "platform/account/jx_count_down_button.h"

#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/ui/application.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace {

class CountDownButton : public ::testing::Test {
 protected:
  void SetUp() override {
    window = kit::Window::make({0, 0, 320, 480});
    window->makeKeyAndVisible();
    button = JXCountDownButton::make({10, 10, 100, 30});
    button->setTitle("获取验证码", kit::ControlStateNormal);
    window->addSubview(button);
  }
  void TearDown() override {
    button.reset();
    window.reset();
    kit::Application::shared()->reset();
  }
  std::string title() const { return button->title(kit::ControlStateNormal); }

  kit::VirtualClock clock;
  kit::Ref<kit::Window> window;
  kit::Ref<JXCountDownButton> button;
};

TEST_F(CountDownButton, WithoutBlocksTheTitlesAreSecondsThenRetry) {
  button->startWithSecond(3);
  EXPECT_EQ(title(), "获取验证码") << "the first title is the caller's";
  clock.advance(1);
  EXPECT_EQ(title(), "2秒");
  clock.advance(1);
  EXPECT_EQ(title(), "1秒");
  clock.advance(1);
  EXPECT_EQ(title(), "重新获取");
  EXPECT_FALSE(button->timer()->isValid());
  EXPECT_EQ(button->second(), 3);
  clock.advance(5);
  EXPECT_EQ(title(), "重新获取") << "no tick after the finish";
}

TEST_F(CountDownButton, ARestartReplacesTheRunningTimer) {
  button->didChange([](JXCountDownButton&, int second) { return "left " + std::to_string(second); });
  button->startWithSecond(10);
  clock.advance(4);
  EXPECT_EQ(title(), "left 6");
  auto first = button->timer();
  button->startWithSecond(5);
  EXPECT_FALSE(first->isValid());
  clock.advance(1);
  EXPECT_EQ(title(), "left 4") << "one timer ticks, not two";
  EXPECT_EQ(button->totalSecond(), 5);
}

TEST_F(CountDownButton, TheTouchHandlerGetsTheButtonAndItsTag) {
  long seen = -1;
  JXCountDownButton* who = nullptr;
  button->setTag(42);
  button->addToucheHandler([&](JXCountDownButton& b, long tag) {
    who = &b;
    seen = tag;
  });
  ASSERT_TRUE(kit::test::tap(button));
  EXPECT_EQ(seen, 42);
  EXPECT_EQ(who, button.get());
  int calls = 0;
  button->addToucheHandler([&](JXCountDownButton&, long) { ++calls; });
  ASSERT_TRUE(kit::test::tap(button));
  EXPECT_EQ(calls, 1) << "the new block replaces the old one, wired once";
}

}  // namespace
