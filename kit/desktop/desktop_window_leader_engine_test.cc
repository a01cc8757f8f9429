// The desktop window and the hidden group leader GDK made for the
// program's windows, which another program may destroy at any moment: a
// leader gone before the window opens closes the window as it opens, one
// destroyed with the window closes it once. GDK makes one leader per
// process and display and never another, so each case runs in a process of
// its own (a death test's), and prints how often the close handler ran.
// Skips itself without a display.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "kit/desktop/desktop_window.h"
#include "kit/desktop/testing/private_display.h"
#include "kit/testing/run_until.h"
#include "kit/ui/main_loop.h"
#include "kit/web/browser/testing/browser_test_support.h"

// Last: X11's macros would rename kit's enumerators.
#include <gdk/gdkx.h>
#include <X11/Xlib.h>

namespace {

enum class Destroyed { Nothing, LeaderBeforeOpen, WindowAndLeaderOnceOpen };

// The windows whose DestroyNotify GDK has taken from the display, noted
// before the desktop window's own filter sees them.
std::set<unsigned long> destroyEventsSeen;

GdkFilterReturn noteDestroyEvents(GdkXEvent* xevent, GdkEvent*, gpointer) {
  const XEvent& event = *static_cast<XEvent*>(xevent);
  if (event.type == DestroyNotify) destroyEventsSeen.insert(event.xdestroywindow.window);
  return GDK_FILTER_CONTINUE;
}

// Opens a desktop window, another program's connection destroying what
// `destroyed` says, and writes how often the close handler ran ("closes N")
// once the window has handled all it heard of; ends the process. Runs in
// the death test's own process.
[[noreturn]] void openAndCountCloses(Destroyed destroyed) {
  GdkDisplay* display = gdk_display_get_default();
  std::unique_ptr<Display, int (*)(Display*)> other(XOpenDisplay(gdk_display_get_name(display)), XCloseDisplay);
  if (!other) {
    std::fprintf(stderr, "no connection of another program's\n");
    std::_Exit(2);
  }
  const unsigned long leader = GDK_WINDOW_XID(gdk_display_get_default_group(display));
  if (destroyed == Destroyed::LeaderBeforeOpen) {
    XDestroyWindow(other.get(), leader);
    XSync(other.get(), False);
  }
  gdk_window_add_filter(nullptr, noteDestroyEvents, nullptr);
  auto desktop = kit::DesktopWindow::open("desktop leader test");
  if (!desktop) std::_Exit(2);
  int closes = 0;
  desktop->setCloseHandler([&] { ++closes; });
  if (destroyed == Destroyed::WindowAndLeaderOnceOpen) {
    const unsigned long shown = desktop->xid();
    XDestroyWindow(other.get(), shown);
    XDestroyWindow(other.get(), leader);
    XSync(other.get(), False);
    if (!kit::test::runUntil([&] { return destroyEventsSeen.contains(shown) && destroyEventsSeen.contains(leader); },
                             30)) {
      std::fprintf(stderr, "GDK never heard of the destruction\n");
      std::_Exit(3);
    }
  }
  // What the window handled, it handed to the main run loop first.
  bool settled = false;
  kit::runOnMainSoon([&] { settled = true; });
  if (!kit::test::runUntil([&] { return settled; }, 30)) std::_Exit(3);
  std::fprintf(stderr, "closes %d\n", closes);
  std::fflush(stderr);
  std::_Exit(0);
}

class DesktopWindowLeaderDeathTest : public kit::test::BrowserEngineTest {
 protected:
  void SetUp() override {
    // Its own display: the windows destroyed here are no other test's.
    kit::test::usePrivateDisplay();
    kit::test::BrowserEngineTest::SetUp();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

TEST_F(DesktopWindowLeaderDeathTest, ALeaderGoneBeforeTheWindowOpensClosesItOnceAsItOpens) {
  EXPECT_EXIT(openAndCountCloses(Destroyed::Nothing), ::testing::ExitedWithCode(0), "closes 0\n");
  EXPECT_EXIT(openAndCountCloses(Destroyed::LeaderBeforeOpen), ::testing::ExitedWithCode(0), "closes 1\n");
}

TEST_F(DesktopWindowLeaderDeathTest, TheWindowAndTheLeaderDestroyedTogetherCloseItOnce) {
  EXPECT_EXIT(openAndCountCloses(Destroyed::WindowAndLeaderOnceOpen), ::testing::ExitedWithCode(0), "closes 1\n");
}

}  // namespace
