// The client in a desktop window, used through the display server as a
// person would: the launch notice's "知道了" clicked away, the game page's
// own button clicked (the page hears it and sends its message), a name
// typed into the client's text field (the prompt the page raises), and a
// screenshot of the window that equals kit's picture of that moment.
// Then the program itself: `gameclient --window`, closed by its window
// manager's close request or its window destroyed by another program,
// leaves through the application's terminate path with status 0 and leaves
// no process behind; its display lost while it starts, GTK still opening
// it or its window made, it ends with status 0 too. Skips itself without a display.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/application_main.h"
#include "channel/core/vanu_notice_view.h"
#include "channel/testing/scripted_tolmix_sdk.h"
#include "channel/testing/test_bundle.h"
#include "config/client_configuration.h"
#include "kit/desktop/desktop_window.h"
#include "kit/desktop/testing/private_display.h"
#include "kit/desktop/testing/window_waits.h"
#include "kit/desktop/testing/x_connection_breaker.h"
#include "kit/desktop/testing/x_screenshot.h"
#include "kit/desktop/testing/x_server.h"
#include "kit/desktop/testing/x_windows.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/testing/spawn_attributes.h"
#include "kit/testing/temp_directory.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/screen.h"
#include "kit/ui/window.h"
#include "kit/web/browser/testing/browser_test_support.h"
#include "sim/simulator.h"

// Last: X11's macros would rename kit's enumerators.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

extern char** environ;

