// The store hub as the channel core opens it: the tab bar built from the
// menu ids, the first tab and the one shop_type names, the measures of
// both forms, the close roads (buttons, orders posted on other threads,
// recharge), the hub released after closing; and end to end with the core.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/store/nuva_gm_shop_view.h"
#include "channel/store/nuva_store_views.h"
#include "channel/store/testing/store_fixture.h"
#include "channel/testing/core_road_fixture.h"
#include "kit/graphics/image.h"
#include "kit/ui/ui_test_driver.h"

namespace {

kit::Ref<kit::MutableArray> ids(std::initializer_list<const char*> list) {
  auto out = kit::MutableArray::make();
  for (const char* id : list) out->addObject(kit::str(id));
  return out;
}

bool samePicture(const kit::Ref<kit::Image>& a, const char* name) {
  auto b = NUVALightImage(name);
  return a && b && a->pngData() == b->pngData();
}

// Which tab view shows.
std::string shownTab(const NUVAGMShopHub& hub) {
  std::string shown;
  if (!hub.gmShopView()->isHidden()) shown += "GM";
  if (!hub.vipView()->isHidden()) shown += "VIP";
  if (!hub.timeStoreView()->isHidden()) shown += "time";
  if (!hub.voucherView()->isHidden()) shown += "vouchers";
  if (!hub.levelStoreView()->isHidden()) shown += "level";
  return shown;
}

template <class Hub>
class HubFixture : public StoreFixture {
 protected:
  explicit HubFixture(kit::DeviceProfile device) : StoreFixture(device) {}

  kit::Ref<Hub> open(kit::Ref<kit::MutableArray> menu, const char* shopType = "3") {
    auto hub = Hub::init();
    hub->setShop_type(kit::str(shopType));
    hub->setMenuBtnArray(std::move(menu));
    hub->setToken(kit::str("t0k3n99"));
    hub->setSuper_user_id(kit::str("99"));
    hub->setUserInfo(userInfo());
    hub->setRoleid(kit::str("r1"));
    hub->setCloseBlock([this] { ++closeBlocks; });
    hub->show();
    window->layoutIfNeeded();
    return hub;
  }
  std::vector<std::string> tabs(const NUVAGMShopHub& hub) const { return hub.strArray(); }

