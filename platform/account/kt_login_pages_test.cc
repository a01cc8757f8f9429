// The pages around the login: the notice (read-only, its close block), the
// user agreement (its address on the platform, the red spinner that stops
// on success and on failure, the title) and the forgotten-password page
// (its address, the title, the bar, a pop without animation).

#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/ui/activity_indicator_view.h"
#include "kit/ui/image_view.h"
#include "kit/ui/navigation_bar.h"
#include "kit/ui/scene_registry.h"
#include "platform/account/testing/kt_api_test_fixture.h"
#include "platform/account/kt_base_nav.h"
#include "platform/account/kt_forget_password_vc.h"
#include "platform/account/kt_notice_vc.h"
#include "platform/account/kt_show_html_vc.h"

namespace {

class LoginPages : public PlatformAPITest {
 protected:
  void SetUp() override {
    PlatformAPITest::SetUp();
    for (const char* image : {"KT_User_Protocol", "KT_ForgetPwd_Icon"}) {
      bundle.addFile(std::string("VIROV.bundle/") + image + ".png", PlatformTestBundle::solidPNG(20, 20, 200, 60, 30));
    }
    game = kit::make<kit::ViewController>();
    window->setRootViewController(game);
  }
  void TearDown() override {
    nav.reset();
    game.reset();
    PlatformAPITest::TearDown();
  }
  // The login window's stack with a first page, and `page` pushed on it;
  // open() then lets the presentation and the push settle.
  void push(const kit::Ref<KTBaseVC>& page) {
    first = kit::make<KTBaseVC>();
    nav = KTBaseNav::withRoot(first);
    ASSERT_TRUE(game->presentViewController(nav, false));
    nav->pushViewController(page, false);
  }
  void open(const kit::Ref<KTBaseVC>& page) {
    push(page);
    clock.advance(1);
  }
  // The custom title view's text and whether it holds an image.
  std::pair<std::string, bool> titleView() {
    nav->navigationBar()->layoutIfNeeded();
    auto view = nav->navigationBar()->viewWithTag(KTBaseVC::TitleViewTag);
    if (!view) return {"(none)", false};
    auto labels = kit::test::findViewsOfType<kit::Label>(*view);
    auto images = kit::test::findViewsOfType<kit::ImageView>(*view);
    return {labels.empty() ? "" : labels.front()->text(), !images.empty() && images.front()->image()};
  }
  static kit::Ref<kit::ActivityIndicatorView> spinner(KTShowHTMLVC& page) {
    return std::dynamic_pointer_cast<kit::ActivityIndicatorView>(page.view()->viewWithTag(KTShowHTMLVC::SpinnerTag));
  }

  kit::VirtualClock clock;
  kit::Ref<kit::ViewController> game;
  kit::Ref<KTBaseVC> first;
  kit::Ref<KTBaseNav> nav;
};

TEST_F(LoginPages, TheNoticeIsReadOnlyAndItsCloseButtonCallsTheBlockWithThePage) {
  auto storyboard = kit::Storyboard::named("KTUserShow");
  ASSERT_TRUE(storyboard);
  auto notice = std::dynamic_pointer_cast<KTNoticeVC>(storyboard->instantiateViewController("KTNoticeVC"));
  ASSERT_TRUE(notice);
  window->addSubview(notice->view());
  ASSERT_TRUE(notice->textView());
  EXPECT_FALSE(notice->textView()->isEditable());

  ASSERT_TRUE(kit::test::tap(notice->closeBtn()));  // no block: nothing happens
  EXPECT_EQ(notice->view()->superview(), window);

  std::vector<kit::Ref<KTNoticeVC>> closed;
  notice->noticeHiddenBlock = [&](const kit::Ref<KTNoticeVC>& page) { closed.push_back(page); };
  ASSERT_TRUE(kit::test::tap(notice->closeBtn()));
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0], notice);
  EXPECT_EQ(notice->view()->superview(), window);  // the owner takes it away
  notice->noticeHiddenBlock = nullptr;
}

TEST_F(LoginPages, TheAgreementLoadsUnderASpinnerThatStopsWhenItHasLoaded) {
  auto page = KTShowHTMLVC::make();
  push(page);
  // The page's request is out; its answer lands through the main loop,
  // which has not run yet (settling the push below runs it, and a quick
  // server may have answered by then).
  auto turning = spinner(*page);
  ASSERT_TRUE(turning);
  EXPECT_TRUE(turning->isAnimating());
  clock.advance(1);
  EXPECT_EQ(turning->frame(), (kit::Rect{375.0 / 2 - 50, 667.0 / 2 - 80, 100, 100}));
  EXPECT_TRUE(kit::isEqual(turning->color(), kit::Color::redColor()));
  EXPECT_FALSE(page->WebView()->scrollView()->bounces());
  EXPECT_FALSE(nav->isNavigationBarHidden());
  EXPECT_EQ(titleView(), (std::pair<std::string, bool>{"用户协议", true}));

  ASSERT_TRUE(kit::test::runUntil([&] { return !turning->isAnimating(); }));
  EXPECT_TRUE(turning->isHidden());
  ASSERT_FALSE(server->requests().empty());
  EXPECT_EQ(server->requests().back().path, "/sdkapicoupon/Agreement/xieyi");
  EXPECT_EQ(page->WebView()->stringByEvaluatingJavaScriptFromString("document.title"), "用户协议");
}

TEST_F(LoginPages, TheAgreementsSpinnerAlsoStopsWhenTheServerIsDown) {
  pointClientAtClosedPort();
  auto page = KTShowHTMLVC::make();
  open(page);
  auto turning = spinner(*page);
  ASSERT_TRUE(turning);
  ASSERT_TRUE(kit::test::runUntil([&] { return !turning->isAnimating(); }));
  EXPECT_TRUE(turning->isHidden());
  EXPECT_EQ(nav->topViewController(), page);
}

TEST_F(LoginPages, TheForgottenPasswordPageShowsItsBarAndPopsWithoutAnimation) {
  auto page = KTForgetPasswordVC::make();
  first = kit::make<KTBaseVC>();
  nav = KTBaseNav::withRoot(first);
  ASSERT_TRUE(game->presentViewController(nav, false));
  nav->setNavigationBarHidden(true);
  nav->pushViewController(page, false);
  clock.advance(1);
  EXPECT_FALSE(nav->isNavigationBarHidden());
  EXPECT_EQ(titleView(), (std::pair<std::string, bool>{"忘记密码", true}));
  ASSERT_TRUE(page->web()->request());
  EXPECT_EQ(kit::describe(page->web()->request()->URL()->absoluteString()),
            server->origin() + "/appview/User/forgetpwd");
  ASSERT_TRUE(kit::test::runUntil(
      [&] { return page->web()->stringByEvaluatingJavaScriptFromString("document.title") == "忘记密码"; }));

  // The back arrow runs this page's pop: at once, without a transition.
  auto item = page->navigationItem().leftBarButtonItem();
  ASSERT_TRUE(item && item->customView() && !item->customView()->subviews().empty());
  auto back = std::dynamic_pointer_cast<kit::Button>(item->customView()->subviews().front());
  ASSERT_TRUE(back);
  ASSERT_TRUE(kit::test::tap(back));
  EXPECT_EQ(nav->topViewController(), first);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_EQ(page->view()->window(), nullptr) << "gone without a transition";
  EXPECT_TRUE(first->view()->window());
}

}  // namespace
