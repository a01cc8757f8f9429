// The client end to end on the real road: the page driver plays the game
// page in the web view, the ViewController hands its messages to the
// channel core, the core talks to the simulated channel server over
// loopback, and the answers come back to the page through
// CallbackFromIOS. The platform facade is the scriptable stand-in.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "app/application_main.h"
#include "channel/testing/recording_store_overlays.h"
#include "channel/testing/scripted_tolmix_sdk.h"
#include "channel/testing/test_bundle.h"
#include "config/client_configuration.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/ui_test_driver.h"
#include "sim/simulator.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

class ClientRoad : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    kit::Application::shared()->reset();
    simulator.channel().setPackage("com.example.starfleet");
    ClientConfiguration::shared().setOverrides(simulator.configuration());
    hudToken = kit::NotificationCenter::defaultCenter()->addObserverForName(
        NUVAProgressHUDWillAppearNotification, nullptr, [this](const kit::Ref<kit::Notification>& n) {
          hudTexts.push_back(n->userInfo() ? kit::describe((*n->userInfo())[NUVAProgressHUDStatusUserInfoKey]) : "");
        });
    app = startApplication(core, 0);
    controller = app.controller();
    ASSERT_TRUE(controller);
    driver = controller->wkWebView()->pageDriver();
    ASSERT_TRUE(driver);
  }

  void TearDown() override {
    kit::NotificationCenter::defaultCenter()->removeObserver(hudToken);
    NUVAProgressHUD::dismiss();
    advance(1);
    kit::Weak<ViewController> weak = controller;
    controller = nullptr;
    driver = nullptr;
    app = {};
    kit::Application::shared()->reset();
    advance(3);  // the splash timer lets go of nothing it should not
    EXPECT_TRUE(weak.expired()) << "the page screen leaked";
    ClientConfiguration::shared().setOverrides(nullptr);
    TolmixSDKFacade::install(nullptr);
    libNUVALightChannel::sharedInstance()->setDelegate(nullptr);
    VirtualClockTest::TearDown();
  }

  bool waitForPage() {
    return kit::test::runUntil([&] { return controller->pageFinished(); });
  }
  // Posts a message as the page does.
  bool post(const std::string& json) { return driver->postMessage("eventComplete", kit::str(json)); }
  // The page's answers so far.
  std::vector<kit::Id> answers() const { return driver->callbacks(); }
  bool waitForAnswers(size_t count) {
    return kit::test::runUntil([&] { return answers().size() >= count; });
  }
  kit::Id lastAnswer() const { return answers().back(); }

  void logIn() {
    size_t before = answers().size();
    ASSERT_TRUE(post(R"({"action":"login","data":{}})"));
    ASSERT_TRUE(waitForAnswers(before + 1));
    ASSERT_EQ(kit::describe(lastAnswer()["action"]), "loginNotify");
  }
  void reportRole() {
    size_t before = answers().size();
    ASSERT_TRUE(post(R"({"action":"uploadGameRoleInfo","data":{"role_id":"10086","role_name":"凌霄",)"
                     R"("role_level":"12","service_id":"3","service_name":"青龙"}})"));
    ASSERT_TRUE(waitForAnswers(before + 1));
    ASSERT_EQ(kit::describe(lastAnswer()["action"]), "uploadGameRoleInfo");
  }
  void pay(const std::string& gameOrder = "G-0001") {
    auto message = kit::dict({{"action", "pay"},
                              {"data", kit::dict({{"money", "6.00"},
                                                  {"good_name", "月 卡"},
                                                  {"good_id", "60"},
                                                  {"game_order_sn", gameOrder},
                                                  {"role_id", "10086"},
                                                  {"role_name", "凌霄"},
                                                  {"role_level", "12"},
                                                  {"service_id", "3"},
                                                  {"service_name", "青龙"}})}});
    ASSERT_TRUE(driver->postMessage("eventComplete",
                                    kit::str(kit::JSONSerialization::dataWithJSONObject(message)->toString())));
  }
  kit::Ref<kit::AlertController> presentedAlert() const {
    return kit::as<kit::AlertController>(controller->presentedViewController());
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  TestBundle bundle;
  sim::Simulator simulator;
  std::shared_ptr<ScriptedTolmixSDK> facade = ScriptedTolmixSDK::install();
  kit::Ref<JHLCoreEntity> core = kit::make<JHLCoreEntity>();
  ClientApplication app;
  kit::Ref<ViewController> controller;
  kit::Ref<kit::PageDriver> driver;
  std::vector<std::string> hudTexts;
  kit::Id hudToken;
};

