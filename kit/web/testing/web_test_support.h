// Helpers for the web views' tests: a loopback port nobody listens on, and
// the thread check the delegates' events are held to.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "kit/dispatch/runloop.h"

namespace kit::test {

// A port on 127.0.0.1 that was free a moment ago: connecting is refused.
inline int closedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

inline std::string closedPortURL(const std::string& path = "/") {
  return "http://127.0.0.1:" + std::to_string(closedPort()) + path;
}

}  // namespace kit::test
