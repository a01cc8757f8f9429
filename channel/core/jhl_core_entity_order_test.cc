// The channel core's orders, payment results and logout against the
// simulated channel server and the scriptable pay sheet.

#include <gtest/gtest.h>

#include "channel/testing/core_road_fixture.h"

namespace {

using CoreOrder = CoreRoadFixture;

TEST_F(CoreOrder, BeforeARoleReportNothingIsSent) {
  logIn();
  core->nuva_superOrder(orderJSON());
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudTexts.back(), "请先调用上报角色方法");
  drainMain();
  EXPECT_TRUE(server.requestsTo("order/index").empty());
  EXPECT_TRUE(facade->paySheets().empty());
}

TEST_F(CoreOrder, ChecksRunInOrderAndOnlyTheFirstFailureShows) {
  logIn();
  reportRole();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"role_id", "角色id为空"},          {"super_user_id", "请先获取登录回调的super_user_id"},
      {"good_id", "good_id为空"},         {"game_order_sn", "game_order_sn为空"},
      {"money", "money传入数据有误"},      {"service_id", "service_id为空"},
      {"service_name", "service_name为空"}, {"role_name", "role_name为空"}};
  for (const auto& [missing, text] : cases) {
    hudTexts.clear();
    core->nuva_superOrder(orderJSON({{missing, kit::Id()}, {"role_name", kit::null()}}));
    ASSERT_TRUE(waitForHUD(1));
    drainMain();
    EXPECT_EQ(hudTexts.size(), 1u) << missing;
    EXPECT_EQ(hudTexts.back(), text) << missing;
  }
  hudTexts.clear();
  core->nuva_superOrder(orderJSON({{"good_name", "   "}}));
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudTexts.back(), "good_name为空");
  drainMain();
  EXPECT_TRUE(server.requestsTo("order/index").empty());
}

TEST_F(CoreOrder, AnAcceptedOrderIsSignedAndOpensThePaySheet) {
  logIn();
  reportRole();
  core->nuva_superOrder(orderJSON({{"remark", kit::Id()}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->paySheets().size() == 1; }));
  auto sent = server.requestsTo("order/index");
  ASSERT_EQ(sent.size(), 1u);
  const auto& order = sent[0];
  EXPECT_EQ(order.field("package"), "com.example.starfleet");
  EXPECT_EQ(order.field("good_name"), "月卡");
  EXPECT_EQ(order.field("money"), "6.00");
  EXPECT_EQ(order.field("remark"), "");
  EXPECT_EQ(order.field("power_value"), "3500");
  EXPECT_EQ(order.field("platform_id"), "256");
  EXPECT_FALSE(order.has("role_level"));
  EXPECT_EQ(order.field("sign"), sim::md5Hex("99" "256" "G-0001" "1001" + order.field("random") +
                                             JHLCoreEntity::kSigningSalt));

  auto sheet = facade->paySheets().back();
  EXPECT_EQ(sheet.attach, "o1");  // the channel's order id, not the game's
  EXPECT_EQ(sheet.roleid, "r1");
  EXPECT_EQ(sheet.money, "6.00");
  EXPECT_EQ(sheet.productName, "月卡");
  EXPECT_EQ(kit::describe(core->order_id()), "o1");
  EXPECT_EQ(kit::describe(core->cpOrder()), "G-0001");
}

TEST_F(CoreOrder, ASuccessfulPaymentReachesTheListenerBeforeTheStoreReloads) {
  logIn();
  reportRole();
  core->nuva_superOrder(orderJSON());
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->paySheets().size() == 1; }));
  size_t listenerCallsWhenPosted = 0;
  bool posted = false;
  auto token = kit::NotificationCenter::defaultCenter()->addObserverForName(
      NUVAGIFTPAYSUCCESSNotification, nullptr, [&](const kit::Ref<kit::Notification>& n) {
        listenerCallsWhenPosted = listener->callsNamed("paySuccess").size();
        posted = n->object() == nullptr && n->userInfo() == nullptr;
      });
  ASSERT_TRUE(facade->finishPayment(true));
  ASSERT_TRUE(kit::test::runUntil([&] { return posted; }));
  kit::NotificationCenter::defaultCenter()->removeObserver(token);
  EXPECT_EQ(listenerCallsWhenPosted, 1u);
  auto paid = listener->callsNamed("paySuccess").back();
  EXPECT_TRUE(paid.onMain);
  EXPECT_EQ(kit::describe(paid.argument["order_id"]), "o1");
  EXPECT_EQ(kit::describe(paid.argument["cpOrder"]), "G-0001");
}

TEST_F(CoreOrder, AFailedPaymentReachesTheListenerWithoutTheReload) {
  logIn();
  reportRole();
  core->nuva_superOrder(orderJSON());
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->paySheets().size() == 1; }));
  int reloads = 0;
  auto token = kit::NotificationCenter::defaultCenter()->addObserverForName(
      NUVAGIFTPAYSUCCESSNotification, nullptr, [&](const kit::Ref<kit::Notification>&) { ++reloads; });
  ASSERT_TRUE(facade->finishPayment(false));
  ASSERT_TRUE(kit::test::runUntil([&] { return !listener->callsNamed("payFail").empty(); }));
  drainMain();
  kit::NotificationCenter::defaultCenter()->removeObserver(token);
  EXPECT_EQ(reloads, 0);
  EXPECT_EQ(kit::describe(listener->callsNamed("payFail").back().argument["order_id"]), "o1");
}

