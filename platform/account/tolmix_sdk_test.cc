// The platform facade: the URL cache at launch, the role report and what it
// stores, the pay sheet behind its pay call, the logout, the payment return
// URL and the orientations from the main bundle.
#include "platform/account/tolmix_sdk.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "kit/foundation/property_list.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/user_defaults.h"
#include "kit/net/url_cache.h"
#include "kit/ui/application.h"
#include "platform/account/kt_alter_login_vc.h"
#include "platform/account/kt_pay_plug.h"
#include "platform/account/testing/kt_pay_sheet_fixture.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

class Facade : public PaySheetTest {
 protected:
  void SetUp() override {
    PaySheetTest::SetUp();
    sim::PlatformAccount other;
    other.userName = "player02";
    platform->addAccount(other);
  }
  // Reports a role and waits for the answer (or for `requests` requests).
  long report(const char* zoneName, bool wait = true) {
    long result = -1;
    TolmixSDK::SetUserInfoDataWithRoleId(kit::str("R1"), kit::str("勇者"), kit::str("30"), kit::str("S1"),
                                         kit::str(zoneName), kit::str("ext-1"), [&](long r) { result = r; });
    if (wait) {
      EXPECT_TRUE(kit::test::runUntil([&] { return result != -1; }));
    }
    return result;
  }
  kit::Id roleInfo() { return kit::UserDefaults::standardUserDefaults()->objectForKey(TolmixSDK::kRoleInfoKey); }
  void writeOrientations(const kit::Id& list) {
    auto info = kit::MutableDictionary::make();
    info->setObject(kit::str("com.example.platform"), "CFBundleIdentifier");
    if (list) info->setObject(list, "UISupportedInterfaceOrientations");
    // A folder per content: a bundle keeps the information it read.
    const std::string folder = bundle.path() + "/orientations" + std::to_string(++written);
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(kit::writePropertyListToFile(info, folder + "/Info.plist"));
    kit::Bundle::setMainBundlePath(folder);
  }
  void TearDown() override {
    if (written) kit::Bundle::setMainBundlePath(bundle.path());
    PaySheetTest::TearDown();
  }
  int written = 0;
  unsigned orientations() {
    return TolmixSDK::supportedInterfaceOrientationsForWindow(*kit::Application::shared(), window.get());
  }
};

TEST_F(Facade, LaunchInstallsTheSharedURLCache) {
  auto before = kit::URLCache::sharedURLCache();
  TolmixSDK::didFinishLaunching();
  auto cache = kit::URLCache::sharedURLCache();
  ASSERT_TRUE(cache);
  EXPECT_NE(cache, before);
  EXPECT_EQ(cache->memoryCapacity(), 4194304u);
  EXPECT_EQ(cache->diskCapacity(), 33554432u);
  EXPECT_TRUE(cache->diskPath().ends_with("/nsurlcache")) << cache->diskPath();
  EXPECT_EQ(cache->diskPath(),
            kit::describe(kit::searchPathForDirectoriesInDomains(kit::CachesDirectory)->objectAtIndex(0)) + "/nsurlcache")
      << "in the application's caches, not the working directory";
  kit::URLCache::setSharedURLCache(before);
}

TEST_F(Facade, RoleReportStoresTheRoleBeforeSendingIt) {
  // An empty zone name: 2, nothing stored, nothing sent.
  kit::UserDefaults::standardUserDefaults()->setObject(kit::dict({{"roleId", "old"}}), TolmixSDK::kRoleInfoKey);
  EXPECT_EQ(report(""), 2);
  EXPECT_EQ(d(roleInfo()["roleId"]), "old");
  EXPECT_TRUE(server->requestsTo("User/setRole").empty());

  EXPECT_EQ(report("一区"), 1);
  EXPECT_EQ(d(roleInfo()["zoneName"]), "一区");
  EXPECT_EQ(d(roleInfo()["ext"]), "ext-1");
  auto sent = sentTo("User/setRole");
  EXPECT_EQ(d(sent["x"]), "一区");
  EXPECT_EQ(d(sent["h"]), "ext-1");
  ASSERT_TRUE(platform->reportedRole("player01"));

  // Refused: 0, the new role kept.
  server->enqueue("User/setRole", sim::PlatformAPIReply::scrambled(kit::dict({{"code", 0}, {"msg", "no"}})));
  EXPECT_EQ(report("二区"), 0);
  EXPECT_EQ(d(roleInfo()["zoneName"]), "二区");

  // An answer without a reply object: no call at all.
  server->enqueue("User/setRole", sim::PlatformAPIReply::bytes("<html>500</html>", 500));
  const size_t before = server->requestsTo("User/setRole").size();
  long result = report("三区", false);
  ASSERT_TRUE(waitForCalls("User/setRole", before + 1));
  kit::test::runUntil([&] { return result != -1; }, 0.2);
  EXPECT_EQ(result, -1);
}

