// URLSession against real servers on 127.0.0.1: event order and queues,
// counters, errors (cancel, refused, lost; time-outs are in
// url_session_timeout_test.cc), never-resumed tasks, connection limits under
// load, redirects and streamed bodies.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/net/input_stream.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_adapter.h"
#include "kit/net/url_session.h"

namespace kit {
namespace {

using test::Latch;
using test::RecordingDelegate;
using test::TestResponse;
using test::TestServer;

Ref<URL> url(const std::string& text) { return URL::URLWithString(text); }

// The result of a completion-handler task.
using Result = test::CompletionResult;

int closedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

class URLSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { server = TestServer::startHTTP(); }
  void TearDown() override {
    if (session) {
      session->invalidateAndCancel();
      if (delegate) {
        EXPECT_TRUE(delegate->waitForEvent("invalid"));
      }
    }
    session = nullptr;
    server = nullptr;
  }
  void makeDelegateSession(Ref<URLSessionConfiguration> config = nullptr) {
    delegate = std::make_shared<RecordingDelegate>();
    session = URLSession::sessionWithConfiguration(
        config ? config : URLSessionConfiguration::ephemeralSessionConfiguration(), delegate, nullptr);
  }
  void makePlainSession(Ref<URLSessionConfiguration> config = nullptr) {
    session = URLSession::sessionWithConfiguration(config ? config
                                                          : URLSessionConfiguration::ephemeralSessionConfiguration());
  }

  // "/login" answers "in" and sets the cookie "token=abc".
  void routeLoginSettingACookie() {
    server->route("GET", "/login", [](const test::RecordedRequest&) {
      TestResponse r = TestResponse::text("in");
      r.headers.set("Set-Cookie", "token=abc; Path=/");
      return r;
    });
  }

  std::unique_ptr<TestServer> server;
  std::shared_ptr<RecordingDelegate> delegate;
  Ref<URLSession> session;
};

TEST_F(URLSessionTest, ChunkedReplyArrivesAsResponseDataEventsAndCompletionInOrder) {
  TestResponse chunked;
  chunked.chunks = {"first|", "second|", "third"};
  chunked.chunkIntervalSeconds = 0.1;
  server->route("GET", "/chunks", chunked);
  makeDelegateSession();
  auto task = session->dataTaskWithURL(url(server->url("/chunks")));
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));

  // However the chunks were split into reads (two sent 0.1 s apart can
  // arrive in one on a busy machine): the response, data in order, then
  // the completion, and each data event's count is what came before plus
  // its own bytes.
  auto names = delegate->names(task->taskIdentifier());
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names.front(), "response");
  EXPECT_EQ(names.back(), "complete");
  for (size_t i = 1; i + 1 < names.size(); ++i) EXPECT_EQ(names[i], "data") << "event " << i;
  auto events = delegate->events();
  int64_t counted = 0;
  for (const auto& e : events) {
    EXPECT_EQ(e.queue, session->delegateQueue()) << "every event on the session's delegate queue";
    if (e.name == "data") {
      counted += static_cast<int64_t>(e.data->length());
      EXPECT_EQ(e.bytesReceived, counted);
    }
  }
  EXPECT_EQ(counted, 18);
  EXPECT_NE(events.front().thread, std::this_thread::get_id());
  EXPECT_EQ(session->delegateQueue()->maxConcurrentOperationCount(), 1);
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "first|second|third");
  EXPECT_FALSE(delegate->completion(task->taskIdentifier())->error);
  EXPECT_EQ(task->state(), URLSessionTaskState::Completed);
  EXPECT_EQ(task->countOfBytesReceived(), 18);
}

TEST_F(URLSessionTest, TaskNeverResumedSendsNothing) {
  server->route("GET", "/a", TestResponse::text("a"));
  makePlainSession();
  auto idle = session->dataTaskWithURL(url(server->url("/idle")));
  EXPECT_EQ(idle->state(), URLSessionTaskState::Suspended);
  Result result;
  auto other = session->dataTaskWithURL(url(server->url("/a")), result.handler());
  EXPECT_NE(idle->taskIdentifier(), other->taskIdentifier());
  other->resume();
  ASSERT_TRUE(result.done.wait());
  auto log = server->requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].path, "/a");
  EXPECT_EQ(idle->state(), URLSessionTaskState::Suspended);
}

