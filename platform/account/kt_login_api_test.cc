// The login API against the platform service on loopback (real HTTP, the
// real body codec): what each call sends, what each answer leads to, the
// saved accounts, and the failures, toasts included.
#include "platform/account/kt_login_api.h"

#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/uuid.h"
#include "kit/ui/screen.h"
#include "platform/account/cxr_sub_name_model.h"
#include "platform/account/testing/kt_api_test_fixture.h"
#include "platform/account/kt_saved_accounts.h"
#include "platform/base/ns_string_url_encode.h"
#include "sim/platform_body_codec.h"

namespace {

using sim::PlatformAPIReply;

std::string d(const kit::Id& value) { return kit::describe(value); }

class LoginAPI : public PlatformAPITest {
 protected:
  Outcome login(const char* name, const char* password) {
    Outcome outcome;
    KTLoginAPI::LonginWithUsername(kit::str(name), kit::str(password), outcome.success<LoginResult>(),
                                   outcome.codeFailure());
    EXPECT_EQ(outcome.calls, 0) << "never inside the call";
    EXPECT_TRUE(outcome.wait());
    return outcome;
  }
  static std::string savedAccounts() { return d(KTSavedAccounts::accounts()); }
};

TEST_F(LoginAPI, LoginSendsItsKeysAndASignedResultIsSaved) {
  addPlayer("player01", "pass123");
  Outcome outcome = login("player01", "pass123");
  ASSERT_TRUE(outcome.succeeded);
  EXPECT_TRUE(outcome.onMain);
  EXPECT_EQ(outcome.calls, 1);

  auto sent = sentTo("login/dologin");
  EXPECT_EQ(keysOf(sent), "b,c,d,e,f,x,z");
  EXPECT_EQ(d(sent["z"]), "player01");
  EXPECT_EQ(d(sent["b"]), "pass123");
  EXPECT_EQ(d(sent["c"]), "3");
  EXPECT_EQ(d(sent["d"]), "1001");
  EXPECT_EQ(d(sent["f"]), "agent7");
  EXPECT_EQ(d(sent["x"]), "10001");
  const std::string advertising = d(sent["e"]);
  EXPECT_EQ(advertising, kit::Device::current()->advertisingIdentifier()->UUIDString());
  EXPECT_EQ(advertising, kit::UUID::fromString(advertising)->UUIDString()) << "an upper-case UUID";

  auto result = kit::as<LoginResult>(outcome.result);
  EXPECT_EQ(d(result->userName()), "player01");
  EXPECT_EQ(d(result->mesage()), sim::PlatformService::kLoginOK);
  // The sign is the server's over name, app key and login time; a field
  // changed on the way no longer matches it.
  EXPECT_TRUE(NSStringURLEncode::isSignWithUserName(d(result->sign()), kit::str("player01"), kit::str("k1"),
                                                    result->sinceTime()));
  EXPECT_FALSE(NSStringURLEncode::isSignWithUserName(d(result->sign()), kit::str("player02"), kit::str("k1"),
                                                     result->sinceTime()));
  EXPECT_FALSE(NSStringURLEncode::isSignWithUserName(d(result->sign()), kit::str("player01"), kit::str("k1"),
                                                     kit::str(d(result->sinceTime()) + "1")));
  EXPECT_EQ(savedAccounts(), d(kit::array({kit::array({"player01", "pass123"})})));

  // The same identifier after a restart.
  PlatformTestBundle::reloadUserDefaults();
  login("player01", "pass123");
  EXPECT_EQ(d(sentTo("login/dologin")["e"]), advertising);
}

TEST_F(LoginAPI, SavedAccountsKeepTheNewestLastWithItsNewPassword) {
  addPlayer("alice01", "pwdA1");
  addPlayer("bob0001", "pwdB1");
  login("alice01", "pwdA1");
  login("bob0001", "pwdB1");
  platform->updateAccount("alice01", [](sim::PlatformAccount& a) { a.password = "newpwd"; });
  ASSERT_TRUE(login("alice01", "newpwd").succeeded);
  EXPECT_EQ(savedAccounts(), d(kit::array({kit::array({"bob0001", "pwdB1"}), kit::array({"alice01", "newpwd"})})));
}

TEST_F(LoginAPI, RefusedUnreachableAndUnreadableLoginsSaveNothing) {
  addPlayer("player01", "pass123");
  Outcome refused = login("player01", "wrong");
  EXPECT_EQ(refused.texts(), std::string(sim::PlatformService::kWrongPassword) + "|0");
  EXPECT_FALSE(toastShown("无法连接服务器"));

  // A 500 page and a "1" that names no player are as good as no reply.
  server->enqueue("login/dologin", PlatformAPIReply::bytes("<html>Internal Server Error</html>", 500));
  EXPECT_EQ(login("player01", "pass123").texts(), "无法连接服务器|501");
  EXPECT_TRUE(toastShown("无法连接服务器"));
  server->enqueue("login/dologin", PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"c", "pass123"}})));
  EXPECT_EQ(login("player01", "pass123").texts(), "无法连接服务器|501");

  pointClientAtClosedPort();
  Outcome unreachable = login("player01", "pass123");
  EXPECT_EQ(unreachable.texts(), "无法连接服务器|501");
  EXPECT_EQ(unreachable.calls, 1);
  EXPECT_EQ(savedAccounts(), "(\n)");
}

