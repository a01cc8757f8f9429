// The local platform API server.
#include "sim/platform_api_server.h"

#include <algorithm>

#include "config/client_configuration.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "sim/platform_body_codec.h"

namespace sim {

PlatformAPIReply PlatformAPIReply::scrambled(kit::Id object, int status) {
  PlatformAPIReply reply;
  reply.object = std::move(object);
  reply.status = status;
  return reply;
}

PlatformAPIReply PlatformAPIReply::plain(kit::Id object, int status) {
  PlatformAPIReply reply = scrambled(std::move(object), status);
  reply.form = Form::Plain;
  return reply;
}

PlatformAPIReply PlatformAPIReply::json(kit::Id object, int status) {
  PlatformAPIReply reply = scrambled(std::move(object), status);
  reply.form = Form::JSON;
  reply.contentType = "application/json";
  return reply;
}

PlatformAPIReply PlatformAPIReply::bytes(std::string raw, int status) {
  PlatformAPIReply reply;
  reply.form = Form::Raw;
  reply.raw = std::move(raw);
  reply.status = status;
  return reply;
}

PlatformAPIReply PlatformAPIReply::silence() {
  PlatformAPIReply reply;
  reply.silent = true;
  return reply;
}

std::string PlatformAPIReply::encodedBody() const {
  switch (form) {
    case Form::Scrambled: return object ? PlatformBodyCodec::encodeReply(object) : std::string();
    case Form::Plain: return object ? PlatformBodyCodec::encodePlainReply(object) : std::string();
    case Form::JSON: return object ? kit::JSONSerialization::dataWithJSONObject(object)->toString() : std::string();
    case Form::Raw: return raw;
  }
  return {};
}

kit::test::TestResponse PlatformAPIReply::response() const {
  kit::test::TestResponse response;
  response.status = status;
  response.contentType = contentType;
  response.headers = headers;
  response.delaySeconds = delaySeconds;
  response.silent = silent;
  response.closeMidBody = closeMidBody;
  response.chunkIntervalSeconds = chunkIntervalSeconds;
  if (silent) return response;
  response.body = encodedBody();
  if (chunkCount > 0 && !response.body.empty()) {
    size_t count = std::min(chunkCount, response.body.size());
    size_t size = response.body.size() / count;
    for (size_t i = 0; i < count; ++i) {
      response.chunks.push_back(response.body.substr(i * size, i + 1 == count ? std::string::npos : size));
    }
  }
  return response;
}

PlatformAPIServer::PlatformAPIServer() : server_(kit::test::TestServer::startHTTP()) {
  server_->route("*", std::string(kPathPrefix) + "*",
                 [this](const kit::test::RecordedRequest& received) { return answer(received); });
}

std::unique_ptr<PlatformAPIServer> PlatformAPIServer::start() {
  return std::unique_ptr<PlatformAPIServer>(new PlatformAPIServer());
}

PlatformAPIServer::~PlatformAPIServer() { server_->stop(); }

std::string PlatformAPIServer::baseURL() const { return origin() + kPathPrefix; }

kit::Ref<kit::Dictionary> PlatformAPIServer::configurationEntries() const {
  return kit::dict({{ClientConfiguration::kPlatformAPIBase, origin()}});
}

void PlatformAPIServer::route(const std::string& endpoint, PlatformAPIHandler handler) {
  std::lock_guard lock(mutex_);
  routes_[endpoint] = std::move(handler);
}

void PlatformAPIServer::route(const std::string& endpoint, PlatformAPIReply reply) {
  route(endpoint, [reply](const PlatformAPIRequest&) { return reply; });
}

std::vector<PlatformAPIRequest> PlatformAPIServer::apiRequests() const {
  std::lock_guard lock(mutex_);
  return apiLog_;
}

void PlatformAPIServer::clearLog() {
  server_->clearLog();
  std::lock_guard lock(mutex_);
  apiLog_.clear();
}

kit::test::TestResponse PlatformAPIServer::answer(const kit::test::RecordedRequest& received) {
  PlatformAPIRequest request;
  request.exchange = received;
  request.endpoint = received.path.substr(std::string_view(kPathPrefix).size());
  std::string type = received.header("Content-Type").value_or("");
  bool formPost = type.starts_with("application/x-www-form-urlencoded");
  bool scrambledPost = received.method == "POST" && !formPost && !type.starts_with("application/json") &&
                       !type.starts_with("multipart/form-data");
  if (scrambledPost) {
    PlatformBodyCodec::Failure failure;
    request.parameters = PlatformBodyCodec::decodeRequest(received.body, &failure);
    if (!request.parameters) request.decodeFailure = failure.reason;
  }

  PlatformAPIHandler handler;
  {
    std::lock_guard lock(mutex_);
    apiLog_.push_back(request);
    if (auto it = routes_.find(request.endpoint); it != routes_.end()) handler = it->second;
  }

  if (!handler) {
    return PlatformAPIReply::scrambled(kit::dict({{"code", "404"}, {"msg", "no such endpoint"}}), 404).response();
  }
  if (scrambledPost && !request.parameters) {
    return PlatformAPIReply::scrambled(kit::dict({{"code", "0"}, {"msg", "bad request body"}}), 400).response();
  }
  return handler(request).response();
}

}  // namespace sim
