// Requests libcurl sends again on its own: a kept-alive connection that the
// server closed while the next request was on its way is retried on a new
// one, and the body starts over from its first byte, whatever it comes
// from (bytes, a file, a stream over either). A stream with no source to
// start from again is made anew by the delegate, or fails with its own
// error without one. A request whose new connection closes unanswered is
// not sent again.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kit/net/input_stream.h"
#include "kit/net/testing/raw_server.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/tls_peer.h"
#include "kit/net/url_session.h"

namespace kit {
namespace {

using test::Latch;
using test::RecordingDelegate;

// Answers the first request of each connection (echoing its body, the
// connection kept alive) and closes the connection once the next request
// on it has come in whole, unanswered: the client has sent a body it must
// send again on a new connection.
class DroppingServer {
 public:
  DroppingServer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
      ADD_FAILURE() << "cannot listen on 127.0.0.1";
      return;
    }
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }

  ~DroppingServer() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      for (int fd : open_) shutdown(fd, SHUT_RDWR);
    }
    shutdown(listener_, SHUT_RDWR);
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& worker : workers_) worker.join();
    close(listener_);
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/report"; }

  // Bodies answered, and bodies read whole and then dropped, in order.
  std::vector<std::string> answered() const {
    std::lock_guard lock(mutex_);
    return answered_;
  }
  std::vector<std::string> dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
  }

 private:
  void acceptLoop() {
    for (;;) {
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) return;
      std::lock_guard lock(mutex_);
      if (stopping_) {
        close(fd);
        return;
      }
      open_.push_back(fd);
      workers_.emplace_back([this, fd] { serve(fd); });
    }
  }

  // One request (head and Content-Length body) from `buffered` and the
  // socket; false when the connection ends first.
  static bool readRequest(int fd, std::string& buffered, std::string& body) {
    char chunk[4096];
    size_t headEnd;
    while ((headEnd = buffered.find("\r\n\r\n")) == std::string::npos) {
      const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffered.append(chunk, static_cast<size_t>(n));
    }
    const std::string head = buffered.substr(0, headEnd);
    const size_t field = head.find("Content-Length: ");
    const size_t length = field == std::string::npos ? 0 : std::stoul(head.substr(field + 16));
    while (buffered.size() < headEnd + 4 + length) {
      const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffered.append(chunk, static_cast<size_t>(n));
    }
    body = buffered.substr(headEnd + 4, length);
    buffered.erase(0, headEnd + 4 + length);
    return true;
  }

  void serve(int fd) {
    std::string buffered, body;
    if (readRequest(fd, buffered, body)) {
      {
        std::lock_guard lock(mutex_);
        answered_.push_back(body);
      }
      const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
      send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
      if (readRequest(fd, buffered, body)) {
        std::lock_guard lock(mutex_);
        dropped_.push_back(body);
      }
    }
    std::lock_guard lock(mutex_);
    std::erase(open_, fd);
    close(fd);
  }

  int listener_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::vector<int> open_;
  std::vector<std::thread> workers_;
  std::vector<std::string> answered_;
  std::vector<std::string> dropped_;
  bool stopping_ = false;
};

// A stream that makes its bytes as it goes: nothing to start again from.
class GeneratedStream : public InputStream {
 public:
  explicit GeneratedStream(std::string text) : text_(std::move(text)) {}
  void open() override { status_ = StreamStatus::Open; }
  void close() override { status_ = StreamStatus::Closed; }
  StreamStatus streamStatus() const override { return status_; }
  long read(uint8_t* buffer, size_t maxLength) override {
    const size_t n = std::min(maxLength, text_.size() - offset_);
    memcpy(buffer, text_.data() + offset_, n);
    offset_ += n;
    return static_cast<long>(n);
  }
  bool hasBytesAvailable() const override { return offset_ < text_.size(); }

 private:
  std::string text_;
  size_t offset_ = 0;
  StreamStatus status_ = StreamStatus::NotOpen;
};

struct Post {
  Latch done;
  Ref<Data> data;
  Ref<Error> error;
  URLSession::DataCompletion handler() {
    return [this](Ref<Data> d, Ref<URLResponse>, Ref<Error> e) {
      data = d;
      error = e;
      done.open();
    };
  }
  std::string body() const { return data ? std::string(data->bytes(), data->bytes() + data->length()) : ""; }
};

// A body of its own for each request, a few kilobytes long.
std::string bodyNumber(int n) { return "report " + std::to_string(n) + ":" + std::string(3000 + n, 'a' + n % 26); }

Ref<MutableURLRequest> postTo(const std::string& address) {
  auto request = MutableURLRequest::make(URL::URLWithString(address));
  request->setHTTPMethod("POST");
  return request;
}

class URLSessionResend : public ::testing::Test {
 protected:
  void TearDown() override {
    if (session) session->invalidateAndCancel();
    if (delegate && session) {
      EXPECT_TRUE(delegate->waitForEvent("invalid"));
    }
  }

  // Sends `request` and waits for its answer.
  void send(const Ref<URLRequest>& request, Post& post) {
    session->dataTaskWithRequest(request, post.handler())->resume();
    ASSERT_TRUE(post.done.wait());
  }

  DroppingServer server;
  std::shared_ptr<RecordingDelegate> delegate;
  Ref<URLSession> session =
      URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
};

TEST_F(URLSessionResend, TwentyPostsInARowAllSucceedAndTheServerAnswersEachBodyWholeOnce) {
  std::vector<std::string> sent;
  for (int n = 0; n < 20; ++n) {
    sent.push_back(bodyNumber(n));
    auto request = postTo(server.url());
    request->setHTTPBody(Data::make(sent.back()));
    Post post;
    send(request, post);
    ASSERT_FALSE(post.error) << "post " << n << ": " << post.error->code();
    EXPECT_EQ(post.body(), sent.back());
  }
  EXPECT_EQ(server.answered(), sent);
  // Every other request went out on a connection the server then closed;
  // what it read of those was whole too.
  const auto dropped = server.dropped();
  EXPECT_GE(dropped.size(), 9u);
  for (const auto& body : dropped) EXPECT_NE(std::find(sent.begin(), sent.end(), body), sent.end());
}