  int closeBlocks = 0;
};

class LandscapeHub : public HubFixture<NUVAGMShopView> {
 protected:
  LandscapeHub() : HubFixture(kit::DeviceProfile::phone667x375()) {}
};
class PortraitHub : public HubFixture<NUVAVerticalGMShopView> {
 protected:
  PortraitHub() : HubFixture(kit::DeviceProfile::phone375x667()) {}
};

TEST_F(LandscapeHub, MenuIdsMakeTheTabsInTheirOrder) {
  struct Case {
    std::initializer_list<const char*> menu;
    std::vector<std::string> tabs;
  };
  const Case cases[] = {{{"1", "2", "3", "4", "8"}, {"1", "2", "3", "8", "4"}},
                        {{"8", "1", "2"}, {"8", "1", "2"}},
                        {{"1", "8", "8"}, {"8", "8", "1"}},
                        {{"2", "5", "3"}, {"2", "3"}}};
  for (const auto& c : cases) {
    auto hub = open(ids(c.menu));
    EXPECT_EQ(tabs(*hub), c.tabs);
    ASSERT_EQ(hub->btnArray().size(), c.tabs.size());
    EXPECT_EQ(hub->btnArray()[0]->tag(), std::stol(c.tabs[0]));
    hub->closeClick();
    drainMain();
  }
}

TEST_F(LandscapeHub, ShopTypeOpensTheTabItNamesOrElseTheFirst) {
  auto level = open(ids({"1", "2", "8"}), "1");
  EXPECT_EQ(tabs(*level), (std::vector<std::string>{"1", "8", "2"}));
  EXPECT_EQ(shownTab(*level), "level");
  EXPECT_TRUE(samePicture(level->btnArray()[0]->backgroundImage(kit::ControlStateNormal), "gmbtn"));
  EXPECT_TRUE(samePicture(level->btnArray()[1]->backgroundImage(kit::ControlStateNormal), "xggiftsel"));
  level->closeClick();

  EXPECT_EQ(shownTab(*open(ids({"1", "2", "4"}), "2")), "vouchers");
  EXPECT_EQ(shownTab(*open(ids({"1", "3"}), "3")), "time");
  EXPECT_EQ(shownTab(*open(ids({"2", "1"}), "3")), "VIP");  // no time tab
  EXPECT_EQ(shownTab(*open(ids({"1", "2"}), "7")), "GM");
}

TEST_F(LandscapeHub, TheLandscapeHubMeasures) {
  auto hub = open(ids({"1", "2", "3", "4", "8"}));
  EXPECT_EQ(hub->frame(), (kit::Rect{30, 15, 607, 345}));
  EXPECT_EQ(hub->superview(), window);
  EXPECT_EQ(hub->coverView()->frame(), window->bounds());
  std::vector<double> xs;
  for (const auto& button : hub->btnArray()) {
    xs.push_back(button->frame().minX());
    EXPECT_EQ(button->frame().size, (kit::Size{100, 25}));
  }
  EXPECT_EQ(xs, (std::vector<double>{13.5, 133.5, 253.5, 373.5, 493.5}));
  EXPECT_EQ(hub->gmShopView()->frame(), (kit::Rect{0, 30, 607, 315}));
  EXPECT_EQ(hub->timeStoreView()->frame(), (kit::Rect{0, 30, 607, 315}));
  EXPECT_EQ(hub->bundlename()->text(), "V2.2.0");
  EXPECT_EQ(hub->bundlename()->frame(), (kit::Rect{2, 335, 50, 8}));
  ASSERT_EQ(hub->tabCloseButtons().size(), 3u);
  EXPECT_EQ(hub->tabCloseButtons()[0]->frame(), (kit::Rect{562, 5, 32, 32}));
  EXPECT_FALSE(hub->closeBtn());
  picture("store_hub_landscape_gm");
}

TEST_F(PortraitHub, ThePortraitHubMeasuresAndHasOneCornerButton) {
  auto hub = open(ids({"1", "2", "3", "4", "8"}));
  EXPECT_EQ(hub->frame(), (kit::Rect{30, 45, 315, 577}));
  std::vector<double> xs;
  for (const auto& button : hub->btnArray()) {
    xs.push_back(button->frame().minX());
    EXPECT_EQ(button->frame().size, (kit::Size{55, 18}));
  }
  EXPECT_EQ(xs, (std::vector<double>{10, 70, 130, 190, 250}));
  ASSERT_TRUE(hub->closeBtn());
  EXPECT_EQ(hub->closeBtn()->frame(), (kit::Rect{330, 45, 32, 32}));
  EXPECT_EQ(hub->closeBtn()->superview(), window);
  EXPECT_EQ(hub->timeStoreView()->frame(), (kit::Rect{0, 15, 315, 532}));
  EXPECT_EQ(hub->vipView()->frame(), (kit::Rect{0, 15, 315, 562}));
  EXPECT_TRUE(hub->tabCloseButtons().empty());
  picture("store_hub_portrait_gm");

  auto cover = hub->coverView();
  ASSERT_TRUE(kit::test::tap(hub->closeBtn()));
  EXPECT_EQ(closeBlocks, 1);
  EXPECT_EQ(hub->superview(), window);  // until the next main-queue turn
  drainMain();
  EXPECT_FALSE(hub->superview());
  EXPECT_FALSE(cover->superview());
  EXPECT_FALSE(hub->closeBtn()->superview());
}

TEST_F(LandscapeHub, TappingTheOpenTabAgainOnlyInvertsItsFlag) {
  auto hub = open(ids({"1", "2", "4"}));
  auto gm = hub->btnArray()[0];
  const bool before = gm->isSelected();
  ASSERT_TRUE(kit::test::tap(gm));
  EXPECT_EQ(gm->isSelected(), !before);
  EXPECT_EQ(shownTab(*hub), "GM");
  EXPECT_TRUE(samePicture(gm->backgroundImage(kit::ControlStateNormal), "gmbtnsel"));
  ASSERT_TRUE(kit::test::tap(hub->btnArray()[2]));
  EXPECT_EQ(shownTab(*hub), "vouchers");
  EXPECT_TRUE(samePicture(gm->backgroundImage(kit::ControlStateNormal), "gmbtn"));
  EXPECT_TRUE(samePicture(hub->btnArray()[2]->backgroundImage(kit::ControlStateNormal), "128btnsel"));
  EXPECT_EQ(hub->tmpBtn(), hub->btnArray()[2]);
}

TEST_F(LandscapeHub, CloseButtonsCloseOnceAndTheHubIsReleased) {
  kit::Weak<NUVAGMShopView> weak;
  {
    auto hub = open(ids({"1", "2", "3", "4", "8"}));
    weak = hub;
    auto cover = hub->coverView();
    ASSERT_TRUE(kit::test::tap(hub->gmPane()->closeButton()));
    EXPECT_EQ(closeBlocks, 1);
    drainMain();
    EXPECT_FALSE(hub->superview());
    EXPECT_FALSE(cover->superview());
  }
  drainMain();
  EXPECT_TRUE(weak.expired());
}

TEST_F(LandscapeHub, OrdersPostedOnAnotherThreadCloseTheHub) {
  for (const char* name : {NUVAGIFTPAYNotification, NUVALEVELPAYNotification}) {
    closeBlocks = 0;
    std::thread::id blockThread;
    auto hub = open(ids({"1", "3"}));
    hub->setCloseBlock([&] {
      ++closeBlocks;
      blockThread = std::this_thread::get_id();
    });
    std::thread::id poster;
    std::thread network([&] {
      poster = std::this_thread::get_id();
      kit::NotificationCenter::defaultCenter()->postNotificationName(name, kit::dict({{"order_id", "1"}}));
    });
    network.join();
    EXPECT_EQ(closeBlocks, 1) << name;
    EXPECT_EQ(blockThread, poster);
    EXPECT_EQ(hub->superview(), window);
    drainMain();
    EXPECT_FALSE(hub->superview());
    // A later order reaches nothing.
    kit::NotificationCenter::defaultCenter()->postNotificationName(name, nullptr);
    EXPECT_EQ(closeBlocks, 1);
  }
}

TEST_F(LandscapeHub, AHubWithoutTabsGetsAPanelCloseButton) {
  auto hub = open(ids({"5"}));
  EXPECT_TRUE(hub->btnArray().empty());
  EXPECT_EQ(shownTab(*hub), "");
  ASSERT_TRUE(hub->panelCloseButton());
  EXPECT_EQ(hub->panelCloseButton()->frame(), (kit::Rect{567, 5, 32, 32}));
  ASSERT_TRUE(kit::test::tap(hub->panelCloseButton()));
  EXPECT_EQ(closeBlocks, 1);
  drainMain();
  EXPECT_FALSE(hub->superview());
}

TEST_F(LandscapeHub, RechargeClosesAndHandsTheEventAndInputsReachTheTabs) {
  auto hub = open(ids({"1", "3", "4", "8"}));
  EXPECT_EQ(kit::describe(hub->voucherView()->userInfo()), kit::describe(userInfo()));
  EXPECT_EQ(kit::describe(hub->timeStoreView()->userInfo()), kit::describe(userInfo()));
  EXPECT_EQ(kit::describe(hub->levelStoreView()->userInfo()), kit::describe(userInfo()));
  EXPECT_EQ(kit::describe(hub->timeStoreView()->roleid()), "r1");
  std::string event;
  hub->setRechargeBlock([&](const kit::Id& text) { event = kit::describe(text); });
  hub->toChargeBtnClick();
  EXPECT_EQ(closeBlocks, 1);
  EXPECT_NE(event.find('\n'), std::string::npos);
  kit::Id parsed = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(event));
  EXPECT_EQ(kit::describe(parsed["event"]), "open_shop");
  EXPECT_EQ(kit::describe(parsed["ext1"]), "");
  EXPECT_EQ(kit::describe(parsed["ext2"]), "");
  drainMain();
  EXPECT_FALSE(hub->superview());
}

