// A network thread with no transfer running parks outside libcurl, and a
// caller may then run a command and its pass itself: the command runs on
// the calling thread, the thread left parked watches what it started, and
// requests started so, from one thread or many at once, get their answers
// and their time-outs as any other.
#include "kit/net/transfer_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_session.h"
#include "kit/testing/run_until.h"

namespace kit {
namespace {

using netdetail::TransferEngine;
using test::Latch;
using test::TestResponse;
using test::TestServer;

// Offers `command` to the engine until its thread is parked and it runs
// here (the thread parks as soon as its first pass ends).
bool runHereOnceParked(TransferEngine& engine, std::function<void()>& command) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!engine.runHere(command)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(TransferEnginePark, ACommandRunHereRunsOnTheCallingThreadBeforeItReturns) {
  TransferEngine engine({});
  std::thread::id ranOn;
  std::function<void()> command = [&] { ranOn = std::this_thread::get_id(); };
  ASSERT_TRUE(runHereOnceParked(engine, command));
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  // The thread is still there for posted commands afterwards.
  Latch posted;
  std::thread::id postedOn;
  engine.post([&] {
    postedOn = std::this_thread::get_id();
    posted.open();
  });
  ASSERT_TRUE(posted.wait());
  EXPECT_NE(postedOn, std::this_thread::get_id());
}

TEST(TransferEnginePark, ABusyThreadKeepsItsWorkAndTheCommandIsLeftToPost) {
  TransferEngine engine({});
  Latch started, release;
  engine.post([&] {
    started.open();
    release.wait();
  });
  ASSERT_TRUE(started.wait());
  bool ran = false;
  std::function<void()> command = [&] { ran = true; };
  EXPECT_FALSE(engine.runHere(command));
  EXPECT_FALSE(ran);
  ASSERT_TRUE(command) << "a command not taken is left to the caller";
  release.open();
  Latch done;
  engine.post([&] {
    command();
    done.open();
  });
  ASSERT_TRUE(done.wait());
  EXPECT_TRUE(ran);
}

struct Answer {
  Latch done;
  std::mutex mutex;
  std::string body;
  Ref<Error> error;
  URLSession::DataCompletion handler() {
    return [this](Ref<Data> data, Ref<URLResponse>, Ref<Error> e) {
      {
        std::lock_guard lock(mutex);
        if (data) body = data->toString();
        error = e;
      }
      done.open();
    };
  }
};

Ref<URLRequest> post(const std::string& url, const std::string& body, double timeout = 10) {
  auto request = MutableURLRequest::make(URL::URLWithString(url));
  request->setHTTPMethod("POST");
  request->setHTTPBody(Data::make(std::string_view(body)));
  request->setTimeoutInterval(timeout);
  return request;
}

// Echoes each body back, so that an answer shows which request it is for.
std::unique_ptr<TestServer> echoServer() {
  auto server = TestServer::startHTTP();
  server->route("POST", "/echo", [](const test::RecordedRequest& request) { return TestResponse::text(request.body); });
  TestResponse silent;
  silent.silent = true;
  server->route("POST", "/silent", silent);
  return server;
}

TEST(TransferEnginePark, RequestsStartedOneAfterAnotherAndFromManyThreadsAllGetTheirOwnAnswers) {
  auto server = echoServer();
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  // One after another, each once the thread has parked: it goes out from
  // here.
  auto& engine = session->engine();
  constexpr int kSequential = 20;
  for (int i = 0; i < kSequential; ++i) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!engine.parked() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    Answer answer;
    const std::string body = "sequential " + std::to_string(i);
    session->dataTaskWithRequest(post(server->url("/echo"), body), answer.handler())->resume();
    ASSERT_TRUE(answer.done.wait());
    ASSERT_FALSE(answer.error) << answer.error->code();
    EXPECT_EQ(answer.body, body);
  }
  // (The thread may end its wait on its own now and then, just as a
  // request starts.)
  EXPECT_GT(engine.commandsRunHere(), static_cast<uint64_t>(kSequential / 2));
  // Several threads at once: some start their requests here, others find
  // the thread busy or another caller's pass under way and post.
  constexpr int kThreads = 6, kEach = 15;
  std::atomic<int> right{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        Answer answer;
        const std::string body = std::to_string(t) + "/" + std::to_string(i);
        session->dataTaskWithRequest(post(server->url("/echo"), body), answer.handler())->resume();
        if (answer.done.wait() && !answer.error && answer.body == body) ++right;
      }
    });
  }
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(right.load(), kThreads * kEach);
  session->invalidateAndCancel();
}

