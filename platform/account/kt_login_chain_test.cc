// The login chain against the platform service: what a login stores, the
// 1.5 s pause (virtual clock), the real-name prompt and form, the notice
// step, the sub-account chooser and the report of the chosen sub-account
// (and of none for a sub-account without a user name),
// logging out in the chooser, change-account during the pause and before
// the login's answer, one notice step at a time (also when the real-name
// form is skipped while its check is on its way), a login started again
// while one is on its way, and failed logins.

#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/user_defaults.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/view_controller.h"
#include "platform/account/testing/kt_login_card_fixture.h"
#include "platform/account/kt_login_view.h"
#include "platform/account/kt_notice_vc.h"
#include "platform/account/kt_saved_accounts.h"
#include "ui/widgets/ph_progress_hud.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }
std::string stored(const char* key) { return d(kit::UserDefaults::standardUserDefaults()->objectForKey(key)); }

struct ChainRecorder : KTLoginViewDelegate {
  std::vector<std::string> failures;   // "message|code"
  std::vector<std::string> successes;  // "time|name|sign"
  kit::Ref<LoginResult> loginData;
  void ktLoginViewLoginSuccessLogintime(const kit::Ref<kit::String>& time, const kit::Ref<kit::String>& name,
                                        const kit::Ref<kit::String>& sign, const kit::Ref<LoginResult>& data) override {
    successes.push_back(d(time) + "|" + d(name) + "|" + d(sign));
    loginData = data;
  }
  void ktLoginViewLoginFaildeMessage(const kit::Ref<kit::String>& message,
                                     const kit::Ref<kit::String>& code) override {
    failures.push_back(d(message) + "|" + d(code));
  }
};

class LoginChain : public LoginCardTest<ChainRecorder> {
 protected:
  void SetUp() override {
    LoginCardTest::SetUp();
    addPlayerWithASubAccount();
  }
  // Types the account into the form and taps the main button; waits for
  // the login's answer.
  void logIn(const std::string& name = "player01", const std::string& password = "pass123") {
    card->outlets().loginName.lock()->setText(name);
    card->outlets().loginPwd.lock()->setText(password);
    const size_t before = server->requestsTo("login/dologin").size();
    card->layoutIfNeeded();
    ASSERT_TRUE(kit::test::tap(card->outlets().loginBtn.lock()));
    ASSERT_TRUE(waitForCalls("login/dologin", before + 1));
    ASSERT_TRUE(kit::test::runUntil([&] {
      return card->loginData() != answered || !recorder->failures.empty() || card->UsingStyle() != KTLoginView::LoggingIn;
    }));
    answered = card->loginData();
  }
  kit::Ref<CXRSubNameVC> chooser() const {
    return std::dynamic_pointer_cast<CXRSubNameVC>(root->presentedViewController());
  }
  // Waits for the chooser (after the pause and the notice step).
  bool waitForChooser() {
    return kit::test::runUntil([&] { return chooser() && chooser()->tableView() &&
                                            chooser()->tableView()->numberOfRowsInSection(0) > 0; });
  }
  // The player leaves the chooser; the card shows the form again.
  void closeChooser() {
    root->dismissViewController(false);
    ASSERT_TRUE(kit::test::runUntil([&] { return root->presentedViewController() == nullptr; }));
    card->setUsingStyle(KTLoginView::Login);
    clock.advance(1);  // the notice step's HUD fades out
  }
  kit::Ref<KTNoticeVC> notice() const {
    for (const auto& child : root->childViewControllers()) {
      if (auto page = std::dynamic_pointer_cast<KTNoticeVC>(child)) return page;
    }
    return nullptr;
  }
  size_t noticePages() const {
    size_t pages = 0;
    for (const auto& child : root->childViewControllers()) pages += kit::as<KTNoticeVC>(child) ? 1 : 0;
    return pages;
  }
  void setNotice(const std::string& status, const std::string& content, long id) {
    sim::PlatformNotice n;
    n.status = status;
    n.content = content;
    n.id = id;
    platform->setNotice(n);
  }

  kit::Ref<LoginResult> answered;
};

