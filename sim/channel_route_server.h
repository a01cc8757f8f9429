// What the channel platform's two servers (the SDK server and the game
// server) share as stand-ins: routes under one base path on a loopback
// test server, a fault mode per route, and the log of the requests as the
// servers decode them.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/net/testing/test_server.h"

namespace sim {

enum class RouteFault {
  None,
  Delay,            // answers after 5 seconds, past the client's 3-second time-out
  ServerErrorJSON,  // 500 with the server's error envelope ("500", "服务器内部错误")
  EmptyBody,        // 200 with no body
  NotJSON,          // 200 with an HTML body
  CloseConnection,  // announces a body, sends half of it and closes
};

// One request as the server decoded it.
struct ChannelRequest {
  std::string route;  // "login/index", "menu/new" ...
  std::string method;
  std::string query;  // the URL's query, without "?"
  // The form body's fields, or the query's for a request without a form.
  std::map<std::string, std::string> fields;
  std::string rawBody;
  std::string contentType;
  std::string contentLength;

  std::string field(const std::string& name) const;
  bool has(const std::string& name) const { return fields.count(name) > 0; }
};

// A request as the channel servers decode it, for the route it reached.
ChannelRequest decodeChannelRequest(const std::string& route, const kit::test::RecordedRequest& request);

class ChannelRouteServer {
 public:
  // The server's error body for a code and a message.
  using Envelope = std::function<std::string(const std::string& code, const std::string& message)>;

  ChannelRouteServer(const ChannelRouteServer&) = delete;
  ChannelRouteServer& operator=(const ChannelRouteServer&) = delete;

  // "http://127.0.0.1:PORT<base path>": the base URL the client is
  // configured with.
  std::string baseURL() const;
  // A fault for every later request to the route; RouteFault::None ends it.
  void setFault(const std::string& route, RouteFault fault);
  // Holds the route's answers (its requests are logged as they come) until
  // released or the server stops.
  void holdAnswers(const std::string& route);
  void releaseAnswers(const std::string& route);

  // Every request received, in order, decoded.
  std::vector<ChannelRequest> requests() const;
  std::vector<ChannelRequest> requestsTo(const std::string& route) const;
  // How many requests to a route have had their answer chosen (a queued
  // reply or a fault taken); a request is logged before that.
  size_t answersTo(const std::string& route) const;
  size_t requestCount() const;
  // Waits (on a condition) until `count` requests have come in.
  bool waitForRequests(size_t count, double timeoutSeconds = 60) const;
  void clearLog();

 protected:
  // Starts serving on 127.0.0.1 at `port`, or at a port the system picks
  // for 0 (PortUnavailable when it cannot); routes live under `basePath`
  // ("/sdk/", "/game/").
  ChannelRouteServer(std::string basePath, Envelope envelope, int port = 0);
  // The owner stops the server before its own members go, since answers
  // call into it.
  ~ChannelRouteServer();
  void stop();

  // Serves a route (any method) with `answer`, or with the route's fault
  // when it has one.
  using Answer = std::function<kit::test::TestResponse(const std::string& route, const kit::test::RecordedRequest&)>;
  void serve(const std::string& route, Answer answer);
  // Serves a path under the base path as it is, with no fault or decoding.
  void serveGET(const std::string& path, std::function<kit::test::TestResponse()> answer);
  std::string urlOf(const std::string& path) const;

 private:
  std::optional<kit::test::TestResponse> faultAnswer(const std::string& route) const;

  std::string basePath_;
  Envelope envelope_;
  std::unique_ptr<kit::test::TestServer> server_;
  mutable std::mutex mutex_;
  std::map<std::string, RouteFault> faults_;
  std::map<std::string, size_t> answered_;
};

}  // namespace sim
