// The level-reached pop-up as a player meets it: its place on a portrait
// phone above a cover that ignores taps, the reward tiles with their texts
// and icons, the advertising GIF read from the server, the go and close
// buttons; and end to end with the channel core: a level report answered
// with an offer shows it, and "前往" opens the store hub on the level tab.

#include <gtest/gtest.h>

#include <filesystem>

#include "channel/store/nuva_gm_shop_view.h"
#include "channel/store/nuva_level_pop_view.h"
#include "channel/store/nuva_store_views.h"
#include "channel/store/testing/store_fixture.h"
#include "channel/testing/core_road_fixture.h"
#include "kit/ui/ui_test_driver.h"
#include "ui/images/nuva_animated_gif.h"

namespace {

class LevelPopUp : public StoreFixture {
 protected:
  LevelPopUp() : StoreFixture(kit::DeviceProfile::phone375x667()) {}

  kit::Ref<NUVALevelPopView> show(const std::string& items, std::function<void()> block = nullptr) {
    auto popUp = NUVALevelPopView::init();
    popUp->setAdPic(kit::str(game.adPictureURL()));
    popUp->setItems(kit::str(items));
    if (block) popUp->setCloseBlock(std::move(block));
    popUp->show();
    window->layoutIfNeeded();
    return popUp;
  }
  std::string twoItems() const {
    return R"([{"mid":"1","name":"金币","amount":"1000","icon":")" + game.itemIconURL(1) +
           R"("},{"mid":"2","name":"钻石","amount":60,"icon":")" + game.itemIconURL(3) + R"("}])";
  }
};

TEST_F(LevelPopUp, ItSitsInTheMiddleAboveACoverThatIgnoresTaps) {
  int gone = 0;
  auto popUp = show(twoItems(), [&] { ++gone; });
  EXPECT_EQ(popUp->frame(), (kit::Rect{24.5, 170.5, 326, 326}));
  EXPECT_EQ(popUp->superview(), window);
  ASSERT_TRUE(popUp->coverView());
  EXPECT_EQ(popUp->coverView()->frame(), window->bounds());
  EXPECT_EQ(popUp->backbg()->frame(), (kit::Rect{0, 50, 300, 230}));
  EXPECT_EQ(popUp->mainImg()->frame(), (kit::Rect{20, 26, 260, 136}));
  EXPECT_EQ(popUp->goButton()->currentTitle(), "前往");

  // The tiles: x 15 and 85, y 160 in the panel background.
  ASSERT_EQ(popUp->tiles().size(), 2u);
  EXPECT_EQ(popUp->tiles()[0]->frame(), (kit::Rect{15, 160, 66, 66}));
  EXPECT_EQ(popUp->tiles()[1]->frame(), (kit::Rect{85, 160, 66, 66}));
  EXPECT_EQ(popUp->tiles()[1]->superview(), popUp->backbg());
  EXPECT_TRUE(kit::test::findLabel(*popUp->tiles()[0], "1000"));
  EXPECT_TRUE(kit::test::findLabel(*popUp->tiles()[0], "金币"));
  EXPECT_TRUE(kit::test::findLabel(*popUp->tiles()[1], "60"));
  // The icons and the advertising GIF come from the server.
  auto icons = kit::test::findViews(*popUp->tiles()[1], [](kit::View& v) {
    auto image = dynamic_cast<kit::ImageView*>(&v);
    return image && v.frame() == kit::Rect{10, 10, 26, 26};
  });
  ASSERT_EQ(icons.size(), 1u);
  ASSERT_TRUE(kit::test::runUntil([&] {
    return kit::as<kit::ImageView>(icons[0])->image() && popUp->adImge()->animatedImage();
  }));
  EXPECT_EQ(popUp->adImge()->animatedImage()->frameCount(), 3u);

  // Taps on the cover do nothing.
  ASSERT_TRUE(kit::test::tapAt(*window, {10, 10}));
  EXPECT_EQ(popUp->superview(), window);
  EXPECT_EQ(gone, 0);
  picture("level_pop_up");
}

