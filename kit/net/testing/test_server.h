// An HTTP or HTTPS server on 127.0.0.1, for tests and the simulator.
// Routes are scripted per method and path (or path prefix); every request is
// logged (method, path, query, headers, the raw body, the decoded form fields
// and the parts of a multipart body) before its route runs. A route's answer
// can carry fault modes: a delay, silence, a connection closed in the middle
// of the body, chunked writes flushed one by one with pauses between them,
// any status, an empty body, a redirect. A request with a Range header gets
// the range of a plain body (206), as a real server would.
//
//   auto server = kit::test::TestServer::startHTTP();
//   server->route("GET", "/hello", kit::test::TestResponse::text("hi"));
//   server->route("*", "/api/*", [](const kit::test::RecordedRequest& r) { ... });
//   ... request server->url("/hello") ...
//   EXPECT_EQ(server->requests().size(), 1u);
//
// Connections are kept alive for as long as the client wants them (up to
// ten idle seconds each), and every open connection has a worker of its own,
// so a client with many requests in flight measures itself, not the server.
// Stopping the server (or destroying it) shuts down the connections it
// accepted, so a client's idle keep-alive connections never hold it.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kit/net/http_header_fields.h"
#include "kit/net/testing/multipart_form.h"
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
  // The body as received, byte for byte (after any chunked framing is
  // removed), multipart bodies included.
  std::string body;
  // The fields of an application/x-www-form-urlencoded body, or of the
  // query for other requests, percent-decoded, in order.
  std::vector<std::pair<std::string, std::string>> form;
  // The parts of a multipart/form-data body, in order; empty for other
  // bodies and for a multipart body that does not parse.
  std::vector<FormPart> parts;
  bool secure = false;

  std::optional<std::string> header(std::string_view name) const { return headers.value(name); }
  std::optional<std::string> formValue(std::string_view name) const;
  // "path?query", or the path alone when there is no query.
  std::string target() const { return query.empty() ? path : path + "?" + query; }
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
  // A page: text/html in UTF-8.
  static TestResponse html(std::string body, int status = 200);
  static TestResponse redirect(std::string location, int status = 302);
  static TestResponse withStatus(int code);
};

// Runs on one of the server's threads, possibly several at once.
using RouteHandler = std::function<TestResponse(const RecordedRequest& request)>;

class TestServer {
 public:
  // Listens on `port`, or on a port the system picks when it is 0. nullptr
  // when the port cannot be bound.
  static std::unique_ptr<TestServer> startHTTP(int port = 0);
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

  // Routes match the method ("*" for any) and the path: the exact path, or
  // with a path ending in "*" every path that starts with what comes before
  // the "*". An exact route comes before a prefix route, and a longer prefix
  // before a shorter one. Routing the same method and path again replaces
  // the handler. Unrouted requests get 404 "not found".
  void route(const std::string& method, const std::string& path, RouteHandler handler);
  void route(const std::string& method, const std::string& path, TestResponse response);

  std::vector<RecordedRequest> requests() const;
  size_t requestCount() const;
  void clearLog();
  // Waits (on a condition, not a sleep) until `count` requests were logged.
  bool waitForRequests(size_t count, double timeoutSeconds) const;
  // Connections accepted so far, whether or not a request (or a completed
  // TLS handshake) followed.
  size_t connectionCount() const;

  // Holds the answers to requests for `path` (logged as they come) until
  // releaseAnswers(path) or the server stops: a server that answers when
  // its caller says so, as a slow one would, without a time-out of its own.
  void holdAnswers(const std::string& path);
  // Holds the chunks after the first of chunked answers to `path` until
  // releaseAnswers(path) or the server stops: an answer that has begun and
  // goes on when its caller says so.
  void holdLaterChunks(const std::string& path);
  void releaseAnswers(const std::string& path);

  // Ends silent and delayed answers, stops listening and shuts down the
  // connections it accepted. Called by the destructor.
  void stop();

 private:
  struct Route {
    std::string method;
    std::string path;  // without the trailing "*" of a prefix route
    bool prefix = false;
    RouteHandler handler;
  };

  TestServer(std::unique_ptr<httplib::Server> server, bool secure);
  bool start(int port);
  RouteHandler handlerFor(const RecordedRequest& request) const;
  void handle(const void* request, void* response);
  // Waits up to `seconds` (for ever when negative) unless the server stops;
  // true when it stopped.
  bool waitStopping(double seconds);

  std::unique_ptr<httplib::Server> server_;
  bool secure_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Route> routes_;
  std::vector<RecordedRequest> log_;
  size_t connections_ = 0;
  std::set<std::string> held_;
  std::set<std::string> heldChunks_;
  bool stopping_ = false;
};

// Percent-decodes a form component ("+" is a space); invalid escapes are
// kept as they are.
std::string decodeFormComponent(std::string_view text);
std::vector<std::pair<std::string, std::string>> decodeForm(std::string_view text);

}  // namespace kit::test
