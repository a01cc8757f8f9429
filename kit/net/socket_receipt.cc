// The kernel's receive counters of a TCP socket (TCP_INFO).
#include "kit/net/socket_receipt.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>

namespace kit::netdetail {

std::optional<SocketReceipt> socketReceipt(int fd) {
  tcp_info info{};
  socklen_t length = sizeof info;
  if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
      length < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received) {
    return std::nullopt;
  }
  return SocketReceipt{info.tcpi_bytes_received, info.tcpi_last_data_recv / 1000.0};
}

}  // namespace kit::netdetail
