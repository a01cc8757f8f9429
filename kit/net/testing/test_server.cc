// The test server on cpp-httplib. See test_server.h.
#include "kit/net/testing/test_server.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "kit/net/testing/connection_workers.h"

namespace kit::test {

namespace {

// The inodes of the TCP sockets of this process's network namespace whose
// local port is `port` and which are not listening: the connections a
// server on that port accepted. Read from the kernel's table, so no
// descriptor is touched to find them.
std::set<ino_t> acceptedSocketInodes(int port) {
  std::set<ino_t> inodes;
  std::ifstream file("/proc/self/net/tcp");
  std::stringstream table;
  table << file.rdbuf();
  std::string line;
  std::getline(table, line);  // the column names
  constexpr unsigned kListening = 0x0A;
  while (std::getline(table, line)) {
    // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode
    unsigned localPort = 0, state = 0;
    unsigned long long inode = 0;
    if (std::sscanf(line.c_str(), " %*u: %*x:%x %*x:%*x %x %*x:%*x %*x:%*x %*x %*u %*u %llu", &localPort, &state,
                    &inode) != 3)
      continue;
    if (localPort == static_cast<unsigned>(port) && state != kListening && inode != 0)
      inodes.insert(static_cast<ino_t>(inode));
  }
  return inodes;
}

// Duplicates the descriptors of this process that refer to the sockets
// `wanted` names, keyed by inode. A descriptor is only ever duplicated, and
// the duplicate is checked to be the wanted socket before it is kept, so a
// descriptor another thread closes and reuses meanwhile is left alone.
std::map<ino_t, int> holdSockets(const std::set<ino_t>& wanted) {
  std::map<ino_t, int> held;
  if (wanted.empty()) return held;
  DIR* fds = opendir("/proc/self/fd");
  if (!fds) return held;
  while (dirent* entry = readdir(fds)) {
    if (entry->d_name[0] == '.') continue;
    char target[64];
    const std::string path = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length <= 0) continue;
    target[length] = '\0';
    unsigned long long inode = 0;
    if (std::sscanf(target, "socket:[%llu]", &inode) != 1) continue;
    if (!wanted.contains(static_cast<ino_t>(inode)) || held.contains(static_cast<ino_t>(inode))) continue;
    const int copy = fcntl(std::atoi(entry->d_name), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) continue;
    struct stat info {};
    if (fstat(copy, &info) == 0 && S_ISSOCK(info.st_mode) && info.st_ino == static_cast<ino_t>(inode)) {
      held.emplace(info.st_ino, copy);
    } else {
      close(copy);
    }
  }
  closedir(fds);
  return held;
}

// The Content-Type of the multipart request this thread is serving, taken
// out of the request before cpp-httplib reads its body; empty for other
// requests. A connection's requests are read and handled on one thread.
std::string& multipartTypeOfThisRequest() {
  thread_local std::string type;
  return type;
}

}  // namespace

std::optional<std::string> RecordedRequest::formValue(std::string_view name) const {
  for (const auto& [k, v] : form) {
    if (k == name) return v;
  }
  return std::nullopt;
}

