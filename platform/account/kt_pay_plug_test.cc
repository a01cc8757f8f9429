// The pay plug with the payment vendor's service and the simulated wallet:
// what doPay hands the wallet, how a result dictionary becomes the sheet's
// status and error, the whole road from an app order to the block; and the
// pay notice's two buttons.
#include "platform/account/kt_pay_plug.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "kit/foundation/data_file.h"
#include "kit/foundation/url_components.h"
#include "kit/ui/render.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/ui_test_driver.h"
#include "payvendor/pay/wallet_pay_sdk.h"
#include "platform/account/testing/kt_api_test_fixture.h"
#include "platform/account/kt_pay_api.h"
#include "platform/account/kt_pay_notice_view.h"
#include "sim/wallet_app.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

// What the plug's block received, call by call.
struct BlockLog {
  struct Call {
    unsigned long payWay;
    std::string status;
    kit::Ref<kit::Error> error;
  };
  std::vector<Call> calls;
  KTPayPlug::Block block() {
    return [this](unsigned long payWay, const kit::Ref<kit::String>& status, const kit::Ref<kit::Error>& error) {
      calls.push_back({payWay, d(status), error});
    };
  }
};

// The open-URL road of the facade for the wallet's return URLs: the
// vendor's reading of the URL, then the plug.
struct ReturnRoad : kit::ApplicationDelegate {
  int returns = 0;
  std::optional<bool> openURL(kit::Application&, const std::string& url, const kit::Ref<kit::Dictionary>&) override {
    ++returns;
    WalletPaySDK::defaultService()->processOrderWithPaymentResult(
        kit::URL::URLWithString(url),
        [](const kit::Ref<kit::Dictionary>& result) { KTPayPlug::sharedInstance()->setWalletPayResultDic(result); });
    return true;
  }
};

class PayPlugTest : public PlatformAPITest {
 protected:
  void SetUp() override {
    PlatformAPITest::SetUp();
    sim::PlatformAccount account;
    account.userName = "player01";
    platform->addAccount(account);
    storeUserName("player01");
    wallet = std::make_unique<sim::WalletApp>(*platform);
    kit::Application::shared()->setDelegate(road);
    plug->setPayWay(KTPayWayWalletPayApp);
    plug->setBlock(nullptr);
    plug->setWalletPayInfo(nullptr);
  }
  void TearDown() override {
    wallet.reset();
    plug->setBlock(nullptr);
    PlatformAPITest::TearDown();
  }

  // An app order placed with the platform through the pay API.
  kit::Ref<WalletPayInfo> appOrder(const char* number) {
    Outcome outcome;
    KTPayAPI::doWalletPayAppPayWithMoney(kit::str("6"), kit::str("6"), nullptr, kit::str(number), kit::str("1.00"),
                                         kit::str("r1"), kit::str("s1"), kit::str("月卡"), kit::str("30天"),
                                         kit::str("cp"), kit::str("WalletPayapp/apppayios"),
                                         outcome.success<WalletPayInfo>(), outcome.failure());
    EXPECT_TRUE(outcome.wait());
    return kit::as<WalletPayInfo>(outcome.result);
  }
  // A result for the order "B7".
  static kit::Ref<kit::Dictionary> result(kit::Value status, kit::Value memo) {
    return kit::dict({{"resultStatus", status}, {"memo", memo}, {"result", R"({"out_trade_no":"B7"})"}});
  }
  // The signed order of "B7", which the plug waits for.
  static kit::Ref<WalletPayInfo> orderB7() {
    auto info = kit::make<WalletPayInfo>();
    info->setSignStr(kit::str(R"(partner="10001"&out_trade_no="B7"&sign="s")"));
    return info;
  }

  kit::Ref<KTPayPlug> plug = KTPayPlug::sharedInstance();
  std::unique_ptr<sim::WalletApp> wallet;
  std::shared_ptr<ReturnRoad> road = std::make_shared<ReturnRoad>();
  BlockLog log;
};

