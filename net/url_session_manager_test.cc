// The URL session manager against real servers on 127.0.0.1: completions
// and their notifications, resume and suspend announcements, time-outs,
// downloads, restarted streamed uploads, server trust and invalidation.
#include "net/url_session_manager.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <fstream>
#include <mutex>
#include <sstream>

#include "kit/dispatch/clock.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/values.h"
#include "kit/net/testing/test_certificates.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "net/multipart_form_data.h"
#include "net/request_serializer.h"
#include "sim/platform_api_server.h"

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

kit::Ref<kit::MutableURLRequest> request(const std::string& url, double timeout = 10) {
  return kit::MutableURLRequest::make(kit::URL::URLWithString(url), kit::URLRequestCachePolicy::UseProtocolCachePolicy,
                                      timeout);
}

// Records the notifications of one name posted while it exists.
class NotificationLog {
 public:
  explicit NotificationLog(const char* name) {
    token_ = kit::NotificationCenter::defaultCenter()->addObserverForName(
        name, nullptr, [this](const kit::Ref<kit::Notification>& n) {
          std::lock_guard lock(mutex_);
          notifications_.push_back(n);
          mainThread_.push_back(kit::RunLoop::isMainThread());
        });
  }
  ~NotificationLog() { kit::NotificationCenter::defaultCenter()->removeObserver(token_); }
  std::vector<kit::Ref<kit::Notification>> all() const {
    std::lock_guard lock(mutex_);
    return notifications_;
  }
  size_t countFor(const kit::Id& object) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& note : notifications_) n += note->object() == object;
    return n;
  }
  bool allOnMainThread() const {
    std::lock_guard lock(mutex_);
    for (bool b : mainThread_) {
      if (!b) return false;
    }
    return true;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<kit::Ref<kit::Notification>> notifications_;
  std::vector<bool> mainThread_;
  kit::Id token_;
};

struct Completion {
  bool done = false;
  bool onMain = false;
  kit::Ref<kit::URLResponse> response;
  kit::Id object;
  kit::Ref<kit::Error> error;

  SDPURLSessionManager::CompletionHandler handler() {
    return [this](const kit::Ref<kit::URLResponse>& r, const kit::Id& o, const kit::Ref<kit::Error>& e) {
      onMain = kit::RunLoop::isMainThread();
      response = r;
      object = o;
      error = e;
      done = true;
    };
  }
};

class URLSessionManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = TestServer::startHTTP();
    manager = SDPURLSessionManager::make();
    // Watched from the start: a test may invalidate the session itself.
    invalidated = std::make_unique<NotificationLog>(SDPManagerSessionInvalidatedNotification);
  }
  void TearDown() override {
    manager->invalidateSessionCancelingTasks(true);
    EXPECT_TRUE(kit::test::runUntil([&] { return invalidated->countFor(manager->session()) > 0; }));
    invalidated = nullptr;
    // Letting go of the manager closes the session's connections, so the
    // server stops without waiting out its keep-alive.
    manager = nullptr;
    server->stop();
  }

  std::unique_ptr<TestServer> server;
  kit::Ref<SDPURLSessionManager> manager;
  std::unique_ptr<NotificationLog> invalidated;
};

TEST_F(URLSessionManagerTest, CompletionGetsTheParsedObjectOnTheMainQueue) {
  server->route("GET", "/json", TestResponse::json(R"({"z":"ok"})"));
  NotificationLog completed(SDPManagerTaskCompletedNotification);
  Completion result;
  auto task = manager->dataTaskWithRequest(request(server->url("/json")), result.handler());
  EXPECT_EQ(kit::describe(task->taskDescription()), manager->taskDescriptionForSessionTasks());
  EXPECT_EQ(manager->taskDelegateCount(), 1u);
  task->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done && completed.countFor(task) == 1; }));
  EXPECT_TRUE(result.onMain);
  EXPECT_FALSE(result.error);
  EXPECT_EQ(kit::describe(result.object["z"]), "ok");
  EXPECT_TRUE(kit::test::runUntil([&] { return manager->taskDelegateCount() == 0; }));

  auto info = completed.all().back()->userInfo();
  EXPECT_EQ(info->objectForKey(SDPCompletedTaskSerializerKey), manager->responseSerializer());
  EXPECT_EQ(kit::as<kit::Data>(info->objectForKey(SDPCompletedTaskDataKey))->toString(), R"({"z":"ok"})");
  EXPECT_TRUE(info->objectForKey(SDPCompletedTaskObjectKey));
  EXPECT_FALSE(info->objectForKey(SDPCompletedTaskErrorKey));
  EXPECT_TRUE(completed.allOnMainThread());
}

