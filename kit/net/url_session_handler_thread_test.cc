// Where a session runs its callers' completion handlers: on its network
// thread, as its delegate queue's operations, while that queue is idle. A
// handler that holds the thread (here: until a request it started reaches
// the server, which needs the thread's own work) has that work carried on
// by another thread, and the session may end in a handler run so.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "kit/dispatch/operation_queue.h"
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

std::string threadName() {
  char name[16] = {};
  pthread_getname_np(pthread_self(), name, sizeof name);
  return name;
}

std::string text(const Ref<Data>& data) {
  return data ? std::string(reinterpret_cast<const char*>(data->bytes()), data->length()) : std::string();
}

struct Seen {
  std::mutex mutex;
  std::vector<std::string> threads;
  std::vector<bool> queueWasCurrent;
  void note(const Ref<OperationQueue>& queue) {
    std::lock_guard lock(mutex);
    threads.push_back(threadName());
    queueWasCurrent.push_back(OperationQueue::current() == queue);
  }
};

TEST(CompletionHandlerThread, HandlersRunOnTheNetworkThreadAsTheIdleDelegateQueuesOperations) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/x", TestResponse::text("x"));
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Seen seen;
  // Each handler starts the next request, as a client walking a chain does.
  Latch done;
  std::atomic<int> left{3};
  std::function<void()> next = [&] {
    session->dataTaskWithURL(url(server->url("/x")), [&](Ref<Data> data, Ref<URLResponse>, Ref<Error> error) {
      EXPECT_FALSE(error);
      EXPECT_EQ(text(data), "x");
      seen.note(session->delegateQueue());
      if (--left > 0) {
        next();
      } else {
        done.open();
      }
    })->resume();
  };
  next();
  ASSERT_TRUE(done.wait());
  std::lock_guard lock(seen.mutex);
  EXPECT_EQ(seen.threads, (std::vector<std::string>(3, "kit.net.session")));
  EXPECT_EQ(seen.queueWasCurrent, (std::vector<bool>(3, true)));
}

TEST(CompletionHandlerThread, ADelegateThatMayBlockKeepsHandlersOnItsQueuesWorkers) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/x", TestResponse::text("x"));
  auto delegate = std::make_shared<RecordingDelegate>();
  auto queue = OperationQueue::create("delegate");
  queue->setMaxConcurrentOperationCount(1);
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(),
                                                      delegate, queue);
  Seen seen;
  Latch done;
  session->dataTaskWithURL(url(server->url("/x")), [&](Ref<Data>, Ref<URLResponse>, Ref<Error>) {
    seen.note(queue);
    done.open();
  })->resume();
  ASSERT_TRUE(done.wait());
  session->invalidateAndCancel();
  std::lock_guard lock(seen.mutex);
  ASSERT_EQ(seen.threads.size(), 1u);
  EXPECT_NE(seen.threads[0], "kit.net.session");
  EXPECT_TRUE(seen.queueWasCurrent[0]);
}

// The handler waits for the server to receive a request it started on the
// same session: without another thread taking the network work over, it
// would wait for ever.
struct HeldHandler {
  Latch secondArrived, firstDone, secondDone;
  std::atomic<bool> secondReachedWhileHeld{false};
  std::string secondBody;
  // Last, so that it stops first.
  std::unique_ptr<TestServer> server = TestServer::startHTTP();

  HeldHandler() {
    server->route("GET", "/first", TestResponse::text("1"));
    server->route("GET", "/second", [this](const test::RecordedRequest&) {
      secondArrived.open();
      return TestResponse::text("2");
    });
  }

  // Starts the first request on `session`, which the caller may let go.
  void start(URLSession* session) {
    session->dataTaskWithURL(url(server->url("/first")), [this, session](Ref<Data>, Ref<URLResponse>, Ref<Error>) {
      session->dataTaskWithURL(url(server->url("/second")), [this](Ref<Data> data, Ref<URLResponse>, Ref<Error>) {
        secondBody = text(data);
        secondDone.open();
      })->resume();
      secondReachedWhileHeld = secondArrived.wait();
      firstDone.open();
    })->resume();
  }
};

TEST(CompletionHandlerThread, AHandlerHoldingTheThreadHasItsWorkCarriedOnElsewhere) {
  HeldHandler held;
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  held.start(session.get());
  ASSERT_TRUE(held.firstDone.wait());
  EXPECT_TRUE(held.secondReachedWhileHeld);
  ASSERT_TRUE(held.secondDone.wait());
  EXPECT_EQ(held.secondBody, "2");
  // And the session goes on as before.
  Latch third;
  session->dataTaskWithURL(url(held.server->url("/first")), [&](Ref<Data> data, Ref<URLResponse>, Ref<Error>) {
    EXPECT_EQ(text(data), "1");
    third.open();
  })->resume();
  EXPECT_TRUE(third.wait());
}

TEST(CompletionHandlerThread, TheSessionMayEndInAHandlerOnAThreadThatLostTheNetworkWork) {
  HeldHandler held;
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Weak<URLSession> weak = session;
  held.start(session.get());
  // The running tasks hold the session; the last lets it go in its own
  // event, on the thread the first handler held (it runs the queue's
  // events that came meanwhile), which is no longer the network thread.
  session = nullptr;
  ASSERT_TRUE(held.firstDone.wait());
  EXPECT_TRUE(held.secondReachedWhileHeld);
  ASSERT_TRUE(held.secondDone.wait());
  EXPECT_TRUE(test::runUntil([&] { return weak.expired(); }));
}

}  // namespace
}  // namespace kit