TEST_F(LoginChain, ALoginStoresTheReplysValuesAndPausesForOneAndAHalfSeconds) {
  server->enqueue("login/dologin", sim::PlatformAPIReply::scrambled(kit::dict(
                                       {{"z", "1"}, {"b", "server_name"}, {"c", "server_pwd"}, {"d", "SIGN"},
                                        {"e", "1700000000"}, {"x", "登录成功"}, {"sid", "SID9"}, {"rz", "0"},
                                        {"isck", "1"}, {"nrz", "1"}})));
  // The notice never answers: its HUD stays up to be looked at (an advance
  // runs the main loop until the work it started settles, and a quick
  // answer would take the HUD down within it).
  server->enqueue("Sdkmsg/indexios", sim::PlatformAPIReply::silence());
  logIn("typed_name", "typed_pwd");
  EXPECT_EQ(card->UsingStyle(), KTLoginView::LoggingIn);
  EXPECT_EQ(stored("KT_username"), "server_name");
  EXPECT_EQ(stored("KT_pwd"), "server_pwd");
  EXPECT_EQ(stored("KT_sid"), "SID9");
  EXPECT_EQ(stored("KT_isRz"), "1");
  EXPECT_EQ(ShareVale::sharedInstance()->loginStyle(), KTLoginStyleAutoLogin);
  ASSERT_TRUE(card->loginData());
  EXPECT_EQ(d(card->loginData()->userName()), "server_name");

  clock.advance(1.4);
  kit::test::runUntil([] { return false; }, 0.05);
  EXPECT_TRUE(server->requestsTo("Sdkmsg/indexios").empty());
  EXPECT_FALSE(card->hud());
  clock.advance(0.1);
  ASSERT_TRUE(card->hud()) << "the notice step's HUD";
  EXPECT_EQ(card->hud()->superview(), card);
  EXPECT_TRUE(kit::isEqual(card->hud()->backgroundView()->color(), kit::Color::white(0, 0.1)));
  ASSERT_TRUE(waitForCalls("Sdkmsg/indexios", 1));
}

TEST_F(LoginChain, TheRealNamePromptPutsTheFormOnTheCardAndContinuesWithTheNotice) {
  platform->updateAccount("player01", [](sim::PlatformAccount& a) { a.askRealName = true; });
  logIn();
  clock.advance(1.5);
  auto alert = std::dynamic_pointer_cast<kit::AlertController>(root->presentedViewController());
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->alertTitle(), "提示");
  EXPECT_EQ(alert->message(), "根据国家相关规定，需要用户进行实名认证");
  ASSERT_TRUE(kit::test::pressAlertAction(*alert, "确定"));
  clock.advance(1);
  auto form = std::dynamic_pointer_cast<CXRRealNameView>(card->viewWithTag(KTLoginView::RealNameTag));
  ASSERT_TRUE(form);
  EXPECT_EQ(form->superview(), card);
  EXPECT_EQ(form->reponse(), card->loginData());
  EXPECT_EQ(form->delegate.lock().get(), static_cast<CXRRealNameDelegate*>(card.get()));
  EXPECT_TRUE(server->requestsTo("Sdkmsg/indexios").empty());

  // Skipping continues with the notice step, then the chooser, which takes
  // the form away.
  form->cancelBtnClick();
  ASSERT_TRUE(waitForCalls("Sdkmsg/indexios", 1));
  ASSERT_TRUE(waitForChooser());
  EXPECT_FALSE(card->viewWithTag(KTLoginView::RealNameTag));
}

TEST_F(LoginChain, ANewNoticeShowsOnceAndClosingItOpensTheChooser) {
  setNotice("0", "开服公告", 5);
  logIn();
  clock.advance(1.5);
  ASSERT_TRUE(kit::test::runUntil([&] { return notice() != nullptr; }));
  auto page = notice();
  EXPECT_TRUE(card->isHidden());
  EXPECT_EQ(page->view()->superview(), root->view());
  EXPECT_EQ(page->textView()->text(), "开服公告");
  EXPECT_EQ(stored("KT_noticeId"), "5");
  EXPECT_FALSE(card->hud());
  EXPECT_FALSE(chooser());
  ASSERT_TRUE(kit::test::tap(page->closeBtn()));
  EXPECT_FALSE(page->view()->superview());
  EXPECT_FALSE(page->parentViewController());
  ASSERT_TRUE(waitForChooser());
  EXPECT_EQ(chooser()->modalPresentationStyle(), kit::ModalPresentationStyle::FullScreen);
}

