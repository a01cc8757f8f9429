// Idle time-outs on HTTP/2 connections, which libcurl negotiates with any
// TLS server that offers "h2": a request lives by its own bytes only, not
// by the connection's PINGs or by another stream's body on the same
// connection. The clock is virtual but for one case on the real clock.
#include <gtest/gtest.h>

#include <chrono>

#include "kit/net/testing/http2_server.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/url_session.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace kit {
namespace {

using test::Http2Server;
using test::RecordingDelegate;
using test::TestCertificates;

Ref<MutableURLRequest> requestWithTimeout(const std::string& url, double seconds) {
  auto request = MutableURLRequest::make(URL::URLWithString(url));
  request->setTimeoutInterval(seconds);
  return request;
}

class HTTP2IdleTimeOut : public test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    ASSERT_TRUE(server.listening());
  }
  void TearDown() override {
    if (session) {
      session->invalidateAndCancel();
      EXPECT_TRUE(delegate->waitForEvent("invalid"));
    }
    session = nullptr;
    VirtualClockTest::TearDown();
  }

  // Starts a task for `path` under a time-out of `seconds` and waits until
  // the server has its request.
  uint64_t start(const std::string& path, double seconds) {
    auto task = session->dataTaskWithRequest(requestWithTimeout(server.url(path), seconds));
    task->resume();
    EXPECT_TRUE(server.waitForRequest(path)) << path;
    return task->taskIdentifier();
  }
  Ref<Error> errorOf(uint64_t task) const {
    auto completion = delegate->completion(task);
    return completion ? completion->error : nullptr;
  }

  test::ScopedTestAnchors anchors;
  Http2Server server{TestCertificates::shared().localhost};
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  Ref<URLSession> session;
};

TEST_F(HTTP2IdleTimeOut, PingsOnTheConnectionDoNotKeepAnUnansweredRequestAlive) {
  session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate,
                                                 nullptr);
  const uint64_t stalled = start("/stalled", 2);
  ASSERT_EQ(server.connectionCount(), 1u) << "no HTTP/2 connection";

  // A PING every half second, each answered by the client before the clock
  // moves on: the request still times out 2 s after it started.
  for (size_t pings = 1; pings <= 4; ++pings) {
    server.ping();
    ASSERT_TRUE(server.waitForPingAcknowledgements(pings));
    EXPECT_FALSE(delegate->completion(stalled)) << "timed out before its time";
    advance(pings < 4 ? 0.5 : 0.6);
  }
  ASSERT_TRUE(delegate->waitForCompletion(stalled, 5)) << "PINGs kept the request alive 2.1 s into a 2 s time-out";
  ASSERT_TRUE(errorOf(stalled));
  EXPECT_EQ(errorOf(stalled)->code(), URLErrorTimedOut);
}

TEST_F(HTTP2IdleTimeOut, AStreamTimesOutWhileAnotherOnItsConnectionTrickles) {
  auto configuration = URLSessionConfiguration::ephemeralSessionConfiguration();
  configuration->HTTPShouldUsePipelining = true;
  session = URLSession::sessionWithConfiguration(configuration, delegate, nullptr);
  const uint64_t stalled = start("/stalled", 2);
  const uint64_t trickling = start("/trickle", 2);
  ASSERT_EQ(server.connectionCount(), 1u) << "the two requests did not share a connection";

  // A body byte on the other stream every half second: it keeps its own
  // request alive far past its time-out, and the unanswered one times out
  // 2 s after it started.
  size_t sent = 0;
  auto trickle = [&] {
    ASSERT_TRUE(server.write("/trickle", "x"));
    ++sent;
    ASSERT_TRUE(delegate->waitFor([&](const std::vector<RecordingDelegate::Event>& events) {
      size_t received = 0;
      for (const auto& e : events) {
        if (e.task == trickling && e.name == "data") received += e.data->length();
      }
      return received == sent;
    }));
  };
  for (int step = 0; step < 3; ++step) {
    trickle();
    advance(0.5);
    EXPECT_FALSE(delegate->completion(stalled)) << "timed out before its time";
  }
  trickle();
  advance(0.6);
  ASSERT_TRUE(delegate->waitForCompletion(stalled, 5)) << "another stream's bytes kept the request alive";
  ASSERT_TRUE(errorOf(stalled));
  EXPECT_EQ(errorOf(stalled)->code(), URLErrorTimedOut);
  for (int step = 0; step < 4; ++step) {
    trickle();
    advance(0.5);
  }
  EXPECT_FALSE(delegate->completion(trickling)) << "timed out while its own bytes were arriving";
  EXPECT_NEAR(elapsed(), 4.1, 1e-9);
}

// The product's clock: PINGs on the server's timer.
TEST(HTTP2IdleTimeOutOnTheRealClock, PingsOnTheConnectionDoNotKeepAnUnansweredRequestAlive) {
  test::ScopedTestAnchors anchors;
  Http2Server server(TestCertificates::shared().localhost);
  ASSERT_TRUE(server.listening());
  server.pingEvery(0.25);
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  test::Latch done;
  Ref<Error> error;
  const auto started = std::chrono::steady_clock::now();
  session->dataTaskWithRequest(requestWithTimeout(server.url("/stalled"), 1), [&](Ref<Data>, Ref<URLResponse>, Ref<Error> e) {
    error = e;
    done.open();
  })->resume();
  // The PINGs keep coming for as long as the wait lasts; the time-out comes
  // after about a second.
  ASSERT_TRUE(done.wait(8)) << "PINGs kept the request alive";
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  EXPECT_GE(server.pingAcknowledgements(), 1u) << "the client heard no PINGs";
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), URLErrorTimedOut);
  session->invalidateAndCancel();
}

}  // namespace
}  // namespace kit
