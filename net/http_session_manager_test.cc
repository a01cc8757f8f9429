// The HTTP session manager's verbs against a real server on 127.0.0.1.
#include "net/http_session_manager.h"

#include <gtest/gtest.h>

#include <atomic>

#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/run_until.h"

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

struct Outcome {
  bool done = false;
  bool onMain = false;
  bool taskGiven = false;
  kit::Id object;
  kit::Ref<kit::Error> error;

  SDPHTTPSessionManager::Success success() {
    return [this](const kit::Ref<kit::URLSessionDataTask>& task, const kit::Id& o) {
      taskGiven = task != nullptr;
      onMain = kit::RunLoop::isMainThread();
      object = o;
      done = true;
    };
  }
  SDPHTTPSessionManager::Failure failure() {
    return [this](const kit::Ref<kit::URLSessionDataTask>& task, const kit::Ref<kit::Error>& e) {
      taskGiven = task != nullptr;
      onMain = kit::RunLoop::isMainThread();
      error = e;
      done = true;
    };
  }
};

// A serializer whose multipart requests cannot be built.
class FailingMultipartSerializer : public SDPHTTPRequestSerializer {
 public:
  kit::Ref<kit::MutableURLRequest> multipartFormRequestWithMethod(std::string_view, std::string_view, const kit::Id&,
                                                                  const MultipartConstruction&,
                                                                  kit::Ref<kit::Error>* error) override {
    *error = kit::Error::make("test.multipart", 5, "no form today");
    return nullptr;
  }
};

class HTTPSessionManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { server = TestServer::startHTTP(); }
  void TearDown() override {
    for (auto& manager : managers) {
      std::atomic<bool> invalid{false};  // set on the thread that posts it
      auto token = kit::NotificationCenter::defaultCenter()->addObserverForName(
          SDPManagerSessionInvalidatedNotification, manager->session(),
          [&](const kit::Ref<kit::Notification>&) { invalid = true; });
      manager->invalidateSessionCancelingTasks(true);
      EXPECT_TRUE(kit::test::runUntil([&] { return invalid.load(); }));
      kit::NotificationCenter::defaultCenter()->removeObserver(token);
    }
    managers.clear();
    server->stop();
  }
  kit::Ref<SDPHTTPSessionManager> makeManager(const std::string& base) {
    auto manager = SDPHTTPSessionManager::managerWithBaseURL(base.empty() ? nullptr : kit::URL::URLWithString(base));
    managers.push_back(manager);
    return manager;
  }

  std::unique_ptr<TestServer> server;
  std::vector<kit::Ref<SDPHTTPSessionManager>> managers;
};

TEST_F(HTTPSessionManagerTest, BaseURLPathGainsASlashAndRelativePathsResolveBelowIt) {
  auto manager = makeManager(server->url("/v1"));
  EXPECT_EQ(manager->baseURL()->absoluteText(), server->url("/v1/"));
  EXPECT_EQ(manager->absoluteURLString("users"), server->url("/v1/users"));
  EXPECT_EQ(makeManager(server->baseURL())->baseURL()->absoluteText(), server->baseURL());
  EXPECT_EQ(makeManager("")->absoluteURLString(server->url("/x?y=1")), server->url("/x?y=1"));

  server->route("GET", "/v1/users", TestResponse::json(R"({"users":[1,2]})"));
  Outcome outcome;
  auto task = manager->GET("users", kit::dict({{"page", 2}}), outcome.success(), outcome.failure());
  ASSERT_TRUE(task);
  EXPECT_EQ(task->state(), kit::URLSessionTaskState::Running);
  ASSERT_TRUE(kit::test::runUntil([&] { return outcome.done; }));
  EXPECT_TRUE(outcome.onMain);
  EXPECT_TRUE(outcome.taskGiven);
  EXPECT_EQ(kit::describe(outcome.object["users"][1]), "2");
  EXPECT_EQ(server->requests().at(0).query, "page=2");
}

TEST_F(HTTPSessionManagerTest, NotFoundWithJSONCallsFailureWithTheTask) {
  server->route("GET", "/missing", TestResponse::json(R"({"error":"gone"})", 404));
  Outcome outcome;
  makeManager(server->baseURL())->GET("/missing", nullptr, outcome.success(), outcome.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return outcome.done; }));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code(), -1011);
  EXPECT_TRUE(outcome.taskGiven);
  EXPECT_FALSE(outcome.object);
}

TEST_F(HTTPSessionManagerTest, HeadCallsSuccessWithTheTaskOnly) {
  server->route("*", "/ping", TestResponse::text(""));
  auto manager = makeManager(server->baseURL());
  bool called = false;
  kit::Ref<kit::URLSessionDataTask> seen;
  auto task = manager->HEAD(
      "/ping", nullptr,
      [&](const kit::Ref<kit::URLSessionDataTask>& t) {
        seen = t;
        called = true;
      },
      nullptr);
  ASSERT_TRUE(kit::test::runUntil([&] { return called; }));
  EXPECT_EQ(seen, task);
  EXPECT_EQ(server->requests().at(0).method, "HEAD");
}