TEST_F(LoginChain, TheSameNoticeIsSkippedUnlessItsStatusIsOne) {
  ShareVale::sharedInstance()->setNoticeId(kit::num(5));
  setNotice("0", "开服公告", 5);
  logIn();
  clock.advance(1.5);
  ASSERT_TRUE(waitForChooser());
  EXPECT_FALSE(notice());
  EXPECT_TRUE(card->isHidden() == false);

  closeChooser();
  setNotice("1", "每次都显示", 5);
  logIn();
  clock.advance(1.5);
  ASSERT_TRUE(kit::test::runUntil([&] { return notice() != nullptr; }));
  EXPECT_EQ(notice()->textView()->text(), "每次都显示");
}

TEST_F(LoginChain, ANoticeWithoutContentOrAFailedNoticeIsSkipped) {
  server->enqueue("Sdkmsg/indexios",
                  sim::PlatformAPIReply::json(kit::dict(
                      {{"code", "1"}, {"msg", ""},
                       {"data", kit::dict({{"status", "0"}, {"content", kit::Null::null()}, {"id", 9}})}})));
  logIn();
  clock.advance(1.5);
  ASSERT_TRUE(waitForChooser());
  EXPECT_FALSE(notice());
  EXPECT_EQ(stored("KT_noticeId"), "(null)") << "a notice without content keeps no id";

  closeChooser();
  server->setFault("Sdkmsg/indexios", sim::RouteFault::EmptyBody);
  logIn();
  clock.advance(1.5);
  ASSERT_TRUE(waitForChooser());
  EXPECT_FALSE(card->hud());
}

TEST_F(LoginChain, ChoosingASubAccountReportsItsOwnLoginAfterTheSlideOut) {
  server->enqueue("login/iosxiaohao",
                  sim::PlatformAPIReply::plain(kit::dict(
                      {{"code", "1"},
                       {"data", kit::array({kit::dict({{"nickname", "小号"}, {"username", "player01_7"},
                                                       {"sign", "S123"}, {"login_time", "1700000077"}})})}})));
  logIn();
  auto dialog = card->dp();
  clock.advance(1.5);
  ASSERT_TRUE(waitForChooser());
  auto page = chooser();
  page->didSelectRowAtIndexPath(*page->tableView(), kit::IndexPath::forRow(0, 0));
  // The chooser's dismissal, then the choice.
  for (int step = 0; step < 40 && stored("KT_subUserName") != "player01_7"; ++step) clock.advance(0.05);
  ASSERT_EQ(stored("KT_subUserName"), "player01_7");
  auto slide = kit::as<kit::SpringAnimation>(card->layer()->animationForKey("transform"));
  ASSERT_TRUE(slide);
  EXPECT_DOUBLE_EQ(slide->duration(), 0.6);
  EXPECT_DOUBLE_EQ(slide->damping(), 0.75);
  EXPECT_EQ(card->transform(), kit::AffineTransform::makeTranslation(0, 600));
  EXPECT_TRUE(recorder->successes.empty()) << "reported when the slide ends";
  clock.advance(0.6);
  ASSERT_TRUE(kit::test::runUntil([&] { return !recorder->successes.empty(); }));
  EXPECT_EQ(recorder->successes, (std::vector<std::string>{"1700000077|player01_7|123"}));
  EXPECT_EQ(recorder->loginData, card->loginData());
  EXPECT_FALSE(dialog->superview()) << "the progress dialog is dismissed";
}