// With no callback slot set, the session's events (the reply's parse among
// them) run on its network thread when the operation queue is idle, as the
// queue's operations; a slot the caller sets, or a task's progress block,
// keeps them on the queue's worker.
TEST_F(URLSessionManagerTest, EventsRunOnTheNetworkThreadWhileNoCallerBlockIsSet) {
  server->route("GET", "/json", TestResponse::json(R"({"z":"ok"})"));
  struct ThreadNoting : SDPJSONResponseSerializer {
    kit::Id responseObjectForResponse(const kit::Ref<kit::URLResponse>& response, const kit::Ref<kit::Data>& data,
                                      kit::Ref<kit::Error>* error) override {
      char name[16] = {};
      pthread_getname_np(pthread_self(), name, sizeof name);
      std::lock_guard lock(mutex);
      threads.emplace_back(name);
      queueWasCurrent.push_back(kit::OperationQueue::current() == queue);
      return SDPJSONResponseSerializer::responseObjectForResponse(response, data, error);
    }
    std::mutex mutex;
    std::vector<std::string> threads;
    std::vector<bool> queueWasCurrent;
    kit::Ref<kit::OperationQueue> queue;
  };
  auto serializer = std::make_shared<ThreadNoting>();
  serializer->queue = manager->operationQueue();
  manager->setResponseSerializer(serializer);
  auto fetch = [&] {
    Completion result;
    manager->dataTaskWithRequest(request(server->url("/json")), result.handler())->resume();
    ASSERT_TRUE(kit::test::runUntil([&] { return result.done; }));
    EXPECT_EQ(kit::describe(result.object["z"]), "ok");
    EXPECT_TRUE(result.onMain);
  };
  EXPECT_TRUE(manager->handlesEventsPromptly());
  fetch();
  manager->taskDidComplete = [](kit::URLSession&, const kit::Ref<kit::URLSessionTask>&, const kit::Ref<kit::Error>&) {};
  EXPECT_FALSE(manager->handlesEventsPromptly());
  fetch();
  {
    std::lock_guard lock(serializer->mutex);
    ASSERT_EQ(serializer->threads.size(), 2u);
    EXPECT_EQ(serializer->threads[0], "kit.net.session");
    EXPECT_NE(serializer->threads[1], "kit.net.session");
    EXPECT_EQ(serializer->queueWasCurrent, (std::vector<bool>{true, true}));
  }

  manager->taskDidComplete = nullptr;
  auto task = manager->dataTaskWithRequest(request(server->url("/json")), nullptr,
                                           [](const kit::Ref<kit::Progress>&) {}, nullptr);
  EXPECT_FALSE(manager->handlesEventsPromptly());
  task->cancel();
  EXPECT_TRUE(kit::test::runUntil([&] { return manager->taskDelegateCount() == 0; }));
  EXPECT_TRUE(manager->handlesEventsPromptly());
}

TEST_F(URLSessionManagerTest, SerializerErrorArrivesWithTheObject) {
  server->route("GET", "/broken", TestResponse::json(R"({"code":"500"})", 500));
  Completion result;
  manager->dataTaskWithRequest(request(server->url("/broken")), result.handler())->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done; }));
  EXPECT_EQ(kit::describe(result.object["code"]), "500");
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), -1011);
}

