// The browser runtime's handling of X errors about windows another program
// destroyed: a request about GDK's hidden group leader (made while GTK
// opened the display) that fails because the leader is gone, with
// BadWindow or BadDrawable, is no fault of the program's, which goes on;
// the same request about any other window reaches GDK's handler, which
// ends the program with status 1. Each case runs in a process of its own
// (a death test's): the leader destroyed stays destroyed. Skips itself
// without a display.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "kit/web/browser/testing/browser_test_support.h"

// Last: X11's headers define macros (None, True, Status) that kit's names
// would collide with.
#include <gdk/gdkx.h>
#include <X11/Xlib.h>

namespace {

enum class Target { Leader, WindowMadeLater };
enum class Request { Attributes, Geometry };  // failing with BadWindow, BadDrawable

// Another program destroys `target`; then GDK's connection asks about it
// with `request`, outside any error trap of GDK's. Writes "went on" and
// ends the process with 0 when the program goes on after the failure.
[[noreturn]] void askAboutADestroyedWindow(Target target, Request request) {
  GdkDisplay* display = gdk_display_get_default();
  Display* own = GDK_DISPLAY_XDISPLAY(display);
  std::unique_ptr<Display, int (*)(Display*)> other(XOpenDisplay(gdk_display_get_name(display)), XCloseDisplay);
  if (!other) std::_Exit(2);
  const Window window = target == Target::Leader
                            ? GDK_WINDOW_XID(gdk_display_get_default_group(display))
                            : XCreateSimpleWindow(own, DefaultRootWindow(own), 0, 0, 10, 10, 0, 0, 0);
  XSync(own, False);
  XDestroyWindow(other.get(), window);
  XSync(other.get(), False);
  if (request == Request::Attributes) {
    XWindowAttributes attributes;
    XGetWindowAttributes(own, window, &attributes);
  } else {
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(own, window, &root, &x, &y, &width, &height, &border, &depth);
  }
  XSync(own, False);
  std::fprintf(stderr, "went on\n");
  std::fflush(stderr);
  std::_Exit(0);
}

class BrowserDisplayErrorsDeathTest : public kit::test::BrowserEngineTest {
 protected:
  void SetUp() override {
    kit::test::BrowserEngineTest::SetUp();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

TEST_F(BrowserDisplayErrorsDeathTest, RequestsAboutTheDestroyedGroupLeaderFailWithoutEndingTheProgram) {
  EXPECT_EXIT(askAboutADestroyedWindow(Target::Leader, Request::Attributes), ::testing::ExitedWithCode(0),
              "went on");
  EXPECT_EXIT(askAboutADestroyedWindow(Target::Leader, Request::Geometry), ::testing::ExitedWithCode(0), "went on");
}

TEST_F(BrowserDisplayErrorsDeathTest, ARequestAboutAnotherDestroyedWindowEndsTheProgramAsGdkDoes) {
  EXPECT_EXIT(askAboutADestroyedWindow(Target::WindowMadeLater, Request::Geometry), ::testing::ExitedWithCode(1),
              "X Window System error");
}

}  // namespace
