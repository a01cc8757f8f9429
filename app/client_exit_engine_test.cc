// The client ends at once whatever is on screen, also when its desktop
// window is closed: the client's application main runs in a child process
// (client_exit_probe --window) against the simulator, with one overlay of
// the store hub, the hall or the user centre open on the key window; the
// window manager's close request then ends it with status 0 through the
// terminate path, promptly. Skips itself without a display.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/gameclient_program_testing.h"
#include "kit/desktop/testing/private_display.h"
#include "kit/desktop/testing/x_windows.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "sim/simulator.h"

// Last: X11's macros would rename kit's enumerators.
#include <X11/Xlib.h>

namespace {

using gameclient_test::environmentOnDisplay;
using gameclient_test::Program;
using gameclient_test::readFile;
using gameclient_test::withHomeIn;
using kit::test::requestClose;
using kit::test::windowTitled;

// A clean end comes within this long of the close request, however loaded
// the machine (a quiet one takes a small fraction of it; the test prints it).
constexpr double kEndBound = 10;

class ClientWindowExit : public ::testing::TestWithParam<const char*> {};

TEST_P(ClientWindowExit, ClosingTheWindowEndsItWithStatusZeroAtOnce) {
  kit::test::usePrivateDisplay();
  const char* displayName = std::getenv("DISPLAY");
  if (!displayName || !*displayName) GTEST_SKIP() << "needs a display";
  Display* display = XOpenDisplay(nullptr);
  if (!display) GTEST_SKIP() << "cannot open the display " << displayName;
  const std::string overlay = GetParam();
  sim::Simulator simulator;
  // A trailer shorter than the free-video offer's time: the card's
  // countdown runs once it has played.
  simulator.game().setVideoDuration(1);
  kit::test::TempDirectory dir("client-window-exit");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");
  Program program(CLIENT_EXIT_PROBE, {overlay, "--window"}, withHomeIn(environmentOnDisplay(dir, displayName), dir),
                  output);
  ASSERT_TRUE(program.started()) << CLIENT_EXIT_PROBE;
  const std::string shown = "exit probe: " + overlay + " shown";
  ::Window window = 0;
  const bool ready = kit::test::runUntil(
      [&] {
        if (program.ended()) return true;
        if (readFile(output).find(shown) == std::string::npos) return false;
        window = windowTitled(display, DefaultRootWindow(display), "client exit probe");
        return window != 0;
      },
      120);
  if (!ready || program.ended()) XCloseDisplay(display);
  ASSERT_TRUE(ready) << readFile(output);
  ASSERT_FALSE(program.ended()) << readFile(output);

  const auto sent = std::chrono::steady_clock::now();
  requestClose(display, window);
  XCloseDisplay(display);
  ASSERT_TRUE(kit::test::runUntil([&] { return program.ended(); }, 60))
      << "still running a minute after the close request\n" << readFile(output);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
  std::printf("[ exit     ] %s, window closed: ended %.3f s after it\n", overlay.c_str(), seconds);
  ASSERT_TRUE(WIFEXITED(program.status())) << "ended by signal " << WTERMSIG(program.status()) << "\n"
                                           << readFile(output);
  EXPECT_EQ(WEXITSTATUS(program.status()), 0) << readFile(output);
  EXPECT_LT(seconds, kEndBound) << readFile(output);
  EXPECT_NE(readFile(output).find("application: terminated"), std::string::npos) << readFile(output);
}

std::string testName(const ::testing::TestParamInfo<const char*>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(StoreHubOverlays, ClientWindowExit,
                         ::testing::Values("store-hub", "level-pop", "free-video", "video-gift", "optional-gift"),
                         testName);
INSTANTIATE_TEST_SUITE_P(HallOverlays, ClientWindowExit, ::testing::Values("resource-hall", "not-open", "turn-gift"),
                         testName);
INSTANTIATE_TEST_SUITE_P(UserCentreOverlays, ClientWindowExit, ::testing::Values("helper-ball", "user-centre"),
                         testName);

}  // namespace
