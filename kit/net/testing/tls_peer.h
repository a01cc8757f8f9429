// A TLS server on 127.0.0.1 that answers its connections, one at a time,
// only as a test tells it to, for tests of what a client makes of TLS
// records that carry none of its data. It completes the handshake with a test identity (TLS
// 1.3, or at most TLS 1.2 when asked), counts the requests that come
// and sends nothing until the test asks for bytes of an answer, a TLS 1.3
// KeyUpdate or a TLS 1.2 renegotiation request, and when asked, holds its
// records back to let them through a few bytes at a time. Meanwhile it
// reads what the client sends, so that a renegotiation the client takes
// part in completes. It can also answer each request as it comes, ask for
// a renegotiation behind each answer or before one, present another
// identity, and close a connection on a request without answering it.
//
//   kit::test::TLSPeer peer(kit::test::TestCertificates::shared().localhost);
//   ... request peer.url() ...
//   ASSERT_TRUE(peer.waitForRequest());
//   ASSERT_TRUE(peer.updateKeys());
//   ASSERT_TRUE(peer.waitUntilReceived());
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "kit/net/testing/test_certificates.h"

typedef struct ssl_st SSL;

namespace kit::test {

class TLSPeer {
 public:
  enum class Version { TLS13, TLS12 };
  // How the client takes a TLS 1.2 renegotiation, which is a whole
  // handshake (certificate and all) either way. Resumable: the peer gives
  // the client a session it could resume (a session ID, a ticket), which
  // the client offers, and keeps with its chain, until the new handshake
  // replaces it. Whole: the peer gives it none (no session cache, no
  // tickets), so the client starts a session of its own as it answers, and
  // holds no chain until the new certificate comes.
  enum class Renegotiation { Resumable, Whole };

  explicit TLSPeer(const TestIdentity& identity, Version version = Version::TLS13,
                   Renegotiation renegotiation = Renegotiation::Resumable);
  // Shuts the connection down and joins the peer's thread.
  ~TLSPeer();
  TLSPeer(const TLSPeer&) = delete;
  TLSPeer& operator=(const TLSPeer&) = delete;

  int port() const { return port_; }
  // "https://127.0.0.1:PORT" and `path`.
  std::string url(const std::string& path = "/") const;

  // The connections accepted so far.
  size_t connections() const;
  // Waits (on a condition) until `count` requests have come, over all
  // connections: a request's head, and the body its Content-Length gives.
  bool waitForRequest(size_t count = 1, double seconds = 10);

  // Each sends its record(s) from the peer's thread and returns once they
  // are written; false when the connection is gone or OpenSSL refused.
  bool write(const std::string& bytes);
  // A KeyUpdate that does not ask the client to update its own keys.
  bool updateKeys();
  // A TLS 1.3 session ticket (NewSessionTicket) the client did not ask for.
  bool sendTicket();
  // A HelloRequest, and `then` written right behind it, before the client
  // can answer; the handshake that follows runs as the client answers.
  bool requestRenegotiation(const std::string& then = "");

  // From now on each request is answered as soon as it has come, with
  // `answer(n)` for the nth of the peer's life (from 1), before anything the
  // client sent behind it is read. With `thenHold`, what the peer writes
  // after each answer is held (see holdOutput): a renegotiation the client
  // took up with the request is answered (ServerHello and on) only when the
  // test releases it. An empty answer leaves its request to the test.
  void answerEach(std::function<std::string(size_t)> answer, bool thenHold = false);
  // From now on (TLS 1.2) the peer asks for a renegotiation right behind
  // each answer of answerEach (before anything it holds after the answer),
  // unless one it asked for is still under way.
  // The client reads the request for it only as it reads its next answer,
  // takes the handshake up then, and gets that answer before the peer's
  // part of the handshake, which is left for the request after to read.
  void renegotiateAfterEachAnswer();
  // The `n`th request of the peer's life (from 1) is not answered: the
  // peer closes the connection (close_notify, then FIN) as it comes.
  void closeOnRequest(size_t n);
  // The `n`th request of the peer's life (from 1) is not answered as it
  // comes (TLS 1.2): the peer first asks for a renegotiation of its
  // connection presenting `identity` there (new connections go on
  // presenting the peer's own), and answers it (see answerEach) only once
  // the client has gone through that handshake.
  void renegotiateOnRequest(size_t n, const TestIdentity& identity);

  // From now on the peer's handshakes present `identity`: a renegotiation
  // of the open connection and every new connection. False when no
  // connection is open.
  bool present(const TestIdentity& identity);

  // From now on the records the peer writes wait, in order, until the test
  // releases them: a slow link, whose pace the test sets.
  bool holdOutput();
  // Sends the client everything held and writes straight to it again.
  bool passOutput();
  // Sends the client the next `bytes` bytes of the held records (fewer at
  // the end), cut anywhere; false when nothing was held, or the connection
  // is gone.
  bool release(size_t bytes);

  // Waits until the client's side has taken in everything sent (its kernel
  // has it; the client may not have read it yet).
  bool waitUntilReceived(double seconds = 10);
  // Waits until the client has gone through `count` renegotiations in all.
  bool waitForRenegotiations(int count, double seconds = 10);
  int renegotiations() const;
  // Waits until the peer has sent its part of `count` handshakes over TLS
  // 1.2 (up to its ServerHelloDone), the first one included.
  bool waitForServerHellos(int count, double seconds = 10);
  // Waits until the client has closed the connection (or broken it off).
  bool waitUntilClosed(double seconds = 10);

 private:
  void serve();
  // Accepts a connection and serves it until it ends; false when the peer
  // stops.
  bool serveConnection();
  // Runs `step` on the peer's thread with the connection's SSL.
  bool run(std::function<bool(SSL*)> step);
  // Reads and drops what the client sent, answering the heads in it when
  // the test said so; false once the connection ended.
  bool readAvailable();
  // Writes `bytes` on the peer's thread, waiting for the client as needed.
  bool writeNow(SSL* ssl, const std::string& bytes);
  // The peer's thread sent a ServerHelloDone, or went through a handshake
  // after the first.
  void noteServerHello();
  void noteRenegotiation();

  std::shared_ptr<void> context_;  // SSL_CTX
  int listener_ = -1;
  int port_ = 0;
  int wake_ = -1;  // an eventfd: a step is waiting
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int connection_ = -1;
  SSL* ssl_ = nullptr;
  size_t requests_ = 0;
  std::string received_;  // after the last whole request (the peer's thread)
  bool open_ = false;
  size_t connections_ = 0;
  bool stopping_ = false;
  int renegotiations_ = 0;
  std::function<std::string(size_t)> answer_;  // see answerEach
  bool holdAfterAnswer_ = false;
  bool renegotiateAfterAnswer_ = false;
  size_t closeOnRequest_ = 0;  // 0: none
  size_t renegotiateOnRequest_ = 0;  // 0: none
  std::optional<TestIdentity> renegotiationIdentity_;
  // The request whose answer waits for the renegotiation asked for before
  // it (the peer's thread; 0: none).
  size_t answerAfterRenegotiation_ = 0;
  int serverHellos_ = 0;
  std::function<bool(SSL*)> step_;
  bool stepDone_ = false;
  bool stepResult_ = false;
};

}  // namespace kit::test
