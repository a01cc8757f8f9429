// The video reward pop-up as the role meets it after the trial video: the
// panel of each form with its tiles in their three places, and both
// controls claiming the reward, running the close block and leaving.

#include <gtest/gtest.h>

#include "channel/store/nuva_vedio_gift_view.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/ui/ui_test_driver.h"

namespace {

kit::Ref<kit::Array> items(int count) {
  auto list = kit::MutableArray::make();
  for (int i = 1; i <= count; ++i) {
    list->addObject(kit::dict({{"mid", std::to_string(i)}, {"name", "道具" + std::to_string(i)}, {"amount", "5"}}));
  }
  return list;
}

class VideoReward : public StoreFixture {
 protected:
  explicit VideoReward(kit::DeviceProfile device = kit::DeviceProfile::phone375x667()) : StoreFixture(device) {}

  kit::Ref<NUVAVedioGiftView> show(int count, std::function<void()> block = nullptr) {
    auto reward = NUVAVedioGiftView::init();
    reward->setDicArray(items(count));
    reward->setUserInfo(userInfo());
    if (block) reward->setCloseBlock(std::move(block));
    reward->show();
    window->layoutIfNeeded();
    return reward;
  }
};

class LandscapeVideoReward : public VideoReward {
 protected:
  LandscapeVideoReward() : VideoReward(kit::DeviceProfile::phone667x375()) {}
};

TEST_F(VideoReward, ThePortraitPanelPlacesThreeTilesWithABorder) {
  auto reward = show(5);
  EXPECT_EQ(reward->frame(), (kit::Rect{22.5, 163.5, 330, 340}));
  EXPECT_EQ(reward->coverView()->frame(), window->bounds());
  EXPECT_EQ(reward->titleLabel()->text(), "恭喜获得");
  EXPECT_EQ(reward->getBtn()->frame(), (kit::Rect{110, 285, 110, 35}));
  EXPECT_EQ(reward->closeIcon()->frame(), (kit::Rect{270, 20, 40, 40}));
  ASSERT_EQ(reward->tiles().size(), 5u);
  EXPECT_EQ(reward->tiles()[0]->frame(), (kit::Rect{35, 100, 85, 85}));
  EXPECT_EQ(reward->tiles()[1]->frame(), (kit::Rect{125, 100, 85, 85}));
  EXPECT_EQ(reward->tiles()[2]->frame(), (kit::Rect{215, 100, 85, 85}));
  // The fourth and fifth have no place.
  EXPECT_EQ(reward->tiles()[3]->frame(), kit::Rect{});
  EXPECT_EQ(reward->tiles()[4]->frame(), kit::Rect{});
  EXPECT_EQ(reward->tiles()[0]->layer()->borderWidth(), 2);
  EXPECT_EQ(kit::describe(reward->tiles()[2]->model()->name()), "道具3");
  picture("video_reward_portrait");
}

TEST_F(LandscapeVideoReward, TheLandscapePanelHasItsOwnPlacesAndNoItemsGiveNoTiles) {
  auto reward = show(3);
  EXPECT_EQ(reward->frame(), (kit::Rect{46, 32.5, 575, 310}));
  EXPECT_EQ(reward->getBtn()->frame(), (kit::Rect{232.5, 255, 110, 35}));
  EXPECT_EQ(reward->closeIcon()->frame(), (kit::Rect{515, 20, 40, 40}));
  ASSERT_EQ(reward->tiles().size(), 3u);
  EXPECT_EQ(reward->tiles()[0]->frame().minX(), 137.5);
  EXPECT_EQ(reward->tiles()[1]->frame().minX(), 247.5);
  EXPECT_EQ(reward->tiles()[2]->frame().minX(), 357.5);
  picture("video_reward_landscape");

  auto empty = show(0);
  EXPECT_TRUE(empty->tiles().empty());
  EXPECT_TRUE(empty->getBtn()->superview());
  ASSERT_TRUE(kit::test::tap(empty->getBtn()));
  ASSERT_TRUE(waitForRequests("freevideogift/get", 1));  // still claimed
}

TEST_F(VideoReward, BothControlsClaimRunTheBlockAndLeave) {
  for (bool useClose : {false, true}) {
    int runs = 0;
    kit::Ref<NUVAVedioGiftView> reward;
    bool shownDuringBlock = false;
    reward = show(2, [&] {
      ++runs;
      shownDuringBlock = reward->superview() != nullptr;
    });
    auto cover = reward->coverView();
    const size_t before = game.requestsTo("freevideogift/get").size();
    ASSERT_TRUE(kit::test::tap(useClose ? reward->closeIcon() : reward->getBtn()));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(shownDuringBlock);
    EXPECT_FALSE(reward->superview());
    EXPECT_FALSE(cover->superview());
    ASSERT_TRUE(waitForRequests("freevideogift/get", before + 1));
    const auto claim = game.requestsTo("freevideogift/get").back();
    EXPECT_EQ(claim.method, "GET");
    EXPECT_EQ(claim.query, "game_id=1001&platform_id=256&role_id=r1&server_id=3");
  }
}

TEST_F(VideoReward, DismissingNeitherClaimsNorRunsTheBlock) {
  int runs = 0;
  auto reward = show(1, [&] { ++runs; });
  reward->dissMiss();
  drainMain();
  EXPECT_FALSE(reward->superview());
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(game.requestsTo("freevideogift/get").empty());
}

TEST_F(VideoReward, ARoleThatCannotBeReadSendsNullValues) {
  auto reward = NUVAVedioGiftView::init();
  reward->setUserInfo(kit::str("not json"));
  reward->show();
  reward->closeClick();
  ASSERT_TRUE(waitForRequests("freevideogift/get", 1));
  EXPECT_EQ(game.requestsTo("freevideogift/get")[0].query,
            "game_id=(null)&platform_id=(null)&role_id=(null)&server_id=(null)");
}

}  // namespace
