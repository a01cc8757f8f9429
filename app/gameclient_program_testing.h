// Running the client program and the simulator program in a test: a child
// process with its output in a file and an environment that points it at
// the test's own services, bundle, defaults and display, whose end the
// test waits for and whose status it reads. It begins with every signal at
// its default action, as a person or the system starts it, however the
// test program was started (kit/testing/spawn_attributes.h).
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kit/testing/run_until.h"
#include "kit/testing/spawn_attributes.h"
#include "kit/testing/temp_directory.h"

extern char** environ;

namespace gameclient_test {

// The program's output so far.
inline std::string readFile(const std::string& path) {
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
inline std::vector<std::string> childEnvironment(const kit::test::TempDirectory& dir,
                                          const std::vector<std::string>& extra = {}) {
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
  out.insert(out.end(), extra.begin(), extra.end());
  return out;
}

// childEnvironment, on the display `display` (":N").
inline std::vector<std::string> environmentOnDisplay(const kit::test::TempDirectory& dir, const std::string& display) {
  std::vector<std::string> environment;
  for (const std::string& entry : childEnvironment(dir))
    if (!entry.starts_with("DISPLAY=")) environment.push_back(entry);
  environment.push_back("DISPLAY=" + display);
  return environment;
}

class Program {
 public:
  // The client. `holdingTermination`: started with SIGTERM and SIGINT
  // blocked, as a signal in the program's first instant finds them.
  Program(const std::vector<std::string>& environment, const std::string& output, bool holdingTermination = false)
      : Program(GAMECLIENT_PROGRAM, {}, environment, output, holdingTermination) {}
  Program(const std::string& path, const std::vector<std::string>& arguments,
          const std::vector<std::string>& environment, const std::string& output, bool holdingTermination = false) {
    const kit::test::SpawnAttributes attributes =
        holdingTermination ? kit::test::SpawnAttributes({SIGTERM, SIGINT}) : kit::test::SpawnAttributes();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> envp;
    for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, path.c_str(), &actions, attributes.get(), argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (running()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
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

// Waits up to `seconds` for the program to end, and checks that it ended
// by itself with status 0 (its output tells why not).
inline void expectCleanEnd(Program& program, const std::string& output, double seconds = 20) {
  ASSERT_TRUE(kit::test::runUntil([&] { return program.ended(); }, seconds)) << readFile(output);
  ASSERT_TRUE(WIFEXITED(program.status())) << "ended by signal " << WTERMSIG(program.status()) << "\n"
                                           << readFile(output);
  EXPECT_EQ(WEXITSTATUS(program.status()), 0) << readFile(output);
}


// `environment` with the program's data and caches in `dir`'s folder
// "home", so that clients running side by side keep apart.
inline std::vector<std::string> withHomeIn(std::vector<std::string> environment, const kit::test::TempDirectory& dir) {
  std::erase_if(environment, [](const std::string& entry) { return entry.starts_with("KIT_HOME="); });
  environment.push_back("KIT_HOME=" + dir.file("home"));
  return environment;
}
}  // namespace gameclient_test
