// CXRNetTool against the local platform API server: whole replies decoded
// once, per-request callbacks on the starting thread's run loop, failures.
#include "net/cxr_net_tool.h"

#include <gtest/gtest.h>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "net/networking_errors.h"
#include "sim/platform_api_server.h"

namespace {

using sim::PlatformAPIReply;

struct Reply {
  int successes = 0;
  int failures = 0;
  bool onMain = false;
  kit::Id object;
  kit::Ref<kit::Error> error;
  bool done() const { return successes + failures > 0; }

  CXRNetTool::Success success() {
    return [this](const kit::Id& o) {
      ++successes;
      onMain = kit::RunLoop::isMainThread();
      object = o;
    };
  }
  CXRNetTool::Failure failure() {
    return [this](const kit::Ref<kit::Error>& e) {
      ++failures;
      onMain = kit::RunLoop::isMainThread();
      error = e;
    };
  }
};

class CXRNetToolTest : public ::testing::Test {
 protected:
  void TearDown() override { CXRNetTool::distroyInstance(); }
  std::unique_ptr<sim::PlatformAPIServer> api = sim::PlatformAPIServer::start();
};

TEST_F(CXRNetToolTest, ChunkedReplyGivesOneSuccessWithTheWholeObject) {
  auto reply = PlatformAPIReply::plain(kit::dict({{"code", "1"}, {"list", kit::array({std::string(300, 'x'), 2})}}));
  reply.chunkCount = 3;
  reply.chunkIntervalSeconds = 0.01;
  api->route("user/info", reply);
  Reply result;
  auto tool = CXRNetTool::sharedInstance();
  tool->POST(api->baseURL() + "user/info", kit::dict({{"uid", "7"}}), result.success(), result.failure());
  EXPECT_TRUE(tool->successBlock && tool->failureBlock);
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done(); }));
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(result.successes, 1);
  EXPECT_EQ(result.failures, 0);
  EXPECT_TRUE(result.onMain);
  EXPECT_EQ(kit::describe(result.object["code"]), "1");
  EXPECT_EQ(kit::describe(result.object["list"][1]), "2");

  auto sent = api->apiRequests().at(0);
  EXPECT_EQ(kit::describe(sent.parameters["uid"]), "7");
  EXPECT_EQ(sent.exchange.header("Content-Type").value_or(""), "text/html");
  EXPECT_FALSE(sent.exchange.header("Accept-Language")) << "only Content-Type is set here";
}

TEST_F(CXRNetToolTest, OverlappingRequestsEachGetTheirOwnReply) {
  auto slow = PlatformAPIReply::plain(kit::dict({{"who", "first"}}));
  slow.delaySeconds = 0.03;
  api->route("first", slow);
  api->route("second", PlatformAPIReply::plain(kit::dict({{"who", "second"}})));
  Reply first, second;
  auto tool = CXRNetTool::sharedInstance();
  tool->POST(api->baseURL() + "first", kit::dict({{"n", 1}}), first.success(), first.failure());
  tool->POST(api->baseURL() + "second", kit::dict({{"n", 2}}), second.success(), second.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return first.done() && second.done(); }));
  EXPECT_EQ(kit::describe(first.object["who"]), "first");
  EXPECT_EQ(kit::describe(second.object["who"]), "second");
  EXPECT_EQ(first.successes, 1);
  EXPECT_EQ(second.successes, 1);
}

TEST_F(CXRNetToolTest, EmptyAndUndecodableRepliesGiveOneSuccessWithNil) {
  api->route("empty", PlatformAPIReply::bytes(""));
  api->route("garbage", PlatformAPIReply::bytes("not compressed"));
  Reply empty, garbage;
  kit::test::LogCapture logs;
  CXRNetTool::sharedInstance()->POST(api->baseURL() + "empty", kit::dict(), empty.success(), empty.failure());
  CXRNetTool::sharedInstance()->POST(api->baseURL() + "garbage", kit::dict(), garbage.success(), garbage.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return empty.done() && garbage.done(); }));
  EXPECT_EQ(empty.successes, 1);
  EXPECT_FALSE(empty.object);
  EXPECT_EQ(garbage.successes, 1);
  EXPECT_FALSE(garbage.object);
  EXPECT_TRUE(logs.contains("*********************请求开始*********************"));
}

TEST_F(CXRNetToolTest, ConnectionFailureLogsAndCallsFailure) {
  kit::test::LogCapture logs;
  Reply result;
  CXRNetTool::sharedInstance()->POST("http://127.0.0.1:1/nothing", kit::dict({{"a", 1}}), result.success(),
                                     result.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done(); }));
  EXPECT_EQ(result.failures, 1);
  EXPECT_EQ(result.successes, 0);
  EXPECT_EQ(result.error->code(), kit::URLErrorCannotConnectToHost);
  EXPECT_TRUE(logs.contains("***********************请求失败**************"));
  EXPECT_TRUE(logs.contains("失败信息: "));
}

TEST_F(CXRNetToolTest, BodyThatCannotBeEncodedFailsOnTheRunLoop) {
  Reply result;
  kit::test::LogCapture logs;
  CXRNetTool::sharedInstance()->POST(api->baseURL() + "x", kit::dict({{"d", kit::Data::make("x")}}), result.success(),
                                     result.failure());
  EXPECT_FALSE(result.done());
  ASSERT_TRUE(kit::test::runUntil([&] { return result.done(); }));
  EXPECT_TRUE(result.onMain);
  EXPECT_EQ(result.error->domain(), SDPRequestSerializationErrorDomain);
  EXPECT_EQ(api->requestCount(), 0u);
}

TEST_F(CXRNetToolTest, SharedInstanceLastsUntilDestroyed) {
  auto first = CXRNetTool::sharedInstance();
  EXPECT_EQ(first, CXRNetTool::sharedInstance());
  CXRNetTool::distroyInstance();
  EXPECT_NE(first, CXRNetTool::sharedInstance());
}

}  // namespace