TEST_F(URLSessionManagerTest, TimeOutCompletesWithNilObjectAndTheError) {
  server->route("GET", "/silent", [](const kit::test::RecordedRequest&) {
    TestResponse r;
    r.silent = true;
    return r;
  });
  NotificationLog completed(SDPManagerTaskCompletedNotification);
  kit::VirtualClock clock;
  Completion result;
  auto task = manager->dataTaskWithRequest(request(server->url("/silent"), 5), result.handler());
  task->resume();
  ASSERT_TRUE(server->waitForRequests(1, 10));
  clock.advance(4.9);
  EXPECT_FALSE(result.done) << "timed out before its time";
  clock.advance(0.2);
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done && completed.countFor(task) == 1; }));
  EXPECT_FALSE(result.object);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), kit::URLErrorTimedOut);
  auto info = completed.all().back()->userInfo();
  EXPECT_TRUE(info->objectForKey(SDPCompletedTaskErrorKey));
  EXPECT_FALSE(info->objectForKey(SDPCompletedTaskObjectKey));
}

TEST_F(URLSessionManagerTest, ResumeAndSuspendAreAnnouncedOnlyOnChangeAndOnlyForOwnTasks) {
  server->route("GET", "/hold", [](const kit::test::RecordedRequest&) {
    TestResponse r;
    r.silent = true;
    return r;
  });
  NotificationLog taskResumed(SDPSessionTaskResumeNotification);
  NotificationLog taskSuspended(SDPSessionTaskSuspendNotification);
  NotificationLog managerResumed(SDPManagerTaskResumedNotification);
  NotificationLog managerSuspended(SDPManagerTaskSuspendedNotification);

  auto task = manager->dataTaskWithRequest(request(server->url("/hold")), nullptr);
  task->resume();
  task->resume();  // already running: no announcement
  task->suspend();
  task->suspend();  // already suspended: none either
  task->resume();
  EXPECT_EQ(taskResumed.countFor(task), 2u);
  EXPECT_EQ(taskSuspended.countFor(task), 1u);
  ASSERT_TRUE(kit::test::runUntil([&] { return managerResumed.countFor(task) == 2; }));
  ASSERT_TRUE(kit::test::runUntil([&] { return managerSuspended.countFor(task) == 1; }));
  EXPECT_TRUE(managerResumed.allOnMainThread());

  // A task of another session is announced, but not by this manager.
  auto other = kit::URLSession::sessionWithConfiguration(kit::URLSessionConfiguration::ephemeralSessionConfiguration());
  auto foreign = other->dataTaskWithRequest(request(server->url("/hold")));
  foreign->resume();
  EXPECT_EQ(taskResumed.countFor(foreign), 1u);
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(managerResumed.countFor(foreign), 0u);
  foreign->cancel();
  other->invalidateAndCancel();
}

TEST_F(URLSessionManagerTest, ProgressFollowsTheBytesAndCallsTheBlocks) {
  std::string body(200000, 'b');
  server->route("GET", "/big", TestResponse::text(body));
  std::vector<double> fractions;
  Completion result;
  auto task = manager->dataTaskWithRequest(
      request(server->url("/big")), nullptr,
      [&](const kit::Ref<kit::Progress>& progress) { fractions.push_back(progress->fractionCompleted()); },
      result.handler());
  auto progress = manager->downloadProgressForTask(task);
  ASSERT_TRUE(progress);
  EXPECT_TRUE(manager->uploadProgressForTask(task));
  task->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done; }));
  EXPECT_EQ(progress->completedUnitCount(), 200000);
  ASSERT_FALSE(fractions.empty());
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  // The delegate goes once its completion step has started.
  EXPECT_TRUE(kit::test::runUntil([&] { return !manager->downloadProgressForTask(task); }));
}

TEST_F(URLSessionManagerTest, UnknownSendTotalTakesTheContentLengthHeader) {
  int64_t expected = 0;
  manager->setTaskDidSendBodyDataBlock([&](kit::URLSession&, const kit::Ref<kit::URLSessionTask>&, int64_t, int64_t,
                                           int64_t total) { expected = total; });
  auto upload = request(server->url("/upload"));
  upload->setHTTPMethod("POST");
  upload->setValue("1234", "Content-Length");
  auto task = manager->session()->dataTaskWithRequest(upload);
  manager->didSendBodyData(*manager->session(), task, 10, 10, kit::URLSessionTransferSizeUnknown);
  EXPECT_EQ(expected, 1234);
  manager->didSendBodyData(*manager->session(), task, 10, 20, 99);
  EXPECT_EQ(expected, 99);
}