TEST(TransferEnginePark, ARequestStartedOnTheCallingThreadStillTimesOut) {
  auto server = echoServer();
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  // The thread parks for as long as nothing is due; the request's own
  // time-out is shorter and must end it.
  Answer first;
  session->dataTaskWithRequest(post(server->url("/echo"), "warm"), first.handler())->resume();
  ASSERT_TRUE(first.done.wait());
  Answer answer;
  const auto started = std::chrono::steady_clock::now();
  session->dataTaskWithRequest(post(server->url("/silent"), "anyone?", 0.05), answer.handler())->resume();
  ASSERT_TRUE(answer.done.wait());
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
  ASSERT_TRUE(answer.error);
  EXPECT_EQ(answer.error->code(), URLErrorTimedOut);
  session->invalidateAndCancel();
}

// A delegate that answers for its handlers, so that the answer's events
// may run on whichever thread takes the answer, and lets every response
// through without being asked.
struct PromptDelegate : test::RecordingDelegate {
  PromptDelegate() { takesResponses = false; }
  bool handlesEventsPromptly() const override { return true; }
};

Ref<URLSession> promptSession(const std::shared_ptr<PromptDelegate>& delegate) {
  auto queue = OperationQueue::create("prompt");
  queue->setMaxConcurrentOperationCount(1);
  return URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate,
                                              queue);
}

void waitUntilParked(TransferEngine& engine) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!engine.parked() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
}

TEST(TransferEnginePark, TheMainThreadsRunLoopTakesTheAnswersToTheRequestsItSent) {
  auto server = echoServer();
  // Answered once the main thread waits in its run loop, as a server a
  // little farther away would.
  server->route("POST", "/echo-to-waiting", [](const test::RecordedRequest& request) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!RunLoop::main().isWaiting() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    return TestResponse::text(request.body);
  });
  auto delegate = std::make_shared<PromptDelegate>();
  auto session = promptSession(delegate);
  auto& engine = session->engine();
  constexpr int kRequests = 20;
  for (int i = 0; i < kRequests; ++i) {
    waitUntilParked(engine);
    const std::string body = "main " + std::to_string(i);
    auto task = session->dataTaskWithRequest(post(server->url("/echo-to-waiting"), body));
    task->resume();
    ASSERT_TRUE(test::runUntil([&] { return delegate->completion(task->taskIdentifier()).has_value(); }));
    EXPECT_FALSE(delegate->completion(task->taskIdentifier())->error);
    EXPECT_EQ(delegate->body(task->taskIdentifier()), body);
  }
  // Each answer's events ran in the pass that took it. (The thread may end
  // its wait on its own now and then, just as a request starts.)
  int onMain = 0;
  for (const auto& event : delegate->events()) {
    onMain += event.name == "complete" && event.thread == std::this_thread::get_id();
  }
  EXPECT_GT(onMain, kRequests / 2);
  EXPECT_GE(engine.answersTakenHere(), static_cast<uint64_t>(onMain));
  session->invalidateAndCancel();
}

TEST(TransferEnginePark, AnAnswerTheMainThreadIsNotWaitingForInItsRunLoopComesThroughTheNetworkThread) {
  Latch release;  // outlives the server, whose thread waits on it
  auto server = echoServer();
  server->route("POST", "/held", [&](const test::RecordedRequest&) {
    release.wait();
    return TestResponse::text("held");
  });
  auto delegate = std::make_shared<PromptDelegate>();
  auto session = promptSession(delegate);
  auto& engine = session->engine();

  // The main thread waits elsewhere than in its run loop.
  waitUntilParked(engine);
  auto task = session->dataTaskWithRequest(post(server->url("/echo"), "elsewhere"));
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "elsewhere");
  EXPECT_NE(delegate->completion(task->taskIdentifier())->thread, std::this_thread::get_id());

  // The main thread's run loop waits for the answer, then is given other
  // work that holds it until the answer came: the network thread takes the
  // watch back.
  waitUntilParked(engine);
  const uint64_t takenBefore = engine.answersTakenHere();
  const size_t requestsBefore = server->requestCount();
  task = session->dataTaskWithRequest(post(server->url("/held"), "held"));
  task->resume();
  bool held = false;
  std::thread other([&] {
    server->waitForRequests(requestsBefore + 1, 10);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!RunLoop::main().isWaiting() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    RunLoop::main().perform([&] {
      release.open();
      held = delegate->waitForCompletion(task->taskIdentifier());
    });
  });
  ASSERT_TRUE(test::runUntil([&] { return held; }));
  other.join();
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "held");
  EXPECT_NE(delegate->completion(task->taskIdentifier())->thread, std::this_thread::get_id());
  EXPECT_EQ(engine.answersTakenHere(), takenBefore);
  session->invalidateAndCancel();
}

}  // namespace
}  // namespace kit
