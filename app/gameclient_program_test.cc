// The client program as a person or the system runs it: the built
// gameclient, started as a child process against the simulated services on
// 127.0.0.1 (through its services file), launches, loads the configured
// game page from the page server and, sent SIGTERM, leaves through the
// application's terminate path with status 0. Under a display (as CI runs
// the tests) the page runs in the browser engine, elsewhere in the page
// driver: the road is the same.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "sim/simulator.h"

extern char** environ;

namespace {

// The program's output so far.
std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The environment without anything that would point the program elsewhere
// than the test's services, bundle and defaults. A sanitizer build of the
// program that runs the browser engine reads the engine's known
// allocations from the project's LeakSanitizer suppressions, as the engine
// tests do.
std::vector<std::string> childEnvironment(const kit::test::TempDirectory& dir) {
  std::vector<std::string> out;
  std::string leakOptions;
  for (char** e = environ; e && *e; ++e) {
    std::string entry(*e);
    if (entry.starts_with("GAMECLIENT_") || entry.starts_with("KIT_MAIN_BUNDLE=") ||
        entry.starts_with("KIT_USER_DEFAULTS_PATH=")) {
      continue;
    }
    if (entry.starts_with("LSAN_OPTIONS=")) {
      leakOptions = entry.substr(std::string("LSAN_OPTIONS=").size());
      continue;
    }
    out.push_back(entry);
  }
  if (leakOptions.find("suppressions=") == std::string::npos) {
    leakOptions += std::string(leakOptions.empty() ? "" : ":") + "suppressions=" + LSAN_SUPPRESSIONS;
  }
  out.push_back("LSAN_OPTIONS=" + leakOptions);
  out.push_back("GAMECLIENT_SERVICES=" + dir.file("services.plist"));
  out.push_back("KIT_USER_DEFAULTS_PATH=" + dir.file("defaults.plist"));
  return out;
}

class Program {
 public:
  Program(const std::vector<std::string>& environment, const std::string& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> envp;
    for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(GAMECLIENT_PROGRAM), nullptr};
    if (posix_spawn(&pid_, GAMECLIENT_PROGRAM, &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (running()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  void signal(int number) const { kill(pid_, number); }
  // Whether it has ended (collecting its status once it has).
  bool ended() {
    if (exited_) return true;
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
    return exited_;
  }
  int status() const { return status_; }

 private:
  bool running() const { return pid_ > 0 && !exited_; }
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
};

TEST(GameClientProgram, LoadsTheConfiguredPageAndEndsCleanlyOnSIGTERM) {
  sim::Simulator simulator;
  kit::test::TempDirectory dir("gameclient");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");

  Program program(childEnvironment(dir), output);
  ASSERT_TRUE(program.started()) << GAMECLIENT_PROGRAM;
  // The launch (with its two-second splash pause) reaches the channel
  // server, then the window's page screen loads the configured page.
  const std::string page = simulator.page().pageURL();
  const std::string target = page.substr(page.find("/games/"));
  ASSERT_TRUE(kit::test::runUntil(
      [&] {
        auto served = simulator.page().requests();
        return std::find(served.begin(), served.end(), target) != served.end() &&
               readFile(output).find("game page loaded: " + page) != std::string::npos;
      },
      30))
      << readFile(output);
  EXPECT_FALSE(simulator.channel().requestsTo("init").empty()) << "the launch reached the channel core";
  EXPECT_FALSE(program.ended()) << "it runs until it is told to end";

  program.signal(SIGTERM);
  ASSERT_TRUE(kit::test::runUntil([&] { return program.ended(); }, 20)) << readFile(output);
  ASSERT_TRUE(WIFEXITED(program.status())) << "ended by signal " << WTERMSIG(program.status());
  EXPECT_EQ(WEXITSTATUS(program.status()), 0) << readFile(output);
  EXPECT_NE(readFile(output).find("signal 15, terminating"), std::string::npos) << readFile(output);
}

}  // namespace
