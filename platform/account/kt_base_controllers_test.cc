// The platform SDK's base navigation and page controllers, driven as a
// player drives them: the back arrow tapped on pushed and root pages, the
// title label and custom title view on a real bar, text fields and taps
// outside them, the pop gesture's rules, the bar's look in a picture, and
// the bar-button factory.
#include <gtest/gtest.h>

#include <string>

#include "kit/graphics/color.h"
#include "kit/testing/own_process.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/button.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/image_view.h"
#include "kit/ui/navigation_bar.h"
#include "kit/ui/render.h"
#include "kit/ui/text_field.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"
#include "platform/account/kt_base_nav.h"
#include "platform/account/kt_base_vc.h"
#include "platform/account/ui_bar_button_item_extension.h"
#include "platform/base/testing/platform_test_bundle.h"

namespace {

// A page that answers landscape only and keeps a text field.
class LandscapePage : public KTBaseVC {
 public:
  bool shouldAutorotate() const override { return false; }
  unsigned supportedInterfaceOrientations() const override { return kit::OrientationMaskLandscape; }
  kit::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override {
    return kit::InterfaceOrientation::LandscapeRight;
  }
  void viewDidLoad() override {
    KTBaseVC::viewDidLoad();
    field = kit::TextField::make(kit::Rect{20, 100, 200, 40});
    field->delegate = selfAs<LandscapePage>();
    view()->addSubview(field);
  }
  kit::Ref<kit::TextField> field;
};

class BaseControllers : public kit::test::VirtualClockTest {
 protected:
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  PlatformTestBundle bundle;
  kit::Ref<kit::Window> window = kit::Window::make();
  kit::Ref<kit::ViewController> game = kit::ViewController::make();

  void SetUp() override {
    VirtualClockTest::SetUp();
    window->setRootViewController(game);
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }

  // A navigation stack presented over the game, as the SDK opens its pages.
  kit::Ref<KTBaseNav> present(const kit::Ref<KTBaseVC>& root) {
    auto nav = KTBaseNav::withRoot(root);
    EXPECT_TRUE(game->presentViewController(nav, true));
    advance(kit::ViewController::TransitionDuration);
    return nav;
  }
  void push(KTBaseNav& nav, const kit::Ref<KTBaseVC>& page) {
    nav.pushViewController(page, true);
    advance(kit::ViewController::TransitionDuration);
  }
  static kit::Ref<kit::Button> backButton(KTBaseVC& page) {
    auto item = page.navigationItem().leftBarButtonItem();
    if (!item || !item->customView() || item->customView()->subviews().empty()) return nullptr;
    return std::dynamic_pointer_cast<kit::Button>(item->customView()->subviews().front());
  }
};

TEST_F(BaseControllers, BackArrowPopsExactlyOnePage) {
  auto first = kit::make<KTBaseVC>(), second = kit::make<KTBaseVC>(), third = kit::make<KTBaseVC>();
  auto nav = present(first);
  push(*nav, second);
  push(*nav, third);

  auto back = backButton(*third);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->frame(), (kit::Rect{0, 2, 30, 25}));
  EXPECT_EQ(back->superview()->frame().size, (kit::Size{70, 30}));
  ASSERT_TRUE(back->window()) << "the arrow is on the bar";
  ASSERT_TRUE(kit::test::tap(back));
  advance(kit::ViewController::TransitionDuration);
  ASSERT_EQ(nav->viewControllers().size(), 2u);
  EXPECT_EQ(nav->topViewController(), second);
  EXPECT_EQ(game->presentedViewController(), nav);
}

TEST_F(BaseControllers, BackArrowOnTheRootPageClosesTheStack) {
  auto first = kit::make<KTBaseVC>();
  kit::Weak<KTBaseNav> weakNav;
  {
    auto nav = present(first);
    weakNav = nav;
    ASSERT_TRUE(kit::test::tap(backButton(*first)));
    advance(kit::ViewController::TransitionDuration);
    EXPECT_EQ(game->presentedViewController(), nullptr);
    EXPECT_EQ(nav->viewControllers().size(), 1u) << "dismissed whole, not popped";
    EXPECT_FALSE(nav->view()->window());
  }
  first.reset();
  advance(1);
  EXPECT_TRUE(weakNav.expired());
}

TEST_F(BaseControllers, PopActionHidesTheArrowAndRemovesTheCustomTitleView) {
  auto first = kit::make<KTBaseVC>(), second = kit::make<KTBaseVC>();
  auto nav = present(first);
  push(*nav, second);
  second->SetBarTitleViewWithTitle("充值", kit::Image::withContentsOfFile(bundle.path() + "/VIROV.bundle/KT_nav_back.png"));
  auto bar = nav->navigationBar();
  bar->layoutIfNeeded();
  auto titleView = bar->viewWithTag(KTBaseVC::TitleViewTag);
  ASSERT_TRUE(titleView);

  second->popAction();
  EXPECT_EQ(bar->viewWithTag(KTBaseVC::TitleViewTag), nullptr);
  EXPECT_FALSE(titleView->superview());
  auto left = second->navigationItem().leftBarButtonItem();
  ASSERT_TRUE(left && left->customView());
  EXPECT_TRUE(left->customView()->subviews().empty()) << "the arrow is replaced by an empty view";
  advance(kit::ViewController::TransitionDuration);
  EXPECT_EQ(nav->topViewController(), first);
}

