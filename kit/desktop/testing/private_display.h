// An X server of the test process's own, for tests that move the display's
// pointer, type on its keyboard and take screenshots: tests run side by
// side (ctest -j) would otherwise click into each other's windows on the
// one display they share.
//
// GTK opens one display per process, at its first use, and keeps it: a
// test program with such tests runs every test on the private display,
// whichever comes first, by registering the environment below.
//
//   const auto* const privateDisplay =
//       ::testing::AddGlobalTestEnvironment(new kit::test::PrivateDisplayEnvironment);
#pragma once

#include <gtest/gtest.h>

namespace kit::test {

// Starts Xvfb (once per process) and points DISPLAY at it, for GTK and for
// the programs the test starts (without the desktop's GDK_SCALE). The server ends with its last client, and
// the process holds a connection to it until it exits, so it lives exactly
// as long as the process, whatever other clients come and go. False, with
// DISPLAY left as it was, when no Xvfb can be started or no display was
// given to begin with (the test then skips for want of one).
bool usePrivateDisplay();

// Starts the private display before the program's first test.
class PrivateDisplayEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { usePrivateDisplay(); }
};

}  // namespace kit::test