TEST_F(Facade, PayOpensTheSheetAndHandsItsAnswersUp) {
  std::vector<std::string> answers;
  TolmixSDK::loadToPayVCWithroleid(
      kit::str("R9"), kit::str("6"), kit::str("S5"), kit::str("礼包A"), kit::str("礼包说明"), kit::str("CP-77"),
      [&](const kit::Ref<kit::String>& m, const kit::Ref<kit::String>& money) {
        answers.push_back("success|" + d(m) + "|" + d(money));
      },
      [&](const kit::Ref<kit::String>& m, long code, const kit::Ref<kit::String>& money) {
        answers.push_back("failure|" + d(m) + "|" + std::to_string(code) + "|" + d(money));
      });
  settle();
  auto sheet = KTNewPayVC::openSheet();
  ASSERT_TRUE(sheet);
  ASSERT_TRUE(waitForCalls(KTNewPayVC::kPayWaysEndpoint, 1));
  ASSERT_TRUE(kit::test::runUntil([&] { return sheet->payStyle() == 2; }));
  server->enqueue("H5pay/pay", sim::PlatformAPIReply::scrambled(kit::dict({{"z", "0"}, {"b", "关闭"}})));
  kit::test::tap(sheet->payBtn());
  ASSERT_TRUE(kit::test::runUntil([&] { return !answers.empty(); }));
  EXPECT_EQ(answers[0], "failure|无法通知服务器|3|6");
  auto h5 = sentTo("H5pay/pay");
  EXPECT_EQ(d(h5["d"]), "R9");
  EXPECT_EQ(d(h5["p"]), "6");
  EXPECT_EQ(d(h5["e"]), "S5");
  EXPECT_EQ(d(h5["l"]), "礼包A");
  EXPECT_EQ(d(h5["y"]), "礼包说明");
  EXPECT_EQ(d(h5["n"]), "CP-77");

  sheet->doPtbPay();
  kit::test::tap(sheet->payBtn());
  ASSERT_TRUE(waitForCalls("Ttbpaynew/ttbnew", 1));
  auto coins = sentTo("Ttbpaynew/ttbnew");
  EXPECT_EQ(d(coins["x"]), "R9");
  EXPECT_EQ(d(coins["p"]), "60");
  EXPECT_EQ(d(coins["h"]), "S5");
  EXPECT_EQ(d(coins["k"]), "礼包A");
  EXPECT_EQ(d(coins["l"]), "礼包说明");
  EXPECT_EQ(d(coins["y"]), "CP-77");
  ASSERT_TRUE(kit::test::runUntil([&] { return answers.size() == 2; }));
  EXPECT_TRUE(answers[1].starts_with("success|")) << answers[1];
  EXPECT_TRUE(answers[1].ends_with("|6")) << answers[1];
}

TEST_F(Facade, FailureCodesReachTheCallerAsIntegers) {
  std::vector<long> codes;
  TolmixSDK::loadToPayVCWithroleid(kit::str("R9"), kit::str("6"), kit::str("S5"), kit::str("A"), kit::str("A"),
                                   kit::str("CP"), nullptr,
                                   [&](const kit::Ref<kit::String>&, long code, const kit::Ref<kit::String>&) {
                                     codes.push_back(code);
                                   });
  settle();
  TolmixSDK::loadToPayVCWithroleid(kit::str("R9"), kit::str("7"), kit::str("S5"), kit::str("A"), kit::str("A"),
                                   kit::str("CP"), nullptr,
                                   [&](const kit::Ref<kit::String>&, long code, const kit::Ref<kit::String>&) {
                                     codes.push_back(code);
                                   });
  ASSERT_EQ(codes.size(), 1u);
  EXPECT_EQ(codes[0], -1) << "the busy sheet's \"-1\"";

  auto sheet = KTNewPayVC::openSheet();
  ASSERT_TRUE(sheet);
  ASSERT_TRUE(kit::test::runUntil([&] { return sheet->payStyle() == 2; }));
  sheet->doPtbPay();
  server->enqueue("Ttbpaynew/ttbnew", sim::PlatformAPIReply::scrambled(kit::dict({{"z", "x"}, {"c", "坏"}})));
  kit::test::tap(sheet->payBtn());
  ASSERT_TRUE(kit::test::runUntil([&] { return codes.size() == 2; }));
  EXPECT_EQ(codes[1], 0);
}

