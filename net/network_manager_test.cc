// NetWorkManager against the local platform API server: what goes on the
// wire, what every kind of reply turns into, and the failures.
#include "net/network_manager.h"

#include <gtest/gtest.h>

#include <atomic>

#include "kit/dispatch/clock.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "net/networking_errors.h"
#include "sim/bundle_configuration.h"
#include "sim/platform_api_server.h"
#include "sim/platform_body_codec.h"

namespace {

using sim::PlatformAPIReply;

struct Reply {
  bool done = false;
  bool onMain = false;
  bool failed = false;
  int calls = 0;
  kit::Id object;
  kit::Ref<kit::Error> error;

  NetWorkManager::Success success() {
    return [this](const kit::Id& o) {
      ++calls;
      onMain = kit::RunLoop::isMainThread();
      object = o;
      done = true;
    };
  }
  NetWorkManager::Failure failure() {
    return [this](const kit::Ref<kit::Error>& e) {
      ++calls;
      onMain = kit::RunLoop::isMainThread();
      failed = true;
      error = e;
      done = true;
    };
  }
};

class NetWorkManagerTest : public ::testing::Test {
 protected:
  // A manager set up as the shared one, whose connections end with the test.
  void TearDown() override {
    std::atomic<bool> invalid{false};  // set on the thread that posts it
    auto token = kit::NotificationCenter::defaultCenter()->addObserverForName(
        SDPManagerSessionInvalidatedNotification, manager->session(),
        [&](const kit::Ref<kit::Notification>&) { invalid = true; });
    manager->invalidateSessionCancelingTasks(true);
    EXPECT_TRUE(kit::test::runUntil([&] { return invalid.load(); }));
    kit::NotificationCenter::defaultCenter()->removeObserver(token);
    manager = nullptr;
  }

  std::unique_ptr<sim::PlatformAPIServer> api = sim::PlatformAPIServer::start();
  sim::ScopedBundleConfiguration configuration{api->configurationEntries()};
  kit::Ref<NetWorkManager> manager = kit::as<NetWorkManager>(NetWorkManager::sharedInstance()->copy());
};

TEST(NetWorkManager, SharedInstanceReadsRawBodiesOfTheCommonTextTypes) {
  auto shared = NetWorkManager::sharedInstance();
  EXPECT_EQ(shared, NetWorkManager::sharedInstance());
  auto serializer = shared->responseSerializer();
  EXPECT_EQ(serializer->objectClass().name(), "SDPHTTPResponseSerializer");
  for (const char* type : {"application/json", "text/html", "text/json", "text/javascript", "text/plain"}) {
    EXPECT_TRUE(serializer->acceptableContentTypes()->containsObject(kit::str(type))) << type;
  }
  EXPECT_EQ(serializer->acceptableContentTypes()->count(), 5u);
  EXPECT_EQ(shared->completionQueue(), nullptr) << "callbacks on the main queue";
}

TEST_F(NetWorkManagerTest, PostCouponURLSendsTheScrambledBodyToTheEndpoint) {
  ASSERT_EQ(SDPPlatformAPIBaseURL(), api->baseURL());
  api->route("pay/getjiasu", [](const sim::PlatformAPIRequest& request) {
    return PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"uid", request.parameters["uid"]}}));
  });
  auto params = kit::dict({{"uid", "10086"}, {"sign", std::string(80, 's')}, {"note", "玩家 one"}});
  Reply reply;
  manager->PostCouponURL("pay/getjiasu", params, reply.success(), reply.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return reply.done; }));
  EXPECT_TRUE(reply.onMain);
  EXPECT_FALSE(reply.failed);
  EXPECT_EQ(kit::describe(reply.object["z"]), "1");
  EXPECT_EQ(kit::describe(reply.object["uid"]), "10086");
  EXPECT_TRUE(kit::isKind<kit::MutableString>(reply.object["uid"]));

  auto log = api->apiRequests();
  ASSERT_EQ(log.size(), 1u);
  const auto& sent = log[0];
  EXPECT_EQ(sent.exchange.method, "POST");
  EXPECT_EQ(sent.exchange.path, "/sdkapicoupon/pay/getjiasu");
  EXPECT_EQ(sent.exchange.header("Content-Type").value_or(""), "text/html");
  EXPECT_TRUE(sent.exchange.header("Accept-Language"));
  EXPECT_TRUE(sent.exchange.header("User-Agent"));
  EXPECT_FALSE(sent.exchange.header("Content-Encoding"));
  EXPECT_TRUE(sent.decodeFailure.empty()) << sent.decodeFailure;
  EXPECT_TRUE(kit::isEqual(sent.parameters, params));
}

