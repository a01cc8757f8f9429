// The hub's GM and VIP panes: their measures in both forms, the first gift
// described as soon as the hub is open, a long gift name, and the claims
// with every answer the game server gives, logged without the player's
// token.

#include <gtest/gtest.h>

#include "channel/store/nuva_gm_shop_view.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/ui_test_driver.h"

namespace {

kit::Ref<kit::MutableArray> gmGoods() {
  auto categories = kit::MutableArray::make();
  for (int i = 0; i < 4; ++i) {
    auto gifts = kit::MutableArray::make();
    for (int j = 0; j < 2; ++j) {
      gifts->addObject(kit::dict({{"id", std::to_string(10 * i + j)},
                                  {"gm_id", std::to_string(i + 1)},
                                  {"gm_name", "GM" + std::to_string(i + 1)},
                                  {"gm_desc", "GM特权" + std::to_string(i + 1)},
                                  {"gift_id", std::to_string(100 + 10 * i + j)},
                                  {"gift_name", "礼包" + std::to_string(i) + std::to_string(j)},
                                  {"gift_desc", "礼包说明"},
                                  {"gift_num", "x1"},
                                  {"status", "0"}}));
    }
    categories->addObject(gifts);
  }
  return categories;
}

kit::Ref<kit::MutableArray> vipGoods() {
  auto categories = kit::MutableArray::make();
  categories->addObject(kit::array({kit::dict({{"vip_id", "1"}, {"vip_name", "VIP1"}, {"vip_desc", "VIP特权"},
                                               {"gift_id", "7"}, {"gift_name", "VIP1礼包"}, {"status", "0"}}),
                                    kit::dict({{"vip_id", "2"}, {"vip_name", "VIP1"}, {"gift_id", "7"},
                                               {"gift_name", "VIP2礼包"}, {"status", "0"}})}));
  return categories;
}

template <class Hub>
class PaneFixture : public StoreFixture {
 protected:
  explicit PaneFixture(kit::DeviceProfile device) : StoreFixture(device) {}

