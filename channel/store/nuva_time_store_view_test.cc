// The time store tab against the simulated game server, on the virtual
// clock: its requests and their addresses, the refresh countdown and its
// cycle (one per tab, also over several layout passes, and what a refresh
// time of 0 does), the reload after a payment, an empty list, the tab
// leaving its window and being released, its measures in both forms, and
// rows rebuilt whenever the table asks for them.

#include <gtest/gtest.h>

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_countdown.h"
#include "channel/store/nuva_gift_cell.h"
#include "channel/store/nuva_time_store_view.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/ui/screen.h"
#include "kit/ui/ui_test_driver.h"

namespace {

class TimeStore : public StoreFixture {
 protected:
  explicit TimeStore(kit::DeviceProfile device = kit::DeviceProfile::phone667x375()) : StoreFixture(device) {}

  void menuRefresh(const std::string& seconds) {
    sim::GameMenuTimes times;
    times.timeShopRefresh = seconds;
    game.setMenu({"3"}, times);
  }
  // The tab as the hub makes it: description, then role id, on screen.
  kit::Ref<NUVATimeStoreTab> open(bool portrait = false) {
    kit::Ref<NUVATimeStoreTab> made;
    if (portrait) {
      made = NUVAVerticalTimeStoreView::init();
    } else {
      made = NUVATimeStoreView::init();
    }
    made->setFrame(window->bounds());
    made->setUserInfo(userInfo());
    made->setRoleid(kit::str("r1"));
    window->addSubview(made);
    window->layoutIfNeeded();
    return made;
  }
  size_t menus() { return game.requestsTo("menu/new").size(); }
  size_t packLists() { return game.requestsTo("timestore/goodsnew").size(); }
  // A layout pass of the tab, and its menu answered.
  void layoutPass(const kit::Ref<NUVATimeStoreTab>& tab) {
    size_t before = menus();
    tab->setNeedsLayout();
    window->layoutIfNeeded();
    ASSERT_TRUE(waitForRequests("menu/new", before + 1));
  }
  static size_t tabCountdowns() {
    size_t count = 0;
    auto keys = NUVACountdown::shareInstance()->timerDictionary()->allKeys();
    for (const kit::Id& key : *keys) count += kit::describe(key).starts_with("timeStoreRefresh");
    return count;
  }
  // Waits until the menu's answer started the tab's countdown.
  static bool waitForCountdown(const kit::Ref<NUVATimeStoreTab>& tab) {
    return kit::test::runUntil([&] {
      auto timers = NUVACountdown::shareInstance()->timerDictionary();
      return kit::describe((*timers)[tab->countdownKey()->utf8()]) == "running";
    });
  }
};

TEST_F(TimeStore, ItsRequestsCarryTheGameTheRoleAndTheServer) {
  menuRefresh("60");
  auto tab = open();
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 1));
  ASSERT_TRUE(waitForRequests("menu/new", 1));
  EXPECT_EQ(game.requestsTo("timestore/goodsnew")[0].query, "game_id=1001&role_id=r1&server_id=3");
  EXPECT_EQ(game.requestsTo("menu/new")[0].query, "game_id=1001&server_id=3");
  EXPECT_EQ(tab->service_id()->utf8(), "3");

  // The list's texts and packs.
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->giftVC()->giftModelArray()->count() == 3; }));
  EXPECT_EQ(tab->giftNameLabel()->text(), "限时特惠第一期");
  EXPECT_EQ(tab->limitlabel()->text(), "礼包每日零点刷新");
  EXPECT_EQ(tab->limitNoteLabel()->text(), "每种礼包限购1次");
  window->layoutIfNeeded();
  ASSERT_EQ(tab->giftVC()->tableView()->numberOfSections(), 3);
  auto first = kit::as<NUVAGiftRow>(tab->giftVC()->tableView()->cellForRowAtIndexPath({0, 0}));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->reuseIdentifier(), "cell{length = 2, path = 0 - 0}");
  EXPECT_EQ(first->userInfo()->utf8(), userInfo()->utf8());
  EXPECT_EQ(first->frame().height(), (375 - 170) / 4.0);
  EXPECT_EQ(tab->giftVC()->tableView()->rectForHeaderInSection(1).height(), 0.1);
  EXPECT_EQ(tab->giftVC()->tableView()->rectForFooterInSection(1).height(), 5);
  // The pictures of the packs' items come from the server.
  ASSERT_TRUE(kit::test::runUntil([&] { return first->tiles()[0]->icon()->image() != nullptr; }));
  picture("time_store_landscape");
}

