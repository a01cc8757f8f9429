// The login window against the platform service, with a recording floating
// ball: opening (the ball hidden, the dimmed window, the card dropping in),
// the logo and speed-up queries, the stored login styles, the success road
// in its order up to the window's release, failures, touches outside and
// on the card during the login's pause, and the chooser's toast over it.

#include "platform/account/kt_alter_login_vc.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/user_defaults.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/animation.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/navigation_controller.h"
#include "kit/ui/render.h"
#include "kit/ui/screen.h"
#include "platform/account/testing/kt_api_test_fixture.h"
#include "platform/account/kt_notice_vc.h"
#include "platform/testing/recording_helper_btn.h"
#include "speedup/acc.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

class LoginWindow : public PlatformAPITest {
 protected:
  void SetUp() override {
    PlatformAPITest::SetUp();
    ball = RecordingHelperBtn::install();
    sim::PlatformAccount account;
    account.userName = "player01";
    account.password = "pass123";
    account.askRealName = false;
    account.realNameStatus = "1";
    account.subAccounts.push_back({"小号1", "player01_1", "1700000001"});
    platform->addAccount(account);
  }
  void TearDown() override {
    // A window that saw no login keeps itself open: close each one.
    for (const auto& weak : opened) {
      auto vc = weak.lock();
      if (!vc) continue;
      if (auto card = vc->loginView()) kit::RunLoop::main().cancelPreviousPerformRequests(card.get());
      if (auto w = vc->keyWindow()) {
        w->setHidden(true);
        vc->setKeyWindow(nullptr);
      }
    }
    acc::reset();
    ball.reset();
    PlatformAPITest::TearDown();
  }
  // Opens the window with recording blocks; waits for the speed-up query.
  void open() {
    const size_t before = server->requestsTo("pay/getjiasu").size();
    KTAlterLoginVC::loadAlterLoginVCResultSuccess(
        [this](const kit::Ref<kit::String>& time, const kit::Ref<kit::String>& name,
               const kit::Ref<kit::String>& sign, const kit::Ref<kit::String>& rz) {
          events.push_back("success " + d(time) + "|" + d(name) + "|" + d(sign) + "|" + d(rz));
          rzAtSuccess = d(kit::UserDefaults::standardUserDefaults()->objectForKey("KT_isRz"));
          ballCallsAtSuccess = ball->calls().size();
        },
        [this](const kit::Ref<kit::String>& message, const kit::Ref<kit::String>& code) {
          events.push_back("failed " + d(message) + "|" + d(code));
        });
    for (const auto& w : kit::Application::shared()->windows()) {
      auto nav = std::dynamic_pointer_cast<kit::NavigationController>(w->rootViewController());
      if (auto vc = nav ? std::dynamic_pointer_cast<KTAlterLoginVC>(nav->topViewController()) : nullptr) {
        if (std::none_of(opened.begin(), opened.end(), [&](const auto& o) { return o.lock() == vc; })) {
          controller = vc;
          loginWindow = w;
          opened.push_back(vc);
        }
      }
    }
    ASSERT_TRUE(controller.lock());
    ASSERT_TRUE(waitForCalls("pay/getjiasu", before + 1));
  }
  kit::Ref<KTLoginView> card() const { return controller.lock()->loginView(); }
  void logIn() {
    card()->outlets().loginName.lock()->setText("player01");
    card()->outlets().loginPwd.lock()->setText("pass123");
    card()->gotoLoginAndQuickRegister();
    ASSERT_TRUE(waitForCalls("login/dologin", 1));
    ASSERT_TRUE(kit::test::runUntil([&] { return card()->loginData() || !events.empty(); }));
  }
  kit::Ref<CXRSubNameVC> chooser() const {
    auto vc = controller.lock();
    return vc ? std::dynamic_pointer_cast<CXRSubNameVC>(vc->presentedViewController()) : nullptr;
  }
  static bool toastOnAnyWindow(const std::string& text) {
    for (const auto& w : kit::Application::shared()->windows()) {
      if (kit::test::findLabel(*w, text)) return true;
    }
    return false;
  }
  bool speedUpShown() {
    kit::test::runUntil([] { return false; }, 0.05);
    return acc::touchWindow() && !acc::touchWindow()->isHidden();
  }

