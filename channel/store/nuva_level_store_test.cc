// The level store against the simulated game server, on the virtual clock:
// the level rows (price button, tiles, orders and their refusals), the tab's
// request and notice, the rows' sale countdowns and the reads they cause
// (at most one per 5 seconds, none dropped), the table's sections and rows
// in both forms, and a countdown that outlives the tab.

#include <gtest/gtest.h>

#include "channel/core/nuva_countdown.h"
#include "channel/core/nuva_data_format.h"
#include "channel/store/nuva_level_cell.h"
#include "channel/store/nuva_levelstore_view.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/ui/ui_test_driver.h"

namespace {

kit::Ref<NUVALevelModel> levelPack(const std::string& text) {
  return NUVALevelModel::withValues(NUVADataFormat::dictionaryWithJsonString(kit::str(text)));
}

std::string packJSON(const char* id, const char* isBuy, const char* lostTime, int items = 2) {
  std::string list;
  for (int i = 0; i < items; ++i) {
    list += std::string(i ? "," : "") + R"({\"mid\":\")" + std::to_string(i + 1) + R"(\",\"name\":\"物品)" +
            std::to_string(i + 1) + R"(\",\"amount\":\"10\"})";
  }
  return std::string(R"({"good_id":")") + id + R"(","good_name":")" + id + R"(级礼包","money":"6","is_buy":")" +
         isBuy + R"(","lost_time":")" + lostTime + R"(","items":"[)" + list + R"(]"})";
}

