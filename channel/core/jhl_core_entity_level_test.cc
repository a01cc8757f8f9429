// The level store report against the simulated game server: which level
// ranges of the menu report a role, the report's address, and the level
// pop-up whose button opens the hub on the level gifts tab.

#include <gtest/gtest.h>

#include "channel/testing/core_road_fixture.h"
#include "kit/testing/log_capture.h"

namespace {

class CoreLevel : public CoreTimedFixture {
 protected:
  void SetUp() override {
    CoreTimedFixture::SetUp();
    sim::GameMenuTimes times;
    times.levelList = {"10,20", "10", "1,2,3", "14,15", "16,30"};
    game.setMenu({"1", "8"}, times);
  }
  // The first report of a role at a level; waits until its menus were
  // handled.
  void reportLevel(const char* level) {
    core->nuva_superRoleUpdate(roleJSON({{"role_level", level}}));
    ASSERT_TRUE(kit::test::runUntil([&] { return core->levelListArray()->count() > 0; }));
    drainMain();
  }
  std::vector<sim::ChannelRequest> reports() const { return game.requestsTo("levelstore/report"); }
};

TEST_F(CoreLevel, EveryRangeHoldingTheLevelReportsOnceAndOthersAreIgnored) {
  logIn();
  reportLevel("15");
  ASSERT_TRUE(kit::test::runUntil([&] { return reports().size() >= 2; }));
  drainMain();
  auto sent = reports();
  ASSERT_EQ(sent.size(), 2u);  // "10,20" and "14,15"
  EXPECT_EQ(sent[0].query, "server_id=3&role_id=r1&platform_id=256&game_id=1001&level=15");
  EXPECT_TRUE(overlays->levelPopUps().empty());  // no offer

  // A later report checks again at once, on the ranges kept.
  game.clearLog();
  core->nuva_superRoleUpdate(roleJSON({{"role_level", "30"}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return reports().size() >= 1; }));
  drainMain();
  EXPECT_EQ(reports().size(), 1u);
  EXPECT_EQ(reports()[0].field("level"), "30");
}

TEST_F(CoreLevel, PageValuesHoldingQueryDelimitersStayOneArgument) {
  logIn();
  // The page's server id and level go into the game server's queries; what
  // they hold must not add or replace arguments.
  core->nuva_superRoleUpdate(roleJSON({{"service_id", "3&game_id=7"}, {"role_level", "15&level=99"}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return core->levelListArray()->count() > 0; }));
  ASSERT_TRUE(kit::test::runUntil([&] { return reports().size() >= 2; }));
  drainMain();
  auto menus = game.requestsTo("menu/new");
  ASSERT_FALSE(menus.empty());
  EXPECT_EQ(menus[0].query, "game_id=1001&server_id=3%26game_id%3D7");
  EXPECT_EQ(menus[0].field("game_id"), "1001");
  EXPECT_EQ(menus[0].field("server_id"), "3&game_id=7");
  auto sent = reports();
  ASSERT_EQ(sent.size(), 2u);  // level 15: "10,20" and "14,15"
  EXPECT_EQ(sent[0].field("server_id"), "3&game_id=7");
  EXPECT_EQ(sent[0].field("level"), "15&level=99");
  EXPECT_EQ(sent[0].field("game_id"), "1001");
  EXPECT_EQ(sent[0].fields.size(), 5u);
}

TEST_F(CoreLevel, AnOfferShowsThePopUpWhoseButtonOpensTheLevelGifts) {
  game.setLevelOffer(R"({"ads_pic":"https://example.invalid/ad.gif","items":"[{\"name\":\"金币\",\"amount\":\"100\"}]"})");
  logIn();
  reportLevel("12");
  ASSERT_TRUE(kit::test::runUntil([&] { return !overlays->levelPopUps().empty(); }));
  auto popUp = overlays->levelPopUps()[0];
  EXPECT_TRUE(popUp->isShown());
  EXPECT_EQ(kit::describe(popUp->adPic), "https://example.invalid/ad.gif");
  EXPECT_EQ(kit::describe(popUp->items), R"([{"name":"金币","amount":"100"}])");

  // The button opens the hub at once (no collapse) on the level gifts tab.
  popUp->pressButton();
  EXPECT_EQ(kit::describe(core->shop_type()), "1");
  ASSERT_TRUE(kit::test::runUntil([&] { return !overlays->hubs().empty(); }));
  EXPECT_EQ(kit::describe(overlays->hubs()[0]->shop_type), "1");
  overlays->hubs()[0]->close();
  EXPECT_EQ(kit::describe(core->shop_type()), "3");

  // While the hub is open a report in range does not report.
  core->nuva_openGmShop();
  advance(1);
  ASSERT_TRUE(kit::test::runUntil([&] { return overlays->hubs().size() == 2; }));
  size_t before = reports().size();
  reportRole();
  drainMain();
  EXPECT_EQ(reports().size(), before);
}

TEST_F(CoreLevel, AnswersWithoutAnOfferCallBackButShowNothing) {
  logIn();
  reportLevel("5");
  ASSERT_TRUE(reports().empty());
  game.queueReply("levelstore/report", R"({"status":"200","data":{}})");
  bool called = false;
  core->levelstoreReport([&](const kit::Id&) { called = true; });
  ASSERT_TRUE(kit::test::runUntil([&] { return called; }));
  EXPECT_TRUE(overlays->levelPopUps().empty());

  // "200" as a number is success; data of another kind with entries is
  // shown with what it has.
  called = false;
  game.queueReply("levelstore/report", R"({"status":200,"data":{"ads_pic":null}})");
  core->levelstoreReport([&](const kit::Id&) { called = true; });
  ASSERT_TRUE(kit::test::runUntil([&] { return called; }));
  ASSERT_EQ(overlays->levelPopUps().size(), 1u);
  EXPECT_EQ(kit::describe(overlays->levelPopUps()[0]->items), "(null)");

  // A refusal neither shows nor calls back (the answer is logged).
  called = false;
  kit::test::LogCapture logs;
  game.queueReply("levelstore/report", R"({"status":"500","data":{"ads_pic":"x"}})");
  core->levelstoreReport([&](const kit::Id&) { called = true; });
  ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("level store report:"); }));
  drainMain();
  EXPECT_FALSE(called);
  EXPECT_EQ(overlays->levelPopUps().size(), 1u);
}

}  // namespace
