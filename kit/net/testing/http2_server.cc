// The HTTP/2 test server: one thread polls the listener, a wake descriptor
// and every connection; each connection is an OpenSSL stream carrying an
// nghttp2 server session.
#include "kit/net/testing/http2_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <nghttp2/nghttp2.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace kit::test {

struct Http2Server::Stream {
  std::string path;
  bool answered = false;
  std::string pending;  // body bytes not yet framed
};

struct Http2Server::Connection {
  Http2Server* server = nullptr;
  uint64_t serial = 0;  // never taken again, unlike the object's address
  int fd = -1;
  SSL* ssl = nullptr;
  nghttp2_session* session = nullptr;
  bool handshaking = true;
  bool wantsWrite = false;  // OpenSSL waits for the socket to take more
  bool closed = false;
  std::string out;  // frames not yet written
  std::map<int32_t, Stream> streams;

  ~Connection() {
    if (session) nghttp2_session_del(session);
    if (ssl) SSL_free(ssl);
    if (fd >= 0) ::close(fd);
  }
};

namespace {

using Connection = Http2Server::Connection;

int selectH2(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in, unsigned inLength,
             void*) {
  for (unsigned i = 0; i < inLength; i += 1u + in[i]) {
    if (in[i] == 2 && i + 3 <= inLength && memcmp(in + i + 1, "h2", 2) == 0) {
      *out = in + i + 1;
      *outLength = 2;
      return SSL_TLSEXT_ERR_OK;
    }
  }
  return SSL_TLSEXT_ERR_ALERT_FATAL;
}

ssize_t onSend(nghttp2_session*, const uint8_t* data, size_t length, int, void* user) {
  static_cast<Connection*>(user)->out.append(reinterpret_cast<const char*>(data), length);
  return static_cast<ssize_t>(length);
}

int onBeginHeaders(nghttp2_session*, const nghttp2_frame* frame, void* user) {
  if (frame->hd.type == NGHTTP2_HEADERS && frame->headers.cat == NGHTTP2_HCAT_REQUEST) {
    static_cast<Connection*>(user)->streams[frame->hd.stream_id];
  }
  return 0;
}

int onHeader(nghttp2_session*, const nghttp2_frame* frame, const uint8_t* name, size_t nameLength,
             const uint8_t* value, size_t valueLength, uint8_t, void* user) {
  auto* connection = static_cast<Connection*>(user);
  auto stream = connection->streams.find(frame->hd.stream_id);
  if (stream != connection->streams.end() && std::string_view(reinterpret_cast<const char*>(name), nameLength) == ":path") {
    stream->second.path.assign(reinterpret_cast<const char*>(value), valueLength);
  }
  return 0;
}

int onFrameReceived(nghttp2_session*, const nghttp2_frame* frame, void* user) {
  auto* connection = static_cast<Connection*>(user);
  if (frame->hd.type == NGHTTP2_PING && (frame->hd.flags & NGHTTP2_FLAG_ACK)) {
    connection->server->notePingAcknowledged();
  } else if (frame->hd.type == NGHTTP2_HEADERS && frame->headers.cat == NGHTTP2_HCAT_REQUEST) {
    auto stream = connection->streams.find(frame->hd.stream_id);
    if (stream != connection->streams.end()) {
      connection->server->noteRequest(connection->serial, frame->hd.stream_id, stream->second.path);
    }
  }
  return 0;
}

int onStreamClose(nghttp2_session*, int32_t stream, uint32_t, void* user) {
  static_cast<Connection*>(user)->streams.erase(stream);
  return 0;
}

// A stream's body: what was written so far, then a wait for more.
ssize_t readBody(nghttp2_session*, int32_t id, uint8_t* buffer, size_t length, uint32_t*, nghttp2_data_source*,
                 void* user) {
  auto* connection = static_cast<Connection*>(user);
  auto stream = connection->streams.find(id);
  if (stream == connection->streams.end() || stream->second.pending.empty()) return NGHTTP2_ERR_DEFERRED;
  std::string& pending = stream->second.pending;
  const size_t n = std::min(length, pending.size());
  memcpy(buffer, pending.data(), n);
  pending.erase(0, n);
  return static_cast<ssize_t>(n);
}

bool startSession(Connection& connection) {
  const unsigned char* protocol = nullptr;
  unsigned length = 0;
  SSL_get0_alpn_selected(connection.ssl, &protocol, &length);
  if (length != 2 || memcmp(protocol, "h2", 2) != 0) return false;
  nghttp2_session_callbacks* callbacks = nullptr;
  nghttp2_session_callbacks_new(&callbacks);
  nghttp2_session_callbacks_set_send_callback(callbacks, onSend);
  nghttp2_session_callbacks_set_on_begin_headers_callback(callbacks, onBeginHeaders);
  nghttp2_session_callbacks_set_on_header_callback(callbacks, onHeader);
  nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, onFrameReceived);
  nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, onStreamClose);
  const int made = nghttp2_session_server_new(&connection.session, callbacks, &connection);
  nghttp2_session_callbacks_del(callbacks);
  if (made != 0) return false;
  const nghttp2_settings_entry settings[] = {{NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS, 100}};
  return nghttp2_submit_settings(connection.session, NGHTTP2_FLAG_NONE, settings, 1) == 0;
}

