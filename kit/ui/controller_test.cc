// View controllers: lazy views, appearance, presentation and dismissal
// (refused while presenting), release after dismissal, alerts, navigation
// stacks and scenes built from the registry.
#include <gtest/gtest.h>

#include <algorithm>

#include "kit/foundation/exception.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/label.h"
#include "kit/ui/navigation_controller.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace kit {
namespace {

struct Screen1 : ViewController {
  int loads = 0;
  std::vector<std::string> log;
  void viewDidLoad() override {
    ++loads;
    auto label = Label::make(Rect{20, 100, 200, 40});
    label->setText("知道了");
    view()->addSubview(label);
  }
  void viewWillAppear(bool) override { log.push_back("willAppear"); }
  void viewDidAppear(bool) override { log.push_back("didAppear"); }
  void viewWillDisappear(bool) override { log.push_back("willDisappear"); }
  void viewDidDisappear(bool) override { log.push_back("didDisappear"); }
};

class ControllerTest : public test::VirtualClockTest {
 protected:
  void SetUp() override {
    test::VirtualClockTest::SetUp();
    root = kit::make<Screen1>();
    window = Window::make();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    window.reset();
    root.reset();
    test::VirtualClockTest::TearDown();
  }
  DeviceProfileScope profile{DeviceProfile::phone375x667()};
  Ref<Screen1> root;
  Ref<Window> window;
};

TEST_F(ControllerTest, RootControllerLoadsOnceAndAppearsWithItsWindow) {
  EXPECT_EQ(root->loads, 1);
  EXPECT_EQ(root->log, (std::vector<std::string>{"willAppear", "didAppear"}));
  EXPECT_EQ(root->view()->frame(), window->bounds());
  EXPECT_EQ(root->view()->nextResponder(), root);
  EXPECT_EQ(root->nextResponder(), window);
  window->setHidden(true);
  EXPECT_EQ(root->log.back(), "didDisappear");
  window->setHidden(false);
  EXPECT_EQ(root->log.back(), "didAppear");
  EXPECT_EQ(root->loads, 1);
}

TEST_F(ControllerTest, PresentingLoadsLazilyOnceRefusesASecondAndDismissalCompletes) {
  auto first = kit::make<Screen1>();
  auto second = kit::make<Screen1>();
  EXPECT_FALSE(first->isViewLoaded());
  bool presented = false;
  ASSERT_TRUE(root->presentViewController(first, true, [&] { presented = true; }));
  EXPECT_EQ(first->loads, 1);
  EXPECT_EQ(root->presentedViewController(), first);
  EXPECT_EQ(first->presentingViewController(), root);
  EXPECT_EQ(first->view()->superview(), window);
  EXPECT_FALSE(presented) << "completion waits for the transition";
  EXPECT_EQ(first->log, std::vector<std::string>{"willAppear"});
  advance(ViewController::TransitionDuration);
  EXPECT_TRUE(presented);
  EXPECT_EQ(first->log, (std::vector<std::string>{"willAppear", "didAppear"}));

  bool secondCompleted = false;
  EXPECT_FALSE(root->presentViewController(second, false, [&] { secondCompleted = true; }));
  advance(1);
  EXPECT_FALSE(secondCompleted);
  EXPECT_FALSE(second->isViewLoaded());
  EXPECT_EQ(root->presentedViewController(), first);

  bool dismissed = false;
  first->dismissViewController(true, [&] { dismissed = true; });
  EXPECT_FALSE(dismissed);
  advance(ViewController::TransitionDuration);
  ASSERT_TRUE(test::runUntil([&] { return dismissed; }));
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(first->view()->superview(), nullptr);
  EXPECT_EQ(first->log.back(), "didDisappear");
  EXPECT_EQ(first->loads, 1);
  // Now the second one may be presented.
  EXPECT_TRUE(root->presentViewController(second, false));
  EXPECT_EQ(root->presentedViewController(), second);
}

TEST_F(ControllerTest, DismissedControllerAndItsViewAreReleased) {
  Weak<ViewController> weakController;
  Weak<View> weakView;
  {
    auto shown = kit::make<Screen1>();
    weakController = shown;
    root->presentViewController(shown, true);
    weakView = shown->view();
    advance(ViewController::TransitionDuration);
    // A button in the presented screen that refers back to its controller
    // weakly, as screens do.
    auto close = Button::make(Rect{0, 0, 50, 50});
    Weak<ViewController> weak = shown;
    close->addAction(ControlEvent::TouchUpInside, [weak] {
      if (auto self = weak.lock()) self->dismissViewController(true);
    });
    shown->view()->addSubview(close);
  }
  ASSERT_FALSE(weakController.expired()) << "the presenter holds what it presents";
  auto close = test::findViewsOfType<Button>(*window);
  ASSERT_EQ(close.size(), 1u);
  test::tap(close[0]);
  close.clear();
  advance(ViewController::TransitionDuration);
  ASSERT_TRUE(test::runUntil([&] { return weakController.expired(); }));
  EXPECT_TRUE(weakView.expired());
}

TEST_F(ControllerTest, AlertRunsTheHandlerOfThePressedAction) {
  std::vector<std::string> pressed;
  auto alert = AlertController::make("提示", "确定要退出吗");
  alert->addAction(AlertAction::make("取消", AlertActionStyle::Cancel, [&](AlertAction&) { pressed.push_back("取消"); }));
  alert->addAction(AlertAction::make("确认", AlertActionStyle::Default, [&](AlertAction&) { pressed.push_back("确认"); }));
  alert->addAction(AlertAction::make("再取消", AlertActionStyle::Cancel));  // a second cancel is refused
  EXPECT_EQ(alert->actions().size(), 2u);
  ASSERT_TRUE(root->presentViewController(alert, true));
  advance(ViewController::TransitionDuration);
  EXPECT_TRUE(test::findLabel(*window, "确定要退出吗"));
  ASSERT_TRUE(test::pressAlertAction(*alert, "确认"));
  EXPECT_EQ(pressed, std::vector<std::string>{"确认"});
  EXPECT_EQ(root->presentedViewController(), nullptr);

  auto again = AlertController::make("提示", "");
  again->addAction(AlertAction::make("取消", AlertActionStyle::Cancel, [&](AlertAction&) { pressed.push_back("取消"); }));
  again->addAction(AlertAction::make("确认", AlertActionStyle::Default, [&](AlertAction&) { pressed.push_back("确认"); }));
  root->presentViewController(again, false);
  // The cancel button sits on the left of two.
  auto cancelButton = again->buttonForAction(again->actions()[0].get());
  ASSERT_TRUE(cancelButton);
  EXPECT_LT(test::frameInWindow(*cancelButton).minX(), 180);
  ASSERT_TRUE(test::tap(cancelButton));
  EXPECT_EQ(pressed, (std::vector<std::string>{"确认", "取消"}));
  EXPECT_FALSE(test::pressAlertAction(*again, "没有"));
}

TEST_F(ControllerTest, AlertTextFieldsAndPressingWithoutAWindow) {
  auto alert = AlertController::make("请输入", "");
  alert->addTextField([](TextField& f) { f.setText("默认"); });
  std::string answer;
  alert->addAction(AlertAction::make("完成", AlertActionStyle::Default,
                                     [&, weak = Weak<AlertController>(alert)](AlertAction&) {
                                       answer = weak.lock()->textFields()[0]->text();
                                     }));
  ASSERT_EQ(alert->textFields().size(), 1u);
  test::typeText(*alert->textFields()[0], "值");
  EXPECT_TRUE(test::pressAlertAction(*alert, "完成"));
  EXPECT_EQ(answer, "默认值");
}

TEST_F(ControllerTest, ChildControllersAndNavigationStacks) {
  auto child = kit::make<Screen1>();
  root->addChildViewController(child);
  child->didMoveToParentViewController(root.get());
  EXPECT_EQ(child->parentViewController(), root);
  root->view()->addSubview(child->view());
  EXPECT_EQ(child->log, (std::vector<std::string>{"willAppear", "didAppear"}));
  child->view()->removeFromSuperview();
  child->removeFromParentViewController();
  EXPECT_TRUE(root->childViewControllers().empty());
  EXPECT_EQ(child->log.back(), "didDisappear");

  auto a = kit::make<Screen1>(), b = kit::make<Screen1>();
  auto nav = NavigationController::withRoot(a);
  root->presentViewController(nav, false);
  EXPECT_EQ(a->navigationController(), nav.get());
  EXPECT_EQ(a->view()->frame(), (Rect{0, 44, 375, 623}));
  nav->pushViewController(b, false);
  EXPECT_EQ(nav->topViewController(), b);
  EXPECT_EQ(a->log.back(), "didDisappear");
  EXPECT_EQ(b->log.back(), "didAppear");
  nav->setNavigationBarHidden(true);
  EXPECT_EQ(b->view()->frame(), window->bounds());
  EXPECT_EQ(nav->popViewController(false), b);
  EXPECT_EQ(nav->popViewController(false), nullptr) << "the root stays";
  EXPECT_EQ(a->log.back(), "didAppear");
}

TEST_F(ControllerTest, ScenesComeFromTheRegistry) {
  auto& registry = SceneRegistry::shared();
  registry.registerController("KitTestBoard", "Notice", [] { return kit::make<Screen1>(); });
  registry.setInitialController("KitTestBoard", "Notice");
  struct Owner : ViewController {
    Weak<Label> title;
  };
  registry.registerNib("KitTestNib", [](const Id& owner) -> std::vector<Id> {
    auto card = View::make(Rect{0, 0, 300, 310});
    auto title = Label::make(Rect{0, 0, 300, 44});
    title->setText("防沉迷提示");
    card->addSubview(title);
    if (auto o = as<Owner>(owner)) o->title = title;
    return {card};
  });
  auto board = Storyboard::named("KitTestBoard");
  ASSERT_TRUE(board);
  EXPECT_TRUE(as<Screen1>(board->instantiateViewController("Notice")));
  EXPECT_TRUE(as<Screen1>(board->instantiateInitialViewController()));
  EXPECT_THROW(board->instantiateViewController("Missing"), Exception);
  EXPECT_EQ(Storyboard::named("NoSuchBoard"), nullptr);

  auto owner = kit::make<Owner>();
  owner->setNibName("KitTestNib");
  EXPECT_EQ(owner->view()->bounds().size, (Size{300, 310}));
  ASSERT_TRUE(owner->title.lock());
  EXPECT_EQ(owner->title.lock()->text(), "防沉迷提示");
  EXPECT_TRUE(registry.loadNibNamed("Missing", nullptr).empty());
  registry.registerController("KitTestBoard", "Agreement", [] { return kit::make<Screen1>(); });
  EXPECT_EQ(registry.sceneIdentifiers("KitTestBoard"), (std::vector<std::string>{"Agreement", "Notice"}));
  EXPECT_TRUE(registry.sceneIdentifiers("NoSuchBoard").empty());
  auto listed = [](const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  EXPECT_TRUE(listed(registry.storyboardNames(), "KitTestBoard"));
  EXPECT_TRUE(listed(registry.nibNames(), "KitTestNib"));
  registry.removeStoryboard("KitTestBoard");
  registry.removeNib("KitTestNib");
  EXPECT_FALSE(listed(registry.storyboardNames(), "KitTestBoard"));
  EXPECT_FALSE(listed(registry.nibNames(), "KitTestNib"));
}

}  // namespace
}  // namespace kit
