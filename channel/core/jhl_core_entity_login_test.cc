// The channel core's launch and login road: the game id from the bundle,
// the facade's login posted to the simulated channel server, which replies
// are accepted, what the listener hears, and the login answer's log line
// without its token.

#include <gtest/gtest.h>

#include "channel/testing/core_road_fixture.h"
#include "kit/foundation/date.h"
#include "kit/foundation/time_zone.h"
#include "kit/testing/log_capture.h"

namespace {

using CoreLogin = CoreRoadFixture;

// The device's clock and zone while a test reads dates: 2024-05-15 10:20:30
// at UTC+8, so that a test does not depend on the day it runs, nor on a
// midnight passing between the product's reading and the test's.
struct PinnedDay {
  kit::ScopedDefaultTimeZone zone{kit::TimeZone::timeZoneForSecondsFromGMT(8 * 3600)};
  kit::ScopedWallClock wall{1715739630};
};

TEST_F(CoreLogin, LaunchReadsTheGameIdAndStartsThePlatform) {
  EXPECT_EQ(kit::describe(core->nuvagameid()), "1001");
  EXPECT_EQ(kit::describe(core->platform_id()), "256");
  EXPECT_TRUE(core->isRunLogic());
  EXPECT_FALSE(core->isHallOpen());
  EXPECT_FALSE(core->isTimeStore());
  EXPECT_EQ(kit::describe(core->shop_type()), "3");
  EXPECT_EQ(facade->launchCount(), 1);
}

TEST_F(CoreLogin, TheFacadesLoginIsPostedAndTheListenerHearsTheChannelUser) {
  PinnedDay day;
  server.setReply("login/index", R"({"code":"200","data":{"super_user_id":"99","token":"abcdef"}})");
  kit::test::LogCapture logs;
  logIn();
  // The answer is logged without its token.
  EXPECT_TRUE(logs.contains("channel login reply"));
  EXPECT_TRUE(logs.contains("token = ***;"));
  EXPECT_FALSE(logs.contains("abcdef"));
  auto posted = server.requestsTo("login/index");
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].field("game_id"), "1001");
  EXPECT_EQ(posted[0].field("token"), "sign-0001");
  EXPECT_EQ(posted[0].field("uid"), "player01");
  EXPECT_EQ(posted[0].field("channel_code"), "1717000000");
  EXPECT_EQ(posted[0].field("platform_id"), "256");
  EXPECT_EQ(posted[0].field("os_type"), "2");

  auto login = listener->callsNamed("login").back();
  EXPECT_TRUE(login.onMain);
  EXPECT_EQ(kit::describe(login.argument["super_user_id"]), "99");
  EXPECT_EQ(kit::describe(login.argument["token"]), "abcdef");
  EXPECT_EQ(kit::describe(login.argument["auth"]), "1");
  // 19 years, 2 months and a day before the login's day.
  EXPECT_EQ(kit::describe(login.argument["birthday"]), "2005-03-14");
  EXPECT_EQ(kit::describe(core->super_user_id()), "99");
  EXPECT_EQ(kit::describe(core->token()), "abcdef");
}

TEST_F(CoreLogin, RepliesWithoutAUsableUserOrTokenAreRefusedAndChangeNothing) {
  logIn();  // the server's own answer: user 99 and a 16-character token
  auto userBefore = kit::describe(core->super_user_id());
  auto tokenBefore = kit::describe(core->token());
  listener->clear();

  for (const char* reply : {R"({"code":"200","data":{"super_user_id":"99","token":"abcde"}})",
                            R"({"code":"200"})",
                            R"({"code":"200","data":{"super_user_id":null,"token":"abcdefgh"}})",
                            R"J({"code":"200","data":{"super_user_id":"7","token":"(null)"}})J",
                            R"({"code":"200","data":{"super_user_id":"","token":"abcdefgh"}})"}) {
    server.setReply("login/index", reply);
    kit::test::LogCapture logs;
    core->nuva_lightLoginStart();
    // The refusal is decided where the reply is handled, in one main-queue
    // step: once it is logged, the listener would have been called.
    ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("channel login refused"); })) << reply;
    EXPECT_EQ(listener->count(), 0u) << reply;
    EXPECT_EQ(kit::describe(core->super_user_id()), userBefore) << reply;
    EXPECT_EQ(kit::describe(core->token()), tokenBefore) << reply;
  }
  // Six characters are enough.
  server.setReply("login/index", R"({"code":"500","data":{"super_user_id":"12","token":"abcdef"}})");
  logIn();
  EXPECT_EQ(kit::describe(core->super_user_id()), "12");
}

TEST_F(CoreLogin, ABlankChannelCodeTravelsAsEmptyText) {
  ScriptedTolmixSDK::LoginAnswer answer;
  answer.loginTime = "(null)";
  facade->answerLoginsWith(answer);
  logIn();
  auto posted = server.requestsTo("login/index");
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_TRUE(posted[0].has("channel_code"));
  EXPECT_EQ(posted[0].field("channel_code"), "");
}

TEST_F(CoreLogin, ALongSpecialAddressSendsTheLoginToLoginSpecial) {
  core->nuvaChannel_LightGetChannelLoginCallBack(
      kit::dict({{"token", "s"}, {"uid", "u"}, {"channel_code", "1"}, {"special_url", "https://a.b"}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return server.requestsTo("login/special").size() == 1; }));
  core->nuvaChannel_LightGetChannelLoginCallBack(
      kit::dict({{"token", "s"}, {"uid", "u"}, {"channel_code", "1"}, {"special_url", "https://"}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return server.requestsTo("login/index").size() == 1; }));
  EXPECT_EQ(server.requestsTo("login/special").size(), 1u);
}