TEST_F(LoginAPI, ALoginAnswerWithANameAndNoPasswordLogsNoOneIn) {
  addPlayer("player01", "pass123");
  server->enqueue("login/dologin", PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"b", "player01"}})));
  Outcome missing = login("player01", "pass123");
  EXPECT_EQ(missing.texts(), "无法连接服务器|501");
  EXPECT_EQ(missing.calls, 1);
  server->enqueue("login/dologin",
                  PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"b", "player01"}, {"c", ""}})));
  Outcome empty = login("player01", "pass123");
  EXPECT_EQ(empty.texts(), "无法连接服务器|501");
  EXPECT_EQ(empty.calls, 1);
  EXPECT_EQ(savedAccounts(), "(\n)");
}

TEST_F(LoginAPI, ASilentServerFailsTheLoginAtTheTimeOutOnTheClock) {
  addPlayer("player01", "pass123");
  kit::VirtualClock clock;
  server->enqueue("login/dologin", PlatformAPIReply::silence());
  Outcome outcome;
  KTLoginAPI::LonginWithUsername(kit::str("player01"), kit::str("pass123"), outcome.success<LoginResult>(),
                                 outcome.codeFailure());
  ASSERT_TRUE(waitForCalls("login/dologin", 1));
  clock.advance(9.9);
  EXPECT_EQ(outcome.calls, 0);
  clock.advance(0.2);
  ASSERT_TRUE(outcome.wait());
  EXPECT_EQ(outcome.texts(), "无法连接服务器|501");
  EXPECT_TRUE(toastShown("无法连接服务器"));
}

TEST_F(LoginAPI, WithoutKTPlistTheIdentitiesGoAsEmptyTexts) {
  bundle.removeKTPlist();
  ShareVale::distroyInstance();
  addPlayer("player01", "pass123");
  Outcome outcome = login("player01", "pass123");
  auto sent = sentTo("login/dologin");
  EXPECT_EQ(d(sent["d"]), "");
  EXPECT_EQ(d(sent["x"]), "");
  EXPECT_EQ(outcome.texts(), "应用不存在|0") << "the server refuses the unregistered game";
}