TEST_F(PayPlugTest, DoPayHandsTheSignedOrderAndTheReturnSchemeToTheWallet) {
  wallet->install();
  auto info = kit::make<WalletPayInfo>();
  info->setSignStr(kit::str("partner=\"10001\"&sign=\"x y\""));
  plug->setWalletPayInfo(info);
  EXPECT_EQ(KTPayPlug::sharedInstance(), plug);

  plug->setPayWay(1);
  plug->doPay(log.block());
  EXPECT_TRUE(plug->block()) << "other routes keep the block";
  EXPECT_TRUE(kit::Application::shared()->openedURLs().empty());

  plug->setPayWay(KTPayWayWalletPayApp);
  plug->doPay(log.block());
  ASSERT_EQ(kit::Application::shared()->openedURLs().size(), 1u);
  auto opened = kit::URLComponents::componentsWithString(kit::Application::shared()->openedURLs()[0]);
  ASSERT_TRUE(opened);
  EXPECT_EQ(d(opened->scheme()), "walletpay");
  auto items = opened->queryItems();
  ASSERT_EQ(items->count(), 2u);
  EXPECT_EQ(d(kit::as<kit::URLQueryItem>(items->objectAtIndex(0))->value()), "partner=\"10001\"&sign=\"x y\"");
  EXPECT_EQ(d(kit::as<kit::URLQueryItem>(items->objectAtIndex(1))->value()), "TolmixWalletPayScheme1001");
  EXPECT_EQ(KTPayPlug::returnScheme(), "TolmixWalletPayScheme1001");
}

TEST_F(PayPlugTest, AResultDictionaryBecomesTheStatusAndErrorOfTheHeldBlock) {
  // Without a block the dictionary is only kept.
  plug->setWalletPayResultDic(result("9000", "m0"));
  EXPECT_EQ(d(kit::Id(plug->walletPayResultDic())["memo"]), "m0");

  plug->setPayWay(1);
  plug->setWalletPayInfo(orderB7());
  plug->doPay(log.block());
  plug->setWalletPayResultDic(result("9000", ""));
  plug->setWalletPayResultDic(result("6001", "用户中途取消"));
  plug->setWalletPayResultDic(result("4000", "订单支付失败"));
  plug->setWalletPayResultDic(result("9000", ""));
  ASSERT_EQ(log.calls.size(), 4u) << "the block stays for every later result";
  EXPECT_EQ(log.calls[0].payWay, 1u);
  EXPECT_EQ(log.calls[0].status, "充值成功");
  EXPECT_FALSE(log.calls[0].error);
  EXPECT_EQ(log.calls[1].status, "取消充值");
  EXPECT_EQ(log.calls[1].error->domain(), "支付失败,用户取消支付");
  EXPECT_EQ(log.calls[1].error->code(), 6001);
  EXPECT_EQ(d(kit::Id(log.calls[1].error->userInfo())["ErrorInfo"]), "用户中途取消");
  EXPECT_EQ(log.calls[2].status, "充值失败");
  EXPECT_EQ(log.calls[2].error->domain(), "支付失败");
  EXPECT_EQ(log.calls[2].error->code(), 4000);
  EXPECT_EQ(d(kit::Id(log.calls[2].error->userInfo())["ErrorInfo"]), "订单支付失败");
  EXPECT_EQ(log.calls[3].status, "充值成功");

  // A status or memo of another kind reads as missing: a failure, code 0,
  // without "ErrorInfo"; one block call each.
  log.calls.clear();
  plug->setWalletPayResultDic(result(9000, kit::array({1})));
  plug->setWalletPayResultDic(kit::dict({}));
  plug->setWalletPayResultDic(nullptr);
  plug->setWalletPayResultDic(result("5000abc", "m"));
  ASSERT_EQ(log.calls.size(), 4u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(log.calls[i].status, "充值失败");
    EXPECT_EQ(log.calls[i].error->code(), 0);
    EXPECT_EQ(kit::Id(log.calls[i].error->userInfo())["ErrorInfo"], nullptr);
  }
  EXPECT_EQ(log.calls[3].error->code(), 5000);
  EXPECT_EQ(plug->walletPayResultDic()->count(), 3u);
}

