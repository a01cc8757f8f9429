// Idle time-outs of HTTP/1.1 requests over TLS: only bytes of the answer
// keep a request alive. TLS records of the connection's own (a TLS 1.3
// KeyUpdate, a TLS 1.2 renegotiation) come and go without a byte for the
// request, and a request that gets nothing else times out at its time-out;
// bytes of the answer, even ones the client holds (part of a status line),
// keep it alive as over plain TCP.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cmath>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/tls_peer.h"
#include "kit/net/url_session.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace kit {
namespace {

using test::Latch;
using test::TestCertificates;
using test::TLSPeer;

using Result = test::CompletionResult;

class TLSTimeOnTheClock : public test::VirtualClockTest {
 protected:
  void TearDown() override {
    if (session) {
      // The handler must have run before `result` goes.
      session->invalidateAndCancel();
      EXPECT_TRUE(result.done.wait());
      if (secondStarted) {
        EXPECT_TRUE(second.done.wait());
      }
    }
    session = nullptr;
    VirtualClockTest::TearDown();
  }

  // Starts a GET to `peer` under a time-out of `seconds` and waits until
  // its head came.
  void request(TLSPeer& peer, double seconds) {
    session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
    auto request = MutableURLRequest::make(URL::URLWithString(peer.url("/idle")));
    request->setTimeoutInterval(seconds);
    session->dataTaskWithRequest(request, result.handler())->resume();
    ASSERT_TRUE(peer.waitForRequest());
  }

  // Every half second, `record` from the peer, received by the client
  // before the clock moves on, until `until` seconds have passed.
  void every500ms(TLSPeer& peer, double until, const std::function<bool()>& record) {
    while (elapsed() < until - 1e-9) {
      ASSERT_TRUE(record());
      ASSERT_TRUE(peer.waitUntilReceived());
      advance(0.5);
      if (elapsed() < until - 1e-9) {
        ASSERT_FALSE(result.done.isOpen()) << "ended " << elapsed() << " s in, before its time";
      }
    }
  }