TEST_F(LoginChain, ASubAccountWithoutAUserNameLogsNobodyIn) {
  auto row = [](const char* nickname, const char* username) {
    auto entry = kit::mutableDict({{"nickname", nickname}, {"sign", "S1"}, {"login_time", "1700000001"}});
    if (username) entry->setObject(kit::str(username), "username");
    return kit::Id(entry);
  };
  server->enqueue("login/iosxiaohao",
                  sim::PlatformAPIReply::plain(kit::dict(
                      {{"code", "1"},
                       {"data", kit::array({row("一", "player01_1"), row("二", "player01_2"), row("三", "player01_3"),
                                          kit::dict({{"nickname", "四"}})})}})));
  logIn();
  clock.advance(1.5);
  ASSERT_TRUE(waitForChooser());
  auto page = chooser();
  ASSERT_EQ(page->tableView()->numberOfRowsInSection(0), 4);
  page->view()->layoutIfNeeded();
  ASSERT_TRUE(kit::test::tap(page->tableView()->cellForRowAtIndexPath(kit::IndexPath::forRow(3, 0))));
  clock.advance(2);
  EXPECT_EQ(chooser(), page) << "the chooser stays";
  EXPECT_TRUE(kit::test::findLabel(*page->view(), CXRSubNameVC::NoUserNameMessage));
  EXPECT_TRUE(recorder->successes.empty());
  EXPECT_EQ(stored("KT_subUserName"), "(null)");
  EXPECT_EQ(card->transform(), kit::AffineTransform::identity()) << "the card stays";

  // A nameless choice reaching the card (the chooser gone) shows the
  // chooser again, with the reason.
  root->dismissViewController(false);
  ASSERT_TRUE(kit::test::runUntil([&] { return chooser() == nullptr; }));
  card->didSelectedCXRSubNameVCTableViewWithResponse(
      CXRSubNameModel::initWithDictionary(kit::dict({{"nickname", "四"}, {"username", ""}, {"sign", "S1"}})));
  ASSERT_TRUE(waitForChooser());
  EXPECT_TRUE(toastShown(CXRSubNameVC::NoUserNameMessage));
  clock.advance(2);
  EXPECT_TRUE(recorder->successes.empty());
  EXPECT_EQ(stored("KT_subUserName"), "(null)");

  // A named row logs in.
  chooser()->didSelectRowAtIndexPath(*chooser()->tableView(), kit::IndexPath::forRow(0, 0));
  for (int step = 0; step < 40 && recorder->successes.empty(); ++step) clock.advance(0.05);
  ASSERT_TRUE(kit::test::runUntil([&] { return !recorder->successes.empty(); }));
  const std::string sign = platform->loginSign("player01_1", "1700000001");
  EXPECT_EQ(recorder->successes, (std::vector<std::string>{"1700000001|player01_1|" + sign}));
  EXPECT_EQ(stored("KT_subUserName"), "player01_1");
}

TEST_F(LoginChain, LoggingOutInTheChooserReturnsToTheEmptyForm) {
  logIn();
  clock.advance(1.5);
  ASSERT_TRUE(waitForChooser());
  chooser()->loginOut();
  clock.advance(1);
  ASSERT_TRUE(kit::test::runUntil([&] { return card->UsingStyle() == KTLoginView::Login; }));
  EXPECT_FALSE(card->isHidden());
  EXPECT_EQ(ShareVale::sharedInstance()->loginStyle(), KTLoginStyleEmptyForm);
  EXPECT_TRUE(recorder->successes.empty());
}

TEST_F(LoginChain, ChangeAccountDuringThePauseStopsTheChain) {
  platform->updateAccount("player01", [](sim::PlatformAccount& a) { a.askRealName = true; });
  logIn();
  clock.advance(1.0);
  ASSERT_TRUE(kit::test::tap(card->outlets().changeButton.lock()));
  clock.advance(5);
  kit::test::runUntil([] { return false; }, 0.05);
  EXPECT_FALSE(root->presentedViewController()) << "no alert, no chooser";
  EXPECT_TRUE(server->requestsTo("Sdkmsg/indexios").empty());
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Login);
  EXPECT_EQ(stored("KT_username"), "player01");
  EXPECT_EQ(stored("KT_pwd"), "pass123");
  EXPECT_EQ(ShareVale::sharedInstance()->loginStyle(), KTLoginStyleAutoLogin);
}

TEST_F(LoginChain, ChangeAccountBeforeTheAnswerDropsTheLogin) {
  kit::test::LogCapture logs;
  auto late = sim::PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"b", "player01"}, {"c", "pass123"},
                                                          {"d", "SIGN"}, {"e", "1700000000"}, {"sid", "SID9"}}));
  late.delaySeconds = 0.5;
  server->enqueue("login/dologin", late);
  card->outlets().loginName.lock()->setText("player01");
  card->outlets().loginPwd.lock()->setText("pass123");
  card->layoutIfNeeded();
  ASSERT_TRUE(kit::test::tap(card->outlets().loginBtn.lock()));
  ASSERT_TRUE(waitForCalls("login/dologin", 1));
  card->layoutIfNeeded();
  ASSERT_TRUE(kit::test::tap(card->outlets().changeButton.lock()));
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Login);

  ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("after the login was stopped"); }));
  clock.advance(5);
  EXPECT_FALSE(root->presentedViewController()) << "no chooser over the empty form";
  EXPECT_TRUE(server->requestsTo("Sdkmsg/indexios").empty());
  EXPECT_FALSE(card->loginData());
  EXPECT_EQ(stored("KT_username"), "(null)");
  EXPECT_EQ(stored("KT_pwd"), "(null)");
  EXPECT_EQ(stored("KT_sid"), "(null)");
  EXPECT_EQ(ShareVale::sharedInstance()->loginStyle(), KTLoginStyleEmptyForm) << "no auto-login saved";
  EXPECT_EQ(KTSavedAccounts::accounts()->count(), 0u) << "no account saved";
  EXPECT_TRUE(recorder->failures.empty());
  EXPECT_TRUE(recorder->successes.empty());
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Login);

  // The next login runs as usual.
  logIn();
  EXPECT_EQ(stored("KT_username"), "player01");
  clock.advance(1.5);
  ASSERT_TRUE(waitForChooser());
}