TEST_F(Facade, LogoutHidesTheBallStopsItsTimerAndReturnsBeforeTheAnswer) {
  auto timer = kit::TimerSource::create(kit::Queue::main());
  int ticks = 0;
  timer->setTimer(1, 1, 0);
  timer->setEventHandler([&] { ++ticks; });
  timer->resume();
  ball.setTimer(timer);
  ShareVale::sharedInstance()->setLoginStyle(0);
  TolmixSDK::LoginOut();
  EXPECT_EQ(ballCalls("hide"), 1);
  EXPECT_FALSE(ball.timer());
  EXPECT_EQ(ShareVale::sharedInstance()->loginStyle(), 2u);
  // The answer, which empties the stored name, comes later on the main queue.
  EXPECT_EQ(d(ShareVale::sharedInstance()->userName()), "player01");
  EXPECT_FALSE(toastShown("退出成功"));
  ASSERT_TRUE(waitForCalls("login/logout", 1));
  EXPECT_EQ(d(sentTo("login/logout")["z"]), "player01");
  EXPECT_TRUE(kit::test::runUntil([&] { return toastShown("退出成功"); }));
  clock.advance(5);
  kit::test::runUntil([] { return false; }, 0.02);
  EXPECT_EQ(ticks, 0) << "the ball's timer was cancelled";
}

TEST_F(Facade, LoginHandsTheWindowsAnswersUpWithTheCodeAsAnInteger) {
  std::vector<std::string> answers;
  TolmixSDK::loadLoginViewResultSuccess(
      [&](const kit::Ref<kit::String>& time, const kit::Ref<kit::String>& name, const kit::Ref<kit::String>& sign,
          const kit::Ref<kit::String>& realName) {
        answers.push_back("success|" + d(time) + "|" + d(name) + "|" + d(sign) + "|" + d(realName));
      },
      [&](long code, const kit::Ref<kit::String>& message) {
        answers.push_back("failure|" + std::to_string(code) + "|" + d(message));
      });
  kit::Ref<KTAlterLoginVC> login;
  for (const auto& shown : kit::Application::shared()->windows()) {
    if (auto nav = kit::as<kit::NavigationController>(shown->rootViewController())) {
      if (!nav->viewControllers().empty()) login = kit::as<KTAlterLoginVC>(nav->viewControllers().front());
    }
    if (login) break;
  }
  ASSERT_TRUE(login) << "the login window is open";
  login->ktLoginViewLoginFaildeMessage(kit::str("m"), kit::str("-9"));
  login->ktLoginViewLoginFaildeMessage(kit::str("n"), kit::str("x"));
  login->ktLoginViewLoginSuccessLogintime(kit::str("1717000000"), kit::str("player01"), kit::str("sign-1"),
                                          LoginResult::responseWithDic(kit::dict({{"nrz", "1"}})));
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0], "failure|-9|m");
  EXPECT_EQ(answers[1], "failure|0|n");
  EXPECT_EQ(answers[2], "success|1717000000|player01|sign-1|1");
  // The ball keeps the failure block for a switch of account.
  ASSERT_TRUE(ball.failedBlock());
  ball.failedBlock()(kit::str("注销"), kit::str("-9"));
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_EQ(answers[3], "failure|-9|注销");
  settle();
  clock.advance(KTAlterLoginVC::FadeDuration);
}

TEST_F(Facade, OnlyThePaymentReturnURLReachesThePlug) {
  auto app = kit::Application::shared();
  auto plug = KTPayPlug::sharedInstance();
  const std::string result = "?result=%7B%22resultStatus%22%3A%229000%22%2C%22memo%22%3A%22%22%2C%22result%22%3A%22%22%7D";
  int n = 0;
  auto deliver = [&](const std::string& url) {
    switch (n++ % 3) {
      case 0: TolmixSDK::handleOpenURL(*app, url); break;
      case 1: TolmixSDK::openURL(*app, url, "wallet", nullptr); break;
      default: TolmixSDK::openURL(*app, url, kit::Dictionary::make()); break;
    }
  };
  for (int form = 0; form < 3; ++form) {
    plug->setWalletPayResultDic(nullptr);
    n = form;
    deliver("TolmixWalletPayScheme1001://safepay/" + result);
    ASSERT_TRUE(plug->walletPayResultDic()) << form;
    EXPECT_EQ(d(kit::Id(plug->walletPayResultDic())["resultStatus"]), "9000");
  }
  for (const std::string& url : {"tolmixwalletpayscheme1001://safepay/" + result,
                                "TolmixWalletPayScheme1001://pay/" + result,
                                std::string("TolmixWalletPayScheme1002://safepay/"), std::string("not a url")}) {
    plug->setWalletPayResultDic(nullptr);
    deliver(url);
    EXPECT_FALSE(plug->walletPayResultDic()) << url;
  }
}

TEST_F(Facade, OrientationsComeFromTheMainBundle) {
  writeOrientations(kit::array({"UIInterfaceOrientationPortrait", "UIInterfaceOrientationLandscapeLeft"}));
  EXPECT_EQ(orientations(), 26u);
  writeOrientations(kit::array({"UIInterfaceOrientationPortraitUpsideDown"}));
  EXPECT_EQ(orientations(), 2u);
  writeOrientations(kit::array({"UIInterfaceOrientationLandscapeRight"}));
  EXPECT_EQ(orientations(), 24u);
  writeOrientations(kit::array({}));
  EXPECT_EQ(orientations(), 24u);
  writeOrientations(nullptr);
  EXPECT_EQ(orientations(), 24u);
}

}  // namespace
