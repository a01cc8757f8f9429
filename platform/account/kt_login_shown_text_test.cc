// The login side as a player sees it, and as the game hears it, when the
// platform puts something that is no text where a text belongs: a list, a
// dictionary, a flag, a number, blanks of any kind, a zero-width space,
// "<null>", "(null)" or "NaN". Each reply field the login screens show or
// hand on is fed each of them, on the real login card against the
// platform service: the refusals of login, registration and the SMS code
// and the code's answer toast nothing and tell the game no message; the
// real-name form's answers toast nothing; a notice without readable
// content opens no page. A name or password of blanks or "<null>" is no
// name: a registration answered with one logs in with what the player
// typed, a login answered with one logs nobody in, and a sub-account row
// named by one logs nobody in. A name or password spelled like a number
// ("Infinity", "-Infinity") is the player's own: it registers and logs in.

#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/user_defaults.h"
#include "kit/ui/view_controller.h"
#include "platform/account/cxr_message.h"
#include "platform/account/cxr_real_name_view.h"
#include "platform/account/cxr_sub_name_cell.h"
#include "platform/account/kt_login_api.h"
#include "platform/account/kt_login_view.h"
#include "platform/account/kt_notice_vc.h"
#include "platform/account/testing/kt_login_card_fixture.h"
#include "platform/base/testing/shown_texts.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }
std::string stored(const char* key) { return d(kit::UserDefaults::standardUserDefaults()->objectForKey(key)); }

kit::Id parsed(const std::string& json) {
  return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json), kit::JSONReadingFragmentsAllowed);
}

// The JSON values that are no text: collections and a flag, then a number,
// blanks, a line break, a zero-width space and the spellings of nothing.
std::vector<std::string> noTexts() {
  std::vector<std::string> values = shown::notTexts();
  values.insert(values.end(), {"0", "true"});
  values.insert(values.end(), shown::spellingsOfNothing().begin(), shown::spellingsOfNothing().end());
  return values;
}

// The same but the number and the spellings of a number that is none: a
// number is a name a server may give, never a message, and a player may be
// called "NaN".
std::vector<std::string> noNames() {
  std::vector<std::string> values;
  for (const auto& v : noTexts()) {
    auto text = kit::as<kit::String>(parsed(v));
    if (v != "0" && !(text && kit::spellsNoNumber(text->utf8()))) values.push_back(v);
  }
  for (const char* more : {R"("\u00a0")", R"("  ")"}) values.push_back(more);
  return values;
}

// The texts of the toasts shown right on `view` (CXRMessage's boxes).
std::vector<std::string> toastsOn(kit::View& view) {
  std::vector<std::string> texts;
  for (const auto& box : view.subviews()) {
    if (box->subviews().size() != 1 || box->layer()->cornerRadius() != CXRMessage::CornerRadius ||
        !kit::isEqual(box->backgroundColor(), kit::Color::blackColor())) {
      continue;
    }
    if (auto label = std::dynamic_pointer_cast<kit::Label>(box->subviews().front())) texts.push_back(label->text());
  }
  return texts;
}

struct Recorder : KTLoginViewDelegate {
  std::vector<std::string> failures;   // "message|code"
  std::vector<std::string> successes;  // "time|name|sign"
  // The last failure the game heard; "" when it heard none.
  std::string lastFailure() const { return failures.empty() ? std::string() : failures.back(); }
  void ktLoginViewLoginSuccessLogintime(const kit::Ref<kit::String>& time, const kit::Ref<kit::String>& name,
                                        const kit::Ref<kit::String>& sign, const kit::Ref<LoginResult>&) override {
    successes.push_back(d(time) + "|" + d(name) + "|" + d(sign));
  }
  void ktLoginViewLoginFaildeMessage(const kit::Ref<kit::String>& message,
                                     const kit::Ref<kit::String>& code) override {
    failures.push_back(d(message) + "|" + d(code));
  }
};

class LoginShownText : public LoginCardTest<Recorder> {
 protected:
  void SetUp() override {
    LoginCardTest::SetUp();
    addPlayerWithASubAccount();
  }

  template <class T>
  static kit::Ref<T> at(const kit::Weak<T>& outlet) {
    return outlet.lock();
  }
  // Lets the toasts of the last step fade out.
  void fadeToasts() { clock.advance(CXRMessage::FadeDelay + CXRMessage::FadeDuration + 0.1); }