TEST_F(ClientRoad, LaunchShowsTheGamePageUnderTheSplash) {
  EXPECT_EQ(facade->launchCount(), 1);
  EXPECT_EQ(kit::describe(core->nuvagameid()), "1001");
  EXPECT_EQ(kit::Application::shared()->keyWindow()->rootViewController(), controller);
  EXPECT_TRUE(controller->prefersStatusBarHidden());
  ASSERT_TRUE(waitForPage());
  auto served = simulator.page().requests();
  ASSERT_EQ(served.size(), 1u);
  EXPECT_NE(served[0].find("_channel=nuva"), std::string::npos);
  EXPECT_TRUE(controller->wkWebView()->scrollView()->isScrollEnabled() == false);

  // The splash covers the page for two seconds, then goes.
  ASSERT_TRUE(controller->splashView()->superview());
  EXPECT_TRUE(controller->splashView()->image());
  EXPECT_EQ(controller->splashView()->frame(), (kit::Rect{0, 0, 375, 667}));
  advance(1.9);
  EXPECT_TRUE(controller->splashView()->superview());
  advance(0.6);
  EXPECT_FALSE(controller->splashView()->superview());
}

TEST_F(ClientRoad, LoginReachesThePageAsLoginNotify) {
  simulator.channel().setReply("login/index", R"({"code":"200","data":{"super_user_id":"99","token":"abcdef"}})");
  ASSERT_TRUE(waitForPage());
  logIn();
  auto login = simulator.channel().requestsTo("login/index");
  ASSERT_EQ(login.size(), 1u);
  EXPECT_EQ(login[0].field("game_id"), "1001");
  EXPECT_EQ(login[0].field("platform_id"), "256");
  EXPECT_EQ(login[0].field("os_type"), "2");
  kit::Id answer = lastAnswer();
  EXPECT_EQ(kit::describe(answer["data"]["super_user_id"]), "99");
  EXPECT_EQ(kit::describe(answer["data"]["token"]), "abcdef");
  EXPECT_EQ(kit::as<kit::Dictionary>(answer["data"])->count(), 2u);
  EXPECT_EQ(kit::describe(controller->super_user_id()), "99");
  EXPECT_EQ(kit::describe(controller->serviceToken()), "abcdef");

  // A short token is refused: the page hears nothing.
  simulator.channel().setReply("login/index", R"({"code":"200","data":{"super_user_id":"99","token":"abcde"}})");
  size_t before = answers().size();
  kit::test::LogCapture logs;
  ASSERT_TRUE(post(R"({"action":"login","data":{}})"));
  ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("channel login refused"); }));
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(answers().size(), before);
}

TEST_F(ClientRoad, ThePageHearsNoSpellingOfNothingForAValueTheCoreLeftOutOrNull) {
  ASSERT_TRUE(waitForPage());
  // A login and two order outcomes whose values are missing or null.
  controller->nuva_LightGetChannelLoginCallBack(kit::dict({{"super_user_id", kit::null()}}));
  controller->getPaySuccessCallBack(kit::dict({{"order_id", kit::null()}}));
  controller->getPayFailCallBack(kit::dict({{"cpOrder", true}}));
  ASSERT_TRUE(waitForAnswers(3));
  for (const kit::Id& answer : answers()) {
    auto data = kit::as<kit::Dictionary>(answer["data"]);
    ASSERT_TRUE(data);
    for (const kit::Id& key : data->keys()) {
      const std::string heard = kit::describe((*data)[key]);
      if (kit::describe(key) == "status") continue;
      EXPECT_EQ(heard, "") << kit::describe(answer["action"]) << " " << kit::describe(key);
    }
  }
}

