// The vouchers tab with the simulated game server and the page driver
// playing the voucher page: the daily gift, the free-video offer and the
// hidden section, the claim, the page's "get_remark" question and its
// answer, the page's panels and the page height that the scroll view
// follows.

#include <gtest/gtest.h>

#include "channel/store/nuva_free_vedio_view.h"
#include "channel/store/nuva_voucher_view.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/screen.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/web/page_driver.h"

namespace {

constexpr const char* kDailyGift =
    R"({"status":"200","msg":"ok","data":{"title":"每日礼包","content":"登录即领","items":[)"
    R"({"mid":"1","name":"金币","amount":"100"},{"mid":"2","name":"钻石","amount":"5"},)"
    R"({"mid":"3","name":"体力","amount":"20"},{"mid":"4","name":"经验","amount":"9"}]}})";

class VouchersTab : public StoreFixture {
 protected:
  explicit VouchersTab(kit::DeviceProfile device = kit::DeviceProfile::phone667x375()) : StoreFixture(device) {}

  void SetUp() override {
    StoreFixture::SetUp();
    const kit::Rect screen = kit::Screen::main()->bounds();
    W = screen.width() - 90;
    H = screen.height();
  }

  kit::Ref<NUVAVoucherView> open(const kit::Ref<kit::String>& role = userInfo()) {
    auto tab = NUVAVoucherView::init();
    tab->setFrame({0, 30, W + 30, H - 60});
    window->addSubview(tab);
    tab->setCloseBlock([this] { ++closeBlocks; });
    tab->setUserInfo(role);
    EXPECT_TRUE(waitForRequests("luck/index", game.requestsTo("luck/index").size()));
    return tab;
  }
  void settle() {
    for (int i = 0; i < 3; ++i) {
      kit::test::runUntil([] { return false; }, 0.05);
      drainMain();
    }
  }
  // The page's frame as the layout sets it; its height is the layout's until
  // the loaded page reports its content height, which then replaces it (the
  // page may have loaded by the time a test looks).
  static void expectPageFrame(NUVAVoucherView& tab, const kit::Rect& laidOut) {
    const kit::Rect frame = tab.wkWebView()->frame();
    EXPECT_EQ(frame.origin, laidOut.origin);
    EXPECT_EQ(frame.width(), laidOut.width());
    const double contentHeight = tab.wkWebView()->scrollView()->contentSize().height;
    EXPECT_TRUE(frame.height() == laidOut.height() || frame.height() == contentHeight)
        << "height " << frame.height() << ", laid out " << laidOut.height() << ", content " << contentHeight;
  }

  std::vector<double> tileXs(const NUVAVoucherView& tab) {
    std::vector<double> xs;
    for (const auto& tile : tab.itemView()->subviews()) xs.push_back(tile->frame().minX());
    return xs;
  }