TEST_F(PayPlugTest, ASuccessIsPaidOnlyForTheOrderItWaitsForAsWritten) {
  // The order number of a signed order: quoted values may hold "&" and "=".
  EXPECT_EQ(KTPayPlug::orderNumberOfSignedOrder(
                R"(partner="1"&subject="礼包&out_trade_no=A1"&out_trade_no="B7"&sign="s")"),
            "B7");
  EXPECT_EQ(KTPayPlug::orderNumberOfSignedOrder("flag&out_trade_no=B7&total_fee=6"), "B7");
  EXPECT_EQ(KTPayPlug::orderNumberOfSignedOrder(R"(xout_trade_no="B7")"), "");
  EXPECT_EQ(KTPayPlug::orderNumberOfSignedOrder(R"(partner="1&out_trade_no=B7)"), "");
  EXPECT_EQ(KTPayPlug::orderNumberOfSignedOrder(""), "");

  kit::test::LogCapture logs;
  auto info = kit::make<WalletPayInfo>();
  info->setSignStr(kit::str(R"(partner="10001"&subject="礼包&out_trade_no=A1"&out_trade_no="B7"&sign="s")"));
  plug->setWalletPayInfo(info);
  plug->setBlock(log.block());
  auto paid = [](const kit::Id& result) {
    return kit::dict({{"resultStatus", "9000"}, {"memo", ""}, {"result", result}});
  };
  // Another order's success, however it names the order, and B7 written
  // another way: kept, logged, and unconfirmed, for the platform to say.
  const kit::Id others[] = {kit::str(R"({"out_trade_no":"A1","total_fee":"6"})"), kit::str(R"({"out_trade_no":7})"),
                            kit::dict({{"out_trade_no", "A1"}}),          kit::str(R"({"out_trade_no":" B7 "})"),
                            kit::str(R"({"out_trade_no":"0B7"})"),         kit::str(R"({"out_trade_no":"B7\n"})")};
  for (const kit::Id& other : others) {
    plug->setWalletPayResultDic(paid(other));
    EXPECT_EQ(d(kit::Id(plug->walletPayResultDic())["result"]), d(other));
  }
  ASSERT_EQ(log.calls.size(), std::size(others));
  for (const auto& call : log.calls) {
    EXPECT_EQ(call.status, KTPayPlug::kUnconfirmedStatus);
    ASSERT_TRUE(call.error);
    EXPECT_EQ(call.error->domain(), KTPayPlug::kUnconfirmedDomain);
  }
  EXPECT_EQ(logs.count(), std::size(others));
  EXPECT_TRUE(logs.contains("A1"));

  // Its own result is a success; a success that names no order the plug
  // can read may be another order's: it reaches the block unconfirmed,
  // with the wallet's status and memo.
  log.calls.clear();
  plug->setWalletPayResultDic(paid(kit::str(R"({"out_trade_no":"B7"})")));
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].status, "充值成功");
  EXPECT_FALSE(log.calls[0].error);
  log.calls.clear();
  const kit::Id unnamed[] = {kit::str(""),
                             kit::str("not json"),
                             kit::str(R"({"total_fee":"6"})"),
                             kit::str("[1]"),
                             kit::str(R"({"OUT_TRADE_NO":"B7"})"),
                             kit::str(R"({"trade":{"out_trade_no":"B7"}})"),
                             kit::str("out_trade_no=B7&total_fee=6"),
                             kit::dict({{"out_trade_no", kit::array({"B7"})}}),
                             nullptr};
  for (const kit::Id& result : unnamed) {
    plug->setWalletPayResultDic(kit::dict({{"resultStatus", "9000"}, {"memo", "m"}, {"result", result}}));
  }
  ASSERT_EQ(log.calls.size(), std::size(unnamed));
  for (const auto& call : log.calls) {
    EXPECT_EQ(call.status, KTPayPlug::kUnconfirmedStatus);
    ASSERT_TRUE(call.error);
    EXPECT_EQ(call.error->domain(), KTPayPlug::kUnconfirmedDomain);
    EXPECT_EQ(call.error->code(), 9000);
    EXPECT_EQ(d(kit::Id(call.error->userInfo())["ErrorInfo"]), "m");
  }
  // Cancels and failures that name no order are handed on as they stand.
  log.calls.clear();
  plug->setWalletPayResultDic(kit::dict({{"resultStatus", "6001"}, {"memo", ""}, {"result", "not json"}}));
  plug->setWalletPayResultDic(kit::dict({{"resultStatus", "4000"}, {"memo", ""}, {"result", ""}}));
  ASSERT_EQ(log.calls.size(), 2u);
  EXPECT_EQ(log.calls[0].status, "取消充值");
  EXPECT_EQ(log.calls[1].status, "充值失败");
  // A signed order that names none cannot tell orders apart: every result
  // is handed on, and no success is confirmed, one that names no order
  // either.
  log.calls.clear();
  info->setSignStr(kit::str(R"(partner="10001")"));
  plug->setWalletPayResultDic(paid(kit::str(R"({"out_trade_no":"A1"})")));
  plug->setWalletPayResultDic(paid(kit::str(R"({"total_fee":"6"})")));
  plug->setWalletPayResultDic(kit::dict({{"resultStatus", "6001"}, {"memo", ""}, {"result", R"({"out_trade_no":"A1"})"}}));
  plug->setWalletPayInfo(nullptr);
  plug->setWalletPayResultDic(paid(kit::str(R"({"out_trade_no":"A1"})")));
  plug->setWalletPayResultDic(paid(kit::str("")));
  ASSERT_EQ(log.calls.size(), 5u);
  for (size_t i : {0, 1, 3, 4}) EXPECT_EQ(log.calls[i].status, KTPayPlug::kUnconfirmedStatus) << i;
  EXPECT_EQ(log.calls[2].status, KTPayPlug::kCancelledStatus);
}