TEST_F(URLSessionTest, CancelRunningTaskCompletesWithCancelledError) {
  TestResponse silent;
  silent.silent = true;
  server->route("GET", "/silent", silent);
  makeDelegateSession();
  auto task = session->dataTaskWithURL(url(server->url("/silent")));
  task->resume();
  ASSERT_TRUE(server->waitForRequests(1, 10));
  // Held delegate queue: the task stays cancelling until its completion
  // event runs there.
  session->delegateQueue()->setSuspended(true);
  task->cancel();
  EXPECT_EQ(task->state(), URLSessionTaskState::Canceling);
  session->delegateQueue()->setSuspended(false);
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  auto error = delegate->completion(task->taskIdentifier())->error;
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), URLErrorDomain);
  EXPECT_EQ(error->code(), URLErrorCancelled);
  EXPECT_EQ(describe(error->userInfo()->objectForKey(URLErrorFailingURLStringErrorKey)), server->url("/silent"));
  EXPECT_EQ(task->state(), URLSessionTaskState::Completed);
}

TEST_F(URLSessionTest, CancelBeforeResumeCompletesWithoutRequest) {
  makeDelegateSession();
  auto task = session->dataTaskWithURL(url(server->url("/never")));
  task->cancel();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_EQ(delegate->completion(task->taskIdentifier())->error->code(), URLErrorCancelled);
  task->resume();  // a finished task stays finished
  EXPECT_EQ(server->requestCount(), 0u);
}

TEST_F(URLSessionTest, ClosedPortFailsWithCannotConnect) {
  makePlainSession();
  Result result;
  session->dataTaskWithURL(url("http://127.0.0.1:" + std::to_string(closedPort()) + "/"), result.handler())->resume();
  ASSERT_TRUE(result.done.wait());
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), URLErrorCannotConnectToHost);
}

TEST_F(URLSessionTest, ConnectionClosedMidBodyFailsWithConnectionLost) {
  TestResponse cut = TestResponse::text(std::string(4000, 'x'));
  cut.closeMidBody = true;
  server->route("GET", "/cut", cut);
  makePlainSession();
  Result result;
  session->dataTaskWithURL(url(server->url("/cut")), result.handler())->resume();
  ASSERT_TRUE(result.done.wait());
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), URLErrorNetworkConnectionLost);
}

TEST_F(URLSessionTest, BadAndUnsupportedURLsFailWithoutTraffic) {
  makePlainSession();
  Result unsupported, missing;
  session->dataTaskWithURL(url("ftp://127.0.0.1/x"), unsupported.handler())->resume();
  session->dataTaskWithRequest(URLRequest::make(nullptr), missing.handler())->resume();
  ASSERT_TRUE(unsupported.done.wait());
  ASSERT_TRUE(missing.done.wait());
  EXPECT_EQ(unsupported.error->code(), URLErrorUnsupportedURL);
  EXPECT_EQ(missing.error->code(), URLErrorUnsupportedURL);
}

TEST_F(URLSessionTest, RequestCarriesMethodHeadersAndBodyAsGiven) {
  server->route("POST", "/form", TestResponse::json(R"({"ok":1})", 201));
  makePlainSession();
  auto request = MutableURLRequest::make(url(server->url("/form?x=1")));
  request->setHTTPMethod("POST");
  request->setValue("application/x-www-form-urlencoded", "Content-Type");
  request->setValue("abc", "X-Token");
  request->addValueForHTTPHeaderField("two", "x-token");
  request->setHTTPBody(Data::make("a=1&b=%E4%B8%AD"));
  Result result;
  session->dataTaskWithRequest(request, result.handler())->resume();
  ASSERT_TRUE(result.done.wait());
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.status(), 201);
  EXPECT_EQ(result.data->toString(), R"({"ok":1})");
  EXPECT_EQ(describe(result.response->MIMEType()), "application/json");
  auto log = server->requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].query, "x=1");
  EXPECT_EQ(log[0].body, "a=1&b=%E4%B8%AD");
  EXPECT_EQ(log[0].formValue("b"), "\xE4\xB8\xAD");
  EXPECT_EQ(log[0].header("X-Token"), "abc,two");
  EXPECT_EQ(log[0].header("Content-Length"), "15");
  EXPECT_FALSE(log[0].header("Accept")) << "no implicit Accept";
  EXPECT_FALSE(log[0].header("Expect")) << "no Expect: 100-continue";
  EXPECT_FALSE(log[0].header("Accept-Encoding"));
}

