// The user centre's container: the red-dot request and reply, the seen
// counts, the panel's layout per screen form, the bar's page switching,
// closing, the account switch, a reply that comes after the container
// has gone, and the home page filling the panel of a notched phone in
// landscape.
#include "platform/usercenter/kt_suspend_vc.h"

#include <gtest/gtest.h>

#include "kit/foundation/json_serialization.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/render.h"
#include "kit/ui/scene_registry.h"
#include "platform/usercenter/kt_su_home_vc.h"
#include "platform/usercenter/testing/user_centre_stand_in_pages.h"
#include "platform/usercenter/usercenter_test_fixture.h"
#include "ui/widgets/ui_button_helpers.h"

namespace {

class Container : public UserCentreTest {
 protected:
  void SetUp() override {
    UserCentreTest::SetUp();
    registerUserCentreStandInPages();
    ball = CXRHelperBtn::shared();
    ball->create();
  }
  void TearDown() override {
    vc.reset();
    ball.reset();
    UserCentreTest::TearDown();
  }

  // Opens the user centre as the awake ball does, and waits for its
  // red-dot request to be answered.
  void open() {
    ball->setStatus(1);
    ball->doShowHelperVC();
    vc = std::dynamic_pointer_cast<KTSuspendVC>(game->presentedViewController());
    ASSERT_TRUE(vc);
    vc->view()->layoutIfNeeded();
    waitForReply();
  }
  void waitForReply() { ASSERT_TRUE(kit::test::runUntil([&] { return vc->redCountAnswers() == 1; })); }
  static void storeSeen(long news, long gifts, long coupons) {
    auto share = ShareVale::sharedInstance();
    share->setSuHomeCount(news);
    share->setSuGiftCount(gifts);
    share->setSuCouponCount(coupons);
  }
  bool homeDot() const { return !vc->homeRed()->isHidden(); }
  bool welfareDot() const { return !vc->welfareRed()->isHidden(); }
  kit::Ref<kit::View> pageView(size_t index) const { return vc->childViewControllers()[index]->view(); }