  // Types the account into the login form, taps the main button and waits
  // until the login has been answered.
  void logIn(const std::string& name = "player01", const std::string& password = "pass123") {
    at(card->outlets().loginName)->setText(name);
    at(card->outlets().loginPwd)->setText(password);
    const size_t failures = recorder->failures.size();
    const kit::Ref<LoginResult> before = card->loginData();
    card->layoutIfNeeded();
    ASSERT_TRUE(kit::test::tap(at(card->outlets().loginBtn)));
    ASSERT_TRUE(kit::test::runUntil(
        [&] { return card->loginData() != before || recorder->failures.size() > failures; }));
  }
  // Registers "newplayer" with "secret1" (or the name and password given)
  // by name; waits for the answer.
  void registerNewPlayer(const std::string& name = "newplayer", const std::string& password = "secret1") {
    card->setUsingStyle(KTLoginView::AccountRegister);
    at(card->outlets().registerName)->setText(name);
    at(card->outlets().registerpwd)->setText(password);
    at(card->outlets().selectBtn)->setSelected(true);
    const size_t failures = recorder->failures.size();
    card->gotoLoginAndQuickRegister();
    ASSERT_EQ(card->UsingStyle(), KTLoginView::Registering);
    ASSERT_TRUE(kit::test::runUntil([&] {
      return recorder->failures.size() > failures || toastsOn(*card) == std::vector<std::string>{"注册成功"};
    }));
  }
  // Asks for an SMS code; waits until the code button shows the outcome.
  void sendCode() {
    card->setUsingStyle(KTLoginView::PhoneRegister);
    at(card->outlets().registerName)->setText("13800138000");
    auto button = at(card->outlets().sendCodeBtn);
    button->setTitle("", kit::ControlStateNormal);
    card->sendCode();
    ASSERT_TRUE(kit::test::runUntil([&] { return !button->currentTitle().empty(); }));
  }
  kit::Ref<CXRSubNameVC> chooser() const {
    return std::dynamic_pointer_cast<CXRSubNameVC>(root->presentedViewController());
  }
  bool waitForChooser() {
    return kit::test::runUntil(
        [&] { return chooser() && chooser()->tableView() && chooser()->tableView()->numberOfRowsInSection(0) > 0; });
  }
  void closeChooser() {
    root->dismissViewController(false);
    ASSERT_TRUE(kit::test::runUntil([&] { return root->presentedViewController() == nullptr; }));
    card->setHidden(false);
    card->setUsingStyle(KTLoginView::Login);
    clock.advance(1);  // the notice step's HUD fades out
  }
  size_t noticePages() const {
    size_t pages = 0;
    for (const auto& child : root->childViewControllers()) pages += kit::as<KTNoticeVC>(child) ? 1 : 0;
    return pages;
  }
};

TEST_F(LoginShownText, RefusalsAndTheCodesAnswerToastNothingUnreadableAndTellTheGameNoMessage) {
  for (const std::string& v : noTexts()) {
    const kit::Id value = parsed(v);
    ASSERT_TRUE(value) << v;

    // The login refused: "x".
    server->enqueue("login/dologin", sim::PlatformAPIReply::scrambled(kit::dict({{"z", "0"}, {"x", value}})));
    logIn();
    EXPECT_EQ(recorder->lastFailure(), "(null)|0") << v << ": the game hears no message";
    EXPECT_EQ(toastsOn(*card), std::vector<std::string>{}) << v;
    EXPECT_EQ(card->UsingStyle(), KTLoginView::Login) << v;
    fadeToasts();

    // The login refused with "z" itself no text: the code the game hears
    // is never a flag's "1" or "<null>".
    server->enqueue("login/dologin", sim::PlatformAPIReply::scrambled(kit::dict({{"z", value}, {"x", "用户名或密码错误"}})));
    logIn();
    const std::string heard = recorder->lastFailure();
    EXPECT_EQ(heard.substr(0, heard.find('|')), "用户名或密码错误") << v;
    const std::string code = heard.substr(heard.find('|') + 1);
    // None of the values is a code: the game hears none, or the text of a
    // number or of blanks, never a flag's "1", "<null>" or "NaN".
    EXPECT_TRUE(code == "(null)" || (!kit::shownText(kit::str(code)).empty() && code != "1")) << v << " → " << code;
    fadeToasts();

    // A registration refused: "d", reported with "-8".
    server->enqueue("login/register", sim::PlatformAPIReply::scrambled(kit::dict({{"z", "0"}, {"d", value}})));
    registerNewPlayer();
    EXPECT_EQ(recorder->lastFailure(), "(null)|-8") << v;
    EXPECT_EQ(toastsOn(*card), std::vector<std::string>{}) << v;
    EXPECT_EQ(card->UsingStyle(), KTLoginView::AccountRegister) << v;
    fadeToasts();

    // The SMS code refused, then sent: "d" both times.
    server->enqueue("login/yzm", sim::PlatformAPIReply::scrambled(kit::dict({{"z", "0"}, {"d", value}})));
    sendCode();
    EXPECT_EQ(at(card->outlets().sendCodeBtn)->currentTitle(), "获取验证码") << v;
    EXPECT_EQ(toastsOn(*card), std::vector<std::string>{}) << v;
    server->enqueue("login/yzm", sim::PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"d", value}})));
    sendCode();
    EXPECT_EQ(at(card->outlets().sendCodeBtn)->currentTitle(), "剩余30秒") << v;
    EXPECT_EQ(toastsOn(*card), std::vector<std::string>{}) << v;
    card->setUsingStyle(KTLoginView::Login);  // stops the countdown
    fadeToasts();
  }
  EXPECT_EQ(unsetTextsShown(), std::vector<std::string>{});
}

