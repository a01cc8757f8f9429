// See x_server.h.

#include "kit/desktop/testing/x_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace kit::test {

namespace {

// Starts Xvfb at display `number`; its number once it accepts connections,
// or an empty text when it ended (the number taken) or could not start.
std::string spawnXvfbAt(const std::string& number, pid_t& pid, bool endWithLastClient) {
  pid = 0;
  int ready[2];
  if (pipe(ready) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> words = {"Xvfb", ":" + number, "-displayfd", "3", "-screen", "0", "1280x1024x24",
                                    "-nolisten", "tcp"};
  if (endWithLastClient) words.push_back("-terminate");
  std::vector<char*> arguments;
  for (auto& word : words) arguments.push_back(word.data());
  arguments.push_back(nullptr);
  // Its signals at their defaults and none blocked, whatever this process
  // was started with (as kit/testing/spawn_attributes.h starts programs).
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  const int spawned = posix_spawnp(&pid, "Xvfb", &actions, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(ready[1]);
  if (spawned != 0) {
    pid = 0;
    close(ready[0]);
    return {};
  }
  // The server writes its display number once it accepts connections.
  std::string written;
  char c;
  while (read(ready[0], &c, 1) == 1 && c != '\n') written += c;
  close(ready[0]);
  if (written.empty()) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = 0;
  }
  return written;
}

}  // namespace

std::string spawnXvfb(pid_t& pid, bool endWithLastClient) {
  // A number drawn from a wide range, not the lowest free one: a display a
  // test has just stopped is not taken at once by another test running
  // beside it, whose server a program still starting for the stopped one
  // would otherwise reach (and show its window on).
  std::mt19937 draw(std::random_device{}());
  std::uniform_int_distribution<int> numbers(1000, 29999);
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::string display = spawnXvfbAt(std::to_string(numbers(draw)), pid, endWithLastClient);
    if (!display.empty()) return display;
  }
  return {};
}

bool XServer::start() {
  if (pid_ > 0) return true;
  const std::string display = spawnXvfb(pid_, false);
  if (display.empty()) return false;
  name_ = ":" + display;
  return true;
}

void XServer::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = 0;
}

}  // namespace kit::test
