// More session behaviour: content decoding only when declared, the
// per-host connection limit, will-cache, counter observers, subclassed
// body streams, TLS failures, and the URL cache's disk store.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "kit/dispatch/operation_queue.h"
#include "kit/foundation/format.h"
#include "kit/net/input_stream.h"
#include "kit/net/testing/raw_server.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_cache.h"
#include "kit/net/url_session.h"
#include "kit/testing/run_until.h"

namespace kit {
namespace {

using test::Latch;
using test::RawServer;
using test::RecordingDelegate;
using test::TestResponse;
using test::TestServer;

Ref<URL> url(const std::string& text) { return URL::URLWithString(text); }

std::string gzip(const std::string& text) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  std::string out(text.size() + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct Fetch {
  Latch done;
  Ref<Data> data;
  Ref<URLResponse> response;
  Ref<Error> error;
};

std::shared_ptr<Fetch> fetch(const Ref<URLSession>& session, const Ref<URLRequest>& request) {
  auto f = std::make_shared<Fetch>();
  session->dataTaskWithRequest(request, [f](Ref<Data> d, Ref<URLResponse> r, Ref<Error> e) {
    f->data = d;
    f->response = r;
    f->error = e;
    f->done.open();
  })->resume();
  EXPECT_TRUE(f->done.wait());
  return f;
}

TEST(SessionBehaviour, ContentEncodingIsDecodedOnlyWhenTheResponseDeclaresIt) {
  auto server = TestServer::startHTTP();
  const std::string packed = gzip("hello, compressed world");
  TestResponse declared = TestResponse::text(packed);
  declared.headers.set("Content-Encoding", "gzip");
  server->route("GET", "/declared", declared);
  server->route("GET", "/undeclared", TestResponse::text(packed));
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  auto a = fetch(session, URLRequest::make(url(server->url("/declared"))));
  auto b = fetch(session, URLRequest::make(url(server->url("/undeclared"))));
  EXPECT_EQ(a->data->toString(), "hello, compressed world");
  EXPECT_EQ(a->response->expectedContentLength(), URLResponseUnknownLength);
  EXPECT_EQ(b->data->toString(), packed) << "bytes without a declared encoding stay as sent";
  session = nullptr;
}

TEST(SessionBehaviour, ConnectionsPerHostStayWithinTheLimit) {
  auto server = TestServer::startHTTP();
  // The server takes 50 ms per answer and counts how many it works on at once.
  std::mutex mutex;
  std::condition_variable never;
  int inFlight = 0, most = 0;
  server->route("GET", "/slow", [&](const test::RecordedRequest&) {
    std::unique_lock lock(mutex);
    most = std::max(most, ++inFlight);
    never.wait_for(lock, std::chrono::milliseconds(50));
    --inFlight;
    return TestResponse::text("ok");
  });
  auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
  EXPECT_EQ(config->HTTPMaximumConnectionsPerHost, 6);
  config->HTTPMaximumConnectionsPerHost = 3;
  auto session = URLSession::sessionWithConfiguration(config);
  std::vector<std::shared_ptr<Fetch>> all;
  for (int i = 0; i < 12; ++i) {
    auto f = std::make_shared<Fetch>();
    all.push_back(f);
    session->dataTaskWithURL(url(server->url("/slow")), [f](Ref<Data> d, Ref<URLResponse>, Ref<Error> e) {
      f->data = d;
      f->error = e;
      f->done.open();
    })->resume();
  }
  for (auto& f : all) {
    ASSERT_TRUE(f->done.wait());
    EXPECT_FALSE(f->error);
  }
  EXPECT_EQ(most, 3);
  session = nullptr;
}

TEST(SessionBehaviour, WillCacheAsksTheDelegateAndStoresWhatItReturns) {
  auto server = TestServer::startHTTP();
  TestResponse cacheable = TestResponse::text("keep me");
  cacheable.headers.set("Cache-Control", "max-age=600");
  server->route("GET", "/c", cacheable);
  server->route("GET", "/d", cacheable);
  auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
  auto cache = URLCache::make(1 << 20, 0, "");
  config->URLCache = cache;
  struct CacheDelegate : RecordingDelegate {
    void willCacheResponse(URLSession&, const Ref<URLSessionDataTask>& task, const Ref<CachedURLResponse>& proposed,
                           CacheCompletion completion) override {
      ++asked;
      EXPECT_EQ(proposed->data()->toString(), "keep me");
      // Keep /c, refuse /d.
      completion(task->originalRequest()->URL()->absoluteText().ends_with("/c") ? proposed : nullptr);
    }
    std::atomic<int> asked{0};
  };
  auto delegate = std::make_shared<CacheDelegate>();
  auto session = URLSession::sessionWithConfiguration(config, delegate, nullptr);
  for (const char* path : {"/c", "/d"}) {
    auto task = session->dataTaskWithURL(url(server->url(path)));
    task->resume();
    ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  }
  EXPECT_EQ(delegate->asked.load(), 2);
  EXPECT_TRUE(cache->cachedResponseForRequest(URLRequest::make(url(server->url("/c")))));
  EXPECT_FALSE(cache->cachedResponseForRequest(URLRequest::make(url(server->url("/d")))));
  session->invalidateAndCancel();
  EXPECT_TRUE(delegate->waitForEvent("invalid"));
}

// A body stream written by a caller: it hands out the text in three-byte
// pieces and reports the end with a read of 0.
class PieceStream : public InputStream {
 public:
  explicit PieceStream(std::string text) : text_(std::move(text)) {}
  void open() override { status_ = StreamStatus::Open; }
  void close() override { status_ = StreamStatus::Closed; }
  StreamStatus streamStatus() const override { return status_; }
  long read(uint8_t* buffer, size_t maxLength) override {
    size_t n = std::min({maxLength, size_t{3}, text_.size() - offset_});
    std::memcpy(buffer, text_.data() + offset_, n);
    offset_ += n;
    ++reads_;
    if (n == 0) status_ = StreamStatus::AtEnd;
    return static_cast<long>(n);
  }
  bool hasBytesAvailable() const override { return offset_ < text_.size(); }
  int reads() const { return reads_; }

 private:
  std::string text_;
  size_t offset_ = 0;
  int reads_ = 0;
  StreamStatus status_ = StreamStatus::NotOpen;
};

TEST(SessionBehaviour, SubclassedStreamIsSentChunkedAndCountersAreObserved) {
  auto server = TestServer::startHTTP();
  server->route("POST", "/up", [](const test::RecordedRequest& r) { return TestResponse::text(r.body); });
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  auto stream = std::make_shared<PieceStream>("a body of twenty-six chars");
  auto request = MutableURLRequest::make(url(server->url("/up")));
  request->setHTTPMethod("POST");
  request->setHTTPBodyStream(stream);
  auto f = std::make_shared<Fetch>();
  auto task = session->dataTaskWithRequest(request, [f](Ref<Data> d, Ref<URLResponse>, Ref<Error> e) {
    f->data = d;
    f->error = e;
    f->done.open();
  });
  std::mutex seenMutex;
  std::vector<std::pair<URLSessionTaskCounter, int64_t>> seen;
  task->addCounterObserver([&](URLSessionTask&, URLSessionTaskCounter counter, int64_t value) {
    std::lock_guard lock(seenMutex);
    seen.emplace_back(counter, value);
  });
  task->resume();
  ASSERT_TRUE(f->done.wait());
  EXPECT_FALSE(f->error);
  EXPECT_EQ(f->data->toString(), "a body of twenty-six chars");
  EXPECT_GT(stream->reads(), 8);
  EXPECT_EQ(server->requests()[0].header("Transfer-Encoding"), "chunked");
  EXPECT_EQ(task->countOfBytesSent(), 26);
  EXPECT_EQ(task->countOfBytesReceived(), 26);
  std::lock_guard lock(seenMutex);
  bool sawReceived = false;
  for (const auto& [counter, value] : seen) {
    if (counter == URLSessionTaskCounter::BytesReceived && value == 26) sawReceived = true;
  }
  EXPECT_TRUE(sawReceived);
  session = nullptr;
}

TEST(SessionBehaviour, LifecycleHooksHearEveryResumeAndSuspendWithThePriorState) {
  // A server that never answers: the task stays running however quickly
  // the network thread gets to it.
  auto server = TestServer::startHTTP();
  TestResponse silent;
  silent.silent = true;
  server->route("GET", "/silent", silent);
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  std::vector<std::pair<URLSessionTask::LifecycleCall, URLSessionTaskState>> calls;
  auto task = session->dataTaskWithURL(url(server->url("/silent")));
  uint64_t token = URLSessionTask::addLifecycleHook(
      [&](URLSessionTask& t, URLSessionTask::LifecycleCall call, URLSessionTaskState before) {
        if (&t == task.get()) calls.emplace_back(call, before);
      });
  task->resume();
  task->resume();
  task->suspend();
  task->suspend();
  task->resume();
  URLSessionTask::removeLifecycleHook(token);
  task->cancel();
  using C = URLSessionTask::LifecycleCall;
  using S = URLSessionTaskState;
  EXPECT_EQ(calls, (std::vector<std::pair<C, S>>{{C::Resume, S::Suspended},
                                                  {C::Resume, S::Running},
                                                  {C::Suspend, S::Running},
                                                  {C::Suspend, S::Suspended},
                                                  {C::Resume, S::Suspended}}));
  session = nullptr;
}

TEST(SessionBehaviour, RepliesThatAreNotHTTPAreBadServerResponsesAndSilenceIsALostConnection) {
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  {
    RawServer garbage("this is not HTTP at all\r\n\r\n");
    auto f = fetch(session, URLRequest::make(url(garbage.url())));
    ASSERT_TRUE(f->error);
    EXPECT_EQ(f->error->code(), URLErrorBadServerResponse);
  }
  {
    RawServer nothing("");
    auto f = fetch(session, URLRequest::make(url(nothing.url())));
    ASSERT_TRUE(f->error);
    EXPECT_EQ(f->error->code(), URLErrorNetworkConnectionLost);
  }
  session = nullptr;
}

TEST(SessionBehaviour, MainOperationQueueDeliversOnlyWhileTheMainRunLoopRuns) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/x", TestResponse::text("main"));
  auto delegate = std::make_shared<RecordingDelegate>();
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate,
                                                      OperationQueue::main().selfAs<OperationQueue>());
  auto task = session->dataTaskWithURL(url(server->url("/x")));
  task->resume();
  ASSERT_TRUE(server->waitForRequests(1, 10));
  EXPECT_TRUE(delegate->events().empty());
  ASSERT_TRUE(test::runUntil([&] { return delegate->completion(task->taskIdentifier()).has_value(); }));
  for (const auto& e : delegate->events()) EXPECT_EQ(e.thread, std::this_thread::get_id());
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "main");
  session->finishTasksAndInvalidate();
  ASSERT_TRUE(test::runUntil([&] { return !delegate->names().empty() && delegate->names().back() == "invalid"; }));
}

