// The channel core's server menu against the simulated game server, on the
// virtual clock: the menu requests of a role report, the once-a-day menu
// with its "nowDate" key and "twoTimer", the "upDown" refresh cycle after a
// login, what a menu answer keeps (and what it survives), and the two time
// texts.

#include <gtest/gtest.h>

#include "channel/testing/core_road_fixture.h"
#include "kit/foundation/date.h"
#include "kit/foundation/date_formatter.h"
#include "kit/foundation/time_zone.h"

namespace {

class CoreMenu : public CoreTimedFixture {
 protected:
  // The state of a keyed countdown: "running", "finished" or "(null)".
  static std::string timer(const char* key) {
    return kit::describe((*NUVACountdown::shareInstance()->timerDictionary())[key]);
  }
  size_t menuRequests() const { return game.requestsTo("menu/new").size(); }
  bool waitForMenuRequests(size_t count) {
    return kit::test::runUntil([&] { return menuRequests() >= count; });
  }
  // Reports the default role, waits until the report's `menus` menu
  // requests came in and then until `handled` holds.
  void reportRoleExpectingMenus(size_t menus, const std::function<bool()>& handled = [] { return true; }) {
    size_t before = menuRequests();
    reportRole();
    ASSERT_TRUE(waitForMenuRequests(before + menus));
    ASSERT_TRUE(kit::test::runUntil(handled));
    drainMain();
  }
  // The first report's menu was handled: the lucky timer runs.
  static bool luckArmed() { return timer("luck") == "running"; }
  std::string today() const { return kit::DateFormatter::make("yyyy-MM-dd")->stringFromDate(kit::Date::now())->utf8(); }
  std::string storedDay() const {
    return kit::describe(kit::UserDefaults::standardUserDefaults()->objectForKey(JHLCoreEntity::kNowDateKey));
  }
  static sim::GameMenuTimes times(std::string refresh, std::string shopTime = "5") {
    sim::GameMenuTimes menuTimes;
    menuTimes.timeShopRefresh = std::move(refresh);
    menuTimes.shopTime = std::move(shopTime);
    // The lucky-player chain stays out of the way.
    menuTimes.luckTime = "100000";
    return menuTimes;
  }
};

TEST_F(CoreMenu, TheFirstReportOfADayAsksForTheMenuTwiceWithGameAndServer) {
  logIn();
  reportRoleExpectingMenus(2, luckArmed);
  auto requests = game.requestsTo("menu/new");
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) EXPECT_EQ(request.query, "game_id=1001&server_id=3");
  // Without the time store the day is not marked, so the next report asks
  // again; it is no longer the first report.
  EXPECT_FALSE(core->isTimeStore());
  EXPECT_EQ(storedDay(), "(null)");
  EXPECT_EQ(kit::describe(core->menuArray()), kit::describe(kit::array({"1", "2", "4", "8"})));
  reportRoleExpectingMenus(1);
  EXPECT_EQ(menuRequests(), 3u);
}

TEST_F(CoreMenu, ADailyMenuWithTheTimeStoreMarksTheDayAndArmsTheBanner) {
  game.setMenu({"3"}, times("60", "5"));
  logIn();
  reportRoleExpectingMenus(2, [&] { return luckArmed() && storedDay() != "(null)"; });
  EXPECT_TRUE(core->isTimeStore());
  EXPECT_EQ(storedDay(), today() + "99");
  EXPECT_EQ(timer("twoTimer"), "running");
  advance(4.9);
  EXPECT_EQ(timer("twoTimer"), "running");
  advance(0.1);
  EXPECT_EQ(timer("twoTimer"), "finished");

  // The same user the same day: no daily menu, and no first-report menu.
  reportRole();
  drainMain();
  EXPECT_EQ(menuRequests(), 2u);

  // Another channel user on the same device gets the daily menu.
  ScriptedTolmixSDK::LoginAnswer other;
  other.userName = "player02";
  facade->answerLoginsWith(other);
  logIn();
  ASSERT_EQ(kit::describe(core->super_user_id()), "100");
  reportRoleExpectingMenus(1, [&] { return storedDay() == today() + "100"; });
}

TEST_F(CoreMenu, ALoginDuringTheTimeStoreRunsTheRefreshCycleUntilTheMenuDropsIt) {
  game.setMenu({"1", "2", "3"}, times("60"));
  logIn();
  reportRoleExpectingMenus(2, [&] { return luckArmed() && core->isTimeStore(); });
  ASSERT_TRUE(core->isTimeStore());

  // A new login forgets the role and arms "upDown" for 60 s.
  logIn();
  drainMain();
  EXPECT_EQ(kit::describe(core->roleid()), "");
  EXPECT_EQ(timer("upDown"), "running");
  reportRole();
  drainMain();
  size_t before = menuRequests();

  advance(59.5);
  EXPECT_EQ(menuRequests(), before);
  advance(0.5);
  ASSERT_TRUE(waitForMenuRequests(before + 1));
  // The menu still lists the time store: armed again.
  ASSERT_TRUE(kit::test::runUntil([&] { return timer("upDown") == "running"; }));
  advance(60);
  ASSERT_TRUE(waitForMenuRequests(before + 2));
  ASSERT_TRUE(kit::test::runUntil([&] { return timer("upDown") == "running"; }));

  // A menu without it ends the cycle but keeps the flag.
  game.setMenu({"1", "2"}, times("60"));
  advance(60);
  ASSERT_TRUE(waitForMenuRequests(before + 3));
  drainMain();
  EXPECT_EQ(timer("upDown"), "finished");
  advance(120);
  EXPECT_EQ(menuRequests(), before + 3);
  EXPECT_TRUE(core->isTimeStore());
}

