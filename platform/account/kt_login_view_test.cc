// The login card: the layout of each style, the field checks, registration
// by name and by phone against the platform service (and the login after
// an answer that leaves the account's name out, up to its end), the SMS code's
// countdown, the saved-account list, the small buttons and the agreement
// and forgotten-password pages it opens on its navigation stack.

#include "platform/account/kt_login_view.h"

#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/user_defaults.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/navigation_controller.h"
#include "kit/ui/view_controller.h"
#include "platform/account/kt_base_nav.h"
#include "platform/account/kt_forget_password_vc.h"
#include "platform/account/kt_show_html_vc.h"
#include "platform/account/testing/kt_login_card_fixture.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

struct RecordingCardDelegate : KTLoginViewDelegate {
  std::vector<std::string> failures;  // "message|code"
  std::vector<std::string> successes;  // "time|name|sign"
  void ktLoginViewLoginSuccessLogintime(const kit::Ref<kit::String>& time, const kit::Ref<kit::String>& name,
                                        const kit::Ref<kit::String>& sign, const kit::Ref<LoginResult>&) override {
    successes.push_back(kit::describe(time) + "|" + kit::describe(name) + "|" + kit::describe(sign));
  }
  void ktLoginViewLoginFaildeMessage(const kit::Ref<kit::String>& message,
                                     const kit::Ref<kit::String>& code) override {
    failures.push_back(kit::describe(message) + "|" + kit::describe(code));
  }
};

class LoginCard : public LoginCardTest<RecordingCardDelegate> {
 protected:
  const KTLoginView::Outlets& o() const { return card->outlets(); }
  template <class T>
  static kit::Ref<T> at(const kit::Weak<T>& outlet) {
    return outlet.lock();
  }
  // The nine heights, in the table's order.
  std::vector<double> heights() const {
    const auto& c = card->constraints();
    return {c.loginViewH->constant(), c.registerH->constant(),    c.welcomeTitleH->constant(),
            c.progressH->constant(),  c.changeBtnH->constant(),   c.signCodeH->constant(),
            c.distace->constant(),    c.accountViewH->constant(), c.iphoneViewH->constant()};
  }
  static void fill(const kit::Ref<kit::TextField>& field, const std::string& text) { field->setText(text); }
  void saveAccounts(size_t count) {
    auto list = kit::MutableArray::make();
    for (size_t i = 1; i <= count; ++i) {
      list->addObject(kit::array({"user" + std::to_string(i), "pw" + std::to_string(i)}));
    }
    kit::UserDefaults::standardUserDefaults()->setObject(list, "KT_accounts");
  }
  std::vector<std::string> rowTexts() const {
    std::vector<std::string> texts;
    auto list = card->tableView();
    for (long row = 0; list && row < list->numberOfRowsInSection(0); ++row) {
      texts.push_back(list->cellForRowAtIndexPath(kit::IndexPath::forRow(row, 0))->textLabel()->text());
    }
    return texts;
  }

  // An account the service made, with one sub-account, whose registration
  // the service answers with its code alone.
  void registeredWithoutItsName(const std::string& name, const std::string& password, const char* endpoint) {
    sim::PlatformAccount account;
    account.userName = name;
    account.password = password;
    account.askRealName = false;
    account.subAccounts.push_back({"小号1", name + "_1", "1700000001"});
    platform->addAccount(account);
    server->enqueue(endpoint, sim::PlatformAPIReply::scrambled(kit::dict({{"z", "1"}})));
  }
  kit::Ref<CXRSubNameVC> chooser() const {
    return std::dynamic_pointer_cast<CXRSubNameVC>(root->presentedViewController());
  }
  // After 注册成功: the login a second later, the pause, the notice step
  // and the chooser, whose first row is taken; waits until the delegate
  // hears how the login ended.
  void waitForTheRegistrationsLogin() {
    ASSERT_TRUE(kit::test::runUntil([&] { return toastShown("注册成功"); }));
    clock.advance(KTLoginView::RegisterLoginDelay);
    ASSERT_TRUE(waitForCalls("login/dologin", 1));
    ASSERT_TRUE(kit::test::runUntil([&] { return card->loginData() || !recorder->failures.empty(); }));
    ASSERT_EQ(recorder->failures, std::vector<std::string>{});
    clock.advance(KTLoginView::LoginPause);
    ASSERT_TRUE(kit::test::runUntil([&] {
      return chooser() && chooser()->tableView() && chooser()->tableView()->numberOfRowsInSection(0) > 0;
    }));
    chooser()->didSelectRowAtIndexPath(*chooser()->tableView(), kit::IndexPath::forRow(0, 0));
    // The chooser's dismissal, then the card's slide-out.
    for (int step = 0; step < 40 && recorder->successes.empty(); ++step) clock.advance(0.05);
    ASSERT_TRUE(kit::test::runUntil([&] { return !recorder->successes.empty(); }));
    clock.advance(5);
    kit::test::runUntil([] { return false; }, 0.05);
  }
};

