// The floating ball: its window and key, the icon request, dragging and its
// dead zone, docking at each edge, waking, and opening the user centre.
#include "platform/usercenter/cxr_helper_btn.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "kit/testing/log_capture.h"
#include "kit/ui/animation.h"
#include "platform/testing/login_out_stand_in.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "platform/usercenter/testing/user_centre_stand_in_pages.h"
#include "platform/usercenter/usercenter_test_fixture.h"

namespace {

constexpr double W = 375, H = 667;

class Ball : public UserCentreTest {
 protected:
  void SetUp() override {
    UserCentreTest::SetUp();
    registerUserCentreStandInPages();
    ball = CXRHelperBtn::shared();
    ball->create();
    win = ballWindow();
  }
  void TearDown() override {
    ball.reset();
    win.reset();
    UserCentreTest::TearDown();
  }

  // A finger on the ball, moved through screen points, lifted where the
  // last one was; the ball's window follows, so each point is given in its
  // space at that moment.
  kit::Point inBall(kit::Point screen) const {
    return {screen.x - win->frame().origin.x, screen.y - win->frame().origin.y};
  }
  void put(kit::Point screen) { kit::test::touchDown(*win, inBall(screen)); }
  void move(kit::Point screen) { kit::test::touchMove(*win, inBall(screen)); }
  void lift(kit::Point screen) { kit::test::touchUp(*win, inBall(screen)); }
  // A drag from the ball's centre to `to`, past the dead zone at once.
  void dragTo(kit::Point to) {
    const kit::Point c = win->center();
    put(c);
    move(c);
    move(to);
    lift(to);
  }
  void tapBall() { kit::test::tapAt(*win, {30, 30}); }
  double positionDuration() const {
    auto animation = win->layer()->animationForKey("position");
    return animation ? animation->duration() : -1;
  }

  kit::Ref<CXRHelperBtn> ball;
  kit::Ref<kit::Window> win;
};

TEST_F(Ball, InitAndCreatePutTheBallInItsOwnRegisteredWindow) {
  auto fresh = kit::make<CXRHelperBtn>();
  EXPECT_EQ(fresh->frame(), (kit::Rect{W - 30, 100, 60, 60}));

  const std::string key = ball->md5Key();
  EXPECT_TRUE(std::regex_match(key, std::regex("[0-9A-F]{32}"))) << key;
  ASSERT_TRUE(win);
  EXPECT_EQ(win->frame(), (kit::Rect{W - 30, 100, 60, 60}));
  EXPECT_EQ(win->windowLevel(), kit::WindowLevelAlert * 2);
  EXPECT_FALSE(win->isHidden());
  EXPECT_TRUE(win->layer()->masksToBounds());
  EXPECT_TRUE(kit::as<CXRSuspensionViewController>(win->rootViewController()));
  EXPECT_EQ(ball->frame(), (kit::Rect{0, 0, 60, 60}));
  EXPECT_EQ(ball->superview(), win);
  EXPECT_TRUE(CXRHelperBtn::isCreateBall());

  win->setCenter({100, 200});
  EXPECT_EQ(ball->md5Key(), key) << "the key stays while the description changes";
  EXPECT_NE(ball->getCurrentMd5Key(), key);

  // Through the port, as the account screens reach it.
  CXRHelperBtnPort::install(CXRHelperBtn::sharedPort());
  auto* port = CXRHelperBtnPort::shared();
  ASSERT_NE(port, nullptr);
  EXPECT_TRUE(port->isCreate());
  port->hide();
  EXPECT_TRUE(win->isHidden());
  port->show();
  EXPECT_FALSE(win->isHidden());
}

TEST_F(Ball, IconIsRequestedWithTheRawTimeKeyAndA404ShowsTheStopIcon) {
  CXRHelperBtn::resetShared();
  centre->setFloatIconAvailable(false);
  auto fresh = CXRHelperBtn::shared();
  ASSERT_TRUE(kit::test::runUntil([&] { return fresh->backgroundImage(kit::ControlStateNormal) != nullptr; }));
  auto queries = centre->floatIconQueries();
  ASSERT_FALSE(queries.empty());
  EXPECT_TRUE(std::regex_match(queries.back(), std::regex("ag=agent7&time\\+[0-9]+"))) << queries.back();
  auto icon = fresh->backgroundImage(kit::ControlStateNormal);
  EXPECT_EQ(icon->size(), (kit::Size{60, 60})) << "the stop icon of the resource bundle";

  CXRHelperBtn::resetShared();
  centre->setFloatIconAvailable(true);
  auto served = CXRHelperBtn::shared();
  ASSERT_TRUE(kit::test::runUntil([&] { return served->backgroundImage(kit::ControlStateNormal) != nullptr; }));
  // The served ball is round on a clear ground; the stop icon here is a
  // square of one colour.
  const auto& pixels = served->backgroundImage(kit::ControlStateNormal)->bitmap();
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->pixelAt(0, 0).a, 0) << "the served ball's clear corner";
  EXPECT_EQ(pixels->pixelAt(pixels->width() / 2, pixels->height() / 2).a, 255) << "the served ball";
}