TEST_F(ClientRoad, RoleReportsWaitForThePageAndReachBothSides) {
  // Before the page has finished loading nothing is sent.
  ASSERT_TRUE(post(R"({"action":"uploadGameRoleInfo","data":{"role_id":"1","role_name":"a","service_id":"3","service_name":"b"}})"));
  ASSERT_TRUE(waitForPage());
  logIn();
  EXPECT_TRUE(simulator.channel().requestsTo("role/index").empty());

  // A JSON null role id drops the report.
  ASSERT_TRUE(post(R"({"action":"uploadGameRoleInfo","data":{"role_id":null,"role_name":"a","service_id":"3","service_name":"b"}})"));
  reportRole();
  auto sent = simulator.channel().requestsTo("role/index");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].field("role_id"), "10086");
  EXPECT_EQ(sent[0].field("power_value"), "1");
  EXPECT_EQ(sent[0].field("money"), "金币");
  EXPECT_EQ(sent[0].field("describe"), "");
  EXPECT_EQ(sent[0].field("experience"), "");
  EXPECT_EQ(kit::describe(lastAnswer()["data"]), "");
  ASSERT_TRUE(kit::test::runUntil([&] { return !facade->roleReports().empty(); }));
  EXPECT_EQ(facade->roleReports().back().roleId, "r1");
}

TEST_F(ClientRoad, PaymentRunsFromOrderToPaySheetToPayNotify) {
  ASSERT_TRUE(waitForPage());
  logIn();
  pay();
  ASSERT_TRUE(kit::test::runUntil([&] { return !hudTexts.empty(); }));
  EXPECT_EQ(hudTexts.back(), "请先调用上报角色方法");
  EXPECT_TRUE(simulator.channel().requestsTo("order/index").empty());

  reportRole();
  pay("G-'\\\n1");  // a game order that quotes, escapes and breaks a line
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->paySheets().size() == 1; }));
  auto order = simulator.channel().requestsTo("order/index").back();
  EXPECT_EQ(order.field("package"), "com.example.starfleet");
  EXPECT_EQ(order.field("good_name"), "月卡");
  EXPECT_EQ(order.field("money"), "6.00");
  EXPECT_EQ(order.field("remark"), "");
  EXPECT_EQ(facade->paySheets().back().attach, "o1");

  size_t before = answers().size();
  ASSERT_TRUE(facade->finishPayment(true));
  ASSERT_TRUE(waitForAnswers(before + 1));
  kit::Id paid = lastAnswer();
  EXPECT_EQ(kit::describe(paid["action"]), "payNotify");
  EXPECT_EQ(kit::describe(paid["data"]["status"]), "1");
  EXPECT_EQ(kit::describe(paid["data"]["order_id"]), "o1");
  EXPECT_EQ(kit::describe(paid["data"]["channel_order"]), "o1");
  EXPECT_EQ(kit::describe(paid["data"]["cp_order"]), "G-'\\\n1");

  pay("G-0002");
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->paySheets().size() == 2; }));
  ASSERT_TRUE(facade->finishPayment(false));
  ASSERT_TRUE(waitForAnswers(before + 2));
  EXPECT_EQ(kit::describe(lastAnswer()["data"]["status"]), "2");
  EXPECT_EQ(kit::describe(lastAnswer()["data"]["cp_order"]), "G-0002");
  for (const auto& script : driver->evaluatedScripts()) EXPECT_TRUE(script.starts_with("CallbackFromIOS('"));
}

