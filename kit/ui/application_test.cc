// The application: delegate events fired by tests, URLs, windows in level
// order and the key window, background tasks, device profiles, the screen
// and the device alive to the program's end; layout constraints solving the
// forms screens use.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

#include "kit/foundation/format.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/uuid.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/label.h"
#include "kit/ui/layout_constraint.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/screen.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace kit {
namespace {

struct RecordingDelegate : ApplicationDelegate {
  std::vector<std::string> log;
  bool launched(Application&) { return true; }
  bool didFinishLaunching(Application&, const Ref<Dictionary>&) override {
    log.push_back("launch");
    return true;
  }
  std::optional<bool> openURL(Application&, const std::string& url, const std::string& source, const Id&) override {
    log.push_back("open:" + url + " from " + source);
    return url.starts_with("game");
  }
  void willResignActive(Application&) override { log.push_back("resign"); }
  void didEnterBackground(Application&) override { log.push_back("background"); }
  void willEnterForeground(Application&) override { log.push_back("foreground"); }
  void didBecomeActive(Application&) override { log.push_back("active"); }
  void willTerminate(Application&) override { log.push_back("terminate"); }
  void didReceiveMemoryWarning(Application&) override { log.push_back("memory"); }
  Ref<Window> window() const override { return window_; }
  void setWindow(Ref<Window> w) override { window_ = std::move(w); }
  Ref<Window> window_;
};

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { Application::shared()->reset(); }
  void TearDown() override { Application::shared()->reset(); }
  DeviceProfileScope profile{DeviceProfile::phone375x667()};
};

TEST_F(ApplicationTest, EventsReachTheDelegateInThePlatformsOrder) {
  auto app = Application::shared();
  auto delegate = std::make_shared<RecordingDelegate>();
  app->setDelegate(delegate);
  auto screen = ViewController::make();
  app->setMainInterface([screen] { return screen; });
  EXPECT_TRUE(app->launch());
  ASSERT_TRUE(delegate->window());
  EXPECT_EQ(app->keyWindow(), delegate->window());
  EXPECT_EQ(delegate->window()->rootViewController(), screen);
  EXPECT_TRUE(screen->isAppeared());
  app->enterBackground();
  app->enterForeground();
  app->receiveMemoryWarning();
  app->terminate();
  EXPECT_EQ(delegate->log, (std::vector<std::string>{"launch", "active", "resign", "background", "foreground",
                                                     "active", "memory", "terminate"}));
  EXPECT_EQ(app->applicationState(), ApplicationState::Active);
  // Only the URL form the delegate implements is called.
  EXPECT_TRUE(app->openURLFromOutside("game123://pay?x=1", "com.pay.wallet"));
  EXPECT_FALSE(app->openURLFromOutside("other://x"));
  EXPECT_EQ(delegate->log.back(), "open:other://x from ");
  const auto& posted = app->postedNotifications();
  EXPECT_NE(std::find(posted.begin(), posted.end(), ApplicationDidEnterBackgroundNotification), posted.end());
}

TEST_F(ApplicationTest, OpeningURLsUsesTheInstalledSchemes) {
  auto app = Application::shared();
  EXPECT_TRUE(app->canOpenURL("https://example.test/a"));
  EXPECT_FALSE(app->canOpenURL("weixin://pay"));
  EXPECT_FALSE(app->canOpenURL("no scheme"));
  EXPECT_FALSE(app->openURL("weixin://pay", true));
  app->addInstalledScheme("weixin");
  EXPECT_TRUE(app->openURL("WeiXin://pay", true));
  EXPECT_EQ(app->openedURLs(), std::vector<std::string>{"WeiXin://pay"});
}

