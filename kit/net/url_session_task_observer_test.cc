// The process-wide resume and suspend observers of session tasks: every
// call is reported with the state the task was in before it.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "kit/net/url_session.h"

namespace kit {
namespace {

struct Seen {
  uint64_t task;
  bool resumed;
  URLSessionTaskState before;
};

TEST(URLSessionTaskObservers, EveryResumeAndSuspendIsReportedWithTheStateBefore) {
  std::mutex mutex;
  std::vector<Seen> seen;
  uint64_t token =
      URLSessionTask::addResumeSuspendObserver([&](URLSessionTask& task, bool resumed, URLSessionTaskState before) {
        std::lock_guard lock(mutex);
        seen.push_back({task.taskIdentifier(), resumed, before});
      });
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  // Port 9 on loopback: nothing answers, and the task is cancelled anyway.
  auto task = session->dataTaskWithURL(URL::URLWithString("http://127.0.0.1:9/x"));
  task->suspend();  // already suspended
  task->resume();
  task->resume();  // already running
  task->suspend();
  task->cancel();
  URLSessionTask::removeResumeSuspendObserver(token);
  task->resume();
  session->invalidateAndCancel();

  std::lock_guard lock(mutex);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_FALSE(seen[0].resumed);
  EXPECT_EQ(seen[0].before, URLSessionTaskState::Suspended);
  EXPECT_TRUE(seen[1].resumed);
  EXPECT_EQ(seen[1].before, URLSessionTaskState::Suspended);
  EXPECT_TRUE(seen[2].resumed);
  EXPECT_EQ(seen[2].before, URLSessionTaskState::Running);
  EXPECT_FALSE(seen[3].resumed);
  EXPECT_EQ(seen[3].before, URLSessionTaskState::Running);
  for (const auto& s : seen) EXPECT_EQ(s.task, task->taskIdentifier());
}

}  // namespace
}  // namespace kit
