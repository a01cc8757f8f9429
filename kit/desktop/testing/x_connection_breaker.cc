// See x_connection_breaker.h.

#include "kit/desktop/testing/x_connection_breaker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kit::test {

namespace {

// The address of display number `number`'s socket: in the abstract
// namespace, or the file of the same name.
socklen_t displayAddress(int number, bool abstract, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
  const size_t offset = abstract ? 1 : 0;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
}

int connectToDisplay(int number) {
  for (bool abstract : {true, false}) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un address;
    const socklen_t length = displayAddress(number, abstract, address);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) return fd;
    close(fd);
  }
  return -1;
}

// Rounded up to X's four-byte units.
size_t padded(size_t length) { return (length + 3) & ~size_t{3}; }

// The 16-bit field at `at` in the connection's byte order.
size_t field16(const std::vector<uint8_t>& bytes, size_t at, bool bigEndian) {
  return bigEndian ? (bytes[at] << 8 | bytes[at + 1]) : (bytes[at + 1] << 8 | bytes[at]);
}

}  // namespace

bool XConnectionBreaker::start() {
  if (listener_ >= 0) return true;
  const int server = server_.size() > 1 && server_[0] == ':' ? std::atoi(server_.c_str() + 1) : -1;
  if (server < 0) return false;
  // Well above the numbers X servers take for themselves (from 0 up), and
  // not one a server holds through its lock file or its socket file.
  for (int number = 600; number < 1000 && listener_ < 0; ++number) {
    struct stat held;
    if (stat(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), &held) == 0 ||
        stat(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), &held) == 0)
      continue;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address;
    const socklen_t length = displayAddress(number, true, address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(fd, 8) == 0) {
      listener_ = fd;
      name_ = ":" + std::to_string(number);
    } else {
      close(fd);
    }
  }
  if (listener_ < 0) return false;
  stopping_ = eventfd(0, EFD_CLOEXEC);
  thread_ = std::thread([this, server] {
    for (;;) {
      pollfd ready[2] = {{listener_, POLLIN, 0}, {stopping_, POLLIN, 0}};
      if (poll(ready, 2, -1) < 0) continue;
      if (ready[1].revents) return;
      const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      const int upstream = connectToDisplay(server);
      if (upstream >= 0) {
        if (relaySetup(client, upstream)) ++broken_;
        close(upstream);
      }
      close(client);
    }
  });
  return true;
}

// Reads exactly `bytes.size()` bytes from `fd` unless the breaker stops
// or the peer closes first.
bool XConnectionBreaker::receive(int fd, std::vector<uint8_t>& bytes, size_t from) const {
  for (size_t got = from; got < bytes.size();) {
    pollfd ready[2] = {{fd, POLLIN, 0}, {stopping_, POLLIN, 0}};
    if (poll(ready, 2, -1) < 0) continue;
    if (ready[1].revents) return false;
    const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

bool XConnectionBreaker::send(int fd, const std::vector<uint8_t>& bytes) {
  for (size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool XConnectionBreaker::relaySetup(int client, int upstream) const {
  // The client's setup request: byte order, version, then its
  // authorization's name and data, each padded.
  std::vector<uint8_t> request(12);
  if (!receive(client, request)) return false;
  const bool bigEndian = request[0] == 'B';
  request.resize(12 + padded(field16(request, 6, bigEndian)) + padded(field16(request, 8, bigEndian)));
  if (!receive(client, request, 12) || !send(upstream, request)) return false;
  // The server's answer: eight bytes, then as many four-byte units more
  // as they say.
  std::vector<uint8_t> answer(8);
  if (!receive(upstream, answer)) return false;
  answer.resize(8 + 4 * field16(answer, 6, bigEndian));
  if (!receive(upstream, answer, 8) || !send(client, answer)) return false;
  // The first request (or the client's closing) ends the connection; one
  // whose setup the server refused is not counted.
  pollfd ready[2] = {{client, POLLIN, 0}, {stopping_, POLLIN, 0}};
  while (poll(ready, 2, -1) < 0) {
  }
  return ready[0].revents != 0 && answer[0] == 1;
}

void XConnectionBreaker::stop() {
  if (listener_ < 0) return;
  const uint64_t one = 1;
  if (write(stopping_, &one, sizeof one) != sizeof one) return;
  thread_.join();
  close(stopping_);
  close(listener_);
  stopping_ = listener_ = -1;
}

}  // namespace kit::test
