// The free-video pop-up on a virtual clock, with the player stand-in
// reading the trial video's duration from the simulated server: the card,
// the countdown pill during playback and after a short video's end, the
// reward pop-up once the required time is reached, the close roads, the
// playback layout on notched phones in both orientations and the download
// link.

#include <gtest/gtest.h>

#include "channel/store/nuva_free_vedio_view.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/ui/ui_test_driver.h"

namespace {

class FreeVideo : public StoreFixture {
 protected:
  explicit FreeVideo(kit::DeviceProfile device = kit::DeviceProfile::phone375x667()) : StoreFixture(device) {}

  kit::Ref<kit::Dictionary> offer(const std::string& videoTime, const std::string& videoURL = "") {
    return kit::dict({{"is_get", "0"},
                      {"items", R"([{"mid":"1","name":"金币","amount":"100"},{"mid":"2","name":"钻石","amount":"5"}])"},
                      {"video_time", videoTime},
                      {"video_url", videoURL.empty() ? game.videoURL() : videoURL},
                      {"down_link", "https://example.com/download"},
                      {"game_name", "星河远征"},
                      {"game_desc", "太空策略手游"},
                      {"game_icon", game.itemIconURL(1)},
                      {"video_pic", game.itemIconURL(2)}});
  }

  kit::Ref<NUVAFreeVedioView> show(const kit::Ref<kit::Dictionary>& record) {
    auto video = NUVAFreeVedioView::init();
    video->setPlayerDic(record);
    video->setUserInfo(userInfo());
    video->setCloseBlock([this] { ++closeBlocks; });
    video->show();
    window->layoutIfNeeded();
    return video;
  }
  // Plays, and waits until the player knows the video's duration.
  void play(const kit::Ref<NUVAFreeVedioView>& video) {
    ASSERT_TRUE(kit::test::tap(video->playIcon()));
    ASSERT_TRUE(video->player());
    ASSERT_TRUE(kit::test::runUntil(
        [&] { return video->player()->currentItem()->status() == kit::PlayerItemStatus::ReadyToPlay; }));
    drainMain();
  }
  std::vector<kit::Ref<NUVAVedioGiftView>> rewards() {
    return kit::test::findViewsOfType<NUVAVedioGiftView>(*window);
  }