TEST_F(LoginChain, ASecondNoticeStepWhileTheFirstWaitsPutsNoSecondHUD) {
  // Two reports of the real-name form: the notice step runs once, and no
  // HUD is left over the card.
  logIn();
  kit::RunLoop::main().cancelPreviousPerformRequests(card.get());
  auto result = card->loginData();
  card->goNoticeViewWithResponse(result);
  auto first = card->hud();
  ASSERT_TRUE(first);
  card->goNoticeViewWithResponse(result);
  EXPECT_EQ(card->hud(), first);
  EXPECT_EQ(kit::test::findViewsOfType<PHProgressHUD>(*card).size(), 1u);
  ASSERT_TRUE(waitForChooser());
  clock.advance(1);  // the HUD fades out
  EXPECT_TRUE(kit::test::findViewsOfType<PHProgressHUD>(*card).empty());
  EXPECT_FALSE(card->hud());
  EXPECT_EQ(server->requestsTo("Sdkmsg/indexios").size(), 1u);
}

TEST_F(LoginChain, SkippingTheRealNameFormWhileItsCheckIsOnItsWayRunsTheNoticeStepOnce) {
  platform->updateAccount("player01", [](sim::PlatformAccount& a) { a.askRealName = true; });
  setNotice("1", "开服公告", 5);
  auto late = sim::PlatformAPIReply::scrambled(
      kit::dict({{"z", "1"}, {"b", "认证成功"}, {"frz", "0"}, {"nrz", "1"}, {"lmit", "0"}}));
  late.delaySeconds = 0.3;
  server->enqueue("login/idcheck", late);
  logIn();
  clock.advance(1.5);
  auto alert = std::dynamic_pointer_cast<kit::AlertController>(root->presentedViewController());
  ASSERT_TRUE(alert);
  ASSERT_TRUE(kit::test::pressAlertAction(*alert, "确定"));
  clock.advance(1);
  auto form = std::dynamic_pointer_cast<CXRRealNameView>(card->viewWithTag(KTLoginView::RealNameTag));
  ASSERT_TRUE(form);
  form->layoutIfNeeded();
  ASSERT_TRUE(kit::test::typeText(*form->realNameF(), "张三"));
  ASSERT_TRUE(kit::test::typeText(*form->userNumberF(), "11010519491231002X"));
  ASSERT_TRUE(kit::test::tap(form->btn()));
  ASSERT_TRUE(waitForCalls("login/idcheck", 1));
  ASSERT_TRUE(kit::test::tap(form->refuseBtn()));
  ASSERT_TRUE(kit::test::runUntil([&] { return notice() != nullptr; }));

  // The check answers late; the form reports it a second later.
  ASSERT_TRUE(kit::test::runUntil([&] { return kit::test::findLabel(*form, "认证成功") != nullptr; }));
  clock.advance(CXRRealNameView::ReportDelay);
  EXPECT_EQ(stored("KT_isRz"), "1") << "the late answer is still stored";
  kit::test::runUntil([&] { return server->requestsTo("Sdkmsg/indexios").size() > 1 || noticePages() > 1; }, 0.3);
  EXPECT_EQ(server->requestsTo("Sdkmsg/indexios").size(), 1u);
  EXPECT_EQ(noticePages(), 1u);
  EXPECT_FALSE(card->hud());

  ASSERT_TRUE(kit::test::tap(notice()->closeBtn()));
  ASSERT_TRUE(waitForChooser());
  EXPECT_EQ(noticePages(), 0u);
  EXPECT_FALSE(card->viewWithTag(KTLoginView::RealNameTag));
  clock.advance(1);
  EXPECT_FALSE(root->presentedViewController()->presentedViewController()) << "one chooser";
  EXPECT_EQ(server->requestsTo("Sdkmsg/indexios").size(), 1u);

  // The next login asks for the notice again.
  chooser()->loginOut();
  clock.advance(1);
  platform->updateAccount("player01", [](sim::PlatformAccount& a) { a.askRealName = false; });
  logIn();
  clock.advance(1.5);
  ASSERT_TRUE(waitForCalls("Sdkmsg/indexios", 2));
}

