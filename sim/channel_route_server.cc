// The channel servers' shared routing, faults and request log. See
// channel_route_server.h.

#include "sim/channel_route_server.h"

#include "sim/service_port.h"

namespace sim {

std::string ChannelRequest::field(const std::string& name) const {
  auto found = fields.find(name);
  return found == fields.end() ? std::string() : found->second;
}

ChannelRequest decodeChannelRequest(const std::string& route, const kit::test::RecordedRequest& request) {
  ChannelRequest decoded;
  decoded.route = route;
  decoded.method = request.method;
  decoded.query = request.query;
  for (const auto& [name, value] : request.form) decoded.fields[name] = value;
  decoded.rawBody = request.body;
  decoded.contentType = request.header("Content-Type").value_or("");
  decoded.contentLength = request.header("Content-Length").value_or("");
  return decoded;
}

ChannelRouteServer::ChannelRouteServer(std::string basePath, Envelope envelope, int port)
    : basePath_(std::move(basePath)), envelope_(std::move(envelope)), server_(listenForService(port)) {}

ChannelRouteServer::~ChannelRouteServer() { stop(); }

void ChannelRouteServer::stop() { server_->stop(); }

std::string ChannelRouteServer::baseURL() const { return server_->url(basePath_); }

std::string ChannelRouteServer::urlOf(const std::string& path) const { return server_->url(basePath_ + path); }

void ChannelRouteServer::setFault(const std::string& route, RouteFault fault) {
  std::lock_guard lock(mutex_);
  faults_[route] = fault;
}

void ChannelRouteServer::holdAnswers(const std::string& route) { server_->holdAnswers(basePath_ + route); }

void ChannelRouteServer::releaseAnswers(const std::string& route) { server_->releaseAnswers(basePath_ + route); }

void ChannelRouteServer::serve(const std::string& route, Answer answer) {
  server_->route("*", basePath_ + route, [this, route, answer](const kit::test::RecordedRequest& request) {
    auto faulty = faultAnswer(route);
    kit::test::TestResponse response = faulty ? *faulty : answer(route, request);
    std::lock_guard lock(mutex_);
    ++answered_[route];
    return response;
  });
}

void ChannelRouteServer::serveGET(const std::string& path, std::function<kit::test::TestResponse()> answer) {
  server_->route("GET", basePath_ + path, [answer](const kit::test::RecordedRequest&) { return answer(); });
}

std::optional<kit::test::TestResponse> ChannelRouteServer::faultAnswer(const std::string& route) const {
  RouteFault fault = RouteFault::None;
  {
    std::lock_guard lock(mutex_);
    if (auto found = faults_.find(route); found != faults_.end()) fault = found->second;
  }
  switch (fault) {
    case RouteFault::None: return std::nullopt;
    case RouteFault::Delay: {
      auto response = kit::test::TestResponse::json(envelope_("200", "late"));
      response.delaySeconds = 5;
      return response;
    }
    case RouteFault::ServerErrorJSON: return kit::test::TestResponse::json(envelope_("500", "服务器内部错误"), 500);
    case RouteFault::EmptyBody: return kit::test::TestResponse::json("", 200);
    case RouteFault::NotJSON: return kit::test::TestResponse::text("<html><body>502 Bad Gateway</body></html>", 200);
    case RouteFault::CloseConnection: {
      auto response = kit::test::TestResponse::json(envelope_("200", "cut off in the middle of the body"));
      response.closeMidBody = true;
      return response;
    }
  }
  return std::nullopt;
}

std::vector<ChannelRequest> ChannelRouteServer::requests() const {
  std::vector<ChannelRequest> list;
  for (const auto& request : server_->requests()) {
    const std::string& path = request.path;
    std::string route = path.starts_with(basePath_) ? path.substr(basePath_.size()) : path;
    list.push_back(decodeChannelRequest(route, request));
  }
  return list;
}

std::vector<ChannelRequest> ChannelRouteServer::requestsTo(const std::string& route) const {
  std::vector<ChannelRequest> list;
  for (auto& request : requests()) {
    if (request.route == route) list.push_back(std::move(request));
  }
  return list;
}

size_t ChannelRouteServer::answersTo(const std::string& route) const {
  std::lock_guard lock(mutex_);
  auto found = answered_.find(route);
  return found == answered_.end() ? 0 : found->second;
}

size_t ChannelRouteServer::requestCount() const { return server_->requestCount(); }

bool ChannelRouteServer::waitForRequests(size_t count, double timeoutSeconds) const {
  return server_->waitForRequests(count, timeoutSeconds);
}

void ChannelRouteServer::clearLog() {
  server_->clearLog();
  std::lock_guard lock(mutex_);
  answered_.clear();
}

}  // namespace sim
