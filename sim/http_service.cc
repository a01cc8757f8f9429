// The simulator's HTTP service base on cpp-httplib.
#include "sim/http_service.h"

#include <httplib.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>

namespace sim {

std::optional<std::string> HttpExchange::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key.size() == name.size() && strncasecmp(key.data(), name.data(), name.size()) == 0) return value;
  }
  return std::nullopt;
}

HttpService::HttpService() : server_(std::make_unique<httplib::Server>()) {}

HttpService::~HttpService() { stop(); }

void HttpService::start() {
  server_->new_task_queue = [] { return new httplib::ThreadPool(8); };
  server_->set_keep_alive_timeout(2);
  server_->set_tcp_nodelay(true);
  server_->set_payload_max_length(32u << 20);
  auto handler = [this](const httplib::Request& req, httplib::Response& res) { handle(&req, &res); };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  server_->Put(".*", handler);
  server_->Patch(".*", handler);
  server_->Delete(".*", handler);
  server_->Options(".*", handler);
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("the simulator could not bind a port on 127.0.0.1");
  auto listening = std::make_shared<std::atomic<bool>>(true);
  thread_ = std::thread([this, listening] {
    server_->listen_after_bind();
    *listening = false;
  });
  // stop() reaches only a server whose accept loop has begun; stopped
  // earlier, the loop would start afterwards and never end. It begins at
  // once, so this is a short spin.
  while (!server_->is_running() && *listening) std::this_thread::yield();
}

void HttpService::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string HttpService::origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::vector<HttpExchange> HttpService::requests() const {
  std::lock_guard lock(mutex_);
  return log_;
}

size_t HttpService::requestCount() const {
  std::lock_guard lock(mutex_);
  return log_.size();
}

void HttpService::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

bool HttpService::waitForRequests(size_t count, double timeoutSeconds) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return log_.size() >= count; });
}

bool HttpService::waitStopping(double seconds) {
  std::unique_lock lock(mutex_);
  if (seconds < 0) {
    changed_.wait(lock, [&] { return stopping_; });
    return true;
  }
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return stopping_; });
}

void HttpService::handle(const void* request, void* response) {
  const auto& req = *static_cast<const httplib::Request*>(request);
  auto& res = *static_cast<httplib::Response*>(response);

  HttpExchange exchange;
  exchange.method = req.method;
  size_t question = req.target.find('?');
  exchange.path = req.target.substr(0, question);
  exchange.query = question == std::string::npos ? std::string() : req.target.substr(question + 1);
  for (const auto& [name, value] : req.headers) {
    if (name == "LOCAL_ADDR" || name == "LOCAL_PORT" || name == "REMOTE_ADDR" || name == "REMOTE_PORT") continue;
    exchange.headers.emplace_back(name, value);
  }
  exchange.body = req.body;
  for (const auto& [name, file] : req.files) {
    exchange.parts.push_back({file.name, file.filename, file.content_type, file.content});
  }
  {
    std::lock_guard lock(mutex_);
    log_.push_back(exchange);
  }
  changed_.notify_all();

  HttpAnswer answer = this->answer(exchange);
  if (answer.silent) {
    waitStopping(-1);
    res.status = 503;
    return;
  }
  if (answer.delaySeconds > 0 && waitStopping(answer.delaySeconds)) {
    res.status = 503;
    return;
  }
  res.status = answer.status;
  for (const auto& [name, value] : answer.headers) res.set_header(name.c_str(), value);
  const char* type = answer.contentType.empty() ? nullptr : answer.contentType.c_str();

  if (!answer.chunks.empty()) {
    auto chunks = answer.chunks;
    double interval = answer.chunkIntervalSeconds;
    res.set_chunked_content_provider(type ? type : "application/octet-stream",
                                     [this, chunks, interval](size_t, httplib::DataSink& sink) {
                                       for (size_t i = 0; i < chunks.size(); ++i) {
                                         if (i > 0 && interval > 0 && waitStopping(interval)) return false;
                                         if (!sink.write(chunks[i].data(), chunks[i].size())) return false;
                                       }
                                       sink.done();
                                       return true;
                                     });
    return;
  }
  if (answer.closeMidBody) {
    auto body = answer.body;
    res.set_content_provider(body.size(), type ? type : "application/octet-stream",
                             [body](size_t offset, size_t, httplib::DataSink& sink) {
                               if (offset == 0) sink.write(body.data(), body.size() / 2);
                               return false;
                             });
    return;
  }
  if (type) {
    res.set_content(answer.body, type);
  } else {
    res.body = answer.body;
  }
}

}  // namespace sim
