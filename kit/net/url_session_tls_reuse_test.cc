// Kept-alive TLS connections and trust: a request goes out on a connection
// another request opened only when its own trust step accepts it, whichever
// of them came first: one that takes any certificate (an image loaded with
// invalid certificates allowed, a security policy that allows them), one
// that pins a key, and one that leaves it to the default evaluation; within
// one session, across two, and through URL connections. A request goes out
// again on a new connection only when no byte of it went out on the one
// refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "kit/foundation/format.h"
#include "kit/net/input_stream.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/tls_peer.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_connection.h"
#include "kit/net/url_session.h"
#include "kit/testing/run_until.h"

namespace kit {
namespace {

using test::TestCertificates;
using test::TestResponse;
using test::TestServer;

using Disposition = URLSessionAuthChallengeDisposition;

// How a request judges the server's chain.
enum class Judge { Default, AnyCertificate, PinnedKey };

void answer(Judge judge, const Ref<PublicKey>& pinned, const Ref<URLAuthenticationChallenge>& challenge,
            const URLSessionDelegate::ChallengeCompletion& completion) {
  auto trust = challenge->protectionSpace()->serverTrust();
  switch (judge) {
    case Judge::Default:
      return completion(Disposition::PerformDefaultHandling, nullptr);
    case Judge::AnyCertificate:
      return completion(Disposition::UseCredential, URLCredential::credentialForTrust(trust));
    case Judge::PinnedKey: {
      auto key = trust->copyPublicKey();
      if (key && isEqual(key, pinned)) return completion(Disposition::UseCredential, URLCredential::credentialForTrust(trust));
      return completion(Disposition::CancelAuthenticationChallenge, nullptr);
    }
  }
}

// Judges each task as its path says ("/any", "/pinned", else by default),
// as a loader whose requests carry their own options does.
class JudgeByPath : public URLSessionDelegate {
 public:
  explicit JudgeByPath(Ref<PublicKey> pinned) : pinned_(std::move(pinned)) {}
  bool implements(URLSessionDelegateEvent event) const override { return event == URLSessionDelegateEvent::TaskChallenge; }
  void taskDidReceiveChallenge(URLSession&, const Ref<URLSessionTask>& task,
                               const Ref<URLAuthenticationChallenge>& challenge, ChallengeCompletion completion) override {
    const std::string path = describe(task->currentRequest()->URL()->path());
    answer(path == "/any" ? Judge::AnyCertificate : path == "/pinned" ? Judge::PinnedKey : Judge::Default, pinned_,
           challenge, completion);
  }

 private:
  Ref<PublicKey> pinned_;
};

// Judges at the session's level by a policy that can change between
// requests, as a session manager's security policy does.
class JudgeByPolicy : public URLSessionDelegate {
 public:
  JudgeByPolicy(Judge judge, Ref<PublicKey> pinned) : judge_(judge), pinned_(std::move(pinned)) {}
  bool implements(URLSessionDelegateEvent event) const override { return event == URLSessionDelegateEvent::SessionChallenge; }
  void didReceiveChallenge(URLSession&, const Ref<URLAuthenticationChallenge>& challenge,
                           ChallengeCompletion completion) override {
    ++challenges_;
    answer(judge_.load(), pinned_, challenge, completion);
  }
  std::atomic<Judge> judge_;
  std::atomic<int> challenges_{0};

 private:
  Ref<PublicKey> pinned_;
};

// The error of one GET (nil on success).
Ref<Error> fetch(URLSession& session, const std::string& address) {
  test::Latch done;
  Ref<Error> error;
  session.dataTaskWithURL(URL::URLWithString(address), [&](Ref<Data>, Ref<URLResponse>, Ref<Error> e) {
    error = e;
    done.open();
  })->resume();
  EXPECT_TRUE(done.wait()) << address;
  return error;
}

long codeOf(const Ref<Error>& error) { return error ? error->code() : 0; }

class TLSConnectionReuse : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto* server : {&selfSigned, &valid}) {
      (*server)->route("*", "/*", TestResponse::text("ok"));
    }
  }
  Ref<URLSession> sessionWith(Ref<URLSessionDelegate> delegate) {
    auto session =
        URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate, nullptr);
    sessions_.push_back(session);
    return session;
  }
  void TearDown() override {
    for (auto& session : sessions_) session->invalidateAndCancel();
  }

  test::ScopedTestAnchors anchors;
  const TestCertificates& certs = TestCertificates::shared();
  std::unique_ptr<TestServer> selfSigned = TestServer::startHTTPS(certs.selfSigned);
  std::unique_ptr<TestServer> valid = TestServer::startHTTPS(certs.localhost);
  // The self-signed server's key; the valid server's is another.
  Ref<PublicKey> selfSignedKey = certs.selfSigned.certificate->publicKey();

 private:
  std::vector<Ref<URLSession>> sessions_;
};