  kit::Ref<Hub> open(const char* firstTab = "1") {
    auto hub = Hub::init();
    hub->setShop_type(kit::str("0"));
    hub->setResponseArray(gmGoods());
    hub->setVIPArray(vipGoods());
    auto menu = kit::MutableArray::make();
    menu->addObject(kit::str(firstTab));
    menu->addObject(kit::str(firstTab == std::string("1") ? "2" : "1"));
    hub->setMenuBtnArray(menu);
    hub->setToken(kit::str("t0k3n99"));
    hub->setSuper_user_id(kit::str("99"));
    hub->setGmdesc(kit::str("累计充值即可领取GM礼包"));
    hub->setVipdesc(kit::str("VIP等级礼包"));
    hub->setGmtotal_money(kit::str("128"));
    hub->setViptotal_money(kit::str("64"));
    hub->setUserInfo(userInfo());
    hub->setRoleid(kit::str("r1"));
    hub->show();
    drainMain();
    window->layoutIfNeeded();
    return hub;
  }
};

class LandscapePanes : public PaneFixture<NUVAGMShopView> {
 protected:
  LandscapePanes() : PaneFixture(kit::DeviceProfile::phone667x375()) {}
};
class PortraitPanes : public PaneFixture<NUVAVerticalGMShopView> {
 protected:
  PortraitPanes() : PaneFixture(kit::DeviceProfile::phone375x667()) {}
};

TEST_F(LandscapePanes, TheLandscapePaneMeasuresAndShowsTheFirstGift) {
  auto hub = open();
  auto pane = hub->gmPane();
  EXPECT_EQ(pane->categoryFrame()->frame(), (kit::Rect{25, 15, 106.75, 250}));
  EXPECT_EQ(pane->gridFrame()->frame(), (kit::Rect{138.75, 15, 283.5, 250}));
  EXPECT_EQ(pane->descBgView()->frame(), (kit::Rect{430.25, 15, 146.75, 75}));
  EXPECT_EQ(pane->gmdescBgView()->frame(), (kit::Rect{430.25, 94, 146.75, 70}));
  EXPECT_EQ(pane->claimButton()->frame(), (kit::Rect{465.25, 174, 70, 27}));
  EXPECT_EQ(pane->totalMoney()->frame(), (kit::Rect{430.25, 206, 145, 27}));
  EXPECT_EQ(pane->limitLabel()->frame(), (kit::Rect{20, 275, 567, 35}));
  EXPECT_EQ(pane->closeButton()->frame(), (kit::Rect{559, 5, 32, 32}));
  EXPECT_EQ(pane->totalMoney()->currentTitle(), "已充值金额: 128");
  EXPECT_EQ(pane->limitLabel()->text(), "累计充值即可领取GM礼包");
  auto spaced = pane->limitLabel()->attributedText();
  ASSERT_TRUE(spaced);
  EXPECT_EQ(spaced->attributesAt(0).kern, 6.0);
  // The grid chose category 0's first gift and the panels show it.
  ASSERT_TRUE(pane->model());
  EXPECT_EQ(NUVAGiftTab::text(pane->model(), "gift_id"), "100");
  EXPECT_EQ(pane->nameLabel()->text(), "礼包00");
  EXPECT_EQ(pane->gmdescLabel()->text(), "GM特权1");
  EXPECT_EQ(pane->descTextView()->text(), "礼包说明");
  EXPECT_EQ(hub->vipPane()->limitLabel()->text(), "VIP等级礼包");
  EXPECT_EQ(NUVAGiftTab::text(hub->vipPane()->model(), "vip_id"), "1");
  picture("store_hub_gm_pane");

  // Row 3 of the menu: category 3's first gift is described.
  pane->menu()->tableView()->userSelectRowAtIndexPath(kit::IndexPath::forRow(3, 0));
  drainMain();
  EXPECT_EQ(pane->nameLabel()->text(), "礼包30");
  EXPECT_EQ(pane->gmdescLabel()->text(), "GM特权4");
}

TEST_F(LandscapePanes, ALongGiftNameMakesTheNameTallerAndTheDescriptionShorter) {
  auto hub = open();
  auto pane = hub->gmPane();
  const kit::Rect nameBefore = pane->nameLabel()->frame(), descBefore = pane->descTextView()->frame();
  EXPECT_EQ(descBefore.minY(), nameBefore.maxY());
  kit::NotificationCenter::defaultCenter()->postNotificationName(
      "DescCategoryDataWillLoad",
      NUVAGiftTab::gm().record(kit::dict({{"gm_id", "1"}, {"gift_id", "9"},
                                          {"gift_name", "一个名字很长很长很长很长很长的超级礼包"}})));
  const double grown = pane->nameLabel()->frame().height() - nameBefore.height();
  EXPECT_GT(grown, 10);
  EXPECT_EQ(pane->descTextView()->frame().minY(), descBefore.minY() + grown);
  EXPECT_EQ(pane->descTextView()->frame().height(), descBefore.height() - grown);
}

TEST_F(PortraitPanes, ThePortraitPaneMeasures) {
  auto hub = open();
  auto pane = hub->gmPane();
  EXPECT_EQ(pane->categoryFrame()->frame(), (kit::Rect{5, 15, 78.75, 223.5}));
  EXPECT_EQ(pane->gridFrame()->frame(), (kit::Rect{83.75, 15, 231.25, 223.5}));
  const kit::Rect desc = pane->descBgView()->frame();
  EXPECT_EQ(desc.minX(), 30);
  EXPECT_NEAR(desc.minY(), 248.5, 1e-9);
  EXPECT_EQ(desc.width(), 255);
  EXPECT_NEAR(desc.height(), 67.05, 1e-9);
  EXPECT_EQ(pane->claimButton()->frame().minX(), 122.5);
  EXPECT_EQ(pane->totalMoney()->frame().minX(), 87.5);
  EXPECT_EQ(pane->limitLabel()->frame(), (kit::Rect{20, 492, 275, 45}));
  EXPECT_EQ(hub->vipPane()->limitLabel()->frame(), (kit::Rect{20, 507, 275, 30}));
  EXPECT_EQ(pane->limitLabel()->attributedText()->attributesAt(0).kern, 2.0);
  EXPECT_FALSE(pane->closeButton());
  picture("store_hub_gm_pane_portrait");
}

TEST_F(PortraitPanes, AClaimIsLoggedWithoutTheToken) {
  kit::test::LogCapture logs;
  auto hub = open();
  game.queueReply("gmstore/index", R"({"status":200,"msg":"ok","token":"t0k3n99"})");
  ASSERT_TRUE(kit::test::tap(hub->gmPane()->claimButton()));
  ASSERT_TRUE(waitForRequests("gmstore/index", 1));
  ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("领取:"); }));
  EXPECT_TRUE(logs.contains("\"super_user_id\" = 99;")) << "the claim's body is logged";
  EXPECT_TRUE(logs.contains("token = \"***\";"));
  EXPECT_FALSE(logs.contains("t0k3n99"));
}

TEST_F(LandscapePanes, AGMClaimAnswered200BadgesTheGiftAndKeepsItsCategory) {
  auto hub = open();
  auto pane = hub->gmPane();
  pane->menu()->tableView()->userSelectRowAtIndexPath(kit::IndexPath::forRow(2, 0));
  drainMain();
  pane->grid()->collectionView()->userSelectItemAtIndexPath(kit::IndexPath::forItem(1, 0));
  game.queueReply("gmstore/index", R"({"status":200,"msg":"ok"})");
  ASSERT_TRUE(kit::test::tap(pane->claimButton()));
  ASSERT_TRUE(waitForRequests("gmstore/index", 1));
  const auto claim = game.requestsTo("gmstore/index")[0];
  EXPECT_EQ(claim.method, "POST");
  EXPECT_EQ(claim.rawBody, "token=t0k3n99&super_user_id=99&role_id=r1&gm_id=3&gift_id=121&");
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudSoFar().back(), "领取成功");
  ASSERT_TRUE(kit::test::runUntil([&] {
    auto gifts = kit::as<kit::Array>(pane->grid()->secondMArr()->objectAtIndex(2));
    return kit::describe(kit::Id(gifts->objectAtIndex(1))["status"]) == "1";
  }));
  drainMain();
  EXPECT_EQ(kit::describe(pane->grid()->index()), "2");
  EXPECT_EQ(NUVAGiftTab::text(kit::as<NUVAStoreRecord>(pane->grid()->detailCategoryList()->objectAtIndex(1)), "status"),
            "1");
}