  kit::Ref<CXRHelperBtn> ball;
  kit::Ref<KTSuspendVC> vc;
};

TEST_F(Container, RedDotsFollowTheServerCountsAndTheSeenCounts) {
  storeSeen(0, 5, 1);
  centre->setRedCounts(3, 0, 2);
  open();
  auto sent = sentTo(KTSuspendVC::RedCountPath);
  EXPECT_EQ(keysOf(sent), "gid,username");
  EXPECT_EQ(kit::describe(kit::as<kit::Dictionary>(sent)->objectForKey("username")), "player01");
  EXPECT_EQ(kit::describe(kit::as<kit::Dictionary>(sent)->objectForKey("gid")), "1001");
  EXPECT_TRUE(homeDot());
  EXPECT_TRUE(welfareDot()) << "no new gift packs, but more coupon records than seen";

  kit::test::tap(vc->barButton(12));
  auto share = ShareVale::sharedInstance();
  EXPECT_EQ(share->suGiftCount(), 0);
  EXPECT_EQ(share->suCouponCount(), 2);
  EXPECT_EQ(share->suHomeCount(), 0) << "the home dot is still unseen";
  EXPECT_FALSE(welfareDot());
  kit::test::tap(vc->barButton(10));
  EXPECT_EQ(share->suHomeCount(), 3);
  EXPECT_FALSE(homeDot());

  PlatformTestBundle::reloadUserDefaults();
  ShareVale::distroyInstance();
  EXPECT_EQ(ShareVale::sharedInstance()->suCouponCount(), 2) << "the seen counts survive a restart";
  EXPECT_EQ(ShareVale::sharedInstance()->suHomeCount(), 3);
}

TEST_F(Container, OnAFreshInstallAnyPositiveCountShowsItsDot) {
  centre->setRedCounts(0, 1, 0);
  open();
  EXPECT_FALSE(homeDot());
  EXPECT_TRUE(welfareDot());
}

TEST_F(Container, DotsStartHiddenAndRepliesThatDoNotCountChangeNothing) {
  centre->setRedCounts(9, 9, 9);
  centre->setRedCountCodeAsNumber(true);
  open();
  EXPECT_FALSE(homeDot()) << "only the text \"1\" counts";
  EXPECT_FALSE(welfareDot());

  vc->applyRedCounts(kit::dict({{"a", "0"}, {"c", kit::dict({{"posts", kit::dict({{"log", 5}})}})}}));
  vc->applyRedCounts(kit::str("<html>"));
  vc->applyRedCounts(kit::array({"1"}));
  vc->applyRedCounts(nullptr);
  EXPECT_FALSE(homeDot());
  EXPECT_EQ(vc->suHomeCount(), 0);
}

TEST_F(Container, FailedRedDotRequestsChangeNothing) {
  centre->setRedCounts(4, 4, 4);
  for (auto fault : {sim::RouteFault::ServerErrorJSON, sim::RouteFault::NotJSON, sim::RouteFault::CloseConnection}) {
    server->setFault(KTSuspendVC::RedCountPath, fault);
    open();
    EXPECT_FALSE(homeDot());
    EXPECT_FALSE(welfareDot());
    vc->goBackGameVC();
    ASSERT_TRUE(kit::test::runUntil([&] { return !game->presentedViewController(); }));
    vc.reset();
  }
}

TEST_F(Container, TheBarSwitchesPagesAndKeepsTheHomePageBelow) {
  open();
  EXPECT_EQ(vc->childViewControllers().size(), 5u);
  EXPECT_TRUE(vc->childViewControllers()[0]->isViewLoaded());
  for (size_t i = 1; i < 5; ++i) EXPECT_FALSE(vc->childViewControllers()[i]->isViewLoaded()) << "page " << i;
  EXPECT_EQ(vc->chooseBtn(), vc->homeBtn());
  EXPECT_FALSE(vc->homeBtn()->isEnabled());
  EXPECT_EQ(vc->addView(), nullptr);

  for (long tag = 10; tag <= 14; ++tag) {
    auto button = vc->barButton(tag);
    ASSERT_TRUE(button);
    auto expected = UIButtonKTImageTitleSpacing::insetsFor(0, button->imageView()->frame().size,
                                                          button->titleLabel()->intrinsicContentSize(), 10);
    EXPECT_EQ(button->imageEdgeInsets(), expected.image) << tag;
    EXPECT_EQ(button->titleEdgeInsets(), expected.title) << tag;
  }

  vc->btnClick(vc->homeBtn());
  EXPECT_EQ(vc->addView(), nullptr) << "the selected button does nothing";

  auto temp = vc->tempView();
  kit::test::tap(vc->barButton(11));
  EXPECT_EQ(vc->addView(), pageView(1));
  EXPECT_EQ(pageView(1)->superview(), temp);
  EXPECT_EQ(pageView(1)->frame(), temp->bounds());
  EXPECT_FALSE(vc->barButton(11)->isEnabled());
  EXPECT_TRUE(vc->homeBtn()->isEnabled());

  kit::test::tap(vc->barButton(10));
  EXPECT_EQ(pageView(1)->superview(), nullptr) << "the server-openings view is removed";
  EXPECT_EQ(temp->subviews().back(), pageView(0)) << "the home view is in front again";
  EXPECT_EQ(vc->chooseBtn(), vc->homeBtn());

  kit::test::tap(vc->barButton(14));
  EXPECT_EQ(vc->addView(), pageView(4));
}

TEST_F(Container, EachBarTitleSitsCentredBelowItsIcon) {
  for (const char* icon : KTSuspendVC::PageIcons) {
    bundle.addFile(std::string("VIROV.bundle/") + icon, PlatformTestBundle::solidPNG(24, 24, 120, 120, 120));
  }
  for (const auto& profile : {kit::DeviceProfile::phone375x667(), kit::DeviceProfile::notched812x375()}) {
    kit::DeviceProfileScope device{profile};
    open();
    vc->view()->layoutIfNeeded();
    for (long tag = 10; tag <= 14; ++tag) {
      auto button = vc->barButton(tag);
      ASSERT_TRUE(button && button->currentImage()) << tag;
      const kit::Rect cell = kit::test::frameInWindow(*button);
      const kit::Rect icon = kit::test::frameInWindow(*button->imageView());
      const kit::Rect title = kit::test::frameInWindow(*button->titleLabel());
      EXPECT_EQ(icon.size, (kit::Size{24, 24})) << profile.name << " " << tag;
      // The stacked parts end half the space apart, as every stacked button does.
      EXPECT_NEAR(title.minY(), icon.maxY() + KTSuspendVC::ImageTitleSpace / 2, 1.0) << profile.name << " " << tag;
      EXPECT_NEAR(icon.midX(), cell.midX(), 1.0) << profile.name << " " << tag;
      EXPECT_NEAR(title.midX(), cell.midX(), 1.0) << profile.name << " " << tag;
      EXPECT_GE(icon.minY(), cell.minY()) << profile.name << " " << tag;
      EXPECT_LE(title.maxY(), cell.maxY()) << profile.name << " " << tag;
    }
    vc->goBackGameVC();
    ASSERT_TRUE(kit::test::runUntil([&] { return !game->presentedViewController(); }));
    vc.reset();
  }
}

struct LayoutRow {
  kit::DeviceProfile profile;
  double top, left, width, bottomH;
  const char* log;
};


TEST_F(Container, LayoutFollowsTheScreenForm) {
  const LayoutRow rows[] = {
      {kit::DeviceProfile::notched375x812(), 44, 0, 300, 83, "X 竖屏 "},
      {kit::DeviceProfile::phone375x667(), 22, 0, 300, 49, "其他 竖屏 "},
      {kit::DeviceProfile::notched812x375(), 0, 44, 344, 83, "X 横屏 "},
      {kit::DeviceProfile::phone667x375(), 0, 0, 300, 49, "其他 横屏 "},
  };
  for (const auto& row : rows) {
    kit::DeviceProfileScope device{row.profile};
    auto key = kit::Window::make();
    key->makeKeyAndVisible();
    kit::test::LogCapture log;
    auto panel = kit::make<KTSuspendVC>();
    panel->loadViewIfNeeded();
    EXPECT_EQ(panel->top()->constant(), row.top) << row.log;
    EXPECT_EQ(panel->left()->constant(), row.left) << row.log;
    EXPECT_EQ(panel->width()->constant(), row.width) << row.log;
    EXPECT_EQ(panel->bottomH()->constant(), row.bottomH) << row.log;
    EXPECT_TRUE(log.contains(row.log)) << row.log;
    panel->view()->layoutIfNeeded();
    auto area = panel->view()->viewWithTag(KTSuspendVC::SlideAreaTag);
    EXPECT_EQ(area->frame().origin, (kit::Point{row.left, row.top})) << row.log;
    EXPECT_EQ(area->frame().size.width, row.width) << row.log;
    EXPECT_EQ(panel->bottomView()->frame().size.height, row.bottomH) << row.log;
    key.reset();
    kit::Application::shared()->reset();
  }
}

TEST_F(Container, TurningANotchedPhoneToLandscapeMovesThePanel) {
  kit::DeviceProfileScope device{kit::DeviceProfile::notched375x812()};
  auto key = kit::Window::make();
  key->makeKeyAndVisible();
  auto panel = kit::make<KTSuspendVC>();
  panel->loadViewIfNeeded();
  ASSERT_TRUE(panel->isX());
  panel->viewWillTransitionToSize({812, 375});
  EXPECT_EQ(panel->screenFlag(), 0);
  EXPECT_EQ(panel->top()->constant(), 0);
  EXPECT_EQ(panel->left()->constant(), 44);
  EXPECT_EQ(panel->width()->constant(), 344);
  EXPECT_EQ(panel->bottomH()->constant(), 83);
  EXPECT_FALSE(panel->shouldAutorotate());
}

TEST_F(Container, CloseShowsTheBallAgain) {
  open();
  auto win = ballWindow();
  EXPECT_TRUE(win->isHidden());
  kit::test::tapAt(*window, {360, 300});  // right of the panel
  EXPECT_FALSE(win->isHidden());
  EXPECT_TRUE(kit::test::runUntil([&] { return !game->presentedViewController(); }));
}

TEST_F(Container, TheHomePagesAccountSwitchReachesTheLoginFailureBlock) {
  int calls = 0;
  std::string texts;
  ball->setFailedBlock([&](const kit::Id& message, const kit::Id& code) {
    ++calls;
    texts = kit::describe(message) + "|" + kit::describe(code);
  });
  open();
  auto home = std::dynamic_pointer_cast<KTSuHomeVC>(vc->childViewControllers()[0]);
  ASSERT_TRUE(home);
  kit::test::tap(kit::test::findButton(*home->view(), KTSuHomeVC::SwitchTitle));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(texts, "注销|-9");
  EXPECT_TRUE(kit::test::runUntil([&] { return !game->presentedViewController(); }));
  EXPECT_TRUE(ballWindow()->isHidden()) << "the login flow shows the ball again";
}

TEST_F(Container, AReplyAfterTheContainerIsGoneChangesNothing) {
  centre->setRedCounts(1, 1, 1);
  server->setFault(KTSuspendVC::RedCountPath, sim::RouteFault::Delay);
  ball->setStatus(1);
  ball->doShowHelperVC();
  {
    auto presented = std::dynamic_pointer_cast<KTSuspendVC>(game->presentedViewController());
    ASSERT_TRUE(presented);
    presented->goBackGameVC();
  }
  ASSERT_TRUE(kit::test::runUntil([&] { return !game->presentedViewController(); }));
  ASSERT_TRUE(server->waitForRequests(1));
  server->setFault(KTSuspendVC::RedCountPath, sim::RouteFault::None);
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(ShareVale::sharedInstance()->suHomeCount(), 0);
}

}  // namespace