std::string packsJSON(const std::vector<std::string>& packs, const char* notice = "等级礼包限时开放") {
  std::string list;
  for (size_t i = 0; i < packs.size(); ++i) list += (i ? "," : "") + packs[i];
  return std::string(R"({"notice_content":")") + notice + R"(","list":[)" + list + "]}";
}

const std::string kRowKey = "cell{length = 2, path = 0 - 0}";

class LevelStore : public StoreFixture {
 protected:
  explicit LevelStore(kit::DeviceProfile device = kit::DeviceProfile::phone667x375()) : StoreFixture(device) {}

  kit::Ref<NUVALevelRow> row(const std::string& json) {
    auto made = NUVALevelCell::make(kit::TableViewCellStyle::Default, kRowKey);
    made->setFrame({10, 40, 567, 60});
    window->addSubview(made);
    made->setUserInfo(userInfo());
    made->setModel(levelPack(json));
    return made;
  }
  kit::Ref<NUVALevelstoreTab> open(bool portrait = false) {
    kit::Ref<NUVALevelstoreTab> made;
    if (portrait) {
      made = NUVAVerLevelstoreView::init();
    } else {
      made = NUVALevelstoreView::init();
    }
    made->setFrame(window->bounds());
    made->setUserInfo(userInfo());
    window->addSubview(made);
    window->layoutIfNeeded();
    return made;
  }
  size_t lists() { return game.requestsTo("levelstore/goodsnew").size(); }
  // Waits until the answer to the latest read started the row's countdown.
  static bool waitForCountdown(const std::string& key = kRowKey) {
    return kit::test::runUntil([&] {
      auto timers = NUVACountdown::shareInstance()->timerDictionary();
      return kit::describe((*timers)[key]) == "running";
    });
  }
  // Waits until an answer replaced the records (and the rows show them).
  bool waitForNewPacks(const kit::Ref<NUVALevelstoreTab>& tab, const kit::Id& before) {
    bool replaced = kit::test::runUntil([&] {
      auto records = tab->giftVC()->giftModelArray();
      return records->count() > 0 && records->objectAtIndex(0) != before;
    });
    window->layoutIfNeeded();
    return replaced;
  }
  kit::Id firstPack(const kit::Ref<NUVALevelstoreTab>& tab) {
    return tab->giftVC()->giftModelArray()->firstObject();
  }
  kit::Ref<NUVALevelRow> rowOf(const kit::Ref<NUVALevelstoreTab>& tab, long section) {
    window->layoutIfNeeded();
    return kit::as<NUVALevelRow>(tab->giftVC()->tableView()->cellForRowAtIndexPath({section, 0}));
  }
};

TEST_F(LevelStore, APacksButtonShowsItsPriceAndWhetherItCanBeBought) {
  auto onSale = row(packJSON("7", "0", "60", 3));
  EXPECT_EQ(onSale->buyBtn()->currentTitle(), "6元购买");
  EXPECT_EQ(onSale->buyBtn()->backgroundColor()->description(), NUVALevelRow::onSaleColor()->description());
  EXPECT_TRUE(onSale->buyBtn()->isUserInteractionEnabled());
  EXPECT_EQ(onSale->nameLabel()->text(), "7级礼包");
  // Three items on a strip 56 high.
  EXPECT_EQ(onSale->fixView()->frame().height(), 56);
  ASSERT_EQ(onSale->tiles().size(), 3u);
  EXPECT_EQ(onSale->tiles()[0]->frame(), (kit::Rect{30, 0, 56, 56}));
  EXPECT_EQ(onSale->tiles()[1]->frame(), (kit::Rect{116, 0, 56, 56}));
  EXPECT_EQ(onSale->tiles()[2]->frame(), (kit::Rect{202, 0, 56, 56}));
  EXPECT_EQ(onSale->tiles()[2]->name()->text(), "物品3");

  auto bought = row(packJSON("8", "1", "0", 1));
  EXPECT_EQ(bought->buyBtn()->currentTitle(), "6元购买");
  EXPECT_EQ(bought->buyBtn()->backgroundColor()->description(), NUVALevelRow::boughtColor()->description());
  EXPECT_FALSE(bought->buyBtn()->isUserInteractionEnabled());
  kit::test::tap(bought->buyBtn());
  drainMain();
  EXPECT_TRUE(game.requestsTo("charge/levelorder").empty());

  // Items that are no JSON array give no tiles; a new pack replaces the tiles.
  onSale->setModel(levelPack(R"({"good_id":"9","money":"1","is_buy":"0","items":"{\"name\":1}"})"));
  EXPECT_TRUE(onSale->tiles().empty());
  EXPECT_TRUE(onSale->fixView()->subviews().empty());
}

TEST_F(LevelStore, ALevelOrderIsSignedAcceptedAndAnnounced) {
  auto pack = row(packJSON("7", "0", "60"));
  ASSERT_TRUE(kit::test::tap(pack->buyBtn()));
  ASSERT_TRUE(waitForOrders(1));
  auto sent = game.requestsTo("charge/levelorder");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].fields.size(), 9u);
  EXPECT_EQ(sent[0].field("role_id"), "r1");
  EXPECT_EQ(sent[0].field("service_name"), "青龙");
  EXPECT_EQ(sent[0].field("role_name"), "凌霄");
  EXPECT_EQ(sent[0].field("sign"), sim::md5Hex("99" "1001" "3" "r1" "7" + sent[0].field("random") +
                                               sim::ChannelGameServer::kOrderSigningKey));
  auto order = ordersSoFar()[0];
  EXPECT_EQ(order.name, NUVALEVELPAYNotification);
  EXPECT_EQ(kit::describe(order.object), kit::describe(kit::dict({{"good_name", "7级礼包"}, {"good_id", "7"},
                                                                {"order_id", "88"}, {"remark", "level|7"},
                                                                {"money", "6"}})));

  // Status 200 as a number, order id 88 as a number.
  game.queueReply("charge/levelorder", R"({"status":200,"msg":"ok","data":{"order_id":88,"remark":"r"}})");
  kit::test::tap(pack->buyBtn());
  ASSERT_TRUE(waitForOrders(2));
  EXPECT_EQ(kit::describe(ordersSoFar()[1].object["order_id"]), "88");
  EXPECT_EQ(kit::describe(ordersSoFar()[1].object["remark"]), "r");

  game.queueReply("charge/levelorder", R"({"status":"500","msg":"已售罄"})");
  kit::test::tap(pack->buyBtn());
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudSoFar().back(), "已售罄");
  game.queueReply("charge/levelorder", R"({"status":"200","msg":"下单失败","data":{"remark":"r"}})");
  kit::test::tap(pack->buyBtn());
  ASSERT_TRUE(waitForHUD(2));
  EXPECT_EQ(hudSoFar().back(), "下单失败");
  drainMain();
  EXPECT_EQ(ordersSoFar().size(), 2u);
}

