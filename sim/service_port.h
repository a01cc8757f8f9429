// Where a simulated service listens: 127.0.0.1 at a port the system picks,
// or at one the caller names (the simulator program takes them from its
// command line).
#pragma once

#include <memory>
#include <stdexcept>

#include "kit/net/testing/test_server.h"

namespace sim {

// A port that cannot be listened on (taken, or not ours to use). Made when
// listening there failed, it asks the system why: its text names the port
// and the system's reason ("Address already in use").
class PortUnavailable : public std::runtime_error {
 public:
  explicit PortUnavailable(int port);
  int port() const { return port_; }

 private:
  int port_;
};

// A started server at `port` (0: the system picks one). Throws
// PortUnavailable when it cannot listen there.
std::unique_ptr<kit::test::TestServer> listenForService(int port);

}  // namespace sim