namespace {

TEST_F(Container, RendersThePanelWithItsBar) {
  centre->setRedCounts(2, 1, 0);
  open();
  vc->view()->layoutIfNeeded();
  ASSERT_TRUE(kit::test::runUntil([&] { return !vc->isBeingPresented(); }));
  auto bitmap = kit::render(*window, 1);
  ASSERT_TRUE(bitmap);
#ifdef KIT_UI_ARTIFACT_DIR
  kit::writePNG(*bitmap, std::string(KIT_UI_ARTIFACT_DIR) + "/user_centre.png");
#endif
  // The bar's buttons are drawn inside the white panel at the left.
  auto bar = kit::test::frameInWindow(*vc->bottomView());
  EXPECT_EQ(bar.origin.x, 0);
  EXPECT_EQ(bar.size.width, 300);
  EXPECT_EQ(bar.origin.y + bar.size.height, 667);
}

}  // namespace

namespace {

// The user centre opened on a notched phone held in landscape.
class NotchedLandscapeContainer : public Container {
 protected:
  kit::DeviceProfileScope landscape{kit::DeviceProfile::notched812x375()};
};

TEST_F(NotchedLandscapeContainer, TheHomePageFillsThePanel) {
  open();
  ASSERT_TRUE(kit::test::runUntil([&] { return !vc->isBeingPresented(); }));
  vc->view()->layoutIfNeeded();
  auto home = std::dynamic_pointer_cast<KTSuHomeVC>(vc->childViewControllers()[0]);
  ASSERT_TRUE(home);
  const kit::Rect area = kit::test::frameInWindow(*vc->tempView());
  ASSERT_EQ(area, (kit::Rect{44, 0, 344, 292}));
  EXPECT_EQ(kit::test::frameInWindow(*home->view()), area);
  const kit::Rect news = kit::test::frameInWindow(*home->bottomView());
  EXPECT_EQ(news.minX(), area.minX());
  EXPECT_EQ(news.size.width, area.size.width);
  EXPECT_EQ(kit::test::frameInWindow(*home->moreBtn()).maxX(), area.maxX() - 10) << "更多 stays at the right";

  auto bitmap = kit::render(*window, 1);
  ASSERT_TRUE(bitmap);
#ifdef KIT_UI_ARTIFACT_DIR
  kit::writePNG(*bitmap, std::string(KIT_UI_ARTIFACT_DIR) + "/user_centre_notched_landscape.png");
#endif
  // The white boxes reach the panel's right edge: no grey strip beside
  // them (the player's box from the top, the links below it).
  for (size_t y : {2, 60, 118, 130, 165}) {
    for (size_t x : {size_t(area.maxX()) - 6, size_t(area.maxX()) - 2}) {
      const kit::Pixel p = bitmap->pixelAt(x, y);
      EXPECT_TRUE(p.r == 255 && p.g == 255 && p.b == 255) << x << "," << y << ": " << int(p.r) << " " << int(p.g)
                                                          << " " << int(p.b);
    }
  }
}

}  // namespace