TEST_F(LoginCard, EachStyleSetsItsHeightsAndTexts) {
  using V = std::vector<double>;
  // Styles 1 and 2 set the registration rows; the others keep them.
  card->setUsingStyle(KTLoginView::AccountRegister);
  EXPECT_EQ(heights(), (V{0, 310, 0, 0, 0, 0, 50, 30, 0}));
  EXPECT_EQ(at(o().state)->text(), "账号注册");
  EXPECT_EQ(at(o().registerName)->placeholder(), "6-12位字母或数字");
  EXPECT_EQ(at(o().registerName)->keyboardType(), kit::KeyboardType::Default);
  EXPECT_FALSE(at(o().registerNameIconView)->image()) << "the test bundle has no icons";
  ASSERT_TRUE(bundle.addFile("VIROV.bundle/tol_new_user.png", PlatformTestBundle::solidPNG(20, 20, 1, 2, 3)));
  card->setUsingStyle(KTLoginView::AccountRegister);
  EXPECT_TRUE(at(o().registerNameIconView)->image()) << "tol_new_user.png from the SDK bundle";

  fill(at(o().registerName), "13800000000");
  fill(at(o().signCode), "1234");
  fill(at(o().registerpwd), "secret1");
  card->setUsingStyle(KTLoginView::PhoneRegister);
  EXPECT_EQ(heights(), (V{0, 310, 0, 0, 0, 45, 20, 0, 30}));
  EXPECT_EQ(at(o().state)->text(), "手机注册");
  EXPECT_EQ(at(o().registerName)->placeholder(), "请输入手机号码");
  EXPECT_EQ(at(o().registerName)->keyboardType(), kit::KeyboardType::NumberPad);
  EXPECT_EQ(at(o().signCode)->keyboardType(), kit::KeyboardType::NumberPad);
  EXPECT_EQ(at(o().registerName)->text(), "");
  EXPECT_EQ(at(o().signCode)->text(), "");
  EXPECT_EQ(at(o().registerpwd)->text(), "");

  card->setUsingStyle(KTLoginView::Login);
  EXPECT_EQ(heights(), (V{310, 0, 0, 0, 0, 45, 20, 0, 30}));
  EXPECT_FALSE(card->dp());

  card->setCurrentUserName(kit::str("player01"));
  card->setUsingStyle(KTLoginView::LoggingIn);
  EXPECT_EQ(heights(), (V{0, 0, 30, 85, 40, 45, 20, 0, 30}));
  auto dialog = card->dp();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->superview(), at(o().progressView));
  EXPECT_EQ(dialog->frame(), (kit::Rect{0, 0, 144, 85}));
  EXPECT_EQ(dialog->title(), "正在登陆");
  EXPECT_EQ(at(o().tishiTitle)->text(), "player01, 欢迎回来");

  card->setUsingStyle(KTLoginView::Registering);
  EXPECT_EQ(heights(), (V{0, 0, 30, 85, 0, 45, 20, 0, 30}));
  ASSERT_TRUE(card->dp());
  EXPECT_NE(card->dp(), dialog) << "the logging-in dialog is replaced";
  EXPECT_FALSE(dialog->superview());
  EXPECT_EQ(card->dp()->title(), "正在注册");
  EXPECT_EQ(at(o().tishiTitle)->text(), "");

  // The layout follows the heights: the change-account button shows only
  // while logging in, the panels collapse.
  card->layoutIfNeeded();
  EXPECT_DOUBLE_EQ(at(o().changeButton)->frame().size.height, 0);
  EXPECT_DOUBLE_EQ(at(o().loginPanel)->frame().size.height, 0);
  EXPECT_DOUBLE_EQ(at(o().progressView)->frame().size.height, 85);
}