TEST_F(ApplicationTest, AnInstalledApplicationReceivesItsSchemesURLsAfterTheOpenersCompletion) {
  auto app = Application::shared();
  std::vector<std::string> events;
  app->installApplication("WalletPay", [&](const std::string& url) { events.push_back("wallet:" + url); });
  EXPECT_TRUE(app->canOpenURL("walletpay://pay?order=1"));
  app->openURL("WALLETPAY://pay?order=1", nullptr, [&](bool ok) { events.push_back(ok ? "opened" : "refused"); });
  EXPECT_TRUE(app->openURL("walletpay://pay?order=2", true));
  app->openURL("other://x", nullptr, [&](bool ok) { events.push_back(ok ? "opened" : "refused"); });
  EXPECT_TRUE(events.empty()) << "nothing is handed over during the call";
  ASSERT_TRUE(test::runUntil([&] { return events.size() == 4; }));
  EXPECT_EQ(events, (std::vector<std::string>{"opened", "wallet:WALLETPAY://pay?order=1", "wallet:walletpay://pay?order=2",
                                              "refused"}));
  EXPECT_EQ(app->openedURLs().size(), 2u);

  // Uninstalled, the scheme is gone with it; reset forgets it too.
  app->installApplication("walletpay", nullptr);
  EXPECT_FALSE(app->canOpenURL("walletpay://pay"));
  app->installApplication("walletpay", [&](const std::string& url) { events.push_back(url); });
  app->reset();
  EXPECT_FALSE(app->openURL("walletpay://pay", true));
}

TEST_F(ApplicationTest, URLsNoInstalledApplicationTakesGoToTheOutsideHandler) {
  auto app = Application::shared();
  std::vector<std::string> events;
  app->installApplication("walletpay", [&](const std::string& url) { events.push_back("wallet:" + url); });
  app->setOutsideURLHandler([&](const std::string& url) { events.push_back("outside:" + url); });
  app->openURL("https://example.com/help", nullptr, [&](bool ok) { events.push_back(ok ? "opened" : "refused"); });
  EXPECT_TRUE(app->openURL("walletpay://pay?order=3", true));
  EXPECT_FALSE(app->openURL("unknown://x", true));
  EXPECT_TRUE(events.empty()) << "nothing is handed over during the call";
  ASSERT_TRUE(test::runUntil([&] { return events.size() == 3; }));
  EXPECT_EQ(events, (std::vector<std::string>{"opened", "outside:https://example.com/help",
                                              "wallet:walletpay://pay?order=3"}));
  // reset forgets the handler.
  app->reset();
  app->openURL("https://example.com/again", true);
  EXPECT_TRUE(test::drain(Queue::main()));
  EXPECT_EQ(events.size(), 3u);
}

TEST_F(ApplicationTest, WindowsAreListedByLevelAndTheKeyRolePasses) {
  auto app = Application::shared();
  auto game = Window::make();
  game->makeKeyAndVisible();
  auto ball = Window::make(Rect{315, 100, 60, 60});
  ball->setWindowLevel(WindowLevelAlert * 2);
  ball->setHidden(false);
  auto login = Window::make();
  login->makeKeyAndVisible();
  EXPECT_EQ(app->windows(), (std::vector<Ref<Window>>{game, login, ball}));
  EXPECT_EQ(app->keyWindow(), login);
  EXPECT_TRUE(login->isKeyWindow());
  login->setHidden(true);
  EXPECT_EQ(app->keyWindow(), game);
  EXPECT_EQ(app->windows(), (std::vector<Ref<Window>>{game, ball}));
  ball.reset();  // the application does not keep windows alive
  EXPECT_EQ(app->windows(), std::vector<Ref<Window>>{game});
}

TEST_F(ApplicationTest, EventsArePostedOnTheNotificationCenter) {
  auto app = Application::shared();
  auto observer = kit::make<Object>();
  std::vector<std::string> seen;
  std::string keyboardFrame;
  NotificationCenter::defaultCenter()->addObserver(
      observer, [&](const Ref<Notification>& n) {
        seen.push_back(n->name());
        EXPECT_EQ(n->object(), Id(app));
        if (n->name() == KeyboardWillShowNotification) keyboardFrame = describe(Id(n->userInfo())[KeyboardFrameEndUserInfoKey]);
      },
      "");
  app->becomeActive();
  app->enterBackground();
  app->showKeyboard({0, 451, 375, 216});
  NotificationCenter::defaultCenter()->removeObserver(observer);
  EXPECT_EQ(seen, (std::vector<std::string>{ApplicationDidBecomeActiveNotification,
                                            ApplicationWillResignActiveNotification,
                                            ApplicationDidEnterBackgroundNotification, KeyboardWillShowNotification,
                                            KeyboardDidShowNotification}));
  EXPECT_EQ(keyboardFrame, "{{0, 451}, {375, 216}}");
}

