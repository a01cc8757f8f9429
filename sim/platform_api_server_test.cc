// The local platform API server over real HTTP on 127.0.0.1, driven by a
// plain HTTP client.
#include "sim/platform_api_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include "kit/foundation/values.h"
#include "sim/platform_body_codec.h"

namespace sim {
namespace {

class PlatformAPIServerTest : public ::testing::Test {
 protected:
  void SetUp() override { server = PlatformAPIServer::start(); }

  httplib::Result post(const std::string& path, const std::string& body, const std::string& type = "text/html") {
    httplib::Client client("127.0.0.1", server->port());
    return client.Post(path.c_str(), body, type.c_str());
  }

  std::unique_ptr<PlatformAPIServer> server;
};

TEST_F(PlatformAPIServerTest, DecodesTheRequestAndAnswersScrambled) {
  server->route("pay/getjiasu", [](const PlatformAPIRequest& request) {
    return PlatformAPIReply::scrambled(kit::dict({{"z", "1"}, {"echo", request.parameters["uid"]}}));
  });
  auto result = post("/sdkapicoupon/pay/getjiasu", PlatformBodyCodec::encodeReply(kit::dict({{"uid", "7"}})));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_FALSE(result->has_header("Content-Encoding"));
  EXPECT_EQ(result->get_header_value("Content-Type"), "text/html");
  kit::Id reply = PlatformBodyCodec::decodeRequest(result->body);
  EXPECT_EQ(kit::describe(reply["echo"]), "7");

  auto log = server->apiRequests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].endpoint, "pay/getjiasu");
  EXPECT_EQ(kit::describe(log[0].parameters["uid"]), "7");
  EXPECT_TRUE(log[0].decodeFailure.empty());
}

TEST_F(PlatformAPIServerTest, RefusesABodyThatDoesNotDecode) {
  bool called = false;
  server->route("user/login", [&](const PlatformAPIRequest&) {
    called = true;
    return PlatformAPIReply::scrambled(kit::dict({{"code", "1"}}));
  });
  auto result = post("/sdkapicoupon/user/login", "plain text");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 400);
  EXPECT_EQ(kit::describe(PlatformBodyCodec::decodeRequest(result->body)["code"]), "0");
  EXPECT_FALSE(called);
  EXPECT_EQ(server->apiRequests().at(0).decodeFailure, "body is not gzip");
}

TEST_F(PlatformAPIServerTest, UnknownEndpointsAndPathsGive404) {
  auto inside = post("/sdkapicoupon/nope", PlatformBodyCodec::encodeReply(kit::dict({{"a", 1}})));
  ASSERT_TRUE(inside);
  EXPECT_EQ(inside->status, 404);
  EXPECT_EQ(kit::describe(PlatformBodyCodec::decodeRequest(inside->body)["code"]), "404");
  auto outside = post("/elsewhere", "x");
  ASSERT_TRUE(outside);
  EXPECT_EQ(outside->status, 404);
  EXPECT_EQ(outside->body, "not found");
}

TEST_F(PlatformAPIServerTest, ReadsFormPostsAndQueries) {
  server->route("sdk/check", [](const PlatformAPIRequest& request) {
    return PlatformAPIReply::json(kit::dict({{"got", request.formValue("name").value_or("?")}}));
  });
  auto form = post("/sdkapicoupon/sdk/check", "name=a+b%26c&x=", "application/x-www-form-urlencoded");
  ASSERT_TRUE(form);
  EXPECT_EQ(form->body, "{\"got\":\"a b&c\"}");
  httplib::Client client("127.0.0.1", server->port());
  auto get = client.Get("/sdkapicoupon/sdk/check?name=%E7%8E%A9");
  ASSERT_TRUE(get);
  EXPECT_EQ(get->get_header_value("Content-Type"), "application/json");
  EXPECT_EQ(get->body, "{\"got\":\"玩\"}");
}

TEST_F(PlatformAPIServerTest, ChunkedRepliesArriveWhole) {
  auto reply = PlatformAPIReply::plain(kit::dict({{"z", std::string(200, 'q')}}));
  reply.chunkCount = 3;
  reply.chunkIntervalSeconds = 0.05;
  server->route("slow", reply);
  httplib::Client client("127.0.0.1", server->port());
  auto result = client.Get("/sdkapicoupon/slow");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->get_header_value("Transfer-Encoding"), "chunked");
  EXPECT_EQ(result->body, reply.encodedBody());
}

TEST_F(PlatformAPIServerTest, StatusAndEmptyBodiesAreScriptable) {
  server->route("broken", PlatformAPIReply::scrambled(kit::dict({{"code", "500"}}), 500));
  server->route("empty", PlatformAPIReply::bytes(""));
  auto body = PlatformBodyCodec::encodeReply(kit::dict({{"a", 1}}));
  auto broken = post("/sdkapicoupon/broken", body);
  ASSERT_TRUE(broken);
  EXPECT_EQ(broken->status, 500);
  EXPECT_EQ(kit::describe(PlatformBodyCodec::decodeRequest(broken->body)["code"]), "500");
  auto empty = post("/sdkapicoupon/empty", body);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->status, 200);
  EXPECT_TRUE(empty->body.empty());
  EXPECT_TRUE(server->waitForRequests(2, 1));
}

}  // namespace
}  // namespace sim
