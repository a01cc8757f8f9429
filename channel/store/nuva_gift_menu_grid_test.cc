// The GM and VIP records, category menus and gift grids working together as
// in the hub's tabs: the fill that selects row 0 and describes the first
// gift, the menu's choice followed by the grid, the claimed badge after a
// claim announced off the main thread, the gifts' icons, the item size of
// the grid in both orientations, and the empty category that selects and
// posts nothing.

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "channel/store/nuva_gift_grid.h"
#include "channel/store/nuva_gift_menu.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/ui/ui_test_driver.h"

namespace {

// Four GM categories, category i holding i + 1 gifts "g<i><j>" of gm_id
// "<i>", the first gift of each unclaimed, with the icon `icon(i, j)`
// when given.
kit::Ref<kit::MutableArray> gmCategories(int count = 4, const std::function<std::string(int, int)>& icon = {}) {
  auto categories = kit::MutableArray::make();
  for (int i = 0; i < count; ++i) {
    auto gifts = kit::MutableArray::make();
    for (int j = 0; j <= i; ++j) {
      gifts->addObject(kit::mutableDict({{"id", std::to_string(100 + 10 * i + j)},
                                         {"gm_id", std::to_string(i)},
                                         {"gm_name", "GM" + std::to_string(i)},
                                         {"gift_id", "g" + std::to_string(i) + std::to_string(j)},
                                         {"gift_name", "礼包" + std::to_string(i) + std::to_string(j)},
                                         {"gift_num", "x1"},
                                         {"status", "0"}}));
      if (icon) kit::as<kit::MutableDictionary>(gifts->lastObject())->setObject(kit::str(icon(i, j)), "gift_icon");
    }
    categories->addObject(gifts);
  }
  return categories;
}

class GiftTabs : public StoreFixture {
 protected:
  void SetUp() override {
    StoreFixture::SetUp();
    for (const char* name : {"CloumnCategoryDataWillLoad", "DescCategoryDataWillLoad", "VIPCloumnCategoryDataWillLoad",
                             "VIPDescCategoryDataWillLoad"}) {
      tokens.push_back(kit::NotificationCenter::defaultCenter()->addObserverForName(
          name, nullptr, [this, name](const kit::Ref<kit::Notification>& n) { posted.push_back({name, n->object()}); }));
    }
  }

  template <class Menu, class Grid>
  void build(kit::Ref<Menu>& menu, kit::Ref<Grid>& grid) {
    menu = kit::make<Menu>();
    menu->tableView()->setFrame({25, 15, 106.75, 250});
    window->addSubview(menu->tableView());
    grid = kit::make<Grid>();
    grid->view()->setFrame({138.75, 15, 283.5, 250});
    window->addSubview(grid->view());
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& [name, object] : posted) out.push_back(name);
    return out;
  }
  std::string giftOf(size_t i) const { return kit::describe(kit::as<NUVAStoreRecord>(posted[i].second)->valueForKey("gift_id")); }

  std::vector<std::pair<std::string, kit::Id>> posted;
};

TEST_F(GiftTabs, RecordsTakeTheirIdAndIgnoreOtherKeys) {
  auto record = NUVAGiftTab::gm().record(kit::dict({{"id", 7}, {"gm_id", "1"}, {"unknown", "x"}}));
  auto gm = kit::as<NUVAGMModel>(record);
  ASSERT_TRUE(gm);
  EXPECT_EQ(kit::describe(gm->categoryid()), "7");
  EXPECT_EQ(kit::describe(gm->gm_id()), "1");
  auto vip = kit::as<NUVAVIPModel>(NUVAGiftTab::vip().record(kit::dict({{"id", "8"}, {"vip_level", "3"}})));
  EXPECT_EQ(kit::describe(vip->categoryid()), "8");
  EXPECT_TRUE(kit::as<NUVAGMModel>(NUVAGiftTab::gm().record(kit::str("not a dictionary"))));

  // The badge: GM for anything but "0", VIP for "1" only.
  EXPECT_TRUE(NUVAGiftTab::gm().badged(kit::str("1")));
  EXPECT_TRUE(NUVAGiftTab::gm().badged(nullptr));
  EXPECT_FALSE(NUVAGiftTab::gm().badged(kit::str("0")));
  EXPECT_TRUE(NUVAGiftTab::vip().badged(kit::num(1)));
  EXPECT_FALSE(NUVAGiftTab::vip().badged(kit::str("0")));
  EXPECT_FALSE(NUVAGiftTab::vip().badged(nullptr));
}

