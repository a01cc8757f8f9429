// Request time-outs on kit::Clock: a silent server times a request out only
// when the clock passes the request's time-out, a transfer that keeps
// sending bytes never idles out however long it runs, and one that falls
// silent times out a time-out after its last byte. The clock is virtual,
// so each case takes milliseconds; the last cases check the real clock.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_session.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace kit {
namespace {

using test::Latch;
using test::RecordingDelegate;
using test::TestResponse;
using test::TestServer;

// A server on 127.0.0.1 that takes one connection, reads its request head
// and then writes exactly what the test hands it, when the test does.
class TrickleServer {
 public:
  TrickleServer() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
      ADD_FAILURE() << "cannot listen on 127.0.0.1";
      return;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { serve(); });
  }

  ~TrickleServer() {
    shutdown(listener_, SHUT_RDWR);  // ends a pending accept
    {
      std::lock_guard lock(mutex_);
      if (connection_ >= 0) shutdown(connection_, SHUT_RDWR);
    }
    if (thread_.joinable()) thread_.join();
    if (connection_ >= 0) close(connection_);
    close(listener_);
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/trickle"; }

  // Waits (on a condition) until the request head has arrived.
  bool waitForRequest(double seconds = 10) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return requested_; });
  }

  // Waits until the client's side has taken in everything written (the
  // kernel has it; the client may not have read it yet).
  bool waitUntilReceived(double seconds = 10) {
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

  bool write(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    return connection_ >= 0 && ::send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                                   static_cast<ssize_t>(bytes.size());
  }

 private:
  void serve() {
    const int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    {
      std::lock_guard lock(mutex_);
      connection_ = fd;
    }
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      head.append(buffer, static_cast<size_t>(n));
    }
    {
      std::lock_guard lock(mutex_);
      requested_ = true;
    }
    cv_.notify_all();
  }

  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  int connection_ = -1;
  bool requested_ = false;
};

using Result = test::CompletionResult;

Ref<MutableURLRequest> requestWithTimeout(const std::string& url, double seconds) {
  auto request = MutableURLRequest::make(URL::URLWithString(url));
  request->setTimeoutInterval(seconds);
  return request;
}

class NetworkTimeOnTheClock : public test::VirtualClockTest {
 protected:
  void TearDown() override {
    if (session) {
      session->invalidateAndCancel();
      if (delegate) {
        EXPECT_TRUE(delegate->waitForEvent("invalid"));
      }
    }
    session = nullptr;
    VirtualClockTest::TearDown();
  }

  std::shared_ptr<RecordingDelegate> delegate;
  Ref<URLSession> session;
};

TEST_F(NetworkTimeOnTheClock, ASilentServerTimesTheRequestOutWhenTheClockPassesItsTimeOut) {
  auto server = TestServer::startHTTP();
  TestResponse silent;
  silent.silent = true;
  server->route("GET", "/silent", silent);
  session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Result result;
  session->dataTaskWithRequest(requestWithTimeout(server->url("/silent"), 10), result.handler())->resume();
  ASSERT_TRUE(server->waitForRequests(1, 10));

  advance(9.9);
  EXPECT_FALSE(result.done.isOpen()) << "timed out before its time";
  advance(0.2);
  ASSERT_TRUE(result.done.wait());
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), URLErrorTimedOut);
  EXPECT_FALSE(result.data);
  EXPECT_EQ(server->requestCount(), 1u) << "a time-out is not retried";
}

TEST_F(NetworkTimeOnTheClock, BytesKeepATransferAliveAndSilenceAfterThemTimesItOut) {
  TrickleServer server;
  delegate = std::make_shared<RecordingDelegate>();
  session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate,
                                                 nullptr);
  auto task = session->dataTaskWithRequest(requestWithTimeout(server.url(), 10));
  const uint64_t id = task->taskIdentifier();
  task->resume();
  ASSERT_TRUE(server.waitForRequest());
  auto received = [&](size_t bytes) {
    return delegate->waitFor([&](const std::vector<RecordingDelegate::Event>& events) {
      size_t total = 0;
      for (const auto& e : events) {
        if (e.task == id && e.name == "data") total += e.data->length();
      }
      return total >= bytes;
    });
  };

  // A byte every 6 seconds for 48 seconds: each gap is below the time-out,
  // the whole far above it.
  ASSERT_TRUE(server.write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\na"));
  ASSERT_TRUE(received(1));
  for (size_t sent = 2; sent <= 9; ++sent) {
    advance(6);
    ASSERT_TRUE(server.write("b"));
    ASSERT_TRUE(received(sent));
  }
  EXPECT_FALSE(delegate->completion(id)) << "timed out while bytes were arriving";
  EXPECT_DOUBLE_EQ(elapsed(), 48);

  // Silence: the time-out counts from the last byte.
  advance(9.9);
  EXPECT_FALSE(delegate->completion(id)) << "timed out before its time";
  advance(0.2);
  ASSERT_TRUE(delegate->waitForCompletion(id));
  ASSERT_TRUE(delegate->completion(id)->error);
  EXPECT_EQ(delegate->completion(id)->error->code(), URLErrorTimedOut);
  EXPECT_EQ(delegate->body(id), "abbbbbbbb");
}