TEST_F(ClientRoad, LogoutTellsThePageAndReloadsIt) {
  ASSERT_TRUE(waitForPage());
  logIn();
  reportRole();
  size_t loads = simulator.page().requests().size();
  size_t before = answers().size();
  ASSERT_TRUE(post(R"({"action":"logout","data":{}})"));
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->logoutCount() == 1; }));
  ASSERT_TRUE(kit::test::runUntil([&] { return simulator.page().requests().size() == loads + 1; }));
  ASSERT_TRUE(waitForAnswers(before + 1));
  kit::Id answer = lastAnswer();
  EXPECT_EQ(kit::describe(answer["action"]), "clientlogout");
  EXPECT_EQ(kit::describe(answer["data"]), "");
  ASSERT_TRUE(waitForPage());
  // A role report waits for the reloaded page; afterwards it is accepted
  // again, and it needs a new login first.
  EXPECT_EQ(controller->wkWebView()->URL()->absoluteText(), simulator.page().pageURL());
  EXPECT_EQ(kit::describe(core->roleid()), "");
  EXPECT_EQ(kit::describe(controller->super_user_id()), kit::describe(core->super_user_id()));
}

TEST_F(ClientRoad, AnUnreachablePageOffersARetry) {
  ASSERT_TRUE(waitForPage());
  simulator.page().down();
  // A forced logout reloads the page, which cannot be reached now.
  ASSERT_TRUE(post(R"({"action":"logout","data":{}})"));
  ASSERT_TRUE(kit::test::runUntil([&] { return presentedAlert() != nullptr; }));
  auto alert = presentedAlert();
  EXPECT_EQ(alert->alertTitle(), "提示");
  EXPECT_EQ(alert->message(), "连接服务器失败");
  ASSERT_EQ(alert->actions().size(), 1u);
  EXPECT_EQ(alert->actions()[0]->title(), "重试");
  advance(kit::ViewController::TransitionDuration);

  ASSERT_TRUE(simulator.page().up());
  ASSERT_TRUE(kit::test::pressAlertAction(*alert, "重试"));
  advance(kit::ViewController::TransitionDuration);
  ASSERT_TRUE(waitForPage());
  EXPECT_EQ(simulator.page().requests().size(), 2u);
}

TEST_F(ClientRoad, PageDialogsAnswerAsThePlayerChooses) {
  ASSERT_TRUE(waitForPage());
  std::optional<bool> first, second;
  driver->raiseConfirm("确定要离开吗？", [&](bool yes) { first = yes; });
  ASSERT_TRUE(kit::test::runUntil([&] { return presentedAlert() != nullptr; }));
  auto confirm = presentedAlert();
  EXPECT_EQ(confirm->alertTitle(), "提示");
  EXPECT_EQ(confirm->message(), "确定要离开吗？");
  ASSERT_EQ(confirm->actions().size(), 2u);
  EXPECT_EQ(confirm->actions()[0]->title(), "取消");
  EXPECT_EQ(confirm->actions()[0]->style(), kit::AlertActionStyle::Cancel);
  advance(kit::ViewController::TransitionDuration);
  ASSERT_TRUE(kit::test::pressAlertAction(*confirm, "取消"));
  advance(kit::ViewController::TransitionDuration);
  ASSERT_TRUE(kit::test::runUntil([&] { return first.has_value(); }));
  EXPECT_FALSE(*first);

  driver->raiseConfirm("", [&](bool yes) { second = yes; });
  ASSERT_TRUE(kit::test::runUntil([&] { return presentedAlert() != nullptr; }));
  advance(kit::ViewController::TransitionDuration);
  ASSERT_TRUE(kit::test::pressAlertAction(*presentedAlert(), "确认"));
  advance(kit::ViewController::TransitionDuration);
  ASSERT_TRUE(kit::test::runUntil([&] { return second.has_value(); }));
  EXPECT_TRUE(*second);

  bool alerted = false;
  driver->raiseAlert("hello", [&] { alerted = true; });
  ASSERT_TRUE(kit::test::runUntil([&] { return alerted; }));
  EXPECT_EQ(presentedAlert(), nullptr);

  std::optional<std::optional<std::string>> typed;
  driver->raisePrompt("昵称", std::string("默认"), [&](std::optional<std::string> text) { typed = text; });
  ASSERT_TRUE(kit::test::runUntil([&] { return presentedAlert() != nullptr; }));
  EXPECT_EQ(presentedAlert()->alertTitle(), "昵称");
  ASSERT_EQ(presentedAlert()->textFields().size(), 1u);
  EXPECT_EQ(presentedAlert()->textFields()[0]->text(), "默认");
  advance(kit::ViewController::TransitionDuration);
  ASSERT_TRUE(kit::test::pressAlertAction(*presentedAlert(), "完成"));
  advance(kit::ViewController::TransitionDuration);
  ASSERT_TRUE(kit::test::runUntil([&] { return typed.has_value(); }));
  EXPECT_EQ(**typed, "默认");
}

