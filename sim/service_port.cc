// Where a simulated service listens. See service_port.h.

#include "sim/service_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace sim {
namespace {

// Why 127.0.0.1:`port` cannot be listened on, asked of the system the way
// the server asks it (an address that may be reused, then a listen): the
// system's text for the refusal.
std::string refusalOf(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::strerror(errno);
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reason;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0) {
    reason = std::strerror(errno);
  }
  ::close(fd);
  return reason.empty() ? "the server could not start there" : reason;
}

}  // namespace

// The server says only that it failed; the system says why.
PortUnavailable::PortUnavailable(int port)
    : std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + refusalOf(port)),
      port_(port) {}

std::unique_ptr<kit::test::TestServer> listenForService(int port) {
  auto server = kit::test::TestServer::startHTTP(port);
  if (!server) throw PortUnavailable(port);
  return server;
}

}  // namespace sim
