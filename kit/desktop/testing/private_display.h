// An X server of the test process's own, for tests that move the display's
// pointer, type on its keyboard and take screenshots: tests run side by
// side (ctest -j) would otherwise click into each other's windows on the
// one display they share.
//
//   void SetUp() override {
//     kit::test::usePrivateDisplay();           // before GTK opens a display
//     kit::test::BrowserEngineTest::SetUp();
//   }
#pragma once

namespace kit::test {

// Starts Xvfb (once per process) and points DISPLAY at it, for GTK and for
// the programs the test starts; the server ends with the process. False,
// with DISPLAY left as it was, when no Xvfb can be started or no display
// was given to begin with (the test then skips for want of one).
bool usePrivateDisplay();

}  // namespace kit::test