TEST_F(HTTPSessionManagerTest, VerbsSendTheirParametersWhereTheyBelong) {
  server->route("*", "/item", TestResponse::json(R"({"ok":1})"));
  auto manager = makeManager(server->baseURL());
  manager->responseSerializer()->setAcceptableContentTypes(nullptr);
  int done = 0;
  auto count = [&](const kit::Ref<kit::URLSessionDataTask>&, const kit::Id&) { ++done; };
  manager->POST("/item", kit::dict({{"a", "1 2"}}), count, nullptr);
  manager->PUT("/item", kit::dict({{"b", 2}}), count, nullptr);
  manager->PATCH("/item", kit::dict({{"c", 3}}), count, nullptr);
  manager->DELETE("/item", kit::dict({{"d", 4}}), count, nullptr);
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 4; }));
  std::map<std::string, kit::test::RecordedRequest> byMethod;
  for (const auto& r : server->requests()) byMethod[r.method] = r;
  EXPECT_EQ(byMethod["POST"].body, "a=1%202");
  EXPECT_EQ(byMethod["POST"].header("Content-Type").value_or(""), "application/x-www-form-urlencoded");
  EXPECT_EQ(byMethod["PUT"].body, "b=2");
  EXPECT_EQ(byMethod["PATCH"].body, "c=3");
  EXPECT_EQ(byMethod["DELETE"].query, "d=4");
  EXPECT_TRUE(byMethod["DELETE"].body.empty());
  EXPECT_TRUE(byMethod["POST"].header("User-Agent"));
  EXPECT_TRUE(byMethod["POST"].header("Accept-Language"));
}

TEST_F(HTTPSessionManagerTest, RequestThatCannotBeBuiltFailsLaterWithoutATask) {
  auto manager = makeManager(server->baseURL());
  manager->requestSerializer()->setQueryStringSerializationWithBlock(
      [](const kit::Ref<kit::URLRequest>&, const kit::Id&, kit::Ref<kit::Error>* error) {
        *error = kit::Error::make("test.query", 3, "refused");
        return std::string();
      });
  Outcome outcome;
  EXPECT_FALSE(manager->POST("/x", kit::dict({{"a", 1}}), outcome.success(), outcome.failure()));
  EXPECT_FALSE(outcome.done) << "failure comes asynchronously";
  ASSERT_TRUE(kit::test::runUntil([&] { return outcome.done; }));
  EXPECT_TRUE(outcome.onMain);
  EXPECT_FALSE(outcome.taskGiven);
  EXPECT_EQ(outcome.error->domain(), "test.query");
  EXPECT_EQ(server->requestCount(), 0u);
}

TEST_F(HTTPSessionManagerTest, MultipartPostSendsTheFormAndReportsAFailedForm) {
  server->route("POST", "/upload", TestResponse::json(R"({"ok":1})"));
  auto manager = makeManager(server->baseURL());
  Outcome sent;
  manager->POST(
      "/upload", kit::dict({{"k", "v"}}),
      [](SDPMultipartFormData& form) { form.appendPartWithFormData(kit::Data::make("x"), "extra"); }, sent.success(),
      sent.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return sent.done; }));
  EXPECT_FALSE(sent.error);
  EXPECT_TRUE(
      server->requests().at(0).header("Content-Type").value_or("").starts_with("multipart/form-data; boundary="));

  manager->setRequestSerializer(kit::make<FailingMultipartSerializer>());
  Outcome failed;
  EXPECT_FALSE(manager->POST(
      "/upload", nullptr, [](SDPMultipartFormData&) {}, failed.success(), failed.failure()));
  ASSERT_TRUE(kit::test::runUntil([&] { return failed.done; }));
  EXPECT_TRUE(failed.onMain);
  EXPECT_FALSE(failed.taskGiven);
  EXPECT_EQ(failed.error->domain(), "test.multipart");
}

TEST_F(HTTPSessionManagerTest, URLTextThatIsNotAURLReachesFailure) {
  auto manager = makeManager("");
  Outcome outcome;
  auto task = manager->GET("not a url at all", nullptr, outcome.success(), outcome.failure());
  ASSERT_TRUE(task);
  ASSERT_TRUE(kit::test::runUntil([&] { return outcome.done; }));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->domain(), kit::URLErrorDomain);
}

TEST_F(HTTPSessionManagerTest, CopyKeepsBaseURLAndSerializers) {
  auto manager = makeManager(server->url("/api"));
  manager->responseSerializer()->setAcceptableContentTypes(kit::Set::make({kit::str("text/html")}));
  auto copy = kit::as<SDPHTTPSessionManager>(manager->copy());
  ASSERT_TRUE(copy);
  managers.push_back(copy);
  EXPECT_EQ(copy->baseURL()->absoluteText(), server->url("/api/"));
  EXPECT_NE(copy->requestSerializer(), manager->requestSerializer());
  EXPECT_TRUE(copy->responseSerializer()->acceptableContentTypes()->containsObject(kit::str("text/html")));
  EXPECT_NE(copy->description().find("baseURL: " + server->url("/api/")), std::string::npos);
}

}  // namespace
