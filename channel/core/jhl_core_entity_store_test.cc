// Opening the store hub and the resource hall against the simulated game
// server, on the virtual clock, with the recording overlay stand-ins: the
// 1 s collapse, the joined load that opens the hub only when every part
// succeeded (and never blocks), the claim-status merge, the overlay class by
// orientation, the role description, the close and recharge callbacks, and
// the hall or its not-open pop-up.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "channel/testing/core_road_fixture.h"
#include "kit/foundation/json_serialization.h"
#include "kit/net/url_session.h"
#include "kit/ui/render.h"

namespace {

using Store = sim::ChannelGameServer::Store;

class CoreStore : public CoreTimedFixture {
 protected:
  // Logs in and reports the role; the report's menus are handled.
  void logInWithRole() {
    logIn();
    reportRole();
    ASSERT_TRUE(kit::test::runUntil([&] { return game.requestsTo("menu/new").size() >= 2; }));
    // The first report's own menu was handled: the lucky timer runs.
    ASSERT_TRUE(kit::test::runUntil([&] {
      return kit::describe((*NUVACountdown::shareInstance()->timerDictionary())["luck"]) == "running";
    }));
    waitForAnswers();
    game.clearLog();
  }
  // Asks for the hub and lets the collapse delay run out.
  void openHub() {
    core->nuva_openGmShop();
    advance(JHLCoreEntity::kCollapseDelay);
  }
  bool waitForHubs(size_t count) {
    return kit::test::runUntil([&] { return overlays->hubs().size() >= count; });
  }
  size_t requestsTo(const char* route) const { return game.requestsTo(route).size(); }
  // Waits until every request the core has sent has been answered and the
  // answer's work on the main queue has run, the requests that work sends
  // in turn (a store's status after its goods) included. A request in the
  // server's log may still be unanswered: the server logs it before it
  // reads the route's fault or queued reply, and the answer then crosses
  // the session's queue and hops to the main queue. A part that fails
  // leaves nothing else to wait for.
  void waitForAnswers() {
    auto session = kit::URLSession::sharedSession();
    do {
      ASSERT_TRUE(kit::test::runUntil([&] { return session->allTasks().empty(); }));
      // The session's delegate queue is serial: once this runs, the
      // completion handlers queued before it have run.
      auto answered = std::make_shared<std::atomic<bool>>(false);
      session->getAllTasksWithCompletionHandler([answered](const auto&) { *answered = true; });
      ASSERT_TRUE(kit::test::runUntil([&] { return answered->load(); }));
      ASSERT_TRUE(kit::test::settleMain());
    } while (!session->allTasks().empty());
  }
  // Waits until both stores' goods and status requests of one loading came
  // in and their answers were handled.
  void waitForLoad(size_t loads) {
    ASSERT_TRUE(kit::test::runUntil(
        [&] { return requestsTo("gmstore/status") >= loads && requestsTo("vipstore/status") >= loads; }));
    waitForAnswers();
  }
  static kit::Id parsed(const kit::Ref<kit::String>& json) {
    return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(kit::describe(json)));
  }
};

TEST_F(CoreStore, RequestsWithinASecondOpenTheHubOnceASecondAfterTheLast) {
  logInWithRole();
  core->nuva_openGmShop();
  advance(0.4);
  core->nuva_openGmShop();
  advance(0.4);
  core->nuva_openGmShop();
  advance(0.9);
  EXPECT_EQ(game.requestCount(), 0u);
  advance(0.1);
  ASSERT_TRUE(waitForHubs(1));
  drainMain();
  EXPECT_EQ(overlays->hubs().size(), 1u);
  EXPECT_EQ(requestsTo("gmstore/goodsnew"), 1u);
  EXPECT_EQ(requestsTo("vipstore/goodsnew"), 1u);
  EXPECT_EQ(requestsTo("menu/new"), 0u);  // the menu is known already
  EXPECT_EQ(game.requestsTo("gmstore/goodsnew")[0].query, "game_id=1001&role_id=r1");
  auto status = game.requestsTo("gmstore/status");
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].method, "POST");
  EXPECT_EQ(status[0].field("role_id"), "r1");
  EXPECT_EQ(status[0].field("super_user_id"), "99");
  EXPECT_EQ(status[0].field("token"), kit::describe(core->token()));

  auto hub = overlays->hubs()[0];
  EXPECT_TRUE(hub->isShown());
  EXPECT_TRUE(core->isHallOpen());
  EXPECT_EQ(kit::describe(hub->shop_type), "3");
  EXPECT_EQ(kit::describe(hub->menuBtnArray), kit::describe(kit::array({"1", "2", "4", "8"})));
  EXPECT_EQ(kit::describe(hub->gmtotal_money), "128");
  EXPECT_EQ(kit::describe(hub->vipdesc), "VIP等级礼包");
  EXPECT_EQ(kit::describe(hub->roleid), "r1");
  EXPECT_EQ(hub->superview().get(), static_cast<kit::View*>(window.get()));
  EXPECT_TRUE(kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/store_hub_placeholder.png"));
}

