// The scripted TLS server: one thread that accepts, handshakes, reads the
// requests, and then runs the test's steps between reads.
#include "kit/net/testing/tls_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace kit::test {

namespace {

// Repeats `operation` (an SSL call) until it went through on the
// non-blocking socket `fd`, for up to ten seconds. A handshake step left
// waiting for the client (`waitingIsDone`) has sent its part; any other
// step that waits for the client (a write while a renegotiation this side
// asked for runs: the client answers once it reads) waits for it.
bool complete(SSL* ssl, int fd, const std::function<int()>& operation, bool waitingIsDone = false) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    const int result = operation();
    if (result > 0) return true;
    const int error = SSL_get_error(ssl, result);
    if (error == SSL_ERROR_WANT_READ && waitingIsDone) return true;
    if ((error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ) || std::chrono::steady_clock::now() >= until) {
      return false;
    }
    pollfd ready{fd, static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
    poll(&ready, 1, 100);
  }
}

// Asks for a renegotiation and sends the request for it.
bool askForRenegotiation(SSL* ssl, int fd) {
  return SSL_renegotiate(ssl) == 1 && complete(ssl, fd, [ssl] { return SSL_do_handshake(ssl); }, /*waitingIsDone=*/true);
}

// The certificate, key and chain the handshakes from `ctx` present (each
// chain goes with its certificate, so that another identity brings its own).
bool useIdentity(SSL_CTX* ctx, const TestIdentity& identity) {
  if (SSL_CTX_use_certificate(ctx, identity.certificate->x509()) != 1 ||
      SSL_CTX_use_PrivateKey(ctx, identity.key.get()) != 1 || SSL_CTX_clear_chain_certs(ctx) != 1) {
    return false;
  }
  for (const auto& c : identity.chain) {
    if (SSL_CTX_add1_chain_cert(ctx, c->x509()) != 1) return false;
  }
  return true;
}

// The same for the handshakes of one connection from now on.
bool useIdentity(SSL* ssl, const TestIdentity& identity) {
  if (SSL_use_certificate(ssl, identity.certificate->x509()) != 1 || SSL_use_PrivateKey(ssl, identity.key.get()) != 1 ||
      SSL_clear_chain_certs(ssl) != 1) {
    return false;
  }
  for (const auto& c : identity.chain) {
    if (SSL_add1_chain_cert(ssl, c->x509()) != 1) return false;
  }
  return true;
}

// The length of the request `bytes` begins with, its head and the body its
// Content-Length gives; 0 while it has not come whole.
size_t wholeRequest(const std::string& bytes) {
  const size_t end = bytes.find("\r\n\r\n");
  if (end == std::string::npos) return 0;
  size_t body = 0;
  for (size_t line = bytes.find("\r\n") + 2; line < end; line = bytes.find("\r\n", line) + 2) {
    static const std::string name = "content-length:";
    if (strncasecmp(bytes.c_str() + line, name.c_str(), name.size()) == 0) {
      body = strtoull(bytes.c_str() + line + name.size(), nullptr, 10);
    }
  }
  return bytes.size() - (end + 4) >= body ? end + 4 + body : 0;
}

}  // namespace