TEST_F(LoginCard, AStyleBeyondTheTableIsStoredAndChangesNothingElse) {
  auto send = at(o().sendCodeBtn);
  send->setTitle("剩余9秒", kit::ControlStateNormal);
  send->startWithSecond(10);
  const auto before = heights();
  card->setUsingStyle(7);
  EXPECT_EQ(card->UsingStyle(), 7);
  EXPECT_FALSE(send->timer()->isValid()) << "the countdown stops";
  EXPECT_EQ(send->currentTitle(), "重新获取");
  EXPECT_EQ(heights(), before);
  EXPECT_TRUE(card->check());
  card->gotoLoginAndQuickRegister();
  kit::test::runUntil([] { return false; }, 0.1);
  EXPECT_TRUE(server->apiRequests().empty()) << "the main button does nothing";
  EXPECT_EQ(card->UsingStyle(), 7);
}

TEST_F(LoginCard, TheChecksToastTheFirstProblemOnly) {
  // The login form looks at emptiness only, password first.
  EXPECT_FALSE(card->check());
  EXPECT_TRUE(toastShown("密码不能为空"));
  EXPECT_FALSE(toastShown("用户名不能为空"));
  fill(at(o().loginPwd), "x");
  EXPECT_FALSE(card->check());
  EXPECT_TRUE(toastShown("用户名不能为空"));
  fill(at(o().loginName), "y");
  EXPECT_TRUE(card->check());

  card->setUsingStyle(KTLoginView::AccountRegister);
  fill(at(o().registerName), "abcde");
  fill(at(o().registerpwd), "123456");
  EXPECT_FALSE(card->check());
  EXPECT_TRUE(toastShown("用户名不少于6位"));
  fill(at(o().registerpwd), "12345");
  EXPECT_FALSE(card->check());
  EXPECT_TRUE(toastShown("密码不少于6位"));
  fill(at(o().registerName), "abcdef");
  fill(at(o().registerpwd), "123456");
  at(o().selectBtn)->setSelected(false);
  EXPECT_FALSE(card->check());
  EXPECT_TRUE(toastShown("请确认协议"));
  ASSERT_TRUE(kit::test::tap(at(o().selectBtn)));  // wired by the style
  EXPECT_TRUE(card->check());

  card->setUsingStyle(KTLoginView::PhoneRegister);
  fill(at(o().registerName), "13800000000");
  fill(at(o().registerpwd), "123456");
  card->gotoLoginAndQuickRegister();
  EXPECT_TRUE(toastShown("验证码不能为空"));
  EXPECT_EQ(card->UsingStyle(), KTLoginView::PhoneRegister);
  fill(at(o().signCode), "1234");
  fill(at(o().registerName), "1380000000");
  EXPECT_FALSE(card->check());
  EXPECT_TRUE(toastShown("手机号码位数不对"));
  clock.advance(3);  // the toast fades away
  fill(at(o().registerName), "138000000001");
  EXPECT_FALSE(card->check()) << "12 digits";
  EXPECT_TRUE(toastShown("手机号码位数不对"));
  fill(at(o().registerName), "13800000000");
  EXPECT_TRUE(card->check()) << "exactly 11 digits";
  kit::test::runUntil([] { return false; }, 0.1);
  EXPECT_TRUE(server->requestsTo("login/phoneRegister").empty());
}

TEST_F(LoginCard, ARegistrationLogsInASecondAfterItsSuccess) {
  card->setUsingStyle(KTLoginView::AccountRegister);
  fill(at(o().registerName), "newplayer");
  fill(at(o().registerpwd), "secret1");
  ASSERT_TRUE(kit::test::tap(at(o().registerBtn)));
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Registering);
  ASSERT_TRUE(waitForCalls("login/register", 1));
  ASSERT_TRUE(kit::test::runUntil([&] { return toastShown("注册成功"); }));
  EXPECT_EQ(d(sentTo("login/register")["z"]), "newplayer");
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Registering) << "the login waits a second";
  EXPECT_TRUE(server->requestsTo("login/dologin").empty());
  clock.advance(1.0);
  EXPECT_EQ(card->UsingStyle(), KTLoginView::LoggingIn);
  ASSERT_TRUE(waitForCalls("login/dologin", 1));
  EXPECT_EQ(d(sentTo("login/dologin")["z"]), "newplayer");
  EXPECT_EQ(d(sentTo("login/dologin")["b"]), "secret1");
  EXPECT_EQ(at(o().tishiTitle)->text(), "newplayer, 欢迎回来");
}

