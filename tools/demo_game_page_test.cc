// The main job's waits on the game page's scripts: a page slowed down past
// a wait's limit answers later, inside a wait that came after, and that
// answer must land nowhere but in a state of its own, never in the frame
// of the call that gave up.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/foundation/values.h"
#include "kit/testing/temp_directory.h"
#include "kit/web/testing/held_scripts_engine.h"
#include "tools/demo_game_page.h"
#include "tools/demo_report.h"
#include "tools/demo_session_clock.h"

// A late answer written into a returned call's frame shows as
// AddressSanitizer's stack-use-after-return, which is off unless asked for.
extern "C" const char* __asan_default_options() { return "detect_stack_use_after_return=1"; }

namespace {

using demo::SessionClock;

// How long a script may take in these tests, in real seconds.
constexpr double kShortScriptTimeout = 0.05;

TEST(DemoGamePage, AnAnswerThatComesAfterItsWaitGaveUpIsDroppedAndTheNextWaitHearsItsOwn) {
  kit::test::TempDirectory folder("demo-game-page");
  SessionClock clock;
  demo::Report report(folder.path());
  demo::GamePage page(clock, report, kShortScriptTimeout);
  auto engine = kit::test::HeldScriptsEngine::make();
  auto view = kit::test::webViewOn(engine);
  page.setView(view);

  // The page is too slow for two scripts: both waits give up.
  engine->hold();
  EXPECT_EQ(page.value("'first'"), nullptr);
  EXPECT_EQ(page.value("'second'", SessionClock::Waiting::ForThePage), nullptr);
  ASSERT_EQ(engine->heldCount(), 2u) << "each script reached the page and waited there";

  // Their answers come inside the next script's wait, ahead of its own.
  engine->letGo();
  EXPECT_EQ(kit::describe(page.value("'third'")), "third");
  EXPECT_EQ(engine->heldCount(), 0u);
  EXPECT_EQ(engine->evaluatedScripts(), (std::vector<std::string>{"'first'", "'second'", "'third'"}))
      << "the late answers were given before the third script's";
}

}  // namespace