TEST_F(ApplicationTest, BackgroundTasksAndOrientation) {
  auto app = Application::shared();
  int expired = 0;
  auto task = app->beginBackgroundTask([&] { ++expired; });
  EXPECT_NE(task, InvalidBackgroundTask);
  app->expireBackgroundTasks();
  EXPECT_EQ(expired, 1);
  app->endBackgroundTask(task);
  EXPECT_EQ(app->backgroundTaskCount(), 0u);
  EXPECT_EQ(app->statusBarOrientation(), InterfaceOrientation::Portrait);
  app->setStatusBarOrientation(InterfaceOrientation::LandscapeRight);
  EXPECT_TRUE(isLandscape(app->statusBarOrientation()));
  EXPECT_EQ(app->postedNotifications().back(), ApplicationDidChangeStatusBarOrientationNotification);

  // Code below the interface layer gets its background time from the
  // application, from any thread.
  ASSERT_TRUE(hasBackgroundTaskHandler());
  BackgroundTaskId fromWorker = InvalidBackgroundTaskId;
  std::thread worker([&] { fromWorker = kit::beginBackgroundTask([] {}); });
  worker.join();
  EXPECT_NE(fromWorker, InvalidBackgroundTaskId);
  EXPECT_EQ(app->backgroundTaskCount(), 1u);
  kit::endBackgroundTask(fromWorker);
  EXPECT_EQ(app->backgroundTaskCount(), 0u);
}

TEST_F(ApplicationTest, DeviceProfilesSetScreenAndDevice) {
  {
    DeviceProfileScope landscape(DeviceProfile::notched812x375());
    EXPECT_EQ(Screen::main()->bounds(), (Rect{0, 0, 812, 375}));
    EXPECT_EQ(Screen::main()->scale(), 3);
    EXPECT_EQ(Application::shared()->statusBarOrientation(), InterfaceOrientation::LandscapeRight);
    EXPECT_TRUE(DeviceProfile::current().hasNotch());
    // Code below the screens sees the same device.
    EXPECT_EQ(DeviceDescription::current().scale, 3);
    EXPECT_EQ(DeviceDescription::current().machine, "iPhone10,3");
  }
  EXPECT_EQ(DeviceDescription::current().machine, "iPhone10,1");
  EXPECT_EQ(Screen::main()->bounds(), (Rect{0, 0, 375, 667}));
  EXPECT_EQ(Device::current()->systemVersionNumber(), 12.4);
  EXPECT_EQ(Device::current()->model(), "iPhone");
  // A window covering the screen follows a change of profile.
  auto window = Window::make();
  window->setHidden(false);
  DeviceProfileScope wide(DeviceProfile::phone667x375());
  EXPECT_EQ(window->frame(), (Rect{0, 0, 667, 375}));
}