TEST_F(Ball, ThePortMakesTheBallOnlyWhenACallNeedsIt) {
  CXRHelperBtn::resetShared();
  CXRHelperBtnPort::install(CXRHelperBtn::sharedPort());
  auto* port = CXRHelperBtnPort::shared();
  EXPECT_FALSE(port->isCreate());
  EXPECT_FALSE(CXRHelperBtn::hasShared()) << "asking whether it exists does not make it";
  port->create();
  ASSERT_TRUE(CXRHelperBtn::hasShared());
  EXPECT_TRUE(port->isCreate());
  EXPECT_TRUE(ballWindow());
  int calls = 0;
  port->setFailedBlock([&](const kit::Id&, const kit::Id&) { ++calls; });
  CXRHelperBtn::shared()->failedBlock()(nullptr, nullptr);
  EXPECT_EQ(calls, 1);
}

TEST_F(Ball, DragStartsOutsideTheDeadZoneAndFollowsAt600PointsASecond) {
  const kit::Point start = win->center();
  put(start);
  move({200, 300});
  EXPECT_EQ(win->center(), start) << "the first move only arms the drag";
  move({start.x - 20, start.y});
  EXPECT_EQ(win->center(), start) << "20 points from the centre is inside the dead zone";
  EXPECT_EQ(ball->touchCount(), 1);
  move({start.x - 40, start.y});
  EXPECT_EQ(win->center(), (kit::Point{start.x - 40, start.y}));
  EXPECT_NEAR(positionDuration(), 40.0 / 600, 1e-6);
  EXPECT_TRUE(ball->isMoving());
  EXPECT_EQ(ball->btnAnimations(), CXRHelperBtn::None);
  lift({start.x - 40, start.y});
}

TEST_F(Ball, ReleasedAwayFromTheEdgesStaysAwakeAndTheNextTapOpensTheUserCentre) {
  dragTo({60, 60});
  EXPECT_EQ(win->center(), (kit::Point{60, 60}));
  EXPECT_EQ(ball->status(), 1);
  EXPECT_EQ(ball->btnAnimations(), CXRHelperBtn::None);

  kit::test::LogCapture log;
  tapBall();
  auto presented = std::dynamic_pointer_cast<KTSuspendVC>(game->presentedViewController());
  ASSERT_TRUE(presented);
  EXPECT_EQ(presented->modalPresentationStyle(), kit::ModalPresentationStyle::Custom);
  EXPECT_EQ(presented->modalTransitionStyle(), kit::ModalTransitionStyle::CrossDissolve);
  EXPECT_TRUE(win->isHidden());
  EXPECT_TRUE(log.contains("悬浮topwindow = "));
  EXPECT_TRUE(log.contains("悬浮 topwindow rootvc = "));
}