TEST_F(CoreStore, TheClaimStatusMarksTheItemsOfItsIdAndLeavesTheOthers) {
  logInWithRole();
  game.setGoods(Store::GM,
                R"({"total_money":"6","desc":"d","list":[[{"id":"12","status":"0"},{"id":"13","status":"0"}],)"
                R"([{"id":12,"status":"0","extra":"kept"}],"not a list",[7,{"id":"14"}]]})");
  game.setClaimStatus(Store::GM, {{"12", "1"}});
  openHub();
  ASSERT_TRUE(waitForHubs(1));
  auto goods = overlays->hubs()[0]->responseArray;
  ASSERT_EQ(goods->count(), 4u);
  kit::Id list = goods;
  EXPECT_EQ(kit::describe(list[0][0]["status"]), "1");
  EXPECT_EQ(kit::describe(list[0][1]["status"]), "0");
  EXPECT_EQ(kit::describe(list[1][0]["status"]), "1");  // an id given as a number matches too
  EXPECT_EQ(kit::describe(list[1][0]["extra"]), "kept");
  // Entries the hub cannot read are left out; categories keep their place.
  EXPECT_EQ(kit::as<kit::Array>(list[2])->count(), 0u);
  ASSERT_EQ(kit::as<kit::Array>(list[3])->count(), 1u);
  EXPECT_EQ(list[3][0]["status"], nullptr);  // no status loaded, none merged
  EXPECT_EQ(kit::describe(overlays->hubs()[0]->VIPArray), kit::describe(core->VIPArray()));
}

TEST_F(CoreStore, AFailingPartLeavesNoHubAndBlocksNothing) {
  logInWithRole();
  game.setFault("gmstore/goodsnew", sim::RouteFault::ServerErrorJSON);
  openHub();
  // Each loading is answered in full before the server is scripted again:
  // a fault lifted while a request is still being answered would pass it.
  ASSERT_TRUE(kit::test::runUntil(
      [&] { return requestsTo("gmstore/goodsnew") == 1 && requestsTo("vipstore/status") == 1; }));
  waitForAnswers();
  EXPECT_EQ(requestsTo("gmstore/status"), 0u);
  EXPECT_TRUE(overlays->hubs().empty());
  EXPECT_FALSE(core->isHallOpen());
  game.clearLog();

  // A goods answer other than "200", and a status request that fails.
  game.setFault("gmstore/goodsnew", sim::RouteFault::None);
  game.queueReply("vipstore/goodsnew", R"({"status":"404","msg":"无此商城"})");
  openHub();
  ASSERT_TRUE(kit::test::runUntil(
      [&] { return requestsTo("gmstore/status") == 1 && requestsTo("vipstore/goodsnew") == 1; }));
  waitForAnswers();
  EXPECT_EQ(requestsTo("vipstore/status"), 0u);
  EXPECT_TRUE(overlays->hubs().empty());
  game.clearLog();
  game.setFault("vipstore/status", sim::RouteFault::CloseConnection);
  openHub();
  waitForLoad(1);
  EXPECT_TRUE(overlays->hubs().empty());

  // Nothing waits on the failed loads: the next request opens the hub.
  game.setFault("vipstore/status", sim::RouteFault::None);
  openHub();
  ASSERT_TRUE(waitForHubs(1));
  // The loads given up stay given up, also past their time-out.
  advance(JHLCoreEntity::kHubLoadTimeout);
  EXPECT_EQ(overlays->hubs().size(), 1u);
}

TEST_F(CoreStore, AStatusAnswerOfAnyKindAndEmptyGoodsStillOpenTheHub) {
  logInWithRole();
  openHub();
  ASSERT_TRUE(waitForHubs(1));
  overlays->hubs()[0]->close();
  auto vipBefore = kit::describe(core->VIPArray());
  ASSERT_NE(core->VIPArray()->count(), 0u);

  game.setGoods(Store::VIP, "{}");
  game.setReply("gmstore/status", R"({"status":"500","msg":"稍后再试"})");
  game.setFault("vipstore/status", sim::RouteFault::NotJSON);
  openHub();
  ASSERT_TRUE(waitForHubs(2));
  EXPECT_EQ(kit::describe(overlays->hubs()[1]->VIPArray), vipBefore);
}