TLSPeer::TLSPeer(const TestIdentity& identity, Version version, Renegotiation renegotiation) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  context_ = std::shared_ptr<void>(ctx, [](void* c) { SSL_CTX_free(static_cast<SSL_CTX*>(c)); });
  useIdentity(ctx, identity);
  SSL_CTX_set_msg_callback_arg(ctx, this);
  // The peer's part of each handshake sent, and the client's Finished of
  // each renegotiation received (the handshake has gone through).
  SSL_CTX_set_msg_callback(ctx, [](int sent, int, int type, const void* message, size_t length, SSL* ssl, void* peer) {
    if (type != SSL3_RT_HANDSHAKE || length == 0) return;
    const unsigned char kind = static_cast<const unsigned char*>(message)[0];
    if (sent && kind == SSL3_MT_SERVER_DONE) static_cast<TLSPeer*>(peer)->noteServerHello();
    if (!sent && kind == SSL3_MT_FINISHED && SSL_total_renegotiations(ssl) > 0) {
      static_cast<TLSPeer*>(peer)->noteRenegotiation();
    }
  });
  if (version == Version::TLS12) {
    SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
    // A renegotiation is a whole handshake, certificate and all.
    SSL_CTX_set_options(ctx, SSL_OP_NO_SESSION_RESUMPTION_ON_RENEGOTIATION);
    if (renegotiation == Renegotiation::Whole) {
      // Nothing the client could offer to resume (see Renegotiation).
      SSL_CTX_set_options(ctx, SSL_OP_NO_TICKET);
      SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    }
  } else {
    SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION);
  }

  wake_ = eventfd(0, EFD_CLOEXEC);
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (wake_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener_, 1) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    fprintf(stderr, "TLSPeer: cannot listen on 127.0.0.1\n");
    return;
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { serve(); });
}

TLSPeer::~TLSPeer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    // Ends a pending accept, handshake or head read.
    if (connection_ >= 0) shutdown(connection_, SHUT_RDWR);
  }
  shutdown(listener_, SHUT_RDWR);
  if (wake_ >= 0) eventfd_write(wake_, 1);
  if (thread_.joinable()) thread_.join();
  if (ssl_) SSL_free(ssl_);
  if (connection_ >= 0) close(connection_);
  if (wake_ >= 0) close(wake_);
  close(listener_);
}

std::string TLSPeer::url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

bool TLSPeer::waitForRequest(size_t count, double seconds) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return requests_ >= count; });
}

bool TLSPeer::write(const std::string& bytes) {
  return run([bytes, this](SSL* ssl) { return writeNow(ssl, bytes); });
}

bool TLSPeer::writeNow(SSL* ssl, const std::string& bytes) {
  return complete(ssl, connection_, [&] { return SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size())); });
}

void TLSPeer::answerEach(std::function<std::string(size_t)> answer, bool thenHold) {
  std::lock_guard lock(mutex_);
  answer_ = std::move(answer);
  holdAfterAnswer_ = thenHold;
}

bool TLSPeer::updateKeys() {
  return run([this](SSL* ssl) {
    // The handshake call sends the KeyUpdate now rather than with the next
    // write.
    return SSL_key_update(ssl, SSL_KEY_UPDATE_NOT_REQUESTED) == 1 &&
           complete(ssl, connection_, [ssl] { return SSL_do_handshake(ssl); });
  });
}

bool TLSPeer::sendTicket() {
  return run([this](SSL* ssl) {
    // As with a KeyUpdate, the handshake call sends it now.
    return SSL_new_session_ticket(ssl) == 1 && complete(ssl, connection_, [ssl] { return SSL_do_handshake(ssl); });
  });
}

bool TLSPeer::requestRenegotiation(const std::string& then) {
  return run([this, then](SSL* ssl) {
    return askForRenegotiation(ssl, connection_) &&
           (then.empty() ||
            complete(ssl, connection_, [&] { return SSL_write(ssl, then.data(), static_cast<int>(then.size())); }));
  });
}

void TLSPeer::renegotiateAfterEachAnswer() {
  std::lock_guard lock(mutex_);
  renegotiateAfterAnswer_ = true;
}

void TLSPeer::closeOnRequest(size_t n) {
  std::lock_guard lock(mutex_);
  closeOnRequest_ = n;
}

void TLSPeer::renegotiateOnRequest(size_t n, const TestIdentity& identity) {
  std::lock_guard lock(mutex_);
  renegotiateOnRequest_ = n;
  renegotiationIdentity_ = identity;
}

bool TLSPeer::present(const TestIdentity& identity) {
  return run([this, identity](SSL* ssl) {
    return useIdentity(static_cast<SSL_CTX*>(context_.get()), identity) && useIdentity(ssl, identity);
  });
}