TEST_F(TimeStore, ARoleIdBeforeTheDescriptionAndABlankGameIdAreSentAsTheyAre) {
  auto tab = NUVATimeStoreView::init();
  tab->setRoleid(kit::str("r1"));
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 1));
  EXPECT_EQ(game.requestsTo("timestore/goodsnew")[0].query, "game_id=1001&role_id=r1&server_id=(null)");

  // Values that would add arguments are escaped.
  tab->setUserInfo(kit::str(R"({"service_id":"3&game_id=7"})"));
  tab->setRoleid(kit::str("r 1"));
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 2));
  auto escaped = game.requestsTo("timestore/goodsnew")[1];
  EXPECT_EQ(escaped.field("game_id"), "1001");
  EXPECT_FALSE(escaped.query.find("&game_id=7") != std::string::npos);

  // No game id in NUVAPLIST: no pack list, but the menu still goes.
  bundle.reset();
  bundle = std::make_unique<TestBundle>(std::nullopt);
  game.clearLog();
  // The first tab lays itself out again (as when its pack list comes in
  // late) and asks for its menu first, without a game id too: the tabs'
  // menus are told apart by their server ids.
  auto menusFor = [&](const std::string& serverId) {
    auto menus = game.requestsTo("menu/new");
    std::erase_if(menus, [&](const auto& request) { return request.field("server_id") != serverId; });
    return menus;
  };
  tab->setNeedsLayout();
  tab->layoutIfNeeded();
  ASSERT_TRUE(kit::test::runUntil([&] { return !menusFor("3&game_id=7").empty(); }));
  ASSERT_EQ(menusFor("3&game_id=7")[0].field("game_id"), "(null)") << "the first tab's late menu has a game id";
  auto blank = NUVATimeStoreView::init();
  blank->setUserInfo(userInfo());
  blank->setRoleid(kit::str("r1"));
  window->addSubview(blank);
  window->layoutIfNeeded();
  ASSERT_TRUE(kit::test::runUntil([&] { return !menusFor("3").empty(); }));
  EXPECT_EQ(menusFor("3")[0].query, "game_id=(null)&server_id=3");
  EXPECT_EQ(packLists(), 0u);
}

TEST_F(TimeStore, EveryQueryValueIsEncodedOnceAndArrivesAsItWas) {
  const std::string gameId = "g 1/七&=+%", serverId = "3&game_id=7 区+1", roleId = "r 1/青龙%2B=";
  bundle.reset();
  bundle = std::make_unique<TestBundle>(gameId);
  auto tab = NUVATimeStoreView::init();
  tab->setFrame(window->bounds());
  tab->setUserInfo(kit::str(R"({"service_id":"3&game_id=7 区+1"})"));
  tab->setRoleid(kit::str(roleId));
  window->addSubview(tab);
  window->layoutIfNeeded();
  ASSERT_TRUE(waitForRequests("menu/new", 1));
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 1));
  for (const auto& request : {game.requestsTo("menu/new").back(), game.requestsTo("timestore/goodsnew").back()}) {
    EXPECT_EQ(request.field("game_id"), gameId) << request.query;
    EXPECT_EQ(request.field("server_id"), serverId) << request.query;
    EXPECT_EQ(request.fields.size(), request.route == "menu/new" ? 2u : 3u) << request.query;
  }
  EXPECT_EQ(game.requestsTo("timestore/goodsnew").back().field("role_id"), roleId);
}

TEST_F(TimeStore, TheCountdownRunsToTheRefreshThenReadsAgainAndCountsAgain) {
  menuRefresh("59.9");
  auto tab = open();
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 1));
  ASSERT_TRUE(waitForCountdown(tab));
  advance(0);
  EXPECT_EQ(tab->countLabel()->text(), "倒计时0分钟59秒");
  advance(1);
  EXPECT_EQ(tab->countLabel()->text(), "倒计时0分钟58秒");
  advance(58);
  EXPECT_EQ(tab->countLabel()->text(), "倒计时0分钟0秒");
  EXPECT_EQ(menus(), 1u);
  EXPECT_EQ(packLists(), 1u);
  // The end: the pack list, then the menu, then the next count.
  menuRefresh("3725");
  advance(1);
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 2));
  ASSERT_TRUE(waitForCountdown(tab));
  EXPECT_EQ(menus(), 2u);
  advance(0);
  EXPECT_EQ(tab->countLabel()->text(), "倒计时2分钟5秒");  // minutes modulo an hour
  EXPECT_EQ(tabCountdowns(), 1u);
}