TEST_F(LoginCard, ARefusedRegistrationReturnsToItsFormAndReportsMinusEight) {
  addPlayer("player01", "pass123");
  card->setUsingStyle(KTLoginView::AccountRegister);
  fill(at(o().registerName), "player01");
  fill(at(o().registerpwd), "secret1");
  card->gotoLoginAndQuickRegister();
  auto dialog = card->dp();
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(kit::test::runUntil([&] { return !recorder->failures.empty(); }));
  EXPECT_EQ(recorder->failures, (std::vector<std::string>{"用户名已存在|-8"}));
  EXPECT_TRUE(toastShown("用户名已存在"));
  EXPECT_EQ(card->UsingStyle(), KTLoginView::AccountRegister);
  EXPECT_EQ(at(o().registerName)->text(), "");
  EXPECT_EQ(at(o().registerpwd)->text(), "");
  EXPECT_FALSE(dialog->superview()) << "the 正在注册 dialog is removed";

  // By phone: a wrong code.
  card->setUsingStyle(KTLoginView::PhoneRegister);
  fill(at(o().registerName), "13800000000");
  fill(at(o().signCode), "0000");
  fill(at(o().registerpwd), "secret1");
  card->gotoLoginAndQuickRegister();
  ASSERT_TRUE(kit::test::runUntil([&] { return recorder->failures.size() == 2; }));
  EXPECT_EQ(recorder->failures[1], "验证码错误|-8");
  EXPECT_EQ(card->UsingStyle(), KTLoginView::PhoneRegister);
  EXPECT_EQ(at(o().signCode)->text(), "");
}

TEST_F(LoginCard, TheCodeButtonCountsThirtySecondsDown) {
  card->setUsingStyle(KTLoginView::PhoneRegister);
  auto send = at(o().sendCodeBtn);
  const std::string before = send->currentTitle();
  send->stop();
  EXPECT_EQ(send->currentTitle(), before) << "stop without a timer changes nothing";

  for (const char* number : {"1380000000", "138000000001"}) {
    fill(at(o().registerName), number);
    ASSERT_TRUE(kit::test::tap(send));
    EXPECT_TRUE(toastShown("请填写正确的手机号")) << number;
    clock.advance(3);  // the toast fades away
  }
  kit::test::runUntil([] { return false; }, 0.1);
  EXPECT_TRUE(server->requestsTo("login/yzm").empty());

  fill(at(o().registerName), "13800000000");
  ASSERT_TRUE(kit::test::tap(send));
  ASSERT_TRUE(kit::test::runUntil([&] { return !send->isEnabled(); }));
  EXPECT_TRUE(toastShown("验证码已发送"));
  EXPECT_EQ(send->title(kit::ControlStateNormal), "剩余30秒");
  clock.advance(1);
  EXPECT_EQ(send->title(kit::ControlStateNormal), "剩余29秒");
  clock.advance(28);
  EXPECT_EQ(send->title(kit::ControlStateNormal), "剩余1秒");
  EXPECT_FALSE(send->isEnabled());
  clock.advance(1);
  EXPECT_TRUE(send->isEnabled());
  EXPECT_EQ(send->title(kit::ControlStateNormal), "重新获取");
  EXPECT_EQ(send->second(), 30);

  // A refusal (a registered number) re-enables the button at once.
  addPlayer("13900000000", "pass123");
  fill(at(o().registerName), "13900000000");
  send->setEnabled(false);
  send->touched();  // a disabled button takes no tap
  ASSERT_TRUE(kit::test::runUntil([&] { return toastShown("手机号已注册"); }));
  EXPECT_TRUE(send->isEnabled());
  EXPECT_EQ(send->title(kit::ControlStateNormal), "获取验证码");
}

