// A display that breaks every connection to it right after the
// connection's setup: a test runs a program on it to see what the program
// does when its display goes while the toolkit is still opening it. Each
// client's connection is relayed to a real X server (the setup request and
// the server's answer pass through, so the client takes the display for a
// working one) and closed, both ways, as soon as the client sends its
// first request: the client's first round trip finds the connection gone,
// every time, with no timing involved.
//
//   kit::test::XServer server;
//   if (!server.start()) GTEST_SKIP() << "needs Xvfb";
//   kit::test::XConnectionBreaker breaker(server.name());
//   ASSERT_TRUE(breaker.start());
//   ... run the program with DISPLAY=breaker.name() ...
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace kit::test {

class XConnectionBreaker {
 public:
  // Relays to the local X server `server` (":M").
  explicit XConnectionBreaker(std::string server) : server_(std::move(server)) {}
  ~XConnectionBreaker() { stop(); }
  XConnectionBreaker(const XConnectionBreaker&) = delete;
  XConnectionBreaker& operator=(const XConnectionBreaker&) = delete;

  // Takes a free display number of its own (its socket in the abstract
  // namespace, where Xlib looks first for a local display) and starts
  // serving it; false when no number could be had.
  bool start();
  // Its display (":N"), once started.
  const std::string& name() const { return name_; }
  // The connections broken so far, after their setup passed.
  int connectionsBroken() const { return broken_; }
  // Stops serving (a connection being relayed is closed).
  void stop();

 private:
  // Passes a connection's setup from `client` to `upstream` and the
  // answer back, then waits for the client's first request; true when it
  // came (or the client closed) after a setup that passed.
  bool relaySetup(int client, int upstream) const;
  bool receive(int fd, std::vector<uint8_t>& bytes, size_t from = 0) const;
  static bool send(int fd, const std::vector<uint8_t>& bytes);

  std::string server_;
  std::string name_;
  int listener_ = -1;
  int stopping_ = -1;
  std::atomic<int> broken_{0};
  std::thread thread_;
};

}  // namespace kit::test