  kit::VirtualClock clock;
  kit::test::LogCapture logs;
  std::shared_ptr<RecordingHelperBtn> ball;
  kit::Weak<KTAlterLoginVC> controller;
  std::vector<kit::Weak<KTAlterLoginVC>> opened;
  kit::Weak<kit::Window> loginWindow;
  std::vector<std::string> events;
  std::string rzAtSuccess;
  size_t ballCallsAtSuccess = 0;
};

TEST_F(LoginWindow, OpeningHidesTheBallDimsTheWindowAndDropsTheCardIn) {
  ball->created = true;
  open();
  EXPECT_EQ(ball->calls(), (std::vector<std::string>{"isCreate", "hide"}));
  auto w = loginWindow.lock();
  EXPECT_FALSE(w->isHidden());
  EXPECT_EQ(w->frame(), kit::Screen::main()->bounds());
  EXPECT_TRUE(kit::isEqual(w->backgroundColor(), kit::Color::white(0, 0.5)));
  auto dim = kit::as<kit::BasicAnimation>(w->layer()->animationForKey("backgroundColor"));
  ASSERT_TRUE(dim);
  EXPECT_DOUBLE_EQ(dim->duration(), 0.5);
  EXPECT_TRUE(kit::isEqual(std::get<kit::Ref<kit::Color>>(dim->fromValue()), kit::Color::white(0, 0)));
  auto vc = controller.lock();
  EXPECT_TRUE(vc->navigationController()->isNavigationBarHidden());
  EXPECT_TRUE(logs.contains("vexo SDK版本 2.2"));

  auto c = card();
  EXPECT_DOUBLE_EQ(c->layer()->cornerRadius(), 8);
  EXPECT_TRUE(c->clipsToBounds());
  EXPECT_EQ(c->UsingStyle(), KTLoginView::Login);
  auto drop = kit::as<kit::SpringAnimation>(c->layer()->animationForKey("transform"));
  ASSERT_TRUE(drop) << "the spring of viewDidAppear";
  EXPECT_DOUBLE_EQ(drop->duration(), 0.5);
  EXPECT_DOUBLE_EQ(drop->damping(), 0.6);
  EXPECT_DOUBLE_EQ(drop->initialVelocity(), 0.8);
  EXPECT_EQ(std::get<kit::Transform3D>(drop->fromValue()),
            kit::Transform3D::fromAffine(kit::AffineTransform::makeTranslation(0, -600)));
  EXPECT_EQ(c->transform(), kit::AffineTransform::identity());
}

TEST_F(LoginWindow, TheLogoAndTheSpeedUpQuery) {
  open();
  EXPECT_EQ(keysOf(sentTo("pay/getjiasu")), "g");
  EXPECT_EQ(d(sentTo("pay/getjiasu")["g"]), "1001");
  ASSERT_TRUE(kit::test::runUntil([&] {
    for (const auto& r : server->requests()) {
      if (r.path == "/appview/kefu/sdk_logo") return true;
    }
    return false;
  }));
  for (const auto& r : server->requests()) {
    if (r.path != "/appview/kefu/sdk_logo") continue;
    EXPECT_EQ(r.query.rfind("ag=agent7&time=", 0), 0u) << r.query;
  }
  ASSERT_TRUE(kit::test::runUntil([&] { return card()->outlets().loginPic.lock()->image() != nullptr; }));
  EXPECT_FALSE(speedUpShown()) << "the tool is off by default";
}