// Handshakes, then reads what came and hands it to the session.
bool receive(Connection& connection) {
  if (connection.handshaking) {
    const int done = SSL_accept(connection.ssl);
    if (done != 1) {
      const int error = SSL_get_error(connection.ssl, done);
      connection.wantsWrite = error == SSL_ERROR_WANT_WRITE;
      return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
    }
    connection.wantsWrite = false;
    connection.handshaking = false;
    if (!startSession(connection)) return false;
    connection.server->noteConnection();
  }
  uint8_t buffer[16 * 1024];
  for (;;) {
    const int n = SSL_read(connection.ssl, buffer, sizeof buffer);
    if (n <= 0) {
      const int error = SSL_get_error(connection.ssl, n);
      return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
    }
    if (nghttp2_session_mem_recv(connection.session, buffer, static_cast<size_t>(n)) < 0) return false;
  }
}

// Frames what the session has to send and writes it out.
bool send(Connection& connection) {
  if (connection.handshaking) return true;
  if (nghttp2_session_send(connection.session) != 0) return false;
  connection.wantsWrite = false;
  while (!connection.out.empty()) {
    const int n = SSL_write(connection.ssl, connection.out.data(), static_cast<int>(connection.out.size()));
    if (n <= 0) {
      const int error = SSL_get_error(connection.ssl, n);
      connection.wantsWrite = error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ;
      return connection.wantsWrite;
    }
    connection.out.erase(0, static_cast<size_t>(n));
  }
  return nghttp2_session_want_read(connection.session) || nghttp2_session_want_write(connection.session);
}

}  // namespace

Http2Server::Http2Server(const TestIdentity& identity) {
  context_ = SSL_CTX_new(TLS_server_method());
  SSL_CTX_use_certificate(context_, identity.certificate->x509());
  SSL_CTX_use_PrivateKey(context_, identity.key.get());
  for (const auto& c : identity.chain) {
    X509_up_ref(c->x509());
    SSL_CTX_add_extra_chain_cert(context_, c->x509());
  }
  SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_CTX_set_alpn_select_cb(context_, selectH2, nullptr);

  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (listener_ < 0 || wake_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    return;
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { run(); });
}

Http2Server::~Http2Server() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  if (thread_.joinable()) {
    const uint64_t one = 1;
    (void)::write(wake_, &one, sizeof one);
    thread_.join();
  }
  connections_.clear();
  if (listener_ >= 0) ::close(listener_);
  if (wake_ >= 0) ::close(wake_);
  SSL_CTX_free(context_);
}

std::string Http2Server::url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

size_t Http2Server::connectionCount() const {
  std::lock_guard lock(mutex_);
  return connectionsMade_;
}

bool Http2Server::hasRequest(const std::string& path) const {
  return std::any_of(requests_.begin(), requests_.end(), [&](const Request& r) { return r.path == path; });
}

bool Http2Server::waitForRequest(const std::string& path, double seconds) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return hasRequest(path); });
}

size_t Http2Server::pingAcknowledgements() const {
  std::lock_guard lock(mutex_);
  return pingAcknowledgements_;
}

bool Http2Server::waitForPingAcknowledgements(size_t count, double seconds) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                           [&] { return pingAcknowledgements_ >= count; });
}

bool Http2Server::write(const std::string& path, const std::string& bytes) {
  Request request;
  {
    std::lock_guard lock(mutex_);
    auto found = std::find_if(requests_.begin(), requests_.end(), [&](const Request& r) { return r.path == path; });
    if (found == requests_.end()) return false;
    request = *found;
  }
  post([this, request, bytes] { answer(request.connection, request.stream, bytes); });
  return true;
}

void Http2Server::ping() {
  post([this] { sendPings(); });
}

