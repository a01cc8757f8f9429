// The local platform API server: the service the platform request clients
// post to, under the path prefix "/sdkapicoupon/".
//
// It reads requests as the real server does: a scrambled gzip body (checked
// strictly, see PlatformBodyCodec), form fields for form posts and queries,
// or the parts of a multipart upload. Each endpoint answers from a scriptable route: a scrambled gzip
// reply (its base64 on one line), a plain gzip reply, plain JSON, or raw
// bytes, with any status and the fault modes of HttpService. A body that
// does not decode gets a scrambled error reply with status 400; an endpoint
// without a route gets a scrambled 404. Replies never declare a
// Content-Encoding. Every request is kept, decoded, in the request log.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "sim/http_service.h"

namespace sim {

// A request as the server understood it.
struct PlatformAPIRequest {
  HttpExchange exchange;
  std::string endpoint;  // the path after "/sdkapicoupon/"
  // The decoded body of a scrambled post, else nil.
  kit::Id parameters;
  // Why a scrambled body was refused; empty when it decoded (or was none).
  std::string decodeFailure;
  // The fields of a form post, or of the query of other requests.
  std::vector<std::pair<std::string, std::string>> form;

  std::optional<std::string> formValue(std::string_view name) const;
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
  HeaderList headers;  // e.g. a Location for a redirect

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
};

using PlatformAPIHandler = std::function<PlatformAPIReply(const PlatformAPIRequest&)>;

class PlatformAPIServer : public HttpService {
 public:
  static constexpr const char* kPathPrefix = "/sdkapicoupon/";

  // A started server.
  static std::unique_ptr<PlatformAPIServer> start();
  ~PlatformAPIServer() override;

  // origin() + "/sdkapicoupon/": what the client's base URL must be.
  std::string baseURL() const;
  // The client's configuration entries for this server (see
  // bundle_configuration.h).
  kit::Ref<kit::Dictionary> configurationEntries() const;

  // Routes an endpoint (the path after the prefix, e.g. "pay/getjiasu").
  // A later route for the same endpoint replaces the earlier one.
  void route(const std::string& endpoint, PlatformAPIHandler handler);
  void route(const std::string& endpoint, PlatformAPIReply reply);

  // The decoded request log, in arrival order.
  std::vector<PlatformAPIRequest> apiRequests() const;

 protected:
  HttpAnswer answer(const HttpExchange& request) override;

 private:
  PlatformAPIServer() = default;

  mutable std::mutex mutex_;
  std::map<std::string, PlatformAPIHandler> routes_;
  std::vector<PlatformAPIRequest> apiLog_;
};

}  // namespace sim