TEST_F(LandscapePanes, OtherAnswersShowTheirTextAndEveryTapClaims) {
  auto hub = open();
  auto pane = hub->gmPane();
  game.queueReply("gmstore/index", R"({"status":"500","msg":"x"})");
  game.queueReply("gmstore/index", R"({"status":"403","msg":"今日已领取"})");
  ASSERT_TRUE(kit::test::tap(pane->claimButton()));
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudSoFar().back(), "还未达到开启要求");
  NUVAProgressHUD::dismiss();
  drainMain();
  ASSERT_TRUE(kit::test::tap(pane->claimButton()));
  ASSERT_TRUE(waitForHUD(2));
  EXPECT_EQ(hudSoFar().back(), "今日已领取");
  EXPECT_EQ(game.requestsTo("gmstore/index").size(), 2u);

  // An answer with no readable message (no "msg", an HTML page, no body)
  // shows the text of a failed request, never "(null)".
  game.queueReply("gmstore/index", R"({"status":"403","msg":null})");
  size_t shown = 2;
  for (auto fault : {sim::RouteFault::None, sim::RouteFault::NotJSON, sim::RouteFault::EmptyBody}) {
    game.setFault("gmstore/index", fault);
    NUVAProgressHUD::dismiss();
    drainMain();
    ASSERT_TRUE(kit::test::tap(pane->claimButton()));
    ASSERT_TRUE(waitForHUD(++shown));
    EXPECT_EQ(hudSoFar().back(), "网络请求发生未知错误，请稍后再试！");
  }
  game.setFault("gmstore/index", sim::RouteFault::None);
  // Nothing was badged.
  auto gifts = kit::as<kit::Array>(pane->grid()->secondMArr()->objectAtIndex(0));
  EXPECT_EQ(kit::describe(kit::Id(gifts->objectAtIndex(0))["status"]), "0");
}

TEST_F(LandscapePanes, NoChosenGiftSendsNothing) {
  auto hub = NUVAGMShopView::init();
  hub->setMenuBtnArray(kit::MutableArray::make());
  hub->show();
  drainMain();
  hub->gmPane()->toGetClick();
  kit::NotificationCenter::defaultCenter()->postNotificationName(
      "DescCategoryDataWillLoad", NUVAGiftTab::gm().record(kit::dict({{"gift_id", "1"}})));
  hub->gmPane()->toGetClick();  // no gm_id
  kit::test::runUntil([] { return false; }, 0.1);
  EXPECT_TRUE(game.requestsTo("gmstore/index").empty());
}

TEST_F(LandscapePanes, AVIPClaimPostsItsOwnNotification) {
  auto hub = open("2");
  auto pane = hub->vipPane();
  pane->grid()->collectionView()->userSelectItemAtIndexPath(kit::IndexPath::forItem(1, 0));
  std::vector<std::string> claimed;
  std::mutex lock;
  tokens.push_back(kit::NotificationCenter::defaultCenter()->addObserverForName(
      "VIPSuccessGetNotification", nullptr, [&](const kit::Ref<kit::Notification>& n) {
        std::lock_guard guard(lock);
        claimed.push_back(NUVAGiftTab::text(kit::as<NUVAStoreRecord>(n->object()), "vip_id"));
      }));
  game.queueReply("vipstore/index", R"({"status":"200"})");
  ASSERT_TRUE(kit::test::tap(pane->claimButton()));
  ASSERT_TRUE(waitForRequests("vipstore/index", 1));
  EXPECT_EQ(game.requestsTo("vipstore/index")[0].rawBody, "token=t0k3n99&super_user_id=99&role_id=r1&vip_id=2&gift_id=7&");
  ASSERT_TRUE(kit::test::runUntil([&] {
    std::lock_guard guard(lock);
    return !claimed.empty();
  }));
  EXPECT_EQ(claimed, std::vector<std::string>{"2"});
  drainMain();
  drainMain();
  auto gifts = kit::as<kit::Array>(pane->grid()->secondMArr()->objectAtIndex(0));
  EXPECT_EQ(kit::describe(kit::Id(gifts->objectAtIndex(0))["status"]), "0");
  EXPECT_EQ(kit::describe(kit::Id(gifts->objectAtIndex(1))["status"]), "1");
  // The GM grid kept its gifts as they were.
  auto gm = kit::as<kit::Array>(hub->gmPane()->grid()->secondMArr()->objectAtIndex(0));
  EXPECT_EQ(kit::describe(kit::Id(gm->objectAtIndex(0))["status"]), "0");
}

}  // namespace