TEST_F(BaseControllers, CustomTitleViewOnA375PointBar) {
  auto page = kit::make<KTBaseVC>();
  auto nav = present(page);
  auto bar = nav->navigationBar();
  ASSERT_EQ(bar->frame().size, (kit::Size{375, 44}));
  auto image = kit::Image::withContentsOfFile(bundle.path() + "/VIROV.bundle/KT_nav_back.png");
  page->SetBarTitleViewWithTitle("礼包中心", image);
  bar->layoutIfNeeded();
  auto container = bar->viewWithTag(KTBaseVC::TitleViewTag);
  ASSERT_TRUE(container);
  EXPECT_EQ(container->frame(), (kit::Rect{127.5, 7, 120, 30}));
  ASSERT_EQ(container->subviews().size(), 2u);
  auto label = std::dynamic_pointer_cast<kit::Label>(container->subviews()[0]);
  auto imageView = std::dynamic_pointer_cast<kit::ImageView>(container->subviews()[1]);
  ASSERT_TRUE(label && imageView);
  EXPECT_EQ(label->frame(), (kit::Rect{25, 0, 95, 30}));
  EXPECT_EQ(label->text(), "礼包中心");
  EXPECT_TRUE(label->font()->isBold());
  EXPECT_EQ(imageView->frame(), (kit::Rect{0, 5, 20, 20}));
  EXPECT_EQ(imageView->image(), image);
}

TEST_F(BaseControllers, EachAppearanceMakesANewTitleLabel) {
  auto first = kit::make<KTBaseVC>();
  first->setTitle("before");  // before the first appearance: nothing to fill
  EXPECT_EQ(first->titlelable(), nullptr);
  EXPECT_EQ(first->navigationItem().titleView(), nullptr);

  auto nav = present(first);
  auto label = first->titlelable();
  ASSERT_TRUE(label);
  EXPECT_EQ(label->frame(), (kit::Rect{0, 0, 95, 30}));
  EXPECT_DOUBLE_EQ(label->font()->pointSize(), 20);
  EXPECT_TRUE(label->font()->isBold());
  EXPECT_EQ(label->textAlignment(), kit::TextAlignment::Center);
  EXPECT_TRUE(label->textColor()->isEqual(*kit::Color::blackColor()));
  EXPECT_TRUE(first->title().empty()) << "the base title is not set";

  first->setTitle("公告");
  EXPECT_EQ(label->text(), "公告");
  EXPECT_EQ(first->navigationItem().titleView(), label);
  EXPECT_EQ(nav->navigationBar()->titleViewShown(), label);

  push(*nav, kit::make<KTBaseVC>());
  nav->popViewController(true);
  advance(kit::ViewController::TransitionDuration);
  ASSERT_TRUE(first->titlelable());
  EXPECT_NE(first->titlelable(), label) << "a new label at the next appearance";
}

TEST_F(BaseControllers, ReturnKeyClosesTheKeyboardAndATapOutsideEndsEditing) {
  auto page = kit::make<LandscapePage>();
  present(page);
  auto& field = *page->field;
  EXPECT_TRUE(kit::test::type(field, "ab"));
  EXPECT_TRUE(field.isFirstResponder());
  EXPECT_FALSE(kit::test::type(field, "\n")) << "the line feed is refused";
  EXPECT_EQ(field.text(), "ab");
  EXPECT_FALSE(field.isFirstResponder());

  ASSERT_TRUE(field.becomeFirstResponder());
  ASSERT_TRUE(kit::test::tapAt(*window, kit::Point{300, 500}));
  EXPECT_FALSE(field.isFirstResponder());
}

TEST_F(BaseControllers, NavAnswersItsTopPageAndRefusesThePopGestureWhenItMust) {
  auto first = kit::make<KTBaseVC>();
  auto nav = present(first);
  const auto& pop = nav->interactivePopGestureRecognizer();
  EXPECT_FALSE(nav->gestureRecognizerShouldBegin(*pop)) << "one page";

  auto landscape = kit::make<LandscapePage>();
  nav->pushViewController(landscape, true);
  ASSERT_TRUE(nav->isTransitioning());
  EXPECT_FALSE(nav->gestureRecognizerShouldBegin(*pop)) << "while the push runs";
  advance(kit::ViewController::TransitionDuration);
  EXPECT_TRUE(nav->gestureRecognizerShouldBegin(*pop));

  EXPECT_FALSE(nav->shouldAutorotate());
  EXPECT_EQ(nav->supportedInterfaceOrientations(), kit::OrientationMaskLandscape);
  EXPECT_EQ(nav->preferredInterfaceOrientationForPresentation(), kit::InterfaceOrientation::LandscapeRight);
}

