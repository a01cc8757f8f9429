// The web views' test support: the wait for a script's answer gives up on
// a page too slow for it, and the answer that comes later lands in a state
// of its own, not in the frame of the call that gave up.

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/web/testing/held_scripts_engine.h"
#include "kit/web/testing/web_test_support.h"

// A late answer written into a returned call's frame shows as
// AddressSanitizer's stack-use-after-return, which is off unless asked for.
extern "C" const char* __asan_default_options() { return "detect_stack_use_after_return=1"; }

namespace {

TEST(WebTestSupport, AnAnswerAfterItsWaitGaveUpIsDroppedAndTheNextWaitHearsItsOwn) {
  auto engine = kit::test::HeldScriptsEngine::make();
  auto view = kit::test::webViewOn(engine);

  engine->hold();
  kit::ScriptResult first{kit::str("unset"), nullptr};
  EXPECT_NONFATAL_FAILURE(first = kit::test::evaluateScript(*view, "'first'", 0.05), "no answer to 'first'");
  EXPECT_EQ(first.value, nullptr);
  EXPECT_EQ(first.error, nullptr);
  ASSERT_EQ(engine->heldCount(), 1u) << "the script reached the page and waited there";

  // Its answer comes inside the next script's wait, ahead of its own.
  engine->letGo();
  EXPECT_EQ(kit::test::evaluate(*view, "'second'"), "second");
  EXPECT_EQ(engine->evaluatedScripts(), (std::vector<std::string>{"'first'", "'second'"}));
}

TEST(WebTestSupport, AScriptsErrorIsItsAnswer) {
  auto engine = kit::test::HeldScriptsEngine::make();
  auto view = kit::test::webViewOn(engine);
  kit::ScriptResult result = kit::test::evaluateScript(*view, "throw new Error('no')");
  EXPECT_EQ(result.value, nullptr);
  ASSERT_NE(result.error, nullptr);
  EXPECT_EQ(kit::test::evaluate(*view, "throw new Error('no')"), "error");
}

}  // namespace