TEST_F(CoreLogin, StartingALoginEmptiesTheStoreAndMenuLists) {
  core->responseArray()->addObject(kit::str("gm"));
  core->VIPArray()->addObject(kit::str("vip"));
  core->menuArray()->addObject(kit::str("3"));
  facade->holdLogins();
  core->nuva_lightLoginStart();
  EXPECT_EQ(core->responseArray()->count(), 0u);
  EXPECT_EQ(core->VIPArray()->count(), 0u);
  EXPECT_EQ(core->menuArray()->count(), 0u);
  EXPECT_EQ(facade->loginCount(), 1);
}

TEST_F(CoreLogin, AFailedTransportEndsTheLoginWithTheHUDOnly) {
  server.setFault("login/index", sim::RouteFault::CloseConnection);
  kit::test::LogCapture logs;
  core->nuva_lightLoginStart();
  ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("channel login failed") && !hudTexts.empty(); }));
  EXPECT_EQ(hudTexts.size(), 1u) << testing::PrintToString(hudTexts);
  EXPECT_EQ(listener->count(), 0u);
  EXPECT_EQ(core->super_user_id(), nullptr);
}

TEST_F(CoreLogin, AnAccountSwitchInThePlatformLoginLogsOut) {
  ScriptedTolmixSDK::LoginAnswer switched;
  switched.succeed = false;
  switched.failureCode = -9;
  facade->answerLoginsWith(switched);
  core->nuva_lightLoginStart();
  ASSERT_TRUE(waitForCalls(1));
  EXPECT_EQ(listener->calls()[0].name, "logout");
  EXPECT_EQ(kit::describe(core->roleid()), "");
  EXPECT_TRUE(server.requestsTo("login/index").empty());
}

TEST_F(CoreLogin, EnteringAServerAsksTheChannelServer) {
  core->nuva_canEnterGameWithServiceID(kit::str("3"), kit::str("青龙"));
  ASSERT_TRUE(kit::test::runUntil([&] { return hudShown("请先获取登录回调的super_user_id"); }));
  EXPECT_TRUE(server.requestsTo("login/enter").empty());

  logIn();
  core->nuva_canEnterGameWithServiceID(kit::str(" 3 "), kit::str("青 龙"));
  ASSERT_TRUE(kit::test::runUntil([&] { return !listener->callsNamed("canEnter").empty(); }));
  EXPECT_EQ(kit::describe(listener->callsNamed("canEnter").back().argument), "1");
  auto asked = server.requestsTo("login/enter");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].field("service_id"), "3");
  EXPECT_EQ(asked[0].field("service_name"), "青龙");

  server.setReply("login/enter", R"({"code":"403","msg":"该区服维护中"})");
  core->nuva_canEnterGameWithServiceID(kit::str("4"), kit::str("白虎"));
  ASSERT_TRUE(kit::test::runUntil([&] { return listener->callsNamed("canEnter").size() == 2; }));
  EXPECT_EQ(kit::describe(listener->callsNamed("canEnter").back().argument), "0");
  ASSERT_TRUE(kit::test::runUntil([&] { return !hudTexts.empty() && hudTexts.back() == "该区服维护中"; }));
}

TEST(CoreLaunch, WithoutAGameIdNothingIsPostedAndTheHUDAsksForALogin) {
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  TestBundle bundle(std::nullopt);
  sim::ChannelSDKServer server;
  ClientConfiguration::shared().setOverrides(kit::dict({{ClientConfiguration::kChannelSDKServer, server.baseURL()}}));
  auto facade = ScriptedTolmixSDK::install();
  kit::Application::shared()->reset();
  auto window = kit::Window::make();
  window->setRootViewController(kit::make<kit::ViewController>());
  window->makeKeyAndVisible();
  std::vector<std::string> hud;
  auto token = kit::NotificationCenter::defaultCenter()->addObserverForName(
      NUVAProgressHUDWillAppearNotification, nullptr, [&](const kit::Ref<kit::Notification>& n) {
        hud.push_back(kit::describe((*n->userInfo())[NUVAProgressHUDStatusUserInfoKey]));
      });
  auto listener = std::make_shared<RecordingCoreListener>();
  auto core = kit::make<JHLCoreEntity>();
  core->nuva_setStartLoginListener(listener);
  core->didFinishLaunching(*kit::Application::shared(), nullptr);
  EXPECT_EQ(core->nuvagameid(), nullptr);

  core->nuva_lightLoginStart();
  ASSERT_TRUE(kit::test::runUntil([&] { return !hud.empty(); }));
  EXPECT_EQ(hud.back(), "请先登录");
  EXPECT_EQ(server.requestCount(), 0u);
  EXPECT_EQ(listener->count(), 0u);

  kit::NotificationCenter::defaultCenter()->removeObserver(token);
  NUVAProgressHUD::dismiss();
  ClientConfiguration::shared().setOverrides(nullptr);
  TolmixSDKFacade::install(nullptr);
  libNUVALightChannel::sharedInstance()->setDelegate(nullptr);
  kit::Application::shared()->reset();
}

TEST(CoreHelpers, TimestampsAndDates) {
  PinnedDay day;
  long shifted = std::stol(JHLCoreEntity::ddpGetExpectTimestamp(0, 0, -1)->utf8());
  EXPECT_EQ(shifted, 1715739630 - 86400);  // one calendar day
  EXPECT_EQ(JHLCoreEntity::getTimeFromTimestamp(kit::str("0"))->utf8().size(), 10u);
  EXPECT_EQ(JHLCoreEntity::dictionaryWithJsonString(kit::str("not json")), nullptr);
}

}  // namespace
