// The time-store banner and the lucky-player flow, on the virtual clock,
// against the simulated game server and with the channel artwork in the
// bundle: where the banner rests and how it counts, what a tap on it and on
// its close image do, when it is skipped; the luck, day and active lookups
// and what closing each card does; the custom luck picture and its claim.

#include <gtest/gtest.h>

#include <filesystem>

#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_time_pop_view.h"
#include "channel/testing/core_road_fixture.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/image_view.h"
#include "kit/ui/render.h"
#include "kit/ui/ui_test_driver.h"

namespace {

class CorePopups : public CoreTimedFixture {
 protected:
  void SetUp() override {
    std::filesystem::copy(std::string(CHANNEL_RESOURCES_DIR) + "/NUVALight.bundle", bundle.path() + "/NUVALight.bundle",
                          std::filesystem::copy_options::recursive);
    CoreTimedFixture::SetUp();
    // The once-a-day banner stays out of the way unless a test wants it.
    sim::GameMenuTimes times;
    times.luckTime = "30";
    times.shopTime = "100000";
    game.setMenu({"1", "2", "3"}, times);
  }
  // Logs in and reports the role; the first report's menus were handled
  // and the lucky timer runs.
  void logInWithRole() {
    logIn();
    reportRole();
    ASSERT_TRUE(kit::test::runUntil([&] { return timer("luck") == "running" && timer("twoTimer") == "running"; }));
    drainMain();
  }
  static std::string timer(const char* key) {
    return kit::describe((*NUVACountdown::shareInstance()->timerDictionary())[key]);
  }
  size_t lookups(const std::string& type) const { return requestsWithTime("luck/index", type); }
  size_t claims(const std::string& type) const { return requestsWithTime("luck/get", type); }
  size_t requestsWithTime(const char* route, const std::string& type) const {
    size_t count = 0;
    for (const auto& request : game.requestsTo(route)) count += request.field("time") == type;
    return count;
  }
  // The lucky cards on the key window.
  std::vector<kit::Ref<NUVALuckyPlayerCard>> cards() const {
    return kit::test::findViewsOfType<NUVALuckyPlayerCard>(*window);
  }
  // Arms a lookup of a type at once and waits for its card, or its
  // picture.
  void lookUpNow(const char* type) {
    core->setLuck_time(kit::str("0"));
    core->addPlayerGiftLogicWithTime(0, kit::str(type));
    if (std::string(type) != "luck") advance(JHLCoreEntity::kLuckyFollowUpDelay);
    drainMain();
  }
  bool bannerShown() {
    auto banner = core->popView();
    return banner->superview() && !banner->isHidden();
  }
};

TEST_F(CorePopups, TheBannerRestsBelowTheNotchAndCountsFiveSeconds) {
  kit::DeviceProfileScope notched{kit::DeviceProfile::notched375x812()};
  logInWithRole();
  core->popViewanimate();
  auto banner = core->popView();
  ASSERT_EQ(banner->superview().get(), static_cast<kit::View*>(window.get()));
  drainMain();
  EXPECT_EQ(banner->lastTimeLabel()->text(), "5秒后自动关闭");
  advance(1);
  EXPECT_EQ(banner->lastTimeLabel()->text(), "4秒后自动关闭");
  advance(1);
  EXPECT_EQ(banner->frame(), (kit::Rect{37.5, 32, 300, 75}));
  EXPECT_TRUE(kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/time_store_banner.png"));
  EXPECT_EQ(banner->lastTimeLabel()->text(), "3秒后自动关闭");
  advance(1);
  EXPECT_EQ(banner->lastTimeLabel()->text(), "2秒后自动关闭");
  advance(0.5);
  EXPECT_FALSE(banner->isHidden());
  advance(0.5);
  EXPECT_EQ(banner->lastTimeLabel()->text(), "1秒后自动关闭");
  advance(1);
  EXPECT_TRUE(banner->isHidden());
}

TEST_F(CorePopups, AHiddenBannerStopsPlayingItsBackground) {
  logInWithRole();
  core->popViewanimate();
  auto background = core->popView()->popBg();
  ASSERT_TRUE(background->animatedImage());
  EXPECT_TRUE(background->isAnimating());
  advance(5);
  ASSERT_TRUE(core->popView()->isHidden());
  // The banner stays on the window between showings; its GIF must not play
  // on unseen for the rest of the run.
  EXPECT_FALSE(background->isAnimating());
  core->popViewanimate();
  EXPECT_TRUE(background->isAnimating());
  ASSERT_TRUE(kit::test::tap(core->popView()->closeImage()));
  EXPECT_FALSE(background->isAnimating());
}

TEST_F(CorePopups, InLandscapeTheBannerRestsAtTheTopEdgeAndStartsAboveIt) {
  kit::DeviceProfileScope notched{kit::DeviceProfile::notched812x375()};
  logInWithRole();
  core->popViewanimate();
  // The banner's model frame is the resting one at once; its slide is an
  // animation from above the edge.
  EXPECT_EQ(core->popView()->frame(), (kit::Rect{256, 0, 300, 75}));
  advance(2);
  EXPECT_EQ(core->popView()->frame(), (kit::Rect{256, 0, 300, 75}));
}

TEST_F(CorePopups, ATapOnTheBannerOpensTheHubAndOneOnItsCloseImageOnlyHides) {
  logInWithRole();
  core->popViewanimate();
  advance(2);
  auto banner = core->popView();
  ASSERT_TRUE(kit::test::tap(banner->closeImage()));
  EXPECT_TRUE(banner->isHidden());
  advance(2);
  EXPECT_TRUE(overlays->hubs().empty());
  EXPECT_TRUE(game.requestsTo("gmstore/goodsnew").empty());

  // (Once the first banner's five seconds are over: its countdown hides
  // whatever banner shows when it ends.)
  advance(1);
  core->popViewanimate();
  advance(2);
  EXPECT_FALSE(banner->isHidden());
  ASSERT_TRUE(kit::test::tap(banner));
  EXPECT_TRUE(banner->isHidden());
  advance(1);
  ASSERT_TRUE(kit::test::runUntil([&] { return !overlays->hubs().empty(); }));
}

TEST_F(CorePopups, TheBannerIsSkippedUnlessTheTimeStoreIsOfferedToAReportedRoleWithTheHubClosed) {
  logInWithRole();
  core->setIsHallOpen(true);
  core->popViewanimate();
  EXPECT_FALSE(bannerShown());
  core->setIsHallOpen(false);
  core->setIsTimeStore(false);
  core->popViewanimate();
  EXPECT_FALSE(bannerShown());
  core->setIsTimeStore(true);
  logIn();  // forgets the role
  core->popViewanimate();
  EXPECT_FALSE(bannerShown());
}

TEST_F(CorePopups, TheTimersOfTheMenuShowTheBanner) {
  // The once-a-day step shows it shop_time seconds after the menu.
  sim::GameMenuTimes times;
  times.shopTime = "5";
  times.luckTime = "100000";
  game.setMenu({"1", "2", "3"}, times);
  logInWithRole();
  EXPECT_FALSE(bannerShown());
  advance(5);
  EXPECT_TRUE(bannerShown());
  advance(5);
  EXPECT_FALSE(bannerShown());

  // After a login the refresh shows it when it runs out, with a role.
  logIn();
  reportRole();
  advance(60);
  EXPECT_TRUE(bannerShown());
}

TEST_F(CorePopups, ALuckLookupWithoutARewardLooksUpTheDayTenSecondsLater) {
  logInWithRole();
  advance(29.9);
  EXPECT_EQ(lookups("luck"), 0u);
  advance(0.1);
  ASSERT_TRUE(kit::test::runUntil([&] { return lookups("luck") == 1; }));
  EXPECT_EQ(game.requestsTo("luck/index")[0].query, "game_id=1001&role_id=r1&server_id=3&time=luck");
  ASSERT_TRUE(kit::test::runUntil([&] { return timer("day") == "running"; }));
  advance(9.9);
  EXPECT_EQ(lookups("day"), 0u);
  advance(0.1);
  ASSERT_TRUE(kit::test::runUntil([&] { return lookups("day") == 1; }));
  ASSERT_TRUE(kit::test::runUntil([&] { return timer("active") == "running"; }));
  advance(10);
  ASSERT_TRUE(kit::test::runUntil([&] { return lookups("active") == 1; }));
  advance(30);
  EXPECT_EQ(game.requestsTo("luck/index").size(), 3u);  // the chain ended
}

TEST_F(CorePopups, ClosingTheLuckCardClaimsItAndArmsTheDay) {
  game.setLuck("luck", sim::ChannelGameServer::sampleLuckReward("幸运玩家"));
  logInWithRole();
  advance(30);
  ASSERT_TRUE(kit::test::runUntil([&] { return cards().size() == 1; }));
  auto card = cards()[0];
  EXPECT_TRUE(kit::as<NUVAVerticalLuckyPlayerView>(card));
  EXPECT_EQ(kit::describe(card->type()), "luck");
  card->closeClick();
  ASSERT_TRUE(kit::test::runUntil([&] { return timer("day") == "running"; }));
  EXPECT_EQ(claims("luck"), 1u);
  EXPECT_EQ(game.claims(), std::vector<std::string>{"luck"});
  EXPECT_TRUE(cards().empty());
}

TEST_F(CorePopups, ClosingTheDayCardOpensTheVouchersUnlessTheHubIsOpen) {
  game.setLuck("day", sim::ChannelGameServer::sampleLuckReward("每日福利"));
  logInWithRole();
  kit::Application::shared()->setStatusBarOrientation(kit::InterfaceOrientation::LandscapeRight);
  lookUpNow("day");
  ASSERT_TRUE(kit::test::runUntil([&] { return cards().size() == 1; }));
  auto card = cards()[0];
  EXPECT_TRUE(kit::as<NUVALuckyPlayerView>(card));
  card->closeClick();
  EXPECT_EQ(timer("active"), "running");
  EXPECT_EQ(kit::describe(core->shop_type()), "2");
  ASSERT_TRUE(kit::test::runUntil([&] { return !overlays->hubs().empty(); }));
  auto hub = overlays->hubs()[0];
  EXPECT_EQ(kit::describe(hub->shop_type), "2");
  ASSERT_TRUE(hub->playerDic);
  EXPECT_EQ(kit::describe((*hub->playerDic)["title"]), "每日福利");
  EXPECT_EQ(claims("day"), 0u);
  hub->close();
  EXPECT_EQ(kit::describe(core->shop_type()), "3");

  // With the hub open the card only arms "active".
  core->setIsHallOpen(true);
  game.setLuck("day", sim::ChannelGameServer::sampleLuckReward("每日福利"));
  NUVACountdown::shareInstance()->cancelTimer(kit::str("active"));
  lookUpNow("day");
  ASSERT_TRUE(kit::test::runUntil([&] { return cards().size() == 1; }));
  cards()[0]->closeClick();
  EXPECT_EQ(timer("active"), "running");
  EXPECT_EQ(kit::describe(core->shop_type()), "3");
  advance(2);
  EXPECT_EQ(overlays->hubs().size(), 1u);
}

TEST_F(CorePopups, ActiveRewardsAreClaimedAndAnEmptyListShowsNothing) {
  logInWithRole();
  game.queueReply("luck/index", R"({"status":"200","data":{"title":"活跃","items":[]}})");
  lookUpNow("active");
  ASSERT_TRUE(kit::test::runUntil([&] { return lookups("active") == 1; }));
  drainMain();
  EXPECT_TRUE(cards().empty());

  game.setLuck("active", sim::ChannelGameServer::sampleLuckReward("活跃奖励"));
  lookUpNow("active");
  ASSERT_TRUE(kit::test::runUntil([&] { return cards().size() == 1; }));
  cards()[0]->closeClick();
  ASSERT_TRUE(kit::test::runUntil([&] { return game.claims().size() == 1; }));
  EXPECT_EQ(game.claims()[0], "active");
}

TEST_F(CorePopups, TheCustomLuckPictureClaimsWithItsButtonAndASecondReplacesTheFirst) {
  game.setLuck("luck", R"({"is_custom":"2","items":[{"name":"金币","amount":"100"},{"name":"钻石","amount":"5"}]})");
  logInWithRole();
  lookUpNow("luck");
  ASSERT_TRUE(kit::test::runUntil([&] { return core->luckyGiftView() != nullptr; }));
  auto picture = core->luckyGiftView();
  auto cover = core->coverView();
  EXPECT_TRUE(cards().empty());
  EXPECT_EQ(picture->frame(), (kit::Rect{22.5, 63.5, 330, 540}));
  ASSERT_TRUE(picture->image());
  ASSERT_EQ(picture->subviews().size(), 1u);
  EXPECT_EQ(picture->subviews()[0]->frame(), (kit::Rect{110, 490, 110, 35}));
  EXPECT_EQ(cover->frame(), (kit::Rect{0, 0, 375, 667}));
  EXPECT_TRUE(kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/custom_luck_picture.png"));

  // A second picture takes the place of the first, cover and all.
  lookUpNow("luck");
  ASSERT_TRUE(kit::test::runUntil([&] { return core->luckyGiftView() != picture; }));
  EXPECT_EQ(picture->superview(), nullptr);
  EXPECT_EQ(cover->superview(), nullptr);

  ASSERT_TRUE(kit::test::tap(core->luckyGiftView()->subviews()[0]));
  ASSERT_TRUE(kit::test::runUntil([&] { return core->luckyGiftView() == nullptr; }));
  ASSERT_EQ(game.requestsTo("luck/get").size(), 1u);
  EXPECT_EQ(game.requestsTo("luck/get")[0].query, "game_id=1001&role_id=r1&server_id=3&time=luck");
  EXPECT_EQ(core->coverView(), nullptr);
  EXPECT_EQ(timer("day"), "running");
}

TEST_F(CorePopups, ALateClaimLeavesThePictureThatReplacedTheClaimedOne) {
  game.setLuck("luck", R"({"is_custom":"2","items":[{"name":"金币","amount":"100"}]})");
  logInWithRole();
  lookUpNow("luck");
  ASSERT_TRUE(kit::test::runUntil([&] { return core->luckyGiftView() != nullptr; }));
  auto first = core->luckyGiftView();

  // The first picture's claim hangs until the client gives up on it (its
  // three-second time-out); a second picture comes in the meantime.
  kit::test::LogCapture log;
  game.setFault("luck/get", sim::RouteFault::Delay);
  ASSERT_TRUE(kit::test::tap(first->subviews()[0]));
  ASSERT_TRUE(kit::test::runUntil([&] { return claims("luck") == 1; }));
  lookUpNow("luck");
  ASSERT_TRUE(kit::test::runUntil([&] { return core->luckyGiftView() && core->luckyGiftView() != first; }));
  auto second = core->luckyGiftView();

  advance(3);
  ASSERT_TRUE(kit::test::runUntil([&] { return log.contains("lucky player luck claim failed"); }));
  drainMain();
  EXPECT_EQ(core->luckyGiftView(), second);
  EXPECT_EQ(second->superview().get(), static_cast<kit::View*>(window.get()));
  EXPECT_TRUE(core->coverView() && core->coverView()->superview());
}

}  // namespace