  test::ScopedTestAnchors anchors;
  Ref<URLSession> session;
  Result result;
  // A second request on the session, when a test makes one.
  Result second;
  bool secondStarted = false;
};

TEST_F(TLSTimeOnTheClock, ASilentServerTimesTheRequestOutAtItsTimeOut) {
  TLSPeer peer(TestCertificates::shared().localhost);
  request(peer, 2);
  advance(1.9);
  EXPECT_FALSE(result.done.isOpen()) << "timed out before its time";
  advance(0.2);
  ASSERT_TRUE(result.done.wait()) << "not timed out 2.1 s in under a time-out of 2 s";
  EXPECT_EQ(result.errorCode(), URLErrorTimedOut);
}

TEST_F(TLSTimeOnTheClock, KeyUpdatesDoNotKeepARequestAlive) {
  TLSPeer peer(TestCertificates::shared().localhost);
  request(peer, 2);
  // A KeyUpdate every half second: the connection is never quiet for the
  // time-out, but the request hears nothing.
  every500ms(peer, 2, [&] { return peer.updateKeys(); });
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(result.done.wait()) << "not timed out 2 s in under a time-out of 2 s";
  EXPECT_EQ(result.errorCode(), URLErrorTimedOut);
}

TEST_F(TLSTimeOnTheClock, RenegotiationsDoNotKeepARequestAlive) {
  TLSPeer peer(TestCertificates::shared().localhost, TLSPeer::Version::TLS12);
  request(peer, 2);
  // Each a whole handshake, the server's certificate judged again.
  int renegotiations = 0;
  every500ms(peer, 2, [&] { return peer.requestRenegotiation() && peer.waitForRenegotiations(++renegotiations); });
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(result.done.wait()) << "not timed out 2 s in under a time-out of 2 s";
  EXPECT_EQ(result.errorCode(), URLErrorTimedOut);
}

TEST_F(TLSTimeOnTheClock, ARenegotiationOnAKeptAliveConnectionIsJudgedForTheRequestOnIt) {
  TLSPeer peer(TestCertificates::shared().localhost, TLSPeer::Version::TLS12);
  // The first request opens the connection and ends.
  request(peer, 2);
  ASSERT_TRUE(peer.write("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst"));
  ASSERT_TRUE(result.done.wait());
  ASSERT_EQ(result.body(), "first");

  // The second goes out on it, and the server renegotiates before it
  // answers: the handshake's trust step is the second request's.
  auto request = MutableURLRequest::make(URL::URLWithString(peer.url("/second")));
  request->setTimeoutInterval(2);
  session->dataTaskWithRequest(request, second.handler())->resume();
  secondStarted = true;
  ASSERT_TRUE(peer.waitForRequest(2));
  ASSERT_TRUE(peer.requestRenegotiation());
  ASSERT_TRUE(peer.waitForRenegotiations(1));
  ASSERT_TRUE(peer.write("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecond"));
  ASSERT_TRUE(second.done.wait());
  EXPECT_EQ(second.errorCode(), 0);
  EXPECT_EQ(second.body(), "second");
}

TEST_F(TLSTimeOnTheClock, BytesOfTheAnswerKeepARequestAliveAndKeyUpdatesAfterThemDoNot) {
  TLSPeer peer(TestCertificates::shared().localhost);
  request(peer, 2);
  // The answer a byte every 1.5 seconds, a KeyUpdate between them: the
  // status line is not whole for 25 seconds, and the head for 55.
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  double lastByte = 0;
  for (size_t i = 0; i + 1 < answer.size(); ++i) {
    ASSERT_TRUE(peer.write(answer.substr(i, 1))) << "byte " << i << " at " << elapsed() << " s: request ended "
                                                 << result.done.isOpen() << " with " << result.errorCode();
    lastByte = elapsed();
    ASSERT_TRUE(peer.waitUntilReceived());
    advance(1);
    ASSERT_TRUE(peer.updateKeys());
    ASSERT_TRUE(peer.waitUntilReceived());
    advance(0.5);
    ASSERT_FALSE(result.done.isOpen()) << "ended " << elapsed() << " s in, while bytes were arriving";
  }
  // Silence but for KeyUpdates: the time-out counts from the last byte.
  every500ms(peer, lastByte + 2, [&] { return peer.updateKeys(); });
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(result.done.wait()) << "not timed out 2 s after the last byte under a time-out of 2 s";
  EXPECT_EQ(result.errorCode(), URLErrorTimedOut);
}

TEST_F(TLSTimeOnTheClock, ATricklingAnswerLivesOnAndCompletes) {
  TLSPeer peer(TestCertificates::shared().localhost);
  request(peer, 2);
  ASSERT_TRUE(peer.write("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n"));
  for (char byte : std::string("trickl")) {
    ASSERT_TRUE(peer.updateKeys());
    ASSERT_TRUE(peer.waitUntilReceived());
    advance(1.5);
    ASSERT_TRUE(peer.write(std::string(1, byte)));
    ASSERT_TRUE(peer.waitUntilReceived());
    advance(0.1);
  }
  ASSERT_TRUE(result.done.wait());
  EXPECT_EQ(result.errorCode(), 0);
  EXPECT_EQ(result.body(), "trickl");
}

// The time the delegate takes over a server's certificate counts against
// the request's time-out, and its answer is a sign of life: the request
// then has its whole time-out for the server to answer, on a new
// connection and on a kept-alive one alike.
class TLSJudgedOnTheClock : public TLSTimeOnTheClock {
 protected:
  void SetUp() override {
    TLSTimeOnTheClock::SetUp();
    delegate = std::make_shared<test::RecordingDelegate>();
    delegate->onChallenge = [this](const Ref<URLAuthenticationChallenge>& challenge,
                                   URLSessionDelegate::ChallengeCompletion completion) {
      {
        std::lock_guard lock(mutex);
        held.emplace_back(challenge, std::move(completion));
      }
      heldChanged.notify_all();
    };
    session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate,
                                                   nullptr);
  }
  void start(TLSPeer& peer, Result& into, double timeout = 2) {
    auto request = MutableURLRequest::make(URL::URLWithString(peer.url("/judged")));
    request->setTimeoutInterval(timeout);
    session->dataTaskWithRequest(request, into.handler())->resume();
  }
  // Waits until the delegate holds the `n`th challenge. (The delegate
  // records the event before it hands the challenge on: its own wait would
  // miss the hand-over.)
  void waitForChallenge(size_t n) {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(heldChanged.wait_for(lock, std::chrono::seconds(10), [&] { return held.size() >= n; }));
  }
  // Accepts the server's certificate in the `n`th challenge.
  void accept(size_t n) {
    waitForChallenge(n);
    std::lock_guard lock(mutex);
    auto& [challenge, completion] = held[n - 1];
    completion(URLSessionAuthChallengeDisposition::UseCredential,
               URLCredential::credentialForTrust(challenge->protectionSpace()->serverTrust()));
  }

