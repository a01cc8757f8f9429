// The vendor's app payment against the simulated wallet: opening the wallet
// with an order the platform issued, its answer coming back as a return URL,
// and the failed results the service makes itself.
#include "payvendor/pay/wallet_pay_sdk.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <optional>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/url_components.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "sim/platform_api_server.h"
#include "sim/platform_service.h"
#include "sim/wallet_app.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

// Hands the return URLs the application receives to the service, as the
// facade's open-URL road does.
struct ReturnRoad : kit::ApplicationDelegate {
  std::vector<kit::Ref<kit::Dictionary>> results;
  std::optional<bool> openURL(kit::Application&, const std::string& url, const kit::Ref<kit::Dictionary>&) override {
    WalletPaySDK::defaultService()->processOrderWithPaymentResult(
        kit::URL::URLWithString(url), [this](const kit::Ref<kit::Dictionary>& result) { results.push_back(result); });
    return true;
  }
};

class WalletPayTest : public ::testing::Test {
 protected:
  WalletPayTest() {
    platform = std::make_unique<sim::PlatformService>(*server);
    platform->setIdentity({"10001", "1001", "k1", "agent7", {}});
    sim::PlatformAccount account;
    account.userName = "player01";
    platform->addAccount(account);
    wallet = std::make_unique<sim::WalletApp>(*platform);
    kit::Application::shared()->setDelegate(road);
  }
  ~WalletPayTest() override {
    wallet.reset();
    kit::Application::shared()->reset();
  }

  // An app order placed with the platform; its signed order text.
  std::string placeAppOrder(const std::string& number) {
    httplib::Client client("127.0.0.1", server->port());
    const std::string body = "z=qb&p=6&xx=1&b=6&c=player01&d=r1&e=s1&f=1001&x=" + number +
                             "&y=d&j=10001&k=agent7&h=6D1C6F32-0B7E-4C1A-9F25-3A1B2C3D4E5F&l=card&n=cp&os=ios";
    auto reply = client.Post("/sdkapicoupon/WalletPayapp/apppayios", body, "application/x-www-form-urlencoded");
    if (!reply) return "";
    return d(kit::JSONSerialization::JSONObjectWithData(kit::Data::make(reply->body))["c"]);
  }

  // The service goes after the server, whose answers call into it.
  std::unique_ptr<sim::PlatformService> platform;
  std::unique_ptr<sim::PlatformAPIServer> server = sim::PlatformAPIServer::start();
  std::unique_ptr<sim::WalletApp> wallet;
  std::shared_ptr<ReturnRoad> road = std::make_shared<ReturnRoad>();
};

TEST_F(WalletPayTest, TheWalletPaysAnIssuedOrderAndItsAnswerComesBackThroughTheReturnURL) {
  wallet->install();
  const std::string order = placeAppOrder("A1");
  ASSERT_TRUE(order.starts_with("partner=")) << order;
  auto service = WalletPaySDK::defaultService();
  EXPECT_EQ(service, WalletPaySDK::defaultService());
  int payCallbacks = 0;
  service->payOrder(kit::str(order), kit::str("TolmixWalletPayScheme1001"),
                    [&](const kit::Ref<kit::Dictionary>&) { ++payCallbacks; });
  ASSERT_EQ(kit::Application::shared()->openedURLs().size(), 1u);
  const std::string opened = kit::Application::shared()->openedURLs()[0];
  EXPECT_TRUE(opened.starts_with("walletpay://pay?order=partner%3D%22")) << opened;
  EXPECT_NE(opened.find("&scheme=TolmixWalletPayScheme1001"), std::string::npos);

  ASSERT_TRUE(kit::test::runUntil([&] { return !road->results.empty(); }));
  ASSERT_EQ(wallet->receivedURLs(), std::vector<std::string>{opened});
  ASSERT_EQ(wallet->returnURLs().size(), 1u);
  EXPECT_TRUE(wallet->returnURLs()[0].starts_with("TolmixWalletPayScheme1001://safepay/?result="));
  kit::Id result = road->results[0];
  EXPECT_EQ(d(result["resultStatus"]), "9000");
  EXPECT_EQ(d(result["memo"]), "支付成功");
  kit::Id paid = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(d(result["result"])));
  EXPECT_EQ(d(paid["out_trade_no"]), "A1");
  EXPECT_TRUE(platform->order("A1")->paid);
  EXPECT_EQ(payCallbacks, 0) << "an opened wallet answers through the return URL only";

  // A cancel pays nothing; an order the platform never issued fails.
  wallet->setAnswer("6001");
  const std::string second = placeAppOrder("A2");
  service->payOrder(kit::str(second), kit::str("TolmixWalletPayScheme1001"), nullptr);
  service->payOrder(kit::str(second + "x"), kit::str("TolmixWalletPayScheme1001"), nullptr);
  ASSERT_TRUE(kit::test::runUntil([&] { return road->results.size() == 3; }));
  EXPECT_EQ(d(kit::Id(road->results[1])["resultStatus"]), "6001");
  EXPECT_EQ(d(kit::Id(road->results[1])["memo"]), "用户中途取消");
  EXPECT_EQ(d(kit::Id(road->results[2])["resultStatus"]), "4000");
  EXPECT_EQ(d(kit::Id(road->results[2])["memo"]), sim::WalletApp::kUnknownOrderMemo);
  EXPECT_FALSE(platform->order("A2")->paid);
}