TEST_F(LoginAPI, RegistrationsSendTheirKeysAndReadTheirAnswers) {
  ShareVale::sharedInstance()->setVersion(kit::str("12.4"));
  Outcome byName;
  KTLoginAPI::registerNewWithUsername(kit::str("newbie1"), kit::str("secret1"), byName.success<RegisterResult>(),
                                      byName.failure());
  ASSERT_TRUE(byName.wait());
  ASSERT_TRUE(byName.succeeded);
  EXPECT_EQ(keysOf(sentTo("login/register")), "b,c,d,e,f,h,x,z");
  EXPECT_EQ(d(sentTo("login/register")["h"]), "12.4");
  auto registered = kit::as<RegisterResult>(byName.result);
  EXPECT_EQ(d(registered->userName()) + "/" + d(registered->userPwd()) + "/" + d(registered->mesage()),
            "newbie1/secret1/注册成功");
  EXPECT_TRUE(platform->account("newbie1"));

  Outcome again;
  KTLoginAPI::registerNewWithUsername(kit::str("newbie1"), kit::str("secret1"), again.success<RegisterResult>(),
                                      again.failure());
  ASSERT_TRUE(again.wait());
  EXPECT_EQ(d(again.message), "用户名已存在");

  // The SMS code goes out as the number 4; the code the server issued
  // registers the phone.
  Outcome code;
  KTLoginAPI::getAuthCodeWithPhoneNumber(kit::str("13800138000"), code.success<RegisterResult>(), code.failure());
  ASSERT_TRUE(code.wait());
  auto codeSent = sentTo("login/yzm");
  EXPECT_EQ(keysOf(codeSent), "b,c,z");
  EXPECT_EQ(d(codeSent["z"]), "10001");
  EXPECT_TRUE(kit::isKind<kit::Number>(codeSent["c"]));
  EXPECT_EQ(d(codeSent["c"]), "4");
  auto sentCode = kit::as<RegisterResult>(code.result);
  EXPECT_EQ(d(sentCode->mesage()), "验证码已发送");
  EXPECT_FALSE(sentCode->code());
  EXPECT_FALSE(sentCode->userName());

  Outcome byPhone;
  KTLoginAPI::registerNewWithPhoneNumber(kit::str("13800138000"), kit::str(*platform->issuedCode("13800138000")),
                                         kit::str("secret2"), byPhone.success<RegisterResult>(), byPhone.failure());
  ASSERT_TRUE(byPhone.wait());
  ASSERT_TRUE(byPhone.succeeded) << d(byPhone.message);
  EXPECT_EQ(keysOf(sentTo("login/phoneRegister")), "b,c,d,e,f,h,i,x,z");
  EXPECT_EQ(d(kit::as<RegisterResult>(byPhone.result)->userName()), "13800138000");
  EXPECT_FALSE(platform->issuedCode("13800138000")) << "a code registers once";
}

TEST_F(LoginAPI, RegistrationFailuresCarryTheServersTextOrNone) {
  Outcome wrongCode;
  KTLoginAPI::registerNewWithPhoneNumber(kit::str("13800138000"), kit::str("000000"), kit::str("secret2"),
                                         wrongCode.success<RegisterResult>(), wrongCode.failure());
  ASSERT_TRUE(wrongCode.wait());
  EXPECT_EQ(d(wrongCode.message), "验证码错误");

  server->enqueue("login/phoneRegister", PlatformAPIReply::scrambled(kit::dict({{"d", "bad"}})));
  server->enqueue("login/phoneRegister", PlatformAPIReply::scrambled(kit::dict({{"b", "x"}})));
  for (const char* expected : {"bad", "(null)"}) {
    Outcome outcome;
    KTLoginAPI::registerNewWithPhoneNumber(kit::str("13800138000"), kit::str("1"), kit::str("secret2"),
                                           outcome.success<RegisterResult>(), outcome.failure());
    ASSERT_TRUE(outcome.wait());
    EXPECT_EQ(d(outcome.message), expected);
  }

  server->enqueue("login/yzm", PlatformAPIReply::scrambled(kit::dict({{"z", "0"}, {"d", "发送太频繁"}})));
  Outcome refusedCode;
  KTLoginAPI::getAuthCodeWithPhoneNumber(kit::str("13800138000"), refusedCode.success<RegisterResult>(),
                                         refusedCode.failure());
  ASSERT_TRUE(refusedCode.wait());
  EXPECT_EQ(d(refusedCode.message), "发送太频繁");

  pointClientAtClosedPort();
  Outcome name, code;
  KTLoginAPI::registerNewWithUsername(kit::str("newbie1"), kit::str("secret1"), name.success<RegisterResult>(),
                                      name.failure());
  KTLoginAPI::getAuthCodeWithPhoneNumber(kit::str("13800138000"), code.success<RegisterResult>(), code.failure());
  ASSERT_TRUE(name.wait() && code.wait());
  EXPECT_EQ(d(name.message), "无法链接服务器");
  EXPECT_EQ(d(code.message), "无法链接服务器");
  EXPECT_FALSE(toastShown("无法链接服务器"));
}