namespace {

// Every box of the home page spans the wider panel, and what sits at the
// boxes' left (the avatar, the player's texts, the titles) stays at the
// panel's left.
TEST_F(NotchedLandscapeContainer, EveryHomeBoxSpansThePanelAndTheAvatarStaysLeft) {
  bundle.addFile("VIROV.bundle/KT_Helper_UserIcon.png", PlatformTestBundle::solidPNG(60, 60, 10, 200, 10));
  open();
  ASSERT_TRUE(kit::test::runUntil([&] { return !vc->isBeingPresented(); }));
  vc->view()->layoutIfNeeded();
  auto home = std::dynamic_pointer_cast<KTSuHomeVC>(vc->childViewControllers()[0]);
  ASSERT_TRUE(home);
  const kit::Rect area = kit::test::frameInWindow(*vc->tempView());
  ASSERT_EQ(area.size.width, 344);

  auto links = kit::test::findButton(*home->view(), "金币商城");
  ASSERT_TRUE(links);
  const std::pair<const char*, kit::Ref<kit::View>> boxes[] = {
      {"the player's box", home->userBtn()->superview()},
      {"the links", links->superview()},
      {"the middle box", home->checkBtn()->superview()},
      {"the news box", home->bottomView()},
  };
  double top = area.minY();
  for (const auto& [name, box] : boxes) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(box);
    const kit::Rect frame = kit::test::frameInWindow(*box);
    EXPECT_EQ(frame.minX(), area.minX());
    EXPECT_EQ(frame.size.width, area.size.width);
    EXPECT_GE(frame.minY(), top) << "in the page's order, top to bottom";
    top = frame.maxY();
  }