TEST_F(URLSessionTest, AGetCarriesNoHeaderTheRequestDoesNotSay) {
  server->route("GET", "/plain", TestResponse::text("ok"));
  makePlainSession();
  Result get;
  session->dataTaskWithURL(url(server->url("/plain")), get.handler())->resume();
  ASSERT_TRUE(get.done.wait());
  auto log = server->requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_FALSE(log[0].header("Accept"));
  EXPECT_FALSE(log[0].header("Expect"));
  EXPECT_FALSE(log[0].header("Accept-Encoding"));
  EXPECT_FALSE(log[0].header("Content-Length"));
}

TEST_F(URLSessionTest, HTTPErrorStatusIsAResponseNotAnError) {
  server->route("GET", "/missing", TestResponse::text("gone", 404));
  server->route("GET", "/empty", TestResponse::text("", 200));
  makePlainSession();
  Result missing, empty;
  session->dataTaskWithURL(url(server->url("/missing")), missing.handler())->resume();
  session->dataTaskWithURL(url(server->url("/empty")), empty.handler())->resume();
  ASSERT_TRUE(missing.done.wait());
  ASSERT_TRUE(empty.done.wait());
  EXPECT_FALSE(missing.error);
  EXPECT_EQ(missing.status(), 404);
  EXPECT_EQ(missing.data->toString(), "gone");
  EXPECT_FALSE(empty.error);
  ASSERT_TRUE(empty.data) << "an empty body is empty data, not nil";
  EXPECT_EQ(empty.data->length(), 0u);
}

TEST_F(URLSessionTest, TwoHundredConcurrentTasksCompleteWithinTheConnectionLimit) {
  server->route("*", "/echo", [](const test::RecordedRequest& r) { return TestResponse::text("body:" + r.query); });
  auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
  config->HTTPMaximumConnectionsPerHost = 4;
  makePlainSession(config);
  constexpr int kTasks = 200;
  std::vector<std::unique_ptr<Result>> results;
  for (int i = 0; i < kTasks; ++i) {
    results.push_back(std::make_unique<Result>());
    session->dataTaskWithURL(url(server->url("/echo?n=" + std::to_string(i))), results.back()->handler())->resume();
  }
  for (int i = 0; i < kTasks; ++i) {
    ASSERT_TRUE(results[i]->done.wait(30)) << i;
    EXPECT_FALSE(results[i]->error) << i;
    EXPECT_EQ(results[i]->data->toString(), "body:n=" + std::to_string(i));
  }
  EXPECT_EQ(server->requestCount(), static_cast<size_t>(kTasks));
}