// ---- With the channel core ---------------------------------------------------------------

class CoreHub : public CoreTimedFixture {
 protected:
  void SetUp() override {
    CoreTimedFixture::SetUp();
    std::filesystem::copy(std::string(CHANNEL_RESOURCES_DIR) + "/NUVALight.bundle",
                          bundle.path() + "/NUVALight.bundle", std::filesystem::copy_options::recursive);
    NUVAStoreViews::install(overlays);
    game.setMenu({"1", "2", "4", "8"});
  }
  kit::Ref<NUVAGMShopHub> findHub() {
    for (const auto& view : window->subviews()) {
      if (auto hub = kit::as<NUVAGMShopHub>(view)) return hub;
    }
    return nullptr;
  }
};

TEST_F(CoreHub, TheCoreOpensTheHubWithItsDataAndClosingResetsTheShopType) {
  logIn();
  reportRole();
  ASSERT_TRUE(kit::test::runUntil([&] { return game.requestsTo("menu/new").size() >= 2; }));
  drainMain();
  core->setShop_type(kit::str("2"));
  core->nuva_openGmShop();
  advance(JHLCoreEntity::kCollapseDelay);
  kit::Ref<NUVAGMShopHub> hub;
  ASSERT_TRUE(kit::test::runUntil([&] { return (hub = findHub()) != nullptr; }));
  EXPECT_TRUE(overlays->hubs().empty());  // the real hub, not a stand-in
  EXPECT_EQ(hub->form(), NUVAStoreOverlays::currentForm());
  EXPECT_EQ(kit::describe(hub->shop_type()), "2");
  drainMain();
  ASSERT_TRUE(kit::test::runUntil([&] { return hub->gmPane()->menu()->catelogyList()->count() == 2; }));
  EXPECT_EQ(hub->vipPane()->menu()->catelogyList()->count(), 1u);
  EXPECT_FALSE(hub->voucherView()->isHidden());
  // The core's setUserInfo and show each read the daily gift.
  auto dailyLookups = [&] {
    size_t count = 0;
    for (const auto& request : game.requestsTo("luck/index")) count += request.field("time") == "day";
    return count;
  };
  ASSERT_TRUE(kit::test::runUntil([&] { return dailyLookups() >= 2; }));
  EXPECT_EQ(dailyLookups(), 2u);
  ASSERT_TRUE(core->isHallOpen());
  hub->closeClick();
  EXPECT_EQ(kit::describe(core->shop_type()), "3");
  EXPECT_FALSE(core->isHallOpen());
  drainMain();
  EXPECT_FALSE(hub->superview());
}

}  // namespace