  double W = 0, H = 0;
  int closeBlocks = 0;
};

class PortraitVouchersTab : public VouchersTab {
 protected:
  PortraitVouchersTab() : VouchersTab(kit::DeviceProfile::phone375x667()) {}
};

TEST_F(VouchersTab, ADailyGiftShowsItsTitleAndTilesAboveThePage) {
  game.setReply("luck/index", kDailyGift);
  auto tab = open();
  ASSERT_TRUE(kit::test::runUntil([&] { return !tab->dayGiftView()->isHidden(); }));
  EXPECT_EQ(game.requestsTo("luck/index")[0].query, "game_id=1001&role_id=r1&server_id=3&time=day");
  EXPECT_EQ(tab->welfareView()->frame(), (kit::Rect{15, 15, 577, 270}));
  EXPECT_EQ(tab->titleLabel()->text(), "每日礼包-登录即领");
  EXPECT_EQ(tab->titleLabel()->frame().minY(), 35);
  EXPECT_EQ(tab->dayLabel()->text(), "领取每日礼包");
  EXPECT_EQ(tab->closeBtn()->currentTitle(), "一键领取");
  // W = 577, g = 30: three places, the fourth tile has none.
  EXPECT_EQ(tileXs(*tab), (std::vector<double>{138.5, 248.5, 358.5, 0}));
  expectPageFrame(*tab, {0, 215, 577, 55});
  settle();
  EXPECT_TRUE(game.requestsTo("freevideogift/index").empty());
  picture("vouchers_daily_gift");
}

TEST_F(PortraitVouchersTab, PortraitTilesHaveTheNarrowGapAndTheOfferAsksForScreenType2) {
  game.setReply("luck/index", kDailyGift);
  auto tab = open();
  ASSERT_TRUE(kit::test::runUntil([&] { return !tab->dayGiftView()->isHidden(); }));
  EXPECT_EQ(tileXs(*tab), (std::vector<double>{12.5, 102.5, 192.5, 0}));

  game.setReply("luck/index", R"({"status":"500","msg":"暂无"})");
  open();
  ASSERT_TRUE(waitForRequests("freevideogift/index", 1));
  EXPECT_EQ(game.requestsTo("freevideogift/index")[0].query,
            "game_id=1001&platform_id=256&role_id=r1&server_id=3&screen_type=2");
}

TEST_F(VouchersTab, ADailyGiftWithoutItemsLeavesTheSectionHiddenAndAsksNothingMore) {
  game.setReply("luck/index", R"({"status":200,"data":{"title":"t","content":"c","items":[]}})");
  auto tab = open();
  settle();
  EXPECT_TRUE(tab->dayGiftView()->isHidden());
  EXPECT_TRUE(game.requestsTo("freevideogift/index").empty());
}

TEST_F(VouchersTab, WithoutADailyGiftTheFreeVideoOfferIsShown) {
  sim::FreeVideoOffer offer;
  offer.items = R"([{"mid":"1","name":"金币","amount":"100"},{"mid":"2","name":"钻石","amount":"5"}])";
  game.setFreeVideoOffer(offer);
  auto tab = open();
  ASSERT_TRUE(waitForRequests("freevideogift/index", 1));
  EXPECT_EQ(game.requestsTo("freevideogift/index")[0].query,
            "game_id=1001&platform_id=256&role_id=r1&server_id=3&screen_type=1");
  ASSERT_TRUE(kit::test::runUntil([&] { return !tab->dayGiftView()->isHidden(); }));
  EXPECT_EQ(tab->dayLabel()->text(), "点击观看视频, 即可免费领取道具");
  EXPECT_EQ(tab->closeBtn()->currentTitle(), "观看视频领取道具");
  EXPECT_TRUE(tab->titleLabel()->isHidden());
  EXPECT_EQ(tab->itemView()->frame(), (kit::Rect{0, 55, 577, 85}));
  EXPECT_EQ(tileXs(*tab), (std::vector<double>{138.5, 248.5}));
  EXPECT_EQ(tab->wkWebView()->frame().minY(), 215);
  EXPECT_EQ(kit::describe((*tab->datadic())["is_get"]), "0");
  picture("vouchers_free_video_offer");

  // The button opens the free-video pop-up with the offer.
  ASSERT_TRUE(kit::test::tap(tab->closeBtn()));
  auto videos = kit::test::findViewsOfType<NUVAFreeVedioView>(*window);
  ASSERT_EQ(videos.size(), 1u);
  EXPECT_EQ(videos[0]->dicArray()->count(), 2u);
  // Closed with a watched video: the section hides and the close block runs.
  videos[0]->closeClick();
  EXPECT_TRUE(tab->dayGiftView()->isHidden());
  expectPageFrame(*tab, {0, 0, 577, 270});
  EXPECT_EQ(closeBlocks, 1);
}

TEST_F(VouchersTab, TheSimulatorsOwnFreeVideoOfferShowsItsRewardTiles) {
  // The game server as it starts: no daily gift, and the free video with
  // its sample reward.
  kit::test::LogCapture log;
  auto tab = open();
  ASSERT_TRUE(waitForRequests("freevideogift/index", 1));
  ASSERT_TRUE(kit::test::runUntil([&] { return !tab->dayGiftView()->isHidden(); }));
  EXPECT_EQ(tileXs(*tab), (std::vector<double>{138.5, 248.5, 358.5}));
  ASSERT_TRUE(kit::test::tap(tab->closeBtn()));
  auto videos = kit::test::findViewsOfType<NUVAFreeVedioView>(*window);
  ASSERT_EQ(videos.size(), 1u);
  // The reward dialog after the video shows these items.
  ASSERT_TRUE(videos[0]->dicArray());
  EXPECT_EQ(videos[0]->dicArray()->count(), 3u);
  EXPECT_FALSE(log.contains("json解析失败"));
  videos[0]->closeClick();
}

TEST_F(VouchersTab, AnOfferThatIsTakenMissingOrNoDictionaryHidesTheSection) {
  for (const char* reply : {R"({"status":"200","data":{"is_get":"1"}})", R"({"status":"500","msg":"x"})",
                            R"({"status":"200","data":"[]"})", "not json"}) {
    game.setReply("luck/index", kDailyGift);
    auto tab = open();
    ASSERT_TRUE(kit::test::runUntil([&] { return !tab->dayGiftView()->isHidden(); }));
    game.setReply("freevideogift/index", reply);
    tab->getfreevideogiftDataWithSucessData();
    ASSERT_TRUE(kit::test::runUntil([&] { return tab->dayGiftView()->isHidden(); })) << reply;
    expectPageFrame(*tab, {0, 0, 577, 270});
    tab->removeFromSuperview();
  }
}

TEST_F(VouchersTab, AnOfferWithoutIsGetLeavesTheDailyGiftAsItIs) {
  game.setReply("luck/index", kDailyGift);
  auto tab = open();
  ASSERT_TRUE(kit::test::runUntil([&] { return !tab->dayGiftView()->isHidden(); }));
  game.setReply("freevideogift/index", R"({"status":"200","data":{"game_name":"星河远征","items":"[]"}})");
  tab->getfreevideogiftDataWithSucessData();
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->datadic() != nullptr; }));
  EXPECT_EQ(kit::describe((*tab->datadic())["game_name"]), "星河远征");
  EXPECT_FALSE(tab->dayGiftView()->isHidden());
  EXPECT_FALSE(tab->titleLabel()->isHidden());
  EXPECT_NE(tab->closeBtn()->currentTitle(), "观看视频领取道具");
  EXPECT_EQ(tab->itemView()->subviews().size(), 4u) << "the daily gift's tiles stay";
}