TEST_F(TLSConnectionReuse, WithinOneSessionEachRequestJudgesTheConnectionItGoesOutOn) {
  auto session = sessionWith(std::make_shared<JudgeByPath>(selfSignedKey));
  // The self-signed server: taking any certificate, or pinning its key,
  // accepts it; the default evaluation refuses it, on a kept-alive
  // connection too.
  for (const char* permissive : {"/any", "/pinned"}) {
    SCOPED_TRACE(permissive);
    const size_t connections = selfSigned->connectionCount();
    EXPECT_EQ(codeOf(fetch(*session, selfSigned->url(permissive))), 0);
    EXPECT_EQ(codeOf(fetch(*session, selfSigned->url(permissive))), 0);
    EXPECT_EQ(selfSigned->connectionCount(), connections + 1) << "the second request reused the connection";
    const size_t requests = selfSigned->requestCount();
    EXPECT_EQ(codeOf(fetch(*session, selfSigned->url("/default"))), URLErrorServerCertificateUntrusted);
    EXPECT_EQ(selfSigned->requestCount(), requests) << "the refused request reached the server";
    EXPECT_EQ(codeOf(fetch(*session, selfSigned->url(permissive))), 0);
    EXPECT_EQ(codeOf(fetch(*session, selfSigned->url("/default"))), URLErrorServerCertificateUntrusted);
  }
  // The valid server: the default evaluation accepts it, a pin of another
  // key refuses it, on a kept-alive connection too.
  EXPECT_EQ(codeOf(fetch(*session, valid->url("/default"))), 0);
  EXPECT_EQ(codeOf(fetch(*session, valid->url("/pinned"))), URLErrorCancelled);
  EXPECT_EQ(codeOf(fetch(*session, valid->url("/default"))), 0);
  EXPECT_EQ(codeOf(fetch(*session, valid->url("/pinned"))), URLErrorCancelled);
  EXPECT_EQ(valid->requestCount(), 2u);
}

TEST_F(TLSConnectionReuse, ASessionPolicyThatChangesIsAppliedToKeptAliveConnections) {
  auto policy = std::make_shared<JudgeByPolicy>(Judge::AnyCertificate, selfSignedKey);
  auto session = sessionWith(policy);
  for (Judge first : {Judge::AnyCertificate, Judge::Default}) {
    SCOPED_TRACE(first == Judge::Default ? "default first" : "invalid certificates allowed first");
    for (Judge judge : {first, first == Judge::Default ? Judge::AnyCertificate : Judge::Default, first}) {
      policy->judge_ = judge;
      EXPECT_EQ(codeOf(fetch(*session, selfSigned->url("/"))),
                judge == Judge::Default ? long{URLErrorServerCertificateUntrusted} : 0);
    }
  }
  policy->judge_ = Judge::Default;
  EXPECT_EQ(codeOf(fetch(*session, valid->url("/"))), 0);
  policy->judge_ = Judge::PinnedKey;
  EXPECT_EQ(codeOf(fetch(*session, valid->url("/"))), URLErrorCancelled);
  EXPECT_EQ(codeOf(fetch(*session, selfSigned->url("/"))), 0);
}

TEST_F(TLSConnectionReuse, EachRequestAsksTheDelegateOnceOnANewConnectionAndOnAKeptAliveOne) {
  auto policy = std::make_shared<JudgeByPolicy>(Judge::AnyCertificate, selfSignedKey);
  auto session = sessionWith(policy);
  for (auto* server : {&selfSigned, &valid}) {
    SCOPED_TRACE((*server)->baseURL());
    policy->judge_ = server == &valid ? Judge::Default : Judge::AnyCertificate;
    const int before = policy->challenges_;
    EXPECT_EQ(codeOf(fetch(*session, (*server)->url("/"))), 0);
    EXPECT_EQ(policy->challenges_ - before, 1) << "a new connection's handshake";
    EXPECT_EQ(codeOf(fetch(*session, (*server)->url("/"))), 0);
    EXPECT_EQ(policy->challenges_ - before, 2) << "a kept-alive connection";
    EXPECT_EQ((*server)->connectionCount(), 1u);
  }
}

