// A gtest fixture for the channel core's road to the channel servers: a test
// bundle (game id 1001), the simulated channel SDK server and game server on
// 127.0.0.1 with the client configured to reach them, user defaults in the
// test's own file, the scriptable platform facade, recording stand-ins for
// the store overlays, a key window for the status HUD and the overlays, and
// a fresh core with a recording listener, launched. CoreTimedFixture adds a
// virtual clock for the core's countdowns and delayed steps (the network
// stays real). Header-only: included by tests alone.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "channel/core/jhl_core_entity.h"
#include "channel/testing/fixture_settling.h"
#include "channel/testing/recording_core_listener.h"
#include "channel/testing/recording_store_overlays.h"
#include "channel/testing/scripted_tolmix_sdk.h"
#include "channel/testing/test_bundle.h"
#include "config/client_configuration.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/json_serialization.h"
#include "kit/dispatch/clock.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "kit/net/url_session.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"
#include "sim/channel_game_server.h"
#include "sim/channel_sdk_server.h"
#include "ui/widgets/nuva_progress_hud.h"

class CoreRoadFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::Application::shared()->reset();
    window = kit::Window::make();
    window->setRootViewController(kit::make<kit::ViewController>());
    window->makeKeyAndVisible();
    server.setPackage("com.example.starfleet");
    game.setTokenCheck([this](const std::string& user, const std::string& token) {
      return server.isTokenOf(user, token);
    });
    ClientConfiguration::shared().setOverrides(kit::dict({{ClientConfiguration::kChannelSDKServer, server.baseURL()},
                                                          {ClientConfiguration::kChannelGameServer, game.baseURL()}}));
    kit::UserDefaults::setStandardPath(bundle.path() + "/defaults.plist");
    hudToken = kit::NotificationCenter::defaultCenter()->addObserverForName(
        NUVAProgressHUDWillAppearNotification, nullptr, [this](const kit::Ref<kit::Notification>& n) {
          hudTexts.push_back(n->userInfo() ? kit::describe((*n->userInfo())[NUVAProgressHUDStatusUserInfoKey]) : "");
        });
    core->nuva_setStartLoginListener(listener);
    core->didFinishLaunching(*kit::Application::shared(), nullptr);
  }

  void TearDown() override {
    settleSharedSession();
    cancelAllCountdowns();
    NUVAStoreOverlays::install(nullptr);
    kit::UserDefaults::setStandardPath("");
    kit::NotificationCenter::defaultCenter()->removeObserver(hudToken);
    NUVAProgressHUD::dismiss();
    ClientConfiguration::shared().setOverrides(nullptr);
    TolmixSDKFacade::install(nullptr);
    libNUVALightChannel::sharedInstance()->setDelegate(nullptr);
    window = nullptr;
    kit::Application::shared()->reset();
  }

  // Runs the main loop until `count` listener calls have come in.
  bool waitForCalls(size_t count) {
    return kit::test::runUntil([&] { return listener->count() >= count; });
  }
  // Runs the main loop until the HUD has shown `count` texts.
  bool waitForHUD(size_t count) {
    return kit::test::runUntil([&] { return hudTexts.size() >= count; });
  }
  // Whether the HUD has shown `text`.
  bool hudShown(const std::string& text) const {
    return std::find(hudTexts.begin(), hudTexts.end(), text) != hudTexts.end();
  }
  // Runs the main-queue work queued so far. Every step the core takes after
  // a reply or a platform result is one main-queue task, so a test that
  // waited for its signal with runUntil needs this only before checking
  // that nothing more came of it.
  void drainMain() { ASSERT_TRUE(kit::test::drain(kit::Queue::main())); }

  // Logs in through the facade and the channel server; the listener's
  // login call is then the last one.
  void logIn() {
    size_t before = listener->callsNamed("login").size();
    core->nuva_lightLoginStart();
    ASSERT_TRUE(kit::test::runUntil([&] { return listener->callsNamed("login").size() > before; }));
  }

  static kit::Ref<kit::String> json(const kit::Id& object) {
    return kit::str(kit::JSONSerialization::dataWithJSONObject(object)->toString());
  }

  // A role report as the page host builds it.
  kit::Ref<kit::String> roleJSON(std::initializer_list<std::pair<kit::Value, kit::Value>> changes = {}) {
    auto role = kit::mutableDict({{"super_user_id", core->super_user_id()},
                                  {"service_id", "3"},
                                  {"service_name", "青龙"},
                                  {"role_id", "10086"},
                                  {"role_name", "凌霄"},
                                  {"role_level", "12"},
                                  {"power_value", "3500"},
                                  {"describe", ""},
                                  {"money", "金币"},
                                  {"experience", ""}});
    for (const auto& [key, value] : changes) {
      if (value.id()) {
        role->setObject(value.id(), key.id());
      } else {
        role->removeObjectForKey(key.id());
      }
    }
    return json(role);
  }

  // Reports the default role and waits until the platform and the
  // listener have it.
  void reportRole() {
    size_t before = facade->roleReports().size();
    size_t heard = listener->callsNamed("role").size();
    core->nuva_superRoleUpdate(roleJSON());
    ASSERT_TRUE(kit::test::runUntil([&] {
      return facade->roleReports().size() > before && listener->callsNamed("role").size() > heard;
    }));
  }

  // An order as the page host builds it.
  kit::Ref<kit::String> orderJSON(std::initializer_list<std::pair<kit::Value, kit::Value>> changes = {}) {
    auto order = kit::mutableDict({{"good_id", "60"},
                                   {"good_name", "月 卡"},
                                   {"game_order_sn", "G-0001"},
                                   {"role_level", "12"},
                                   {"super_user_id", core->super_user_id()},
                                   {"money", "6.00"},
                                   {"service_id", "3"},
                                   {"service_name", "青龙"},
                                   {"role_id", "10086"},
                                   {"role_name", "凌霄"},
                                   {"remark", "首充"}});
    for (const auto& [key, value] : changes) {
      if (value.id()) {
        order->setObject(value.id(), key.id());
      } else {
        order->removeObjectForKey(key.id());
      }
    }
    return json(order);
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  TestBundle bundle;
  sim::ChannelSDKServer server;
  sim::ChannelGameServer game;
  std::shared_ptr<ScriptedTolmixSDK> facade = ScriptedTolmixSDK::install();
  std::shared_ptr<RecordingStoreOverlays> overlays = RecordingStoreOverlays::install();
  std::shared_ptr<RecordingCoreListener> listener = std::make_shared<RecordingCoreListener>();
  kit::Ref<JHLCoreEntity> core = kit::make<JHLCoreEntity>();
  kit::Ref<kit::Window> window;
  std::vector<std::string> hudTexts;
  kit::Id hudToken;
};

// The same road with the clock under the test's control: countdowns, delayed
// steps and time-outs move only when the test advances it. Wait for network
// answers (runUntil) before advancing, so that no request times out.
class CoreTimedFixture : public CoreRoadFixture {
 protected:
  void SetUp() override {
    clock = std::make_unique<kit::VirtualClock>();
    CoreRoadFixture::SetUp();
  }
  void TearDown() override {
    CoreRoadFixture::TearDown();
    clock.reset();
  }
  // Moves time on: the main-queue work queued so far runs first, then what
  // the time released. The core's countdowns tick on a global queue and
  // take each step on the main queue, so both are drained once.
  void advance(double seconds) {
    drainMain();
    clock->advance(seconds);
    ASSERT_TRUE(kit::test::drain(kit::Queue::global()));
    drainMain();
  }

  std::unique_ptr<kit::VirtualClock> clock;
};