TEST_F(CoreStore, TheHubWaitsForAMenuWhenThereIsNone) {
  // With the time store the day is marked, so the next report of the day
  // asks for no menu.
  game.setMenu({"1", "3"});
  logInWithRole();
  ASSERT_TRUE(kit::test::runUntil([&] { return core->isTimeStore(); }));
  logIn();  // a new login empties the menu
  reportRole();
  waitForAnswers();
  game.clearLog();
  game.queueReply("menu/new", R"({"status":"500"})");
  openHub();
  ASSERT_TRUE(kit::test::runUntil([&] { return requestsTo("menu/new") == 1; }));
  waitForAnswers();
  EXPECT_EQ(requestsTo("gmstore/goodsnew"), 0u);
  EXPECT_TRUE(overlays->hubs().empty());

  openHub();
  ASSERT_TRUE(waitForHubs(1));
  auto requests = game.requests();
  EXPECT_EQ(requests[1].route, "menu/new");
  EXPECT_EQ(requests[2].route.find("goodsnew") != std::string::npos, true);
}

TEST_F(CoreStore, NoGameOrNoRoleOpensNothing) {
  openHub();
  drainMain();
  EXPECT_EQ(game.requestCount(), 0u);
  core->nuva_openResourceStore();
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudTexts.back(), "请先调用上报角色方法");

  core->setNuvagameid(nullptr);
  openHub();
  ASSERT_TRUE(waitForHUD(2));
  EXPECT_EQ(hudTexts.back(), "请先登录");
  core->nuva_openResourceStore();
  ASSERT_TRUE(waitForHUD(3));
  EXPECT_EQ(hudTexts.back(), "请先登录");
  EXPECT_EQ(game.requestCount(), 0u);
  EXPECT_TRUE(overlays->hubs().empty());
}

TEST_F(CoreStore, TheOrientationPicksTheClass) {
  logInWithRole();
  kit::Application::shared()->setStatusBarOrientation(kit::InterfaceOrientation::LandscapeLeft);
  openHub();
  ASSERT_TRUE(waitForHubs(1));
  EXPECT_EQ(overlays->hubs()[0]->className(), "NUVAGMShopView");
  overlays->hubs()[0]->close();
  kit::Application::shared()->setStatusBarOrientation(kit::InterfaceOrientation::PortraitUpsideDown);
  openHub();
  ASSERT_TRUE(waitForHubs(2));
  EXPECT_EQ(overlays->hubs()[1]->className(), "NUVAVerticalGMShopView");
}

TEST_F(CoreStore, TheHubSignsWithTheRoleDescriptionAndReportsCloseAndRecharge) {
  logInWithRole();
  core->setShop_type(kit::str("2"));
  openHub();
  ASSERT_TRUE(waitForHubs(1));
  auto hub = overlays->hubs()[0];
  EXPECT_EQ(kit::describe(hub->shop_type), "2");
  kit::Id info = parsed(hub->userInfo);
  auto keys = kit::as<kit::Dictionary>(info);
  ASSERT_TRUE(keys);
  EXPECT_EQ(keys->count(), 10u);
  EXPECT_EQ(kit::describe(info["super_user_id"]), "99");
  EXPECT_EQ(kit::describe(info["super_role_id"]), "r1");
  EXPECT_EQ(kit::describe(info["super_token"]), kit::describe(core->token()));
  EXPECT_EQ(kit::describe(info["cp_role_id"]), "10086");
  EXPECT_EQ(kit::describe(info["game_id"]), "1001");
  EXPECT_EQ(kit::describe(info["service_id"]), "3");
  EXPECT_EQ(kit::describe(info["channel_id"]), "256");
  EXPECT_EQ(kit::describe(info["service_name"]), "青龙");
  EXPECT_EQ(kit::describe(info["role_name"]), "凌霄");
  EXPECT_EQ(kit::describe(info["role_level"]), "12");
  EXPECT_NE(kit::describe(hub->userInfo).find("\n"), std::string::npos);  // pretty-printed

  hub->recharge();
  EXPECT_FALSE(core->isHallOpen());
  EXPECT_EQ(kit::describe(core->shop_type()), "3");
  EXPECT_EQ(hub->superview(), nullptr);
  auto recharge = listener->callsNamed("recharge");
  ASSERT_EQ(recharge.size(), 1u);
  EXPECT_TRUE(recharge[0].onMain);
  EXPECT_EQ(kit::describe(parsed(kit::text(recharge[0].argument))["event"]), "open_shop");
}