TEST_F(TLSConnectionReuse, ASessionDoesNotInheritAnotherSessionsConnections) {
  auto permissive = sessionWith(std::make_shared<JudgeByPolicy>(Judge::AnyCertificate, selfSignedKey));
  auto pinning = sessionWith(std::make_shared<JudgeByPolicy>(Judge::PinnedKey, selfSignedKey));
  auto plain = sessionWith(nullptr);
  for (bool permissiveFirst : {true, false}) {
    SCOPED_TRACE(permissiveFirst ? "permissive first" : "default first");
    for (int round = 0; round < 2; ++round) {
      if (permissiveFirst == (round == 0)) {
        EXPECT_EQ(codeOf(fetch(*permissive, selfSigned->url("/"))), 0);
        EXPECT_EQ(codeOf(fetch(*pinning, selfSigned->url("/"))), 0);
      } else {
        EXPECT_EQ(codeOf(fetch(*plain, selfSigned->url("/"))), URLErrorServerCertificateUntrusted);
      }
    }
  }
  EXPECT_EQ(codeOf(fetch(*plain, valid->url("/"))), 0);
  EXPECT_EQ(codeOf(fetch(*pinning, valid->url("/"))), URLErrorCancelled);
  EXPECT_EQ(codeOf(fetch(*plain, valid->url("/"))), 0);
}

// A connection's delegate that takes any certificate when it allows
// invalid ones (as the image loader's option does), else the default.
class ImageLikeDelegate : public URLConnectionDelegate {
 public:
  explicit ImageLikeDelegate(bool allowInvalid) : allowInvalid_(allowInvalid) {}
  void connectionWillSendRequestForAuthenticationChallenge(URLConnection&, const Ref<URLAuthenticationChallenge>& challenge,
                                                           const Ref<URLAuthenticationChallengeSender>& sender) override {
    if (allowInvalid_) return sender->useCredential(URLCredential::credentialForTrust(challenge->protectionSpace()->serverTrust()));
    sender->performDefaultHandling();
  }
  void connectionDidFailWithError(URLConnection&, const Ref<Error>& e) override {
    error = e;
    done = true;
  }
  void connectionDidFinishLoading(URLConnection&) override { done = true; }
  bool done = false;
  Ref<Error> error;

 private:
  bool allowInvalid_;
};

TEST_F(TLSConnectionReuse, URLConnectionsThatAllowInvalidCertificatesLeaveNoTrustBehind) {
  auto load = [&](bool allowInvalid) {
    auto delegate = std::make_shared<ImageLikeDelegate>(allowInvalid);
    auto connection = URLConnection::connectionWithRequest(URLRequest::make(URL::URLWithString(selfSigned->url("/image"))), delegate);
    EXPECT_TRUE(test::runUntil([&] { return delegate->done; }, 10));
    return codeOf(delegate->error);
  };
  for (bool allowFirst : {true, false}) {
    SCOPED_TRACE(allowFirst ? "allowing first" : "default first");
    EXPECT_EQ(load(allowFirst), allowFirst ? 0 : long{URLErrorServerCertificateUntrusted});
    EXPECT_EQ(load(!allowFirst), allowFirst ? long{URLErrorServerCertificateUntrusted} : 0);
    EXPECT_EQ(load(allowFirst), allowFirst ? 0 : long{URLErrorServerCertificateUntrusted});
  }
}

// A server that asks for a whole new handshake 0.3 s after each answer,
// while the connection waits in the pool: the next request takes the
// handshake up as it goes out, which is judged for it (its delegate asked
// as for any challenge), and gets its answer on the same connection.
TEST(TLSConnectionRenegotiatedWhileIdle, ServesEachOfTheRequestsThatFollow) {
  test::ScopedTestAnchors anchors;
  test::TLSPeer peer(TestCertificates::shared().localhost, test::TLSPeer::Version::TLS12);
  auto delegate = std::make_shared<test::RecordingDelegate>();
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                      delegate, nullptr);
  for (int i = 0; i < 3; ++i) {
    test::CompletionResult result;
    const std::string n = std::to_string(i);
    auto request = MutableURLRequest::make(URL::URLWithString(peer.url("/" + n)));
    request->setTimeoutInterval(10);
    session->dataTaskWithRequest(request, result.handler())->resume();
    ASSERT_TRUE(peer.waitForRequest(i + 1));
    // The client answers the request for a handshake once it reads.
    ASSERT_TRUE(peer.waitForRenegotiations(i));
    ASSERT_TRUE(peer.write("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n" + n));
    ASSERT_TRUE(result.done.wait());
    EXPECT_EQ(result.errorCode(), 0) << "request " << i;
    EXPECT_EQ(result.body(), n);
    ASSERT_TRUE(peer.requestRenegotiation());
    ASSERT_TRUE(peer.waitUntilReceived());
  }
  EXPECT_EQ(peer.connections(), 1u);
  // The first handshake, each request on the kept-alive connection and
  // each of the two handshakes that came before one.
  const auto names = delegate->names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "challenge"), 5);
  session->invalidateAndCancel();
}

