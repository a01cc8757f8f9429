// The client end to end on the real platform SDK: the page driver plays the
// game page, the light channel reaches the platform through the facade the
// application installs, and the player logs in through the login window
// and pays through the pay sheet and the simulated wallet. The floating
// ball is the recording stand-in.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/application_main.h"
#include "app/platform_sdk.h"
#include "config/client_configuration.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/account/cxr_sub_name_vc.h"
#include "platform/account/kt_login_view.h"
#include "platform/account/kt_new_pay_vc.h"
#include "platform/account/kt_pay_plug.h"
#include "platform/base/testing/platform_test_bundle.h"
#include "platform/testing/recording_helper_btn.h"
#include "sim/simulator.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

class PlatformRoad : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    kit::Application::shared()->reset();
    // The game's bundle: the channel's game id next to the platform's KT.plist.
    kit::writePropertyListToFile(kit::dict({{"CFBundleIdentifier", "com.example.starfleet"}}),
                                 bundle.path() + "/Info.plist");
    kit::writePropertyListToFile(kit::dict({{"game_id", "1001"}}), bundle.path() + "/NUVAPLIST.plist");
    kit::Bundle::setMainBundlePath(bundle.path());
    simulator.channel().setPackage("com.example.starfleet");
    sim::PlatformAccount player;
    player.userName = "player01";
    player.password = "pass123";
    player.askRealName = false;
    player.subAccounts = {{"小号1", "player01_1", "1717000001"}};
    simulator.platform().addAccount(player);
    ClientConfiguration::shared().setOverrides(simulator.configuration());
    PlatformSDK::install();
    app = startApplication(core, 0);
    controller = app.controller();
    ASSERT_TRUE(controller);
    driver = controller->wkWebView()->pageDriver();
    ASSERT_TRUE(driver);
    ASSERT_TRUE(kit::test::runUntil([&] { return controller->pageFinished(); }));
  }

  void TearDown() override {
    if (auto sheet = KTNewPayVC::openSheet()) {
      sheet->pause();
      sheet->popAction();
    }
    advance(3);
    controller = nullptr;
    driver = nullptr;
    app = {};
    kit::Application::shared()->reset();
    advance(3);
    ClientConfiguration::shared().setOverrides(nullptr);
    TolmixSDKFacade::install(nullptr);
    libNUVALightChannel::sharedInstance()->setDelegate(nullptr);
    KTPayPlug::sharedInstance()->setBlock(nullptr);
    VirtualClockTest::TearDown();
  }

  bool post(const std::string& json) { return driver->postMessage("eventComplete", kit::str(json)); }
  std::vector<kit::Id> answers() const { return driver->callbacks(); }
  // The channel's hops and HUDs run on kit's timers, so a wait moves kit's
  // clock on, by up to `step` per pass; requests time out on the same clock,
  // so it moves at most twice as fast as real time (a loaded machine's
  // servers still answer in time).
  bool waitMovingTheClock(double step, const std::function<bool()>& done) {
    auto last = std::chrono::steady_clock::now();
    return kit::test::runUntil([&] {
      const auto now = std::chrono::steady_clock::now();
      advance(std::min(step, 2 * std::chrono::duration<double>(now - last).count()));
      last = now;
      return done();
    });
  }
  bool waitForAction(const std::string& action, size_t after) {
    return waitMovingTheClock(0.1, [&] {
      auto all = answers();
      for (size_t i = after; i < all.size(); ++i)
        if (d(all[i]["action"]) == action) return true;
      return false;
    });
  }
  kit::Id lastAnswer() const { return answers().back(); }

  template <class V>
  static kit::Ref<V> findView() {
    for (const auto& window : kit::Application::shared()->windows()) {
      auto found = kit::test::findViewsOfType<V>(*window);
      if (!found.empty()) return found.front();
    }
    return nullptr;
  }

  // The page asks for a login; the player types the account into the
  // login window and picks the sub-account.
  void logIn() {
    const size_t before = answers().size();
    ASSERT_TRUE(post(R"({"action":"login","data":{}})"));
    kit::Ref<KTLoginView> card;
    ASSERT_TRUE(kit::test::runUntil([&] { return (card = findView<KTLoginView>()) != nullptr; }));
    advance(1);  // the card drops into place
    KTLoginView::get(card->outlets().loginName)->setText("player01");
    KTLoginView::get(card->outlets().loginPwd)->setText("pass123");
    card->layoutIfNeeded();
    ASSERT_TRUE(kit::test::tap(KTLoginView::get(card->outlets().loginBtn)));
    kit::Ref<CXRSubNameVC> chooser;
    ASSERT_TRUE(waitMovingTheClock(0.5, [&] {
      chooser = kit::test::findController<CXRSubNameVC>();
      return chooser && chooser->tableView() && !chooser->tableView()->visibleCells().empty();
    }));
    ASSERT_TRUE(kit::test::tap(chooser->tableView()->visibleCells().front()));
    ASSERT_TRUE(waitForAction("loginNotify", before));
    advance(1);
  }
  void reportRole() {
    const size_t before = answers().size();
    ASSERT_TRUE(post(R"({"action":"uploadGameRoleInfo","data":{"role_id":"10086","role_name":"凌霄",)"
                     R"("role_level":"12","service_id":"3","service_name":"青龙"}})"));
    ASSERT_TRUE(waitForAction("uploadGameRoleInfo", before));
  }
  // Places an order from the page and pays it in the wallet app.
  kit::Id payInWallet(const std::string& gameOrder) {
    const size_t before = answers().size();
    auto message = kit::dict({{"action", "pay"},
                              {"data", kit::dict({{"money", "6.00"},
                                                  {"good_name", "月卡"},
                                                  {"good_id", "60"},
                                                  {"game_order_sn", gameOrder},
                                                  {"role_id", "10086"},
                                                  {"role_name", "凌霄"},
                                                  {"role_level", "12"},
                                                  {"service_id", "3"},
                                                  {"service_name", "青龙"}})}});
    EXPECT_TRUE(driver->postMessage("eventComplete",
                                    kit::str(kit::JSONSerialization::dataWithJSONObject(message)->toString())));
    kit::Ref<KTNewPayVC> sheet;
    EXPECT_TRUE(kit::test::runUntil([&] { return (sheet = KTNewPayVC::openSheet()) && sheet->payStyle() != 0; }));
    if (!sheet) return nullptr;
    advance(1);
    sheet->doGFWalletPay();
    kit::test::tap(sheet->payBtn());
    EXPECT_TRUE(kit::test::runUntil([&] { return sheet->coverView()->superview() != nullptr; }));
    notice = sheet->noticeView()->statusL()->text();
    kit::test::tap(sheet->noticeView()->goToGameButton());
    EXPECT_TRUE(waitForAction("payNotify", before));
    advance(1);
    return lastAnswer();
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  PlatformTestBundle bundle;
  sim::Simulator simulator;
  std::shared_ptr<RecordingHelperBtn> ball = RecordingHelperBtn::install();
  kit::Ref<JHLCoreEntity> core = kit::make<JHLCoreEntity>();
  ClientApplication app;
  kit::Ref<ViewController> controller;
  kit::Ref<kit::PageDriver> driver;
  std::string notice;
};