TEST_F(LevelStore, EveryLayoutPassReadsThePacksOfTheRolesLevel) {
  game.setLevelStorePacks(packsJSON({packJSON("7", "1", "0"), packJSON("8", "1", "0")}));
  auto tab = open();
  ASSERT_TRUE(waitForRequests("levelstore/goodsnew", 1));
  EXPECT_EQ(game.requestsTo("levelstore/goodsnew")[0].query,
            "server_id=3&role_id=r1&platform_id=256&game_id=1001&level=15");
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->giftVC()->giftModelArray()->count() == 2; }));
  EXPECT_EQ(tab->limitlabel()->text(), "等级礼包限时开放");
  auto table = tab->giftVC()->tableView();
  window->layoutIfNeeded();
  EXPECT_EQ(table->numberOfSections(), 2);
  EXPECT_EQ(table->numberOfRowsInSection(1), 1);
  EXPECT_EQ(table->rectForHeaderInSection(1).height(), 0.1);
  EXPECT_EQ(table->rectForFooterInSection(1).height(), 5);
  auto first = rowOf(tab, 0), second = rowOf(tab, 1);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->frame().height(), 60);
  EXPECT_EQ(second->reuseIdentifier(), "cell{length = 2, path = 1 - 0}");
  EXPECT_EQ(table->frame(), (kit::Rect{10, 35, 667 - 180, 375 - 180}));
  EXPECT_EQ(tab->limitlabel()->frame(), (kit::Rect{5, 375 - 90, 667 - 60, 30}));
  // The answer's notice and rows are no layout pass of the tab.
  EXPECT_EQ(lists(), 1u);
  picture("level_store_landscape");

  tab->setNeedsLayout();
  window->layoutIfNeeded();
  ASSERT_TRUE(waitForRequests("levelstore/goodsnew", 2));

  // A notice with an empty list: the notice, and no packs.
  game.setLevelStorePacks(packsJSON({}, "x"));
  tab->setNeedsLayout();
  window->layoutIfNeeded();
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->giftVC()->giftModelArray()->count() == 0; }));
  EXPECT_EQ(tab->limitlabel()->text(), "x");
  window->layoutIfNeeded();
  EXPECT_EQ(table->numberOfSections(), 0);
}

TEST_F(LevelStore, EveryQueryValueIsEncodedOnceAndArrivesAsItWas) {
  auto tab = NUVALevelstoreView::init();
  tab->setFrame(window->bounds());
  tab->setUserInfo(kit::str(R"({"service_id":"3 区","super_role_id":"r+1/青龙%","channel_id":"a&b=c",)"
                            R"("game_id":"1001%20","role_level":12})"));
  window->addSubview(tab);
  window->layoutIfNeeded();
  ASSERT_TRUE(waitForRequests("levelstore/goodsnew", 1));
  auto sent = game.requestsTo("levelstore/goodsnew")[0];
  EXPECT_EQ(sent.field("server_id"), "3 区") << sent.query;
  EXPECT_EQ(sent.field("role_id"), "r+1/青龙%");
  EXPECT_EQ(sent.field("platform_id"), "a&b=c");
  EXPECT_EQ(sent.field("game_id"), "1001%20");
  EXPECT_EQ(sent.field("level"), "12");
  EXPECT_EQ(sent.fields.size(), 5u);
}

TEST_F(LevelStore, APackOnSaleCountsDownAndTheListIsReadAgainAtZero) {
  game.setLevelStorePacks(packsJSON({packJSON("7", "0", "3")}));
  auto tab = open();
  ASSERT_TRUE(waitForCountdown());
  auto pack = rowOf(tab, 0);
  ASSERT_TRUE(pack);
  game.setLevelStorePacks(packsJSON({packJSON("7", "1", "0")}));
  advance(0);
  EXPECT_EQ(pack->timeLabel()->text(), "00:00:03");
  advance(1);
  EXPECT_EQ(pack->timeLabel()->text(), "00:00:02");
  advance(1);
  EXPECT_EQ(pack->timeLabel()->text(), "00:00:01");
  EXPECT_EQ(lists(), 1u);
  advance(1);
  EXPECT_EQ(pack->timeLabel()->text(), "00:00:00");
  ASSERT_TRUE(waitForRequests("levelstore/goodsnew", 2));
  // Bought now: no countdown, the label stays.
  ASSERT_TRUE(kit::test::runUntil([&] { return rowOf(tab, 0)->model()->isBought(); }));
  advance(10);
  EXPECT_EQ(lists(), 2u);
  EXPECT_EQ(pack->timeLabel()->text(), "00:00:00");
}