TEST_F(PayPlugTest, AnOrderNumberIsATextOrAnIntegerWrittenExactly) {
  auto numberIn = [](const kit::Id& result) {
    return KTPayPlug::orderNumberOfResult(kit::dict({{"resultStatus", "9000"}, {"result", result}}));
  };
  // Integers keep every digit, also past what a double holds.
  EXPECT_EQ(numberIn(kit::str(R"({"out_trade_no":17967837306853329})")), "17967837306853329");
  EXPECT_EQ(numberIn(kit::str(R"({"out_trade_no":18446744073709551615})")), "18446744073709551615");
  EXPECT_EQ(numberIn(kit::str(R"({"out_trade_no":-42})")), "-42");
  EXPECT_EQ(numberIn(kit::dict({{"out_trade_no", kit::Number::fromLongLong(17967837306853329)}})),
            "17967837306853329");
  EXPECT_EQ(numberIn(kit::str(R"({"out_trade_no":"1.5e3"})")), "1.5e3") << "a text stands as written";
  // Fractions, exponents, integers too large to hold and flags name none.
  for (const kit::Id& result :
       {kit::Id(kit::str(R"({"out_trade_no":1.7967837306853329e16})")),
        kit::Id(kit::str(R"({"out_trade_no":17967837306853329.0})")), kit::Id(kit::str(R"({"out_trade_no":7e0})")),
        kit::Id(kit::str(R"({"out_trade_no":18446744073709551616})")), kit::Id(kit::str(R"({"out_trade_no":true})")),
        kit::Id(kit::dict({{"out_trade_no", kit::Number::fromDouble(17967837306853328.0)}}))}) {
    EXPECT_EQ(numberIn(result), "") << d(result);
  }

  // Waiting for ...328, a success naming ...329 as a float is unconfirmed;
  // ...328 as an integer is paid.
  auto info = kit::make<WalletPayInfo>();
  info->setSignStr(kit::str(R"(partner="10001"&out_trade_no="17967837306853328"&sign="s")"));
  plug->setWalletPayInfo(info);
  plug->setBlock(log.block());
  for (const char* result : {R"({"out_trade_no":1.7967837306853329e16})", R"({"out_trade_no":17967837306853329.0})",
                             R"({"out_trade_no":17967837306853328})"}) {
    plug->setWalletPayResultDic(kit::dict({{"resultStatus", "9000"}, {"memo", ""}, {"result", result}}));
  }
  ASSERT_EQ(log.calls.size(), 3u);
  EXPECT_EQ(log.calls[0].status, KTPayPlug::kUnconfirmedStatus);
  EXPECT_EQ(log.calls[1].status, KTPayPlug::kUnconfirmedStatus);
  EXPECT_EQ(log.calls[2].status, KTPayPlug::kPaidStatus);
  EXPECT_FALSE(log.calls[2].error);
}