// A server that asks for a new handshake once the connection waits in the
// pool, and answers the next request before it goes on with that
// handshake, which it finishes only once that request has ended (TLS 1.2
// allows that order): the request after takes the rest of it up as it goes
// out, and it is judged for that request (its delegate asked), not for the
// one that ended. Every request is answered on the one connection.
// KIT_TEST_RENEGOTIATION_ROUNDS sets how many requests go out (3 unless).
TEST(TLSConnectionRenegotiatedWhileIdle, AHandshakeFinishedAfterTheNextAnswerServesTheRequestThatTakesItUp) {
  test::ScopedTestAnchors anchors;
  test::TLSPeer peer(TestCertificates::shared().localhost, test::TLSPeer::Version::TLS12);
  peer.answerEach([](size_t n) { return "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n" + std::to_string(100 + n); },
                  /*thenHold=*/true);
  auto delegate = std::make_shared<test::RecordingDelegate>();
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                      delegate, nullptr);
  const char* rounds = getenv("KIT_TEST_RENEGOTIATION_ROUNDS");
  const int requests = rounds ? std::max(1, atoi(rounds)) : 3;
  std::vector<uint64_t> tasks;
  for (int i = 1; i <= requests; ++i) {
    test::CompletionResult result;
    auto request = MutableURLRequest::make(URL::URLWithString(peer.url("/" + std::to_string(i))));
    request->setTimeoutInterval(10);
    auto task = session->dataTaskWithRequest(request, result.handler());
    tasks.push_back(task->taskIdentifier());
    task->resume();
    ASSERT_TRUE(result.done.wait());
    EXPECT_EQ(result.errorCode(), 0) << "request " << i;
    EXPECT_EQ(result.body(), std::to_string(100 + i)) << "request " << i;
    // The server's part of the handshake the request took up (every second
    // one) reaches the connection in the pool.
    ASSERT_TRUE(peer.passOutput());
    ASSERT_TRUE(peer.waitUntilReceived());
    if (i % 2 == 1) {
      ASSERT_TRUE(peer.requestRenegotiation());
      ASSERT_TRUE(peer.waitUntilReceived());
    }
  }
  EXPECT_EQ(peer.connections(), 1u);
  EXPECT_EQ(peer.renegotiations(), (requests - 1) / 2);
  // Each request judges the connection it goes out on; the one that reads
  // the rest of a handshake judges that as well.
  for (int i = 1; i <= requests; ++i) {
    const auto names = delegate->names(tasks[i - 1]);
    EXPECT_EQ(std::count(names.begin(), names.end(), "challenge"), i >= 3 && i % 2 == 1 ? 2 : 1) << "request " << i;
  }
  session->invalidateAndCancel();
}

