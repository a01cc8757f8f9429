// The local platform API server.
#include "sim/platform_api_server.h"

#include <algorithm>

#include "config/client_configuration.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "sim/platform_body_codec.h"
#include "sim/service_port.h"

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

PlatformAPIServer::PlatformAPIServer(int port) : server_(listenForService(port)) {
  server_->route("*", std::string(kPathPrefix) + "*",
                 [this](const kit::test::RecordedRequest& received) { return answer(received); });
}

std::unique_ptr<PlatformAPIServer> PlatformAPIServer::start(int port) {
  return std::unique_ptr<PlatformAPIServer>(new PlatformAPIServer(port));
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

void PlatformAPIServer::setFault(const std::string& endpoint, RouteFault fault) {
  std::lock_guard lock(mutex_);
  if (fault == RouteFault::None) {
    faults_.erase(endpoint);
  } else {
    faults_[endpoint] = fault;
  }
}

void PlatformAPIServer::enqueue(const std::string& endpoint, PlatformAPIReply reply) {
  std::lock_guard lock(mutex_);
  queued_[endpoint].push_back(std::move(reply));
}

void PlatformAPIServer::routePage(const std::string& pattern, kit::test::RouteHandler handler) {
  server_->route("*", pattern, std::move(handler));
}

std::vector<PlatformAPIRequest> PlatformAPIServer::requestsTo(const std::string& endpoint) const {
  std::lock_guard lock(mutex_);
  std::vector<PlatformAPIRequest> matching;
  for (const auto& request : apiLog_) {
    if (request.endpoint == endpoint) matching.push_back(request);
  }
  return matching;
}

namespace {

// What a fault mode answers on this server.
PlatformAPIReply faultReply(RouteFault fault) {
  auto errorEnvelope = kit::dict({{"code", "500"}, {"msg", "服务器内部错误"}});
  switch (fault) {
    case RouteFault::Delay: {
      auto reply = PlatformAPIReply::scrambled(errorEnvelope);
      reply.delaySeconds = 12;
      return reply;
    }
    case RouteFault::ServerErrorJSON: return PlatformAPIReply::scrambled(errorEnvelope, 500);
    case RouteFault::EmptyBody: return PlatformAPIReply::bytes("");
    case RouteFault::NotJSON: return PlatformAPIReply::bytes("<html><body>Service Unavailable</body></html>");
    case RouteFault::CloseConnection: {
      auto reply = PlatformAPIReply::scrambled(errorEnvelope);
      reply.closeMidBody = true;
      return reply;
    }
    case RouteFault::None: break;
  }
  return PlatformAPIReply::bytes("");
}

}  // namespace

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
  std::optional<PlatformAPIReply> scripted;
  {
    std::lock_guard lock(mutex_);
    apiLog_.push_back(request);
    if (auto fault = faults_.find(request.endpoint); fault != faults_.end()) {
      scripted = faultReply(fault->second);
    } else if (auto queue = queued_.find(request.endpoint); queue != queued_.end() && !queue->second.empty()) {
      scripted = std::move(queue->second.front());
      queue->second.pop_front();
    }
    if (auto it = routes_.find(request.endpoint); it != routes_.end()) handler = it->second;
  }
  if (scripted) return scripted->response();

  if (!handler) {
    return PlatformAPIReply::scrambled(kit::dict({{"code", "404"}, {"msg", "no such endpoint"}}), 404).response();
  }
  if (scrambledPost && !request.parameters) {
    return PlatformAPIReply::scrambled(kit::dict({{"code", "0"}, {"msg", "bad request body"}}), 400).response();
  }
  return handler(request).response();
}

}  // namespace sim
