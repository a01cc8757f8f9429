// Orders from the overlays, on the virtual clock: the overlays' order
// notifications (posted from another thread, as the overlays' reply queues
// do) become one channel order a second after the last one of their kind,
// in the page's order form with the game's own role id, however often the
// hub was opened; gift and hall orders keep their own pending order.

#include <gtest/gtest.h>

#include <functional>

#include "channel/testing/core_road_fixture.h"

namespace {

class CoreStoreOrder : public CoreTimedFixture {
 protected:
  void logInWithRole() {
    logIn();
    reportRole();
    ASSERT_TRUE(kit::test::runUntil([&] {
      return kit::describe((*NUVACountdown::shareInstance()->timerDictionary())["luck"]) == "running";
    }));
    drainMain();
  }
  void openHub() {
    size_t before = overlays->hubs().size();
    core->nuva_openGmShop();
    advance(JHLCoreEntity::kCollapseDelay);
    ASSERT_TRUE(kit::test::runUntil([&] { return overlays->hubs().size() > before; }));
    overlays->hubs().back()->close();
  }
  void openHall() {
    size_t before = overlays->halls().size();
    core->nuva_openResourceStore();
    ASSERT_TRUE(kit::test::runUntil([&] { return core->responseData() != nullptr; }));
    advance(JHLCoreEntity::kCollapseDelay);
    ASSERT_EQ(overlays->halls().size(), before + 1);
  }
  // Posts an order notification from a worker thread and waits until the
  // core has taken it in.
  void postOrder(const char* name, const std::string& orderId, const std::string& goodId = "701") {
    auto order = kit::dict({{"good_name", "限时 礼包"}, {"good_id", goodId}, {"order_id", orderId},
                            {"remark", "pack"}, {"money", "6.00"}});
    postFromWorker([name, order] { kit::NotificationCenter::defaultCenter()->postNotificationName(name, order); });
  }
  // Runs `post` on a worker thread, then the main-queue step it set off.
  void postFromWorker(std::function<void()> post) {
    kit::Queue::global().async(std::move(post));
    ASSERT_TRUE(kit::test::drain(kit::Queue::global()));
    drainMain();
  }
  size_t orders() const { return server.requestsTo("order/index").size(); }
  bool waitForOrders(size_t count) {
    return kit::test::runUntil([&] { return orders() >= count; });
  }
};

TEST_F(CoreStoreOrder, OneNotificationAfterThreeOpeningsPlacesOneOrderASecondLater) {
  logInWithRole();
  openHub();
  openHub();
  openHub();
  postOrder(NUVAGIFTPAYNotification, "G-77");
  advance(0.9);
  EXPECT_EQ(orders(), 0u);
  advance(0.1);
  ASSERT_TRUE(waitForOrders(1));
  ASSERT_TRUE(kit::test::runUntil([&] { return !facade->paySheets().empty(); }));
  advance(5);
  drainMain();
  auto sent = server.requestsTo("order/index");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].field("role_id"), "10086");  // the game's own role id
  EXPECT_EQ(sent[0].field("game_order_sn"), "G-77");
  EXPECT_EQ(sent[0].field("good_name"), "限时礼包");
  EXPECT_EQ(sent[0].field("money"), "6.00");
  EXPECT_EQ(sent[0].field("remark"), "pack");
  EXPECT_EQ(sent[0].field("super_user_id"), "99");
  EXPECT_EQ(sent[0].field("service_name"), "青龙");
  // The order text the core built is the page's form of the order.
  kit::Id text = JHLCoreEntity::dictionaryWithJsonString(core->roleData1());
  EXPECT_EQ(kit::as<kit::Dictionary>(text)->count(), 10u);
  EXPECT_EQ(text["role_level"], nullptr);
}

TEST_F(CoreStoreOrder, TheLastOrderOfAStepWinsAndLevelGiftsShareIt) {
  logInWithRole();
  openHub();
  postOrder(NUVAGIFTPAYNotification, "G-1");
  advance(0.5);
  postOrder(NUVALEVELPAYNotification, "L-2");
  advance(0.9);
  EXPECT_EQ(orders(), 0u);
  advance(0.1);
  ASSERT_TRUE(waitForOrders(1));
  advance(3);
  drainMain();
  auto sent = server.requestsTo("order/index");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].field("game_order_sn"), "L-2");
}

TEST_F(CoreStoreOrder, AGiftAndAHallOrderWithinASecondAreBothPlaced) {
  logInWithRole();
  openHub();
  openHall();
  postOrder(NUVAGIFTPAYNotification, "G-5");
  advance(0.3);
  postOrder(NUVAResourcePAYNotification, "R-6", "501");
  advance(0.7);
  ASSERT_TRUE(waitForOrders(1));
  advance(0.3);
  ASSERT_TRUE(waitForOrders(2));
  advance(3);
  drainMain();
  auto sent = server.requestsTo("order/index");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].field("game_order_sn"), "G-5");
  EXPECT_EQ(sent[1].field("game_order_sn"), "R-6");
  EXPECT_EQ(sent[1].field("good_id"), "501");
}

TEST_F(CoreStoreOrder, NotificationsBeforeTheOverlaysOpenedAreNotObserved) {
  logInWithRole();
  postOrder(NUVAGIFTPAYNotification, "G-1");
  postOrder(NUVAResourcePAYNotification, "R-1");
  advance(2);
  EXPECT_EQ(orders(), 0u);
  EXPECT_EQ(core->roleData1(), nullptr);
}

TEST_F(CoreStoreOrder, AnOrderWithoutItsValuesIsRefusedByTheOrderChecks) {
  logInWithRole();
  openHub();
  postFromWorker([] { kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAGIFTPAYNotification); });
  advance(1);
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudTexts.back(), "good_id为空");
  EXPECT_EQ(orders(), 0u);
}

}  // namespace
