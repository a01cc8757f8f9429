// The window registry: the front-most usable window among real windows,
// storing and replacing windows by key, unknown keys, and destroying a
// window whose root controller presents another.
#include "platform/account/cxr_window_manager.h"

#include <gtest/gtest.h>

#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/view_controller.h"

namespace {

class WindowRegistry : public kit::test::VirtualClockTest {
 protected:
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};

  void TearDown() override {
    CXRWindowManager::shared()->windowDic()->removeAllObjects();
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }

  static kit::Ref<kit::Window> fullScreen(bool opaque) {
    auto window = kit::Window::make();
    window->setOpaque(opaque);
    return window;
  }
};

TEST_F(WindowRegistry, TopWindowIsTheFrontMostVisibleOpaqueFullScreenOne) {
  auto a = fullScreen(true);
  a->makeKeyAndVisible();
  auto b = fullScreen(true);
  b->setHidden(false);
  b->setHidden(true);
  auto c = fullScreen(false);
  c->setHidden(false);
  EXPECT_EQ(CXRWindowManager::topWindow(), a) << "hidden B and transparent C are passed over";

  auto d = fullScreen(true);
  d->setHidden(false);
  EXPECT_EQ(CXRWindowManager::topWindow(), d);

  // A higher level lies in front whatever the order of showing.
  a->setWindowLevel(kit::WindowLevelAlert);
  EXPECT_EQ(CXRWindowManager::topWindow(), a);
}

TEST_F(WindowRegistry, TopWindowFallsBackToTheKeyWindow) {
  EXPECT_EQ(CXRWindowManager::topWindow(), nullptr) << "no window at all";
  auto small = kit::Window::make(kit::Rect{0, 0, 100, 100});
  small->setOpaque(true);
  small->makeKeyAndVisible();
  EXPECT_EQ(CXRWindowManager::topWindow(), small);
}

TEST_F(WindowRegistry, SaveReplaceShowHideAndUnknownKeys) {
  auto first = fullScreen(true);
  auto second = fullScreen(true);
  CXRWindowManager::saveWindow(first, "ball");
  EXPECT_EQ(CXRWindowManager::windowForKey("ball"), first);
  CXRWindowManager::saveWindow(second, "ball");
  EXPECT_EQ(CXRWindowManager::windowForKey("ball"), second);
  EXPECT_EQ(CXRWindowManager::shared()->windowDic()->count(), 1u);

  CXRWindowManager::showWindowForKey("ball");
  EXPECT_FALSE(second->isHidden());
  EXPECT_EQ(CXRWindowManager::topWindow(), second);
  CXRWindowManager::hideWindowForKey("ball");
  EXPECT_TRUE(second->isHidden());
  EXPECT_EQ(CXRWindowManager::windowForKey("ball"), second) << "hiding keeps the window";

  EXPECT_EQ(CXRWindowManager::windowForKey("nope"), nullptr);
  CXRWindowManager::showWindowForKey("nope");
  CXRWindowManager::hideWindowForKey("nope");
  CXRWindowManager::destroyWindowForKey("nope");
  EXPECT_EQ(CXRWindowManager::shared()->windowDic()->count(), 1u);

  CXRWindowManager::saveWindow(nullptr, "ball");
  EXPECT_EQ(CXRWindowManager::windowForKey("ball"), nullptr);
}

TEST_F(WindowRegistry, DestroyClosesThePresentedControllerAndLetsTheWindowGo) {
  auto root = kit::ViewController::make();
  auto sheet = kit::ViewController::make();
  kit::Weak<kit::Window> weakWindow;
  kit::Weak<kit::ViewController> weakRoot = root;
  {
    auto window = fullScreen(true);
    weakWindow = window;
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    ASSERT_TRUE(root->presentViewController(sheet, true));
    advance(kit::ViewController::TransitionDuration);
    ASSERT_EQ(root->presentedViewController(), sheet);
    CXRWindowManager::saveWindow(window, "pay");
  }
  root.reset();
  EXPECT_FALSE(weakWindow.expired()) << "the registry owns its window";

  auto window = weakWindow.lock();
  CXRWindowManager::destroyWindowForKey("pay");
  // Done by the time the call returns: no animation to wait for.
  EXPECT_TRUE(window->isHidden());
  EXPECT_EQ(sheet->presentingViewController(), nullptr);
  EXPECT_FALSE(sheet->isViewLoaded() && sheet->view()->window());
  EXPECT_EQ(window->rootViewController(), nullptr);
  EXPECT_EQ(CXRWindowManager::windowForKey("pay"), nullptr);
  window.reset();
  advance(1);
  EXPECT_TRUE(weakWindow.expired()) << "the window goes with the test's last reference";
  EXPECT_TRUE(weakRoot.expired());
}

}  // namespace
