// See x_server.h.

#include "kit/desktop/testing/x_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kit::test {

std::string spawnXvfb(pid_t& pid, bool endWithLastClient) {
  pid = 0;
  int number[2];
  if (pipe(number) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, number[1], 3);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  char* arguments[] = {const_cast<char*>("Xvfb"),      const_cast<char*>("-displayfd"),
                       const_cast<char*>("3"),         const_cast<char*>("-screen"),
                       const_cast<char*>("0"),         const_cast<char*>("1280x1024x24"),
                       const_cast<char*>("-nolisten"), const_cast<char*>("tcp"),
                       endWithLastClient ? const_cast<char*>("-terminate") : nullptr,
                       nullptr};
  const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(number[1]);
  if (spawned != 0) {
    pid = 0;
    close(number[0]);
    return {};
  }
  // The server writes its display number once it accepts connections.
  std::string display;
  char c;
  while (read(number[0], &c, 1) == 1 && c != '\n') display += c;
  close(number[0]);
  if (display.empty()) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = 0;
  }
  return display;
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