TEST_F(LoginCard, TheSavedAccountListShowsTheNewestThree) {
  saveAccounts(7);
  auto change = at(o().accuntChange);
  ASSERT_TRUE(kit::test::tap(change));
  auto list = card->tableView();
  ASSERT_TRUE(list);
  EXPECT_TRUE(change->isSelected());
  EXPECT_EQ(list->superview(), card);
  EXPECT_EQ(list->frame(), (kit::Rect{18, 116, 264, 126}));
  EXPECT_TRUE(kit::isEqual(list->backgroundColor(), kit::Color::rgba(240 / 255.0, 240 / 255.0, 240 / 255.0, 1)));
  EXPECT_DOUBLE_EQ(list->rowHeight(), 42);
  EXPECT_EQ(rowTexts(), (std::vector<std::string>{"user7", "user6", "user5"}));
  // Unfolding from its top edge.
  EXPECT_EQ(list->layer()->anchorPoint(), (kit::Point{0.5, 0}));
  auto unfold = kit::as<kit::BasicAnimation>(list->layer()->animationForKey("transform"));
  ASSERT_TRUE(unfold);
  EXPECT_DOUBLE_EQ(unfold->duration(), 0.3);
  EXPECT_EQ(std::get<kit::Transform3D>(unfold->fromValue()), kit::Transform3D::makeScale(0, 0, 1));

  // A second tap folds it away.
  ASSERT_TRUE(kit::test::tap(change));
  EXPECT_FALSE(change->isSelected());
  EXPECT_FALSE(list->superview());
  EXPECT_FALSE(card->tableView());

  // Choosing a row fills the form.
  saveAccounts(1);
  ASSERT_TRUE(kit::test::tap(change));
  list = card->tableView();
  ASSERT_EQ(rowTexts(), (std::vector<std::string>{"user1"}));
  auto cell = list->cellForRowAtIndexPath(kit::IndexPath::forRow(0, 0));
  card->didSelectRowAtIndexPath(*list, kit::IndexPath::forRow(0, 0));
  EXPECT_TRUE(kit::isEqual(cell->textLabel()->textColor(), kit::Color::redColor()));
  EXPECT_EQ(at(o().loginName)->text(), "user1");
  EXPECT_EQ(at(o().loginPwd)->text(), "pw1");
  EXPECT_FALSE(change->isSelected());
  EXPECT_FALSE(list->superview());
}

TEST_F(LoginCard, PasswordButtonReturnKeyAndChangeAccount) {
  auto pwd = at(o().loginPwd);
  auto show = at(o().showOrHiddenBtn);
  EXPECT_TRUE(pwd->isSecureTextEntry());
  ASSERT_TRUE(kit::test::tap(show));
  EXPECT_TRUE(show->isSelected());
  EXPECT_FALSE(pwd->isSecureTextEntry()) << "selected shows the password";
  ASSERT_TRUE(kit::test::tap(show));
  EXPECT_TRUE(pwd->isSecureTextEntry());

  ASSERT_TRUE(at(o().loginName)->becomeFirstResponder());
  kit::test::pressReturn(*at(o().loginName));
  EXPECT_TRUE(pwd->isFirstResponder());
  card->setUsingStyle(KTLoginView::PhoneRegister);
  ASSERT_TRUE(at(o().registerName)->becomeFirstResponder());
  kit::test::pressReturn(*at(o().registerName));
  EXPECT_TRUE(at(o().signCode)->isFirstResponder());
  kit::test::pressReturn(*at(o().signCode));
  EXPECT_TRUE(at(o().registerpwd)->isFirstResponder());
  card->setUsingStyle(KTLoginView::AccountRegister);
  ASSERT_TRUE(at(o().registerName)->becomeFirstResponder());
  kit::test::pressReturn(*at(o().registerName));
  EXPECT_TRUE(at(o().registerpwd)->isFirstResponder());
  kit::test::pressReturn(*at(o().registerpwd));
  EXPECT_FALSE(at(o().registerpwd)->isFirstResponder());

  // Change-account: back to the form, the HUD and a pending step gone.
  card->setUsingStyle(KTLoginView::LoggingIn);
  bool stepRan = false;
  kit::RunLoop::main().performAfter(card.get(), KTLoginView::InitGameViewSelector, nullptr, 1.5,
                                    [&] { stepRan = true; });
  ASSERT_TRUE(kit::test::tap(at(o().changeButton)));
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Login);
  EXPECT_FALSE(card->dp());
  EXPECT_EQ(kit::RunLoop::main().pendingPerformCount(card.get()), 0u);
  clock.advance(2);
  EXPECT_FALSE(stepRan);

  // With the notice step's HUD up (its answer never comes), change-account
  // takes the HUD off the card.
  server->enqueue("Sdkmsg/indexios", sim::PlatformAPIReply::silence());
  card->setUsingStyle(KTLoginView::LoggingIn);
  card->goNoticeViewWithResponse(LoginResult::responseWithDic(kit::dict({{"z", "1"}, {"b", "player01"}})));
  auto hud = card->hud();
  ASSERT_TRUE(hud);
  EXPECT_EQ(hud->superview(), card);
  card->changeBtn();
  EXPECT_FALSE(card->hud());
  clock.advance(1);  // it fades out
  EXPECT_FALSE(hud->superview());
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Login);
}