TEST_F(LoginChain, ALoginStartedAgainDropsTheAnswerOfTheOneOnItsWay) {
  kit::test::LogCapture logs;
  auto first = sim::PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"b", "first_name"}, {"c", "first_pwd"},
                                                           {"d", "SIGN1"}, {"e", "1700000000"}, {"sid", "SID1"},
                                                           {"rz", "0"}, {"isck", "1"}}));
  first.delaySeconds = 0.3;
  server->enqueue("login/dologin", first);
  card->outlets().loginName.lock()->setText("player01");
  card->outlets().loginPwd.lock()->setText("pass123");
  card->layoutIfNeeded();
  ASSERT_TRUE(kit::test::tap(card->outlets().loginBtn.lock()));
  ASSERT_TRUE(waitForCalls("login/dologin", 1));
  // The login starts again (as the login window's auto-login does) while
  // the first one's answer is on its way.
  card->setCurrentUserName(kit::str("player01"));
  card->setCurrenPwd(kit::str("pass123"));
  card->postLogin();
  ASSERT_TRUE(waitForCalls("login/dologin", 2));
  ASSERT_TRUE(kit::test::runUntil([&] {
    return logs.contains("after the login was stopped") || stored("KT_username") == "first_name";
  }));
  ASSERT_TRUE(kit::test::runUntil([&] { return card->loginData() != nullptr; }));
  EXPECT_EQ(stored("KT_username"), "player01");
  EXPECT_EQ(stored("KT_pwd"), "pass123");
  EXPECT_EQ(d(card->loginData()->userName()), "player01");
  EXPECT_TRUE(logs.contains("after the login was stopped"));

  clock.advance(1.5);
  ASSERT_TRUE(waitForChooser());
  kit::test::runUntil([&] { return server->requestsTo("Sdkmsg/indexios").size() > 1; }, 0.3);
  EXPECT_EQ(server->requestsTo("Sdkmsg/indexios").size(), 1u);
  EXPECT_EQ(stored("KT_sid"), d(card->loginData()->sid()));
  EXPECT_NE(stored("KT_sid"), "SID1");
}

TEST_F(LoginChain, ChangeAccountDuringTheNoticeStepTakesTheHUDAwayAndIgnoresTheNotice) {
  logIn();
  kit::RunLoop::main().cancelPreviousPerformRequests(card.get());
  card->goNoticeViewWithResponse(card->loginData());
  ASSERT_TRUE(card->hud());
  card->changeBtn();
  EXPECT_FALSE(card->hud());
  clock.advance(1);  // the HUD fades out
  EXPECT_TRUE(kit::test::findViewsOfType<PHProgressHUD>(*card).empty());
  ASSERT_TRUE(waitForCalls("Sdkmsg/indexios", 1));
  kit::test::runUntil([] { return false; }, 0.2);
  clock.advance(1);
  EXPECT_FALSE(root->presentedViewController()) << "no chooser over the form";
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Login);
}

TEST_F(LoginChain, AFailedLoginReturnsToTheFormAndReports) {
  card->outlets().loginName.lock()->setText("player01");
  card->outlets().loginPwd.lock()->setText("wrong");
  card->gotoLoginAndQuickRegister();
  auto dialog = card->dp();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->title(), "正在登陆");
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->failures.size() == 1; }));
  EXPECT_EQ(recorder->failures[0], std::string(sim::PlatformService::kWrongPassword) + "|0");
  EXPECT_TRUE(toastShown(sim::PlatformService::kWrongPassword));
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Login);
  EXPECT_FALSE(card->dp());
  EXPECT_FALSE(dialog->superview()) << "the 正在登陆 dialog is removed";

  server->enqueue("login/dologin", sim::PlatformAPIReply::bytes("<html>error</html>", 500));
  logIn();
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->failures.size() == 2; }));
  EXPECT_EQ(recorder->failures[1], "无法连接服务器|501");
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Login);
  clock.advance(5);
  EXPECT_TRUE(server->requestsTo("Sdkmsg/indexios").empty()) << "no chain after a failure";
}

}  // namespace