TEST_F(LoginShownText, TheRealNameFormsAnswersToastNothingUnreadable) {
  storeUserName("player01");
  auto form = CXRRealNameView::realNameView();
  ASSERT_TRUE(form);
  window->addSubview(form);
  for (const std::string& v : noTexts()) {
    const kit::Id value = parsed(v);
    // Refused: the form takes another try.
    server->enqueue("login/idcheck", sim::PlatformAPIReply::scrambled(kit::dict({{"z", "0"}, {"b", value}})));
    ASSERT_TRUE(kit::test::tap(form->btn())) << v;
    ASSERT_FALSE(form->btn()->isEnabled());
    ASSERT_TRUE(kit::test::runUntil([&] { return form->btn()->isEnabled(); })) << v;
    EXPECT_EQ(toastsOn(*form), std::vector<std::string>{}) << v;

    // Verified: the form toasts the answer's message, which is none.
    Outcome verified;
    KTLoginAPI::Answers::realName(KTPlatformReply(kit::Id(kit::dict({{"z", "1"}, {"b", value}, {"nrz", "1"}}))),
                                  verified.success<rzResult>(), verified.failure());
    ASSERT_TRUE(verified.succeeded) << v;
    EXPECT_FALSE(kit::as<rzResult>(verified.result)->mesage()) << v;
    fadeToasts();
  }
  form->removeFromSuperview();
}

TEST_F(LoginShownText, ANoticeWithoutReadableContentOpensNoPage) {
  for (const std::string& v : noTexts()) {
    server->enqueue("Sdkmsg/indexios",
                    sim::PlatformAPIReply::json(kit::dict(
                        {{"code", "1"}, {"msg", ""},
                         {"data", kit::dict({{"status", "1"}, {"content", parsed(v)}, {"id", 9}})}})));
    logIn();
    clock.advance(KTLoginView::LoginPause);
    ASSERT_TRUE(waitForChooser()) << v;
    EXPECT_EQ(noticePages(), 0u) << v;
    EXPECT_FALSE(card->isHidden()) << v;
    EXPECT_EQ(stored("KT_noticeId"), "(null)") << v << ": a notice not shown keeps no id";
    closeChooser();
  }
  // A readable one opens its page.
  sim::PlatformNotice notice;
  notice.status = "1";
  notice.content = "开服公告";
  notice.id = 9;
  platform->setNotice(notice);
  logIn();
  clock.advance(KTLoginView::LoginPause);
  ASSERT_TRUE(kit::test::runUntil([&] { return noticePages() == 1; }));
}