bool TLSPeer::holdOutput() {
  return run([](SSL* ssl) {
    BIO* held = BIO_new(BIO_s_mem());
    if (!held) return false;
    // The socket's BIO stays the reading side.
    SSL_set0_wbio(ssl, held);
    return true;
  });
}

namespace {

// Sends up to `bytes` of what `held` holds to the socket `fd`; false when
// the socket failed.
bool sendHeld(BIO* held, int fd, size_t bytes) {
  std::string chunk(std::min(bytes, BIO_ctrl_pending(held)), '\0');
  const int n = chunk.empty() ? 0 : BIO_read(held, chunk.data(), static_cast<int>(chunk.size()));
  for (size_t sent = 0; n > 0 && sent < static_cast<size_t>(n);) {
    const ssize_t written = send(fd, chunk.data() + sent, static_cast<size_t>(n) - sent, MSG_NOSIGNAL);
    if (written < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (written > 0) sent += static_cast<size_t>(written);
    pollfd writable{fd, POLLOUT, 0};
    if (sent < static_cast<size_t>(n)) poll(&writable, 1, 100);
  }
  return true;
}

bool holding(SSL* ssl) {
  BIO* held = SSL_get_wbio(ssl);
  return held && BIO_method_type(held) == BIO_TYPE_MEM;
}

}  // namespace

bool TLSPeer::release(size_t bytes) {
  return run([this, bytes](SSL* ssl) {
    if (!holding(ssl) || BIO_ctrl_pending(SSL_get_wbio(ssl)) == 0) return false;
    return sendHeld(SSL_get_wbio(ssl), connection_, bytes);
  });
}

bool TLSPeer::passOutput() {
  return run([this](SSL* ssl) {
    if (!holding(ssl)) return true;
    if (!sendHeld(SSL_get_wbio(ssl), connection_, SIZE_MAX)) return false;
    // The socket's BIO, which reads, writes again.
    BIO* socket = SSL_get_rbio(ssl);
    BIO_up_ref(socket);
    SSL_set0_wbio(ssl, socket);
    return true;
  });
}

bool TLSPeer::waitUntilReceived(double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    int unacknowledged = 0;
    {
      std::lock_guard lock(mutex_);
      if (connection_ < 0 || ioctl(connection_, SIOCOUTQ, &unacknowledged) != 0) return false;
    }
    if (unacknowledged == 0) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::yield();
  }
}

bool TLSPeer::waitForRenegotiations(int count, double seconds) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return renegotiations_ >= count; });
}

void TLSPeer::noteRenegotiation() {
  {
    std::lock_guard lock(mutex_);
    ++renegotiations_;
  }
  changed_.notify_all();
}

void TLSPeer::noteServerHello() {
  {
    std::lock_guard lock(mutex_);
    ++serverHellos_;
  }
  changed_.notify_all();
}

bool TLSPeer::waitForServerHellos(int count, double seconds) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return serverHellos_ >= count; });
}

int TLSPeer::renegotiations() const {
  std::lock_guard lock(mutex_);
  return renegotiations_;
}

bool TLSPeer::waitUntilClosed(double seconds) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return connection_ < 0; });
}

bool TLSPeer::run(std::function<bool(SSL*)> step) {
  std::unique_lock lock(mutex_);
  if (!open_ || stopping_) return false;
  step_ = std::move(step);
  stepDone_ = false;
  eventfd_write(wake_, 1);
  changed_.wait(lock, [&] { return stepDone_ || stopping_; });
  return stepDone_ && stepResult_;
}

