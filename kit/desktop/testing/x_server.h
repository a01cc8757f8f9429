// An X server a test starts for a program it runs and may take away from
// it while the program uses it (to see what the program does when its
// display goes). The test process itself keeps no connection to it.
//
//   kit::test::XServer server;
//   if (!server.start()) GTEST_SKIP() << "needs Xvfb";
//   ... run the program with DISPLAY=server.name() ...
//   server.stop();                               // the display goes
#pragma once

#include <sys/types.h>

#include <string>

namespace kit::test {

// Starts Xvfb with one 1280 x 1024 screen and no TCP listener, its output
// dropped, and its signals at their defaults (a SIGTERM stops it however
// the test program was started); `endWithLastClient` makes it end when its
// last client goes. Its
// display number once it accepts connections, with *pid its process; an
// empty text (and no process) when it cannot be started.
std::string spawnXvfb(pid_t& pid, bool endWithLastClient);

class XServer {
 public:
  XServer() = default;
  ~XServer() { stop(); }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // Starts Xvfb with one 1280 x 1024 screen; true once it accepts
  // connections.
  bool start();
  // Its display (":N"), once started.
  const std::string& name() const { return name_; }
  // Ends the server and waits for it.
  void stop();

 private:
  pid_t pid_ = 0;
  std::string name_;
};

}  // namespace kit::test