TEST_F(URLSessionTest, IdleConnectionsAreKeptWhileFewTransfersRun) {
  // Each burst needs every connection the host may have at once (no answer
  // goes before the whole burst has arrived); between bursts, and as a
  // burst winds down, only a transfer or two runs.
  constexpr int kConnections = 8;
  std::mutex mutex;
  std::condition_variable arrived;
  int arrivals = 0;
  server->route("GET", "/slow", [&](const test::RecordedRequest&) {
    std::unique_lock lock(mutex);
    ++arrivals;
    arrived.notify_all();
    arrived.wait_for(lock, std::chrono::seconds(10), [&] { return arrivals % kConnections == 0; });
    return TestResponse::text("slow");
  });
  server->route("GET", "/quick", TestResponse::text("quick"));
  auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
  config->HTTPMaximumConnectionsPerHost = kConnections;
  makePlainSession(config);
  auto burst = [&] {
    std::vector<std::unique_ptr<Result>> results;
    for (int i = 0; i < kConnections; ++i) {
      results.push_back(std::make_unique<Result>());
      session->dataTaskWithURL(url(server->url("/slow")), results.back()->handler())->resume();
    }
    for (auto& result : results) {
      ASSERT_TRUE(result->done.wait(30));
      EXPECT_FALSE(result->error);
    }
  };
  burst();
  const size_t opened = server->connectionCount();
  EXPECT_EQ(opened, static_cast<size_t>(kConnections));
  for (int i = 0; i < 3; ++i) {
    Result one;
    session->dataTaskWithURL(url(server->url("/quick")), one.handler())->resume();
    ASSERT_TRUE(one.done.wait(30));
    EXPECT_FALSE(one.error);
  }
  burst();
  EXPECT_EQ(server->connectionCount(), opened) << "the second burst found the first one's connections";
}

TEST_F(URLSessionTest, RedirectsAreFollowedAndPostBecomesGetOn303) {
  server->route("POST", "/start", TestResponse::redirect("/middle", 303));
  server->route("GET", "/middle", TestResponse::redirect(server->url("/end"), 302));
  server->route("GET", "/end", TestResponse::text("arrived"));
  makePlainSession();
  auto request = MutableURLRequest::make(url(server->url("/start")));
  request->setHTTPMethod("POST");
  request->setHTTPBody(Data::make("payload"));
  Result result;
  auto task = session->dataTaskWithRequest(request, result.handler());
  task->resume();
  ASSERT_TRUE(result.done.wait());
  EXPECT_EQ(result.data->toString(), "arrived");
  EXPECT_EQ(result.response->URL()->absoluteText(), server->url("/end"));
  EXPECT_EQ(task->currentRequest()->URL()->absoluteText(), server->url("/end"));
  EXPECT_EQ(task->originalRequest()->URL()->absoluteText(), server->url("/start"));
  auto log = server->requests();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1].method, "GET");
  EXPECT_EQ(log[1].body, "");
}

TEST_F(URLSessionTest, DelegateCanRefuseARedirectAndGetsTheRedirectResponse) {
  server->route("GET", "/start", [](const test::RecordedRequest&) {
    TestResponse r = TestResponse::redirect("/end", 302);
    r.body = "moved";
    return r;
  });
  makeDelegateSession();
  delegate->onRedirect = [](const Ref<HTTPURLResponse>& response, const Ref<URLRequest>& proposed,
                            URLSessionDelegate::RedirectCompletion completion) {
    EXPECT_EQ(response->statusCode(), 302);
    EXPECT_TRUE(proposed->URL()->absoluteText().ends_with("/end"));
    completion(nullptr);
  };
  auto task = session->dataTaskWithURL(url(server->url("/start")));
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_EQ(delegate->names(task->taskIdentifier()),
            (std::vector<std::string>{"redirect", "response", "data", "complete"}));
  EXPECT_EQ(as<HTTPURLResponse>(task->response())->statusCode(), 302);
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "moved");
  EXPECT_EQ(server->requestCount(), 1u);
}

TEST_F(URLSessionTest, StreamedUploadThroughA307AsksForANewBodyStream) {
  server->route("POST", "/upload", TestResponse::redirect("/final", 307));
  server->route("POST", "/final", [](const test::RecordedRequest& r) { return TestResponse::text("got " + r.body); });
  makeDelegateSession();
  const std::string payload(3000, 'p');
  std::atomic<int> streamsGiven{0};
  delegate->onNeedBodyStream = [&](URLSessionDelegate::BodyStreamCompletion completion) {
    ++streamsGiven;
    completion(InputStream::inputStreamWithData(Data::make(payload + "EXTRA")));
  };
  auto request = MutableURLRequest::make(url(server->url("/upload")));
  request->setHTTPMethod("POST");
  request->setValue(std::to_string(payload.size()), "Content-Length");
  request->setHTTPBodyStream(InputStream::inputStreamWithData(Data::make(payload + "EXTRA")));
  auto task = session->uploadTaskWithStreamedRequest(request);
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_FALSE(delegate->completion(task->taskIdentifier())->error);
  EXPECT_EQ(streamsGiven.load(), 1);
  auto names = delegate->names(task->taskIdentifier());
  EXPECT_NE(std::find(names.begin(), names.end(), "bodyStream"), names.end());
  auto log = server->requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].body, payload) << "exactly Content-Length bytes";
  EXPECT_EQ(log[1].body, payload);
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "got " + payload);
  EXPECT_EQ(task->countOfBytesSent(), static_cast<int64_t>(payload.size()));
}