  int closeBlocks = 0;
};

class NotchedFreeVideo : public FreeVideo {
 protected:
  NotchedFreeVideo() : FreeVideo(kit::DeviceProfile::notched375x812()) {}
};

TEST_F(FreeVideo, TheCardShowsTheGameAndItsPictures) {
  auto video = show(offer("30"));
  EXPECT_EQ(video->frame(), (kit::Rect{22.5, 46, 330, 575}));
  EXPECT_EQ(video->topbg()->frame(), (kit::Rect{0, 0, 330, 405}));
  EXPECT_EQ(video->playIcon()->frame(), (kit::Rect{126, 163.5, 78, 78}));
  EXPECT_EQ(video->icon()->frame(), (kit::Rect{135, 375, 60, 60}));
  EXPECT_EQ(video->name()->frame(), (kit::Rect{0, 445, 330, 25}));
  EXPECT_EQ(video->desc()->frame(), (kit::Rect{0, 480, 330, 25}));
  EXPECT_EQ(video->closeBtn()->frame(), (kit::Rect{110, 525, 110, 40}));
  EXPECT_EQ(video->name()->text(), "星河远征");
  EXPECT_EQ(video->desc()->text(), "太空策略手游");
  EXPECT_EQ(video->dicArray()->count(), 2u);
  ASSERT_TRUE(kit::test::runUntil([&] { return video->icon()->image() && video->topbg()->image(); }));
  // The cover takes no taps.
  ASSERT_TRUE(kit::test::tapAt(*window, {5, 5}));
  EXPECT_EQ(video->superview(), window);
  picture("free_video_card");
}

TEST_F(FreeVideo, AShortVideoIsCountedOnAfterItsEndAndTheRewardComesOnce) {
  game.setVideoDuration(20);
  auto video = show(offer("30"));
  play(video);
  EXPECT_EQ(video->secondsLabel()->text(), "30s |");
  for (int second = 1; second <= 20; ++second) {
    advance(1);
    EXPECT_EQ(video->secondsLabel()->text(), std::to_string(30 - second) + "s |") << second;
  }
  EXPECT_TRUE(rewards().empty());
  // After the end the rest is counted down: 10 ... 1, then the reward.
  std::vector<std::string> shown{video->secondsLabel()->text()};
  for (int second = 1; second < 10; ++second) {
    advance(1);
    shown.push_back(video->secondsLabel()->text());
    EXPECT_TRUE(rewards().empty()) << second;
  }
  EXPECT_EQ(shown.front(), "10s |");
  EXPECT_EQ(shown.back(), "1s |");
  advance(1);
  ASSERT_EQ(rewards().size(), 1u);
  EXPECT_TRUE(video->popGift());
  EXPECT_FALSE(video->closeView()->superview());
  EXPECT_FALSE(video->playerController()->view()->superview());
  EXPECT_EQ(video->playView()->superview(), window);  // the bar stays
  EXPECT_EQ(rewards()[0]->tiles().size(), 2u);
  // A second finish shows nothing more.
  video->vedioFinishAct();
  advance(15);
  EXPECT_EQ(rewards().size(), 1u);
  picture("free_video_reward");
}

TEST_F(FreeVideo, ARequirementShorterThanTheVideoPausesAtTheFirstCheckPastIt) {
  game.setVideoDuration(20);
  auto video = show(offer("5"));
  play(video);
  advance(4);
  EXPECT_TRUE(rewards().empty());
  EXPECT_EQ(video->secondsLabel()->text(), "1s |");
  advance(1);
  ASSERT_EQ(rewards().size(), 1u);
  EXPECT_EQ(video->player()->rate(), 0);
  EXPECT_EQ(video->player()->currentTime().seconds(), 5);
}

TEST_F(FreeVideo, TheRewardClosesTheVideoAfterItsCloseBlockAndBeforeItsOwnViewsGo) {
  game.setVideoDuration(20);
  auto video = show(offer("2"));
  std::vector<std::string> steps;
  kit::Ref<NUVAVedioGiftView> reward;
  video->setCloseBlock([&] {
    steps.push_back(std::string("block, video ") + (video->superview() ? "up" : "gone") + ", reward " +
                    (reward->superview() ? "up" : "gone"));
  });
  play(video);
  advance(2);
  ASSERT_EQ(rewards().size(), 1u);
  reward = rewards()[0];
  ASSERT_TRUE(kit::test::tap(reward->getBtn()));
  EXPECT_EQ(steps, std::vector<std::string>{"block, video up, reward up"});
  EXPECT_FALSE(video->superview());
  EXPECT_FALSE(video->coverView()->superview());
  EXPECT_FALSE(video->playView()->superview());
  EXPECT_FALSE(reward->superview());
  EXPECT_FALSE(video->popGift());
  ASSERT_TRUE(waitForRequests("freevideogift/get", 1));
}

TEST_F(FreeVideo, ThePillClosesEverythingDuringPlaybackAndDuringTheCount) {
  game.setVideoDuration(3);
  for (double playFor : {1.0, 5.0}) {
    auto video = show(offer("10"));
    play(video);
    advance(playFor);
    ASSERT_TRUE(kit::test::tap(video->closeIcon()));
    EXPECT_TRUE(video->isTornDown());
    EXPECT_FALSE(video->superview());
    EXPECT_FALSE(video->coverView()->superview());
    EXPECT_FALSE(video->closeView()->superview());
    EXPECT_FALSE(video->playView()->superview());
    EXPECT_FALSE(video->playerController()->view()->superview());
    EXPECT_FALSE(NUVACountdown::shareInstance()->isHasRunTimer(video->countdownKey()));
    advance(20);
    EXPECT_TRUE(rewards().empty()) << playFor;
    video->vedioFinishAct();  // late: nothing
    EXPECT_TRUE(rewards().empty());
  }
  EXPECT_EQ(closeBlocks, 0);
  EXPECT_TRUE(game.requestsTo("freevideogift/get").empty());
}

TEST_F(NotchedFreeVideo, PlaybackFillsTheWindowAboveTheBarAndThePill) {
  game.setVideoDuration(20);
  auto video = show(offer("30"));
  play(video);
  EXPECT_EQ(kit::AudioSession::sharedInstance()->category(), kit::AudioSessionCategoryPlayback);
  EXPECT_EQ(video->playerController()->view()->frame(), (kit::Rect{0, 0, 375, 700}));
  EXPECT_EQ(video->playerController()->view()->superview(), window);
  EXPECT_FALSE(video->playerController()->showsPlaybackControls());
  EXPECT_EQ(video->playView()->frame(), (kit::Rect{0, 700, 375, 80}));
  EXPECT_EQ(video->icon()->superview(), video->playView());
  EXPECT_EQ(video->icon()->frame(), (kit::Rect{10, 10, 60, 60}));
  EXPECT_EQ(video->name()->frame(), (kit::Rect{80, 10, 295, 25}));
  EXPECT_EQ(video->closeBtn()->frame(), (kit::Rect{265, 20, 100, 40}));
  EXPECT_EQ(video->desc()->frame(), (kit::Rect{80, 35, 185, 45}));
  EXPECT_EQ(video->closeView()->frame(), (kit::Rect{255, 45, 90, 30}));
  window->layoutIfNeeded();
  picture("free_video_playing");

  // "点击试玩" opens the link in every state and changes nothing else.
  kit::Application::shared()->clearOpenedURLs();
  ASSERT_TRUE(kit::test::tap(video->closeBtn()));
  advance(1);
  EXPECT_EQ(video->secondsLabel()->text(), "29s |");
  video->vedioFinishAct();
  video->playClick();  // under the reward pop-up's cover
  EXPECT_EQ(kit::Application::shared()->openedURLs(),
            (std::vector<std::string>{"https://example.com/download", "https://example.com/download"}));
  EXPECT_EQ(video->superview(), window);
  EXPECT_EQ(rewards().size(), 1u);
}

class NotchedLandscapeFreeVideo : public FreeVideo {
 protected:
  NotchedLandscapeFreeVideo() : FreeVideo(kit::DeviceProfile::notched812x375()) {}
};

TEST_F(NotchedLandscapeFreeVideo, PlaybackKeepsNoInsetInLandscape) {
  game.setVideoDuration(20);
  auto video = show(offer("30"));
  play(video);
  EXPECT_EQ(video->playerController()->view()->frame(), (kit::Rect{0, 0, 812, 295}));
  EXPECT_EQ(video->playView()->frame(), (kit::Rect{0, 295, 812, 80}));
}

TEST_F(FreeVideo, AddressesAreEscapedOnlyWithCJKAndUnsafeLinksStayClosed) {
  EXPECT_EQ(kit::describe(NUVAFreeVedioView::playableAddress(kit::str("http://v.example/a b/预告.mp4?x=1#t"))),
            "http://v.example/a%20b/%E9%A2%84%E5%91%8A.mp4?x=1#t");
  EXPECT_EQ(kit::describe(NUVAFreeVedioView::playableAddress(kit::str("http://v.example/a%20b/x.mp4?q=[1]"))),
            "http://v.example/a%20b/x.mp4?q=[1]");

  kit::Application::shared()->clearOpenedURLs();
  for (const char* link : {"TolmixWalletPayScheme1001://safepay?x=1", "not a link", ""}) {
    auto record = offer("30");
    auto changed = kit::MutableDictionary::make();
    changed->addEntriesFromDictionary(*record);
    changed->setObject(kit::str(link), std::string_view("down_link"));
    auto video = show(changed);
    ASSERT_TRUE(kit::test::tap(video->closeBtn()));
    video->dissMiss();
  }
  drainMain();
  EXPECT_TRUE(kit::Application::shared()->openedURLs().empty());
}

TEST_F(FreeVideo, AnAddressThatFormsNoURLShowsTheBarAndThePillAndClosesWithIt) {
  auto video = show(offer("30", "http://[broken"));
  ASSERT_TRUE(kit::test::tap(video->playIcon()));
  EXPECT_FALSE(video->player());
  EXPECT_EQ(video->playView()->superview(), window);
  EXPECT_EQ(video->closeView()->superview(), window);
  EXPECT_EQ(video->secondsLabel()->text(), "30s |");
  advance(40);
  EXPECT_TRUE(rewards().empty());
  ASSERT_TRUE(kit::test::tap(video->closeIcon()));
  EXPECT_FALSE(video->superview());
  EXPECT_FALSE(video->playView()->superview());
}

}  // namespace