  EXPECT_EQ(kit::test::frameInWindow(*home->userBtn()), (kit::Rect{area.minX() + 15, area.minY() + 15, 60, 60}));
  EXPECT_EQ(kit::test::frameInWindow(*home->nameL()).minX(), area.minX() + 85);
  EXPECT_EQ(kit::test::frameInWindow(*home->activityL()).minX(), area.minX() + 10);
  // The buttons at the right of the player's box and of the middle box
  // keep their margin to the panel's right edge.
  EXPECT_EQ(kit::test::frameInWindow(*home->rzBtn()).maxX(), area.maxX() - 10);
  EXPECT_EQ(kit::test::frameInWindow(*home->checkBtn()).maxX(), area.maxX() - 10);

  // As drawn: the avatar's picture at the panel's left, white where it
  // would be had it moved.
  auto bitmap = kit::render(*window, 1);
  ASSERT_TRUE(bitmap);
  const kit::Pixel inside = bitmap->pixelAt(static_cast<size_t>(area.minX() + 45), static_cast<size_t>(area.minY() + 45));
  EXPECT_TRUE(inside.r == 10 && inside.g == 200 && inside.b == 10)
      << "the avatar's picture at the left: " << int(inside.r) << " " << int(inside.g) << " " << int(inside.b);
}

}  // namespace