TEST_F(NetWorkManagerTest, EveryCompletedExchangeReachesSuccess) {
  api->route("broken", PlatformAPIReply::scrambled(kit::dict({{"code", "0"}, {"msg", "server error"}}), 500));
  api->route("empty", PlatformAPIReply::bytes(""));
  api->route("plain", PlatformAPIReply::json(kit::dict({{"code", "1"}})));
  Reply broken, empty, plain;
  manager->PostCouponURL("broken", kit::dict({{"a", 1}}), broken.success(), broken.failure());
  manager->PostCouponURL("empty", kit::dict({{"a", 1}}), empty.success(), empty.failure());
  manager->PostCouponURL("plain", kit::dict({{"a", 1}}), plain.success(), plain.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return broken.done && empty.done && plain.done; }));
  EXPECT_FALSE(broken.failed);
  EXPECT_EQ(kit::describe(broken.object["msg"]), "server error");
  EXPECT_FALSE(empty.failed);
  EXPECT_FALSE(empty.object);
  EXPECT_FALSE(plain.failed) << "an undecodable body is success with nil";
  EXPECT_FALSE(plain.object);
}

TEST_F(NetWorkManagerTest, OverlappingRequestsKeepTheirOwnCallbacks) {
  auto slow = PlatformAPIReply::scrambled(kit::dict({{"who", "slow"}}));
  slow.delaySeconds = 0.3;
  api->route("slow", slow);
  api->route("fast", PlatformAPIReply::scrambled(kit::dict({{"who", "fast"}})));
  Reply first, second;
  manager->PostCouponURL("slow", kit::dict({{"a", 1}}), first.success(), first.failure());
  manager->PostCouponURL("fast", kit::dict({{"a", 2}}), second.success(), second.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return first.done && second.done; }));
  EXPECT_EQ(kit::describe(first.object["who"]), "slow");
  EXPECT_EQ(kit::describe(second.object["who"]), "fast");
  EXPECT_EQ(first.calls + second.calls, 2);
}

TEST_F(NetWorkManagerTest, BodyThatCannotBeEncodedIsNotSentAndFailsLater) {
  kit::test::LogCapture logs;
  Reply reply;
  manager->PostCouponURL("pay/getjiasu", kit::dict({{"raw", kit::Data::make("bytes")}}), reply.success(),
                         reply.failure());
  EXPECT_FALSE(reply.done) << "failure is asynchronous";
  ASSERT_TRUE(kit::test::runUntil([&] { return reply.done; }));
  EXPECT_TRUE(reply.onMain);
  ASSERT_TRUE(reply.failed);
  EXPECT_EQ(reply.error->domain(), SDPRequestSerializationErrorDomain);
  EXPECT_EQ(reply.error->code(), SDPRequestBodyEncodingFailedError);
  ASSERT_TRUE(reply.error->underlyingError());
  EXPECT_EQ(reply.error->underlyingError()->domain(), kit::CocoaErrorDomain);
  EXPECT_TRUE(logs.contains("JSON序列化失败----"));
  EXPECT_EQ(api->requestCount(), 0u);
}

TEST_F(NetWorkManagerTest, UnusableURLAndMissingCallbacksDoNotCrash) {
  Reply reply;
  manager->POST("http://127.0.0.1:1/ not a url", kit::dict({{"a", 1}}), reply.success(), reply.failure());
  ASSERT_TRUE(kit::test::runUntil([&] { return reply.done; }));
  ASSERT_TRUE(reply.failed);
  EXPECT_EQ(reply.error->domain(), kit::URLErrorDomain);

  api->route("ok", PlatformAPIReply::scrambled(kit::dict({{"a", 1}})));
  manager->PostCouponURL("ok", kit::dict({{"a", 1}}), nullptr, nullptr);
  manager->PostCouponURL("ok", kit::dict({{"bad", kit::Data::make("x")}}), nullptr, nullptr);
  ASSERT_TRUE(api->waitForRequests(1));
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
}

TEST_F(NetWorkManagerTest, SilentServerTimesOutAfterTenSeconds) {
  api->route("silent", PlatformAPIReply::silence());
  kit::VirtualClock clock;
  Reply reply;
  manager->PostCouponURL("silent", kit::dict({{"a", 1}}), reply.success(), reply.failure());
  ASSERT_TRUE(api->waitForRequests(1));
  clock.advance(9.9);
  EXPECT_FALSE(reply.done) << "timed out before ten seconds";
  clock.advance(0.2);
  ASSERT_TRUE(kit::test::runUntil([&] { return reply.done; }));
  ASSERT_TRUE(reply.failed);
  EXPECT_TRUE(reply.onMain);
  EXPECT_EQ(reply.calls, 1);
  EXPECT_EQ(reply.error->code(), kit::URLErrorTimedOut);
}

}  // namespace
