// The test program started again for one test. See own_process.h.
#include "kit/testing/own_process.h"

#include "kit/testing/spawn_attributes.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace kit::test {

namespace {

// Names the test that the started process is for.
constexpr std::string_view kVariable = "KIT_TEST_OWN_PROCESS";

std::string currentTestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return info ? std::string(info->test_suite_name()) + "." + info->name() : std::string();
}

// This process's environment for the new one, without the variables that
// would make its test program run other tests, shard them or write their
// report over ours.
std::vector<std::string> environmentFor(const std::string& test) {
  std::vector<std::string> out;
  for (char** entry = environ; *entry; ++entry) {
    std::string_view text(*entry);
    if (text.starts_with("GTEST_") || text.starts_with(std::string(kVariable) + "=")) continue;
    out.emplace_back(text);
  }
  out.push_back(std::string(kVariable) + "=" + test);
  return out;
}

std::string describeStatus(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "was ended by signal " + std::to_string(WTERMSIG(status));
  return "ended with wait status " + std::to_string(status);
}

}  // namespace

bool inOwnProcess() {
  const std::string test = currentTestName();
  if (test.empty()) {
    ADD_FAILURE() << "inOwnProcess() is called from a test";
    return false;
  }
  if (const char* mine = std::getenv(std::string(kVariable).c_str()); mine && test == mine) return true;

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipe for the test's own process (errno " << errno << ")";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);

  std::string filter = "--gtest_filter=" + test;
  std::vector<char*> argv{const_cast<char*>("/proc/self/exe"), filter.data(), nullptr};
  std::vector<std::string> environment = environmentFor(test);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  const SpawnAttributes attributes;
  const int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, attributes.get(), argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    ADD_FAILURE() << "the test program could not be started again (error " << spawned << ")";
    return false;
  }

  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n > 0) {
      output.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }

  const bool exitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (exitedCleanly && output.find("[  SKIPPED ] 1 test") != std::string::npos) {
    [&] { GTEST_SKIP() << "skipped in its own process:\n" << output; }();
  } else if (!exitedCleanly || output.find("[  PASSED  ] 1 test.") == std::string::npos) {
    ADD_FAILURE() << "in its own process the test " << describeStatus(status) << ":\n" << output;
  }
  return false;
}

pid_t spawnTestProcess(const std::string& test, const std::vector<std::string>& environment,
                       const std::vector<std::string>& replacedPrefixes, int closeInChild) {
  std::vector<std::string> entries = environment;
  for (char** e = environ; e && *e; ++e) {
    const std::string_view entry(*e);
    bool replaced = false;
    for (const auto& prefix : replacedPrefixes) replaced = replaced || entry.starts_with(prefix);
    if (!replaced) entries.emplace_back(entry);
  }
  std::vector<char*> envp;
  for (auto& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (closeInChild >= 0) posix_spawn_file_actions_addclose(&actions, closeInChild);
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  std::string exe(path, static_cast<size_t>(length));
  std::string filter = "--gtest_filter=" + test;
  char* argv[] = {exe.data(), filter.data(), nullptr};
  pid_t pid = 0;
  const SpawnAttributes attributes;
  const int failed = posix_spawn(&pid, exe.c_str(), &actions, attributes.get(), argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

}  // namespace kit::test