TEST_F(LevelPopUp, GoRunsTheBlockThenClosesAndCloseOnlyCloses) {
  bool shownDuringBlock = false;
  int runs = 0;
  kit::Ref<NUVALevelPopView> popUp;
  popUp = show(twoItems(), [&] {
    ++runs;
    shownDuringBlock = popUp->superview() != nullptr;
  });
  auto cover = popUp->coverView();
  ASSERT_TRUE(kit::test::tap(popUp->goButton()));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(shownDuringBlock);
  EXPECT_FALSE(popUp->superview());
  EXPECT_FALSE(cover->superview());
  popUp->popClick();  // the block runs once
  EXPECT_EQ(runs, 1);

  auto plain = show(twoItems());
  ASSERT_TRUE(kit::test::tap(plain->goButton()));
  EXPECT_FALSE(plain->superview());
  EXPECT_FALSE(plain->coverView()->superview());

  int closed = 0;
  auto dismissed = show(twoItems(), [&] { ++closed; });
  ASSERT_TRUE(kit::test::tap(dismissed->closeButton()));
  EXPECT_FALSE(dismissed->superview());
  EXPECT_FALSE(dismissed->coverView()->superview());
  EXPECT_EQ(closed, 0);
}

TEST_F(LevelPopUp, ItemsThatAreNoArrayGiveNoTilesAndMoreThanFourRunOn) {
  for (const char* items : {R"({"name":"金币"})", "not json", "", "\"[]\""}) {
    auto popUp = show(items);
    EXPECT_TRUE(popUp->tiles().empty()) << items;
    popUp->dissMiss();
  }
  auto many = show(R"([{"name":"1"},{"name":"2"},{"name":"3"},{"name":"4"},{"name":"5"}])");
  ASSERT_EQ(many->tiles().size(), 5u);
  EXPECT_EQ(many->tiles()[4]->frame().minX(), 15 + 4 * 70);
}

// ---- With the channel core ---------------------------------------------------------------

class CoreLevelPopUp : public CoreTimedFixture {
 protected:
  void SetUp() override {
    CoreTimedFixture::SetUp();
    std::filesystem::copy(std::string(CHANNEL_RESOURCES_DIR) + "/NUVALight.bundle",
                          bundle.path() + "/NUVALight.bundle", std::filesystem::copy_options::recursive);
    // The store's level pop-up and hub.
    NUVAStoreViews::install(overlays);
    sim::GameMenuTimes times;
    times.levelList = {"10,20"};
    game.setMenu({"1", "8"}, times);
  }
};

TEST_F(CoreLevelPopUp, AnOfferShowsThePopUpAndGoOpensTheHubOnTheLevelTab) {
  game.setLevelOffer(game.sampleLevelOffer());
  logIn();
  core->nuva_superRoleUpdate(roleJSON({{"role_level", "15"}}));
  kit::Ref<NUVALevelPopView> popUp;
  ASSERT_TRUE(kit::test::runUntil([&] {
    for (const auto& view : window->subviews()) {
      if ((popUp = kit::as<NUVALevelPopView>(view))) return true;
    }
    return false;
  }));
  EXPECT_TRUE(overlays->levelPopUps().empty());  // the real pop-up, not a stand-in
  EXPECT_EQ(popUp->tiles().size(), 3u);
  EXPECT_EQ(kit::describe(popUp->adPic()), game.adPictureURL());

  ASSERT_TRUE(kit::test::tap(popUp->goButton()));
  EXPECT_EQ(kit::describe(core->shop_type()), "1");
  EXPECT_FALSE(popUp->superview());
  kit::Ref<NUVAGMShopHub> hub;
  ASSERT_TRUE(kit::test::runUntil([&] {
    for (const auto& view : window->subviews()) {
      if ((hub = kit::as<NUVAGMShopHub>(view))) return true;
    }
    return false;
  }));
  EXPECT_EQ(kit::describe(hub->shop_type()), "1");
  EXPECT_FALSE(hub->levelStoreView()->isHidden());
  hub->closeClick();
  drainMain();
}

}  // namespace
