// The application main: the delegate made by class name, the main interface
// from the bundle's Info.plist, and a SIGTERM that takes the terminate path
// and ends the loop, after which the application's windows and views are
// taken down, also for one that came before anything caught it; an
// unknown delegate class ends it at once; the system's memory pressure
// reaches the delegate while the loop runs.
#include "kit/ui/application_main.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/eventfd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "kit/dispatch/queue.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/runtime.h"
#include "kit/testing/temp_directory.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/memory_pressure_monitor.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace kit {
namespace {

std::vector<std::string> delegateEvents;
// What the application showed when it was told it terminates.
struct Shown {
  Weak<Window> keyWindow;
  Ref<ViewController> keyRoot;
  bool delegatesWindowIsKey = false;
};
Shown shownAtTermination;

class MainTestDelegate : public Object, public ApplicationDelegate {
  KIT_OBJECT(MainTestDelegate)

 public:
  bool didFinishLaunching(Application&, const Ref<Dictionary>&) override {
    delegateEvents.push_back("launch");
    return true;
  }
  void willTerminate(Application& application) override {
    delegateEvents.push_back("terminate");
    auto key = application.keyWindow();
    shownAtTermination = {key, key ? key->rootViewController() : nullptr, key && window_ == key};
  }
  void didReceiveMemoryWarning(Application&) override {
    delegateEvents.push_back("memory warning");
    std::raise(SIGTERM);
  }
  Ref<Window> window() const override { return window_; }
  void setWindow(Ref<Window> w) override { window_ = std::move(w); }

 private:
  Ref<Window> window_;
};

KIT_DEFINE_CLASS_NAMED(MainTestDelegate, Object, "KitMainTestDelegate") {}

class ApplicationMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application::shared()->reset();
    delegateEvents.clear();
    shownAtTermination = {};
    std::ofstream(bundle.file("Info.plist"))
        << R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)"
           R"(<key>UIMainStoryboardFile</key><string>KitMainTest</string></dict></plist>)";
    Bundle::setMainBundlePath(bundle.path());
    SceneRegistry::shared().registerController("KitMainTest", "Root", [this] {
      root = make<ViewController>();
      return root;
    });
    SceneRegistry::shared().setInitialController("KitMainTest", "Root");
    // The machine's own memory pressure stays out of these tests: the
    // system's files are looked for in a folder that has none.
    savedSystemFiles = MemoryPressureMonitor::defaultSystemFiles();
    MemoryPressureMonitor::SystemFiles none;
    none.cgroup = system.file("cgroup");
    none.mountInfo = system.file("mountinfo");
    none.pressure = system.file("pressure");
    MemoryPressureMonitor::setDefaultSystemFiles(none);
  }
  void TearDown() override {
    SceneRegistry::shared().removeStoryboard("KitMainTest");
    Bundle::setMainBundlePath("");
    Application::shared()->reset();
    MemoryPressureMonitor::setDefaultSystemFiles(savedSystemFiles);
  }

  DeviceProfileScope profile{DeviceProfile::phone375x667()};
  test::TempDirectory bundle{"kit-app-main"};
  test::TempDirectory system{"kit-app-main-system"};
  MemoryPressureMonitor::SystemFiles savedSystemFiles;
  Ref<ViewController> root;
};

TEST_F(ApplicationMainTest, LaunchesByNameAndATermSignalEndsItThroughTheTerminatePath) {
  // Sent once the loop runs, as the system would.
  Queue::main().async([] { std::raise(SIGTERM); });
  EXPECT_EQ(ApplicationMain(0, nullptr, "KitMainTestDelegate"), 0);

  EXPECT_EQ(delegateEvents, (std::vector<std::string>{"launch", "terminate"}));
  auto app = Application::shared();
  ASSERT_TRUE(root);
  EXPECT_EQ(shownAtTermination.keyRoot, root);
  EXPECT_TRUE(shownAtTermination.delegatesWindowIsKey);
  // Before it returns, the main took down what the application showed:
  // the main window went with the delegate, the root's view is on no window.
  EXPECT_FALSE(app->delegate());
  EXPECT_FALSE(app->keyWindow());
  EXPECT_TRUE(app->windows().empty());
  EXPECT_TRUE(shownAtTermination.keyWindow.expired());
  EXPECT_FALSE(root->view()->window());
  shownAtTermination = {};
  const auto& posted = app->postedNotifications();
  EXPECT_NE(std::find(posted.begin(), posted.end(), ApplicationWillTerminateNotification), posted.end());

  // The signal is the system's again once the loop has returned.
  struct sigaction now {};
  sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST_F(ApplicationMainTest, ATermSignalHeldBackBeforeTheMainTakesTheTerminatePath) {
  // As in a program's first instant: the signal comes before anything
  // catches it.
  ApplicationHoldTerminationSignals();
  std::raise(SIGTERM);
  EXPECT_EQ(ApplicationMain(0, nullptr, "KitMainTestDelegate"), 0);
  EXPECT_EQ(delegateEvents, (std::vector<std::string>{"launch", "terminate"}));

  // Held no longer: the main thread hears the signals again.
  sigset_t now;
  pthread_sigmask(SIG_SETMASK, nullptr, &now);
  EXPECT_FALSE(sigismember(&now, SIGTERM));
  EXPECT_FALSE(sigismember(&now, SIGINT));
}

TEST_F(ApplicationMainTest, TheSystemsMemoryPressureReachesTheDelegateWhileTheLoopRuns) {
  // A memory cgroup (v1) whose pressure-level registration the test reads
  // back; the test then plays the kernel and signals the eventfd.
  std::ofstream(system.file("cgroup")) << "4:memory:/app\n";
  std::ofstream(system.file("mountinfo")) << "35 31 0:32 / " << system.file("memory") << " rw - cgroup cgroup rw,memory\n";
  std::filesystem::create_directories(system.file("memory/app"));
  std::ofstream(system.file("memory/app/memory.pressure_level"));
  std::ofstream(system.file("memory/app/cgroup.event_control"));
  Queue::main().async([this] {
    std::ifstream registration(system.file("memory/app/cgroup.event_control"));
    int event = -1;
    registration >> event;
    if (event >= 0) ::eventfd_write(event, 1);
  });
  // Should no warning come, the loop still ends (and the test fails).
  auto ended = std::make_shared<bool>(false);
  Queue::main().after(20.0, [ended] {
    if (!*ended) std::raise(SIGTERM);
  });
  EXPECT_EQ(ApplicationMain(0, nullptr, "KitMainTestDelegate"), 0);
  *ended = true;
  EXPECT_EQ(delegateEvents, (std::vector<std::string>{"launch", "memory warning", "terminate"}));
}

TEST_F(ApplicationMainTest, AnUnknownDelegateClassEndsAtOnce) {
  EXPECT_EQ(ApplicationMain(0, nullptr, "NoSuchDelegateClass"), 1);
  EXPECT_FALSE(ApplicationLaunch(0, nullptr, "KitMainTestDelegate2"));
  EXPECT_TRUE(delegateEvents.empty());
  EXPECT_FALSE(Application::shared()->keyWindow());
}

}  // namespace
}  // namespace kit