TEST_F(LoginWindow, OnlyABOfOneShowsTheSpeedUpButton) {
  for (kit::Id b : std::vector<kit::Id>{kit::str("0"), kit::num(2), nullptr}) {
    auto reply = kit::mutableDict({{"z", "1"}});
    if (b) reply->setObject(b, "b");
    server->enqueue("pay/getjiasu", sim::PlatformAPIReply::scrambled(reply));
    open();
    EXPECT_FALSE(speedUpShown()) << d(b);
  }
  server->setFault("pay/getjiasu", sim::RouteFault::CloseConnection);
  open();
  EXPECT_FALSE(speedUpShown());
  server->setFault("pay/getjiasu", sim::RouteFault::None);

  server->enqueue("pay/getjiasu", sim::PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"b", "1"}})));
  open();
  ASSERT_TRUE(kit::test::runUntil([] { return acc::touchWindow() != nullptr; }));
  platform->setSpeedUpEnabled(true);  // the service answers the number 1
  acc::reset();
  open();
  ASSERT_TRUE(kit::test::runUntil([] { return acc::touchWindow() != nullptr; }));
}

TEST_F(LoginWindow, TheStoredLoginStyleFillsTheForm) {
  auto share = ShareVale::sharedInstance();
  share->setUserName(kit::str("weixin_123"));
  share->setPassWord(kit::str("pw"));
  share->setLoginStyle(KTLoginStyleSavedName);
  open();
  EXPECT_EQ(card()->outlets().loginName.lock()->text(), "");
  EXPECT_EQ(card()->outlets().loginPwd.lock()->text(), "");
  share->setUserName(kit::str("qq456"));
  open();
  EXPECT_EQ(card()->outlets().loginName.lock()->text(), "");
  share->setUserName(kit::str("player01"));
  open();
  EXPECT_EQ(card()->outlets().loginName.lock()->text(), "player01");
  EXPECT_EQ(card()->outlets().loginPwd.lock()->text(), "");
  share->setLoginStyle(KTLoginStyleEmptyForm);
  open();
  EXPECT_EQ(card()->outlets().loginName.lock()->text(), "");
  EXPECT_TRUE(server->requestsTo("login/dologin").empty());

  // Automatic login: straight to the logging-in style, no tap.
  share->setPassWord(kit::str("pass123"));
  share->setLoginStyle(KTLoginStyleAutoLogin);
  open();
  EXPECT_EQ(card()->UsingStyle(), KTLoginView::LoggingIn);
  EXPECT_EQ(card()->outlets().loginName.lock()->text(), "player01");
  ASSERT_TRUE(waitForCalls("login/dologin", 1));
  EXPECT_EQ(d(sentTo("login/dologin")["z"]), "player01");
  EXPECT_EQ(d(sentTo("login/dologin")["b"]), "pass123");
  // Nothing of this login is left in flight when the test ends.
  ASSERT_TRUE(kit::test::runUntil([&] { return card()->loginData() != nullptr; }));
}

