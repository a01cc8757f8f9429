// See private_display.h.

#include "kit/desktop/testing/private_display.h"

#include <signal.h>
#include <sys/wait.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

#include "kit/desktop/testing/x_server.h"

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
  // The server ends when its last client goes: a test process that aborts
  // leaves no server behind, nor one holding the test's output open.
  const std::string display = spawnXvfb(server, true);
  if (display.empty()) return false;
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
