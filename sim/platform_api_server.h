// The local platform API server: the service the platform request clients
// post to, under the path prefix "/sdkapicoupon/".
//
// It reads requests as the real server does: a scrambled gzip body (checked
// strictly, see PlatformBodyCodec), form fields for form posts and queries,
// or the parts of a multipart upload. Each endpoint answers from a
// scriptable route: a scrambled gzip reply (its base64 on one line), a plain
// gzip reply, plain JSON, or raw bytes, with any status and the test
// server's fault modes (kit/net/testing/test_server.h). A body that
// does not decode gets a scrambled error reply with status 400; an endpoint
// without a route gets a scrambled 404. Replies never declare a
// Content-Encoding. Every request is kept, decoded, in the request log.
//
// Each endpoint is scriptable on top of its route: a fault for every
// request (the channel servers' RouteFault modes), then a queue of canned
// replies used one per request, then the route. The same host serves the
// platform's web pages outside the API prefix (routePage). The platform's
// own behaviour (accounts, orders ...) is PlatformService's, which routes
// its endpoints here.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "kit/net/http_header_fields.h"
#include "kit/net/testing/test_server.h"
#include "sim/channel_route_server.h"

namespace sim {

// A request as the server understood it.
struct PlatformAPIRequest {
  kit::test::RecordedRequest exchange;  // as it came over the wire
  std::string endpoint;  // the path after "/sdkapicoupon/"
  // The decoded body of a scrambled post, else nil.
  kit::Id parameters;
  // Why a scrambled body was refused; empty when it decoded (or was none).
  std::string decodeFailure;
  // A field of a form post, or of the query of other requests.
  std::optional<std::string> formValue(std::string_view name) const { return exchange.formValue(name); }
};

struct PlatformAPIReply {
  enum class Form {
    Scrambled,  // gzip(scrambled single-line base64 of the JSON)
    Plain,      // gzip(JSON)
    JSON,       // the JSON text as it is
    Raw,        // `raw` as it is
  };
  Form form = Form::Scrambled;
  kit::Id object;
  std::string raw;
  int status = 200;
  std::string contentType = "text/html";
  kit::HTTPHeaderFields headers;  // e.g. a Location for a redirect

  // Fault modes.
  double delaySeconds = 0;
  bool silent = false;
  bool closeMidBody = false;
  size_t chunkCount = 0;  // write the body in this many pieces
  double chunkIntervalSeconds = 0;

  static PlatformAPIReply scrambled(kit::Id object, int status = 200);
  static PlatformAPIReply plain(kit::Id object, int status = 200);
  static PlatformAPIReply json(kit::Id object, int status = 200);
  static PlatformAPIReply bytes(std::string raw, int status = 200);
  static PlatformAPIReply silence();

  // The body bytes this reply sends.
  std::string encodedBody() const;
  // The reply as the test server sends it, faults included.
  kit::test::TestResponse response() const;
};

using PlatformAPIHandler = std::function<PlatformAPIReply(const PlatformAPIRequest&)>;

class PlatformAPIServer {
 public:
  static constexpr const char* kPathPrefix = "/sdkapicoupon/";

  // A started server, at `port` or at a port the system picks for 0
  // (PortUnavailable when it cannot).
  static std::unique_ptr<PlatformAPIServer> start(int port = 0);
  ~PlatformAPIServer();
  PlatformAPIServer(const PlatformAPIServer&) = delete;
  PlatformAPIServer& operator=(const PlatformAPIServer&) = delete;

  int port() const { return server_->port(); }
  // "http://127.0.0.1:PORT"
  std::string origin() const { return server_->baseURL(); }
  // origin() + "/sdkapicoupon/": what the client's base URL must be.
  std::string baseURL() const;
  // The client's configuration entries for this server (see
  // bundle_configuration.h).
  kit::Ref<kit::Dictionary> configurationEntries() const;

  // Routes an endpoint (the path after the prefix, e.g. "pay/getjiasu").
  // A later route for the same endpoint replaces the earlier one.
  void route(const std::string& endpoint, PlatformAPIHandler handler);
  void route(const std::string& endpoint, PlatformAPIReply reply);

  // A fault for every later request to the endpoint, before its queued
  // replies and its route; RouteFault::None ends it. Delay answers after
  // 12 seconds, past the clients' 10-second time-out.
  void setFault(const std::string& endpoint, RouteFault fault);
  // Holds the endpoint's answers (its requests are logged as they come)
  // until released or the server stops.
  void holdAnswers(const std::string& endpoint) { server_->holdAnswers(kPathPrefix + endpoint); }
  void releaseAnswers(const std::string& endpoint) { server_->releaseAnswers(kPathPrefix + endpoint); }
  // A canned reply for the next request to the endpoint that no fault
  // takes; replies queue up and are used in order, then the route answers
  // again.
  void enqueue(const std::string& endpoint, PlatformAPIReply reply);
  // Serves a path of this host outside the API prefix (an exact path, or a
  // prefix ending in "*"): the platform's web pages.
  void routePage(const std::string& pattern, kit::test::RouteHandler handler);

  // The decoded request log, in arrival order.
  std::vector<PlatformAPIRequest> apiRequests() const;
  // The decoded requests to one endpoint, in arrival order.
  std::vector<PlatformAPIRequest> requestsTo(const std::string& endpoint) const;
  // The requests as they came over the wire, in arrival order.
  std::vector<kit::test::RecordedRequest> requests() const { return server_->requests(); }
  size_t requestCount() const { return server_->requestCount(); }
  // Waits (on a condition) until `count` requests have come in.
  bool waitForRequests(size_t count, double timeoutSeconds = 10) const {
    return server_->waitForRequests(count, timeoutSeconds);
  }
  void clearLog();

 private:
  explicit PlatformAPIServer(int port);
  kit::test::TestResponse answer(const kit::test::RecordedRequest& received);

  mutable std::mutex mutex_;
  std::map<std::string, PlatformAPIHandler> routes_;
  std::map<std::string, RouteFault> faults_;
  std::map<std::string, std::deque<PlatformAPIReply>> queued_;
  std::vector<PlatformAPIRequest> apiLog_;
  // Last, so that it stops before the routes and the log go: its answers
  // read them.
  std::unique_ptr<kit::test::TestServer> server_;
};

}  // namespace sim
