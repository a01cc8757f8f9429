// An HTTP or HTTPS server on 127.0.0.1 with an ephemeral port, for tests.
// Routes are scripted per method and path; every request is logged (method,
// path, query, headers, raw body and the decoded form fields) before its
// route runs. A route's answer can carry fault modes: a delay, silence, a
// connection closed in the middle of the body, chunked writes flushed one by
// one with pauses between them, any status, an empty body, a redirect. A
// request with a Range header gets the range of a plain body (206), as a
// real server would.
//
//   auto server = kit::test::TestServer::startHTTP();
//   server->route("GET", "/hello", kit::test::TestResponse::text("hi"));
//   ... request server->url("/hello") ...
//   EXPECT_EQ(server->requests().size(), 1u);
//
// Let go of client sessions before the server: stopping waits for
// connections a client keeps alive (up to two seconds each).
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kit/net/http_header_fields.h"
#include "kit/net/testing/test_certificates.h"

namespace httplib {
class Server;
}

namespace kit::test {

struct RecordedRequest {
  std::string method;
  std::string path;
  std::string query;  // without "?"
  HTTPHeaderFields headers;
  std::string body;  // as received (after any chunked framing is removed)
  // The fields of an application/x-www-form-urlencoded body, or of the
  // query for other requests, percent-decoded, in order.
  std::vector<std::pair<std::string, std::string>> form;
  bool secure = false;

  std::optional<std::string> header(std::string_view name) const { return headers.value(name); }
  std::optional<std::string> formValue(std::string_view name) const;
};

struct TestResponse {
  int status = 200;
  HTTPHeaderFields headers;
  std::string contentType = "text/plain";
  std::string body;

  // Fault modes.
  double delaySeconds = 0;          // wait before answering
  bool silent = false;              // never answer (until the server stops)
  bool closeMidBody = false;        // announce the whole body, send half, close
  std::vector<std::string> chunks;  // chunked transfer, one flush per chunk
  double chunkIntervalSeconds = 0;  // pause between chunks

  static TestResponse text(std::string body, int status = 200);
  static TestResponse json(std::string body, int status = 200);
  static TestResponse redirect(std::string location, int status = 302);
  static TestResponse withStatus(int code);
};

using RouteHandler = std::function<TestResponse(const RecordedRequest& request)>;

class TestServer {
 public:
  static std::unique_ptr<TestServer> startHTTP();
  static std::unique_ptr<TestServer> startHTTPS(const TestIdentity& identity);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int port() const { return port_; }
  bool secure() const { return secure_; }
  // "http://127.0.0.1:PORT" (or https).
  std::string baseURL() const;
  std::string url(std::string_view pathAndQuery) const { return baseURL() + std::string(pathAndQuery); }
  // The same with "localhost" as the host.
  std::string localhostURL(std::string_view pathAndQuery) const;

  // Routes match the method ("*" for any) and the exact path. Later routes
  // for the same method and path replace earlier ones. Unrouted requests get
  // 404 "not found".
  void route(const std::string& method, const std::string& path, RouteHandler handler);
  void route(const std::string& method, const std::string& path, TestResponse response);

  std::vector<RecordedRequest> requests() const;
  size_t requestCount() const;
  void clearLog();
  // Waits (on a condition, not a sleep) until `count` requests were logged.
  bool waitForRequests(size_t count, double timeoutSeconds) const;
  // Connections accepted so far (a TLS handshake counts even when no request
  // follows it).
  size_t connectionCount() const;

  // Ends silent and delayed answers and stops listening. Called by the
  // destructor.
  void stop();

 private:
  TestServer(std::unique_ptr<httplib::Server> server, bool secure);
  void start();
  void handle(const void* request, void* response);
  // Waits up to `seconds` unless the server stops; true when it stopped.
  bool waitStopping(double seconds);

  std::unique_ptr<httplib::Server> server_;
  bool secure_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::pair<std::pair<std::string, std::string>, RouteHandler>> routes_;
  std::vector<RecordedRequest> log_;
  size_t connections_ = 0;
  bool stopping_ = false;
  std::shared_ptr<std::function<void()>> handshakeCounter_;
};

// Percent-decodes a form component ("+" is a space); invalid escapes are
// kept as they are.
std::string decodeFormComponent(std::string_view text);
std::vector<std::pair<std::string, std::string>> decodeForm(std::string_view text);

}  // namespace kit::test