TEST_F(PlatformRoad, TheLoginWindowsSubAccountLogsInToTheChannel) {
  ASSERT_EQ(TolmixSDKFacade::installed() != nullptr, true);
  logIn();
  auto login = simulator.channel().requestsTo("login/index");
  ASSERT_FALSE(login.empty());
  EXPECT_EQ(login.back().field("uid"), "player01_1");
  EXPECT_EQ(login.back().field("channel_code"), "1717000001");
  EXPECT_FALSE(login.back().field("token").empty());

  // A switch of account in the user centre: the page hears of the logout.
  ASSERT_TRUE(ball->failedBlock());
  const size_t before = answers().size();
  ball->failedBlock()(kit::str("注销"), kit::str("-9"));
  EXPECT_TRUE(waitForAction("clientlogout", before));
}

TEST_F(PlatformRoad, WalletPaymentsEndInPayNotify) {
  simulator.wallet().install();
  logIn();
  reportRole();
  kit::Id paid = payInWallet("G-0001");
  ASSERT_TRUE(paid);
  EXPECT_EQ(notice, "充值成功");
  EXPECT_EQ(d(paid["data"]["status"]), "1");
  EXPECT_EQ(d(paid["data"]["cp_order"]), "G-0001");

  simulator.wallet().setAnswer("6001");
  kit::Id cancelled = payInWallet("G-0002");
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(notice, "取消充值");
  EXPECT_EQ(d(cancelled["data"]["status"]), "2");
  EXPECT_EQ(d(cancelled["data"]["cp_order"]), "G-0002");
}

}  // namespace