TEST_F(ApplicationTest, AdvertisingIdentifierComesFromTheProfileOrIsKeptAcrossRestarts) {
  kit::test::TempDirectory dir;
  UserDefaults::setStandardPath(dir.file("defaults.plist"));
  const std::string made = Device::current()->advertisingIdentifier()->UUIDString();
  ASSERT_TRUE(UUID::fromString(made));
  EXPECT_EQ(made, UUID::fromString(made)->UUIDString()) << "upper-case";
  UserDefaults::resetStandardUserDefaults();  // what a restart reads: the file
  EXPECT_EQ(Device::current()->advertisingIdentifier()->UUIDString(), made);
  {
    DeviceProfile named = DeviceProfile::phone375x667();
    named.advertisingIdentifier = "6d1c6f32-0b7e-4c1a-9f25-3a1b2c3d4e5f";
    DeviceProfileScope scope(named);
    EXPECT_EQ(Device::current()->advertisingIdentifier()->UUIDString(), "6D1C6F32-0B7E-4C1A-9F25-3A1B2C3D4E5F");
  }
  // A stored value that is not a UUID is replaced, once, by a new one.
  UserDefaults::standardUserDefaults()->setObject(String::make("not a uuid"), DeviceDescription::kAdvertisingIdentifierKey);
  const std::string replaced = DeviceDescription::advertisingIdentifierInForce();
  EXPECT_NE(replaced, made);
  EXPECT_EQ(DeviceDescription::advertisingIdentifierInForce(), replaced);
  UserDefaults::setStandardPath("");
}

TEST_F(ApplicationTest, PasteboardKeepsStrings) {
  auto board = Pasteboard::general();
  const long before = board->changeCount();
  board->setString("兑换码 ABC");
  EXPECT_EQ(board->string(), "兑换码 ABC");
  EXPECT_EQ(board->changeCount(), before + 1);
  EXPECT_EQ(Pasteboard::general(), board);
  board->setStrings({});
  EXPECT_FALSE(board->string());
}

TEST_F(ApplicationTest, APasteboardTellsItsObserverOfEachChangeOnTheThreadThatMadeIt) {
  auto board = Pasteboard::named("observed");
  std::vector<std::vector<std::string>> told;
  std::vector<std::thread::id> threads;
  std::vector<std::optional<std::string>> held;
  board->setChangeObserver([&](const std::vector<std::string>& strings) {
    told.push_back(strings);
    threads.push_back(std::this_thread::get_id());
    held.push_back(board->string());  // the pasteboard holds them already
  });
  board->setString("兑换码 ABC");
  std::thread::id other;
  std::thread([&] {
    other = std::this_thread::get_id();
    board->setStrings({"a", "b"});
  }).join();
  board->setStrings({});
  Pasteboard::general()->setString("general");  // another pasteboard
  EXPECT_EQ(told, (std::vector<std::vector<std::string>>{{"兑换码 ABC"}, {"a", "b"}, {}}));
  EXPECT_EQ(threads, (std::vector<std::thread::id>{std::this_thread::get_id(), other, std::this_thread::get_id()}));
  EXPECT_EQ(held, (std::vector<std::optional<std::string>>{"兑换码 ABC", "a", std::nullopt}));

  // Nil stops the telling.
  board->setChangeObserver(nullptr);
  board->setString("later");
  EXPECT_EQ(told.size(), 3u);
  EXPECT_EQ(board->string(), "later");
}

// A view that says when it goes, into a list the test reads.
struct GoingView : View {
  GoingView(std::string name, std::vector<std::string>& gone) : View(Rect{0, 0, 10, 10}), name(std::move(name)), gone(gone) {}
  ~GoingView() override { gone.push_back(name); }
  std::string name;
  std::vector<std::string>& gone;
};

struct GoingController : ViewController {
  GoingController(std::string name, std::vector<std::string>& gone) : name(std::move(name)), gone(gone) {}
  void loadView() override { setView(kit::make<GoingView>(name, gone)); }
  std::string name;
  std::vector<std::string>& gone;
};

