// A server on 127.0.0.1 that answers each connection with bytes a test
// writes out in full: the status line, the header block and the body as
// they go on the wire, so a test can send what a well-behaved server never
// would (a malformed or conflicting framing, a head of a megabyte, a
// compressed body cut short). For each connection it reads the request
// head, writes the reply and ends its side of the connection; a reply that
// the client stops reading (a head it refuses) is abandoned quietly.
//
//   kit::test::RawServer server("HTTP/1.1 200 OK\r\nContent-Length: 1e3\r\n\r\nabc");
//   ... request server.url("/") ...
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kit::test {

class RawServer {
 public:
  // The reply to every request; it gets the request head as received.
  using Reply = std::function<std::string(const std::string& requestHead)>;

  explicit RawServer(std::string reply);
  explicit RawServer(Reply reply);
  // Shuts down open connections and joins every thread.
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  // Connections accepted so far.
  size_t connectionCount() const;

 private:
  void acceptLoop();
  void serve(int fd);

  Reply reply_;
  int listener_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::vector<int> open_;
  std::vector<std::thread> workers_;
  size_t accepted_ = 0;
  bool stopping_ = false;
};

}  // namespace kit::test