// A delegate whose handlers return promptly has its events run on the
// session's network thread while its queue is idle, as the queue's
// operations; the session may end there, in its own event.
TEST(SessionBehaviour, APromptDelegatesEventsRunOnTheNetworkThreadWhereTheSessionMayEnd) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/x", TestResponse::text("quick"));
  TestResponse slow = TestResponse::text("slow");
  slow.delaySeconds = 0.2;
  server->route("GET", "/slow", slow);
  struct PromptDelegate : RecordingDelegate {
    bool handlesEventsPromptly() const override { return true; }
    void didCompleteWithError(URLSession& session, const Ref<URLSessionTask>& task, const Ref<Error>& error) override {
      char name[16] = {};
      pthread_getname_np(pthread_self(), name, sizeof name);
      {
        std::lock_guard lock(mutex);
        completedOn.emplace_back(name);
        queueWasCurrent.push_back(OperationQueue::current() == queue);
      }
      RecordingDelegate::didCompleteWithError(session, task, error);
    }
    Ref<OperationQueue> queue = OperationQueue::create("prompt");
    std::mutex mutex;
    std::vector<std::string> completedOn;
    std::vector<bool> queueWasCurrent;
  };
  auto delegate = std::make_shared<PromptDelegate>();
  delegate->queue->setMaxConcurrentOperationCount(1);
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate,
                                                      delegate->queue);
  auto task = session->dataTaskWithURL(url(server->url("/x")));
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "quick");

  // Only the task holds the session while the reply is on its way.
  Weak<URLSession> weak = session;
  task = session->dataTaskWithURL(url(server->url("/slow")));
  task->resume();
  session = nullptr;
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "slow");
  EXPECT_TRUE(test::runUntil([&] { return weak.expired(); }));
  std::lock_guard lock(delegate->mutex);
  EXPECT_EQ(delegate->completedOn, (std::vector<std::string>{"kit.net.session", "kit.net.session"}));
  EXPECT_EQ(delegate->queueWasCurrent, (std::vector<bool>{true, true}));
}

