// Internal: what a connected TCP socket has received so far and how long
// ago its last data came, as the kernel counts them. On a connection that
// carries one request at a time (HTTP/1.x), bytes that libcurl reads but
// keeps to itself (part of a head line, a chunk's framing, a TLS record's)
// still show the request is alive, and when they came; an HTTP/2
// connection's bytes may be anyone's.
#pragma once

#include <cstdint>
#include <optional>

namespace kit::netdetail {

struct SocketReceipt {
  uint64_t bytes = 0;
  // Real time since the last data arrived (the kernel keeps it to a few
  // milliseconds).
  double secondsSinceLastData = 0;
};

// nullopt when `fd` is not a TCP socket the kernel reports on.
std::optional<SocketReceipt> socketReceipt(int fd);

}  // namespace kit::netdetail
