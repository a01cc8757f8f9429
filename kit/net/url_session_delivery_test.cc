// How a session's events reach its delegate queue, against real servers on
// 127.0.0.1: the events of many tasks moving in one pass of the network
// thread arrive in each task's order, a queue suspended in the middle of a
// task's events holds the rest, requests issued from completion handlers
// (which the network thread and the session's own queue look out for
// before they block) run on the delegate queue one after the other, and
// large bodies read into reused buffers stay intact.
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "kit/dispatch/operation_queue.h"
#include "kit/net/body_buffer_pool.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_session.h"
#include "kit/testing/run_until.h"

namespace kit {
namespace {

using test::Latch;
using test::RecordingDelegate;
using test::TestResponse;
using test::TestServer;

Ref<URL> url(const std::string& text) { return URL::URLWithString(text); }

// Checks each task's events: data adding up to `body` with the counter
// following it, then the completion, nothing after it.
void expectInOrder(const RecordingDelegate& delegate, uint64_t task, const std::string& body,
                   const Ref<OperationQueue>& queue) {
  SCOPED_TRACE("task " + std::to_string(task));
  std::string received;
  std::vector<std::string> names;
  for (const auto& e : delegate.events()) {
    if (e.task != task) continue;
    names.push_back(e.name);
    EXPECT_EQ(e.queue, queue);
    if (e.name == "data") {
      received += e.data->toString();
      EXPECT_EQ(e.bytesReceived, static_cast<int64_t>(received.size()));
    }
  }
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names.back(), "complete");
  for (size_t i = 0; i + 1 < names.size(); ++i) EXPECT_EQ(names[i], "data");
  EXPECT_EQ(received, body);
}

// Forty tasks whose answers land together: each pass of the network thread
// hands its events over as one batch, on the session's own queue (which
// waits a little for more) and on a queue the caller gave.
TEST(EventDelivery, EventsOfTasksMovingTogetherKeepEachTasksOrder) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/item/*", [](const test::RecordedRequest& r) {
    return TestResponse::text("body of " + r.path + std::string(r.path.size() * 100, '.'));
  });
  auto given = OperationQueue::create("given");
  given->setMaxConcurrentOperationCount(1);
  for (const Ref<OperationQueue>& queue : {Ref<OperationQueue>(), given}) {
    SCOPED_TRACE(queue ? "given queue" : "own queue");
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->takesResponses = false;
    auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                        delegate, queue);
    std::map<uint64_t, std::string> bodies;
    std::vector<Ref<URLSessionDataTask>> tasks;
    for (int i = 0; i < 40; ++i) {
      const std::string path = "/item/" + std::to_string(i);
      auto task = session->dataTaskWithURL(url(server->url(path)));
      bodies[task->taskIdentifier()] = "body of " + path + std::string(path.size() * 100, '.');
      tasks.push_back(task);
    }
    for (auto& task : tasks) task->resume();
    for (auto& task : tasks) ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
    for (auto& [id, body] : bodies) expectInOrder(*delegate, id, body, session->delegateQueue());
    session->finishTasksAndInvalidate();
    ASSERT_TRUE(delegate->waitForEvent("invalid"));
    EXPECT_EQ(delegate->names().back(), "invalid");
  }
}

// Gets its data, then suspends its delegate queue, as an app may while it
// digests what came.
class SuspendingDelegate : public RecordingDelegate {
 public:
  void didReceiveData(URLSession& session, const Ref<URLSessionDataTask>& task, const Ref<Data>& data) override {
    RecordingDelegate::didReceiveData(session, task, data);
    session.delegateQueue()->setSuspended(true);
  }
};

// The response, data and completion of a small answer are ready at once;
// the queue suspended during the data event holds the completion until it
// is resumed.
TEST(EventDelivery, AQueueSuspendedMidTaskHoldsTheEventsLeft) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/small", TestResponse::text("all of it"));
  for (bool ownQueue : {true, false}) {
    SCOPED_TRACE(ownQueue ? "own queue" : "given queue");
    auto delegate = std::make_shared<SuspendingDelegate>();
    delegate->takesResponses = false;
    auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                        delegate, ownQueue ? nullptr : OperationQueue::create("given"));
    auto queue = session->delegateQueue();
    auto task = session->dataTaskWithURL(url(server->url("/small")));
    task->resume();
    ASSERT_TRUE(delegate->waitForEvent("data"));
    // Once nothing runs on the queue, whatever is left waits in it.
    ASSERT_TRUE(test::runUntil([&] {
      for (const auto& op : queue->operations()) {
        if (op->isExecuting()) return false;
      }
      return true;
    }));
    EXPECT_TRUE(queue->isSuspended());
    EXPECT_EQ(delegate->names(task->taskIdentifier()), (std::vector<std::string>{"data"}));
    EXPECT_NE(task->state(), URLSessionTaskState::Completed);
    queue->setSuspended(false);
    ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
    EXPECT_EQ(delegate->names(task->taskIdentifier()), (std::vector<std::string>{"data", "complete"}));
    session->invalidateAndCancel();
    ASSERT_TRUE(delegate->waitForEvent("invalid"));
  }
}

// Each completion handler starts the next request, the way a client walks
// through pages of a list: all of them run on the delegate queue, one at a
// time and in order, and the queue is let go once they are done.
TEST(EventDelivery, RequestsIssuedFromCompletionHandlersRunOneAfterTheOther) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/page/*", [](const test::RecordedRequest& r) { return TestResponse::text(r.path); });
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  auto queue = session->delegateQueue();
  constexpr int kPages = 60;
  std::mutex mutex;
  std::vector<std::string> pages;
  std::atomic<int> running{0};
  bool overlapped = false, elsewhere = false;
  Latch done;
  std::function<void(int)> fetch = [&](int page) {
    session->dataTaskWithURL(url(server->url("/page/" + std::to_string(page))),
                             [&, page](Ref<Data> data, Ref<URLResponse>, Ref<Error> error) {
                               std::lock_guard lock(mutex);
                               overlapped |= running.fetch_add(1) != 0;
                               elsewhere |= OperationQueue::current() != queue;
                               pages.push_back(error ? error->description() : data->toString());
                               running.fetch_sub(1);
                               if (page + 1 < kPages) {
                                 fetch(page + 1);
                               } else {
                                 done.open();
                               }
                             })
        ->resume();
  };
  fetch(0);
  ASSERT_TRUE(done.wait());
  ASSERT_EQ(pages.size(), static_cast<size_t>(kPages));
  for (int i = 0; i < kPages; ++i) EXPECT_EQ(pages[i], "/page/" + std::to_string(i));
  EXPECT_FALSE(overlapped);
  EXPECT_FALSE(elsewhere);
  EXPECT_EQ(server->requestCount(), static_cast<size_t>(kPages));
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(queue->operationCount(), 0u);
}

// Bodies of a declared length large enough come in buffers that go back to
// a pool when their data goes; a body still held keeps its bytes while
// others are read, and a returned buffer serves the next body.
TEST(EventDelivery, LargeBodiesInReusedBuffersStayIntact) {
  auto server = TestServer::startHTTP();
  const size_t size = netdetail::BodyBufferPool::kMinPooled + 12345;
  for (char c : std::string("abc")) server->route("GET", std::string("/") + c, TestResponse::text(std::string(size, c)));
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  auto get = [&](const std::string& path) {
    Ref<Data> body;
    Latch done;
    session->dataTaskWithURL(url(server->url(path)), [&](Ref<Data> d, Ref<URLResponse>, Ref<Error>) {
      body = d;
      done.open();
    })->resume();
    EXPECT_TRUE(done.wait());
    return body;
  };
  // The pool is shared by the process: empty it of what earlier tests (and
  // earlier runs of this one) gave back, so that the counts below are this
  // test's own.
  auto& pool = netdetail::BodyBufferPool::shared();
  while (pool.retainedBytes() > 0) pool.take(1);
  auto a = get("/a");
  ASSERT_TRUE(a);
  const size_t before = netdetail::BodyBufferPool::shared().retainedBytes();
  auto b = get("/b");
  ASSERT_TRUE(b);
  EXPECT_TRUE(a->view() == std::string(size, 'a'));
  EXPECT_TRUE(b->view() == std::string(size, 'b'));
  b = nullptr;  // the last reference goes once the completion event is over too
  EXPECT_TRUE(test::runUntil([&] { return netdetail::BodyBufferPool::shared().retainedBytes() >= before + size; }));
  auto c = get("/c");
  ASSERT_TRUE(c);
  EXPECT_EQ(netdetail::BodyBufferPool::shared().retainedBytes(), before) << "the next body took the buffer back";
  EXPECT_TRUE(c->view() == std::string(size, 'c'));
  EXPECT_TRUE(a->view() == std::string(size, 'a'));
  EXPECT_EQ(&a->objectClass(), &Data::staticClass()) << "to its users a pooled body is plain data";
}

}  // namespace
}  // namespace kit