TEST_F(LoginAPI, RealNameVerification) {
  addPlayer("player01", "pass123");
  storeUserName("player01");
  Outcome verified;
  KTLoginAPI::postRealNameToServerWithRealName(kit::str("张三"), kit::str("11010519491231002X"),
                                               verified.success<rzResult>(), verified.failure());
  ASSERT_TRUE(verified.wait());
  ASSERT_TRUE(verified.succeeded) << d(verified.message);
  auto sent = sentTo("login/idcheck");
  EXPECT_EQ(keysOf(sent), "i,id,r");
  EXPECT_EQ(d(sent["i"]), "player01");
  EXPECT_EQ(d(kit::as<rzResult>(verified.result)->rzStatus()), "1");
  EXPECT_EQ(platform->account("player01")->realNameStatus, "1");

  Outcome refused;
  KTLoginAPI::postRealNameToServerWithRealName(kit::str("张三"), kit::str("110105194912310021"),
                                               refused.success<rzResult>(), refused.failure());
  ASSERT_TRUE(refused.wait());
  EXPECT_EQ(d(refused.message), "身份证号码错误");
  EXPECT_FALSE(toastShown("无法连接服务器"));

  server->enqueue("login/idcheck", PlatformAPIReply::bytes(""));
  Outcome empty;
  KTLoginAPI::postRealNameToServerWithRealName(kit::str("张三"), kit::str("x"), empty.success<rzResult>(),
                                               empty.failure());
  ASSERT_TRUE(empty.wait());
  EXPECT_EQ(d(empty.message), "无法连接服务器");
  EXPECT_TRUE(toastShown("无法连接服务器"));
}

TEST_F(LoginAPI, NoticeIsAFormPostWithItsOwnFailureTexts) {
  storeUserName("player01");
  platform->setNotice(sim::PlatformNotice{"1", "维护公告", 7});
  Outcome shown;
  KTLoginAPI::GetNoticeWithSuccess(shown.success<GetNotice>(), shown.codeFailure());
  ASSERT_TRUE(shown.wait());
  ASSERT_TRUE(shown.succeeded) << shown.texts();
  auto request = server->requestsTo("Sdkmsg/indexios").back();
  EXPECT_EQ(request.exchange.header("Content-Type").value_or("").substr(0, 33), "application/x-www-form-urlencoded");
  EXPECT_EQ(request.formValue("z").value_or("?") + request.formValue("b").value_or("?") +
                request.formValue("c").value_or("?"),
            "player01agent71001");
  auto notice = kit::as<GetNotice>(shown.result);
  EXPECT_EQ(d(notice->content()), "维护公告");
  EXPECT_EQ(d(notice->status()), "1");

  platform->setNotice(std::nullopt);
  Outcome none;
  KTLoginAPI::GetNoticeWithSuccess(none.success<GetNotice>(), none.codeFailure());
  ASSERT_TRUE(none.wait());
  EXPECT_EQ(none.texts(), "获取失败|0");

  pointClientAtClosedPort();
  Outcome unreachable;
  KTLoginAPI::GetNoticeWithSuccess(unreachable.success<GetNotice>(), unreachable.codeFailure());
  ASSERT_TRUE(unreachable.wait());
  EXPECT_EQ(unreachable.texts(), "无法链接服务器|501");
}