TEST_F(ClientRoad, MessagesOfOtherNamesOrShapesAreIgnored) {
  ASSERT_TRUE(waitForPage());
  EXPECT_FALSE(driver->postMessage("EventComplete", kit::str(R"({"action":"login"})")));
  EXPECT_TRUE(post("not json at all"));
  EXPECT_TRUE(post(R"({"action":"fly","data":{}})"));
  EXPECT_TRUE(post(R"(["login"])"));
  EXPECT_TRUE(post(R"({"action":"openStore","data":{}})"));
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(facade->loginCount(), 0);
  // Only the launch's "init" reached the channel server.
  EXPECT_EQ(simulator.channel().requestCount(), simulator.channel().requestsTo("init").size());
}

TEST_F(ClientRoad, StoreOpeningsFromThePageOpenTheHubWhoseRechargeReachesThePage) {
  auto overlays = RecordingStoreOverlays::install();
  struct Uninstall {
    ~Uninstall() { NUVAStoreOverlays::install(nullptr); }
  } uninstall;
  ASSERT_TRUE(waitForPage());
  logIn();
  reportRole();
  ASSERT_TRUE(kit::test::runUntil([&] { return simulator.game().requestsTo("menu/new").size() >= 2; }));
  ASSERT_TRUE(kit::test::runUntil([&] { return core->menuArray()->count() > 0; }));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(post(R"({"action":"openStore","data":{}})"));
    advance(0.3);
  }
  advance(1);
  ASSERT_TRUE(kit::test::runUntil([&] { return !overlays->hubs().empty(); }));
  EXPECT_EQ(overlays->hubs().size(), 1u);
  EXPECT_EQ(simulator.game().requestsTo("gmstore/goodsnew").size(), 1u);

  size_t before = answers().size();
  overlays->hubs()[0]->recharge();
  ASSERT_TRUE(waitForAnswers(before + 1));
  auto answer = kit::as<kit::Dictionary>(lastAnswer());
  ASSERT_TRUE(answer);
  EXPECT_EQ(kit::describe((*answer)["action"]), "goPay");
  EXPECT_EQ((*answer)["data"], nullptr);
  EXPECT_EQ(answer->count(), 1u);
  EXPECT_FALSE(core->isHallOpen());

  ASSERT_TRUE(post(R"({"action":"openResourseStore","data":{}})"));
  ASSERT_TRUE(kit::test::runUntil([&] { return core->responseData() != nullptr; }));
  advance(1);
  EXPECT_EQ(overlays->halls().size(), 1u);
}