TEST_F(GiftTabs, AFillSelectsRowZeroQuietlyAndTheGridDescribesTheFirstGift) {
  kit::Ref<NUVAGMMenuController> menu;
  kit::Ref<NUVAGMDetailViewController> grid;
  build(menu, grid);
  // Five different icons: category 0 starts with icon 1, category 3 shows
  // icons 2 to 5.
  auto categories = gmCategories(4, [&](int i, int j) { return game.itemIconURL((2 * i + j) % 5 + 1); });
  menu->setMenuArray(categories);
  grid->setSecondMArr(categories);
  drainMain();
  window->layoutIfNeeded();
  ASSERT_EQ(menu->catelogyList()->count(), 4u);
  EXPECT_EQ(menu->tableView()->indexPathForSelectedRow(), kit::IndexPath::forRow(0, 0));
  auto row3 = kit::as<NUVAGiftMenuCell>(menu->tableView()->cellForRowAtIndexPath(kit::IndexPath::forRow(3, 0)));
  ASSERT_TRUE(row3);
  EXPECT_EQ(row3->categoryTitleLabel()->text(), "GM3");
  EXPECT_EQ(row3->bgView()->frame(), (kit::Rect{0, 3, 106.75, 32}));
  // Only the grid posts: the first gift of category 0.
  ASSERT_EQ(names(), std::vector<std::string>{"DescCategoryDataWillLoad"});
  EXPECT_EQ(giftOf(0), "g00");
  EXPECT_EQ(grid->flowLayout()->itemSize, (kit::Size{131.75, 68}));
  auto cell = [&](long item) {
    return kit::as<NUVAGiftDetailCell>(grid->collectionView()->cellForItemAtIndexPath(kit::IndexPath::forItem(item, 0)));
  };
  // The icon a cell shows, as PNG bytes (none while it loads).
  auto iconBytes = [&](long item) {
    auto shown = cell(item);
    auto image = shown ? shown->icon()->image() : nullptr;
    return image ? image->pngData() : std::vector<uint8_t>{};
  };
  ASSERT_TRUE(kit::test::runUntil([&] { return !iconBytes(0).empty(); }));
  const auto firstIcon = iconBytes(0);
  EXPECT_EQ(cell(0)->icon()->frame(), (kit::Rect{0, 15, 36, 36}));
  picture("gift_menu_and_grid");

  // Row 3: the notification "3", the grid shows category 3 and describes
  // its first gift.
  posted.clear();
  menu->tableView()->userSelectRowAtIndexPath(kit::IndexPath::forRow(3, 0));
  drainMain();
  ASSERT_EQ(names(), (std::vector<std::string>{"CloumnCategoryDataWillLoad", "DescCategoryDataWillLoad"}));
  EXPECT_EQ(kit::describe(posted[0].second), "3");
  EXPECT_EQ(giftOf(1), "g30");
  EXPECT_EQ(grid->detailCategoryList()->count(), 4u);
  EXPECT_EQ(kit::describe(grid->index()), "3");
  // Each gift shows its own icon, none the first category's.
  window->layoutIfNeeded();
  ASSERT_TRUE(kit::test::runUntil([&] {
    for (long item = 0; item < 4; ++item) {
      if (iconBytes(item).empty()) return false;
    }
    return true;
  }));
  for (long a = 0; a < 4; ++a) {
    EXPECT_NE(iconBytes(a), firstIcon) << a;
    for (long b = a + 1; b < 4; ++b) EXPECT_NE(iconBytes(a), iconBytes(b)) << a << " " << b;
  }
  // Picking a gift describes it.
  posted.clear();
  grid->collectionView()->userSelectItemAtIndexPath(kit::IndexPath::forItem(2, 0));
  ASSERT_EQ(names(), std::vector<std::string>{"DescCategoryDataWillLoad"});
  EXPECT_EQ(giftOf(0), "g32");
  EXPECT_EQ(grid->selectIndexPath(), kit::IndexPath::forItem(2, 0));
}

TEST_F(GiftTabs, AClaimPostedOffTheMainThreadBadgesTheGiftAndKeepsItsCategory) {
  kit::Ref<NUVAGMMenuController> menu;
  kit::Ref<NUVAGMDetailViewController> grid;
  build(menu, grid);
  auto categories = gmCategories();
  menu->setMenuArray(categories);
  grid->setSecondMArr(categories);
  drainMain();
  menu->tableView()->userSelectRowAtIndexPath(kit::IndexPath::forRow(2, 0));
  drainMain();
  auto claimed = NUVAGiftTab::gm().record(kit::dict({{"gm_id", "2"}, {"gift_id", "g21"}}));
  auto before = grid->secondMArr();
  std::thread poster([&] {
    kit::NotificationCenter::defaultCenter()->postNotificationName("SuccessGetNotification", claimed);
  });
  poster.join();
  // Nothing changed off the main queue.
  EXPECT_EQ(grid->secondMArr(), before);
  drainMain();  // the hop to the main queue
  drainMain();  // the reloads it queued
  window->layoutIfNeeded();
  EXPECT_NE(grid->secondMArr(), before);
  EXPECT_EQ(kit::describe(grid->index()), "2");
  ASSERT_EQ(grid->detailCategoryList()->count(), 3u);
  auto badge = [&](long item) {
    auto cell = kit::as<NUVAGiftDetailCell>(grid->collectionView()->cellForItemAtIndexPath(kit::IndexPath::forItem(item, 0)));
    EXPECT_TRUE(cell) << item;
    return cell && !cell->albuy()->isHidden();
  };
  EXPECT_EQ(NUVAGiftTab::text(kit::as<NUVAStoreRecord>(grid->detailCategoryList()->objectAtIndex(1)), "status"), "1");
  EXPECT_FALSE(badge(0));
  EXPECT_TRUE(badge(1));
  EXPECT_FALSE(badge(2));
  // Only that gift of that privilege: category 0 is untouched.
  auto first = kit::as<kit::Array>(grid->secondMArr()->objectAtIndex(0));
  EXPECT_EQ(kit::describe(kit::Id(first->objectAtIndex(0))["status"]), "0");
}