TEST(SessionBehaviour, TLSToAPlainServerFailsAsASecureConnectionFailure) {
  auto server = TestServer::startHTTP();
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  auto f = fetch(session, URLRequest::make(url("https://127.0.0.1:" + std::to_string(server->port()) + "/")));
  ASSERT_TRUE(f->error);
  EXPECT_EQ(f->error->code(), URLErrorSecureConnectionFailed);
  session = nullptr;
}

TEST(URLCacheStore, DiskEntriesOutliveTheCacheObjectAndRespectTheCapacity) {
  char pattern[] = "/tmp/kit-cache-XXXXXX";
  std::string dir = mkdtemp(pattern);
  auto request = [](const std::string& path) { return URLRequest::make(URL::URLWithString("http://cache.test" + path)); };
  auto response = [](const std::string& path) {
    HTTPHeaderFields fields;
    fields.set("Content-Type", "text/plain");
    fields.set("Cache-Control", "max-age=60");
    return HTTPURLResponse::make(URL::URLWithString("http://cache.test" + path), 200, "HTTP/1.1", fields);
  };
  {
    auto cache = URLCache::make(0, 1 << 20, dir);
    cache->storeCachedResponse(std::make_shared<CachedURLResponse>(response("/a"), Data::make("alpha")), request("/a"));
    EXPECT_GT(cache->currentDiskUsage(), 0u);
    EXPECT_EQ(cache->currentMemoryUsage(), 0u);
  }
  auto reopened = URLCache::make(0, 1 << 20, dir);
  auto hit = reopened->cachedResponseForRequest(request("/a"));
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->data()->toString(), "alpha");
  EXPECT_EQ(as<HTTPURLResponse>(hit->response())->statusCode(), 200);
  EXPECT_EQ(describe(hit->response()->MIMEType()), "text/plain");
  EXPECT_TRUE(URLCache::isFresh(*hit, hit->storedAt + 30));
  EXPECT_FALSE(URLCache::isFresh(*hit, hit->storedAt + 61));
  // A damaged entry is dropped, not trusted.
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::FILE* f = std::fopen(entry.path().c_str(), "r+b");
    std::fputs("garbage", f);
    std::fclose(f);
  }
  auto damaged = URLCache::make(0, 1 << 20, dir);
  EXPECT_FALSE(damaged->cachedResponseForRequest(request("/a")));
  // Over capacity, the least recently used entries go.
  damaged->setDiskCapacity(3000);
  for (int i = 0; i < 5; ++i) {
    std::string path = "/big" + std::to_string(i);
    damaged->storeCachedResponse(std::make_shared<CachedURLResponse>(response(path), Data::make(std::string(900, 'x'))),
                                 request(path));
  }
  EXPECT_LE(damaged->currentDiskUsage(), 3000u);
  EXPECT_TRUE(damaged->cachedResponseForRequest(request("/big4")));
  EXPECT_FALSE(damaged->cachedResponseForRequest(request("/big0")));
  damaged->removeAllCachedResponses();
  EXPECT_EQ(damaged->currentDiskUsage(), 0u);
  std::filesystem::remove_all(dir);
}

TEST(URLCacheStore, OnlyCacheableResponsesAreStored) {
  auto get = URLRequest::make(URL::URLWithString("http://cache.test/x"));
  auto post = MutableURLRequest::make(URL::URLWithString("http://cache.test/x"));
  post->setHTTPMethod("POST");
  HTTPHeaderFields fields;
  auto ok = HTTPURLResponse::make(URL::URLWithString("http://cache.test/x"), 200, "HTTP/1.1", fields);
  auto error = HTTPURLResponse::make(URL::URLWithString("http://cache.test/x"), 500, "HTTP/1.1", fields);
  fields.set("Cache-Control", "private, no-store");
  auto noStore = HTTPURLResponse::make(URL::URLWithString("http://cache.test/x"), 200, "HTTP/1.1", fields);
  EXPECT_TRUE(URLCache::isCacheable(get, ok));
  EXPECT_FALSE(URLCache::isCacheable(post, ok));
  EXPECT_FALSE(URLCache::isCacheable(get, error));
  EXPECT_FALSE(URLCache::isCacheable(get, noStore));
}

}  // namespace
}  // namespace kit