TEST_F(LoginWindow, ASuccessReportsStartsTheBallAndReleasesTheWindow) {
  open();
  ball->clearCalls();
  logIn();
  clock.advance(1.5);
  ASSERT_TRUE(kit::test::runUntil([&] {
    return chooser() && chooser()->tableView() && chooser()->tableView()->numberOfRowsInSection(0) > 0;
  }));
  auto page = chooser();
  page->didSelectRowAtIndexPath(*page->tableView(), kit::IndexPath::forRow(0, 0));
  page.reset();
  for (int step = 0; step < 40 && events.empty(); ++step) clock.advance(0.05);
  ASSERT_EQ(events.size(), 1u);
  const std::string sign = platform->loginSign("player01_1", "1700000001");
  EXPECT_EQ(events[0], "success 1700000001|player01_1|" + sign + "|1");
  EXPECT_EQ(rzAtSuccess, "1") << "KT_isRz is stored before the block";
  EXPECT_EQ(ballCallsAtSuccess, 0u) << "the ball starts after the block";
  EXPECT_TRUE(toastOnAnyWindow("登录成功"));
  EXPECT_EQ(ball->calls(),
            (std::vector<std::string>{"isCreate", "create", "setFailedBlock", "setLoginData", "startTimer"}));
  EXPECT_EQ(d(ball->loginData()->userName()), "player01");

  // The window clears over 0.5 s and goes.
  auto w = loginWindow.lock();
  ASSERT_TRUE(w);
  EXPECT_TRUE(kit::isEqual(w->backgroundColor(), kit::Color::clearColor()));
  w.reset();
  clock.advance(0.6);
  ASSERT_TRUE(kit::test::runUntil([&] { return controller.expired(); }));
  EXPECT_TRUE(loginWindow.expired());
  EXPECT_TRUE(logs.contains("loginVC已销毁"));

  // The ball keeps the failure block (switch account in the user centre).
  ball->failedBlock()(kit::str("注销"), kit::str("-9"));
  EXPECT_EQ(events.back(), "failed 注销|-9");
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(LoginWindow, AShownBallIsShownAgainAfterTheLogin) {
  ball->created = true;
  open();
  ball->clearCalls();
  controller.lock()->ktLoginViewLoginSuccessLogintime(kit::str("t"), kit::str("n"), kit::str("s"),
                                                      LoginResult::responseWithDic(kit::dict({{"nrz", "2"}})));
  EXPECT_EQ(events, (std::vector<std::string>{"success t|n|s|2"}));
  EXPECT_EQ(ball->calls(),
            (std::vector<std::string>{"isCreate", "show", "setFailedBlock", "setLoginData", "startTimer"}));
  EXPECT_TRUE(toastOnAnyWindow("登录成功"));
}

TEST_F(LoginWindow, FailuresReachTheBlockEachTimeAndTheWindowStays) {
  open();
  card()->outlets().loginName.lock()->setText("player01");
  card()->outlets().loginPwd.lock()->setText("wrong");
  card()->gotoLoginAndQuickRegister();
  ASSERT_TRUE(kit::test::runUntil([&] { return events.size() == 1; }));
  card()->gotoLoginAndQuickRegister();
  ASSERT_TRUE(kit::test::runUntil([&] { return events.size() == 2; }));
  const std::string refused = std::string("failed ") + sim::PlatformService::kWrongPassword + "|0";
  EXPECT_EQ(events, (std::vector<std::string>{refused, refused}));
  clock.advance(1);
  EXPECT_FALSE(loginWindow.lock()->isHidden());
  EXPECT_FALSE(controller.expired());
}

TEST_F(LoginWindow, ATouchOutsideTheCardDuringThePauseStopsTheChain) {
  open();
  clock.advance(1);  // the card has dropped in
  logIn();
  auto w = loginWindow.lock();
  // On the card: only ends editing.
  const kit::Rect cardFrame = kit::test::frameInWindow(*card());
  ASSERT_TRUE(kit::test::tapAt(*w, {cardFrame.origin.x + 5, cardFrame.origin.y + 5}));
  EXPECT_EQ(kit::RunLoop::main().pendingPerformCount(card().get()), 1u);
  // Outside it: the pending step goes.
  ASSERT_TRUE(kit::test::tapAt(*w, {5, 5}));
  EXPECT_EQ(kit::RunLoop::main().pendingPerformCount(card().get()), 0u);
  clock.advance(3);
  kit::test::runUntil([] { return false; }, 0.05);
  EXPECT_TRUE(server->requestsTo("Sdkmsg/indexios").empty());
  EXPECT_FALSE(chooser());
  EXPECT_EQ(card()->UsingStyle(), KTLoginView::LoggingIn);
  EXPECT_TRUE(events.empty());
}

// The chooser shows over the game's window, which stays key: a toast of the
// chooser is on the login window, and shows in a picture of the screen.
TEST_F(LoginWindow, TheChoosersToastShowsOverIt) {
  open();
  logIn();
  clock.advance(1.5);
  ASSERT_TRUE(kit::test::runUntil([&] {
    return chooser() && chooser()->tableView() && chooser()->tableView()->numberOfRowsInSection(0) > 0;
  }));
  clock.advance(1);  // the chooser is in place
  ASSERT_EQ(kit::Application::shared()->keyWindow(), window);
  ASSERT_TRUE(kit::test::tap(chooser()->addBtn()));
  auto alert = std::dynamic_pointer_cast<kit::AlertController>(chooser()->presentedViewController());
  ASSERT_TRUE(alert);
  ASSERT_TRUE(kit::test::pressAlertAction(*alert, "确认"));  // an empty name
  clock.advance(kit::ViewController::TransitionDuration);
  kit::Ref<kit::Label> toast;
  for (const auto& w : kit::Application::shared()->windows()) {
    if ((toast = kit::test::findLabel(*w, "请输入有效字符"))) break;
  }
  ASSERT_TRUE(toast);
  EXPECT_EQ(toast->window(), loginWindow.lock());
  const kit::Rect box = kit::test::frameInWindow(*toast->superview());
  auto screen = kit::renderScreen(1);
  ASSERT_TRUE(screen);
  const kit::Pixel shown = screen->pixelAt(static_cast<size_t>(box.minX() + 4), static_cast<size_t>(box.midY()));
  EXPECT_EQ(shown, (kit::Pixel{0, 0, 0, 255})) << "the toast's black box";
  EXPECT_TRUE(server->requestsTo("login/iosaddxiaohao").empty());
}

// Pictures of the card in each style and of the chain's pages, kept under
// the build folder; the login button's accent shows where the layout puts
// the login panel.
TEST_F(LoginWindow, PicturesOfTheCardAndTheChain) {
  platform->updateAccount("player01", [](sim::PlatformAccount& a) {
    a.askRealName = true;
    a.realNameStatus = "0";
  });
  sim::PlatformNotice notice;
  notice.status = "1";
  notice.content = "欢迎来到游戏，祝您游戏愉快！";
  platform->setNotice(notice);
  open();
  clock.advance(1);
  auto w = loginWindow.lock();
  auto c = card();
  const std::string dir = std::string(KIT_UI_ARTIFACT_DIR) + "/";
  c->setCurrentUserName(kit::str("player01"));
  for (long style = 0; style <= 4; ++style) {
    c->setUsingStyle(style);
    w->layoutIfNeeded();
    ASSERT_TRUE(kit::writePNG(*w, dir + "kt_login_view_style" + std::to_string(style) + ".png"));
  }
  c->setUsingStyle(KTLoginView::Login);
  w->layoutIfNeeded();
  auto bitmap = kit::render(*w, 1);
  ASSERT_TRUE(bitmap);
  const kit::Rect button = kit::test::frameInWindow(*c->outlets().loginBtn.lock());
  EXPECT_EQ(bitmap->pixelAt(static_cast<size_t>(button.origin.x + 4), static_cast<size_t>(button.midY())),
            (kit::Pixel{0xF6, 0x47, 0x20, 255}));

  logIn();
  clock.advance(1.5);
  auto alert = std::dynamic_pointer_cast<kit::AlertController>(controller.lock()->presentedViewController());
  ASSERT_TRUE(alert);
  clock.advance(0.5);
  ASSERT_TRUE(kit::writePNG(*w, dir + "kt_login_real_name_prompt.png"));
  ASSERT_TRUE(kit::test::pressAlertAction(*alert, "确定"));
  clock.advance(0.5);
  ASSERT_TRUE(kit::writePNG(*w, dir + "kt_login_real_name_form.png"));
  auto form = std::dynamic_pointer_cast<CXRRealNameView>(c->viewWithTag(KTLoginView::RealNameTag));
  ASSERT_TRUE(form);
  form->cancelBtnClick();
  ASSERT_TRUE(kit::test::runUntil([&] { return c->isHidden(); }));
  clock.advance(0.5);
  ASSERT_TRUE(kit::writePNG(*w, dir + "kt_login_notice.png"));
  auto page = std::dynamic_pointer_cast<KTNoticeVC>(controller.lock()->childViewControllers().back());
  ASSERT_TRUE(page);
  ASSERT_TRUE(kit::test::tap(page->closeBtn()));
  ASSERT_TRUE(kit::test::runUntil([&] {
    return chooser() && chooser()->tableView() && chooser()->tableView()->numberOfRowsInSection(0) > 0;
  }));
  clock.advance(0.5);
  ASSERT_TRUE(kit::writePNG(*w, dir + "kt_login_sub_name_chooser.png"));
}

}  // namespace