TEST_F(CoreMenu, ARefreshIntervalOfZeroOrLessWaitsTenSeconds) {
  game.setMenu({"3"}, times("0"));
  logIn();
  reportRoleExpectingMenus(2, [&] { return luckArmed() && core->isTimeStore(); });
  logIn();
  drainMain();
  size_t before = menuRequests();
  advance(9.5);
  EXPECT_EQ(menuRequests(), before);
  advance(0.5);
  ASSERT_TRUE(waitForMenuRequests(before + 1));

  // A negative interval, and one that is not a number, likewise.
  game.setMenu({"3"}, times("-5"));
  ASSERT_TRUE(kit::test::runUntil([&] { return timer("upDown") == "running"; }));
  advance(10);
  ASSERT_TRUE(waitForMenuRequests(before + 2));
  ASSERT_TRUE(kit::test::runUntil([&] { return timer("upDown") == "running"; }));
  EXPECT_EQ(kit::describe(core->time_shop_refresh()), "-5");
  advance(9.9);
  EXPECT_EQ(menuRequests(), before + 2);
}

TEST_F(CoreMenu, ARefusedOrFailedMenuChangesNothingAndEndsTheCycle) {
  game.setMenu({"3"}, times("60"));
  logIn();
  reportRoleExpectingMenus(2, [&] { return luckArmed() && core->isTimeStore(); });
  logIn();
  drainMain();
  size_t before = menuRequests();
  game.setReply("menu/new", R"({"status":"500","data":["1"],"time":{"shop_time":"99"}})");
  advance(60);
  ASSERT_TRUE(waitForMenuRequests(before + 1));
  drainMain();
  EXPECT_EQ(timer("upDown"), "finished");
  // The login emptied the menu; the refused answer did not fill it.
  EXPECT_EQ(core->menuArray()->count(), 0u);
  EXPECT_EQ(kit::describe(core->shop_time()), "5");
  // A failed request likewise ends it.
  logIn();
  drainMain();
  game.setFault("menu/new", sim::RouteFault::CloseConnection);
  advance(60);
  ASSERT_TRUE(waitForMenuRequests(before + 2));
  drainMain();
  EXPECT_EQ(timer("upDown"), "finished");
}

TEST_F(CoreMenu, WhatAMenuAnswerKeeps) {
  logIn();
  auto answered = [&](const char* reply) {
    game.queueReply("menu/new", reply);
    bool called = false;
    core->showMenu([&](const kit::Id&) { called = true; });
    EXPECT_TRUE(kit::test::runUntil([&] { return called; })) << reply;
  };
  answered(R"({"status":200,"data":["1","3"],"time":{"luck_time":30,"shop_time":"5","level_list":["10,20"]}})");
  EXPECT_EQ(kit::describe(core->luck_time()), "30");
  EXPECT_EQ(kit::describe(core->levelListArray()), kit::describe(kit::array({"10,20"})));

  // Level ranges given as text keep the previous list; times missing from
  // the object are unset.
  answered(R"({"status":"200","data":["1"],"time":{"level_list":"","shop_time":"7"}})");
  EXPECT_EQ(kit::describe(core->levelListArray()), kit::describe(kit::array({"10,20"})));
  EXPECT_EQ(core->luck_time(), nullptr);
  EXPECT_EQ(kit::describe(core->shop_time()), "7");

  // Without a "time" object the times and ranges stay; the ids are replaced.
  answered(R"({"status":"200","data":["2"]})");
  EXPECT_EQ(kit::describe(core->shop_time()), "7");
  EXPECT_EQ(kit::describe(core->menuArray()), kit::describe(kit::array({"2"})));

  // Values of unexpected kinds read as empty instead of failing.
  answered(R"({"status":"200","data":"3","time":{"time_shop_refresh":null,"shop_time":{},"level_list":null}})");
  EXPECT_EQ(core->menuArray()->count(), 0u);
  EXPECT_EQ(core->time_shop_refresh(), nullptr);
  EXPECT_EQ(core->levelListArray()->count(), 0u);

  // A "time" object without ranges empties them.
  answered(R"({"status":"200","data":[],"time":{"level_list":["1,5"]}})");
  answered(R"({"status":"200","data":[],"time":{"shop_time":"1"}})");
  EXPECT_EQ(core->levelListArray()->count(), 0u);
}

TEST(CoreTimeTexts, SecondsToTheNextFullHour) {
  kit::TimeZone::setDefaultTimeZone(kit::TimeZone::utc());
  auto core = kit::make<JHLCoreEntity>();
  {
    // 2024-06-01 10:20:30 UTC
    kit::VirtualClock clock(1717237230);
    EXPECT_EQ(kit::describe(core->getNowTimeTimestamp()), "1717237230");
    EXPECT_EQ(kit::describe(core->getNowTimeWithString()), "2370");
  }
  {
    // 2024-06-01 10:00:00 UTC
    kit::VirtualClock clock(1717236000);
    EXPECT_EQ(kit::describe(core->getNowTimeWithString()), "3600");
  }
  {
    // 2023-12-31 23:59:59 UTC: the next hour is in the next year.
    kit::VirtualClock clock(1704067199);
    EXPECT_EQ(kit::describe(core->getNowTimeWithString()), "1");
  }
  kit::TimeZone::setDefaultTimeZone(nullptr);
}

}  // namespace