bool TLSPeer::readAvailable() {
  char buffer[4096];
  for (;;) {
    const int n = SSL_read(ssl_, buffer, sizeof buffer);
    if (n > 0) {
      received_.append(buffer, static_cast<size_t>(n));
      for (size_t length; (length = wholeRequest(received_)) > 0;) {
        received_.erase(0, length);
        std::function<std::string(size_t)> answer;
        size_t count = 0;
        bool thenHold = false;
        bool renegotiate = false;
        bool close = false;
        std::optional<TestIdentity> renegotiateFirst;
        {
          std::lock_guard lock(mutex_);
          count = ++requests_;
          answer = answer_;
          thenHold = holdAfterAnswer_;
          renegotiate = renegotiateAfterAnswer_;
          close = count == closeOnRequest_;
          if (count == renegotiateOnRequest_) renegotiateFirst = renegotiationIdentity_;
        }
        changed_.notify_all();
        if (close) {
          SSL_shutdown(ssl_);
          return false;
        }
        if (renegotiateFirst) {
          // Answered once the client has gone through the handshake (below).
          if (!useIdentity(ssl_, *renegotiateFirst) || !askForRenegotiation(ssl_, connection_)) return false;
          answerAfterRenegotiation_ = count;
          continue;
        }
        const std::string text = answer ? answer(count) : std::string();
        if (text.empty()) continue;
        if (!writeNow(ssl_, text)) return false;
        // (A renegotiation this side asked for is pending until it is done.)
        if (renegotiate && !SSL_renegotiate_pending(ssl_) && !askForRenegotiation(ssl_, connection_)) return false;
        if (thenHold && !holding(ssl_)) {
          BIO* held = BIO_new(BIO_s_mem());
          if (!held) return false;
          SSL_set0_wbio(ssl_, held);
        }
      }
      changed_.notify_all();
      continue;
    }
    const int error = SSL_get_error(ssl_, n);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return false;
    if (answerAfterRenegotiation_ == 0 || SSL_renegotiate_pending(ssl_)) return true;
    const size_t count = std::exchange(answerAfterRenegotiation_, 0);
    std::function<std::string(size_t)> answer;
    {
      std::lock_guard lock(mutex_);
      answer = answer_;
    }
    const std::string text = answer ? answer(count) : std::string();
    return text.empty() || writeNow(ssl_, text);
  }
}

void TLSPeer::serve() {
  // OpenSSL writes to the socket with write(): a client gone must not end
  // the process with SIGPIPE (a write to it fails with EPIPE instead).
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  while (serveConnection()) {
  }
}

bool TLSPeer::serveConnection() {
  const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return false;
  SSL* ssl = SSL_new(static_cast<SSL_CTX*>(context_.get()));
  SSL_set_fd(ssl, fd);
  received_.clear();
  answerAfterRenegotiation_ = 0;
  {
    std::lock_guard lock(mutex_);
    connection_ = fd;
    ssl_ = ssl;
    ++connections_;
    if (stopping_) return false;
  }
  bool open = SSL_accept(ssl) == 1;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  {
    std::lock_guard lock(mutex_);
    open_ = open;
  }
  // What came with the handshake's last flight.
  if (open && !readAvailable()) {
    open = false;
    std::lock_guard lock(mutex_);
    open_ = false;
  }
  while (open) {
    pollfd ready[2] = {{wake_, POLLIN, 0}, {fd, POLLIN, 0}};
    poll(ready, 2, -1);
    if (ready[0].revents) {
      eventfd_t ignored;
      eventfd_read(wake_, &ignored);
    }
    std::function<bool(SSL*)> step;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return false;
      step = std::move(step_);
      step_ = nullptr;
    }
    if (step) {
      const bool result = step(ssl);
      {
        std::lock_guard lock(mutex_);
        stepDone_ = true;
        stepResult_ = result;
      }
    }
    if (ready[1].revents) open = readAvailable();
    {
      std::lock_guard lock(mutex_);
      open_ = open;
    }
    changed_.notify_all();
  }
  // The client closed it, or broke it off: the next one may come.
  std::lock_guard lock(mutex_);
  if (step_) {
    step_ = nullptr;
    stepDone_ = true;
    stepResult_ = false;
  }
  SSL_free(ssl_);
  ssl_ = nullptr;
  close(connection_);
  connection_ = -1;
  changed_.notify_all();
  return !stopping_;
}

size_t TLSPeer::connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

}  // namespace kit::test