namespace {

using kit::test::windowTitled;

// GTK opens the display of this program's first engine test and keeps it:
// every test here, the page bridge's too, runs on the private display.
const ::testing::Environment* const privateDisplay =
    ::testing::AddGlobalTestEnvironment(new kit::test::PrivateDisplayEnvironment);

// One pixel per point, so that the window fits the virtual screen.
kit::DeviceProfile flatPhone() {
  kit::DeviceProfile profile = kit::DeviceProfile::phone375x667();
  profile.scale = 1;
  return profile;
}

template <class T>
kit::Ref<T> findView(const kit::Ref<kit::View>& view) {
  if (!view || view->isHidden()) return nullptr;
  if (auto found = kit::as<T>(view)) return found;
  for (const auto& subview : view->subviews())
    if (auto found = findView<T>(subview)) return found;
  return nullptr;
}

template <class T>
kit::Ref<T> findShown() {
  for (const auto& window : kit::Application::shared()->windows())
    if (auto found = findView<T>(window)) return found;
  return nullptr;
}

// A point of a view, on the screen.
kit::Point onScreen(const kit::View& view, kit::Point inView) {
  const kit::Point inWindow = view.convertPointToView(inView, nullptr);
  auto window = view.window();
  const kit::Point origin = window ? window->frame().origin : kit::Point{};
  return {inWindow.x + origin.x, inWindow.y + origin.y};
}
kit::Point centreOf(const kit::View& view) {
  return onScreen(view, {view.bounds().origin.x + view.bounds().size.width / 2,
                         view.bounds().origin.y + view.bounds().size.height / 2});
}

class ClientWindow : public kit::test::BrowserEngineTest {
 protected:
  void SetUp() override {
    kit::test::usePrivateDisplay();  // clicks of other tests stay on their displays
    kit::test::BrowserEngineTest::SetUp();
    if (IsSkipped()) return;
    kit::Application::shared()->reset();
    simulator.channel().setPackage("com.example.starfleet");
    simulator.channel().setNotice("开服公告", "欢迎来到星河远征！");
    ClientConfiguration::shared().setOverrides(simulator.configuration());
    app = startApplication(core, 0);
    controller = app.controller();
    ASSERT_TRUE(controller);
    desktop = kit::DesktopWindow::open("client window test");
    ASSERT_TRUE(desktop);
    display = XOpenDisplay(desktop->displayName().c_str());
    ASSERT_TRUE(display);
    ::Window child;
    XTranslateCoordinates(display, desktop->xid(), DefaultRootWindow(display), 0, 0, &originX, &originY, &child);
    XSetInputFocus(display, desktop->xid(), RevertToParent, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(kit::test::runUntil([&] { return controller->pageFinished(); }, 30));
  }
  void TearDown() override {
    desktop.reset();
    controller = nullptr;
    app = {};
    kit::Application::shared()->reset();
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
    ClientConfiguration::shared().setOverrides(nullptr);
    TolmixSDKFacade::install(nullptr);
    libNUVALightChannel::sharedInstance()->setDelegate(nullptr);
    if (display) XCloseDisplay(display);
  }

  void click(kit::Point at) {
    XTestFakeMotionEvent(display, -1, originX + static_cast<int>(at.x), originY + static_cast<int>(at.y),
                         CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
  }
  void type(const std::string& letters) {
    for (char letter : letters) {
      const KeyCode code = XKeysymToKeycode(display, static_cast<KeySym>(letter));
      XTestFakeKeyEvent(display, code, True, CurrentTime);
      XTestFakeKeyEvent(display, code, False, CurrentTime);
    }
    XSync(display, False);
  }
  std::string page(const std::string& script) { return kit::test::evaluate(*controller->wkWebView(), script); }
  // The window's pixels as the X server shows them.
  kit::Ref<kit::Bitmap> screenshot() {
    const auto size = kit::Screen::main()->bounds().size;
    return kit::test::screenshot(display, desktop->xid(), static_cast<int>(size.width), static_cast<int>(size.height));
  }

  kit::DeviceProfileScope phone{flatPhone()};
  TestBundle bundle;
  sim::Simulator simulator;
  std::shared_ptr<ScriptedTolmixSDK> facade = ScriptedTolmixSDK::install();
  kit::Ref<JHLCoreEntity> core = kit::make<JHLCoreEntity>();
  ClientApplication app;
  kit::Ref<ViewController> controller;
  std::unique_ptr<kit::DesktopWindow> desktop;
  Display* display = nullptr;
  int originX = 0, originY = 0;
};

TEST_F(ClientWindow, ANoticeClickedAwayAPageButtonClickedANameTypedAndTheScreenAsKitDrawsIt) {
  kit::Ref<VANUNoticeView> notice;
  ASSERT_TRUE(kit::test::runUntil([&] { return (notice = findShown<VANUNoticeView>()) != nullptr; }, 30));
  ASSERT_EQ(notice->sureButton()->currentTitle(), "知道了");
  kit::test::runFrames(30);  // the card's entrance animation
  click(centreOf(*notice->sureButton()));
  ASSERT_TRUE(kit::test::runUntil([&] { return !notice->superview() && !notice->coverView(); }));
  EXPECT_FALSE(findShown<VANUNoticeView>());

  // The page's own start button: the page hears the click where kit's hit
  // testing finds the page, and sends its login message.
  ASSERT_TRUE(kit::test::runUntil([&] { return controller->splashView()->superview() == nullptr; }, 10));
  const std::string sent = page("gamePage.sent.length");
  const std::string centre = page(
      "(function () { var r = document.getElementById('start').getBoundingClientRect();"
      " return [r.left + r.width / 2, r.top + r.height / 2].join(','); })()");
  const size_t comma = centre.find(',');
  ASSERT_NE(comma, std::string::npos) << centre;
  const kit::Point inPage{std::stod(centre.substr(0, comma)), std::stod(centre.substr(comma + 1))};
  click(onScreen(*controller->wkWebView(), inPage));
  ASSERT_TRUE(kit::test::runUntil([&] { return page("gamePage.sent.length") != sent; }));

  // A name typed into the client's text field: the one of the prompt the
  // page raises.
  page("setTimeout(function () { window.typed = prompt('你的名字', ''); }, 0); 1");
  kit::Ref<kit::AlertController> alert;
  ASSERT_TRUE(kit::test::runUntil([&] {
    alert = kit::as<kit::AlertController>(controller->presentedViewController());
    return alert && !alert->textFields().empty() && alert->textFields().front()->window();
  }));
  auto field = alert->textFields().front();
  kit::test::runFrames(30);  // the alert's entrance animation
  click(centreOf(*field));
  ASSERT_TRUE(kit::test::runUntil([&] { return field->isFirstResponder(); }));
  type("lingxiao");
  ASSERT_TRUE(kit::test::runUntil([&] { return field->text() == "lingxiao"; })) << field->text();

  // What the display server shows is kit's picture of that moment.
  kit::test::runFrames(10);
  kit::Ref<kit::Bitmap> shot = screenshot();
  kit::Ref<kit::Bitmap> shown = desktop->lastFrame();
  ASSERT_TRUE(shot && shown);
  ASSERT_EQ(shot->width(), shown->width());
  ASSERT_EQ(shot->height(), shown->height());
  size_t differing = 0;
  for (size_t y = 0; y < shot->height(); ++y)
    for (size_t x = 0; x < shot->width(); ++x) {
      const kit::Pixel p = shot->pixelAt(x, y), q = shown->pixelAt(x, y);
      if (std::abs(p.r - q.r) > 6 || std::abs(p.g - q.g) > 6 || std::abs(p.b - q.b) > 6) ++differing;
    }
  EXPECT_LT(static_cast<double>(differing) / static_cast<double>(shot->width() * shot->height()), 0.01);
}

// ---- The program

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// `gameclient --window` on `display`, against the services file in `dir`,
// writing its output to `output`; killed if it is still running at the end.
class WindowProgram {
 public:
  WindowProgram(const kit::test::TempDirectory& dir, const std::string& display, const std::string& output) {
    std::vector<std::string> environment;
    for (char** e = environ; e && *e; ++e) {
      std::string entry(*e);
      if (entry.starts_with("GAMECLIENT_") || entry.starts_with("KIT_MAIN_BUNDLE=") ||
          entry.starts_with("KIT_USER_DEFAULTS_PATH=") || entry.starts_with("LSAN_OPTIONS=") ||
          entry.starts_with("DISPLAY="))
        continue;
      environment.push_back(entry);
    }
    environment.push_back(std::string("LSAN_OPTIONS=suppressions=") + LSAN_SUPPRESSIONS);
    environment.push_back("GAMECLIENT_SERVICES=" + dir.file("services.plist"));
    environment.push_back("KIT_USER_DEFAULTS_PATH=" + dir.file("defaults.plist"));
    environment.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    char* argv[] = {const_cast<char*>(GAMECLIENT_PROGRAM), const_cast<char*>("--window"), nullptr};
    const kit::test::SpawnAttributes attributes;
    if (posix_spawn(&pid_, GAMECLIENT_PROGRAM, &actions, attributes.get(), argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~WindowProgram() {
    if (pid_ > 0 && !ended()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Whether it has ended (collecting its status once it has).
  bool ended() {
    if (!ended_ && pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
    return ended_;
  }
  int status() const { return status_; }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = 0;
};

// Runs the program until its page has loaded, does `end` to its window,
// and checks that the program leaves through the application's terminate
// path with status 0 and leaves no process behind.
void expectTheProgramEndsAsAfterAClose(const std::function<void(Display*, ::Window)>& end) {
  kit::test::usePrivateDisplay();
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
  Display* display = XOpenDisplay(nullptr);
  if (!display) GTEST_SKIP() << "cannot open the display";
  sim::Simulator simulator;
  kit::test::TempDirectory dir("gameclient-window");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");
  WindowProgram program(dir, std::getenv("DISPLAY"), output);
  ASSERT_TRUE(program.started());

  const std::string pageURL = simulator.page().pageURL();
  ASSERT_TRUE(kit::test::runUntil(
      [&] { return program.ended() || readFile(output).find("game page loaded: " + pageURL) != std::string::npos; },
      60))
      << readFile(output);
  ASSERT_FALSE(program.ended()) << readFile(output);
  const std::vector<pid_t> helpers = kit::test::webKitProcesses(program.pid());
  EXPECT_FALSE(helpers.empty()) << "the page runs in WebKit's processes";
  ::Window window = 0;
  ASSERT_TRUE(kit::test::runUntil(
      [&] { return (window = windowTitled(display, DefaultRootWindow(display), "gameclient")) != 0; }));

  end(display, window);
  XCloseDisplay(display);

  ASSERT_TRUE(kit::test::runUntil([&] { return program.ended(); }, 30)) << readFile(output);
  ASSERT_TRUE(WIFEXITED(program.status())) << readFile(output);
  EXPECT_EQ(WEXITSTATUS(program.status()), 0) << readFile(output);
  EXPECT_NE(readFile(output).find("application: terminated"), std::string::npos) << readFile(output);
  EXPECT_TRUE(kit::test::runUntil([&] {
    for (pid_t helper : helpers)
      if (!kit::test::processHasExited(helper)) return false;
    return true;
  })) << "a WebKit process outlived the client";
}

TEST(ClientWindowProgram, ClosingTheWindowTerminatesTheProgramAndLeavesNoProcessBehind) {
  expectTheProgramEndsAsAfterAClose(kit::test::requestClose);
}

TEST(ClientWindowProgram, AWindowAnotherProgramDestroysEndsTheProgramAsAClosingDoes) {
  expectTheProgramEndsAsAfterAClose([](Display* display, ::Window window) {
    // What `xdotool windowclose` does.
    XDestroyWindow(display, window);
    XSync(display, False);
  });
}

// The display goes while the client starts (its window is made, its
// launch about to make the game page's web view): the client ends through
// the terminate path with status 0, not through an abort of the toolkit's.
TEST(ClientWindowProgram, LosingTheDisplayWhileTheClientStartsEndsItWithStatusZero) {
  kit::test::XServer server;
  if (!server.start()) GTEST_SKIP() << "needs Xvfb";
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_TRUE(display);
  sim::Simulator simulator;
  kit::test::TempDirectory dir("gameclient-window");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");
  WindowProgram program(dir, server.name(), output);
  ASSERT_TRUE(program.started());

  ::Window window = 0;
  const bool shown = kit::test::runUntil(
      [&] {
        return program.ended() ||
               (window = windowTitled(display, DefaultRootWindow(display), "gameclient", false)) != 0;
      },
      60);
  // The test's own connection goes first: losing it would end this process.
  XCloseDisplay(display);
  server.stop();
  ASSERT_TRUE(shown && window) << readFile(output);

  ASSERT_TRUE(kit::test::runUntil([&] { return program.ended(); }, 30)) << readFile(output);
  ASSERT_TRUE(WIFEXITED(program.status())) << "ended by signal " << WTERMSIG(program.status()) << "\n"
                                           << readFile(output);
  EXPECT_EQ(WEXITSTATUS(program.status()), 0) << readFile(output);
  EXPECT_NE(readFile(output).find("lost the connection to the display " + server.name()), std::string::npos)
      << readFile(output);
}

// The display goes while the window's GTK is still opening it (the
// connection breaks at its first request after the setup, before the
// application main): the client ends with status 0 all the same.
TEST(ClientWindowProgram, LosingTheDisplayWhileGtkOpensItEndsItWithStatusZero) {
  kit::test::XServer server;
  if (!server.start()) GTEST_SKIP() << "needs Xvfb";
  kit::test::XConnectionBreaker breaker(server.name());
  ASSERT_TRUE(breaker.start());
  sim::Simulator simulator;
  kit::test::TempDirectory dir("gameclient-window");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");
  WindowProgram program(dir, breaker.name(), output);
  ASSERT_TRUE(program.started());

  ASSERT_TRUE(kit::test::runUntil([&] { return program.ended(); }, 30)) << readFile(output);
  ASSERT_TRUE(WIFEXITED(program.status())) << "ended by signal " << WTERMSIG(program.status()) << "\n"
                                           << readFile(output);
  EXPECT_EQ(WEXITSTATUS(program.status()), 0) << readFile(output);
  EXPECT_EQ(breaker.connectionsBroken(), 1);
  EXPECT_NE(readFile(output).find("lost the connection to the display " + breaker.name()), std::string::npos)
      << readFile(output);
}

}  // namespace
