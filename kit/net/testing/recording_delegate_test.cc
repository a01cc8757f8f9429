// The completion result of the session tests: a handler whose result has
// gone (its test's wait gave up and the test went on) does nothing when its
// answer comes at last, on the session's delegate queue.
#include "kit/net/testing/recording_delegate.h"

#include <gtest/gtest.h>

#include "kit/net/testing/test_server.h"
#include "kit/net/url_session_configuration.h"
#include "kit/testing/run_until.h"

// A late answer written into a returned call's frame shows as
// AddressSanitizer's stack-use-after-return, which is off unless asked for.
extern "C" const char* __asan_default_options() { return "detect_stack_use_after_return=1"; }

namespace kit::test {
namespace {

// Starts a request for `url` and waits a moment for its answer, as a test
// that gives up would; the task.
Ref<URLSessionDataTask> startAndGiveUp(URLSession& session, const std::string& url) {
  CompletionResult result;
  auto task = session.dataTaskWithURL(URL::URLWithString(url), result.handler());
  task->resume();
  EXPECT_FALSE(result.done.wait(0.05)) << "the answer is held";
  return task;
}

TEST(CompletionResult, AnAnswerThatComesAfterItsResultWentIsDropped) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/slow", TestResponse::text("late"));
  server->route("GET", "/next", TestResponse::text("next"));
  server->holdAnswers("/slow");
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());

  auto slow = startAndGiveUp(*session, server->url("/slow"));
  ASSERT_TRUE(server->waitForRequests(1, 10));
  server->releaseAnswers("/slow");
  // Completed: its handler runs now on the delegate queue, ahead of the
  // next answer's.
  ASSERT_TRUE(runUntil([&] { return slow->state() == URLSessionTaskState::Completed; }));

  CompletionResult next;
  session->dataTaskWithURL(URL::URLWithString(server->url("/next")), next.handler())->resume();
  ASSERT_TRUE(next.done.wait(10));
  EXPECT_EQ(next.body(), "next");
  EXPECT_FALSE(next.error);
  session->invalidateAndCancel();
}

}  // namespace
}  // namespace kit::test
