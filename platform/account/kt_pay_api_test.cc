// The pay API against the platform service on loopback: the two order
// layouts, each pay way's transport and path, what each answer leads to,
// the queries, and replies of unexpected kinds.
#include "platform/account/kt_pay_api.h"

#include <gtest/gtest.h>

#include "kit/testing/log_capture.h"
#include "kit/ui/screen.h"
#include "platform/account/testing/kt_api_test_fixture.h"
#include "platform/account/kt_login_api.h"

namespace {

using sim::PlatformAPIReply;

std::string d(const kit::Id& value) { return kit::describe(value); }
kit::Ref<kit::String> t(const char* text) { return text ? kit::str(text) : nullptr; }

class PayAPI : public PlatformAPITest {
 protected:
  void SetUp() override {
    PlatformAPITest::SetUp();
    sim::PlatformAccount account;
    account.userName = "player01";
    account.password = "pass123";
    account.platformCoins = 100;
    account.vouchers = "20.00";
    account.coupons = {{"57", "满10减2", "10", "2"}};
    platform->addAccount(account);
    storeUserName("player01");
  }

  Outcome h5(const char* orderNumber, const char* realMoney = "9.00", const char* cid = "57") {
    Outcome outcome;
    KTPayAPI::doH5PayWithMoney(t("10"), t(realMoney), t(cid), t(orderNumber), t("0.90"), t("qb"), t("r1"), t("s1"),
                               t("月卡"), t("30天月卡"), t("cp-1"), outcome.success<NotifyServer>(),
                               outcome.failure());
    EXPECT_EQ(outcome.calls, 0) << "never inside the call";
    EXPECT_TRUE(outcome.wait());
    return outcome;
  }
  Outcome wx(const char* url, const char* orderNumber) {
    Outcome outcome;
    KTPayAPI::doWxPayWithMoney(t("10"), t("10"), nullptr, t(orderNumber), t("1.00"), t("r1"), t("s1"), t("月卡"),
                               t("30天月卡"), t("cp-1"), t(url), outcome.success<NotifyServer>(), outcome.failure());
    EXPECT_TRUE(outcome.wait());
    return outcome;
  }
  Outcome app(const char* url, const char* orderNumber) {
    Outcome outcome;
    KTPayAPI::doWalletPayAppPayWithMoney(t("10"), t("10"), nullptr, t(orderNumber), t("1.00"), t("r1"), t("s1"),
                                         t("月卡"), t("30天月卡"), t("cp-1"), t(url),
                                         outcome.success<WalletPayInfo>(), outcome.failure());
    EXPECT_TRUE(outcome.wait());
    return outcome;
  }
  Outcome coins(const char* money, const char* realMoney) {
    Outcome outcome;
    KTPayAPI::doPtbPayWithMoney(t(money), t(realMoney), nullptr, t("ORDER-IGNORED"), t("1.00"), t("r1"), t("s1"),
                                t("月卡"), t("30天月卡"), t("cp-1"), outcome.success<PtbPay>(), outcome.codeFailure());
    EXPECT_TRUE(outcome.wait());
    return outcome;
  }
  Outcome vouchers(const char* realMoney) {
    Outcome outcome;
    KTPayAPI::doDjqPayWithMoney(t("10"), t(realMoney), nullptr, t("r1"), t("s1"), t("月卡"), t("30天月卡"), t("cp-1"),
                                outcome.success<DiscountPayWay>(), outcome.codeFailure());
    EXPECT_TRUE(outcome.wait());
    return outcome;
  }
};

TEST_F(PayAPI, H5CashierOrderCarriesLayoutAAndGivesItsPayPage) {
  ShareVale::sharedInstance()->setSubUserName(kit::str("player01_1"));
  Outcome outcome = h5("A1");
  ASSERT_TRUE(outcome.succeeded) << d(outcome.message);
  EXPECT_TRUE(outcome.onMain);
  auto sent = sentTo("H5pay/pay");
  EXPECT_EQ(keysOf(sent), "b,c,cid,d,e,f,h,j,k,l,n,os,p,tr,x,xx,y,z");
  EXPECT_EQ(d(sent["z"]) + "|" + d(sent["p"]) + "|" + d(sent["xx"]) + "|" + d(sent["b"]) + "|" + d(sent["cid"]),
            "qb|10|0.90|9.00|57");
  EXPECT_EQ(d(sent["c"]) + "|" + d(sent["d"]) + "|" + d(sent["e"]) + "|" + d(sent["f"]) + "|" + d(sent["x"]),
            "player01|r1|s1|1001|A1");
  EXPECT_EQ(d(sent["y"]) + "|" + d(sent["j"]) + "|" + d(sent["k"]) + "|" + d(sent["tr"]) + "|" + d(sent["l"]) + "|" +
                d(sent["n"]) + "|" + d(sent["os"]),
            "30天月卡|10001|agent7|player01_1|月卡|cp-1|ios");
  EXPECT_EQ(d(sent["h"]), kit::Device::current()->advertisingIdentifier()->UUIDString());

  auto page = kit::as<NotifyServer>(outcome.result);
  EXPECT_EQ(d(page->messge()), "下单成功");
  EXPECT_EQ(d(page->url()), server->origin() + "/appview/pay/cashier?order=A1&type=qb");
  ASSERT_TRUE(platform->order("A1"));
  EXPECT_FALSE(platform->order("A1")->paid);

  // Without a coupon and a stored sub-account, their keys are left out.
  ShareVale::sharedInstance()->setSubUserName(nullptr);
  ASSERT_TRUE(h5("A2", "10", nullptr).succeeded);
  EXPECT_EQ(keysOf(sentTo("H5pay/pay")), "b,c,d,e,f,h,j,k,l,n,os,p,x,xx,y,z");
}

TEST_F(PayAPI, H5CashierAnswers) {
  // Nothing left to pay: the server's 11 reaches the caller as "11".
  EXPECT_EQ(d(h5("B1", "0").message), "11");
  EXPECT_TRUE(platform->order("B1")->paid);
  EXPECT_EQ(d(h5("B1").message), "订单号重复");
  for (auto [reply, expected] : std::vector<std::pair<kit::Id, std::string>>{
           {kit::dict({{"z", "1"}, {"b", "m"}, {"c", "http://pay/1"}}), "http://pay/1"},
           {kit::dict({{"z", 1}, {"b", "m"}, {"c", "http://pay/2"}}), "http://pay/2"},
           {kit::dict({{"z", "11"}, {"b", "m"}}), "11"},
           {kit::dict({{"z", 5}, {"b", "限额"}}), "限额"},
           {kit::dict({{"z", "1"}, {"b", "no page"}}), "服务器错误"}}) {
    server->enqueue("H5pay/pay", PlatformAPIReply::scrambled(reply));
    Outcome outcome = h5("B2");
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(outcome.succeeded ? d(kit::as<NotifyServer>(outcome.result)->url()) : d(outcome.message), expected);
  }
  server->enqueue("H5pay/pay", PlatformAPIReply::bytes(""));
  Outcome empty = h5("B3");
  EXPECT_EQ(empty.calls, 1);
  EXPECT_FALSE(empty.message) << "an empty reply fails without a message";

  pointClientAtClosedPort();
  EXPECT_EQ(d(h5("B4").message), "服务器错误");
}

TEST_F(PayAPI, AppAndOfficialWeChatOrdersUseTheirTransportsAndPaths) {
  for (const char* path : {"WalletPayapp/apppayios", "WalletPayappother/apppayios"}) {
    Outcome outcome = app(path, path[12] == 'o' ? "C2" : "C1");
    ASSERT_TRUE(outcome.succeeded) << d(outcome.message);
    auto request = server->requestsTo(path).back();
    EXPECT_TRUE(request.exchange.header("Content-Type").value_or("").starts_with("application/x-www-form-urlencoded"));
    EXPECT_EQ(request.formValue("z").value_or(""), "qb");
    EXPECT_TRUE(d(kit::as<WalletPayInfo>(outcome.result)->signStr()).starts_with("partner=\"10001\""));
  }
  for (const char* path : {"wxh5/h5pay", "Wxh5other/h5pay"}) {
    Outcome outcome = wx(path, path[0] == 'w' ? "D1" : "D2");
    ASSERT_TRUE(outcome.succeeded) << d(outcome.message);
    EXPECT_EQ(d(sentTo(path)["z"]), "wx");
    EXPECT_EQ(keysOf(sentTo(path)), "b,c,d,e,f,h,j,k,l,n,os,p,x,xx,y,z");
    EXPECT_TRUE(d(kit::as<NotifyServer>(outcome.result)->url()).starts_with(server->origin() + "/appview/pay/"));
  }

  server->enqueue("wxh5/h5pay", PlatformAPIReply::scrambled(kit::dict({{"code", "11"}, {"msg", "m"}})));
  server->enqueue("wxh5/h5pay", PlatformAPIReply::scrambled(kit::dict({{"code", 0}, {"msg", "暂停"}})));
  server->enqueue("wxh5/h5pay", PlatformAPIReply::bytes(""));
  server->enqueue("wxh5/h5pay", PlatformAPIReply::scrambled(kit::dict({{"code", 1}, {"data", kit::dict({})}})));
  for (const char* expected : {"11", "暂停", "服务器错误", "服务器错误"}) {
    EXPECT_EQ(d(wx("wxh5/h5pay", "D3").message), expected);
  }
  server->enqueue("WalletPayapp/apppayios", PlatformAPIReply::json(kit::dict({{"z", 1}, {"b", "m"}})));
  EXPECT_EQ(d(app("WalletPayapp/apppayios", "C3").message), "服务器错误") << "no signed order, nothing to pay with";
  server->enqueue("WalletPayapp/apppayios", PlatformAPIReply::json(kit::dict({{"z", "1"}, {"c", "signed"}})));
  EXPECT_EQ(d(kit::as<WalletPayInfo>(app("WalletPayapp/apppayios", "C4").result)->signStr()), "signed");
}

TEST_F(PayAPI, PlatformCoinAndVoucherOrdersCarryLayoutB) {
  kit::test::LogCapture logs;
  Outcome paid = coins("100", "90");
  ASSERT_TRUE(paid.succeeded) << paid.texts();
  auto sent = sentTo("Ttbpaynew/ttbnew");
  EXPECT_EQ(keysOf(sent), "b,c,d,e,f,h,j,k,l,os,p,x,xx,y,z");
  EXPECT_EQ(d(sent["z"]) + "|" + d(sent["c"]) + "|" + d(sent["d"]) + "|" + d(sent["e"]) + "|" + d(sent["f"]) + "|" +
                d(sent["x"]) + "|" + d(sent["h"]) + "|" + d(sent["j"]),
            "ptb|" + kit::Device::current()->advertisingIdentifier()->UUIDString() + "|10001|agent7|player01|r1|s1|1001");
  EXPECT_EQ(d(sent["k"]) + d(sent["l"]) + d(sent["y"]), "月卡30天月卡cp-1");
  EXPECT_FALSE(d(sent).find("ORDER-IGNORED") != std::string::npos) << "no order number is sent";
  auto result = kit::as<PtbPay>(paid.result);
  EXPECT_EQ(d(result->mesage()), "支付成功");
  EXPECT_TRUE(platform->order(d(result->orderID())));
  EXPECT_EQ(platform->account("player01")->platformCoins, 10);
  EXPECT_TRUE(logs.contains("平台币 = "));

  EXPECT_EQ(coins("100", "90").texts(), "平台币余额不足|0");

  Outcome voucher = vouchers("8.50");
  ASSERT_TRUE(voucher.succeeded) << voucher.texts();
  EXPECT_EQ(d(sentTo("Ttbpaynew/djqpay")["z"]), "djq");
  EXPECT_EQ(keysOf(sentTo("Ttbpaynew/djqpay")), "b,c,d,e,f,h,j,k,l,os,p,x,y,z") << "no discount";
  EXPECT_EQ(platform->account("player01")->vouchers, "11.50");

  server->enqueue("Ttbpaynew/ttbnew", PlatformAPIReply::scrambled(kit::dict({{"z", 1}, {"b", "P9"}, {"c", "ok"}})));
  EXPECT_EQ(d(kit::as<PtbPay>(coins("1", "1").result)->orderID()), "P9");
  server->enqueue("Ttbpaynew/ttbnew", PlatformAPIReply::bytes(""));
  EXPECT_EQ(coins("1", "1").texts(), "(null)|(null)");

  pointClientAtClosedPort();
  EXPECT_EQ(coins("1", "1").texts(), "服务器错误|501");
  EXPECT_EQ(vouchers("1").texts(), "服务器错误|501");
}

TEST_F(PayAPI, QueriesSendAbsentValuesAsEmptyTextsAndCompareTheirCodeAsText) {
  Outcome balance;
  KTPayAPI::GetMyPtbMoneyWithsuccess(balance.success<GetMyPtbResult>(), balance.failure());
  ASSERT_TRUE(balance.wait());
  EXPECT_EQ(d(kit::as<GetMyPtbResult>(balance.result)->ptb()), "100");

  ShareVale::sharedInstance()->setUserName(nullptr);
  Outcome nobody;
  KTPayAPI::GetMyPtbMoneyWithsuccess(nobody.success<GetMyPtbResult>(), nobody.failure());
  ASSERT_TRUE(nobody.wait());
  EXPECT_EQ(keysOf(sentTo("Ttbpay/getTTB")), "b,z");
  EXPECT_EQ(d(sentTo("Ttbpay/getTTB")["b"]), "");
  EXPECT_EQ(d(nobody.message), "用户不存在");
  storeUserName("player01");

  server->enqueue("Ttbpay/getTTB", PlatformAPIReply::scrambled(kit::dict({{"z", 1}, {"b", "100"}, {"c", "数字"}})));
  Outcome numeric;
  KTPayAPI::GetMyPtbMoneyWithsuccess(numeric.success<GetMyPtbResult>(), numeric.failure());
  ASSERT_TRUE(numeric.wait());
  EXPECT_EQ(d(numeric.message), "数字") << "the number 1 is not the text \"1\"";

  Outcome discount;
  KTPayAPI::GetMyDiscountMoneyWithsuccess(discount.success<GetMyDiscountResult>(), discount.failure());
  ASSERT_TRUE(discount.wait());
  EXPECT_EQ(d(kit::as<GetMyDiscountResult>(discount.result)->discountNum()), "20.00");
  EXPECT_EQ(keysOf(sentTo("Ttbpay/getDJQ")), "b,c,z");

  Outcome help;
  KTPayAPI::GetServiceQQAndPhonesuccess(help.success<HelpQQAndTel>(), help.failure());
  ASSERT_TRUE(help.wait());
  EXPECT_EQ(d(kit::as<HelpQQAndTel>(help.result)->QQ()), "800012345");

  ASSERT_TRUE(h5("R1").succeeded);
  Outcome records;
  KTPayAPI::payRecordsWithStatus(t("0"), t("1"), records.success<OrderRecords>(), records.failure());
  ASSERT_TRUE(records.wait());
  EXPECT_EQ(keysOf(sentTo("pay/payRecords")), "b,c,d,z");
  auto list = kit::as<OrderRecords>(records.result)->dataArray();
  ASSERT_EQ(list->count(), 1u);
  EXPECT_EQ(d(kit::as<OrderRecords>(list->objectAtIndex(0))->orderID()), "R1");

  Outcome game;
  KTPayAPI::getGameDetailInfosuccess(game.valueSuccess(), game.failure());
  ASSERT_TRUE(game.wait());
  EXPECT_EQ(server->requestsTo("d").back().exchange.path, "/sdkapicoupon/d");
  EXPECT_EQ(d(game.result["f"]), "星舰");

  Outcome ways;
  KTPayAPI::GetPayWayssuccess(ways.valueSuccess(), ways.failure());
  ASSERT_TRUE(ways.wait());
  EXPECT_EQ(keysOf(sentTo("pay/getPayWayios")), "b,h,os,z");
  EXPECT_EQ(d(ways.result), "推荐");

  pointClientAtClosedPort();
  Outcome unreachable;
  KTPayAPI::GetServiceQQAndPhonesuccess(unreachable.success<HelpQQAndTel>(), unreachable.failure());
  ASSERT_TRUE(unreachable.wait());
  EXPECT_EQ(d(unreachable.message), "无法连接服务器");
}

TEST_F(PayAPI, CallsThatSendNothingCallNothing) {
  Outcome gift, present;
  KTPayAPI::getGiffCodeForInfoid(t("1"), gift.valueSuccess(), gift.failure());
  KTPayAPI::GetGamePresentHtmlsuccess(present.valueSuccess(), present.failure());
  // A request sent afterwards is the first the server sees.
  Outcome help;
  KTPayAPI::GetServiceQQAndPhonesuccess(help.success<HelpQQAndTel>(), help.failure());
  ASSERT_TRUE(help.wait());
  EXPECT_EQ(server->apiRequests().size(), 1u);
  EXPECT_EQ(gift.calls + present.calls, 0);
}

// ---- Answers to replies of unexpected kinds -----------------------------------------

TEST(PayAnswers, PayWaysPickTheFirstItemOfIntegerTwo) {
  PlatformTestBundle bundle;
  auto reply = [](kit::Id data) {
    return KTPlatformReply(kit::Id(kit::dict({{"code", "1"}, {"data", std::move(data)}})));
  };
  for (auto [data, expected] : std::vector<std::pair<kit::Id, std::string>>{
           {kit::array({kit::dict({{"z", "1"}, {"d", "a"}}), kit::dict({{"z", "2"}, {"d", "b"}}),
                        kit::dict({{"z", 2}, {"d", "c"}})}),
            "b"},
           {kit::array({7, kit::dict({{"z", 2}, {"d", "n"}})}), "n"},
           {kit::array({kit::dict({{"z", "2.0"}, {"d", kit::array({1})}})}), "(\n    1\n)"}}) {
    Outcome outcome;
    KTPayAPI::Answers::payWays(reply(data), outcome.valueSuccess(), outcome.failure());
    EXPECT_EQ(d(outcome.result), expected);
  }
  for (kit::Id data : {kit::Id(kit::array({kit::dict({{"z", "3"}})})), kit::Id(kit::str("2")), kit::Id()}) {
    Outcome outcome;
    KTPayAPI::Answers::payWays(reply(data), outcome.valueSuccess(), outcome.failure());
    EXPECT_EQ(outcome.calls, 0) << "no item 2 calls neither block";
  }
  Outcome refused;
  KTPayAPI::Answers::payWays(KTPlatformReply(kit::Id(kit::dict({{"code", 1}, {"msg", "m"}}))),
                             refused.valueSuccess(), refused.failure());
  EXPECT_EQ(d(refused.message), "m");
}

TEST(PayAnswers, OrderResultsReadTheirCodeAsAnInteger) {
  PlatformTestBundle bundle;
  auto order = [](kit::Id reply) {
    Outcome outcome;
    KTPayAPI::Answers::djqOrder(KTPlatformReply(std::move(reply)), outcome.success<DiscountPayWay>(),
                                outcome.codeFailure());
    return outcome;
  };
  EXPECT_TRUE(order(kit::dict({{"z", "1"}})).succeeded);
  EXPECT_TRUE(order(kit::dict({{"z", 1.0}})).succeeded);
  EXPECT_EQ(order(kit::dict({{"z", "11"}, {"c", "满额"}})).texts(), "满额|11") << "11 is a failure like any other";
  EXPECT_EQ(order(kit::dict({{"z", kit::array({1})}, {"c", kit::dict({})}})).texts(), "(null)|(null)");
  EXPECT_EQ(order(kit::array({kit::dict({{"z", "1"}})})).texts(), "(null)|(null)");

  Outcome cashier;
  KTPayAPI::Answers::h5Order(KTPlatformReply(kit::Id(kit::dict({{"z", "1"}, {"c", kit::array({})}}))),
                             cashier.success<NotifyServer>(), cashier.failure());
  EXPECT_EQ(d(cashier.message), "服务器错误");
}

}  // namespace