TEST_F(WalletPayTest, WithoutTheWalletTheCallbackGetsAFailureOnTheMainQueueAndNothingOpens) {
  std::vector<kit::Ref<kit::Dictionary>> results;
  WalletPaySDK::defaultService()->payOrder(kit::str("partner=\"1\""), kit::str("TolmixWalletPayScheme1001"),
                                           [&](const kit::Ref<kit::Dictionary>& r) { results.push_back(r); });
  EXPECT_TRUE(results.empty()) << "not during the call";
  ASSERT_TRUE(kit::test::runUntil([&] { return !results.empty(); }));
  EXPECT_EQ(d(kit::Id(results[0])["resultStatus"]), "4000");
  EXPECT_EQ(kit::describe(kit::Id(results[0])["result"]), "");
  EXPECT_TRUE(kit::Application::shared()->openedURLs().empty());
  EXPECT_TRUE(wallet->receivedURLs().empty());
  // Taken out again after an install, the wallet cannot be opened either.
  wallet->install();
  wallet->uninstall();
  WalletPaySDK::defaultService()->payOrder(nullptr, nullptr,
                                           [&](const kit::Ref<kit::Dictionary>& r) { results.push_back(r); });
  ASSERT_TRUE(kit::test::runUntil([&] { return results.size() == 2; }));
  EXPECT_EQ(results.size(), 2u);
}

TEST_F(WalletPayTest, AReturnURLWithoutAReadableResultGivesTheFailedResultOnce) {
  auto service = WalletPaySDK::defaultService();
  auto statusOf = [&](const kit::Ref<kit::URL>& url) {
    int calls = 0;
    std::string status;
    service->processOrderWithPaymentResult(url, [&](const kit::Ref<kit::Dictionary>& r) {
      ++calls;
      status = d(kit::Id(r)["resultStatus"]) + "|" + d(kit::Id(r)["memo"]);
    });
    EXPECT_EQ(calls, 1);
    return status;
  };
  auto url = [](const std::string& text) { return kit::URL::URLWithString(text); };
  const std::string scheme = "TolmixWalletPayScheme1001://safepay/";
  EXPECT_EQ(statusOf(url(scheme + "?result=%7B%22resultStatus%22%3A%226001%22%2C%22memo%22%3A%22m%22%7D")), "6001|m");
  // A number for a text, a status that is not a text, no JSON, no result.
  EXPECT_EQ(statusOf(url(scheme + "?result=%7B%22resultStatus%22%3A%229000%22%2C%22memo%22%3A7%7D")), "9000|");
  EXPECT_EQ(statusOf(url(scheme + "?result=%7B%22resultStatus%22%3A9000%7D")), "4000|支付结果无法识别");
  EXPECT_EQ(statusOf(url(scheme + "?result=%5B1%5D")), "4000|支付结果无法识别");
  EXPECT_EQ(statusOf(url(scheme + "?result=9000")), "4000|支付结果无法识别");
  EXPECT_EQ(statusOf(url(scheme + "?memo=x")), "4000|支付结果无法识别");
  EXPECT_EQ(statusOf(url(scheme)), "4000|支付结果无法识别");
  EXPECT_EQ(statusOf(nullptr), "4000|支付结果无法识别");
  service->processOrderWithPaymentResult(url(scheme), nullptr);  // no callback: nothing to call
}

}  // namespace
