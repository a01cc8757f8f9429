// Test support for the pay sheet tests (header only, for *_test.cc): a
// player with coins, vouchers and coupons on the platform service, the game
// as the key window's root, a recording floating ball, and opening a sheet
// whose blocks record what they hear.
#pragma once

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/foundation/json_serialization.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/navigation_controller.h"
#include "platform/account/testing/kt_api_test_fixture.h"
#include "platform/account/kt_new_pay_vc.h"
#include "platform/testing/recording_helper_btn.h"
#include "ui/widgets/ph_progress_hud.h"

class PaySheetTest : public PlatformAPITest {
 protected:
  // What an order's blocks heard, as "success|message|money" or
  // "failure|message|code|money".
  std::vector<std::string> heard;

  void SetUp() override {
    PlatformAPITest::SetUp();
    sim::PlatformAccount account;
    account.userName = "player01";
    account.platformCoins = 120;
    account.vouchers = "12.50";
    account.coupons = {sim::PlatformCoupon{"57", "满10减2", "10", "2"}, sim::PlatformCoupon{"58", "满5减12", "5", "12"}};
    platform->addAccount(account);
    storeUserName("player01");
    for (const char* art : {"tol_pay_titleIcon@2x.png", "KT_nav_back@2x.png", "KT_pay_notice@2x.png"}) {
      copyArtwork(art);
    }
    window->setRootViewController(game);
  }
  void TearDown() override {
    // A sheet stays open until its dismissal completes on this test's clock.
    for (int pages = 0; pages < 3; ++pages) {
      auto sheet = KTNewPayVC::openSheet();
      if (!sheet) break;
      sheet->pause();
      sheet->popAction();
      settle();
    }
    settle();
    game.reset();
    PlatformAPITest::TearDown();
  }
  void copyArtwork(const std::string& name) {
    std::ifstream in(std::string(PLATFORM_RESOURCES_DIR) + "/VIROV.bundle/" + name, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty()) << name;
    ASSERT_TRUE(bundle.addFile("VIROV.bundle/" + name, bytes));
  }

  static kit::Id json(std::string_view text) {
    return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(text));
  }

  KTNewPayVC::SuccessBlock success() {
    return [this](const kit::Ref<kit::String>& message, const kit::Ref<kit::String>& money) {
      heard.push_back("success|" + kit::describe(message) + "|" + kit::describe(money));
    };
  }
  KTNewPayVC::FailedBlock failure() {
    return [this](const kit::Ref<kit::String>& message, const kit::Ref<kit::String>& code,
                  const kit::Ref<kit::String>& money) {
      heard.push_back("failure|" + kit::describe(message) + "|" + kit::describe(code) + "|" + kit::describe(money));
    };
  }
  // Places an order with the facade's arguments; no waiting.
  void order(const char* money, const char* attach = "ORDER-1") {
    KTNewPayVC::loadToPayVCWithroleid(kit::str("R7"), kit::str("S2"), kit::str(money), kit::str(attach),
                                      kit::str("元宝"), kit::str("60元宝"), success(), failure());
  }
  // Opens a sheet for `money` and waits until its pay ways are in and the
  // HUD over it has gone. Their answer comes after the sheet's presentation
  // is over, as on a loaded machine (it is held until then): the HUD fades
  // out on this test's clock, which is moved on until it has left the
  // window, so that what a test sees next is the sheet alone.
  kit::Ref<KTNewPayVC> open(const char* money) {
    const size_t asked = server->requestsTo(KTNewPayVC::kPayWaysEndpoint).size();
    server->holdAnswers(KTNewPayVC::kPayWaysEndpoint);
    order(money);
    clock.advance(kit::ViewController::TransitionDuration);
    auto sheet = KTNewPayVC::openSheet();
    EXPECT_TRUE(sheet);
    EXPECT_TRUE(waitForCalls(KTNewPayVC::kPayWaysEndpoint, asked + 1));
    server->releaseAnswers(KTNewPayVC::kPayWaysEndpoint);
    EXPECT_TRUE(kit::test::runUntil([&] { return sheet && sheet->hud() && sheet->hud()->hasFinished(); }))
        << "the pay ways are in";
    if (auto hud = sheet ? sheet->hud() : nullptr) {
      clock.advance(PHProgressHUD::AnimationDuration);
      EXPECT_TRUE(kit::test::runUntil([&] { return !hud->superview(); })) << "the HUD stays after fading out";
    }
    return sheet;
  }
  kit::NavigationController* nav(KTNewPayVC& sheet) { return sheet.navigationController(); }
  void settle() { clock.advance(kit::ViewController::TransitionDuration); }

  kit::VirtualClock clock;
  kit::test::LogCapture logs;
  std::shared_ptr<RecordingHelperBtn> ballHandle = RecordingHelperBtn::install();
  RecordingHelperBtn& ball = *ballHandle;
  // How often the screens called the ball's `name`.
  long ballCalls(const std::string& name) const {
    return std::count(ball.calls().begin(), ball.calls().end(), name);
  }
  kit::Ref<kit::ViewController> game = kit::ViewController::make();
};
