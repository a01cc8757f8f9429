// The test support library: log capture and the log line format, temporary
// directories, runUntil, drain, the virtual clock fixture and tests run in
// a process of their own.
#include <dirent.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/log.h"
#include "kit/foundation/string.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/own_process.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace kit {
namespace {

TEST(LogTest, LinesCarryTimestampProcessAndThreadAndGoToTheSink) {
  test::LogCapture logs;
  log("loaded %@ in %.2f s (%d)", String::make("领取成功"), 1.5, 3);
  std::thread([] { log("from a worker"); }).join();
  ASSERT_EQ(logs.count(), 2u);
  EXPECT_EQ(logs.messages()[0], "loaded 领取成功 in 1.50 s (3)");
  const std::regex line(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} [^\[]+\[(\d+):(\d+)\] (.*)$)");
  std::smatch match;
  const std::string first = logs.lines()[0];
  ASSERT_TRUE(std::regex_match(first, match, line)) << first;
  EXPECT_EQ(std::stol(match[1]), static_cast<long>(getpid()));
  EXPECT_EQ(match[3], "loaded 领取成功 in 1.50 s (3)");
  std::smatch second;
  const std::string other = logs.lines()[1];
  ASSERT_TRUE(std::regex_match(other, second, line));
  EXPECT_NE(match[2], second[2]);  // different threads
  EXPECT_TRUE(logs.contains("worker"));
  logs.clear();
  EXPECT_EQ(logs.count(), 0u);
}

TEST(LogTest, CapturesNestAndRestoreTheSinkBefore) {
  test::LogCapture outer;
  {
    test::LogCapture inner;
    log("inner");
    EXPECT_TRUE(inner.contains("inner"));
  }
  log("outer");
  EXPECT_FALSE(outer.contains("inner"));
  EXPECT_TRUE(outer.contains("outer"));
}

TEST(TempDirectoryTest, IsFreshAndRemovedWithItsContents) {
  std::string path;
  {
    test::TempDirectory dir("dispatch");
    path = dir.path();
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_NE(path.find("dispatch-"), std::string::npos);
    std::filesystem::create_directories(dir.file("a/b"));
    std::ofstream(dir.file("a/b/c.txt")) << "data";
    test::TempDirectory other("dispatch");
    EXPECT_NE(other.path(), path);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(RunUntilTest, ReturnsAsSoonAsAWorkerSetsTheConditionAndFalseOnTimeOut) {
  std::atomic<bool> flag{false};
  Queue::global().async([&] { flag = true; });
  EXPECT_TRUE(test::runUntil([&] { return flag.load(); }));

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(test::runUntil([] { return false; }, 0.05));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(50));
  EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST(RunUntilTest, DrainWaitsForEverythingSubmittedBefore) {
  auto queue = Queue::concurrent("drained");
  std::atomic<int> done{0};
  for (int i = 0; i < 100; ++i) queue->async([&] { ++done; });
  ASSERT_TRUE(test::drain(*queue));
  EXPECT_EQ(done.load(), 100);

  std::atomic<int> global{0};
  for (int i = 0; i < 100; ++i) Queue::global(Queue::Priority::Low).async([&] { ++global; });
  ASSERT_TRUE(test::drain(Queue::global(Queue::Priority::Low)));
  EXPECT_EQ(global.load(), 100);

  int mainDone = 0;
  Queue::main().async([&] { ++mainDone; });
  ASSERT_TRUE(test::drain(Queue::main()));
  EXPECT_EQ(mainDone, 1);
}

TEST(RunUntilTest, SettleMainRunsHopsThatHopAgainToTheirEnd) {
  std::vector<std::string> steps;
  Queue::main().async([&] {
    steps.push_back("queue");
    OperationQueue::main().addOperationWithBlock([&] {
      steps.push_back("operation");
      Queue::main().async([&] { steps.push_back("queue again"); });
    });
  });
  ASSERT_TRUE(test::settleMain());
  EXPECT_EQ(steps, (std::vector<std::string>{"queue", "operation", "queue again"}));

  auto later = std::make_shared<bool>(false);
  Queue::main().after(3600, [later] { *later = true; });
  ASSERT_TRUE(test::settleMain(1)) << "delayed work is not waited for";
  EXPECT_FALSE(*later);
}

class FixtureTest : public test::VirtualClockTest {};

TEST_F(FixtureTest, InstallsAVirtualClockForTheTest) {
  EXPECT_TRUE(Clock::isVirtual());
  EXPECT_EQ(elapsed(), 0);
  bool fired = false;
  Queue::main().after(10.0, [&] { fired = true; });
  const auto realStart = std::chrono::steady_clock::now();
  advance(10.0);
  EXPECT_TRUE(fired);
  EXPECT_EQ(elapsed(), 10.0);
  EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(2));
}

size_t threadsOfThisProcess() {
  size_t n = 0;
  if (DIR* dir = ::opendir("/proc/self/task")) {
    while (dirent* entry = ::readdir(dir)) n += entry->d_name[0] != '.';
    ::closedir(dir);
  }
  return n;
}

TEST(OwnProcessTest, RunsTheTestAloneInANewProcessWithOneThread) {
  // Earlier tests of this program leave worker threads behind; the test's
  // own process has run nothing else.
  if (!test::inOwnProcess()) return;
  EXPECT_EQ(::testing::UnitTest::GetInstance()->test_to_run_count(), 1);
  EXPECT_EQ(threadsOfThisProcess(), 1u);
}

bool g_inOwnProcess = false;

TEST(OwnProcessTest, AFailureThereFailsTheTestHereWithItsOutput) {
  EXPECT_NONFATAL_FAILURE(g_inOwnProcess = test::inOwnProcess(), "failing on purpose, there");
  if (g_inOwnProcess) ADD_FAILURE() << "failing on purpose, there";
}

}  // namespace
}  // namespace kit