// Fifty messages posted in one go are taken in the order the page posted
// them, and the answers reach the page in the order they came about. The
// logout at the end is answered before the role reports that went to the
// server, and none of the orders before it was refused for it. The
// payments, ended in a shuffled order that mixes successes and failures,
// answer in exactly that order.
TEST_F(ClientRoad, FiftyMixedMessagesAndTheirAnswersKeepTheirOrder) {
  ASSERT_TRUE(waitForPage());
  logIn();
  reportRole();
  const size_t settled = answers().size();

  auto order = [](int n, const char* leftOut = nullptr) {
    auto data = kit::mutableDict({{"money", std::to_string(n) + ".00"},
                                  {"good_name", "月 卡"},
                                  {"good_id", "60"},
                                  {"game_order_sn", "G-" + std::to_string(n)},
                                  {"role_id", "10086"},
                                  {"role_name", "凌霄"},
                                  {"role_level", "12"},
                                  {"service_id", "3"},
                                  {"service_name", "青龙"}});
    if (leftOut) data->removeObjectForKey(kit::str(leftOut));
    auto message = kit::dict({{"action", "pay"}, {"data", data}});
    return kit::JSONSerialization::dataWithJSONObject(message)->toString();
  };
  const std::string role = R"({"action":"uploadGameRoleInfo","data":{"role_id":"10086","role_name":"凌霄",)"
                           R"("role_level":"12","service_id":"3","service_name":"青龙"}})";
  std::vector<std::string> messages;
  for (int n = 1; n <= 30; ++n) messages.push_back(order(n));
  for (int i = 0; i < 5; ++i) messages.push_back(role);
  for (const char* field : {"good_id", "money", "service_name", "game_order_sn", "role_id", "good_name"}) {
    messages.push_back(order(99, field));
  }
  for (int i = 0; i < 3; ++i) {
    messages.push_back(R"({"action":"uploadGameRoleInfo","data":{"role_id":"10086","service_id":"3",)"
                       R"("service_name":"青龙"}})");
  }
  for (const char* other : {R"({"action":"fly","data":{}})", R"({"action":"Pay","data":{}})",
                            R"({"action":"logoutNow","data":{}})", "not json at all", R"(["pay"])"}) {
    messages.push_back(other);
  }
  std::mt19937 shuffle(16);
  std::shuffle(messages.begin(), messages.end(), shuffle);
  messages.push_back(R"({"action":"logout","data":{}})");
  ASSERT_EQ(messages.size(), 50u);
  for (const auto& message : messages) ASSERT_TRUE(post(message));

  ASSERT_TRUE(kit::test::runUntil(
      [&] { return facade->paySheets().size() == 30 && answers().size() == settled + 6; }));
  EXPECT_EQ(kit::describe(answers()[settled]["action"]), "clientlogout");
  for (size_t i = settled + 1; i < settled + 6; ++i) {
    EXPECT_EQ(kit::describe(answers()[i]["action"]), "uploadGameRoleInfo");
  }
  std::vector<std::string> placed;
  for (const auto& request : simulator.channel().requestsTo("order/index")) {
    placed.push_back(request.field("game_order_sn"));
  }
  std::sort(placed.begin(), placed.end());
  std::vector<std::string> wanted;
  for (int n = 1; n <= 30; ++n) wanted.push_back("G-" + std::to_string(n));
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(placed, wanted);

  // The player ends the thirty payments one after another, in one go.
  auto sheets = facade->paySheets();
  std::vector<size_t> ending(sheets.size());
  std::iota(ending.begin(), ending.end(), 0);
  std::shuffle(ending.begin(), ending.end(), shuffle);
  std::vector<std::string> expected;
  for (size_t k = 0; k < ending.size(); ++k) {
    const auto& sheet = sheets[ending[k]];
    const bool success = k % 3 != 1;
    ASSERT_TRUE(facade->finishPayment(success, sheet.attach));
    const std::string gameOrder = "G-" + std::to_string(std::stoi(sheet.money));
    expected.push_back(std::string(success ? "1 " : "2 ") + sheet.attach + " " + gameOrder);
  }
  ASSERT_TRUE(waitForAnswers(settled + 6 + expected.size()));
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  auto all = answers();
  ASSERT_EQ(all.size(), settled + 6 + expected.size());
  std::vector<std::string> heard;
  for (size_t i = settled + 6; i < all.size(); ++i) {
    kit::Id data = all[i]["data"];
    EXPECT_EQ(kit::describe(all[i]["action"]), "payNotify");
    EXPECT_EQ(kit::describe(data["channel_order"]), kit::describe(data["order_id"]));
    heard.push_back(kit::describe(data["status"]) + " " + kit::describe(data["order_id"]) + " " +
                    kit::describe(data["cp_order"]));
  }
  EXPECT_EQ(heard, expected);
}

}  // namespace