TEST_F(VouchersTab, ClaimingTheDailyGiftShowsTheResultAndThenTheOffer) {
  game.setReply("luck/index", kDailyGift);
  game.queueReply("luck/get", R"({"status":"500","msg":"已领取"})");
  auto tab = open();
  ASSERT_TRUE(kit::test::runUntil([&] { return !tab->dayGiftView()->isHidden(); }));
  ASSERT_TRUE(kit::test::tap(tab->closeBtn()));
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudSoFar().back(), "领取失败");
  EXPECT_FALSE(tab->dayGiftView()->isHidden());
  EXPECT_TRUE(game.requestsTo("freevideogift/index").empty());

  NUVAProgressHUD::dismiss();
  drainMain();
  game.queueReply("luck/get", R"({"status":"200","msg":"ok"})");
  sim::FreeVideoOffer taken;
  taken.isGet = "1";
  game.setFreeVideoOffer(taken);
  ASSERT_TRUE(kit::test::tap(tab->closeBtn()));
  ASSERT_TRUE(waitForHUD(2));
  EXPECT_EQ(hudSoFar().back(), "领取成功");
  EXPECT_EQ(game.requestsTo("luck/get")[1].query, "game_id=1001&role_id=r1&server_id=3&time=day");
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->dayGiftView()->isHidden(); }));
}

