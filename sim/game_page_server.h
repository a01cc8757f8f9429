// The game's resource server, played on 127.0.0.1: it serves the H5 game
// page at "/games/<game id>/index.html" (our own small canvas game, see
// game_page.h; the browser engine runs it, unit tests play its part with
// the page driver) and logs what was asked for. It can be taken down and brought back on the same port, so a
// client that failed to load the page can retry the same address.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kit/net/testing/test_server.h"

namespace sim {

class GamePageServer {
 public:
  // Starts serving at `port`, or at a port the system picks for 0
  // (PortUnavailable when it cannot).
  explicit GamePageServer(std::string gameId = "1001", int port = 0);
  ~GamePageServer();
  GamePageServer(const GamePageServer&) = delete;
  GamePageServer& operator=(const GamePageServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT/games/<game id>/index.html?_channel=nuva"
  std::string pageURL() const;

  // Stops listening and closes the open connections; connections to the
  // port are refused until up().
  void down();
  // Listens again on the same port.
  bool up();
  bool isUp() const;

  // The request targets served (path and query), in order, across downs
  // and ups.
  std::vector<std::string> requests() const;
  // Waits (on a condition) until `count` requests have been served, or
  // `timeoutSeconds` pass; true when they have.
  bool waitForRequests(size_t count, double timeoutSeconds) const;

  // The page's HTML.
  static std::string pageHTML(const std::string& gameId);

 private:
  bool listen(int port);

  std::string gameId_;
  int port_ = 0;
  std::unique_ptr<kit::test::TestServer> server_;
  // What the servers taken down had served.
  std::vector<std::string> earlier_;
};

}  // namespace sim
