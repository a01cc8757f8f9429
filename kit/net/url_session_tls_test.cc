// HTTPS through URLSession: the server-trust challenge presented during the
// handshake, each disposition, and kit's default evaluation of test chains.
#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/foundation/format.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_session.h"

namespace kit {
namespace {

using test::RecordingDelegate;
using test::TestCertificates;
using test::TestResponse;
using test::TestServer;

Ref<URL> url(const std::string& text) { return URL::URLWithString(text); }

struct TLSSession {
  std::unique_ptr<TestServer> server;
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  Ref<URLSession> session;

  explicit TLSSession(const test::TestIdentity& identity) {
    server = TestServer::startHTTPS(identity);
    server->route("GET", "/hello", TestResponse::text("secret hello"));
    session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate,
                                                   nullptr);
  }
  ~TLSSession() {
    session->invalidateAndCancel();
    EXPECT_TRUE(delegate->waitForEvent("invalid"));
    session = nullptr;
    server = nullptr;
  }
  // Runs one GET and returns the task's error (nil on success).
  Ref<Error> get(const std::string& address) {
    auto task = session->dataTaskWithURL(url(address));
    task->resume();
    EXPECT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
    auto done = delegate->completion(task->taskIdentifier());
    return done ? done->error : nullptr;
  }
};

TEST(URLSessionTLS, SelfSignedServerPresentsItsChainAndHostToTheDelegate) {
  const auto& certs = TestCertificates::shared();
  TLSSession t(certs.selfSigned);
  Ref<URLAuthenticationChallenge> seen;
  t.delegate->onChallenge = [&](const Ref<URLAuthenticationChallenge>& challenge,
                                URLSessionDelegate::ChallengeCompletion completion) {
    seen = challenge;
    auto trust = challenge->protectionSpace()->serverTrust();
    completion(URLSessionAuthChallengeDisposition::UseCredential, URLCredential::credentialForTrust(trust));
  };
  auto task = t.session->dataTaskWithURL(url(t.server->url("/hello")));
  task->resume();
  ASSERT_TRUE(t.delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_FALSE(t.delegate->completion(task->taskIdentifier())->error);
  EXPECT_EQ(t.delegate->body(task->taskIdentifier()), "secret hello");
  EXPECT_EQ(as<HTTPURLResponse>(task->response())->statusCode(), 200);
  ASSERT_TRUE(seen);
  const auto& space = seen->protectionSpace();
  EXPECT_EQ(space->authenticationMethod(), URLAuthenticationMethodServerTrust);
  EXPECT_EQ(space->host(), "127.0.0.1");
  EXPECT_EQ(space->port(), t.server->port());
  EXPECT_EQ(space->protocol(), "https");
  ASSERT_TRUE(space->serverTrust());
  ASSERT_EQ(space->serverTrust()->certificateCount(), 1u);
  EXPECT_TRUE(isEqual(space->serverTrust()->certificateAtIndex(0), certs.selfSigned.certificate));
  // The challenge came before the request: the challenge event is first.
  EXPECT_EQ(t.delegate->names(task->taskIdentifier()).front(), "challenge");
}

TEST(URLSessionTLS, RejectAndCancelFailWithCancelledBeforeAnyRequest) {
  const auto& certs = TestCertificates::shared();
  for (auto disposition : {URLSessionAuthChallengeDisposition::RejectProtectionSpace,
                           URLSessionAuthChallengeDisposition::CancelAuthenticationChallenge}) {
    TLSSession t(certs.selfSigned);
    t.delegate->onChallenge = [disposition](const Ref<URLAuthenticationChallenge>&,
                                            URLSessionDelegate::ChallengeCompletion completion) {
      completion(disposition, nullptr);
    };
    auto error = t.get(t.server->url("/hello"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), URLErrorCancelled);
    EXPECT_GE(t.server->connectionCount(), 1u) << "the handshake was attempted";
    EXPECT_EQ(t.server->requestCount(), 0u) << "no HTTP request reached the server";
  }
}

TEST(URLSessionTLS, DefaultHandlingAcceptsTestAuthorityChainsForLocalhostAndLoopbackAddress) {
  test::ScopedTestAnchors anchors;
  const auto& certs = TestCertificates::shared();
  TLSSession t(certs.localhost);
  EXPECT_FALSE(t.get(t.server->url("/hello")));
  EXPECT_FALSE(t.get(t.server->localhostURL("/hello")));
  EXPECT_EQ(t.server->requestCount(), 2u);
}

TEST(URLSessionTLS, DefaultHandlingAcceptsAChainThroughAnIntermediate) {
  test::ScopedTestAnchors anchors;
  TLSSession t(TestCertificates::shared().intermediateSigned);
  EXPECT_FALSE(t.get(t.server->localhostURL("/hello")));
}

TEST(URLSessionTLS, DefaultHandlingRefusesSelfSignedExpiredAndWrongHostChains) {
  test::ScopedTestAnchors anchors;
  const auto& certs = TestCertificates::shared();
  struct Case {
    const test::TestIdentity* identity;
    long code;
  } cases[] = {{&certs.selfSigned, URLErrorServerCertificateUntrusted},
               {&certs.expired, URLErrorServerCertificateHasBadDate},
               {&certs.wrongHost, URLErrorServerCertificateUntrusted}};
  for (const auto& c : cases) {
    TLSSession t(*c.identity);
    auto error = t.get(t.server->localhostURL("/hello"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), c.code);
    EXPECT_EQ(describe(error->userInfo()->objectForKey(URLErrorFailingURLStringErrorKey)),
              t.server->localhostURL("/hello"));
    EXPECT_EQ(t.server->requestCount(), 0u);
  }
}

TEST(URLSessionTLS, SessionWithoutDelegateEvaluatesByDefault) {
  test::ScopedTestAnchors anchors;
  const auto& certs = TestCertificates::shared();
  auto good = TestServer::startHTTPS(certs.localhost);
  auto bad = TestServer::startHTTPS(certs.selfSigned);
  good->route("GET", "/", TestResponse::text("ok"));
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  test::Latch goodDone, badDone;
  Ref<Error> goodError, badError;
  Ref<Data> goodData;
  session->dataTaskWithURL(url(good->url("/")), [&](Ref<Data> d, Ref<URLResponse>, Ref<Error> e) {
    goodData = d;
    goodError = e;
    goodDone.open();
  })->resume();
  session->dataTaskWithURL(url(bad->url("/")), [&](Ref<Data>, Ref<URLResponse>, Ref<Error> e) {
    badError = e;
    badDone.open();
  })->resume();
  ASSERT_TRUE(goodDone.wait());
  ASSERT_TRUE(badDone.wait());
  EXPECT_FALSE(goodError);
  EXPECT_EQ(goodData->toString(), "ok");
  ASSERT_TRUE(badError);
  EXPECT_EQ(badError->code(), URLErrorServerCertificateUntrusted);
  session = nullptr;
}

TEST(URLSessionTLS, SessionLevelChallengeReplacesTheTaskLevelOne) {
  const auto& certs = TestCertificates::shared();
  TLSSession t(certs.selfSigned);
  t.delegate->takesSessionChallenges = true;
  t.delegate->onChallenge = [](const Ref<URLAuthenticationChallenge>& challenge,
                               URLSessionDelegate::ChallengeCompletion completion) {
    completion(URLSessionAuthChallengeDisposition::UseCredential,
               URLCredential::credentialForTrust(challenge->protectionSpace()->serverTrust()));
  };
  EXPECT_FALSE(t.get(t.server->url("/hello")));
  auto names = t.delegate->names();
  EXPECT_NE(std::find(names.begin(), names.end(), "sessionChallenge"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "challenge"), names.end());
}

TEST(URLSessionTLS, CancellingATaskWhileItsChallengeIsOpenEndsTheHandshake) {
  const auto& certs = TestCertificates::shared();
  TLSSession t(certs.selfSigned);
  URLSessionDelegate::ChallengeCompletion held;
  test::Latch asked;
  t.delegate->onChallenge = [&](const Ref<URLAuthenticationChallenge>&,
                                URLSessionDelegate::ChallengeCompletion completion) {
    held = std::move(completion);  // no answer yet
    asked.open();
  };
  auto task = t.session->dataTaskWithURL(url(t.server->url("/hello")));
  task->resume();
  ASSERT_TRUE(asked.wait());
  task->cancel();
  ASSERT_TRUE(t.delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_EQ(t.delegate->completion(task->taskIdentifier())->error->code(), URLErrorCancelled);
  held(URLSessionAuthChallengeDisposition::UseCredential, nullptr);  // a late answer changes nothing
  EXPECT_EQ(t.server->requestCount(), 0u);
}

TEST(URLSessionTLS, AnUnansweredChallengeTimesOutWithTheRequest) {
  TLSSession t(TestCertificates::shared().selfSigned);
  VirtualClock clock;
  std::vector<URLSessionDelegate::ChallengeCompletion> held;
  std::mutex heldMutex;
  t.delegate->onChallenge = [&](const Ref<URLAuthenticationChallenge>&,
                                URLSessionDelegate::ChallengeCompletion completion) {
    std::lock_guard lock(heldMutex);
    held.push_back(std::move(completion));  // never answered in time
  };
  auto request = MutableURLRequest::make(url(t.server->url("/hello")));
  request->setTimeoutInterval(10);
  auto task = t.session->dataTaskWithRequest(request);
  task->resume();
  ASSERT_TRUE(t.delegate->waitForEvent("challenge"));
  clock.advance(9.9);
  EXPECT_FALSE(t.delegate->completion(task->taskIdentifier())) << "timed out before its time";
  clock.advance(0.2);
  ASSERT_TRUE(t.delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_EQ(t.delegate->completion(task->taskIdentifier())->error->code(), URLErrorTimedOut);
  EXPECT_EQ(t.server->requestCount(), 0u);
}

}  // namespace
}  // namespace kit