// Taken down before the process ends, what the application shows goes in
// one order: the front-most window first, each window's views from the top
// down and its root controller's view last, the main window after every
// other; a window's owner keeps the emptied window, and nothing is left
// shown, key or delegated.
TEST_F(ApplicationTest, TearingDownTakesTheWindowsFromTheFrontAndTheirViewsFromTheTop) {
  std::vector<std::string> gone;
  auto app = Application::shared();
  auto delegate = kit::make<RecordingDelegate>();
  app->setDelegate(delegate);
  app->setMainInterface([&gone] { return kit::make<GoingController>("main root", gone); });
  app->launch();
  delegate.reset();
  ASSERT_TRUE(app->delegate() && app->delegate()->window());
  app->delegate()->window()->addSubview(kit::make<GoingView>("main overlay", gone));

  // Made in an order that is neither their levels' nor the teardown's.
  auto alert = Window::make();
  alert->setWindowLevel(WindowLevelAlert);
  alert->setRootViewController(kit::make<GoingController>("alert root", gone));
  alert->addSubview(kit::make<GoingView>("alert lower", gone));
  alert->addSubview(kit::make<GoingView>("alert upper", gone));
  alert->setHidden(false);
  auto ball = Window::make();
  ball->setRootViewController(kit::make<GoingController>("ball root", gone));
  ball->addSubview(kit::make<GoingView>("ball overlay", gone));
  ball->makeKeyAndVisible();
  ASSERT_TRUE(gone.empty());

  app->tearDown();
  EXPECT_EQ(gone, (std::vector<std::string>{"alert upper", "alert lower", "alert root", "ball overlay", "ball root",
                                            "main overlay", "main root"}));
  EXPECT_TRUE(alert->subviews().empty());
  EXPECT_TRUE(alert->isHidden());
  EXPECT_FALSE(alert->rootViewController());
  EXPECT_TRUE(ball->isHidden());
  EXPECT_TRUE(app->windows().empty());
  EXPECT_FALSE(app->keyWindow());
  EXPECT_FALSE(app->delegate());
}

// Threads still reading the screen and the device while the program ends
// (an image decoding asks for the screen's scale) find both alive: the
// program ends cleanly instead of touching a freed owner. The check runs in
// a fresh process, where a handler registered before the first reading
// runs after the static owners' destructors would have: it lets the
// readers read on, stops them, and then finds the screen and the device
// still owned. An owner destroyed at exit leaves them unowned, whether or
// not a reader happened to touch the freed owner meanwhile.
TEST(ScreenLifetimeDeathTest, TheScreenAndTheDeviceOutliveTheProgramsEnd) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        struct Readers {
          std::atomic<long> reads{0};
          std::atomic<bool> stop{false};
          std::atomic<int> stopped{0};
          Weak<Screen> screen;
          Weak<Device> device;
        };
        static Readers* readers = new Readers();  // outlives every exit handler
        std::atexit([] {
          const long before = readers->reads.load();
          while (readers->reads.load() < before + 1000) std::this_thread::yield();
          readers->stop = true;
          while (readers->stopped.load() < 2) std::this_thread::yield();
          if (readers->screen.expired() || readers->device.expired()) {
            std::fputs("the screen or the device lost its owner at exit\n", stderr);
            std::_Exit(1);
          }
        });
        readers->screen = Screen::main();
        readers->device = Device::current();
        for (int i = 0; i < 2; ++i) {
          std::thread([] {
            while (!readers->stop) {
              Ref<Screen> screen = Screen::main();
              Ref<Device> device = Device::current();
              if (screen && device) ++readers->reads;
            }
            ++readers->stopped;
          }).detach();
        }
        while (readers->reads.load() < 100) std::this_thread::yield();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(LayoutConstraintTest, CentresEdgesWithMarginsAndFixedSizes) {
  auto parent = View::make(Rect{0, 0, 400, 300});
  auto card = View::make();
  card->setTranslatesAutoresizingMaskIntoConstraints(false);
  parent->addSubview(card);
  using A = LayoutAttribute;
  using R = LayoutRelation;
  parent->addConstraints({LayoutConstraint::make(card, A::CenterX, R::Equal, parent, A::CenterX),
                          LayoutConstraint::make(card, A::CenterY, R::Equal, parent, A::CenterY),
                          LayoutConstraint::make(card, A::Width, R::Equal, 200),
                          LayoutConstraint::make(card, A::Height, R::Equal, parent, A::Height, 0.5, 0)});
  parent->layoutIfNeeded();
  EXPECT_EQ(card->frame(), (Rect{100, 75, 200, 150}));

  auto bar = View::make();
  bar->setTranslatesAutoresizingMaskIntoConstraints(false);
  parent->addSubview(bar);
  auto height = LayoutConstraint::make(bar, A::Height, R::Equal, 49);
  parent->addConstraints({LayoutConstraint::make(bar, A::Leading, R::Equal, parent, A::Leading, 1, 15),
                          LayoutConstraint::make(bar, A::Trailing, R::Equal, parent, A::Trailing, 1, -15),
                          LayoutConstraint::make(bar, A::Bottom, R::Equal, parent, A::Bottom), height});
  parent->layoutIfNeeded();
  EXPECT_EQ(bar->frame(), (Rect{15, 251, 370, 49}));
  height->setConstant(83);
  parent->layoutIfNeeded();
  EXPECT_EQ(bar->frame(), (Rect{15, 217, 370, 83}));
  // A chain: the label sits below the bar's top, at its natural size.
  auto label = Label::make();
  label->setText("知道了");
  label->setTranslatesAutoresizingMaskIntoConstraints(false);
  parent->addSubview(label);
  parent->addConstraints({LayoutConstraint::make(label, A::Bottom, R::Equal, bar, A::Top, 1, -4),
                          LayoutConstraint::make(label, A::CenterX, R::Equal, bar, A::CenterX)});
  parent->layoutIfNeeded();
  const Size natural = label->intrinsicContentSize();
  EXPECT_EQ(label->frame().size, natural);
  EXPECT_EQ(label->frame().maxY(), 213);
  EXPECT_EQ(label->frame().midX(), 200);
}