// The back arrow of a page pushed by the card (KTBaseVC's left item).
kit::Ref<kit::Button> backArrow(kit::ViewController& page) {
  auto item = page.navigationItem().leftBarButtonItem();
  if (!item || !item->customView() || item->customView()->subviews().empty()) return nullptr;
  return std::dynamic_pointer_cast<kit::Button>(item->customView()->subviews().front());
}

TEST_F(LoginCard, TheAgreementAndForgottenPasswordPagesOpenOverTheCardAndBackKeepsItsFields) {
  // The card in a navigation stack, as the login window holds it.
  auto nav = KTBaseNav::withRoot(root);
  window->setRootViewController(nav);
  clock.advance(1);

  // The agreement link of the registration form.
  card->setUsingStyle(KTLoginView::AccountRegister);
  fill(at(o().registerName), "newplayer");
  fill(at(o().registerpwd), "secret1");
  at(o().selectBtn)->setSelected(false);
  ASSERT_TRUE(kit::test::tap(at(o().protocalbtn)));
  clock.advance(1);
  ASSERT_EQ(nav->viewControllers().size(), 2u);
  auto agreement = std::dynamic_pointer_cast<KTShowHTMLVC>(nav->topViewController());
  ASSERT_TRUE(agreement);
  ASSERT_TRUE(agreement->WebView()->request());
  EXPECT_EQ(kit::describe(agreement->WebView()->request()->URL()->absoluteString()),
            server->origin() + "/sdkapicoupon/Agreement/xieyi");
  EXPECT_FALSE(card->window()) << "the page covers the card";
  // Both pages start below the navigation bar, which hides none of them.
  const double barBottom = nav->navigationBar()->frame().maxY();
  ASSERT_GT(barBottom, 0);
  EXPECT_EQ(agreement->WebView()->convertRectToView(agreement->WebView()->bounds(), nullptr).minY(), barBottom);
  EXPECT_EQ(agreement->WebView()->frame().maxY(), agreement->view()->bounds().maxY());
  ASSERT_TRUE(backArrow(*agreement));
  ASSERT_TRUE(kit::test::tap(backArrow(*agreement)));
  clock.advance(1);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_EQ(card->window(), window);
  EXPECT_EQ(card->UsingStyle(), KTLoginView::AccountRegister);
  EXPECT_EQ(at(o().registerName)->text(), "newplayer");
  EXPECT_EQ(at(o().registerpwd)->text(), "secret1");
  EXPECT_FALSE(at(o().selectBtn)->isSelected());

  // The forgotten-password link of the login form.
  card->setUsingStyle(KTLoginView::Login);
  fill(at(o().loginName), "player01");
  fill(at(o().loginPwd), "pass123");
  ASSERT_TRUE(kit::test::tap(at(o().forgetPwdBtn)));
  clock.advance(1);
  ASSERT_EQ(nav->viewControllers().size(), 2u);
  auto forgotten = std::dynamic_pointer_cast<KTForgetPasswordVC>(nav->topViewController());
  ASSERT_TRUE(forgotten);
  ASSERT_TRUE(forgotten->web()->request());
  EXPECT_EQ(kit::describe(forgotten->web()->request()->URL()->absoluteString()),
            server->origin() + "/appview/User/forgetpwd");
  EXPECT_EQ(forgotten->web()->convertRectToView(forgotten->web()->bounds(), nullptr).minY(), barBottom);
  ASSERT_TRUE(kit::test::tap(backArrow(*forgotten)));
  EXPECT_EQ(nav->viewControllers().size(), 1u) << "popped at once";
  EXPECT_EQ(card->window(), window);
  EXPECT_EQ(card->UsingStyle(), KTLoginView::Login);
  EXPECT_EQ(at(o().loginName)->text(), "player01");
  EXPECT_EQ(at(o().loginPwd)->text(), "pass123");
  EXPECT_TRUE(server->requestsTo("login/dologin").empty()) << "opening a page logs nobody in";
}