TEST_F(CoreStore, AHubClosedOnAnotherThreadChangesTheCoreOnTheMainQueue) {
  logInWithRole();
  core->setShop_type(kit::str("1"));
  openHub();
  ASSERT_TRUE(waitForHubs(1));
  ASSERT_TRUE(core->isHallOpen());
  // An order notification closes the hub on the network's thread.
  std::thread network([&] { overlays->hubs()[0]->closeBlock(); });
  network.join();
  EXPECT_TRUE(core->isHallOpen());
  EXPECT_EQ(kit::describe(core->shop_type()), "1");
  ASSERT_TRUE(kit::test::runUntil([&] { return !core->isHallOpen(); }));
  EXPECT_EQ(kit::describe(core->shop_type()), "3");
}

TEST_F(CoreStore, TheHallShowsItsGoodsOrTheNotOpenPopUp) {
  logInWithRole();
  game.setResourceGoods("[]");
  core->nuva_openResourceStore();
  ASSERT_TRUE(kit::test::runUntil([&] { return !overlays->notOpenViews().empty(); }));
  EXPECT_TRUE(overlays->notOpenViews()[0]->isShown());
  EXPECT_EQ(game.requestsTo("infiniteres/goodsnew")[0].query, "game_id=1001&role_id=r1&server_id=3");
  advance(2);
  EXPECT_TRUE(overlays->halls().empty());
  // No order observer was registered: a hall order goes nowhere.
  kit::NotificationCenter::defaultCenter()->postNotificationName(
      NUVAResourcePAYNotification, kit::dict({{"order_id", "g1"}, {"good_id", "501"}, {"good_name", "金币"},
                                              {"money", "6"}, {"remark", ""}}));
  advance(2);
  EXPECT_TRUE(server.requestsTo("order/index").empty());

  // A refused answer shows nothing at all.
  game.setResourceGoods(sim::ChannelGameServer::sampleResourceGoods());
  game.queueReply("infiniteres/goodsnew", R"({"status":"403","data":{"list":[1]}})");
  core->nuva_openResourceStore();
  ASSERT_TRUE(kit::test::runUntil([&] { return game.requestsTo("infiniteres/goodsnew").size() == 2; }));
  waitForAnswers();
  advance(2);
  EXPECT_EQ(overlays->notOpenViews().size(), 1u);
  EXPECT_TRUE(overlays->halls().empty());

  // With goods the hall opens a second after the answer, in the form of
  // the orientation, with the whole answer and the role description.
  kit::Application::shared()->setStatusBarOrientation(kit::InterfaceOrientation::LandscapeRight);
  core->nuva_openResourceStore();
  ASSERT_TRUE(kit::test::runUntil([&] { return core->responseData() != nullptr; }));
  advance(0.9);
  EXPECT_TRUE(overlays->halls().empty());
  advance(0.1);
  ASSERT_EQ(overlays->halls().size(), 1u);
  auto hall = overlays->halls()[0];
  EXPECT_EQ(hall->className(), "NUVAResourceHallView");
  kit::Id answer = hall->responseData;
  EXPECT_EQ(kit::describe(answer["data"]["list"][0]["id"]), "501");
  EXPECT_EQ(kit::as<kit::Dictionary>(parsed(hall->userInfo))->count(), 10u);
  EXPECT_FALSE(core->isHallOpen());
}

TEST_F(CoreStore, TotalsAndDescriptionsThatAreNoTextsReachTheHubEmpty) {
  logInWithRole();
  game.setGoods(Store::GM, R"({"total_money":[null],"desc":{"a":"b"},"list":[[{"id":"12","status":"0"}]]})");
  game.setGoods(Store::VIP, R"({"total_money":{},"desc":["x"],"list":[[{"id":"13","status":"0"}]]})");
  openHub();
  ASSERT_TRUE(waitForHubs(1));
  auto hub = overlays->hubs()[0];
  EXPECT_EQ(kit::describe(hub->gmtotal_money), "");
  EXPECT_EQ(kit::describe(hub->gmdesc), "");
  EXPECT_EQ(kit::describe(hub->viptotal_money), "");
  EXPECT_EQ(kit::describe(hub->vipdesc), "");
}

}  // namespace
