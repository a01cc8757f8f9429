// The processes a test starts begin with every signal at its default action
// and none blocked but those the test names, also when the test program
// itself was started with SIGINT, SIGQUIT and SIGHUP ignored (a script's
// background job under nohup) and a signal blocked: the test's own process,
// a child test it starts, and any program started with
// kit::test::SpawnAttributes.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "kit/testing/own_process.h"
#include "kit/testing/spawn_attributes.h"

namespace kit {
namespace {

constexpr int kIgnored[] = {SIGINT, SIGQUIT, SIGHUP};

// This process as a script's background job under nohup finds itself, for
// as long as it lives: SIGINT, SIGQUIT and SIGHUP ignored, and SIGUSR2
// blocked in this thread (whose mask a child it starts inherits).
class StartedAsABackgroundJob {
 public:
  StartedAsABackgroundJob() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kIgnored[i], &ignore, &saved_[i]);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &blocked, &savedMask_);
  }
  ~StartedAsABackgroundJob() {
    pthread_sigmask(SIG_SETMASK, &savedMask_, nullptr);
    for (int i = 0; i < 3; ++i) sigaction(kIgnored[i], &saved_[i], nullptr);
  }

 private:
  struct sigaction saved_[3];
  sigset_t savedMask_;
};

// What of this process's signals differs from a start at their defaults
// with only `held` blocked; empty when nothing does.
std::string signalsUnlikeAFreshStart(const std::vector<int>& held) {
  std::string unlike;
  for (int signal : kIgnored) {
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    if (now.sa_handler != SIG_DFL) unlike += "signal " + std::to_string(signal) + " is not at its default; ";
  }
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  for (int signal = 1; signal <= SIGRTMAX; ++signal) {
    const bool heldHere = sigismember(&mask, signal) == 1;
    const bool named = std::find(held.begin(), held.end(), signal) != held.end();
    if (heldHere != named) unlike += "signal " + std::to_string(signal) + (heldHere ? " held; " : " not held; ");
  }
  return unlike;
}

// The signals the started process is to hold, from its environment.
std::vector<int> heldAsAsked() {
  std::vector<int> held;
  if (const char* named = std::getenv("KIT_TEST_SPAWN_HELD"); named && *named) held.push_back(std::atoi(named));
  return held;
}

// The child half of the tests below: passes when the process started with
// its signals as a fresh start has them. Skipped when run alone.
TEST(SpawnAttributesChild, BeginsAsAFreshStart) {
  if (!std::getenv("KIT_TEST_SPAWN_CHILD")) GTEST_SKIP() << "runs as a child process only";
  EXPECT_EQ(signalsUnlikeAFreshStart(heldAsAsked()), "");
}

// The child test's exit status once it ended (-1: not started or not
// ended by itself).
int statusOf(pid_t pid) {
  if (pid <= 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SpawnAttributes, AChildTestBeginsWithTheSignalsAtTheirDefaultsAndNoneHeld) {
  StartedAsABackgroundJob started;
  ASSERT_NE(signalsUnlikeAFreshStart({}), "");
  EXPECT_EQ(statusOf(test::spawnTestProcess("SpawnAttributesChild.BeginsAsAFreshStart", {"KIT_TEST_SPAWN_CHILD=1"},
                                            {"KIT_TEST_SPAWN_"})),
            0);
}

TEST(SpawnAttributes, AProgramStartedWithThemHoldsOnlyTheSignalsNamed) {
  StartedAsABackgroundJob started;
  std::vector<std::string> environment{"KIT_TEST_SPAWN_CHILD=1", "KIT_TEST_SPAWN_HELD=" + std::to_string(SIGTERM)};
  for (char** entry = environ; *entry; ++entry) {
    const std::string text(*entry);
    if (!text.starts_with("KIT_TEST_") && !text.starts_with("GTEST_")) environment.push_back(text);
  }
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string filter = "--gtest_filter=SpawnAttributesChild.BeginsAsAFreshStart";
  char* argv[] = {const_cast<char*>("/proc/self/exe"), filter.data(), nullptr};
  pid_t pid = -1;
  const test::SpawnAttributes attributes({SIGTERM});
  ASSERT_EQ(posix_spawn(&pid, "/proc/self/exe", nullptr, attributes.get(), argv, envp.data()), 0);
  EXPECT_EQ(statusOf(pid), 0);
}

// Here the test's process starts as the background job; in the process
// started for the test, the test finds the signals at their start.
TEST(OwnProcessTest, BeginsWithTheSignalsAtTheirDefaultsAndNoneHeld) {
  std::optional<StartedAsABackgroundJob> started;
  if (!std::getenv("KIT_TEST_OWN_PROCESS")) started.emplace();
  if (!test::inOwnProcess()) return;
  EXPECT_EQ(signalsUnlikeAFreshStart({}), "");
}

}  // namespace
}  // namespace kit