TEST_F(VouchersTab, ThePageAsksForTheRoleAndGetsOneCompactAnswer) {
  auto role = kit::str(
      "{\n  \"super_user_id\" : \"99\",\n\t\"role_name\" : \"It's a \\\\ 凌\u3000霄 name\",\r\n"
      "  \"service_name\" : \"青龙\"\n}");
  auto tab = open(role);
  window->layoutIfNeeded();
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->wkWebView()->URL() && !tab->wkWebView()->isLoading(); }));
  auto driver = tab->wkWebView()->pageDriver();
  ASSERT_TRUE(driver);
  driver->clearRecord();
  ASSERT_TRUE(driver->postMessage("eventComplete", kit::str(R"({"action":"get_remark"})")));
  ASSERT_TRUE(driver->postMessage("eventComplete", kit::str(R"({"action":"other"})")));
  ASSERT_TRUE(driver->postMessage("eventComplete", kit::str("not json")));
  ASSERT_TRUE(kit::test::runUntil([&] { return !driver->callbacks().empty(); }));
  settle();
  auto scripts = driver->evaluatedScripts();
  std::vector<std::string> calls;
  for (const auto& script : scripts) {
    if (script.starts_with("CallbackFromIOS")) calls.push_back(script);
  }
  ASSERT_EQ(calls.size(), 1u);
  auto parsed = kit::parseScriptCalls(calls[0]);
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(*parsed.calls[0].firstString(),
            "{\"data\":{\"super_user_id\":\"99\",\"role_name\":\"It'sa\\\\凌\u3000霄name\",\"service_name\":\"青龙\"}}");
  auto answer = driver->callbacks()[0];
  EXPECT_EQ(kit::describe(answer["data"]["role_name"]), "It'sa\\凌\u3000霄name");

  // A role description that cannot be read gives "{}".
  EXPECT_EQ(NUVAVoucherView::remarkAnswer(kit::str("{broken")), "{}");
  EXPECT_EQ(NUVAVoucherView::remarkAnswer(nullptr), "{}");
}

TEST_F(VouchersTab, ThePanelsAreAnsweredOnceAndTheObserverCanBeRemovedTwice) {
  auto tab = open();
  auto driver = tab->wkWebView()->pageDriver();
  int prompts = 0, alerts = 0, confirms = 0;
  bool confirmed = false;
  driver->raisePrompt("名字", "默认", [&](std::optional<std::string> text) {
    ++prompts;
    EXPECT_FALSE(text);
  });
  driver->raiseAlert("提示", [&] { ++alerts; });
  driver->raiseConfirm("确定?", [&](bool yes) {
    ++confirms;
    confirmed = yes;
  });
  settle();
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(alerts, 1);
  EXPECT_EQ(confirms, 1);
  EXPECT_TRUE(confirmed);

  kit::test::LogCapture log;
  tab->removeWebViewObserver();
  EXPECT_FALSE(log.contains("多次删除kvo 报错了"));
  tab->removeWebViewObserver();
  EXPECT_TRUE(log.contains("多次删除kvo 报错了"));
}

TEST_F(VouchersTab, ThePageHeightSetsTheScrollContentWithTheSectionShownOrHidden) {
  game.setReply("luck/index", kDailyGift);
  auto tab = open();
  ASSERT_TRUE(kit::test::runUntil([&] { return !tab->dayGiftView()->isHidden(); }));
  auto driver = tab->wkWebView()->pageDriver();
  driver->setContentSize({577, 900});
  drainMain();
  EXPECT_EQ(tab->wkWebView()->frame(), (kit::Rect{0, 215, 577, 900}));
  EXPECT_EQ(tab->welfareView()->contentSize(), (kit::Size{577, 1115}));

  game.setReply("freevideogift/index", R"({"status":"500"})");
  tab->getfreevideogiftDataWithSucessData();
  ASSERT_TRUE(kit::test::runUntil([&] { return tab->dayGiftView()->isHidden(); }));
  EXPECT_EQ(tab->welfareView()->contentSize().height, 900);
  driver->setContentSize({577, 900.5});
  drainMain();
  EXPECT_EQ(tab->wkWebView()->frame(), (kit::Rect{0, 0, 577, 900.5}));
  EXPECT_EQ(tab->welfareView()->contentSize(), (kit::Size{577, 1115.5}));
}

TEST_F(VouchersTab, EveryLayoutPassLoadsTheVoucherPage) {
  auto tab = open();
  window->layoutIfNeeded();
  ASSERT_TRUE(kit::test::runUntil([&] { return !game.requestsTo("activity/128voucher/index.html").empty(); }));
  EXPECT_EQ(game.requestsTo("activity/128voucher/index.html")[0].query, "os_type=2");
}

}  // namespace
