// The light channel between the core and the platform facade: what reaches
// the facade, and how and when its results reach the listener.

#include "channel/core/lib_nuva_light_channel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/testing/scripted_tolmix_sdk.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"

namespace {

// Records every call in order, with the thread it came on.
class RecordingListener : public NUVALightChannelDelegate {
 public:
  struct Call {
    std::string name;
    kit::Id argument;
    bool onMain;
  };
  std::vector<Call> calls;
  // Set by a test to see what the facade had been told when a call came.
  std::function<void(const std::string&)> onCall;

  void record(const std::string& name, kit::Id argument) {
    calls.push_back({name, std::move(argument), kit::RunLoop::isMainThread()});
    if (onCall) onCall(name);
  }
  void nuvaChannel_LightGetChannelLoginCallBack(const kit::Ref<kit::Dictionary>& r) override { record("login", r); }
  void nuvaChannel_getUpdateRoleCallBack(const kit::Ref<kit::Dictionary>& r) override { record("role", r); }
  void nuvaChannel_getPaySuccessCallBack(const kit::Ref<kit::Dictionary>& r) override { record("paySuccess", r); }
  void nuvaChannel_getPayFailCallBack(const kit::Ref<kit::Dictionary>& r) override { record("payFail", r); }
  void nuvaChannel_logOutCallBack(const kit::Ref<kit::String>& r) override { record("logout", r); }
};

class LightChannel : public ::testing::Test {
 protected:
  void SetUp() override { channel->setDelegate(listener); }
  void TearDown() override {
    channel->setDelegate(nullptr);
    TolmixSDKFacade::install(nullptr);
  }

  std::shared_ptr<ScriptedTolmixSDK> facade = ScriptedTolmixSDK::install();
  std::shared_ptr<RecordingListener> listener = std::make_shared<RecordingListener>();
  kit::Ref<libNUVALightChannel> channel = libNUVALightChannel::sharedInstance();
};

TEST_F(LightChannel, PlatformIdIsAlways256) {
  EXPECT_EQ(channel->platformId()->utf8(), "256");
  channel->setPlatformId(kit::str("999"));
  EXPECT_EQ(channel->platformId()->utf8(), "256");
}

TEST_F(LightChannel, LoginSuccessReachesTheListenerOnMainWithTokenUidAndChannelCode) {
  ScriptedTolmixSDK::LoginAnswer answer;
  answer.loginTime = "1717000123";
  answer.userName = "player07";
  answer.sign = "s1gn";
  facade->answerLoginsWith(answer);
  channel->nuvaChannel_lightLoginStart();
  ASSERT_TRUE(kit::test::runUntil([&] { return !listener->calls.empty(); }));
  const auto& call = listener->calls.front();
  EXPECT_EQ(call.name, "login");
  EXPECT_TRUE(call.onMain);
  EXPECT_EQ(kit::describe(call.argument["token"]), "s1gn");
  EXPECT_EQ(kit::describe(call.argument["uid"]), "player07");
  EXPECT_EQ(kit::describe(call.argument["channel_code"]), "1717000123");
  EXPECT_EQ(facade->loginCount(), 1);
}

TEST_F(LightChannel, OnlyAnAccountSwitchFailureLogsOut) {
  facade->holdLogins();
  channel->nuvaChannel_lightLoginStart();
  ScriptedTolmixSDK::LoginAnswer other;
  other.succeed = false;
  other.failureCode = -8;
  ASSERT_TRUE(facade->answerPendingLogin(other));
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_TRUE(listener->calls.empty());

  channel->nuvaChannel_lightLoginStart();
  ScriptedTolmixSDK::LoginAnswer switched = other;
  switched.failureCode = -9;
  ASSERT_TRUE(facade->answerPendingLogin(switched));
  ASSERT_TRUE(kit::test::runUntil([&] { return !listener->calls.empty(); }));
  EXPECT_EQ(listener->calls.front().name, "logout");
  EXPECT_EQ(kit::describe(listener->calls.front().argument), "success");
  EXPECT_TRUE(listener->calls.front().onMain);
}

TEST_F(LightChannel, RoleIsConfirmedToTheListenerBeforeThePlatformHearsOfIt) {
  size_t reportsWhenConfirmed = 99;
  listener->onCall = [&](const std::string& name) {
    if (name == "role") reportsWhenConfirmed = facade->roleReports().size();
  };
  auto role = NUVAChannelRoleInfo::make();
  role->setRoleId(kit::str("r1"));
  role->setRoleName(kit::str("凌霄"));
  role->setRoleLevel(kit::str("12"));
  role->setServiceId(kit::str("3"));
  role->setServiceName(kit::str("青龙"));
  channel->nuvaChannel_superRoleUpdate(role);
  EXPECT_TRUE(facade->roleReports().empty());  // not before the hop
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->roleReports().size() == 1; }));
  EXPECT_EQ(reportsWhenConfirmed, 0u);
  auto report = facade->roleReports().front();
  EXPECT_EQ(report.roleId, "r1");
  EXPECT_EQ(report.zoneId, "3");
  EXPECT_EQ(report.zoneName, "青龙");
  EXPECT_EQ(report.attach, "");
  EXPECT_EQ(kit::describe(listener->calls.front().argument["status"]), "success");
}

