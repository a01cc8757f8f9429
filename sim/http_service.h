// The common ground of the simulator's services: an HTTP server on
// 127.0.0.1 with an ephemeral port, a log of every request it received, and
// answers that can carry fault modes (a delay, silence until the service
// stops, a connection closed in the middle of the body, a body written in
// chunks with pauses between them, any status, an empty body).
//
// A service derives from HttpService and answers each request in answer();
// the base class records the request first and then carries out the answer,
// faults included.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace sim {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One part of a multipart/form-data body.
struct FormPart {
  std::string name;
  std::string filename;
  std::string contentType;
  std::string content;
};

// One request as the service received it.
struct HttpExchange {
  std::string method;
  std::string path;   // without the query
  std::string query;  // without "?"
  HeaderList headers;
  std::string body;  // raw bytes (empty for a multipart body, which is in `parts`)
  std::vector<FormPart> parts;

  // The first header of that name (compared without case).
  std::optional<std::string> header(std::string_view name) const;
};

// What the service answers, and how.
struct HttpAnswer {
  int status = 200;
  HeaderList headers;
  std::string contentType = "text/html";  // empty: no Content-Type header
  std::string body;

  // Fault modes.
  double delaySeconds = 0;          // wait before answering
  bool silent = false;              // never answer while the service runs
  bool closeMidBody = false;        // announce the whole body, send half, close
  std::vector<std::string> chunks;  // chunked transfer, one write per chunk
  double chunkIntervalSeconds = 0;  // pause between chunks
};

class HttpService {
 public:
  HttpService();
  virtual ~HttpService();
  HttpService(const HttpService&) = delete;
  HttpService& operator=(const HttpService&) = delete;

  // Binds 127.0.0.1 on a port the system picks and starts serving.
  void start();
  // Ends silent and delayed answers and stops serving. Derived classes call
  // it from their destructors, so that no request reaches a half-destroyed
  // service.
  void stop();

  int port() const { return port_; }
  // "http://127.0.0.1:PORT"
  std::string origin() const;

  std::vector<HttpExchange> requests() const;
  size_t requestCount() const;
  void clearLog();
  // Waits on a condition (never a fixed sleep) until `count` requests were
  // logged; false after `timeoutSeconds`.
  bool waitForRequests(size_t count, double timeoutSeconds = 10) const;

 protected:
  // Runs on one of the server's threads, possibly several at once.
  virtual HttpAnswer answer(const HttpExchange& request) = 0;

 private:
  void handle(const void* request, void* response);
  // Waits up to `seconds` (forever when negative) unless the service stops;
  // true when it stopped.
  bool waitStopping(double seconds);

  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<HttpExchange> log_;
  bool stopping_ = false;
};

}  // namespace sim