TEST_F(LevelStore, ASaleTimeOfZeroReadsOnceAndNoMoreThanOnceEveryFiveSeconds) {
  game.setLevelStorePacks(packsJSON({packJSON("7", "0", "0")}));
  auto tab = open();
  ASSERT_TRUE(waitForNewPacks(tab, nullptr));
  auto before = firstPack(tab);
  advance(0);
  EXPECT_EQ(rowOf(tab, 0)->timeLabel()->text(), "00:00:00");
  ASSERT_TRUE(waitForRequests("levelstore/goodsnew", 2));
  // The server keeps answering 0: the next read waits for the window's end.
  for (size_t read = 3; read <= 4; ++read) {
    ASSERT_TRUE(waitForNewPacks(tab, before));
    before = firstPack(tab);
    advance(0);
    advance(4.9);
    EXPECT_EQ(lists(), read - 1);
    advance(0.1);
    ASSERT_TRUE(waitForRequests("levelstore/goodsnew", read));
  }
}

TEST_F(LevelStore, ACountEndingWithinTheWindowIsFoldedIntoOneReadAtItsEnd) {
  game.setLevelStorePacks(packsJSON({packJSON("7", "0", "3"), packJSON("8", "0", "100")}));
  auto tab = open();
  ASSERT_TRUE(waitForCountdown());
  const std::string second = "cell{length = 2, path = 1 - 0}";
  ASSERT_TRUE(waitForCountdown(second));
  // After the first read the second pack has 2 seconds left.
  game.setLevelStorePacks(packsJSON({packJSON("7", "0", "100"), packJSON("8", "0", "2")}));
  advance(0);
  auto before = firstPack(tab);
  advance(3);  // the first pack ends: read at once (t = 3)
  ASSERT_TRUE(waitForRequests("levelstore/goodsnew", 2));
  ASSERT_TRUE(waitForNewPacks(tab, before));
  game.setLevelStorePacks(packsJSON({packJSON("7", "0", "100"), packJSON("8", "0", "100")}));
  advance(0);
  advance(2);  // the second ends at t = 5: folded
  EXPECT_EQ(rowOf(tab, 1)->timeLabel()->text(), "00:00:00");
  EXPECT_EQ(lists(), 2u);
  advance(2.9);
  EXPECT_EQ(lists(), 2u);
  advance(0.1);  // t = 8: 5 s after the first read
  ASSERT_TRUE(waitForRequests("levelstore/goodsnew", 3));
  advance(20);
  EXPECT_EQ(lists(), 3u);
}

TEST_F(LevelStore, ACountdownOutlivingTheTabReadsOnceAndTouchesNothingGone) {
  game.setLevelStorePacks(packsJSON({packJSON("7", "0", "3")}));
  auto tab = open();
  ASSERT_TRUE(waitForCountdown());
  advance(1);
  kit::Weak<NUVALevelstoreTab> weakTab = tab;
  kit::Weak<NUVALevelTableController> weakTable = tab->giftVC();
  kit::Weak<NUVALevelRow> weakRow = rowOf(tab, 0);
  tab->removeFromSuperview();
  tab = nullptr;
  drainMain();
  EXPECT_TRUE(weakTab.expired());
  EXPECT_TRUE(weakTable.expired());
  EXPECT_TRUE(weakRow.expired());
  advance(2);
  ASSERT_TRUE(waitForRequests("levelstore/goodsnew", 2));
  advance(10);
  EXPECT_EQ(lists(), 2u);
}

class PortraitLevelStore : public LevelStore {
 protected:
  PortraitLevelStore() : LevelStore(kit::DeviceProfile::phone375x667()) {}
};

TEST_F(PortraitLevelStore, PortraitRowsAreTallerWithTheirOwnMeasures) {
  game.setLevelStorePacks(packsJSON({packJSON("7", "0", "3725", 3), packJSON("8", "1", "0")}));
  auto tab = open(true);
  ASSERT_TRUE(waitForCountdown());
  advance(0);
  auto first = rowOf(tab, 0);
  ASSERT_TRUE(kit::as<NUVAVerLevelCell>(first));
  EXPECT_EQ(first->frame().height(), 80);
  EXPECT_EQ(first->timeLabel()->text(), "01:02:05");
  EXPECT_EQ(first->card()->frame(), (kit::Rect{1, 1, 375 - 92, 78}));
  EXPECT_EQ(first->buyBtn()->frame(), (kit::Rect{(375 - 92) * 0.5 - 35, 50, 70, 25}));
  EXPECT_EQ(first->fixView()->frame(), (kit::Rect{83, 5, 375 - 92 - 83, 40}));
  ASSERT_EQ(first->tiles().size(), 3u);
  EXPECT_EQ(first->tiles()[1]->frame(), (kit::Rect{50, 0, 40, 40}));
  EXPECT_EQ(tab->limitlabel()->frame(), (kit::Rect{5, 667 - 150, 375 - 80, 30}));
  picture("level_store_portrait");
}

}  // namespace