TEST_F(PayPlugTest, AnotherOrdersCancelOrFailureLeavesTheOrderWaitedForOpen) {
  kit::test::LogCapture logs;
  plug->setWalletPayInfo(orderB7());
  plug->setBlock(log.block());
  auto unpaid = [](const char* status, const kit::Id& result) {
    return kit::dict({{"resultStatus", status}, {"memo", "m"}, {"result", result}});
  };
  // Named, and not B7 as written: it says nothing of B7.
  plug->setWalletPayResultDic(unpaid("6001", kit::str(R"({"out_trade_no":"A1"})")));
  plug->setWalletPayResultDic(unpaid("4000", kit::str(R"({"out_trade_no":" B7 "})")));
  plug->setWalletPayResultDic(unpaid("6002", kit::dict({{"out_trade_no", "0B7"}})));
  ASSERT_EQ(log.calls.size(), 3u);
  const long codes[] = {6001, 4000, 6002};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(log.calls[i].status, KTPayPlug::kOtherOrderStatus) << i;
    ASSERT_TRUE(log.calls[i].error) << i;
    EXPECT_EQ(log.calls[i].error->domain(), KTPayPlug::kOtherOrderDomain) << i;
    EXPECT_EQ(log.calls[i].error->code(), codes[i]) << i;
    EXPECT_EQ(d(kit::Id(log.calls[i].error->userInfo())["ErrorInfo"]), "m") << i;
  }
  EXPECT_EQ(logs.count(), 3u);
  EXPECT_TRUE(logs.contains("A1"));
  // B7's own cancel is B7's.
  log.calls.clear();
  plug->setWalletPayResultDic(unpaid("6001", kit::str(R"({"out_trade_no":"B7"})")));
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].status, KTPayPlug::kCancelledStatus);
}

TEST_F(PayPlugTest, AnOrderNumberThatNamesNoOrderIsNeverTheOneWaitedFor) {
  plug->setWalletPayInfo(orderB7());
  plug->setBlock(log.block());
  auto with = [](const char* status, const std::string& result) {
    return kit::dict({{"resultStatus", status}, {"memo", "m"}, {"result", result}});
  };
  // There, and no text or integer written exactly (or the empty text):
  // another order's for every result, a success only unconfirmed.
  const char* numbers[] = {"1.7967837306853328e16", "1e3", "1000.0", "123456789012345678901234567890",
                           "18446744073709551616", "true", "false", "null", R"(["B7"])", R"({"n":"B7"})", R"("")"};
  const char* statuses[] = {"9000", "6001", "4000", "6002"};
  for (const char* number : numbers) {
    const std::string result = std::string(R"({"out_trade_no":)") + number + "}";
    EXPECT_EQ(KTPayPlug::orderNumberOfResult(with("6001", result)), "") << number;
    for (const char* status : statuses) plug->setWalletPayResultDic(with(status, result));
  }
  ASSERT_EQ(log.calls.size(), std::size(numbers) * std::size(statuses));
  for (size_t i = 0; i < log.calls.size(); ++i) {
    const char* status = statuses[i % std::size(statuses)];
    const std::string name = std::string(numbers[i / std::size(statuses)]) + " " + status;
    const bool success = std::string(status) == "9000";
    EXPECT_EQ(log.calls[i].status, success ? KTPayPlug::kUnconfirmedStatus : KTPayPlug::kOtherOrderStatus) << name;
    ASSERT_TRUE(log.calls[i].error) << name;
    EXPECT_EQ(log.calls[i].error->code(), std::atol(status)) << name;
  }

  // Without an order number a cancel or failure is the one waited for.
  log.calls.clear();
  EXPECT_EQ(KTPayPlug::orderNumberOfResult(with("6001", R"({"total_fee":"6"})")), std::nullopt);
  EXPECT_EQ(KTPayPlug::orderNumberOfResult(kit::dict({{"resultStatus", "6001"}})), std::nullopt);
  plug->setWalletPayResultDic(with("6001", R"({"total_fee":"6"})"));
  plug->setWalletPayResultDic(with("4000", "not json"));
  plug->setWalletPayResultDic(with("6002", ""));
  ASSERT_EQ(log.calls.size(), 3u);
  EXPECT_EQ(log.calls[0].status, KTPayPlug::kCancelledStatus);
  EXPECT_EQ(log.calls[1].status, KTPayPlug::kFailedStatus);
  EXPECT_EQ(log.calls[2].status, KTPayPlug::kFailedStatus);
}