TEST_F(TimeStore, SeveralLayoutPassesLeaveOneCountdown) {
  // Each pass's answer is told by its refresh time.
  menuRefresh("10");
  auto tab = open();
  ASSERT_TRUE(waitForCountdown(tab));
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->countLabel()->text() == "倒计时0分钟10秒"; }));
  for (const char* seconds : {"20", "30"}) {
    menuRefresh(seconds);
    layoutPass(tab);
    ASSERT_TRUE(kit::test::runUntil(
        [&] { return tab->countLabel()->text() == std::string("倒计时0分钟") + seconds + "秒"; }));
  }
  EXPECT_EQ(menus(), 3u);
  EXPECT_EQ(tabCountdowns(), 1u);
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 1));
  // The first two ran out of time unseen: one cycle ends, at 30 s.
  advance(29);
  EXPECT_EQ(menus(), 3u);
  EXPECT_EQ(packLists(), 1u);
  advance(1);
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 2));
  ASSERT_TRUE(waitForRequests("menu/new", 4));
  ASSERT_TRUE(waitForCountdown(tab));
  // New texts lay out the texts' holder, not the tab: no extra menu.
  advance(1);
  EXPECT_EQ(menus(), 4u);
  EXPECT_EQ(packLists(), 2u);
}

TEST_F(TimeStore, ARefreshTimeOfZeroReadsAtOnceAndASecondOneWaitsTenSeconds) {
  menuRefresh("0");
  auto tab = open();
  // The first 0 ends its count at once: the list and the menu again.
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 2));
  ASSERT_TRUE(waitForRequests("menu/new", 2));
  EXPECT_EQ(tab->countLabel()->text(), "");
  // The second 0 in a row: nothing for 10 seconds.
  ASSERT_TRUE(waitForCountdown(tab));
  advance(9.5);
  EXPECT_EQ(menus(), 2u);
  EXPECT_EQ(packLists(), 2u);
  advance(0.5);
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 3));
  ASSERT_TRUE(waitForRequests("menu/new", 3));
  ASSERT_TRUE(waitForCountdown(tab));
  EXPECT_EQ(tab->countLabel()->text(), "");
  // A real refresh time again counts as usual.
  menuRefresh("30");
  advance(10);
  ASSERT_TRUE(waitForRequests("menu/new", 4));
  ASSERT_TRUE(waitForCountdown(tab));
  advance(0);
  EXPECT_EQ(tab->countLabel()->text(), "倒计时0分钟30秒");
}

TEST_F(TimeStore, APaymentReloadsThePacksOnceAndTheCountGoesOn) {
  menuRefresh("100");
  auto tab = open();
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 1));
  ASSERT_TRUE(waitForCountdown(tab));
  advance(3);
  EXPECT_EQ(tab->countLabel()->text(), "倒计时1分钟37秒");
  kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAGIFTPAYSUCCESSNotification);
  ASSERT_TRUE(waitForRequests("timestore/goodsnew", 2));
  advance(1);
  EXPECT_EQ(packLists(), 2u);
  EXPECT_EQ(menus(), 1u);
  EXPECT_EQ(tab->countLabel()->text(), "倒计时1分钟36秒");
}

TEST_F(TimeStore, AnEmptyListEmptiesTheTableAndKeepsTheNewTexts) {
  auto tab = open();
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->giftVC()->giftModelArray()->count() == 3; }));
  game.setTimeStorePacks(R"({"gift_no_name":"第二期","notice_content":"敬请期待","list":[]})");
  tab->getTimeStoreData();
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->giftVC()->giftModelArray()->count() == 0; }));
  EXPECT_EQ(tab->giftNameLabel()->text(), "第二期");
  EXPECT_EQ(tab->limitlabel()->text(), "敬请期待");
  window->layoutIfNeeded();
  EXPECT_EQ(tab->giftVC()->tableView()->numberOfSections(), 0);
}

