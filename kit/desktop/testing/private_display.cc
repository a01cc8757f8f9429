// See private_display.h.

#include "kit/desktop/testing/private_display.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

extern char** environ;

namespace kit::test {

namespace {

pid_t server = 0;

void stopServer() {
  if (server <= 0) return;
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  server = 0;
}

bool startServer() {
  // Where the tests were given no display, they skip; a private one would
  // not change that.
  if (!std::getenv("DISPLAY")) return false;
  int number[2];
  if (pipe(number) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, number[1], 3);
  // The server writes nothing to the test's output, and ends when its last
  // client goes (-terminate): a test process that aborts leaves no server
  // behind, nor one holding the test's output open.
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  char* arguments[] = {const_cast<char*>("Xvfb"), const_cast<char*>("-displayfd"), const_cast<char*>("3"),
                       const_cast<char*>("-screen"), const_cast<char*>("0"),
                       const_cast<char*>("1280x1024x24"), const_cast<char*>("-nolisten"),
                       const_cast<char*>("tcp"), const_cast<char*>("-terminate"), nullptr};
  const int spawned = posix_spawnp(&server, "Xvfb", &actions, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(number[1]);
  if (spawned != 0) {
    server = 0;
    close(number[0]);
    return false;
  }
  // The server writes its display number once it accepts connections.
  std::string display;
  char c;
  while (read(number[0], &c, 1) == 1 && c != '\n') display += c;
  close(number[0]);
  if (display.empty()) {
    stopServer();
    return false;
  }
  // Held until the process exits: a client that opens the display and
  // closes it again (a program the test starts, a test's own connection)
  // would otherwise be the last one and end the server under the next test.
  static Display* const held = XOpenDisplay((":" + display).c_str());
  if (!held) {
    stopServer();
    return false;
  }
  std::atexit(stopServer);
  setenv("DISPLAY", (":" + display).c_str(), 1);
  // The virtual screen's windows have one pixel per GDK unit, whatever
  // scale the desktop that runs the tests asks GDK for.
  unsetenv("GDK_SCALE");
  return true;
}

}  // namespace

bool usePrivateDisplay() {
  static const bool started = startServer();
  return started;
}

}  // namespace kit::test