TEST_F(Ball, EdgeChoiceAndDockingInPortrait) {
  // Centre 10 from the right, 5 from the top: the top is nearer.
  dragTo({W - 10, 5});
  EXPECT_EQ(ball->btnAnimations(), CXRHelperBtn::None) << "portrait top docking stops awake, 50 inside";
  EXPECT_EQ(win->center(), (kit::Point{W - 10, 50}));
  EXPECT_EQ(ball->status(), 1);
  EXPECT_NEAR(positionDuration(), 0.1, 1e-9);

  dragTo({W - 20, 300});
  EXPECT_EQ(ball->btnAnimations(), CXRHelperBtn::Right);
  EXPECT_EQ(win->center(), (kit::Point{W, 300}));
  EXPECT_EQ(ball->status(), 0);

  // A tap on the ball docked at x = W brings it 50 points out.
  tapBall();
  EXPECT_EQ(win->center(), (kit::Point{W - 50, 300}));
  EXPECT_NEAR(positionDuration(), 50.0 / 600, 1e-6);
  EXPECT_EQ(ball->status(), 1);

  dragTo({200, H - 20});
  EXPECT_EQ(ball->btnAnimations(), CXRHelperBtn::Bottom);
  EXPECT_EQ(win->center(), (kit::Point{200, H}));

  dragTo({20, 300});
  EXPECT_EQ(ball->btnAnimations(), CXRHelperBtn::Left);
  EXPECT_EQ(win->center(), (kit::Point{0, 300})) << "no notch: the left edge hides half the ball";
  EXPECT_EQ(ball->status(), 0);
}

class LandscapeBall : public Ball {
 protected:
  kit::DeviceProfileScope landscape{kit::DeviceProfile::phone667x375()};
};

TEST_F(LandscapeBall, TopDocksHalfHiddenAndLeftToo) {
  dragTo({300, 20});
  EXPECT_EQ(ball->btnAnimations(), CXRHelperBtn::Top);
  EXPECT_EQ(win->center(), (kit::Point{300, 0}));
  EXPECT_EQ(ball->status(), 0);
  dragTo({20, 200});
  EXPECT_EQ(win->center(), (kit::Point{0, 200}));
}

class NotchedLandscapeBall : public Ball {
 protected:
  kit::DeviceProfileScope notched{kit::DeviceProfile::notched812x375()};
};

TEST_F(NotchedLandscapeBall, LeftDockingStops50InsideAwake) {
  dragTo({20, 200});
  EXPECT_EQ(win->center(), (kit::Point{50, 200}));
  EXPECT_EQ(ball->status(), 1);
}

TEST_F(Ball, ADragEndedOutsideTheBallDocksItAndTheNextTapWakesIt) {
  const kit::Point c = win->center();
  put(c);
  move(c);
  move({W - 20, 300});
  // The finger comes up far outside the ball: touch-up-outside.
  kit::test::touchUp(*win, {-200, -200});
  EXPECT_FALSE(ball->isMoving());
  EXPECT_EQ(ball->touchCount(), 0) << "the next drag arms itself again";
  EXPECT_EQ(win->center(), (kit::Point{W, 300})) << "docked at the right edge";
  EXPECT_EQ(ball->status(), 0);
  tapBall();
  EXPECT_EQ(win->center(), (kit::Point{W - 50, 300})) << "woken, not docked again";
  EXPECT_EQ(ball->status(), 1);
  EXPECT_FALSE(game->presentedViewController());
}

TEST_F(Ball, AccountSwitchCallsTheFailureBlockOnce) {
  int calls = 0;
  std::string texts;
  ball->setFailedBlock([&](const kit::Id& message, const kit::Id& code) {
    ++calls;
    texts = kit::describe(message) + "|" + kit::describe(code);
  });
  dragTo({150, 300});
  tapBall();
  auto centreVC = std::dynamic_pointer_cast<KTSuspendVC>(game->presentedViewController());
  ASSERT_TRUE(centreVC);
  ASSERT_TRUE(centreVC->loginOutBlock());
  centreVC->loginOutBlock()();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(texts, "注销|-9");

  ball->setFailedBlock(nullptr);
  centreVC->loginOutBlock()();
  EXPECT_EQ(calls, 1) << "without a block nothing happens";
}

TEST_F(Ball, ARefusedPresentationShowsTheBallAgain) {
  game->presentViewController(kit::ViewController::make(), false);
  ASSERT_TRUE(kit::test::runUntil([&] { return !game->isBeingPresented() && game->presentedViewController(); }));
  dragTo({150, 300});
  tapBall();
  EXPECT_FALSE(win->isHidden()) << "the game's root presents something already";
}

TEST_F(Ball, LogoutStandInHidesTheWindow) {
  CXRHelperBtnPort::install(CXRHelperBtn::sharedPort());
  loginOutBallStandIn();
  EXPECT_TRUE(win->isHidden());
  EXPECT_TRUE(CXRHelperBtn::isCreateBall()) << "logout only hides the window";
}

}  // namespace