  std::shared_ptr<test::RecordingDelegate> delegate;
  std::mutex mutex;
  std::condition_variable heldChanged;
  std::vector<std::pair<Ref<URLAuthenticationChallenge>, URLSessionDelegate::ChallengeCompletion>> held;
};

TEST_F(TLSJudgedOnTheClock, AnAcceptedHandshakeGivesTheRequestItsWholeTimeOut) {
  TLSPeer peer(TestCertificates::shared().localhost);
  start(peer, result);
  waitForChallenge(1);
  advance(1.5);
  accept(1);
  ASSERT_TRUE(peer.waitForRequest());
  advance(1.9);
  EXPECT_FALSE(result.done.isOpen()) << "timed out " << elapsed() << " s in, 1.9 s after the answer";
  advance(0.2);
  ASSERT_TRUE(result.done.wait());
  EXPECT_EQ(result.errorCode(), URLErrorTimedOut);
}

TEST_F(TLSJudgedOnTheClock, AnAcceptedKeptAliveConnectionGivesTheRequestItsWholeTimeOut) {
  TLSPeer peer(TestCertificates::shared().localhost);
  start(peer, result);
  accept(1);
  ASSERT_TRUE(peer.waitForRequest());
  ASSERT_TRUE(peer.write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
  ASSERT_TRUE(result.done.wait());
  ASSERT_EQ(result.errorCode(), 0);

  secondStarted = true;
  start(peer, second);
  waitForChallenge(2);
  advance(1.5);
  accept(2);
  ASSERT_TRUE(peer.waitForRequest(2));
  advance(1.9);
  EXPECT_FALSE(second.done.isOpen()) << "timed out " << elapsed() << " s in, 1.9 s after the answer";
  advance(0.2);
  ASSERT_TRUE(second.done.wait());
  EXPECT_EQ(second.errorCode(), URLErrorTimedOut);
  EXPECT_EQ(peer.connections(), 1u);
}

// A TLS 1.2 server that asks for a whole new handshake right behind each
// answer: the second request takes it up as it reads its answer, and the
// server's part of it reaches the connection in the pool. The third request
// takes the connection in the middle of that handshake, which its delegate
// judges for most of its time-out of a second: once accepted, the request
// has its whole time-out for the answer.
TEST_F(TLSJudgedOnTheClock, AHandshakeJudgedAsTheRequestTakesTheConnectionGivesItItsWholeTimeOut) {
  TLSPeer peer(TestCertificates::shared().localhost, TLSPeer::Version::TLS12, TLSPeer::Renegotiation::Whole);
  // The third request is answered by the test.
  peer.answerEach([](size_t n) { return n < 3 ? "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok" : ""; });
  peer.renegotiateAfterEachAnswer();
  Result first;
  start(peer, first);
  accept(1);
  ASSERT_TRUE(first.done.wait());
  ASSERT_EQ(first.errorCode(), 0);
  secondStarted = true;
  start(peer, second);
  accept(2);
  ASSERT_TRUE(second.done.wait());
  ASSERT_EQ(second.errorCode(), 0);
  ASSERT_TRUE(peer.waitForServerHellos(2));
  ASSERT_TRUE(peer.waitUntilReceived());

  start(peer, result, /*timeout=*/1);
  waitForChallenge(3);
  advance(0.9);
  accept(3);
  ASSERT_TRUE(peer.waitForRequest(3));
  advance(0.9);
  // (Timed out, the request would have closed the connection.)
  const bool written = peer.write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  ASSERT_TRUE(result.done.wait());
  EXPECT_EQ(result.errorCode(), 0) << "ended " << elapsed() << " s in, 0.9 s after the judgement";
  EXPECT_TRUE(written);
  EXPECT_EQ(peer.renegotiations(), 1);
  EXPECT_EQ(peer.connections(), 1u);
}

// A slow link: an answer of 16,000 bytes (one TLS record, near enough)
// crossing 200 bytes every half second, over 40 s, under a time-out of 2 s.
// Every byte of it keeps the request alive as it comes: over TLS 1.2 the
// record's header says it is application data; over TLS 1.3 only its
// decryption will, and its bytes hold the time-out until then.
class TLSSlowLink : public TLSTimeOnTheClock, public ::testing::WithParamInterface<TLSPeer::Version> {};

TEST_P(TLSSlowLink, AnAnswerLivesOnWhileItsRecordCrossesAndCompletes) {
  TLSPeer peer(TestCertificates::shared().localhost, GetParam());
  request(peer, 2);
  const std::string body(16000, 'x');
  ASSERT_TRUE(peer.holdOutput());
  ASSERT_TRUE(peer.write("HTTP/1.1 200 OK\r\nContent-Length: 16000\r\n\r\n" + body));
  int chunks = 0;
  while (peer.release(200)) {
    ++chunks;
    ASSERT_TRUE(peer.waitUntilReceived());
    advance(0.5);
    if (result.done.isOpen()) break;
  }
  EXPECT_GT(chunks, 80);
  ASSERT_TRUE(result.done.wait());
  EXPECT_EQ(result.errorCode(), 0) << "ended " << elapsed() << " s in, after " << chunks << " of its chunks";
  EXPECT_EQ(result.body(), body);
}

// Through the same link, a record that carries none of the answer keeps
// nothing alive: over TLS 1.2 a renegotiation request, known by its header,
// not even while it crosses; over TLS 1.3 a KeyUpdate, which looks like
// application data until it is whole, only until then. The request has
// been idle since it began, and ends as soon as that is known.
TEST_P(TLSSlowLink, ARecordOfTheConnectionsOwnKeepsNothingAliveOnceItsTypeIsKnown) {
  const bool tls13 = GetParam() == TLSPeer::Version::TLS13;
  TLSPeer peer(TestCertificates::shared().localhost, GetParam());
  request(peer, 2);
  ASSERT_TRUE(peer.holdOutput());
  ASSERT_TRUE(tls13 ? peer.updateKeys() : peer.requestRenegotiation());
  while (peer.release(2)) {
    // Read whole, the record ends the request at once: the client may have
    // closed the connection by now.
    if (!peer.waitUntilReceived() || result.done.isOpen()) break;
    advance(0.5);
  }
  ASSERT_TRUE(result.done.wait()) << "still waiting " << elapsed() << " s in, the record whole";
  EXPECT_EQ(result.errorCode(), URLErrorTimedOut);
  if (tls13) {
    EXPECT_GT(elapsed(), 2.5) << "timed out while the record crossed";
  } else {
    EXPECT_NEAR(elapsed(), 2, 1e-9) << "the renegotiation request kept the request alive";
  }
}

// A stream of TLS 1.3 records that carry none of the answer (KeyUpdates,
// session tickets) crossing the slow link back to back, 7 bytes every 0.3 s,
// so that a record mostly ends where the next begins: the first record's
// bytes hold the time-out while its type is unknown. Once it shows to be the
// connection's own, the request has been idle since it began, and the
// records behind it hold it no longer than the one in transit then.
class TLSRecordStream : public TLSTimeOnTheClock, public ::testing::WithParamInterface<bool> {};

TEST_P(TLSRecordStream, EndsTheRequestOnceARecordShowsToBeTheConnectionsOwn) {
  const bool tickets = GetParam();
  TLSPeer peer(TestCertificates::shared().localhost);
  request(peer, 2);
  ASSERT_TRUE(peer.holdOutput());
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(tickets ? peer.sendTicket() : peer.updateKeys());
  size_t released = 0;
  while (peer.release(7)) {
    released += 7;
    if (!peer.waitUntilReceived() || result.done.isOpen()) break;
    advance(0.3);
    if (result.done.isOpen()) break;
  }
  ASSERT_TRUE(result.done.wait()) << "still waiting " << elapsed() << " s in, all " << released << " bytes sent";
  EXPECT_EQ(result.errorCode(), URLErrorTimedOut);
  // No record behind the first one whole may hold it: 2 s, and the crossing
  // of one record (a KeyUpdate is 27 bytes, a ticket under 300) and of the
  // bytes that came with its last.
  const double crossing = std::ceil((tickets ? 300 : 27) / 7.0) * 0.3;
  EXPECT_LE(elapsed(), 2 + crossing + 0.3 + 1e-9) << "held by " << released << " bytes of records";
  // A ticket (over 200 bytes) takes longer than the time-out to cross, and
  // holds it until it is whole.
  EXPECT_GE(elapsed(), tickets ? std::floor(200 / 7.0) * 0.3 : 2.0) << "timed out while the first record crossed";
}

INSTANTIATE_TEST_SUITE_P(Kinds, TLSRecordStream, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Tickets" : "KeyUpdates"; });

INSTANTIATE_TEST_SUITE_P(Versions, TLSSlowLink, ::testing::Values(TLSPeer::Version::TLS12, TLSPeer::Version::TLS13),
                         [](const auto& info) { return info.param == TLSPeer::Version::TLS12 ? "TLS12" : "TLS13"; });

// A GET to a TLS 1.3 peer under a time-out of a second, on the product's
// clock, made before each test and whose head the peer has read.
class TLSTimeOnTheRealClock : public ::testing::Test {
 protected:
  void SetUp() override {
    auto request = MutableURLRequest::make(URL::URLWithString(peer.url("/idle")));
    request->setTimeoutInterval(1);
    session->dataTaskWithRequest(request, result.handler())->resume();
    ASSERT_TRUE(peer.waitForRequest());
  }
  void TearDown() override {
    session->invalidateAndCancel();
    EXPECT_TRUE(result.done.wait());
  }

  test::ScopedTestAnchors anchors;
  TLSPeer peer{TestCertificates::shared().localhost};
  Ref<URLSession> session =
      URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Result result;
};

// The product's clock: KeyUpdates crossing the connection in real time, a
// tenth of a second apart, do not hold a request under a time-out of a
// second. It would otherwise run until the peer stops, 20 s in.
TEST_F(TLSTimeOnTheRealClock, KeyUpdatesDoNotKeepARequestAlive) {
  const auto sent = std::chrono::steady_clock::now();
  const auto since = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(); };
  while (!result.done.wait(0.1) && since() < 20) {
    if (!peer.updateKeys()) break;
  }
  ASSERT_TRUE(result.done.wait());
  const double lived = since();
  EXPECT_EQ(result.errorCode(), URLErrorTimedOut);
  EXPECT_LT(lived, 10) << "KeyUpdates kept the request alive";
}

// The product's clock: an answer in one TLS 1.3 record of some 4,000 bytes
// crossing the link 200 bytes every 0.2 s, 4 s in all, under a time-out of
// a second. The record began while the request was alive, and its bytes
// hold the request from the first of them for as long as they keep coming:
// the answer comes whole.
TEST_F(TLSTimeOnTheRealClock, AnAnswerWhoseRecordCrossesSlowlyCompletes) {
  ASSERT_TRUE(peer.holdOutput());
  const std::string body(3950, 'x');
  ASSERT_TRUE(peer.write("HTTP/1.1 200 OK\r\nContent-Length: 3950\r\n\r\n" + body));
  const auto sent = std::chrono::steady_clock::now();
  int chunks = 0;
  while (!result.done.wait(0.2) && peer.release(200)) ++chunks;
  ASSERT_TRUE(result.done.wait());
  const double lived = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
  EXPECT_EQ(result.errorCode(), 0) << "ended " << lived << " s in, after " << chunks << " chunks";
  EXPECT_TRUE(result.body() == body) << result.body().size() << " bytes of " << body.size();
}

// An answer that stalls part-way through its first TLS 1.3 record: its
// bytes hold the time-out from when they came, not from each look at them,
// and the request times out a second after the last of them.
TEST_F(TLSTimeOnTheRealClock, AnAnswerStalledInsideARecordTimesOut) {
  ASSERT_TRUE(peer.holdOutput());
  ASSERT_TRUE(peer.write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
  // 20 bytes of its record of some 60.
  const auto stalled = std::chrono::steady_clock::now();
  ASSERT_TRUE(peer.release(20));
  ASSERT_TRUE(peer.waitUntilReceived());
  ASSERT_TRUE(result.done.wait(20)) << "the stalled answer held the request";
  const double lived = std::chrono::duration<double>(std::chrono::steady_clock::now() - stalled).count();
  EXPECT_EQ(result.errorCode(), URLErrorTimedOut);
  EXPECT_GT(lived, 0.95) << "timed out before a second had passed since the last byte";
}

// The product's clock: TLS 1.3 KeyUpdates back to back, crossing 9 bytes a
// tenth of a second, so that the next record begins before one ends. The
// records that began while the request was alive hold its time-out of a
// second while they cross; those that began after do not, and it times out
// within a second more. It would otherwise run until the peer stops, some
// 12 s in.
TEST_F(TLSTimeOnTheRealClock, RecordsThatBeganAfterTheRequestRanOutDoNotHoldIt) {
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_TRUE(peer.holdOutput());
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(peer.updateKeys());
  // A KeyUpdate is 27 bytes: one byte, then nine at a time, so that one is
  // always under way.
  ASSERT_TRUE(peer.release(1));
  while (!result.done.wait(0.1) && peer.release(9)) {
  }
  ASSERT_TRUE(result.done.wait());
  const double lived = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
  EXPECT_EQ(result.errorCode(), URLErrorTimedOut);
  EXPECT_LT(lived, 8) << "records that began after the request ran out held it";
}

}  // namespace
}  // namespace kit
