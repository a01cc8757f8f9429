// Navigation stacks and tab containers: pushes and pops with their
// completions on the clock, the bar's hidden flag per level, the bar's
// items, back button and tint, the edge pan that pops, and containers that
// let their controllers go.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/navigation_controller.h"
#include "kit/ui/tab_bar_controller.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace {

using kit::Rect;

class Page : public kit::ViewController {
 public:
  explicit Page(std::string name) : name(std::move(name)) { setTitle(this->name); }
  std::string name;
  std::vector<std::string> log;
  bool hideBarOnAppear = false;
  bool showBarOnLoad = false;
  void viewDidLoad() override {
    if (showBarOnLoad)
      if (auto nav = navigationController()) nav->setNavigationBarHidden(false);
  }
  void viewWillAppear(bool) override {
    log.push_back("willAppear");
    if (hideBarOnAppear)
      if (auto nav = navigationController()) nav->setNavigationBarHidden(true);
  }
  void viewDidAppear(bool) override { log.push_back("didAppear"); }
  void viewWillDisappear(bool) override { log.push_back("willDisappear"); }
  void viewDidDisappear(bool) override { log.push_back("didDisappear"); }
};

class NavigationTest : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    window = kit::Window::make();
    root = kit::make<Page>("首页");
    nav = kit::NavigationController::withRoot(root);
    window->setRootViewController(nav);
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    window.reset();
    nav.reset();
    root.reset();
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;
  kit::Ref<Page> root;
  kit::Ref<kit::NavigationController> nav;
};

TEST_F(NavigationTest, PushAndPopRunTheirCompletionsAfterTheTransition) {
  auto detail = kit::make<Page>("详情");
  bool pushed = false;
  nav->pushViewController(detail, true, [&] { pushed = true; });
  EXPECT_EQ(nav->topViewController(), detail);
  EXPECT_TRUE(nav->isTransitioning());
  advance(kit::ViewController::TransitionDuration / 2);
  EXPECT_FALSE(pushed);
  EXPECT_GT(std::get<kit::Point>(detail->view()->layer()->presentationValue("position")).x, 375 / 2.0)
      << "sliding in from the right";
  // A hair more: two half advances can fall short of the whole by rounding.
  advance(kit::ViewController::TransitionDuration / 2 + 1e-6);
  EXPECT_TRUE(pushed);
  EXPECT_FALSE(nav->isTransitioning());
  EXPECT_EQ(detail->view()->frame(), (Rect{0, 44, 375, 623}));
  EXPECT_EQ(root->log.back(), "didDisappear");
  EXPECT_FALSE(root->view()->superview());

  bool popped = false;
  EXPECT_EQ(nav->popViewController(true, [&] { popped = true; }), detail);
  EXPECT_EQ(nav->topViewController(), root);
  EXPECT_FALSE(popped);
  advance(kit::ViewController::TransitionDuration);
  EXPECT_TRUE(popped);
  EXPECT_EQ(detail->log.back(), "didDisappear");
  EXPECT_EQ(root->log.back(), "didAppear");
  EXPECT_EQ(root->view()->frame(), (Rect{0, 44, 375, 623}));

  // Without animation the completion still waits for the run loop.
  bool done = false;
  nav->pushViewController(kit::make<Page>("a"), false, [&] { done = true; });
  EXPECT_FALSE(done);
  advance(0);
  EXPECT_TRUE(done);
  EXPECT_EQ(nav->popToRootViewController(false).size(), 1u);
  EXPECT_EQ(nav->popViewController(false), nullptr) << "the root stays";
}

