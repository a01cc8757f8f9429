// Waits for window tests: a page's answer to a script, and display-link
// ticks. Header only: kit's test support library comes after kit's folders.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/ui/display_link.h"
#include "kit/web/web_view.h"

namespace kit::test {

// Runs `script` in `view`'s page and waits for its answer: the value's
// description, or "error" when the script failed.
inline std::string evaluate(kit::WebView& view, const std::string& script) {
  std::string text;
  bool done = false;
  view.evaluateJavaScript(script, [&](kit::Id value, kit::Ref<kit::Error> error) {
    text = error ? "error" : kit::describe(value);
    done = true;
  });
  EXPECT_TRUE(kit::test::runUntil([&] { return done; })) << "no answer to " << script;
  return text;
}

// Runs the main run loop until a display link has ticked `frames` times.
inline void runFrames(int frames) {
  int ticks = 0;
  auto link = kit::DisplayLink::make([&](kit::DisplayLink&) { ++ticks; });
  link->addToRunLoop(kit::RunLoop::main());
  EXPECT_TRUE(kit::test::runUntil([&] { return ticks >= frames; }));
  link->invalidate();
}

}  // namespace kit::test