TestResponse TestResponse::text(std::string body, int status) {
  TestResponse r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

TestResponse TestResponse::html(std::string body, int status) {
  TestResponse r = text(std::move(body), status);
  r.contentType = "text/html; charset=utf-8";
  return r;
}

TestResponse TestResponse::json(std::string body, int status) {
  TestResponse r = text(std::move(body), status);
  r.contentType = "application/json";
  return r;
}

TestResponse TestResponse::redirect(std::string location, int status) {
  TestResponse r;
  r.status = status;
  r.headers.set("Location", location);
  return r;
}

TestResponse TestResponse::withStatus(int code) {
  TestResponse r;
  r.status = code;
  return r;
}

std::string decodeFormComponent(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> decodeForm(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  while (!text.empty()) {
    size_t amp = text.find('&');
    std::string_view pair = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    out.emplace_back(decodeFormComponent(pair.substr(0, eq)),
                     eq == std::string_view::npos ? std::string() : decodeFormComponent(pair.substr(eq + 1)));
  }
  return out;
}

std::unique_ptr<TestServer> TestServer::startHTTP(int port) {
  std::unique_ptr<TestServer> server(new TestServer(std::make_unique<httplib::Server>(), false));
  if (!server->start(port)) return nullptr;
  return server;
}

std::unique_ptr<TestServer> TestServer::startHTTPS(const TestIdentity& identity) {
  auto ssl = std::make_unique<httplib::SSLServer>([identity](SSL_CTX& ctx) {
    SSL_CTX_use_certificate(&ctx, identity.certificate->x509());
    SSL_CTX_use_PrivateKey(&ctx, identity.key.get());
    for (const auto& c : identity.chain) {
      X509_up_ref(c->x509());
      SSL_CTX_add_extra_chain_cert(&ctx, c->x509());
    }
    return true;
  });
  std::unique_ptr<TestServer> server(new TestServer(std::move(ssl), true));
  if (!server->start(0)) return nullptr;
  return server;
}

TestServer::TestServer(std::unique_ptr<httplib::Server> server, bool secure)
    : server_(std::move(server)), secure_(secure) {}

TestServer::~TestServer() { stop(); }

bool TestServer::start(int port) {
  server_->new_task_queue = [this] {
    return new ConnectionWorkers([this] {
      std::lock_guard lock(mutex_);
      ++connections_;
    });
  };
  // Idle connections stay open well past any test's pauses; stop() ends
  // them at once.
  server_->set_keep_alive_timeout(10);
  server_->set_keep_alive_max_count(std::numeric_limits<int>::max());
  server_->set_tcp_nodelay(true);
  // cpp-httplib reads a multipart body into parts and drops its bytes;
  // shown as plain bytes it keeps them, and the log reads the parts itself.
  server_->set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    multipartTypeOfThisRequest().clear();
    if (req.is_multipart_form_data()) {
      // The request is the server's own non-const object, handed on as const.
      auto& headers = const_cast<httplib::Request&>(req).headers;
      auto type = headers.find("Content-Type");
      multipartTypeOfThisRequest() = std::exchange(type->second, "application/octet-stream");
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  auto handler = [this](const httplib::Request& req, httplib::Response& res) { handle(&req, &res); };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  server_->Put(".*", handler);
  server_->Patch(".*", handler);
  server_->Delete(".*", handler);
  server_->Options(".*", handler);
  auto listening = std::make_shared<int>(-1);
  server_->set_socket_options([listening](int fd) {
    // A restart may take the port back from connections still closing, but
    // never shares it with a server that holds it (cpp-httplib's default,
    // SO_REUSEPORT, would).
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    *listening = fd;
  });
  if (port == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
  } else {
    port_ = server_->bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (port_ <= 0) return false;
  // cpp-httplib listens with a backlog of 5: a client opening dozens of
  // connections at once would see the rest of its connection attempts
  // dropped and retried a second later.
  ::listen(*listening, SOMAXCONN);
  auto accepting = std::make_shared<std::atomic<bool>>(true);
  thread_ = std::thread([this, accepting] {
    server_->listen_after_bind();
    *accepting = false;
  });
  // stop() only reaches a server whose accept loop has begun; until then it
  // would leave the loop to block for ever. The loop begins at once.
  while (!server_->is_running() && *accepting) std::this_thread::yield();
  return true;
}

std::string TestServer::baseURL() const {
  return std::string(secure_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string TestServer::localhostURL(std::string_view pathAndQuery) const {
  return std::string(secure_ ? "https" : "http") + "://localhost:" + std::to_string(port_) + std::string(pathAndQuery);
}

void TestServer::route(const std::string& method, const std::string& path, RouteHandler handler) {
  Route fresh{method, path, path.ends_with('*'), std::move(handler)};
  if (fresh.prefix) fresh.path.pop_back();
  std::lock_guard lock(mutex_);
  for (auto& existing : routes_) {
    if (existing.method == fresh.method && existing.path == fresh.path && existing.prefix == fresh.prefix) {
      existing.handler = std::move(fresh.handler);
      return;
    }
  }
  routes_.push_back(std::move(fresh));
}

void TestServer::route(const std::string& method, const std::string& path, TestResponse response) {
  route(method, path, [response](const RecordedRequest&) { return response; });
}

std::vector<RecordedRequest> TestServer::requests() const {
  std::lock_guard lock(mutex_);
  return log_;
}

size_t TestServer::requestCount() const {
  std::lock_guard lock(mutex_);
  return log_.size();
}

void TestServer::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

size_t TestServer::connectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

bool TestServer::waitForRequests(size_t count, double timeoutSeconds) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return log_.size() >= count; });
}

bool TestServer::waitStopping(double seconds) {
  std::unique_lock lock(mutex_);
  if (seconds < 0) {
    changed_.wait(lock, [&] { return stopping_; });
    return true;
  }
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return stopping_; });
}

void TestServer::holdAnswers(const std::string& path) {
  std::lock_guard lock(mutex_);
  held_.insert(path);
}

void TestServer::holdLaterChunks(const std::string& path) {
  std::lock_guard lock(mutex_);
  heldChunks_.insert(path);
}

void TestServer::releaseAnswers(const std::string& path) {
  {
    std::lock_guard lock(mutex_);
    held_.erase(path);
    heldChunks_.erase(path);
  }
  changed_.notify_all();
}

RouteHandler TestServer::handlerFor(const RecordedRequest& request) const {
  const Route* exact = nullptr;
  const Route* byPrefix = nullptr;
  for (const auto& route : routes_) {
    if (route.method != "*" && route.method != request.method) continue;
    if (!route.prefix) {
      if (route.path == request.path) exact = &route;
    } else if (request.path.starts_with(route.path) && (!byPrefix || route.path.size() >= byPrefix->path.size())) {
      byPrefix = &route;
    }
  }
  if (exact) return exact->handler;
  return byPrefix ? byPrefix->handler : RouteHandler();
}

void TestServer::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && !thread_.joinable()) return;
    stopping_ = true;
  }
  changed_.notify_all();
  server_->stop();
  // The server's workers wait on idle keep-alive connections until their
  // time-out; with the sockets shut down they see the end at once, so a
  // stopped server does not hold its owner for seconds.
  if (port_ > 0) {
    for (const auto& [inode, socket] : holdSockets(acceptedSocketInodes(port_))) {
      shutdown(socket, SHUT_RDWR);
      close(socket);
    }
  }
  if (thread_.joinable()) thread_.join();
}

