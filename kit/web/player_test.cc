// The player stand-in on a virtual clock: an item loads its duration from
// a loopback server, playback time moves with the clock, periodic
// observers tick at whole intervals and when playback starts or stops, the
// end stops the player and is announced, and failures are reported.

#include <gtest/gtest.h>

#include <vector>

#include "kit/foundation/notification_center.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/device_profile.h"
#include "kit/web/player.h"
#include "kit/web/testing/web_test_support.h"

namespace {

using kit::MediaTime;
using kit::test::TestResponse;
using kit::test::TestServer;

class PlayerTest : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    server = TestServer::startHTTP();
    TestResponse video = TestResponse::text(std::string(64, 'v'));
    video.contentType = "video/mp4";
    video.headers.set("X-Content-Duration", "20");
    server->route("GET", "/trial.mp4", video);
  }
  void TearDown() override {
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    server.reset();
    VirtualClockTest::TearDown();
  }
  kit::Ref<kit::URL> url(const std::string& path) { return kit::URL::URLWithString(server->url(path)); }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  std::unique_ptr<TestServer> server;
};

TEST_F(PlayerTest, PlaybackTicksEverySecondAndStopsAtTheEnd) {
  auto player = kit::Player::make(url("/trial.mp4"));
  std::vector<double> ticks;
  auto token = player->addPeriodicTimeObserver(MediaTime::make(1, 1),
                                               [&](MediaTime now) { ticks.push_back(now.seconds()); });
  int ends = 0;
  auto center = kit::NotificationCenter::defaultCenter();
  auto observer = center->addObserverForName(kit::PlayerItemDidPlayToEndTimeNotification, player->currentItem(),
                                             [&](const kit::Ref<kit::Notification>&) { ++ends; });
  // Asked to play before the item is ready, the player waits.
  player->play();
  EXPECT_EQ(player->timeControlStatus(), kit::PlayerTimeControlStatus::WaitingToPlayAtSpecifiedRate);
  EXPECT_TRUE(std::isnan(player->currentItem()->duration().seconds()));
  ASSERT_TRUE(kit::test::runUntil([&] { return player->status() == kit::PlayerStatus::ReadyToPlay; }));
  EXPECT_EQ(player->currentItem()->duration().seconds(), 20);
  EXPECT_EQ(player->timeControlStatus(), kit::PlayerTimeControlStatus::Playing);
  EXPECT_EQ(ticks, std::vector<double>{0}) << "playback starts";

  advance(5);
  EXPECT_EQ(player->currentTime().seconds(), 5);
  EXPECT_EQ(ticks, (std::vector<double>{0, 1, 2, 3, 4, 5}));
  player->pause();
  advance(3);
  EXPECT_EQ(player->currentTime().seconds(), 5);
  EXPECT_EQ(ticks.size(), 7u) << "stopping ticks once";
  player->play();
  advance(20);
  EXPECT_EQ(player->currentTime().seconds(), 20);
  EXPECT_EQ(player->rate(), 0);
  EXPECT_EQ(ends, 1);
  // 0..5, the pause at 5, the restart at 5, 6..19, and the end at 20 once.
  EXPECT_EQ(ticks.size(), 7u + 1 + 14 + 1);
  EXPECT_EQ(ticks.back(), 20);
  EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 20.0), 1);
  player->removeTimeObserver(token);
  center->removeObserver(observer);
}

TEST_F(PlayerTest, ItemsThatCannotLoadFail) {
  server->route("GET", "/gone.mp4", TestResponse::withStatus(404));
  auto missing = kit::Player::make(url("/gone.mp4"));
  ASSERT_TRUE(kit::test::runUntil([&] { return missing->status() != kit::PlayerStatus::Unknown; }));
  EXPECT_EQ(missing->status(), kit::PlayerStatus::Failed);
  ASSERT_TRUE(missing->currentItem()->error());
  EXPECT_EQ(missing->currentItem()->error()->domain(), kit::MediaErrorDomain);

  auto refused = kit::Player::make(kit::URL::URLWithString(kit::test::closedPortURL("/v.mp4")));
  std::vector<long> statuses;
  auto observer = std::make_shared<kit::Object>();
  refused->currentItem()->addObserver(observer, "status",
                                      [&](const kit::KeyValueChange& c) { statuses.push_back(c.newValue<long>()); });
  ASSERT_TRUE(kit::test::runUntil([&] { return refused->status() != kit::PlayerStatus::Unknown; }));
  EXPECT_EQ(statuses, std::vector<long>{static_cast<long>(kit::PlayerItemStatus::Failed)});
  EXPECT_EQ(refused->currentItem()->error()->code(), kit::URLErrorCannotConnectToHost);
  // Playing a failed item goes nowhere.
  refused->play();
  advance(3);
  EXPECT_EQ(refused->currentTime().seconds(), 0);
}

TEST_F(PlayerTest, AControllerShowsTimeAndSeeksMove) {
  auto item = kit::PlayerItem::withDuration(url("/known.mp4"), MediaTime::make(30, 1));
  auto player = kit::Player::withPlayerItem(item);
  auto controller = kit::PlayerViewController::make();
  controller->setPlayer(player);
  controller->setVideoGravity(kit::LayerVideoGravityResizeAspect);
  controller->loadViewIfNeeded();
  controller->view()->layoutIfNeeded();
  advance(0);
  ASSERT_EQ(item->status(), kit::PlayerItemStatus::ReadyToPlay);
  EXPECT_EQ(controller->timeLabel()->text(), "00:00 / 00:30");
  player->play();
  advance(5);
  EXPECT_EQ(controller->timeLabel()->text(), "00:05 / 00:30");
  player->seekToTime(MediaTime::make(25, 1));
  EXPECT_EQ(controller->timeLabel()->text(), "00:25 / 00:30");
  advance(10);
  EXPECT_EQ(player->currentTime().seconds(), 30);
  controller->setShowsPlaybackControls(false);
  EXPECT_TRUE(controller->timeLabel()->isHidden());

  auto session = kit::AudioSession::sharedInstance();
  EXPECT_TRUE(session->setCategory(kit::AudioSessionCategoryPlayback));
  EXPECT_EQ(session->category(), kit::AudioSessionCategoryPlayback);
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(session->setCategory("nonsense", &error));
  EXPECT_TRUE(error);

  // Nothing of the player outlives its owners.
  kit::Weak<kit::Player> weakPlayer = player;
  kit::Weak<kit::PlayerViewController> weakController = controller;
  controller.reset();
  player.reset();
  item.reset();
  EXPECT_TRUE(weakPlayer.expired());
  EXPECT_TRUE(weakController.expired());
}

}  // namespace