// A new handshake the server asked for while the connection answered, which
// comes whole only after its request ended: no request judges it, and
// libcurl reads it as it closes the connection. It is refused, not taken
// unjudged: the server never sees the client finish it.
TEST(TLSConnectionRenegotiatedWhileIdle, AHandshakeNoRequestJudgesIsRefused) {
  test::ScopedTestAnchors anchors;
  test::TLSPeer peer(TestCertificates::shared().localhost, test::TLSPeer::Version::TLS12);
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  test::CompletionResult result;
  session->dataTaskWithRequest(URLRequest::make(URL::URLWithString(peer.url("/"))), result.handler())->resume();
  ASSERT_TRUE(peer.waitForRequest());
  // The request for a handshake, then the answer: the client takes up the
  // handshake as it reads the answer, and the server's part of it is let
  // through once the request has ended.
  ASSERT_TRUE(peer.holdOutput());
  ASSERT_TRUE(peer.requestRenegotiation("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
  ASSERT_TRUE(peer.release(SIZE_MAX));
  ASSERT_TRUE(result.done.wait());
  ASSERT_EQ(result.errorCode(), 0);
  ASSERT_TRUE(peer.waitForServerHellos(2));
  ASSERT_TRUE(peer.release(SIZE_MAX));
  ASSERT_TRUE(peer.waitUntilReceived());
  session->invalidateAndCancel();
  session = nullptr;
  ASSERT_TRUE(peer.waitUntilClosed());
  EXPECT_EQ(peer.renegotiations(), 0);
}

// A new handshake the server asked for while a request was on the
// connection, whose part from the server comes while the request has
// stopped reading (suspended), and is read only as the cancelled request
// leaves the connection, which libcurl closes: the request is no longer on
// the connection, and the handshake is refused, not judged for it.
TEST(TLSConnectionRenegotiatedWhileIdle, AHandshakeReadAsACancelledRequestLeavesItsConnectionIsNotJudgedForIt) {
  test::ScopedTestAnchors anchors;
  test::TLSPeer peer(TestCertificates::shared().localhost, test::TLSPeer::Version::TLS12);
  auto delegate = std::make_shared<test::RecordingDelegate>();
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                      delegate, nullptr);
  auto task = session->dataTaskWithURL(URL::URLWithString(peer.url("/")));
  const uint64_t id = task->taskIdentifier();
  task->resume();
  ASSERT_TRUE(peer.waitForRequest());
  // The request for a handshake, then the head of the answer and part of
  // its body: the client takes the handshake up as it reads them. The
  // server's part of it is held back.
  ASSERT_TRUE(peer.holdOutput());
  ASSERT_TRUE(peer.requestRenegotiation("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab"));
  ASSERT_TRUE(peer.release(SIZE_MAX));
  ASSERT_TRUE(peer.waitForServerHellos(2));
  ASSERT_TRUE(delegate->waitFor([&](const std::vector<test::RecordingDelegate::Event>& events) {
    std::string body;
    for (const auto& e : events) {
      if (e.task == id && e.name == "data") body.append(e.data->bytes(), e.data->bytes() + e.data->length());
    }
    return body == "ab";
  }));
  // Suspended, the request reads nothing more (the network thread has taken
  // that in once a flush it was asked for after comes back).
  task->suspend();
  test::Latch flushed;
  session->flushWithCompletionHandler([&] { flushed.open(); });
  ASSERT_TRUE(flushed.wait());
  ASSERT_TRUE(peer.release(SIZE_MAX));
  ASSERT_TRUE(peer.waitUntilReceived());
  task->cancel();
  ASSERT_TRUE(delegate->waitForCompletion(id));
  const auto completion = delegate->completion(id);
  ASSERT_TRUE(completion.has_value());
  EXPECT_EQ(codeOf(completion->error), URLErrorCancelled);
  const auto names = delegate->names(id);
  EXPECT_EQ(std::count(names.begin(), names.end(), "challenge"), 1) << "only the connection's first handshake";
  ASSERT_TRUE(peer.waitUntilClosed());
  EXPECT_EQ(peer.renegotiations(), 0);
  session->invalidateAndCancel();
}

// A connection whose first certificate passed the default evaluation, and
// whose renegotiation brought another, self-signed, that a request taking
// any certificate accepted: a request left to the default evaluation
// judges the certificate the connection has now, which it refuses, there
// and on a new connection, and never reaches the server.
TEST(TLSConnectionRenegotiatedWhileIdle, TheNextRequestJudgesTheCertificateTheLastHandshakeBrought) {
  test::ScopedTestAnchors anchors;
  const auto& certs = TestCertificates::shared();
  test::TLSPeer peer(certs.localhost, test::TLSPeer::Version::TLS12);
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                      std::make_shared<JudgeByPath>(nullptr), nullptr);
  for (int i = 1; i <= 2; ++i) {
    test::CompletionResult result;
    session->dataTaskWithURL(URL::URLWithString(peer.url(i == 1 ? "/default" : "/any")), result.handler())->resume();
    ASSERT_TRUE(peer.waitForRequest(i));
    // The second request takes up the handshake before its answer comes.
    ASSERT_TRUE(peer.waitForRenegotiations(i - 1));
    ASSERT_TRUE(peer.write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    ASSERT_TRUE(result.done.wait());
    ASSERT_EQ(result.errorCode(), 0) << "request " << i;
    if (i == 1) {
      ASSERT_TRUE(peer.present(certs.selfSigned));
      ASSERT_TRUE(peer.requestRenegotiation());
      ASSERT_TRUE(peer.waitUntilReceived());
    }
  }
  peer.answerEach([](size_t) { return std::string("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"); });
  EXPECT_EQ(codeOf(fetch(*session, peer.url("/default"))), URLErrorServerCertificateUntrusted);
  EXPECT_FALSE(peer.waitForRequest(3, 0)) << "the request reached the server";
  session->invalidateAndCancel();
}

// A TLS 1.2 server on a kept-alive connection that asks for a new
// handshake right behind each answer. The second request takes up the
// handshake asked for behind the first answer and gets its answer before
// the server's part of that handshake, so that the third finds the
// connection in the middle of it; and so on every second request. With
// whole renegotiations (no session to resume) the client holds no chain
// until the new certificate comes.
struct RenegotiationsBehindAnswers {
  // `holdHandshakes`: what the server writes after each answer, its part
  // of the handshake the request took up, is held back (see
  // TLSPeer::answerEach).
  explicit RenegotiationsBehindAnswers(bool holdHandshakes = false,
                                       test::TLSPeer::Renegotiation kind = test::TLSPeer::Renegotiation::Whole)
      : peer(TestCertificates::shared().localhost, test::TLSPeer::Version::TLS12, kind) {
    peer.answerEach([](size_t n) { return "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n" + std::to_string(100 + n); },
                    holdHandshakes);
    peer.renegotiateAfterEachAnswer();
  }
  ~RenegotiationsBehindAnswers() { session->invalidateAndCancel(); }

  // Sends request `n` and waits for its end: its task, and its error's
  // code (0 when it got the answer the peer gave as its `n`th).
  std::pair<uint64_t, long> send(int n) {
    test::CompletionResult result;
    auto request = MutableURLRequest::make(URL::URLWithString(peer.url("/" + std::to_string(n))));
    request->setTimeoutInterval(10);
    auto task = session->dataTaskWithRequest(request, result.handler());
    task->resume();
    if (!result.done.wait()) {
      ADD_FAILURE() << "request " << n << " still waiting";
      task->cancel();
      EXPECT_TRUE(result.done.wait());
    }
    const long code = result.errorCode();
    if (code == 0) EXPECT_EQ(result.body(), std::to_string(100 + n)) << "request " << n;
    return {task->taskIdentifier(), code};
  }
  // Waits until the server's part of the `count`th handshake (the first
  // one included) has reached the client.
  bool handshakeReached(int count) { return peer.waitForServerHellos(count) && peer.waitUntilReceived(); }
  long challenges(uint64_t task) const {
    const auto names = delegate->names(task);
    return std::count(names.begin(), names.end(), "challenge");
  }

  test::ScopedTestAnchors anchors;
  test::TLSPeer peer;
  std::shared_ptr<test::RecordingDelegate> delegate = std::make_shared<test::RecordingDelegate>();
  Ref<URLSession> session = URLSession::sessionWithConfiguration(
      URLSessionConfiguration::ephemeralSessionConfiguration(), delegate, nullptr);
};

// Requests one after the other, with the server's part of each new
// handshake there before the request after the one that took it up: that
// request goes out once the handshake is done, and the handshake's
// certificate is judged for it (its delegate asked, as on a new
// connection). Each request is answered on the one connection, judged
// once.
TEST(TLSConnectionRenegotiatedWhileIdle, AWholeHandshakeUnderWayIsJudgedForTheRequestThatTakesTheConnection) {
  RenegotiationsBehindAnswers server;
  constexpr int kRequests = 6;
  for (int i = 1; i <= kRequests; ++i) {
    const auto [task, code] = server.send(i);
    EXPECT_EQ(code, 0) << "request " << i;
    EXPECT_EQ(server.challenges(task), 1) << "request " << i;
    if (i % 2 == 0) ASSERT_TRUE(server.handshakeReached(1 + i / 2));
  }
  EXPECT_EQ(server.peer.connections(), 1u);
  // Those the third and the fifth requests finished.
  EXPECT_EQ(server.peer.renegotiations(), 2);
}

// The same with the server's part of the handshake still on its way when
// the third request takes the connection: the handshake must be done
// before the request goes out, and its certificate has not come (with no
// session to resume, the connection holds no chain at all). Rather than
// wait on it, the request goes out on a new connection, judged there.
TEST(TLSConnectionRenegotiatedWhileIdle, ARequestThatFindsAHandshakeWaitingForTheServerGoesOutOnANewConnection) {
  for (const auto kind : {test::TLSPeer::Renegotiation::Whole, test::TLSPeer::Renegotiation::Resumable}) {
    SCOPED_TRACE(kind == test::TLSPeer::Renegotiation::Whole ? "whole" : "resumable");
    RenegotiationsBehindAnswers server(/*holdHandshakes=*/true, kind);
    ASSERT_EQ(server.send(1).second, 0);
    // What the peer held after the first answer: nothing.
    ASSERT_TRUE(server.peer.passOutput());
    ASSERT_EQ(server.send(2).second, 0);
    ASSERT_TRUE(server.peer.waitForServerHellos(2));
    const auto [task, code] = server.send(3);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(server.challenges(task), 1) << "the new connection's handshake";
    EXPECT_EQ(server.peer.connections(), 2u);
  }
}

// The same with a POST whose body is a stream, which is not read twice:
// it cannot go out again on a new connection, and waits on the kept-alive
// one for the server's part of the handshake, which comes only once it
// has taken the connection. It is judged there and answered there.
TEST(TLSConnectionRenegotiatedWhileIdle, AStreamBodyThatFindsAHandshakeWaitingForTheServerWaitsForIt) {
  RenegotiationsBehindAnswers server(/*holdHandshakes=*/true);
  ASSERT_EQ(server.send(1).second, 0);
  ASSERT_TRUE(server.peer.passOutput());
  ASSERT_EQ(server.send(2).second, 0);
  ASSERT_TRUE(server.peer.waitForServerHellos(2));
  const std::string body = "order=3&amount=600";
  auto request = MutableURLRequest::make(URL::URLWithString(server.peer.url("/3")));
  request->setTimeoutInterval(10);
  request->setHTTPMethod("POST");
  request->setValue(std::to_string(body.size()), "Content-Length");
  request->setHTTPBodyStream(std::make_shared<DataInputStream>(Data::make(body)));
  test::CompletionResult result;
  auto task = server.session->dataTaskWithRequest(request, result.handler());
  task->resume();
  // The network thread hands a flush's completion on at the end of its
  // pass, once libcurl has taken the request as far as it could: onto the
  // connection, where it waits.
  test::Latch flushed;
  server.session->flushWithCompletionHandler([&] { flushed.open(); });
  ASSERT_TRUE(flushed.wait());
  // (Refused by the connection, the request would have left it.)
  const bool passed = server.peer.passOutput();
  ASSERT_TRUE(result.done.wait());
  EXPECT_EQ(result.errorCode(), 0);
  EXPECT_TRUE(passed) << "the connection ended before the server's part of the handshake came";
  EXPECT_EQ(result.body(), "103");
  EXPECT_EQ(server.challenges(task->taskIdentifier()), 1) << "the handshake it waited for";
  EXPECT_EQ(server.peer.connections(), 1u);
}

// The handshake the third request finds under way presents a forged
// certificate for the host, which its judgement refuses before a byte of
// the answer came: the request goes out once more on a new connection,
// whose handshake is judged as any first one. It is answered there when
// the server presents its own certificate again, and refused when it
// presents the forgery; the request never reaches the server over a
// handshake its judgement refused.
TEST(TLSConnectionRenegotiatedWhileIdle, ARequestThatRefusesTheHandshakeItTakesUpGoesOutOnANewConnection) {
  const auto& certs = TestCertificates::shared();
  const auto forged = TestCertificates::forge(certs.authority, {"DNS:localhost", "IP:127.0.0.1"});
  for (const bool forgedThere : {false, true}) {
    SCOPED_TRACE(forgedThere ? "the forgery on the new connection" : "the server's certificate on the new connection");
    RenegotiationsBehindAnswers server;
    ASSERT_EQ(server.send(1).second, 0);
    // The handshake asked for behind the first answer, which the second
    // request takes up, presents the forgery.
    ASSERT_TRUE(server.peer.present(forged));
    ASSERT_EQ(server.send(2).second, 0);
    ASSERT_TRUE(server.handshakeReached(2));
    if (!forgedThere) ASSERT_TRUE(server.peer.present(certs.localhost));
    const auto [task, code] = server.send(3);
    EXPECT_EQ(code, forgedThere ? long{URLErrorServerCertificateUntrusted} : 0);
    EXPECT_EQ(server.challenges(task), 2) << "the forged handshake, then the new connection's";
    EXPECT_EQ(server.peer.connections(), 2u);
    ASSERT_TRUE(server.peer.waitForRequest(forgedThere ? 2 : 3));
    EXPECT_FALSE(server.peer.waitForRequest(forgedThere ? 3 : 4, 0)) << "a refused request reached the server";
  }
}

// A kept-alive connection the request's own judgement refuses as it takes
// it (a looser judgement accepted it for the request before) goes the same
// way: the request goes out on a new connection, judged there as any, and
// gets its answer when the server presents a certificate it accepts.
TEST(TLSConnectionRenegotiatedWhileIdle, ARequestThatRefusesAKeptAliveConnectionGoesOutOnANewOne) {
  test::ScopedTestAnchors anchors;
  const auto& certs = TestCertificates::shared();
  test::TLSPeer peer(certs.selfSigned);
  peer.answerEach([](size_t n) { return "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n" + std::to_string(n); });
  auto delegate = std::make_shared<test::RecordingDelegate>();
  std::atomic<bool> anyCertificate{true};
  delegate->onChallenge = [&](const Ref<URLAuthenticationChallenge>& challenge, auto completion) {
    if (!anyCertificate) return completion(Disposition::PerformDefaultHandling, nullptr);
    completion(Disposition::UseCredential, URLCredential::credentialForTrust(challenge->protectionSpace()->serverTrust()));
  };
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                      delegate, nullptr);
  std::vector<uint64_t> tasks;
  for (int i = 1; i <= 2; ++i) {
    test::CompletionResult result;
    auto task = session->dataTaskWithURL(URL::URLWithString(peer.url("/")), result.handler());
    tasks.push_back(task->taskIdentifier());
    task->resume();
    ASSERT_TRUE(result.done.wait());
    EXPECT_EQ(result.errorCode(), 0) << "request " << i;
    EXPECT_EQ(result.body(), std::to_string(i)) << "request " << i;
    // The connection stays open with the self-signed certificate; new
    // ones present a certificate the default evaluation accepts.
    if (i == 1) ASSERT_TRUE(peer.present(certs.localhost));
    anyCertificate = false;
  }
  EXPECT_EQ(peer.connections(), 2u);
  const auto names = delegate->names(tasks[1]);
  EXPECT_EQ(std::count(names.begin(), names.end(), "challenge"), 2) << "the kept-alive connection, then the new one";
  session->invalidateAndCancel();
}