TEST_F(URLSessionTest, StreamedResendWithoutANewStreamFails) {
  server->route("POST", "/upload", TestResponse::redirect("/final", 307));
  makePlainSession();
  auto request = MutableURLRequest::make(url(server->url("/upload")));
  request->setHTTPMethod("POST");
  request->setHTTPBodyStream(InputStream::inputStreamWithData(Data::make("abc")));
  Result result;
  session->dataTaskWithRequest(request, result.handler())->resume();
  ASSERT_TRUE(result.done.wait());
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), URLErrorRequestBodyStreamExhausted);
}

TEST_F(URLSessionTest, ResponseDispositionCancelEndsTheTaskWithCancelled) {
  server->route("GET", "/big", TestResponse::text(std::string(100000, 'b')));
  makeDelegateSession();
  delegate->onResponse = [](const Ref<URLResponse>& response, URLSessionDelegate::ResponseCompletion completion) {
    EXPECT_EQ(response->expectedContentLength(), 100000);
    completion(URLSessionResponseDisposition::Cancel);
  };
  auto task = session->dataTaskWithURL(url(server->url("/big")));
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_EQ(delegate->names(task->taskIdentifier()), (std::vector<std::string>{"response", "complete"}));
  EXPECT_EQ(delegate->completion(task->taskIdentifier())->error->code(), URLErrorCancelled);
}

TEST_F(URLSessionTest, SuspendedTaskHoldsItsBytesUntilResumed) {
  TestResponse chunked;
  chunked.chunks = {"one|", "two"};
  server->route("GET", "/slow", chunked);
  // The second chunk goes once the task is suspended, however slow this
  // side is to see the first.
  server->holdLaterChunks("/slow");
  makeDelegateSession();
  auto task = session->dataTaskWithURL(url(server->url("/slow")));
  task->resume();
  ASSERT_TRUE(delegate->waitForEvent("data"));
  task->suspend();
  EXPECT_EQ(task->state(), URLSessionTaskState::Suspended);
  server->releaseAnswers("/slow");
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "one|two");
}

TEST_F(URLSessionTest, BasicAuthenticationChallengeRetriesWithTheCredential) {
  server->route("GET", "/private", [](const test::RecordedRequest& r) {
    if (r.header("Authorization") == "Basic dXNlcjpzZWNyZXQ=") return TestResponse::text("welcome");
    TestResponse denied = TestResponse::text("who are you", 401);
    denied.headers.set("WWW-Authenticate", "Basic realm=\"kit\"");
    return denied;
  });
  makeDelegateSession();
  delegate->onChallenge = [](const Ref<URLAuthenticationChallenge>& challenge,
                             URLSessionDelegate::ChallengeCompletion completion) {
    EXPECT_EQ(challenge->protectionSpace()->authenticationMethod(), URLAuthenticationMethodHTTPBasic);
    EXPECT_EQ(challenge->protectionSpace()->realm(), "kit");
    if (challenge->previousFailureCount() > 0) {
      return completion(URLSessionAuthChallengeDisposition::PerformDefaultHandling, nullptr);
    }
    completion(URLSessionAuthChallengeDisposition::UseCredential,
               URLCredential::credentialWithUser("user", "secret", URLCredentialPersistence::None));
  };
  auto task = session->dataTaskWithURL(url(server->url("/private")));
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "welcome");
  EXPECT_EQ(server->requestCount(), 2u);
}

