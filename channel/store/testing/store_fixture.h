// A gtest fixture for the store's views: a screen of the test's choosing, a
// test bundle (game id 1001) holding the channel's artwork, the simulated
// channel game server on 127.0.0.1 with the client configured to reach it,
// a key window, a virtual clock for countdowns and delays (the network
// stays real), and records of the HUD texts and of the order notifications.
// Header-only: included by the store's tests alone.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "channel/core/nuva_store_overlays.h"
#include "channel/testing/fixture_settling.h"
#include "channel/testing/test_bundle.h"
#include "config/client_configuration.h"
#include "kit/dispatch/clock.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"
#include "sim/channel_game_server.h"
#include "ui/widgets/nuva_progress_hud.h"

class StoreFixture : public ::testing::Test {
 protected:
  explicit StoreFixture(kit::DeviceProfile device = kit::DeviceProfile::phone667x375()) : profile_(device) {}

  void SetUp() override {
    // The level rows' tests wait for their countdowns in the shared
    // registry: it starts empty, whatever ran before.
    cancelAllCountdowns();
    clock = std::make_unique<kit::VirtualClock>();
    kit::Application::shared()->reset();
    std::filesystem::copy(std::string(CHANNEL_RESOURCES_DIR) + "/NUVALight.bundle",
                          bundle->path() + "/NUVALight.bundle", std::filesystem::copy_options::recursive);
    ClientConfiguration::shared().setOverrides(
        kit::dict({{ClientConfiguration::kChannelGameServer, game.baseURL()},
                   {ClientConfiguration::kChannelVideoBase, game.baseURL()},
                   {ClientConfiguration::kChannelActivityHost, game.activityBaseURL()}}));
    window = kit::Window::make();
    window->setRootViewController(kit::make<kit::ViewController>());
    window->makeKeyAndVisible();
    auto center = kit::NotificationCenter::defaultCenter();
    tokens.push_back(center->addObserverForName(
        NUVAProgressHUDWillAppearNotification, nullptr, [this](const kit::Ref<kit::Notification>& n) {
          std::lock_guard lock(mutex);
          hudTexts.push_back(n->userInfo() ? kit::describe((*n->userInfo())[NUVAProgressHUDStatusUserInfoKey]) : "");
        }));
    for (const char* name : {NUVAGIFTPAYNotification, NUVALEVELPAYNotification}) {
      // Orders are announced from the session's queue, not the main one.
      tokens.push_back(center->addObserverForName(name, nullptr, [this, name](const kit::Ref<kit::Notification>& n) {
        std::lock_guard lock(mutex);
        orders.push_back({name, n->object(), n->userInfo()});
      }));
    }
  }

  void TearDown() override {
    // The views go first, then what is in flight ends while the server
    // stands and its work runs out: an answer that lands now finds no tab
    // to fill and starts no countdown, so the countdowns cancelled below are
    // the last of this test's, and its HUDs show before the observers go
    // (they go even when that wait gives up: they write into this fixture).
    window = nullptr;
    settleSharedSession();
    NUVAProgressHUD::dismiss();
    EXPECT_TRUE(kit::test::settleMain());
    for (const auto& token : tokens) kit::NotificationCenter::defaultCenter()->removeObserver(token);
    cancelAllCountdowns();
    ClientConfiguration::shared().setOverrides(nullptr);
    kit::Application::shared()->reset();
    clock.reset();
  }

  // The role description the core would write: super_user_id "99",
  // game_id "1001", service_id "3", super_role_id "r1", channel_id "256",
  // role_level "15".
  static kit::Ref<kit::String> userInfo() {
    return kit::str(R"({
  "super_user_id" : "99",
  "super_role_id" : "r1",
  "super_token" : "t0k3n99",
  "cp_role_id" : "10086",
  "game_id" : "1001",
  "service_id" : "3",
  "channel_id" : "256",
  "service_name" : "青龙",
  "role_name" : "凌霄",
  "role_level" : "15"
})");
  }

  // Moves time on: the main-queue work queued so far runs first, then what
  // the time released; countdowns tick on a global queue and step on the
  // main queue, so both are drained.
  void advance(double seconds) {
    drainMain();
    clock->advance(seconds);
    ASSERT_TRUE(kit::test::drain(kit::Queue::global()));
    drainMain();
  }
  void drainMain() { ASSERT_TRUE(kit::test::drain(kit::Queue::main())); }

  // Waits for `count` requests to a route and for the server to have chosen
  // their answers (a reply queued or a fault set after this is for the next
  // request), then runs the main queue's work.
  bool waitForRequests(const std::string& route, size_t count) {
    bool arrived = kit::test::runUntil(
        [&] { return game.requestsTo(route).size() >= count && game.answersTo(route) >= count; });
    drainMain();
    return arrived;
  }
  struct Order {
    std::string name;
    kit::Id object;
    kit::Ref<kit::Dictionary> userInfo;
  };
  std::vector<Order> ordersSoFar() {
    std::lock_guard lock(mutex);
    return orders;
  }
  std::vector<std::string> hudSoFar() {
    std::lock_guard lock(mutex);
    return hudTexts;
  }
  bool waitForOrders(size_t count) {
    return kit::test::runUntil([&] { return ordersSoFar().size() >= count; });
  }
  bool waitForHUD(size_t count) {
    return kit::test::runUntil([&] { return hudSoFar().size() >= count; });
  }

  // Keeps a picture of the window under the build's artifacts folder.
  void picture(const std::string& name) {
    std::filesystem::create_directories(KIT_UI_ARTIFACT_DIR);
    std::string error;
    EXPECT_TRUE(kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/" + name + ".png", 0, &error)) << error;
  }

  kit::DeviceProfileScope profile_;
  std::unique_ptr<kit::VirtualClock> clock;
  std::unique_ptr<TestBundle> bundle = std::make_unique<TestBundle>();
  sim::ChannelGameServer game;
  kit::Ref<kit::Window> window;
  std::vector<kit::Id> tokens;
  std::mutex mutex;
  std::vector<std::string> hudTexts;
  std::vector<Order> orders;
};