// A request that went out on a kept-alive connection whose server then
// asks for a new handshake before it answers, presenting another identity
// (self-signed) that the request's judgement refuses. The server may have
// carried the request out: it is not sent again, neither by libcurl on the
// new connection it opens of its own accord (whose handshake is refused
// unjudged) nor by the kit, and it fails once with the trust error. A
// POST with its body in memory, a POST with a stream body and a GET alike.
TEST(TLSConnectionRenegotiatedUnderARequest, ARequestThatWentOutIsNotSentAgain) {
  const auto& certs = TestCertificates::shared();
  enum class Kind { PostFromMemory, PostFromStream, Get };
  for (const Kind kind : {Kind::PostFromMemory, Kind::PostFromStream, Kind::Get}) {
    SCOPED_TRACE(kind == Kind::PostFromMemory ? "POST from memory" : kind == Kind::PostFromStream ? "POST from a stream"
                                                                                                   : "GET");
    test::ScopedTestAnchors anchors;
    test::TLSPeer peer(certs.localhost, test::TLSPeer::Version::TLS12, test::TLSPeer::Renegotiation::Whole);
    peer.answerEach([](size_t n) { return "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n" + std::to_string(n); });
    peer.renegotiateOnRequest(2, certs.selfSigned);
    auto delegate = std::make_shared<test::RecordingDelegate>();
    auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                        delegate, nullptr);
    ASSERT_EQ(codeOf(fetch(*session, peer.url("/1"))), 0);

    const std::string body = "order=2&amount=600";
    auto request = MutableURLRequest::make(URL::URLWithString(peer.url("/2")));
    request->setTimeoutInterval(10);
    if (kind != Kind::Get) request->setHTTPMethod("POST");
    if (kind == Kind::PostFromMemory) request->setHTTPBody(Data::make(body));
    if (kind == Kind::PostFromStream) {
      request->setValue(std::to_string(body.size()), "Content-Length");
      request->setHTTPBodyStream(std::make_shared<DataInputStream>(Data::make(body)));
    }
    test::CompletionResult result;
    auto task = session->dataTaskWithRequest(request, result.handler());
    task->resume();
    ASSERT_TRUE(result.done.wait());
    EXPECT_EQ(result.errorCode(), URLErrorServerCertificateUntrusted) << "answered " << result.body();
    ASSERT_TRUE(peer.waitForRequest(2));
    EXPECT_FALSE(peer.waitForRequest(3, 0)) << "sent again";
    EXPECT_EQ(peer.renegotiations(), 0);
    const auto names = delegate->names(task->taskIdentifier());
    EXPECT_EQ(std::count(names.begin(), names.end(), "challenge"), 2) << "the kept-alive connection, its handshake";
    session->invalidateAndCancel();
  }
}