TEST_F(GiftTabs, TheVIPTwinUsesItsOwnNotificationsAndMatchesGiftAndLevel) {
  kit::Ref<NUVAGMMenuController> gmMenu;
  kit::Ref<NUVAGMDetailViewController> gmGrid;
  build(gmMenu, gmGrid);
  kit::Ref<NUVAVIPMenuController> menu;
  kit::Ref<NUVAVIPDetailViewController> grid;
  build(menu, grid);
  gmGrid->setSecondMArr(gmCategories());
  auto vip = kit::MutableArray::make();
  vip->addObject(kit::array({kit::dict({{"vip_id", "1"}, {"vip_name", "VIP1"}, {"gift_id", "5"}, {"status", "0"}}),
                             kit::dict({{"vip_id", "2"}, {"vip_name", "VIP1"}, {"gift_id", "5"}})}));
  vip->addObject(kit::array({kit::dict({{"vip_id", "3"}, {"vip_name", "VIP3"}, {"gift_id", "6"}})}));
  menu->setMenuArray(vip);
  grid->setSecondMArr(vip);
  drainMain();
  posted.clear();
  menu->tableView()->userSelectRowAtIndexPath(kit::IndexPath::forRow(1, 0));
  drainMain();
  EXPECT_EQ(names(), (std::vector<std::string>{"VIPCloumnCategoryDataWillLoad", "VIPDescCategoryDataWillLoad"}));
  EXPECT_EQ(kit::describe(gmGrid->index()), "(null)");  // the GM grid did not follow
  EXPECT_EQ(gmGrid->detailCategoryList()->count(), 1u);

  menu->tableView()->userSelectRowAtIndexPath(kit::IndexPath::forRow(0, 0));
  drainMain();
  kit::NotificationCenter::defaultCenter()->postNotificationName(
      "VIPSuccessGetNotification", NUVAGiftTab::vip().record(kit::dict({{"vip_id", "2"}, {"gift_id", "5"}})));
  drainMain();
  drainMain();
  auto gifts = kit::as<kit::Array>(grid->secondMArr()->objectAtIndex(0));
  EXPECT_EQ(kit::describe(kit::Id(gifts->objectAtIndex(0))["status"]), "0");
  EXPECT_EQ(kit::describe(kit::Id(gifts->objectAtIndex(1))["status"]), "1");
}

class PortraitGiftTabs : public StoreFixture {
 protected:
  PortraitGiftTabs() : StoreFixture(kit::DeviceProfile::phone375x667()) {}
};

TEST_F(PortraitGiftTabs, TheGridTakesThreeQuartersOfTheScreenLessMargins) {
  // W = 375 - 60: (W - W / 4 - 30) / 2 wide, 68 high.
  EXPECT_EQ(kit::make<NUVAGMDetailViewController>()->flowLayout()->itemSize, (kit::Size{103.125, 68}));
  EXPECT_EQ(kit::make<NUVAVIPDetailViewController>()->flowLayout()->itemSize, (kit::Size{103.125, 68}));
}

TEST_F(GiftTabs, AnEmptyCategoryNeitherCrashesNorPosts) {
  kit::Ref<NUVAGMMenuController> menu;
  kit::Ref<NUVAGMDetailViewController> grid;
  build(menu, grid);
  auto categories = kit::MutableArray::make();
  categories->addObject(kit::MutableArray::make());
  categories->addObject(kit::array({kit::dict({{"gm_id", "1"}, {"gm_name", "GM1"}, {"gift_id", "9"}})}));
  menu->setMenuArray(categories);
  grid->setSecondMArr(categories);
  drainMain();
  window->layoutIfNeeded();
  EXPECT_TRUE(posted.empty());
  ASSERT_EQ(menu->catelogyList()->count(), 2u);
  auto row0 = kit::as<NUVAGiftMenuCell>(menu->tableView()->cellForRowAtIndexPath(kit::IndexPath::forRow(0, 0)));
  EXPECT_EQ(row0->categoryTitleLabel()->text(), "");
  // Choosing the empty category again, and a row the menu does not list.
  kit::NotificationCenter::defaultCenter()->postNotificationName("CloumnCategoryDataWillLoad", kit::str("0"));
  kit::NotificationCenter::defaultCenter()->postNotificationName("CloumnCategoryDataWillLoad", kit::str("7"));
  drainMain();
  EXPECT_EQ(names(), (std::vector<std::string>{"CloumnCategoryDataWillLoad", "CloumnCategoryDataWillLoad"}));
  // An empty array leaves the menu as it was.
  menu->setMenuArray(kit::MutableArray::make());
  EXPECT_EQ(menu->catelogyList()->count(), 2u);
}

}  // namespace
