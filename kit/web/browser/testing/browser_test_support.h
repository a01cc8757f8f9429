// Support for tests that run pages in the browser engine: a fixture that
// skips the test, with the reason, where no display can be had, and the
// page content processes this process started (to end one, or to see them
// end).
//
//   class MyTest : public kit::test::BrowserEngineTest {};
//   TEST_F(MyTest, ...) { auto web = kit::WebView::make(bounds, configuration); ... }
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <vector>

namespace kit::test {

// Installs the browser engine for new web views; skips the test where it
// cannot run.
class BrowserEngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

// The web content processes whose parent is `parent` (this process by
// default).
std::vector<pid_t> webContentProcesses(pid_t parent = 0);
// Every process of WebKit's (content, network, GPU) whose parent is `parent`.
std::vector<pid_t> webKitProcesses(pid_t parent = 0);
// True when `pid` has exited (gone, or a zombie its parent has not reaped).
bool processHasExited(pid_t pid);

}  // namespace kit::test