TEST_F(NavigationTest, TheBarHiddenFlagIsKeptPerPush) {
  auto list = kit::make<Page>("列表");
  nav->pushViewController(list, false);
  nav->setNavigationBarHidden(true);
  EXPECT_EQ(list->view()->frame(), window->bounds());

  auto web = kit::make<Page>("网页");
  nav->pushViewController(web, false);
  EXPECT_TRUE(nav->isNavigationBarHidden()) << "a pushed page starts with the bar as it was";
  nav->setNavigationBarHidden(false);
  EXPECT_EQ(web->view()->frame(), (Rect{0, 44, 375, 623}));

  nav->popViewController(false);
  EXPECT_TRUE(nav->isNavigationBarHidden()) << "the list hid the bar; back on it the bar is hidden again";
  EXPECT_TRUE(nav->navigationBar()->isHidden());
  EXPECT_EQ(list->view()->frame(), window->bounds());
  nav->popViewController(false);
  EXPECT_FALSE(nav->isNavigationBarHidden()) << "the root had the bar";

  // A page that hides the bar as it appears wins over the kept flag.
  auto game = kit::make<Page>("游戏");
  game->hideBarOnAppear = true;
  nav->pushViewController(game, false);
  EXPECT_TRUE(nav->isNavigationBarHidden());
  nav->pushViewController(kit::make<Page>("其他"), false);
  nav->popViewController(false);
  EXPECT_TRUE(nav->isNavigationBarHidden());

  // A page that shows the bar as its view loads is laid out below it, with
  // and without the slide.
  for (bool animated : {false, true}) {
    nav->setNavigationBarHidden(true);
    auto page = kit::make<Page>("协议");
    page->showBarOnLoad = true;
    nav->pushViewController(page, animated);
    advance(kit::ViewController::TransitionDuration + 1e-6);
    EXPECT_FALSE(nav->isNavigationBarHidden());
    EXPECT_EQ(page->view()->frame(), (Rect{0, 44, 375, 623})) << "animated " << animated;
    nav->popViewController(false);
  }
}

TEST_F(NavigationTest, TheBarShowsTitleItemsAndABackButtonInItsTint) {
  auto bar = nav->navigationBar();
  auto title = kit::as<kit::Label>(bar->titleViewShown());
  ASSERT_TRUE(title);
  EXPECT_EQ(title->text(), "首页");
  EXPECT_FALSE(bar->backButton());

  auto detail = kit::make<Page>("详情");
  int saved = 0;
  auto close = kit::Button::make(Rect{0, 0, 30, 30});
  detail->navigationItem().setRightBarButtonItem(kit::BarButtonItem::withCustomView(close));
  detail->navigationItem().setLeftBarButtonItems(
      {kit::BarButtonItem::withTitle("保存", [&] { ++saved; }, kit::BarButtonItemStyle::Done)});
  nav->navigationBar()->setTintColor(kit::Color::hex(0xFF7F00));
  nav->navigationBar()->setBarTintColor(kit::Color::whiteColor());
  nav->pushViewController(detail, false);

  EXPECT_EQ(kit::as<kit::Label>(bar->titleViewShown())->text(), "详情");
  ASSERT_EQ(bar->rightViews().size(), 1u);
  EXPECT_EQ(bar->rightViews()[0], close);
  EXPECT_EQ(close->superview(), bar);
  EXPECT_EQ(close->frame(), (Rect{375 - 8 - 30, 7, 30, 30}));
  ASSERT_EQ(bar->leftViews().size(), 1u);
  auto save = kit::as<kit::Button>(bar->leftViews()[0]);
  ASSERT_TRUE(save);
  EXPECT_EQ(save->currentTitle(), "保存");
  EXPECT_EQ(save->currentTitleColor()->rgbaComponents(), kit::Color::hex(0xFF7F00)->rgbaComponents());
  ASSERT_TRUE(kit::test::tap(save));
  EXPECT_EQ(saved, 1);
  EXPECT_FALSE(bar->backButton()) << "left items replace the back button";

  // Without left items, a back button titled after the page below pops.
  detail->navigationItem().setLeftBarButtonItems({});
  ASSERT_TRUE(bar->backButton());
  EXPECT_EQ(bar->backButton()->currentTitle(), "\u2039 首页");
  ASSERT_TRUE(kit::test::tap(bar->backButton()));
  advance(kit::ViewController::TransitionDuration);
  EXPECT_EQ(nav->topViewController(), root);

  // Changing the title of the top page shows at once.
  root->setTitle("主页");
  EXPECT_EQ(kit::as<kit::Label>(bar->titleViewShown())->text(), "主页");
}