void TestServer::handle(const void* request, void* response) {
  const auto& req = *static_cast<const httplib::Request*>(request);
  auto& res = *static_cast<httplib::Response*>(response);
  RecordedRequest record;
  record.method = req.method;
  std::string target = req.target;
  size_t question = target.find('?');
  record.path = target.substr(0, question);
  record.query = question == std::string::npos ? std::string() : target.substr(question + 1);
  std::string multipartType = std::move(multipartTypeOfThisRequest());
  multipartTypeOfThisRequest().clear();
  for (const auto& [name, value] : req.headers) {
    if (name == "LOCAL_ADDR" || name == "LOCAL_PORT" || name == "REMOTE_ADDR" || name == "REMOTE_PORT") continue;
    bool shownAsBytes = !multipartType.empty() && equalsIgnoringCase(name, "Content-Type");
    record.headers.add(name, shownAsBytes ? multipartType : value);
  }
  record.body = req.body;
  auto type = record.headers.value("Content-Type");
  record.form = decodeForm(type && type->starts_with("application/x-www-form-urlencoded") ? record.body
                                                                                          : record.query);
  if (!multipartType.empty()) {
    record.parts = parseMultipartFormData(multipartType, record.body).value_or(std::vector<FormPart>());
  }
  record.secure = secure_;

  RouteHandler handler;
  {
    std::lock_guard lock(mutex_);
    handler = handlerFor(record);
    log_.push_back(record);
  }
  changed_.notify_all();

  TestResponse answer = handler ? handler(record) : TestResponse::text("not found", 404);
  if (std::unique_lock lock(mutex_); held_.count(record.path)) {
    changed_.wait(lock, [&] { return stopping_ || !held_.count(record.path); });
    if (stopping_) {
      res.status = 503;
      return;
    }
  }
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
  for (const auto& [name, value] : answer.headers.entries()) res.set_header(name.c_str(), value);
  if (!answer.chunks.empty()) {
    auto chunks = answer.chunks;
    double interval = answer.chunkIntervalSeconds;
    res.set_chunked_content_provider(answer.contentType, [this, chunks, interval, path = record.path](
                                                              size_t, httplib::DataSink& sink) {
      for (size_t i = 0; i < chunks.size(); ++i) {
        if (i > 0 && interval > 0 && waitStopping(interval)) return false;
        if (std::unique_lock lock(mutex_); i > 0 && heldChunks_.count(path)) {
          changed_.wait(lock, [&] { return stopping_ || !heldChunks_.count(path); });
          if (stopping_) return false;
        }
        if (!sink.write(chunks[i].data(), chunks[i].size())) return false;
      }
      sink.done();
      return true;
    });
    return;
  }
  if (answer.closeMidBody) {
    auto body = answer.body;
    res.set_content_provider(body.size(), answer.contentType, [body](size_t offset, size_t, httplib::DataSink& sink) {
      if (offset == 0) sink.write(body.data(), body.size() / 2);
      return false;
    });
    return;
  }
  if (!answer.body.empty() || !answer.headers.contains("Content-Type")) {
    res.set_content(answer.body, answer.contentType.c_str());
  }
  // cpp-httplib sends the requested range of a plain body; the status must
  // say so.
  if (!req.ranges.empty() && answer.status == 200 && !answer.body.empty()) res.status = 206;
}

}  // namespace kit::test