TEST_F(URLSessionResend, FileAndStreamBodiesStartOverToo) {
  const auto path = std::filesystem::temp_directory_path() / ("kit_resend_" + std::to_string(getpid()));
  std::vector<std::string> sent;
  for (int n = 0; n < 8; ++n) {
    sent.push_back(bodyNumber(n));
    Post post;
    if (n % 2 == 0) {
      std::ofstream(path, std::ios::binary) << sent.back();
      session->uploadTaskWithRequestFromFile(postTo(server.url()), URL::fileURLWithPath(path.string()), post.handler())
          ->resume();
      ASSERT_TRUE(post.done.wait());
    } else {
      auto request = postTo(server.url());
      request->setValue(std::to_string(sent.back().size()), "Content-Length");
      request->setHTTPBodyStream(InputStream::inputStreamWithData(Data::make(sent.back())));
      send(request, post);
    }
    ASSERT_FALSE(post.error) << "post " << n << ": " << post.error->code();
    EXPECT_EQ(post.body(), sent.back());
  }
  std::filesystem::remove(path);
  EXPECT_EQ(server.answered(), sent);
}

TEST_F(URLSessionResend, AStreamThatCannotStartOverFailsWithItsOwnError) {
  Post first;
  auto opening = postTo(server.url());
  opening->setHTTPBody(Data::make(bodyNumber(0)));
  send(opening, first);
  ASSERT_FALSE(first.error);

  // The next request goes out on the kept-alive connection, which the
  // server closes: the generated body cannot be made again.
  auto request = postTo(server.url());
  request->setValue(std::to_string(bodyNumber(1).size()), "Content-Length");
  request->setHTTPBodyStream(std::make_shared<GeneratedStream>(bodyNumber(1)));
  Post post;
  send(request, post);
  ASSERT_TRUE(post.error);
  EXPECT_EQ(post.error->code(), URLErrorRequestBodyStreamExhausted);
  EXPECT_EQ(server.answered(), std::vector<std::string>{bodyNumber(0)});
}

TEST_F(URLSessionResend, TheDelegateMakesAStreamThatCannotStartOverAgain) {
  delegate = std::make_shared<RecordingDelegate>();
  session->invalidateAndCancel();
  session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate,
                                                 nullptr);
  std::atomic<int> streamsGiven{0};
  delegate->onNeedBodyStream = [&](URLSessionDelegate::BodyStreamCompletion completion) {
    ++streamsGiven;
    completion(std::make_shared<GeneratedStream>(bodyNumber(1)));
  };
  auto opening = postTo(server.url());
  opening->setHTTPBody(Data::make(bodyNumber(0)));
  auto first = session->dataTaskWithRequest(opening);
  first->resume();
  ASSERT_TRUE(delegate->waitForCompletion(first->taskIdentifier()));
  ASSERT_FALSE(delegate->completion(first->taskIdentifier())->error);

  auto request = postTo(server.url());
  request->setValue(std::to_string(bodyNumber(1).size()), "Content-Length");
  request->setHTTPBodyStream(std::make_shared<GeneratedStream>(bodyNumber(1)));
  auto task = session->dataTaskWithRequest(request);
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  ASSERT_FALSE(delegate->completion(task->taskIdentifier())->error);
  EXPECT_EQ(streamsGiven.load(), 1);
  EXPECT_EQ(delegate->body(task->taskIdentifier()), bodyNumber(1));
  EXPECT_EQ(server.answered(), (std::vector<std::string>{bodyNumber(0), bodyNumber(1)}));
}

// A POST that goes out on a new connection, which the server closes once
// it has read it, unanswered: the server may have acted on it, and nothing
// says the connection was stale. The request fails, sent once, over plain
// TCP and over TLS alike.
TEST(URLSessionSendsOnce, APostWhoseNewConnectionClosesUnansweredFails) {
  std::atomic<int> plainPosts{0};
  test::RawServer plain([&](const std::string& head) {
    if (head.rfind("POST ", 0) == 0) ++plainPosts;
    return std::string();
  });
  test::ScopedTestAnchors anchors;
  test::TLSPeer secure(test::TestCertificates::shared().localhost);
  secure.closeOnRequest(1);
  for (const bool tls : {false, true}) {
    SCOPED_TRACE(tls ? "TLS" : "plain TCP");
    auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
    auto request = postTo(tls ? secure.url("/report") : plain.url("/report"));
    request->setHTTPBody(Data::make(bodyNumber(1)));
    Post post;
    session->dataTaskWithRequest(request, post.handler())->resume();
    const bool ended = post.done.wait();
    // A request sent again, and left waiting, ends here.
    session->invalidateAndCancel();
    ASSERT_TRUE(post.done.wait());
    ASSERT_TRUE(ended) << "sent again and left waiting";
    ASSERT_TRUE(post.error);
    EXPECT_EQ(post.error->code(), URLErrorNetworkConnectionLost);
    if (tls) {
      EXPECT_TRUE(secure.waitForRequest(1));
      EXPECT_FALSE(secure.waitForRequest(2, 0)) << "sent again";
      EXPECT_EQ(secure.connections(), 1u);
    } else {
      EXPECT_EQ(plainPosts.load(), 1);
      EXPECT_EQ(plain.connectionCount(), 1u);
    }
  }
}

}  // namespace
}  // namespace kit
