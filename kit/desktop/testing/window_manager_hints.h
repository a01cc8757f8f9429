// The hints a window manager publishes on the display, set by a test in
// its place: that a window manager runs (its check window and the hints it
// supports), the work area its docks leave, and the frame it drew around a
// window. A real window manager would place, frame and restack the test's
// windows on a timing of its own; these hints are all the toolkit and the
// desktop window read of one.
//
// The toolkit looks for a window manager when it opens the display and,
// having found none, does not look again for a while: the hints are
// announced before the first test, by registering the environment after
// the private display's.
//
//   ::testing::AddGlobalTestEnvironment(new kit::test::PrivateDisplayEnvironment);
//   auto* const hints = static_cast<kit::test::WindowManagerHints*>(
//       ::testing::AddGlobalTestEnvironment(new kit::test::WindowManagerHints));
//   hints->setWorkArea({0, 0, 1280, 824});      // a 200-px dock at the bottom
//   hints->setFrameExtents(xid, {2, 2, 22, 2});  // after the window shows
#pragma once

#include <gtest/gtest.h>

namespace kit::test {

class WindowManagerHints : public ::testing::Environment {
 public:
  struct Area {
    long x, y, width, height;
  };
  struct Extents {
    long left, right, top, bottom;
  };
  // Announces a window manager on the display in DISPLAY (the private one)
  // whose work area is the whole screen. Does nothing without a display.
  void SetUp() override;
  // The work area of the screen's desktop, as a window manager sets it
  // when a dock comes or goes.
  void setWorkArea(Area area);
  // The whole screen again.
  void resetWorkArea();
  // The widths of the frame around `window`, as a window manager sets them
  // when it frames the window.
  void setFrameExtents(unsigned long window, Extents extents);

 private:
  Area screen_{};
};

}  // namespace kit::test