TEST_F(URLSessionTest, FinishTasksAndInvalidateWaitsForRunningTasks) {
  TestResponse slow = TestResponse::text("late");
  slow.delaySeconds = 0.2;
  server->route("GET", "/slow", slow);
  makeDelegateSession();
  auto task = session->dataTaskWithURL(url(server->url("/slow")));
  task->resume();
  session->finishTasksAndInvalidate();
  EXPECT_THROW(session->dataTaskWithURL(url(server->url("/x"))), Exception);
  ASSERT_TRUE(delegate->waitForEvent("invalid"));
  auto names = delegate->names();
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names.back(), "invalid");
  EXPECT_EQ(delegate->body(task->taskIdentifier()), "late");
  EXPECT_FALSE(session->delegate()) << "the session lets go of its delegate";
}

TEST_F(URLSessionTest, CookiesSetByTheServerGoBackUnlessTheRequestOptsOut) {
  routeLoginSettingACookie();
  server->route("GET", "/check", [](const test::RecordedRequest& r) {
    return TestResponse::text(r.header("Cookie").value_or("none"));
  });
  makePlainSession();
  auto fetch = [&](Ref<URLRequest> request) {
    Result result;
    session->dataTaskWithRequest(request, result.handler())->resume();
    EXPECT_TRUE(result.done.wait());
    return result.data ? result.data->toString() : std::string();
  };
  EXPECT_EQ(fetch(URLRequest::make(url(server->url("/check")))), "none");
  EXPECT_EQ(fetch(URLRequest::make(url(server->url("/login")))), "in");
  EXPECT_EQ(fetch(URLRequest::make(url(server->url("/check")))), "token=abc");
  auto optOut = MutableURLRequest::make(url(server->url("/check")));
  optOut->setHTTPShouldHandleCookies(false);
  EXPECT_EQ(fetch(optOut), "none");
  EXPECT_EQ(fetch(URLRequest::make(url(server->url("/check")))), "token=abc");
  auto other = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Result result;
  other->dataTaskWithURL(url(server->url("/check")), result.handler())->resume();
  ASSERT_TRUE(result.done.wait());
  EXPECT_EQ(result.data->toString(), "none") << "cookies belong to their session";
}

// Easy handles are kept between requests with the options their last one
// set: each request still goes out as it says, whatever came before it.
TEST_F(URLSessionTest, RequestsOfEveryKindInTurnGoOutAsTheySay) {
  routeLoginSettingACookie();
  server->route("*", "/echo", [](const test::RecordedRequest& r) {
    return TestResponse::text(r.method + " [" + r.body + "] " + r.header("Cookie").value_or("-"));
  });
  makePlainSession();
  auto fetch = [&](const std::string& method, const char* body, bool cookies = true) {
    auto request = MutableURLRequest::make(url(server->url("/echo")));
    request->setHTTPMethod(method);
    if (body) request->setHTTPBody(Data::make(std::string(body)));
    request->setHTTPShouldHandleCookies(cookies);
    Result result;
    session->dataTaskWithRequest(request, result.handler())->resume();
    EXPECT_TRUE(result.done.wait());
    EXPECT_FALSE(result.error) << method;
    return result.data ? result.data->toString() : std::string("(none)");
  };
  Result login;
  session->dataTaskWithURL(url(server->url("/login")), login.handler())->resume();
  ASSERT_TRUE(login.done.wait());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(fetch("PUT", "p"), "PUT [p] token=abc");
    EXPECT_EQ(fetch("POST", "q"), "POST [q] token=abc");
    EXPECT_EQ(fetch("GET", nullptr), "GET [] token=abc");
    EXPECT_EQ(fetch("HEAD", nullptr), "");
    EXPECT_EQ(fetch("GET", nullptr, false), "GET [] -");
    EXPECT_EQ(fetch("DELETE", nullptr), "DELETE [] token=abc");
    EXPECT_EQ(fetch("POST", nullptr), "POST [] token=abc");
    EXPECT_EQ(fetch("PATCH", "r", false), "PATCH [r] -");
    EXPECT_EQ(fetch("POST", "s", false), "POST [s] -");
    EXPECT_EQ(fetch("GET", nullptr), "GET [] token=abc");
  }
  auto requests = server->requests();
  ASSERT_EQ(requests.size(), 21u);
  EXPECT_EQ(requests[4].method, "HEAD");
  EXPECT_EQ(requests[14].method, "HEAD");
}