TEST_F(LoginShownText, ANameOrPasswordOfBlanksOrNullIsNoName) {
  addPlayer("newplayer", "secret1");
  for (const std::string& v : noNames()) {
    const kit::Id value = parsed(v);
    // A registration answered with it logs in with what the player typed,
    // and greets the player by that name.
    server->enqueue("login/register",
                    sim::PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"b", value}, {"c", value}})));
    const size_t logins = server->requestsTo("login/dologin").size();
    const kit::Ref<LoginResult> answered = card->loginData();
    registerNewPlayer();
    clock.advance(KTLoginView::RegisterLoginDelay);
    ASSERT_TRUE(waitForCalls("login/dologin", logins + 1)) << v;
    EXPECT_EQ(d(sentTo("login/dologin")["z"]), "newplayer") << v;
    EXPECT_EQ(d(sentTo("login/dologin")["b"]), "secret1") << v;
    EXPECT_EQ(at(card->outlets().tishiTitle)->text(), "newplayer, 欢迎回来") << v;
    ASSERT_TRUE(kit::test::runUntil([&] { return card->loginData() != answered; })) << v;
    EXPECT_EQ(recorder->failures, std::vector<std::string>{}) << v;
    card->changeBtn();
    fadeToasts();

    // A login answered with it logs nobody in and saves nothing.
    kit::UserDefaults::standardUserDefaults()->removeObjectForKey("KT_accounts");
    server->enqueue("login/dologin",
                    sim::PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"b", value}, {"c", "pass123"}})));
    logIn();
    EXPECT_EQ(recorder->lastFailure(), "无法连接服务器|501") << v;
    recorder->failures.clear();
    server->enqueue("login/dologin",
                    sim::PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"b", "player01"}, {"c", value}})));
    logIn();
    EXPECT_EQ(recorder->lastFailure(), "无法连接服务器|501") << v;
    recorder->failures.clear();
    EXPECT_EQ(stored("KT_accounts"), "(null)") << v;
    fadeToasts();
  }

  // Sub-account rows named by it (and nicknamed by it) log nobody in and
  // show nothing unreadable; the one named row logs in.
  auto rows = kit::MutableArray::make();
  for (const std::string& v : noNames()) {
    rows->addObject(kit::dict({{"nickname", parsed(v)}, {"username", parsed(v)}, {"sign", "S1"},
                               {"login_time", "1700000001"}}));
  }
  rows->addObject(kit::dict({{"nickname", "一"}, {"username", "player01_1"}, {"sign", "S1"},
                             {"login_time", "1700000001"}}));
  server->enqueue("login/iosxiaohao",
                  sim::PlatformAPIReply::plain(kit::dict({{"code", "1"}, {"data", kit::Id(rows)}})));
  logIn();
  clock.advance(KTLoginView::LoginPause);
  ASSERT_TRUE(waitForChooser());
  auto page = chooser();
  const long named = static_cast<long>(rows->count()) - 1;
  ASSERT_EQ(page->tableView()->numberOfRowsInSection(0), named + 1);
  for (long row = 0; row < named; ++row) {
    const std::string v = noNames()[static_cast<size_t>(row)];
    auto cell = std::dynamic_pointer_cast<CXRSubNameCell>(
        page->cellForRowAtIndexPath(*page->tableView(), kit::IndexPath::forRow(row, 0)));
    ASSERT_TRUE(cell) << v;
    const std::string nickname = cell->nickNameL()->text();
    EXPECT_FALSE(shown::unreadable(nickname) || nickname == "NaN" || nickname == "1") << v << " → " << nickname;
    page->didSelectRowAtIndexPath(*page->tableView(), kit::IndexPath::forRow(row, 0));
    clock.advance(1);
    EXPECT_EQ(chooser(), page) << v << ": the chooser stays";
    EXPECT_TRUE(recorder->successes.empty()) << v;
    EXPECT_EQ(stored("KT_subUserName"), "(null)") << v;
    EXPECT_EQ(toastsOn(*page->view()), std::vector<std::string>{CXRSubNameVC::NoUserNameMessage}) << v;
    fadeToasts();
  }
  page->didSelectRowAtIndexPath(*page->tableView(), kit::IndexPath::forRow(named, 0));
  for (int step = 0; step < 40 && recorder->successes.empty(); ++step) clock.advance(0.05);
  ASSERT_TRUE(kit::test::runUntil([&] { return !recorder->successes.empty(); }));
  EXPECT_EQ(stored("KT_subUserName"), "player01_1");
}

TEST_F(LoginShownText, ANameOrPasswordSpelledLikeANumberRegistersAndLogsIn) {
  struct Account {
    const char* name;
    const char* password;
  };
  for (const Account& a : {Account{"Infinity", "secret1"}, Account{"player02", "-Infinity"}}) {
    // Registered through the card: the service makes the account, and the
    // card logs in with it and greets the player by name.
    const size_t logins = server->requestsTo("login/dologin").size();
    const kit::Ref<LoginResult> before = card->loginData();
    registerNewPlayer(a.name, a.password);
    EXPECT_EQ(recorder->failures, std::vector<std::string>{}) << a.name;
    clock.advance(KTLoginView::RegisterLoginDelay);
    ASSERT_TRUE(waitForCalls("login/dologin", logins + 1)) << a.name;
    EXPECT_EQ(d(sentTo("login/dologin")["z"]), a.name);
    EXPECT_EQ(d(sentTo("login/dologin")["b"]), a.password);
    EXPECT_EQ(at(card->outlets().tishiTitle)->text(), std::string(a.name) + ", 欢迎回来");
    ASSERT_TRUE(kit::test::runUntil([&] { return card->loginData() != before; })) << a.name;
    EXPECT_EQ(d(card->loginData()->userName()), a.name);
    EXPECT_EQ(d(card->loginData()->urserPwd()), a.password);
    EXPECT_EQ(recorder->failures, std::vector<std::string>{}) << a.name;
    card->changeBtn();
    fadeToasts();

    // Then typed into the login form: logged in again.
    const kit::Ref<LoginResult> registered = card->loginData();
    logIn(a.name, a.password);
    ASSERT_NE(card->loginData(), registered) << a.name;
    EXPECT_EQ(d(card->loginData()->userName()), a.name);
    EXPECT_EQ(recorder->failures, std::vector<std::string>{}) << a.name;
    EXPECT_FALSE(kit::test::findLabel(*window, "无法连接服务器")) << a.name;
    card->changeBtn();
    fadeToasts();
  }
}

}  // namespace