TEST(LayoutConstraintTest, PrioritiesAndInequalities) {
  auto parent = View::make(Rect{0, 0, 300, 200});
  auto bezel = View::make();
  bezel->setTranslatesAutoresizingMaskIntoConstraints(false);
  parent->addSubview(bezel);
  using A = LayoutAttribute;
  using R = LayoutRelation;
  auto wide = LayoutConstraint::make(bezel, A::Width, R::Equal, 500);
  wide->setPriority(500);
  auto margin = LayoutConstraint::make(bezel, A::Leading, R::GreaterThanOrEqual, parent, A::Leading, 1, 20);
  auto marginRight = LayoutConstraint::make(bezel, A::Trailing, R::LessThanOrEqual, parent, A::Trailing, 1, -20);
  auto centre = LayoutConstraint::make(bezel, A::CenterX, R::Equal, parent, A::CenterX);
  centre->setPriority(998);
  parent->addConstraints({wide, margin, marginRight, centre,
                          LayoutConstraint::make(bezel, A::Top, R::Equal, parent, A::Top, 1, 10),
                          LayoutConstraint::make(bezel, A::Height, R::Equal, 50)});
  parent->layoutIfNeeded();
  EXPECT_EQ(bezel->frame(), (Rect{20, 10, 260, 50})) << "the required margins beat the wanted width";
  wide->setConstant(100);
  parent->layoutIfNeeded();
  EXPECT_EQ(bezel->frame(), (Rect{100, 10, 100, 50}));
  // Safe-area guides.
  DeviceProfileScope notched(DeviceProfile::notched812x375());
  auto window = Window::make();
  auto content = View::make();
  content->setTranslatesAutoresizingMaskIntoConstraints(false);
  window->addSubview(content);
  const Ref<LayoutGuide>& safe = window->safeAreaLayoutGuide();
  window->addConstraints({LayoutConstraint::make(content, A::Leading, R::Equal, safe, A::Leading),
                          LayoutConstraint::make(content, A::Trailing, R::Equal, safe, A::Trailing),
                          LayoutConstraint::make(content, A::Top, R::Equal, safe, A::Top),
                          LayoutConstraint::make(content, A::Bottom, R::Equal, safe, A::Bottom)});
  window->layoutIfNeeded();
  EXPECT_EQ(content->frame(), (Rect{44, 0, 724, 354}));
}

}  // namespace
}  // namespace kit