// A kept-alive connection the server closes as the next request comes,
// unanswered: libcurl sends the request again, within its transfer, on a
// new connection of its own, whose handshake is the request's to judge as
// any first one (its delegate asked): one new connection, and the answer.
TEST(TLSConnectionClosedUnderARequest, TheNewConnectionLibcurlOpensForItIsJudgedForIt) {
  test::ScopedTestAnchors anchors;
  test::TLSPeer peer(TestCertificates::shared().localhost);
  peer.answerEach([](size_t n) { return "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n" + std::to_string(n); });
  peer.closeOnRequest(2);
  auto delegate = std::make_shared<test::RecordingDelegate>();
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                      delegate, nullptr);
  std::vector<uint64_t> tasks;
  for (int i = 1; i <= 2; ++i) {
    test::CompletionResult result;
    auto task = session->dataTaskWithURL(URL::URLWithString(peer.url("/")), result.handler());
    tasks.push_back(task->taskIdentifier());
    task->resume();
    ASSERT_TRUE(result.done.wait());
    EXPECT_EQ(result.errorCode(), 0) << "request " << i;
    // The second request's answer is the third the server gave.
    EXPECT_EQ(result.body(), i == 1 ? "1" : "3") << "request " << i;
  }
  EXPECT_EQ(peer.connections(), 2u);
  const auto names = delegate->names(tasks[1]);
  EXPECT_EQ(std::count(names.begin(), names.end(), "challenge"), 2) << "the kept-alive connection, then the new one";
  session->invalidateAndCancel();
}

}  // namespace
}  // namespace kit