TEST_F(NavigationTest, AnEdgePanPopsAndAPanElsewhereDoesNot) {
  auto gesture = nav->interactivePopGestureRecognizer();
  ASSERT_TRUE(gesture);
  nav->pushViewController(kit::make<Page>("详情"), false);
  kit::test::drag(*window, {200, 300}, {360, 300}, 20);
  advance(1);
  EXPECT_EQ(nav->viewControllers().size(), 2u) << "a pan from the middle is not a pop";
  kit::test::drag(*window, {5, 300}, {40, 300}, 20);
  advance(1);
  EXPECT_EQ(nav->viewControllers().size(), 2u) << "too short to pop";
  kit::test::drag(*window, {5, 300}, {250, 300}, 20);
  advance(1);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
}

struct TabDelegate : kit::TabBarControllerDelegate {
  std::vector<std::string> selected;
  bool refuseSecond = false;
  bool shouldSelectViewController(kit::TabBarController& tabs, kit::ViewController& vc) override {
    return !(refuseSecond && &vc == tabs.viewControllers()[1].get());
  }
  void didSelectViewController(kit::TabBarController&, kit::ViewController& vc) override {
    selected.push_back(vc.title());
  }
};

TEST_F(NavigationTest, TabsShowOneChildAboveTheBar) {
  auto tabs = kit::make<kit::TabBarController>();
  auto home = kit::make<Page>("首页"), kaifu = kit::make<Page>("开服"), welfare = kit::make<Page>("福利");
  tabs->setViewControllers({home, kaifu, welfare});
  auto delegate = std::make_shared<TabDelegate>();
  tabs->delegate = delegate;
  window->setRootViewController(tabs);
  window->layoutIfNeeded();
  EXPECT_EQ(tabs->selectedViewController(), home);
  EXPECT_EQ(home->view()->frame(), (Rect{0, 0, 375, 667 - 49}));
  ASSERT_EQ(tabs->tabBar()->buttons().size(), 3u);
  EXPECT_EQ(tabs->tabBar()->buttons()[1]->frame(), (Rect{125, 0, 125, 49}));

  ASSERT_TRUE(kit::test::tap(kit::test::findButton(*window, "开服")));
  EXPECT_EQ(tabs->selectedViewController(), kaifu);
  EXPECT_EQ(delegate->selected, std::vector<std::string>{"开服"});
  EXPECT_FALSE(home->view()->superview());
  EXPECT_EQ(home->log.back(), "didDisappear");
  EXPECT_EQ(kaifu->log.back(), "didAppear");

  delegate->refuseSecond = true;
  tabs->setSelectedIndex(0);
  ASSERT_TRUE(kit::test::tap(kit::test::findButton(*window, "开服")));
  EXPECT_EQ(tabs->selectedIndex(), 0);
  tabs->tabBarItemFor(*welfare)->setBadgeValue("3");
  EXPECT_TRUE(kit::test::findLabel(*tabs->tabBar(), "3"));
}

TEST_F(NavigationTest, PoppedAndReplacedControllersAreReleased) {
  kit::Weak<Page> popped, replaced;
  {
    auto page = kit::make<Page>("详情");
    popped = page;
    page->navigationItem().setLeftBarButtonItem(kit::BarButtonItem::withTitle("返回", [weak = popped] {
      if (auto p = weak.lock()) p->log.push_back("back");
    }));
    nav->pushViewController(page, true);
    advance(kit::ViewController::TransitionDuration);
    nav->popViewController(true);
  }
  advance(kit::ViewController::TransitionDuration);
  EXPECT_TRUE(popped.expired());
  {
    auto tabs = kit::make<kit::TabBarController>();
    auto page = kit::make<Page>("x");
    replaced = page;
    tabs->setViewControllers({page});
    window->setRootViewController(tabs);
    tabs->setViewControllers({kit::make<Page>("y")});
  }
  EXPECT_TRUE(replaced.expired());
}

}  // namespace