TEST_F(PayPlugTest, WithoutTheWalletTheVendorsFailureReachesTheBlockAndIsLogged) {
  kit::test::LogCapture logs;
  plug->setWalletPayInfo(appOrder("B1"));
  plug->doPay(log.block());
  EXPECT_TRUE(log.calls.empty());
  ASSERT_TRUE(kit::test::runUntil([&] { return !log.calls.empty(); }));
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].status, "充值失败");
  EXPECT_EQ(log.calls[0].error->code(), 4000);
  EXPECT_TRUE(logs.contains("回调 = "));
  EXPECT_TRUE(kit::Application::shared()->openedURLs().empty());
  EXPECT_FALSE(platform->order("B1")->paid);
}

TEST_F(PayPlugTest, AnAppOrderRunsThroughTheWalletAndBackToTheBlock) {
  wallet->install();
  plug->setWalletPayInfo(appOrder("C1"));
  plug->doPay(log.block());
  ASSERT_TRUE(kit::test::runUntil([&] { return !log.calls.empty(); }));
  EXPECT_EQ(log.calls[0].status, "充值成功");
  EXPECT_FALSE(log.calls[0].error);
  EXPECT_TRUE(platform->order("C1")->paid);
  EXPECT_EQ(road->returns, 1);

  wallet->setAnswer("6001");
  BlockLog second;
  plug->setWalletPayInfo(appOrder("C2"));
  plug->doPay(second.block());
  ASSERT_TRUE(kit::test::runUntil([&] { return !second.calls.empty(); }));
  EXPECT_EQ(second.calls[0].status, "取消充值");
  EXPECT_EQ(second.calls[0].error->code(), 6001);
  EXPECT_EQ(log.calls.size(), 1u) << "the new payment's block replaced the old one";
  EXPECT_FALSE(platform->order("C2")->paid);
}

TEST_F(PayPlugTest, TheNoticesButtonsHandBackTheErrorAndStatus) {
  auto icon = kit::dataWithContentsOfFile(std::string(PLATFORM_RESOURCES_DIR) + "/VIROV.bundle/KT_pay_notice@2x.png");
  ASSERT_TRUE(icon);
  const std::string_view bytes = icon->view();
  ASSERT_TRUE(bundle.addFile("VIROV.bundle/KT_pay_notice@2x.png",
                             std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
  auto notice = UIViewExtension::ViewFromXib<KTPayNoticeView>("KTPayNoticeView");
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice->layer()->cornerRadius(), 5);
  EXPECT_TRUE(notice->clipsToBounds());
  ASSERT_TRUE(notice->statusL());
  notice->statusL()->setText("取消充值");
  auto error = kit::Error::make("支付失败,用户取消支付", 6001);
  notice->setPayError(error);
  notice->setPayStatus(kit::str("取消充值"));
  notice->setFrame(kit::Rect{47, 200, KTPayNoticeView::W, KTPayNoticeView::H});
  window->addSubview(notice);
  kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/pay_notice.png");
  ASSERT_TRUE(kit::test::findButton(*notice, "返回游戏"));
  ASSERT_TRUE(kit::test::findButton(*notice, "去申请"));

  // Without blocks both buttons do nothing.
  kit::test::tap(notice->goToGameButton());
  kit::test::tap(notice->goToApplyButton());
  EXPECT_EQ(notice->superview().get(), window.get());

  std::vector<std::string> calls;
  notice->setGoToApplyBlock([&](const kit::Ref<kit::Error>& e, const kit::Ref<kit::String>& status) {
    calls.push_back("apply:" + d(status) + ":" + std::to_string(e->code()));
  });
  notice->setGoToGameBlock([&, weak = kit::Weak<KTPayNoticeView>(notice)](const kit::Ref<kit::Error>& e,
                                                                          const kit::Ref<kit::String>& status) {
    calls.push_back("game:" + d(status) + ":" + std::to_string(e->code()) +
                    (weak.lock()->superview() ? ":shown" : ":removed"));
  });
  kit::test::tap(notice->goToApplyButton());
  EXPECT_EQ(notice->superview().get(), window.get()) << "go-to-apply leaves the notice in place";
  kit::test::tap(notice->goToGameButton());
  EXPECT_FALSE(notice->superview());
  EXPECT_EQ(calls, (std::vector<std::string>{"apply:取消充值:6001", "game:取消充值:6001:removed"}));
}

}  // namespace
