// URL connections deliver on the starting thread's run loop, keep their
// delegate until they end; synchronous loads wait for their answer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_connection.h"
#include "kit/testing/run_until.h"

namespace kit {
namespace {

using test::TestResponse;
using test::TestServer;

Ref<URL> url(const std::string& text) { return URL::URLWithString(text); }

struct Log {
  std::vector<std::string> events;
  std::string body;
  Ref<Error> error;
  bool allOnMainThread = true;
  bool finished() const {
    return !events.empty() && (events.back() == "finish" || events.back() == "fail");
  }
};

class LoggingDelegate : public URLConnectionDelegate {
 public:
  explicit LoggingDelegate(std::shared_ptr<Log> log) : log_(std::move(log)) {}
  void connectionDidReceiveResponse(URLConnection&, const Ref<URLResponse>&) override { note("response"); }
  void connectionDidReceiveData(URLConnection&, const Ref<Data>& data) override {
    note("data");
    log_->body += data->toString();
  }
  void connectionDidFinishLoading(URLConnection&) override { note("finish"); }
  void connectionDidFailWithError(URLConnection&, const Ref<Error>& error) override {
    note("fail");
    log_->error = error;
  }

 private:
  void note(const char* event) {
    log_->events.push_back(event);
    if (!RunLoop::isMainThread()) log_->allOnMainThread = false;
  }
  std::shared_ptr<Log> log_;
};

TEST(URLConnection, CallbacksArriveOnlyWhileTheMainRunLoopRuns) {
  auto server = TestServer::startHTTP();
  TestResponse chunked;
  chunked.chunks = {"one,", "two,", "three"};
  chunked.chunkIntervalSeconds = 0.05;
  server->route("GET", "/chunks", chunked);
  TestResponse slow = TestResponse::text("later");
  slow.delaySeconds = 0.4;
  server->route("GET", "/slow", slow);
  auto log = std::make_shared<Log>();
  auto connection = URLConnection::connectionWithRequest(URLRequest::make(url(server->url("/chunks"))),
                                                         std::make_shared<LoggingDelegate>(log));
  ASSERT_TRUE(connection);
  // Block the main thread (without running its run loop) while the
  // connection's reply arrives.
  Ref<Error> error;
  auto later = URLConnection::sendSynchronousRequest(URLRequest::make(url(server->url("/slow"))), nullptr, &error);
  ASSERT_TRUE(later);
  EXPECT_EQ(later->toString(), "later");
  EXPECT_TRUE(log->events.empty()) << "nothing is delivered while the main run loop does not run";
  ASSERT_TRUE(test::runUntil([&] { return log->finished(); }));
  // The chunks may arrive in fewer reads than were sent (a busy machine
  // reads two at once): the promise is the order and the bytes.
  ASSERT_GE(log->events.size(), 3u);
  EXPECT_EQ(log->events.front(), "response");
  EXPECT_EQ(log->events.back(), "finish");
  for (size_t i = 1; i + 1 < log->events.size(); ++i) EXPECT_EQ(log->events[i], "data") << "event " << i;
  EXPECT_EQ(log->body, "one,two,three");
  EXPECT_TRUE(log->allOnMainThread);
}

TEST(URLConnection, KeepsItsDelegateUntilItEndsAndReportsFailures) {
  auto log = std::make_shared<Log>();
  Weak<LoggingDelegate> weakDelegate;
  Weak<URLConnection> weakConnection;
  {
    auto delegate = std::make_shared<LoggingDelegate>(log);
    weakDelegate = delegate;
    // Port 9 on loopback: nothing listens there.
    weakConnection = URLConnection::connectionWithRequest(URLRequest::make(url("http://127.0.0.1:9/")), delegate);
  }
  EXPECT_FALSE(weakDelegate.expired()) << "the connection holds its delegate while it runs";
  ASSERT_TRUE(test::runUntil([&] { return log->finished(); }));
  EXPECT_EQ(log->events, (std::vector<std::string>{"fail"}));
  ASSERT_TRUE(log->error);
  EXPECT_EQ(log->error->code(), URLErrorCannotConnectToHost);
  EXPECT_TRUE(test::runUntil([&] { return weakDelegate.expired() && weakConnection.expired(); }));
}

TEST(URLConnection, CancelledConnectionSaysNothingMore) {
  auto server = TestServer::startHTTP();
  TestResponse silent;
  silent.silent = true;
  server->route("GET", "/silent", silent);
  server->route("GET", "/ok", TestResponse::text("ok"));
  auto log = std::make_shared<Log>();
  auto connection = URLConnection::connectionWithRequest(URLRequest::make(url(server->url("/silent"))),
                                                         std::make_shared<LoggingDelegate>(log));
  ASSERT_TRUE(server->waitForRequests(1, 10));
  connection->cancel();
  // A second connection finishing shows the run loop has had its chance.
  auto other = std::make_shared<Log>();
  URLConnection::connectionWithRequest(URLRequest::make(url(server->url("/ok"))),
                                       std::make_shared<LoggingDelegate>(other));
  ASSERT_TRUE(test::runUntil([&] { return other->finished(); }));
  EXPECT_TRUE(log->events.empty());
}

TEST(SynchronousLoad, DataWithContentsOfURLHonoursItsTimeOut) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/file", TestResponse::text("contents"));
  TestResponse silent;
  silent.silent = true;
  server->route("GET", "/silent", silent);
  VirtualClock clock;
  Ref<Error> error;
  auto data = dataWithContentsOfURL(url(server->url("/file")), 5, &error);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->toString(), "contents");
  EXPECT_FALSE(error);

  // The load blocks this thread; another one moves the clock once the
  // request is out.
  std::atomic<bool> returned{false};
  bool returnedEarly = true;
  std::thread advancer([&] {
    if (!server->waitForRequests(2, 10)) return;
    clock.advance(4.9);
    returnedEarly = returned.load();
    clock.advance(0.2);
  });
  EXPECT_FALSE(dataWithContentsOfURL(url(server->url("/silent")), 5, &error));
  returned = true;
  advancer.join();
  EXPECT_FALSE(returnedEarly) << "timed out before its time";
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), URLErrorTimedOut);
  Ref<URLResponse> response;
  auto missing = URLConnection::sendSynchronousRequest(URLRequest::make(url(server->url("/none"))), &response, &error);
  ASSERT_TRUE(missing);
  EXPECT_EQ(as<HTTPURLResponse>(response)->statusCode(), 404);
  EXPECT_FALSE(error);
}

}  // namespace
}  // namespace kit
