// The speed-up button: shown on the main queue from any thread, in a
// visible window of its own above the game window, and only once however
// often it is asked for.
#include "speedup/acc.h"

#include <gtest/gtest.h>

#include <thread>

#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"

namespace {

class SpeedUpButton : public ::testing::Test {
 protected:
  void SetUp() override {
    game = kit::Window::make();
    game->makeKeyAndVisible();
  }
  void TearDown() override {
    acc::reset();
    game.reset();
    kit::Application::shared()->reset();
  }
  static void showFromWorker() {
    std::thread worker([] { acc::acc_showTouch(); });
    worker.join();
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> game;
};

TEST_F(SpeedUpButton, AWorkerThreadShowsItOnTheMainQueueAboveTheGame) {
  showFromWorker();
  EXPECT_FALSE(acc::touchWindow());  // nothing until the main queue runs
  ASSERT_TRUE(kit::test::runUntil([] { return acc::touchWindow() != nullptr; }));
  auto window = acc::touchWindow();
  EXPECT_FALSE(window->isHidden());
  EXPECT_GT(window->windowLevel(), game->windowLevel());
  auto button = acc::touchButton();
  ASSERT_TRUE(button);
  EXPECT_EQ(button->currentTitle(), "加速");
  EXPECT_DOUBLE_EQ(button->frame().size.width, acc::Side);
  // On screen, inside the game window's bounds.
  const kit::Rect frame = window->frame();
  EXPECT_GE(frame.origin.x, 0);
  EXPECT_LE(frame.origin.x + frame.size.width, game->bounds().size.width);
  EXPECT_LE(frame.origin.y + frame.size.height, game->bounds().size.height);
}

TEST_F(SpeedUpButton, ASecondCallShowsTheSameOneButtonAgain) {
  acc::acc_showTouch();
  ASSERT_TRUE(kit::test::runUntil([] { return acc::touchWindow() != nullptr; }));
  auto first = acc::touchWindow();
  first->setHidden(true);
  showFromWorker();
  ASSERT_TRUE(kit::test::runUntil([&] { return !first->isHidden(); }));
  EXPECT_EQ(acc::touchWindow(), first);
  EXPECT_EQ(first->subviews().size(), 1u);
}

}  // namespace