TEST_F(CoreOrder, ARefusedSecondOrderDoesNotChangeWhatTheOpenPaySheetReports) {
  logIn();
  reportRole();
  core->nuva_superOrder(orderJSON());
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->paySheets().size() == 1; }));

  server.setReply("order/index", R"({"code":"400","msg":"商品已下架","data":{"order_id":""}})");
  core->nuva_superOrder(orderJSON({{"game_order_sn", "G-0002"}, {"good_id", "61"}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return !hudTexts.empty() && hudTexts.back() == "商品已下架"; }));
  EXPECT_EQ(kit::describe(core->cpOrder()), "G-0002");  // the last answer is still recorded
  EXPECT_EQ(facade->paySheets().size(), 1u);

  ASSERT_TRUE(facade->finishPayment(true, "o1"));
  ASSERT_TRUE(kit::test::runUntil([&] { return !listener->callsNamed("paySuccess").empty(); }));
  auto paid = listener->callsNamed("paySuccess").back();
  EXPECT_EQ(kit::describe(paid.argument["order_id"]), "o1");
  EXPECT_EQ(kit::describe(paid.argument["cpOrder"]), "G-0001");
}

TEST_F(CoreOrder, ASuccessWithoutAnOrderIdIsRefusedAndOpensNoPaySheet) {
  logIn();
  reportRole();
  // Each answer says "200" but names no order a payment could be matched to.
  const std::vector<std::pair<std::string, std::string>> replies = {
      {R"({"code":"200","msg":"下单成功","data":{}})", "下单成功"},
      {R"({"code":"200","msg":"下单成功","data":{"order_id":null}})", "下单成功"},
      {R"({"code":200,"data":{"order_id":""}})", "服务器异常！"},
      {R"J({"code":"200","msg":"","data":{"order_id":"(null)"}})J", "服务器异常！"},
      {R"({"code":"200","msg":"ok"})", "ok"},
      // The store's rule: blank texts and values that are no text or number.
      {R"({"code":"200","msg":"空","data":{"order_id":"  "}})", "空"},
      {R"({"code":"200","msg":"空","data":{"order_id":"NULL"}})", "空"},
      {R"({"code":"200","msg":"表","data":{"order_id":{}}})", "表"},
      {R"({"code":"200","msg":"表","data":{"order_id":["o1"]}})", "表"}};
  int n = 0;
  for (const auto& [reply, shown] : replies) {
    const std::string sn = "G-10" + std::to_string(++n);
    hudTexts.clear();
    server.setReply("order/index", reply);
    core->nuva_superOrder(orderJSON({{"game_order_sn", sn}}));
    ASSERT_TRUE(waitForHUD(1)) << reply;
    drainMain();
    EXPECT_EQ(hudTexts, std::vector<std::string>{shown}) << reply;
    EXPECT_TRUE(facade->paySheets().empty()) << reply;
    // The answer is still the last one the server gave.
    EXPECT_EQ(kit::describe(core->cpOrder()), sn);
  }
  EXPECT_EQ(server.requestsTo("order/index").size(), replies.size());
  EXPECT_TRUE(listener->callsNamed("paySuccess").empty());
}

TEST_F(CoreOrder, TwoOpenPaySheetsEachReportTheirOwnOrder) {
  logIn();
  reportRole();
  core->nuva_superOrder(orderJSON());
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->paySheets().size() == 1; }));
  core->nuva_superOrder(orderJSON({{"game_order_sn", "G-0002"}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->paySheets().size() == 2; }));
  ASSERT_TRUE(facade->finishPayment(false, "o1"));
  ASSERT_TRUE(facade->finishPayment(true, "o2"));
  ASSERT_TRUE(kit::test::runUntil(
      [&] { return !listener->callsNamed("payFail").empty() && !listener->callsNamed("paySuccess").empty(); }));
  EXPECT_EQ(kit::describe(listener->callsNamed("payFail").back().argument["cpOrder"]), "G-0001");
  EXPECT_EQ(kit::describe(listener->callsNamed("paySuccess").back().argument["cpOrder"]), "G-0002");
}

TEST_F(CoreOrder, LogoutResetsTheRoleAndOrdersAreRefusedAgain) {
  logIn();
  reportRole();
  core->setIsTimeStore(true);
  core->setShop_type(kit::str("1"));
  listener->clear();
  core->nuva_logout();
  EXPECT_EQ(facade->logoutCount(), 1);
  ASSERT_EQ(listener->count(), 1u);  // at once, on this thread
  EXPECT_EQ(listener->calls()[0].name, "logout");
  EXPECT_EQ(kit::describe(listener->calls()[0].argument), "success");
  EXPECT_EQ(kit::describe(core->roleid()), "");
  EXPECT_TRUE(core->isRunLogic());
  EXPECT_FALSE(core->isTimeStore());
  EXPECT_EQ(kit::describe(core->shop_type()), "3");
  EXPECT_EQ(kit::describe(core->super_user_id()), "99");  // kept through logout

  core->nuva_superOrder(orderJSON());
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudTexts.back(), "请先调用上报角色方法");
}

TEST_F(CoreOrder, ANewLoginClearsTheRoleOfThePreviousAccount) {
  logIn();
  reportRole();
  ScriptedTolmixSDK::LoginAnswer other;
  other.userName = "player02";
  facade->answerLoginsWith(other);
  logIn();
  EXPECT_EQ(kit::describe(core->super_user_id()), "100");
  EXPECT_EQ(kit::describe(core->roleid()), "");
  core->nuva_superOrder(orderJSON());
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudTexts.back(), "请先调用上报角色方法");
}

}  // namespace