TEST_F(LoginAPI, LogoutClearsTheNameOnAnyAnswerOnly) {
  addPlayer("player01", "pass123");
  storeUserName("player01");
  KTLoginAPI::LonginOutSendToService();
  ASSERT_TRUE(kit::test::runUntil([] { return d(ShareVale::sharedInstance()->userName()) == ""; }));
  EXPECT_TRUE(toastShown("退出成功"));
  EXPECT_EQ(keysOf(sentTo("login/logout")), "b,c,d,e,f,h,z");
  EXPECT_EQ(platform->logouts("player01"), 1);

  // A refusal is an answer too.
  storeUserName("stranger");
  KTLoginAPI::LonginOutSendToService();
  ASSERT_TRUE(kit::test::runUntil([] { return d(ShareVale::sharedInstance()->userName()) == ""; }));

  // A report that was not delivered changes nothing.
  storeUserName("player01");
  const size_t toasts = window->subviews().size();
  KTLoginAPI::Answers::logout(KTPlatformReplies::notDelivered(nullptr));
  EXPECT_EQ(d(ShareVale::sharedInstance()->userName()), "player01");
  EXPECT_EQ(window->subviews().size(), toasts);
}

TEST_F(LoginAPI, RoleReportSendsTheStoredRole) {
  addPlayer("player01", "pass123");
  storeUserName("player01");
  ShareVale::sharedInstance()->setSubUserName(kit::str("player01_1"));
  kit::UserDefaults::standardUserDefaults()->setObject(
      kit::dict({{"roleId", "r1"}, {"roleName", "勇者"}, {"roleLevel", "12"}, {"zoneId", "s1"}, {"zoneName", "一区"},
                 {"ext", ""}}),
      "roleInfo");
  Outcome reported;
  KTLoginAPI::SetRoleInfoWithInfosuccess(reported.plainSuccess(), reported.failure());
  ASSERT_TRUE(reported.wait());
  EXPECT_TRUE(reported.succeeded) << d(reported.message);
  auto sent = sentTo("User/setRole");
  EXPECT_EQ(keysOf(sent), "b,c,d,e,f,h,i,x,xh,z");
  EXPECT_EQ(d(sent["c"]) + d(sent["d"]) + d(sent["e"]) + d(sent["f"]) + d(sent["x"]) + "|" + d(sent["h"]) + "|" +
                d(sent["xh"]),
            "r1勇者12s1一区||player01_1");

  for (auto [reply, expected] : std::vector<std::pair<kit::Id, std::string>>{
           {kit::dict({{"code", 1}}), "ok"}, {kit::dict({{"code", "1"}}), "ok"}, {kit::dict({{"code", "2"}}), "信息错误"}}) {
    server->enqueue("User/setRole", PlatformAPIReply::scrambled(reply));
    Outcome outcome;
    KTLoginAPI::SetRoleInfoWithInfosuccess(outcome.plainSuccess(), outcome.failure());
    ASSERT_TRUE(outcome.wait());
    EXPECT_EQ(outcome.succeeded ? "ok" : d(outcome.message), expected);
  }

  // Without a stored role the values go as "" and the server refuses.
  kit::UserDefaults::standardUserDefaults()->setObject(kit::str("not a role"), "roleInfo");
  Outcome incomplete;
  KTLoginAPI::SetRoleInfoWithInfosuccess(incomplete.plainSuccess(), incomplete.failure());
  ASSERT_TRUE(incomplete.wait());
  EXPECT_EQ(d(sentTo("User/setRole")["c"]), "");
  EXPECT_EQ(d(incomplete.message), "信息错误");

  pointClientAtClosedPort();
  Outcome unreachable;
  KTLoginAPI::SetRoleInfoWithInfosuccess(unreachable.plainSuccess(), unreachable.failure());
  ASSERT_TRUE(unreachable.wait());
  EXPECT_EQ(d(unreachable.message), "无法链接服务器");
}

TEST_F(LoginAPI, SubAccountListComesPlainThroughTheConnectionClient) {
  addPlayer("player01", "pass123");
  platform->updateAccount("player01", [](sim::PlatformAccount& a) {
    a.subAccounts = {{"大号", "player01_1", "1700000000"}, {"小号", "player01_2", "1700000100"}};
  });
  Outcome listed;
  KTLoginAPI::getSubNameListWithUserName(kit::str("player01"), listed.success<kit::Array>(), listed.failure());
  ASSERT_TRUE(listed.wait());
  EXPECT_EQ(keysOf(sentTo("login/iosxiaohao")), "c,e,f,z");
  auto list = kit::as<kit::Array>(listed.result);
  ASSERT_EQ(list->count(), 2u);
  auto second = kit::as<CXRSubNameModel>(list->objectAtIndex(1));
  EXPECT_EQ(d(second->nickname()), "小号");
  EXPECT_EQ(d(second->sign()), platform->loginSign("player01_2", "1700000100")) << "the prefix is dropped";
}

