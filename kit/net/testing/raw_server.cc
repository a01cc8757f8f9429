// The raw-reply server: an accepting thread and a thread per connection.
#include "kit/net/testing/raw_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace kit::test {

RawServer::RawServer(std::string reply) : RawServer(Reply([reply](const std::string&) { return reply; })) {}

RawServer::RawServer(Reply reply) : reply_(std::move(reply)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    return;
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

RawServer::~RawServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (int fd : open_) shutdown(fd, SHUT_RDWR);
  }
  if (listener_ >= 0) shutdown(listener_, SHUT_RDWR);  // ends a pending accept
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& worker : workers) worker.join();
  if (listener_ >= 0) close(listener_);
}

std::string RawServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

size_t RawServer::connectionCount() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

void RawServer::acceptLoop() {
  for (;;) {
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    std::lock_guard lock(mutex_);
    if (stopping_) {
      close(fd);
      return;
    }
    ++accepted_;
    open_.push_back(fd);
    workers_.emplace_back([this, fd] { serve(fd); });
  }
}

void RawServer::serve(int fd) {
  std::string head;
  char buffer[4096];
  bool gotHead = false;
  while (!gotHead) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
    gotHead = head.find("\r\n\r\n") != std::string::npos;
  }
  if (gotHead) {
    const std::string reply = reply_(head);
    size_t sent = 0;
    while (sent < reply.size()) {
      const ssize_t n = send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;  // the client gave up reading
      sent += static_cast<size_t>(n);
    }
    // The end of the reply; whatever the client still sends is read and
    // dropped until it closes, so that no reset cuts off what it has not
    // read yet.
    shutdown(fd, SHUT_WR);
    while (recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
  }
  std::lock_guard lock(mutex_);
  open_.erase(std::remove(open_.begin(), open_.end(), fd), open_.end());
  close(fd);
}

}  // namespace kit::test