void Http2Server::pingEvery(double seconds) {
  post([this, seconds] {
    pingInterval_ = std::chrono::duration<double>(seconds);
    nextPing_ = std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(pingInterval_);
  });
}

void Http2Server::noteConnection() {
  std::lock_guard lock(mutex_);
  ++connectionsMade_;
  changed_.notify_all();
}

void Http2Server::noteRequest(uint64_t connection, int32_t stream, const std::string& path) {
  std::lock_guard lock(mutex_);
  requests_.push_back({path, connection, stream});
  changed_.notify_all();
}

void Http2Server::notePingAcknowledged() {
  std::lock_guard lock(mutex_);
  ++pingAcknowledgements_;
  changed_.notify_all();
}

void Http2Server::post(std::function<void()> command) {
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(std::move(command));
  }
  const uint64_t one = 1;
  (void)::write(wake_, &one, sizeof one);
}

bool Http2Server::takeCommands(std::vector<std::function<void()>>& into) {
  uint64_t count = 0;
  (void)::read(wake_, &count, sizeof count);
  std::lock_guard lock(mutex_);
  into.swap(commands_);
  return !stopping_;
}

void Http2Server::sendPings() {
  for (auto& connection : connections_) {
    if (connection->session) nghttp2_submit_ping(connection->session, NGHTTP2_FLAG_NONE, nullptr);
  }
}

void Http2Server::answer(uint64_t serial, int32_t id, const std::string& bytes) {
  // The connection may have closed since the request came.
  auto open = std::find_if(connections_.begin(), connections_.end(), [&](const auto& c) { return c->serial == serial; });
  if (open == connections_.end()) return;
  Connection* connection = open->get();
  auto stream = connection->streams.find(id);
  if (stream == connection->streams.end()) return;
  stream->second.pending += bytes;
  if (stream->second.answered) {
    nghttp2_session_resume_data(connection->session, id);
    return;
  }
  stream->second.answered = true;
  static const char* fields[][2] = {{":status", "200"}, {"content-type", "text/plain"}};
  nghttp2_nv head[2];
  for (size_t i = 0; i < 2; ++i) {
    head[i] = {reinterpret_cast<uint8_t*>(const_cast<char*>(fields[i][0])),
               reinterpret_cast<uint8_t*>(const_cast<char*>(fields[i][1])), strlen(fields[i][0]),
               strlen(fields[i][1]), NGHTTP2_NV_FLAG_NONE};
  }
  nghttp2_data_provider body{};
  body.read_callback = readBody;
  nghttp2_submit_response(connection->session, id, head, 2, &body);
}

void Http2Server::acceptConnection() {
  for (;;) {
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto connection = std::make_unique<Connection>();
    connection->server = this;
    connection->serial = ++serials_;
    connection->fd = fd;
    connection->ssl = SSL_new(context_);
    SSL_set_fd(connection->ssl, fd);
    if (!receive(*connection)) continue;  // dropped
    connections_.push_back(std::move(connection));
  }
}

void Http2Server::run() {
  std::vector<std::function<void()>> commands;
  for (;;) {
    std::vector<pollfd> watched{{wake_, POLLIN, 0}, {listener_, POLLIN, 0}};
    for (const auto& c : connections_) {
      watched.push_back({c->fd, static_cast<short>(POLLIN | (c->wantsWrite ? POLLOUT : 0)), 0});
    }
    int timeout = -1;
    if (pingInterval_.count() > 0) {
      const auto until = nextPing_ - std::chrono::steady_clock::now();
      timeout = static_cast<int>(std::max<int64_t>(
          0, std::chrono::ceil<std::chrono::milliseconds>(until).count()));
    }
    if (poll(watched.data(), watched.size(), timeout) < 0 && errno != EINTR) return;
    if (watched[0].revents) {
      if (!takeCommands(commands)) return;
      for (auto& command : commands) command();
      commands.clear();
    }
    if (watched[1].revents) acceptConnection();
    for (size_t i = 2; i < watched.size(); ++i) {
      Connection& c = *connections_[i - 2];
      if (watched[i].revents && !receive(c)) c.closed = true;
    }
    if (pingInterval_.count() > 0 && std::chrono::steady_clock::now() >= nextPing_) {
      sendPings();
      nextPing_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(pingInterval_);
    }
    for (auto& c : connections_) {
      if (!c->closed && !send(*c)) c->closed = true;
    }
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(), [](const auto& c) { return c->closed; }),
                       connections_.end());
  }
}

}  // namespace kit::test