TEST_F(LoginAPI, PlayTimeReportLeavesOutAMissingName) {
  storeUserName("player01");
  KTLoginAPI::doUploadUserOlineTime();
  ASSERT_TRUE(waitForCalls("login/setTime", 1));
  EXPECT_EQ(keysOf(sentTo("login/setTime")), "g,n");
  ShareVale::sharedInstance()->setUserName(nullptr);
  KTLoginAPI::doUploadUserOlineTime();
  ASSERT_TRUE(waitForCalls("login/setTime", 2));
  EXPECT_EQ(keysOf(sentTo("login/setTime")), "g");
  EXPECT_TRUE(kit::test::runUntil([&] { return platform->onlineTimeReports("player01") == 1; }));
}

// A screen that sends a request and is gone before the answer.
struct Screen : std::enable_shared_from_this<Screen> {
  int answers = 0;
  void logIn(const char* name, const char* password) {
    std::weak_ptr<Screen> weak = weak_from_this();
    KTLoginAPI::LonginWithUsername(
        kit::str(name), kit::str(password),
        [weak](const kit::Ref<LoginResult>&) {
          if (auto self = weak.lock()) ++self->answers;
        },
        [weak](const kit::Ref<kit::String>&, const kit::Ref<kit::String>&) {
          if (auto self = weak.lock()) ++self->answers;
        });
  }
};

TEST_F(LoginAPI, NoCallIsCancelledWhenItsCallerIsGone) {
  addPlayer("player01", "pass123");
  auto screen = std::make_shared<Screen>();
  std::weak_ptr<Screen> watch = screen;
  screen->logIn("player01", "pass123");
  screen.reset();
  EXPECT_TRUE(watch.expired()) << "the request does not keep its caller";
  ASSERT_TRUE(kit::test::runUntil([] { return KTSavedAccounts::accounts()->count() == 1; }));

  storeUserName("player01");
  { KTLoginAPI::LonginOutSendToService(); }  // sent from a scope that ends at once
  ASSERT_TRUE(kit::test::runUntil([] { return d(ShareVale::sharedInstance()->userName()) == ""; }));
  EXPECT_TRUE(toastShown("退出成功"));
}

// ---- Answers to replies of unexpected kinds -----------------------------------------

TEST(LoginAnswers, RepliesOfUnexpectedKindsEndInAtMostOneBlock) {
  PlatformTestBundle bundle;
  // The sub-account list: number 1 calls nothing; a "data" that is no list
  // gives an empty list; items that are not dictionaries are skipped.
  Outcome numberOne;
  KTLoginAPI::Answers::subNames(KTPlatformReply(kit::Id(kit::dict({{"code", 1}, {"data", kit::array({})}}))),
                                numberOne.success<kit::Array>());
  EXPECT_EQ(numberOne.calls, 0);
  Outcome textData;
  KTLoginAPI::Answers::subNames(KTPlatformReply(kit::Id(kit::dict({{"code", "1"}, {"data", "x"}}))),
                                textData.success<kit::Array>());
  EXPECT_EQ(d(textData.result), "(\n)");
  Outcome mixed;
  KTLoginAPI::Answers::subNames(
      KTPlatformReply(kit::Id(kit::dict({{"code", "1"}, {"data", kit::array({1, kit::dict({{"username", "u"}})})}}))),
      mixed.success<kit::Array>());
  EXPECT_EQ(kit::as<kit::Array>(mixed.result)->count(), 1u);
  Outcome failed;
  KTLoginAPI::Answers::subNames(KTPlatformReplies::notDelivered(nullptr), failed.success<kit::Array>());
  EXPECT_EQ(failed.calls, 0);

  // The role report: no reply object, nothing.
  Outcome role;
  KTLoginAPI::Answers::role(KTPlatformReply(kit::Id()), role.plainSuccess(), role.failure());
  KTLoginAPI::Answers::role(KTPlatformReply(kit::Id(kit::array({1}))), role.plainSuccess(), role.failure());
  EXPECT_EQ(role.calls, 0);

  // The notice and a registration without a reply.
  Outcome notice;
  KTLoginAPI::Answers::notice(KTPlatformReply(kit::Id()), notice.success<GetNotice>(), notice.codeFailure());
  EXPECT_EQ(notice.texts(), "获取失败|(null)");
  Outcome registration;
  KTLoginAPI::Answers::registration(KTPlatformReply(kit::Id()), registration.success<RegisterResult>(),
                                    registration.failure());
  EXPECT_EQ(registration.calls, 1);
  EXPECT_FALSE(registration.message);

  // A login whose code is the number 1 is not the text "1".
  Outcome numericLogin;
  auto numericReply = kit::dict({{"z", 1}, {"b", "u"}, {"c", "p"}, {"x", kit::array({})}});
  KTLoginAPI::Answers::login(KTPlatformReply(kit::Id(numericReply)), numericLogin.success<LoginResult>(),
                             numericLogin.codeFailure());
  EXPECT_EQ(numericLogin.texts(), "(null)|1");
}

}  // namespace