TEST_F(NetworkTimeOnTheClock, BytesOfAnUnfinishedHeadLineKeepARequestAlive) {
  TrickleServer server;
  session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Result result;
  session->dataTaskWithRequest(requestWithTimeout(server.url(), 2), result.handler())->resume();
  ASSERT_TRUE(server.waitForRequest());

  // The status line one byte every 1.2 seconds: no line is whole for 20
  // seconds, yet bytes never stop for 2.
  for (char byte : std::string("HTTP/1.1 200 OK\r\n")) {
    ASSERT_TRUE(server.write(std::string(1, byte)));
    ASSERT_TRUE(server.waitUntilReceived());
    advance(1.2);
    ASSERT_FALSE(result.done.isOpen()) << "timed out while the status line was arriving";
  }
  ASSERT_TRUE(server.write("Content-Length: 2\r\n\r\nok"));
  ASSERT_TRUE(result.done.wait());
  EXPECT_FALSE(result.error) << result.error->code();
  ASSERT_TRUE(result.data);
  EXPECT_EQ(result.data->toString(), "ok");
}

TEST_F(NetworkTimeOnTheClock, ASilenceAfterBytesHeldByTheClientTimesOutATimeOutAfterThem) {
  TrickleServer server;
  session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Result result;
  session->dataTaskWithRequest(requestWithTimeout(server.url(), 2), result.handler())->resume();
  ASSERT_TRUE(server.waitForRequest());

  // Part of the status line 1.5 s in, then silence: the request times out
  // 2 s after those bytes came, not 2 s after the time-out first fell due
  // and found them.
  advance(1.5);
  ASSERT_TRUE(server.write("HTTP/1.1 2"));
  ASSERT_TRUE(server.waitUntilReceived());
  advance(1.9);
  EXPECT_FALSE(result.done.isOpen()) << "timed out before its time";
  advance(0.2);
  ASSERT_TRUE(result.done.wait(5)) << "not timed out 2.1 s after the last bytes under a time-out of 2 s";
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), URLErrorTimedOut);
}

// The product's clock: the same idle time-out on real time.
TEST(NetworkTimeOnTheRealClock, ASilentServerTimesTheRequestOutAfterItsTimeOut) {
  auto server = TestServer::startHTTP();
  TestResponse silent;
  silent.silent = true;
  server->route("GET", "/silent", silent);
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Result result;
  const auto started = std::chrono::steady_clock::now();
  session->dataTaskWithRequest(requestWithTimeout(server->url("/silent"), 0.05), result.handler())->resume();
  ASSERT_TRUE(result.done.wait());
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), URLErrorTimedOut);
  session->invalidateAndCancel();
}

// Bytes that libcurl holds (part of a status line) count from when the
// kernel got them, not from when the time-out found them: a request under
// a time-out of 2 s that gets them 0.3 s in and then nothing times out
// about 2.3 s in, not 4 s in.
TEST(NetworkTimeOnTheRealClock, BytesHeldByTheClientCountFromWhenTheyCameNotWhenTheyWereFound) {
  TrickleServer server;
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Result result;
  const auto started = std::chrono::steady_clock::now();
  session->dataTaskWithRequest(requestWithTimeout(server.url(), 2), result.handler())->resume();
  ASSERT_TRUE(server.waitForRequest());
  // Well after the client last looked at its connection.
  EXPECT_FALSE(result.done.wait(0.3)) << "timed out before its time";
  ASSERT_TRUE(server.write("HTTP/1.1 2"));
  ASSERT_TRUE(server.waitUntilReceived());
  ASSERT_TRUE(result.done.wait(10));
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took.count(), 2.0);
  // Found at the time-out, they would count from then and time it out 4 s in.
  EXPECT_LT(took.count(), 3.7) << "the bytes counted from when the time-out found them";
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), URLErrorTimedOut);
  session->invalidateAndCancel();
}

}  // namespace
}  // namespace kit