TEST_F(URLSessionManagerTest, RestartedStreamedUploadSendsTheWholeBodyFromACopy) {
  auto api = sim::PlatformAPIServer::start();
  auto moved = sim::PlatformAPIReply::json(kit::dict(), 307);
  moved.headers.set("Location", "/sdkapicoupon/upload");
  api->route("moved", moved);
  api->route("upload", sim::PlatformAPIReply::json(kit::dict({{"stored", 1}})));
  auto serializer = SDPHTTPRequestSerializer::serializer();
  auto upload = serializer->multipartFormRequestWithMethod(
      "POST", api->baseURL() + "moved", kit::dict({{"name", "avatar"}}),
      [](SDPMultipartFormData& form) {
        form.appendPartWithFileData(kit::Data::make(std::string(3000, 'p')), "file", "a.png", "image/png");
      },
      nullptr);
  auto length = kit::describe(upload->valueForHTTPHeaderField("Content-Length"));
  Completion result;
  manager->uploadTaskWithStreamedRequest(upload, nullptr, result.handler())->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done; }));
  EXPECT_FALSE(result.error);
  EXPECT_EQ(kit::describe(result.object["stored"]), "1");
  auto requests = api->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].path, "/sdkapicoupon/upload");
  // Both sends carry the whole body, byte for byte.
  std::string type = kit::describe(upload->valueForHTTPHeaderField("Content-Type"));
  std::string b = type.substr(type.find("boundary=") + 9);
  std::string expected = "--" + b + "\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\navatar\r\n--" + b +
                         "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.png\"\r\n"
                         "Content-Type: image/png\r\n\r\n" +
                         std::string(3000, 'p') + "\r\n--" + b + "--\r\n";
  EXPECT_EQ(std::to_string(expected.size()), length);
  for (const auto& sent : requests) {
    EXPECT_EQ(sent.header("Content-Type").value_or("?"), type);
    EXPECT_EQ(sent.header("Content-Length").value_or("?"), length);
    EXPECT_EQ(sent.body, expected);
    ASSERT_EQ(sent.parts.size(), 2u);
    EXPECT_EQ(sent.parts[1].filename, "a.png");
  }
}

TEST_F(URLSessionManagerTest, DownloadsMoveToTheDestination) {
  server->route("GET", "/file", TestResponse::text("file contents"));
  kit::test::TempDirectory dir;
  std::string target = dir.file("saved.txt");
  Completion result;
  manager
      ->downloadTaskWithRequest(
          request(server->url("/file")), nullptr,
          [&](const kit::Ref<kit::URL>&, const kit::Ref<kit::URLResponse>&) {
            return kit::URL::fileURLWithPath(target);
          },
          result.handler())
      ->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done; }));
  EXPECT_FALSE(result.error);
  EXPECT_EQ(kit::describe(result.object), kit::URL::fileURLWithPath(target)->absoluteText());
  std::ifstream in(target);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "file contents");
}

TEST_F(URLSessionManagerTest, FailedDownloadMoveReachesCompletionAsAnError) {
  server->route("GET", "/file", TestResponse::text("file contents"));
  NotificationLog moveFailed(SDPManagerDownloadMoveFailedNotification);
  Completion result;
  auto task = manager->downloadTaskWithRequest(
      request(server->url("/file")), nullptr,
      [&](const kit::Ref<kit::URL>&, const kit::Ref<kit::URLResponse>&) {
        return kit::URL::fileURLWithPath("/nonexistent/dir/saved.txt");
      },
      result.handler());
  task->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done; }));
  ASSERT_TRUE(result.error);
  EXPECT_FALSE(result.object);
  EXPECT_EQ(moveFailed.countFor(task), 1u);
}

