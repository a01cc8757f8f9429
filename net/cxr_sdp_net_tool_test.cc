// CXRSdpNetTool against the local platform API server: form posts, queries,
// ignored method codes and the failure log lines.
#include "net/cxr_sdp_net_tool.h"

#include <gtest/gtest.h>

#include <atomic>

#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "sim/bundle_configuration.h"
#include "sim/platform_api_server.h"

namespace {

using sim::PlatformAPIReply;

struct Reply {
  bool done = false;
  bool failed = false;
  bool onMain = false;
  kit::Id object;
  kit::Ref<kit::Error> error;

  CXRSdpNetTool::Success success() {
    return [this](const kit::Id& o) {
      onMain = kit::RunLoop::isMainThread();
      object = o;
      done = true;
    };
  }
  CXRSdpNetTool::Failure failure() {
    return [this](const kit::Ref<kit::Error>& e) {
      onMain = kit::RunLoop::isMainThread();
      failed = true;
      error = e;
      done = true;
    };
  }
};

PlatformAPIReply htmlJSON(kit::Id object, int status = 200) {
  auto reply = PlatformAPIReply::json(std::move(object), status);
  reply.contentType = "text/html";
  return reply;
}

class CXRSdpNetToolTest : public ::testing::Test {
 protected:
  void TearDown() override {
    std::atomic<bool> invalid{false};  // set on the thread that posts it
    auto token = kit::NotificationCenter::defaultCenter()->addObserverForName(
        SDPManagerSessionInvalidatedNotification, tool->session(),
        [&](const kit::Ref<kit::Notification>&) { invalid = true; });
    tool->invalidateSessionCancelingTasks(true);
    EXPECT_TRUE(kit::test::runUntil([&] { return invalid.load(); }));
    kit::NotificationCenter::defaultCenter()->removeObserver(token);
    tool = nullptr;
  }

  std::unique_ptr<sim::PlatformAPIServer> api = sim::PlatformAPIServer::start();
  sim::ScopedBundleConfiguration configuration{api->configurationEntries()};
  // Set up as the shared tool, with connections that end with the test.
  kit::Ref<CXRSdpNetTool> tool = kit::as<CXRSdpNetTool>(CXRSdpNetTool::sharedTool()->copy());
};

TEST_F(CXRSdpNetToolTest, MethodZeroPostsAFormAndOneSendsAQuery) {
  api->route("sub/list", [](const sim::PlatformAPIRequest& request) {
    return htmlJSON(kit::dict({{"method", request.exchange.method}, {"uid", request.formValue("uid").value_or("?")}}));
  });
  Reply posted, got;
  tool->requestWithURLString(api->baseURL() + "sub/list", kit::dict({{"uid", "9 9"}}), 0, posted.success(),
                             posted.failure());
  tool->requestWithURLString(api->baseURL() + "sub/list", kit::dict({{"uid", "8"}}), 1, got.success(), got.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return posted.done && got.done; }));
  EXPECT_TRUE(posted.onMain);
  EXPECT_EQ(kit::describe(posted.object["method"]), "POST");
  EXPECT_EQ(kit::describe(posted.object["uid"]), "9 9");
  EXPECT_EQ(kit::describe(got.object["method"]), "GET");
  EXPECT_EQ(kit::describe(got.object["uid"]), "8");
  for (const auto& sent : api->apiRequests()) {
    if (sent.exchange.method == "POST") {
      EXPECT_EQ(sent.exchange.header("Content-Type").value_or(""), "application/x-www-form-urlencoded");
      EXPECT_EQ(sent.exchange.body, "uid=9%209");
    } else {
      EXPECT_EQ(sent.exchange.query, "uid=8");
    }
  }
}

TEST_F(CXRSdpNetToolTest, OtherMethodCodesSendNothingAndCallNothing) {
  api->route("x", htmlJSON(kit::dict()));
  Reply reply;
  tool->requestWithURLString(api->baseURL() + "x", kit::dict({{"a", 1}}), 2, reply.success(), reply.failure());
  tool->requestWithURLString(api->baseURL() + "x", kit::dict({{"a", 1}}), -1, reply.success(), reply.failure());
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_FALSE(reply.done);
  EXPECT_EQ(api->requestCount(), 0u);
}

TEST_F(CXRSdpNetToolTest, PostWithURLStringUsesTheBaseAndLogsFailuresTwice) {
  api->route("account/bind", htmlJSON(kit::dict({{"code", "0"}}), 404));
  kit::test::LogCapture logs;
  Reply reply;
  tool->PostWithURLString("account/bind", kit::dict({{"phone", "1"}}), reply.success(), reply.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return reply.done; }));
  ASSERT_TRUE(reply.failed);
  EXPECT_EQ(reply.error->code(), -1011);
  EXPECT_EQ(api->apiRequests().at(0).exchange.path, "/sdkapicoupon/account/bind");
  size_t lines = 0;
  for (const auto& message : logs.messages()) lines += message.starts_with("error = ");
  EXPECT_EQ(lines, 2u);

  logs.clear();
  Reply got;
  tool->requestWithURLString(api->baseURL() + "account/bind", nullptr, 1, got.success(), got.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return got.done; }));
  EXPECT_TRUE(got.failed);
  EXPECT_EQ(logs.count(), 1u);
  EXPECT_FALSE(logs.contains("error = "));
}

TEST_F(CXRSdpNetToolTest, SharedToolAcceptsHTMLAsJSON) {
  auto shared = CXRSdpNetTool::sharedTool();
  EXPECT_EQ(shared, CXRSdpNetTool::sharedTool());
  EXPECT_FALSE(shared->baseURL());
  auto types = shared->responseSerializer()->acceptableContentTypes();
  EXPECT_TRUE(types->containsObject(kit::str("text/html")));
  EXPECT_TRUE(types->containsObject(kit::str("application/json")));
  EXPECT_EQ(types->count(), 4u);
  // Callbacks are optional.
  api->route("y", htmlJSON(kit::dict()));
  tool->requestWithURLString(api->baseURL() + "y", nullptr, 0, nullptr, nullptr);
  ASSERT_TRUE(api->waitForRequests(1));
}

}  // namespace