TEST_F(LoginCard, ARegistrationAnsweredWithoutAUserNameLogsInWithTheTypedName) {
  registeredWithoutItsName("newplayer", "secret1", "login/register");
  card->setUsingStyle(KTLoginView::AccountRegister);
  fill(at(o().registerName), "newplayer");
  fill(at(o().registerpwd), "secret1");
  ASSERT_TRUE(kit::test::tap(at(o().registerBtn)));
  waitForTheRegistrationsLogin();
  EXPECT_EQ(d(sentTo("login/dologin")["z"]), "newplayer");
  EXPECT_EQ(d(sentTo("login/dologin")["b"]), "secret1");
  EXPECT_EQ(server->requestsTo("login/dologin").size(), 1u);
  const std::string sign = platform->loginSign("newplayer_1", "1700000001");
  EXPECT_EQ(recorder->successes, std::vector<std::string>{"1700000001|newplayer_1|" + sign}) << "told once";
  EXPECT_EQ(recorder->failures, std::vector<std::string>{});
  EXPECT_EQ(at(o().tishiTitle)->text(), "newplayer, 欢迎回来");
  EXPECT_EQ(unsetTextsShown(), std::vector<std::string>{});

  // Without a name the card greets plainly; an empty name is none.
  card->setCurrentUserName(nullptr);
  card->setUsingStyle(KTLoginView::LoggingIn);
  EXPECT_EQ(at(o().tishiTitle)->text(), "欢迎回来");
  card->setCurrentUserName(kit::str(""));
  card->setUsingStyle(KTLoginView::LoggingIn);
  EXPECT_EQ(at(o().tishiTitle)->text(), "欢迎回来");
  card->setCurrentUserName(kit::str("player01"));
  card->setUsingStyle(KTLoginView::LoggingIn);
  EXPECT_EQ(at(o().tishiTitle)->text(), "player01, 欢迎回来");
  card->changeBtn();
}

TEST_F(LoginCard, ARegistrationAnswerNamingTheAccountLogsInWithItsNameAndPassword) {
  addPlayer("server_name", "server_pwd");
  server->enqueue("login/register", sim::PlatformAPIReply::scrambled(kit::dict(
                                        {{"z", "1"}, {"b", "server_name"}, {"c", "server_pwd"}, {"d", "注册成功"}})));
  card->setUsingStyle(KTLoginView::AccountRegister);
  fill(at(o().registerName), "newplayer");
  fill(at(o().registerpwd), "secret1");
  ASSERT_TRUE(kit::test::tap(at(o().registerBtn)));
  ASSERT_TRUE(kit::test::runUntil([&] { return toastShown("注册成功"); }));
  clock.advance(KTLoginView::RegisterLoginDelay);
  ASSERT_TRUE(waitForCalls("login/dologin", 1));
  EXPECT_EQ(d(sentTo("login/dologin")["z"]), "server_name");
  EXPECT_EQ(d(sentTo("login/dologin")["b"]), "server_pwd");
  ASSERT_TRUE(kit::test::runUntil([&] { return card->loginData() || !recorder->failures.empty(); }));
  EXPECT_EQ(recorder->failures, std::vector<std::string>{});
  card->changeBtn();
}

TEST_F(LoginCard, APhoneRegistrationAnsweredWithoutAUserNameLogsInWithTheTypedNumber) {
  registeredWithoutItsName("13800000000", "secret1", "login/phoneRegister");
  card->setUsingStyle(KTLoginView::PhoneRegister);
  fill(at(o().registerName), "13800000000");
  fill(at(o().signCode), "1234");
  fill(at(o().registerpwd), "secret1");
  ASSERT_TRUE(kit::test::tap(at(o().registerBtn)));
  waitForTheRegistrationsLogin();
  EXPECT_EQ(d(sentTo("login/phoneRegister")["z"]), "13800000000");
  EXPECT_EQ(d(sentTo("login/dologin")["z"]), "13800000000");
  EXPECT_EQ(d(sentTo("login/dologin")["b"]), "secret1");
  const std::string sign = platform->loginSign("13800000000_1", "1700000001");
  EXPECT_EQ(recorder->successes, std::vector<std::string>{"1700000001|13800000000_1|" + sign}) << "told once";
  EXPECT_EQ(recorder->failures, std::vector<std::string>{});
}

}  // namespace
