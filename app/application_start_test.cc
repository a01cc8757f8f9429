// The client's own launch, startApplication() as the main job calls it (no
// core or pause of a test's own): before the launch it sets up what the
// program sets up, the main storyboard's screens, the channel core's store
// and hall overlays and the platform SDK, and it returns with the game
// page's screen in the main window. It runs in a process of its own: the
// program's launch fills the process's shared core, registries and ports
// for good.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/application_main.h"
#include "channel/core/nuva_store_overlays.h"
#include "channel/testing/test_bundle.h"
#include "config/client_configuration.h"
#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "kit/testing/own_process.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/view.h"
#include "kit/ui/window.h"
#include "sim/simulator.h"

namespace {

// Moves kit's clock on in small steps while the launch holds the main
// thread for its pause, until the launch has returned. A step that falls
// on work of the main run loop waits for the loop: the main thread runs it
// while the mover ends.
class LaunchPausePasser {
 public:
  explicit LaunchPausePasser(kit::VirtualClock& clock)
      : mover_([this, &clock] {
          std::unique_lock lock(mutex_);
          while (!changed_.wait_for(lock, kStepPace, [this] { return returned_; })) {
            lock.unlock();
            clock.advance(kStep);
            lock.lock();
          }
          ended_ = true;
          kit::RunLoop::main().wakeUp();
        }) {}
  ~LaunchPausePasser() {
    {
      std::lock_guard lock(mutex_);
      returned_ = true;
    }
    changed_.notify_all();
    while (!ended_.load()) kit::RunLoop::main().runOnceWithRealTimeout(kit::DefaultRunLoopMode, kStepPace);
    mover_.join();
  }

 private:
  static constexpr double kStep = 0.1;
  static constexpr auto kStepPace = std::chrono::milliseconds(2);
  std::mutex mutex_;
  std::condition_variable changed_;
  bool returned_ = false;
  std::atomic<bool> ended_{false};
  std::thread mover_;
};

TEST(ProgramLaunch, InstallsTheStoreAndHallOverlaysAndShowsTheGamePage) {
  if (!kit::test::inOwnProcess()) return;
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::VirtualClock clock;
  sim::Simulator simulator;
  simulator.channel().setPackage("com.example.starfleet");
  ClientConfiguration::shared().setOverrides(simulator.configuration());
  // The bundle names the program's main storyboard, as the shipped one does.
  TestBundle bundle;
  kit::writePropertyListToFile(kit::dict({{"CFBundleIdentifier", "com.example.starfleet"},
                                          {"CFBundleName", "星河远征"},
                                          {"UIMainStoryboardFile", kClientMainStoryboard}}),
                               bundle.path() + "/Info.plist");
  kit::Bundle::setMainBundlePath(bundle.path());
  ASSERT_FALSE(NUVAStoreOverlays::installed());

  ClientApplication app;
  {
    LaunchPausePasser pause(clock);
    app = startApplication();
  }
  ASSERT_TRUE(app.delegate);
  ASSERT_TRUE(app.controller()) << "the main window shows the game page's screen";
  EXPECT_EQ(app.controller()->view()->window(), app.delegate->window());

  // The store's views, handing the hall's on to the hall's.
  auto overlays = NUVAStoreOverlays::installed();
  ASSERT_TRUE(overlays) << "the launch installed no overlays: the store and the hall would only log";
  for (auto form : {NUVAOverlayForm::Landscape, NUVAOverlayForm::Portrait}) {
    EXPECT_TRUE(std::dynamic_pointer_cast<kit::View>(overlays->makeGMShopView(form)));
    EXPECT_TRUE(std::dynamic_pointer_cast<kit::View>(overlays->makeResourceHallView(form)));
  }
  EXPECT_TRUE(std::dynamic_pointer_cast<kit::View>(overlays->makeLevelPopView()));
  EXPECT_TRUE(std::dynamic_pointer_cast<kit::View>(overlays->makeNotOpenView()));

  app = {};
  kit::Application::shared()->reset();
  ClientConfiguration::shared().setOverrides(nullptr);
}

}  // namespace