TEST_F(LightChannel, OrdersOpenThePaySheetAndItsResultNamesTheOrder) {
  auto order = NUVAChannelOrderInfo::make();
  order->setRoleId(kit::str("r1"));
  order->setPayMoney(kit::str("6.00"));
  order->setServiceId(kit::str("3"));
  order->setGoodName(kit::str("月卡"));
  order->setGameOrderSn(kit::str("o1"));
  channel->nuvaChannel_superOrder(order);
  auto sheets = facade->paySheets();
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].roleid, "r1");
  EXPECT_EQ(sheets[0].money, "6.00");
  EXPECT_EQ(sheets[0].serverid, "3");
  EXPECT_EQ(sheets[0].productName, "月卡");
  EXPECT_EQ(sheets[0].productDesc, "月卡");
  EXPECT_EQ(sheets[0].attach, "o1");

  ASSERT_TRUE(facade->finishPayment(false, "o1"));
  ASSERT_TRUE(kit::test::runUntil([&] { return !listener->calls.empty(); }));
  EXPECT_EQ(listener->calls[0].name, "payFail");
  EXPECT_EQ(kit::describe(listener->calls[0].argument["status"]), "success");
  EXPECT_EQ(kit::describe(listener->calls[0].argument["order_id"]), "o1");
  EXPECT_FALSE(facade->finishPayment(true, "o1"));  // that sheet has ended
}

// The platform's results come after the step that gave them and in the
// order it gave them, whatever their kind.
TEST_F(LightChannel, ResultsArriveAfterTheFacadesStepInTheOrderGiven) {
  for (int n = 1; n <= 8; ++n) {
    auto order = NUVAChannelOrderInfo::make();
    order->setGameOrderSn(kit::str("o" + std::to_string(n)));
    channel->nuvaChannel_superOrder(order);
  }
  const std::vector<std::pair<const char*, bool>> endings = {{"o3", false}, {"o1", true}, {"o7", false}, {"o2", true},
                                                             {"o8", true},  {"o5", false}, {"o4", true}, {"o6", false}};
  std::vector<std::string> expected;
  for (const auto& [attach, success] : endings) {
    ASSERT_TRUE(facade->finishPayment(success, attach));
    expected.push_back(std::string(success ? "paySuccess " : "payFail ") + attach);
  }
  EXPECT_TRUE(listener->calls.empty());  // not inside the facade's step
  ASSERT_TRUE(kit::test::runUntil([&] { return listener->calls.size() == endings.size(); }));
  std::vector<std::string> heard;
  for (const auto& call : listener->calls) heard.push_back(call.name + " " + kit::describe(call.argument["order_id"]));
  EXPECT_EQ(heard, expected);
}

TEST_F(LightChannel, LogoutTellsThePlatformThenTheListenerAtOnce) {
  channel->nuvaChannel_logout();
  EXPECT_EQ(facade->logoutCount(), 1);
  ASSERT_EQ(listener->calls.size(), 1u);
  EXPECT_EQ(listener->calls[0].name, "logout");
}

TEST_F(LightChannel, ApplicationEventsReachTheFacadeAndURLsAlwaysAnswerYes) {
  auto app = kit::Application::shared();
  EXPECT_TRUE(channel->didFinishLaunching(*app, nullptr));
  EXPECT_EQ(facade->launchCount(), 1);
  EXPECT_EQ(channel->handleOpenURL(*app, "x://a"), true);
  EXPECT_EQ(channel->openURL(*app, "x://b", "com.other", nullptr), true);
  EXPECT_EQ(channel->openURL(*app, "x://c", kit::dict()), true);
  EXPECT_EQ(facade->openedURLs(), (std::vector<std::string>{"x://a", "x://b", "x://c"}));
  EXPECT_EQ(channel->supportedInterfaceOrientations(*app, nullptr), kit::OrientationMaskLandscape);
}

TEST_F(LightChannel, WithoutAListenerResultsAreDropped) {
  channel->setDelegate(nullptr);
  listener.reset();
  channel->nuvaChannel_lightLoginStart();
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  channel->nuvaChannel_logout();  // nothing to call; no crash
  EXPECT_EQ(facade->logoutCount(), 1);
}

}  // namespace