TEST_F(BaseControllers, PanAnywhereAfterOverrideGesturePops) {
  // The override takes once per process: the test needs one where it has not.
  if (!kit::test::inOwnProcess()) return;
  auto first = kit::make<KTBaseVC>(), second = kit::make<KTBaseVC>();
  auto nav = present(first);
  push(*nav, second);
  nav->overrideGesture();
  EXPECT_FALSE(nav->interactivePopGestureRecognizer()->isEnabled());

  // A pan from the middle of the page, not the edge.
  ASSERT_TRUE(kit::test::drag(*window, kit::Point{120, 400}, kit::Point{330, 410}, 12));
  advance(kit::ViewController::TransitionDuration);
  EXPECT_EQ(nav->topViewController(), first);

  // On the root page the same pan is refused by the nav.
  ASSERT_TRUE(kit::test::drag(*window, kit::Point{120, 400}, kit::Point{330, 410}, 12));
  advance(kit::ViewController::TransitionDuration);
  EXPECT_EQ(game->presentedViewController(), nav);
  EXPECT_EQ(nav->viewControllers().size(), 1u);

  // Only the first call in the process changes anything.
  auto other = KTBaseNav::withRoot(kit::make<KTBaseVC>());
  other->loadViewIfNeeded();
  other->overrideGesture();
  EXPECT_TRUE(other->interactivePopGestureRecognizer()->isEnabled());
}

TEST_F(BaseControllers, WhiteBarBlackItemsAndTheBackArrowInThePicture) {
  auto first = kit::make<KTBaseVC>(), second = kit::make<KTBaseVC>();
  auto nav = present(first);
  push(*nav, second);
  second->navigationItem().setRightBarButtonItem(kit::BarButtonItem::withTitle("完成", [] {}));
  auto bar = nav->navigationBar();
  EXPECT_TRUE(bar->barTintColor()->isEqual(*kit::Color::whiteColor()));
  ASSERT_EQ(bar->rightViews().size(), 1u);
  auto done = std::dynamic_pointer_cast<kit::Button>(bar->rightViews()[0]);
  ASSERT_TRUE(done);
  EXPECT_TRUE(done->titleColor(kit::ControlStateNormal)->isEqual(*kit::Color::blackColor()));

  second->view()->setBackgroundColor(kit::Color::whiteColor());
  window->layoutIfNeeded();
  auto picture = kit::render(*window);
  auto at = [&](kit::Point p) {
    return picture->pixelAt(static_cast<size_t>(p.x * 2), static_cast<size_t>(p.y * 2));
  };
  const kit::Rect arrow = kit::test::frameInWindow(*backButton(*second));
  EXPECT_EQ(at({arrow.midX(), arrow.midY()}),
            (kit::Pixel{PlatformTestBundle::kArrowRed, PlatformTestBundle::kArrowGreen,
                        PlatformTestBundle::kArrowBlue, 255}));
  EXPECT_EQ(at({187, 40}), (kit::Pixel{255, 255, 255, 255})) << "the bar is white";
  kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/kt_base_vc_pushed.png");
}

TEST_F(BaseControllers, BarButtonFactorySizesItsButtonAndRunsTheAction) {
  int taps = 0;
  auto sized = UIBarButtonItemExtension::itemWithTarget([&] { ++taps; }, "VIROV.bundle/KT_nav_back",
                                                        "VIROV.bundle/KT_nav_back", kit::Size{44, 30});
  auto natural = UIBarButtonItemExtension::itemWithTarget({}, "VIROV.bundle/KT_nav_back", "missing", kit::Size{0, 9});
  auto sizedButton = std::dynamic_pointer_cast<kit::Button>(sized->customView());
  auto naturalButton = std::dynamic_pointer_cast<kit::Button>(natural->customView());
  ASSERT_TRUE(sizedButton && naturalButton);
  EXPECT_EQ(sizedButton->frame().size, (kit::Size{44, 30}));
  EXPECT_EQ(naturalButton->frame().size, (kit::Size{20, 20})) << "the background image's size";
  EXPECT_TRUE(sizedButton->backgroundImage(kit::ControlStateHighlighted));

  auto page = kit::make<KTBaseVC>();
  auto nav = present(page);
  page->navigationItem().setRightBarButtonItem(sized);
  nav->navigationBar()->layoutIfNeeded();
  ASSERT_TRUE(kit::test::tap(sizedButton));
  EXPECT_EQ(taps, 1);
}

}  // namespace
