// An HTTP/2 server over TLS on 127.0.0.1 (ALPN "h2" only), for tests of
// what a client makes of frames on a connection that are not its
// request's. Requests are left unanswered until the test answers them: a
// test can answer one with a head and then its body a piece at a time,
// keeping the stream open, and send PINGs on every connection, on demand
// or on a timer. Nothing else: no routes, no request bodies. One thread
// serves every connection (nghttp2's server session over non-blocking
// OpenSSL sockets); the test's calls are posted to it.
//
//   kit::test::Http2Server server(kit::test::TestCertificates::shared().localhost);
//   ... request server.url("/stalled") and server.url("/trickle") ...
//   server.waitForRequest("/trickle");
//   server.write("/trickle", "a");  // a 200 head, then a DATA frame "a"
//   server.ping();
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kit/net/testing/test_certificates.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace kit::test {

class Http2Server {
 public:
  explicit Http2Server(const TestIdentity& identity);
  // Closes every connection and joins the server's thread.
  ~Http2Server();
  Http2Server(const Http2Server&) = delete;
  Http2Server& operator=(const Http2Server&) = delete;

  bool listening() const { return port_ != 0; }
  int port() const { return port_; }
  // "https://127.0.0.1:PORT" + path.
  std::string url(const std::string& path) const;

  // Connections that completed their handshake with "h2" negotiated.
  size_t connectionCount() const;
  // Waits (on a condition) until a request for `path` has come.
  bool waitForRequest(const std::string& path, double seconds = 10) const;
  // Sends `bytes` as a DATA frame on the stream of the first request for
  // `path`, which stays open; the first write answers the request with a
  // 200 head first. False when no such request came.
  bool write(const std::string& path, const std::string& bytes);
  // Sends a PING on every connection.
  void ping();
  // Sends a PING on every connection every `seconds` of real time from
  // now on (0: no more).
  void pingEvery(double seconds);
  // PING acknowledgements the clients sent so far, and a wait (on a
  // condition) until there are `count`.
  size_t pingAcknowledgements() const;
  bool waitForPingAcknowledgements(size_t count, double seconds = 10) const;

  // The server thread's state of a connection and of a stream on it.
  struct Connection;
  struct Stream;
  // For the session's callbacks (server thread).
  void noteConnection();
  void noteRequest(uint64_t connection, int32_t stream, const std::string& path);
  void notePingAcknowledged();

 private:
  struct Request {
    std::string path;
    uint64_t connection;  // its serial
    int32_t stream;
  };

  void run();
  void acceptConnection();
  // Takes the commands posted; false when the server stops.
  bool takeCommands(std::vector<std::function<void()>>& into);
  void post(std::function<void()> command);
  void sendPings();
  void answer(uint64_t connection, int32_t stream, const std::string& bytes);
  bool hasRequest(const std::string& path) const;

  SSL_CTX* context_ = nullptr;
  int listener_ = -1;
  int wake_ = -1;  // an eventfd
  int port_ = 0;
  std::thread thread_;
  // Server thread.
  std::vector<std::unique_ptr<Connection>> connections_;
  uint64_t serials_ = 0;
  std::chrono::steady_clock::time_point nextPing_;
  std::chrono::duration<double> pingInterval_{0};

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::function<void()>> commands_;
  std::vector<Request> requests_;
  size_t connectionsMade_ = 0;
  size_t pingAcknowledgements_ = 0;
  bool stopping_ = false;
};

}  // namespace kit::test
