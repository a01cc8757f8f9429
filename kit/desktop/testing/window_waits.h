// Waits for window tests: a page's answer to a script (from the web views'
// test support) and display-link ticks. Header only: kit's test support
// library comes after kit's folders.
#pragma once

#include <gtest/gtest.h>

#include "kit/dispatch/runloop.h"
#include "kit/testing/run_until.h"
#include "kit/ui/display_link.h"
#include "kit/web/testing/web_test_support.h"

namespace kit::test {

// Runs the main run loop until a display link has ticked `frames` times.
inline void runFrames(int frames) {
  int ticks = 0;
  auto link = kit::DisplayLink::make([&](kit::DisplayLink&) { ++ticks; });
  link->addToRunLoop(kit::RunLoop::main());
  EXPECT_TRUE(kit::test::runUntil([&] { return ticks >= frames; }));
  link->invalidate();
}

}  // namespace kit::test
