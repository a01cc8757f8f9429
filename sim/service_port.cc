// Where a simulated service listens. See service_port.h.

#include "sim/service_port.h"

#include <string>

namespace sim {

PortUnavailable::PortUnavailable(int port)
    : std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port)), port_(port) {}

std::unique_ptr<kit::test::TestServer> listenForService(int port) {
  auto server = kit::test::TestServer::startHTTP(port);
  if (!server) throw PortUnavailable(port);
  return server;
}

}  // namespace sim