// A small body goes out with the request's head, a large one as it is read:
// either way the delegate hears of all of it, ahead of the response.
TEST_F(URLSessionTest, BodiesInMemoryAreCountedAsSentBeforeTheResponse) {
  server->route("POST", "/up", [](const test::RecordedRequest& r) { return TestResponse::text(r.body); });
  makeDelegateSession();
  for (size_t size : {size_t{0}, size_t{3000}, size_t{100 * 1024}}) {
    SCOPED_TRACE(size);
    const std::string payload(size, 'u');
    auto request = MutableURLRequest::make(url(server->url("/up")));
    request->setHTTPMethod("POST");
    request->setValue("application/octet-stream", "Content-Type");
    auto task = session->uploadTaskWithRequestFromData(request, Data::make(payload));
    task->resume();
    ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
    ASSERT_FALSE(delegate->completion(task->taskIdentifier())->error);
    EXPECT_TRUE(delegate->body(task->taskIdentifier()) == payload)
        << delegate->body(task->taskIdentifier()).size() << " bytes came back";
    EXPECT_EQ(task->countOfBytesSent(), static_cast<int64_t>(size));
    int64_t total = 0, expected = -1;
    bool responded = false, sentAfterResponse = false;
    for (const auto& e : delegate->events()) {
      if (e.task != task->taskIdentifier()) continue;
      if (e.name == "response") responded = true;
      if (e.name != "sent") continue;
      sentAfterResponse |= responded;
      total += e.a;
      EXPECT_EQ(e.b, total);
      expected = e.c;
    }
    EXPECT_FALSE(sentAfterResponse);
    if (size > 0) {
      EXPECT_EQ(total, static_cast<int64_t>(size));
      EXPECT_EQ(expected, static_cast<int64_t>(size));
    }
  }
}

// Names under "invalid" are never found, and never asked of a resolver
// (which may take its time to say so).
TEST_F(URLSessionTest, AHostUnderInvalidIsNotFound) {
  using netdetail::urlHostIsReservedInvalid;
  for (const char* text : {"http://invalid/", "http://sdk.channel.invalid/x", "https://A.B.INVALID./"}) {
    EXPECT_TRUE(urlHostIsReservedInvalid(url(text))) << text;
  }
  for (const char* text : {"http://xinvalid/", "http://invalid.example/", "http://127.0.0.1/", "file:///invalid"}) {
    EXPECT_FALSE(urlHostIsReservedInvalid(url(text))) << text;
  }
  makePlainSession();
  Result result;
  session->dataTaskWithURL(url("http://sdk.channel.invalid/init"), result.handler())->resume();
  ASSERT_TRUE(result.done.wait());
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), URLErrorCannotFindHost);
}

TEST_F(URLSessionTest, TaskListsHoldTheUnfinishedTasksByKind) {
  makePlainSession();
  auto data = session->dataTaskWithURL(url(server->url("/a")));
  auto upload = session->uploadTaskWithRequestFromData(URLRequest::make(url(server->url("/b"))), Data::make("x"));
  auto download = session->downloadTaskWithURL(url(server->url("/c")));
  Latch listed;
  size_t counts[3] = {0, 0, 0};
  session->getTasksWithCompletionHandler([&](auto d, auto u, auto dl) {
    counts[0] = d.size();
    counts[1] = u.size();
    counts[2] = dl.size();
    listed.open();
  });
  ASSERT_TRUE(listed.wait());
  EXPECT_EQ(counts[0], 1u);
  EXPECT_EQ(counts[1], 1u);
  EXPECT_EQ(counts[2], 1u);
  EXPECT_EQ(session->allTasks().size(), 3u);
}

}  // namespace
}  // namespace kit
