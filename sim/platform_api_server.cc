// The local platform API server.
#include "sim/platform_api_server.h"

#include <algorithm>

#include "config/client_configuration.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "sim/platform_body_codec.h"

namespace sim {

std::optional<std::string> PlatformAPIRequest::formValue(std::string_view name) const {
  for (const auto& [key, value] : form) {
    if (key == name) return value;
  }
  return std::nullopt;
}

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

std::unique_ptr<PlatformAPIServer> PlatformAPIServer::start() {
  std::unique_ptr<PlatformAPIServer> server(new PlatformAPIServer());
  server->HttpService::start();
  return server;
}

PlatformAPIServer::~PlatformAPIServer() { stop(); }

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

HttpAnswer PlatformAPIServer::answer(const HttpExchange& exchange) {
  HttpAnswer answer;
  std::string_view prefix = kPathPrefix;
  if (!std::string_view(exchange.path).starts_with(prefix)) {
    answer.status = 404;
    answer.contentType = "text/plain";
    answer.body = "not found";
    return answer;
  }

  PlatformAPIRequest request;
  request.exchange = exchange;
  request.endpoint = exchange.path.substr(prefix.size());
  std::string type = exchange.header("Content-Type").value_or("");
  bool formPost = type.starts_with("application/x-www-form-urlencoded");
  bool scrambledPost = exchange.method == "POST" && !formPost && !type.starts_with("application/json") &&
                       !type.starts_with("multipart/form-data");
  request.form = kit::test::decodeForm(formPost ? exchange.body : exchange.query);
  if (scrambledPost) {
    PlatformBodyCodec::Failure failure;
    request.parameters = PlatformBodyCodec::decodeRequest(exchange.body, &failure);
    if (!request.parameters) request.decodeFailure = failure.reason;
  }

  PlatformAPIHandler handler;
  {
    std::lock_guard lock(mutex_);
    apiLog_.push_back(request);
    if (auto it = routes_.find(request.endpoint); it != routes_.end()) handler = it->second;
  }

  PlatformAPIReply reply;
  if (!handler) {
    reply = PlatformAPIReply::scrambled(kit::dict({{"code", "404"}, {"msg", "no such endpoint"}}), 404);
  } else if (scrambledPost && !request.parameters) {
    reply = PlatformAPIReply::scrambled(kit::dict({{"code", "0"}, {"msg", "bad request body"}}), 400);
  } else {
    reply = handler(request);
  }

  answer.status = reply.status;
  answer.contentType = reply.contentType;
  answer.headers = reply.headers;
  answer.delaySeconds = reply.delaySeconds;
  answer.silent = reply.silent;
  answer.closeMidBody = reply.closeMidBody;
  answer.chunkIntervalSeconds = reply.chunkIntervalSeconds;
  answer.body = reply.silent ? std::string() : reply.encodedBody();
  if (reply.chunkCount > 0 && !answer.body.empty()) {
    size_t count = std::min(reply.chunkCount, answer.body.size());
    size_t size = answer.body.size() / count;
    for (size_t i = 0; i < count; ++i) {
      size_t from = i * size;
      answer.chunks.push_back(answer.body.substr(from, i + 1 == count ? std::string::npos : size));
    }
  }
  return answer;
}

}  // namespace sim