namespace {

TEST(SavedAccounts, AnEmptyNameOrPasswordIsNeverSaved) {
  PlatformTestBundle bundle;
  KTSavedAccounts::save(kit::str(""), kit::str(""));
  KTSavedAccounts::save(kit::str("u1"), kit::str(""));
  KTSavedAccounts::save(kit::str(""), kit::str("p1"));
  EXPECT_FALSE(kit::UserDefaults::standardUserDefaults()->objectForKey(KTSavedAccounts::kKey));
  KTSavedAccounts::save(kit::str("u1"), kit::str("p1"));
  // An empty password for a saved name neither replaces nor removes it.
  KTSavedAccounts::save(kit::str("u1"), kit::str(""));
  PlatformTestBundle::reloadUserDefaults();
  EXPECT_EQ(d(KTSavedAccounts::accounts()), d(kit::array({kit::array({"u1", "p1"})})));
}

TEST(SavedAccounts, StoredValuesOfTheWrongKindAreSkippedNotLost) {
  PlatformTestBundle bundle;
  auto defaults = kit::UserDefaults::standardUserDefaults();
  defaults->setObject(kit::str("not a list"), KTSavedAccounts::kKey);
  EXPECT_EQ(KTSavedAccounts::accounts()->count(), 0u);
  KTSavedAccounts::save(kit::str("a"), kit::str("1"));
  EXPECT_EQ(d(defaults->objectForKey(KTSavedAccounts::kKey)), d(kit::array({kit::array({"a", "1"})})));

  // Entries it cannot read stay where they are; only the first readable
  // entry of the name goes.
  defaults->setObject(kit::array({kit::array({"a", "1"}), kit::str("junk"), kit::array({"a", 2}),
                                  kit::array({"b", "2"}), kit::array({"a", "3"})}),
                      KTSavedAccounts::kKey);
  EXPECT_EQ(d(KTSavedAccounts::accounts()),
            d(kit::array({kit::array({"a", "1"}), kit::array({"b", "2"}), kit::array({"a", "3"})})));
  KTSavedAccounts::save(kit::str("a"), kit::str("4"));
  PlatformTestBundle::reloadUserDefaults();
  EXPECT_EQ(d(kit::UserDefaults::standardUserDefaults()->objectForKey(KTSavedAccounts::kKey)),
            d(kit::array({kit::str("junk"), kit::array({"a", 2}), kit::array({"b", "2"}), kit::array({"a", "3"}),
                          kit::array({"a", "4"})})));
  // Nothing to offer again, nothing saved.
  KTSavedAccounts::save(nullptr, kit::str("5"));
  KTSavedAccounts::save(kit::str("c"), nullptr);
  EXPECT_EQ(KTSavedAccounts::accounts()->count(), 3u);
}

}  // namespace