TEST_F(URLSessionManagerTest, TaskListsAndInvalidationCancelRunningTasks) {
  server->route("GET", "/hold", [](const kit::test::RecordedRequest&) {
    TestResponse r;
    r.silent = true;
    return r;
  });
  Completion result;
  auto task = manager->dataTaskWithRequest(request(server->url("/hold")), result.handler());
  task->resume();
  ASSERT_TRUE(server->waitForRequests(1, 10));
  EXPECT_EQ(manager->dataTasks().size(), 1u);
  EXPECT_EQ(manager->tasks().size(), 1u);
  EXPECT_TRUE(manager->downloadTasks().empty());
  manager->invalidateSessionCancelingTasks(true);
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done; }));
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code(), kit::URLErrorCancelled);
}

TEST_F(URLSessionManagerTest, ServerTrustFollowsTheSecurityPolicy) {
  kit::test::ScopedTestAnchors anchors;
  const auto& certs = kit::test::TestCertificates::shared();
  auto trusted = TestServer::startHTTPS(certs.localhost);
  trusted->route("GET", "/secure", TestResponse::json(R"({"tls":true})"));
  Completion ok;
  manager->dataTaskWithRequest(request(trusted->localhostURL("/secure")), ok.handler())->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return ok.done; }));
  EXPECT_FALSE(ok.error);
  EXPECT_EQ(kit::describe(ok.object["tls"]), "1");

  auto selfSigned = TestServer::startHTTPS(certs.selfSigned);
  selfSigned->route("GET", "/secure", TestResponse::json(R"({"tls":true})"));
  Completion refused;
  manager->dataTaskWithRequest(request(selfSigned->localhostURL("/secure")), refused.handler())->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return refused.done; }));
  ASSERT_TRUE(refused.error);
  EXPECT_FALSE(refused.object);
  EXPECT_EQ(selfSigned->requestCount(), 0u) << "no HTTP byte reaches a refused server";

  // A policy that pins the self-signed certificate (and so must allow what
  // the platform calls invalid) trusts it.
  auto pinning = SDPSecurityPolicy::policyWithPinningMode(SDPSSLPinningMode::Certificate,
                                                          kit::Set::make({certs.selfSigned.certificate->DERData()}));
  pinning->allowInvalidCertificates = true;
  manager->setSecurityPolicy(pinning);
  Completion pinned;
  manager->dataTaskWithRequest(request(selfSigned->localhostURL("/secure")), pinned.handler())->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return pinned.done; }));
  EXPECT_FALSE(pinned.error);
  EXPECT_EQ(selfSigned->requestCount(), 1u);

  // The connections those policies accepted stay open, and each policy
  // judges them again: the pin refuses the trusted server, the default
  // policy the self-signed one.
  Completion pinnedAway;
  manager->dataTaskWithRequest(request(trusted->localhostURL("/secure")), pinnedAway.handler())->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return pinnedAway.done; }));
  EXPECT_TRUE(pinnedAway.error);
  EXPECT_EQ(trusted->requestCount(), 1u);
  manager->setSecurityPolicy(SDPSecurityPolicy::defaultPolicy());
  Completion refusedAgain;
  manager->dataTaskWithRequest(request(selfSigned->localhostURL("/secure")), refusedAgain.handler())->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return refusedAgain.done; }));
  EXPECT_TRUE(refusedAgain.error);
  EXPECT_EQ(selfSigned->requestCount(), 1u) << "the connection the pinning policy accepted was reused";
  // The kept-alive connection the default policy refuses says nothing of the
  // server: the request goes out once more on a new one, whose handshake the
  // policy refuses as any first one.
  EXPECT_EQ(selfSigned->connectionCount(), 3u);
}

TEST_F(URLSessionManagerTest, CopyIsANewManagerOverTheSameConfiguration) {
  auto copy = kit::as<SDPURLSessionManager>(manager->copy());
  ASSERT_TRUE(copy);
  EXPECT_NE(copy, manager);
  EXPECT_NE(copy->session(), manager->session());
  EXPECT_NE(copy->taskDescriptionForSessionTasks(), manager->taskDescriptionForSessionTasks());
  EXPECT_NE(manager->description().find("session: "), std::string::npos);
  NotificationLog invalidated(SDPManagerSessionInvalidatedNotification);
  copy->invalidateSessionCancelingTasks(false);
  ASSERT_TRUE(kit::test::runUntil([&] { return invalidated.countFor(copy->session()) > 0; }));
}

}  // namespace