TEST_F(TimeStore, ATabOffItsWindowStopsAndAReleasedOneHearsNothing) {
  menuRefresh("5");
  auto tab = open();
  ASSERT_TRUE(waitForCountdown(tab));
  advance(2);
  tab->removeFromSuperview();
  advance(60);
  EXPECT_EQ(menus(), 1u);
  EXPECT_EQ(tabCountdowns(), 0u);

  kit::Weak<NUVATimeStoreTab> gone = tab;
  tab = nullptr;
  drainMain();
  EXPECT_TRUE(gone.expired());
  size_t lists = packLists();
  kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAGIFTPAYSUCCESSNotification);
  drainMain();
  EXPECT_EQ(packLists(), lists);
}

TEST_F(TimeStore, EveryTimeTheTableAsksForARowItIsBuiltFromItsPack) {
  // Ten custom packs: the table scrolls.
  std::string list;
  for (int i = 0; i < 10; ++i) {
    list += std::string(i ? "," : "") + R"({"good_id":")" + std::to_string(100 + i) +
            R"(","gift_name":"定制","is_all_fixed":"1","optional_num":"1",)"
            R"("optional_gift":[{"mid":"40","name":"钻石"},{"mid":"41","name":"金币"}]})";
  }
  game.setTimeStorePacks(R"({"gift_no_name":"n","notice_content":"c","list":[)" + list + "]}");
  auto tab = open();
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->giftVC()->giftModelArray()->count() == 10; }));
  window->layoutIfNeeded();
  auto table = tab->giftVC()->tableView();
  auto row = kit::as<NUVAGiftRow>(table->cellForRowAtIndexPath({0, 0}));
  ASSERT_TRUE(row);
  ASSERT_TRUE(kit::test::tap(row->tiles()[0]));
  window->layoutIfNeeded();
  ASSERT_TRUE(kit::test::tap(row->alert()->tiles()[0]));
  EXPECT_EQ(row->chooseModelArray()->count(), 1u);

  // Scrolled out of sight and back: the same row object, rebuilt.
  table->setContentOffset({0, table->contentSize().height - table->bounds().height()});
  window->layoutIfNeeded();
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 0}));
  table->setContentOffset({0, 0});
  window->layoutIfNeeded();
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0}), row);
  EXPECT_EQ(row->chooseModelArray()->count(), 0u);

  // The reload after a payment dismisses an open chooser.
  ASSERT_TRUE(kit::test::tap(row->tiles()[0]));
  ASSERT_TRUE(row->alert()->isOpen());
  kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAGIFTPAYSUCCESSNotification);
  ASSERT_TRUE(kit::test::runUntil([&] {
    window->layoutIfNeeded();
    return !row->alert()->isOpen();
  }));
  EXPECT_EQ(packLists(), 2u);
}

class PortraitTimeStore : public TimeStore {
 protected:
  PortraitTimeStore() : TimeStore(kit::DeviceProfile::phone375x667()) {}
};

TEST_F(PortraitTimeStore, ThePortraitTabUsesItsOwnMeasures) {
  auto tab = open(true);
  const double A = 375 - 80, B = 667 - 140;
  EXPECT_EQ(tab->backdrop()->frame(), (kit::Rect{10, 10, A, B}));
  EXPECT_EQ(tab->giftVC()->tableView()->frame(), (kit::Rect{20, 70, A - 40, B - 105}));
  EXPECT_EQ(tab->limitlabel()->frame(), (kit::Rect{5, B, A, 30}));
  EXPECT_EQ(tab->limitNoteLabel()->frame(), (kit::Rect{A - 150, 40, 145, 12}));
  EXPECT_EQ(tab->countLabel()->frame(), (kit::Rect{A - 150, 55, 145, 12}));
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->giftVC()->giftModelArray()->count() == 3; }));
  window->layoutIfNeeded();
  auto row = tab->giftVC()->tableView()->cellForRowAtIndexPath({0, 0});
  ASSERT_TRUE(kit::as<NUVAVerticalGiftCell>(row));
  EXPECT_EQ(row->frame().height(), 80);
  ASSERT_TRUE(kit::test::runUntil([&] { return kit::as<NUVAGiftRow>(row)->tiles()[0]->icon()->image() != nullptr; }));
  picture("time_store_portrait");
}

}  // namespace
