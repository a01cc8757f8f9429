// The channel HTTP helper against a real server on 127.0.0.1: the GET URL
// as it goes out, the callback queues, bodies that are not JSON, time-outs
// and refused connections with their texts and HUD, and form bodies that
// arrive as they were sent.

#include "channel/core/nuva_network_manager.h"

#include <gtest/gtest.h>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

// What one request's callbacks saw.
struct Outcome {
  bool done = false;
  bool succeeded = false;
  bool onMain = false;
  kit::Id reply;
  kit::Ref<kit::String> error;
};

NUVANetworkManager::Success recordSuccess(Outcome& o) {
  return [&o](kit::Id reply) {
    o.onMain = kit::RunLoop::isMainThread();
    o.reply = reply;
    o.succeeded = true;
    o.done = true;
  };
}

NUVANetworkManager::Failure recordFailure(Outcome& o) {
  return [&o](kit::Ref<kit::String> error) {
    o.onMain = kit::RunLoop::isMainThread();
    o.error = error;
    o.done = true;
  };
}

// Counts the status HUD's appearances and keeps the texts it showed.
struct HUDWatch {
  std::vector<std::string> shown;
  kit::Id token;
  HUDWatch() {
    token = kit::NotificationCenter::defaultCenter()->addObserverForName(
        NUVAProgressHUDWillAppearNotification, nullptr, [this](const kit::Ref<kit::Notification>& n) {
          shown.push_back(n->userInfo() ? kit::describe((*n->userInfo())[NUVAProgressHUDStatusUserInfoKey]) : "");
        });
  }
  ~HUDWatch() { kit::NotificationCenter::defaultCenter()->removeObserver(token); }
};

class NetworkManager : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::Application::shared()->reset();
    window = kit::Window::make();
    window->setRootViewController(kit::make<kit::ViewController>());
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    NUVAProgressHUD::dismiss();
    window = nullptr;
    kit::Application::shared()->reset();
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;
  std::unique_ptr<TestServer> server = TestServer::startHTTP();
};

TEST(NetworkManagerForms, FormTextKeepsOrderAndTheTrailingAmpersand) {
  EXPECT_EQ(NUVANetworkManager::dealWithParam(kit::dict({{"a", 1}}))->utf8(), "a=1&");
  EXPECT_EQ(NUVANetworkManager::dealWithParam(kit::dict({{"z", "x y"}, {"a", "中"}}))->utf8(), "z=x y&a=中&");
  EXPECT_EQ(NUVANetworkManager::dealWithParam(kit::dict())->utf8(), "");
  EXPECT_EQ(NUVANetworkManager::dealWithParam(nullptr)->utf8(), "");
  EXPECT_EQ(NUVANetworkManager::formBodyWithParam(kit::dict({{"v", "a&b=c 中"}, {"w", "x+y"}}))->utf8(),
            "v=a%26b%3Dc%20%E4%B8%AD&w=x%2By&");
}

TEST(NetworkManagerForms, ErrorTextsByCode) {
  EXPECT_EQ(NUVANetworkManager::showErrorInfoWithStatusCode(-1001)->utf8(), "网络请求超时，请稍后重试！");
  EXPECT_EQ(NUVANetworkManager::showErrorInfoWithStatusCode(-1004)->utf8(), "服务器连接失败！");
  EXPECT_EQ(NUVANetworkManager::showErrorInfoWithStatusCode(500)->utf8(), "服务器异常！");
  EXPECT_EQ(NUVANetworkManager::showErrorInfoWithStatusCode(401), nullptr);
  for (long other : {0L, -1006L, -1011L, 404L}) {
    EXPECT_EQ(NUVANetworkManager::showErrorInfoWithStatusCode(other)->utf8(), "网络请求发生未知错误，请稍后再试！");
  }
}

TEST(NetworkManagerForms, DeleteNullEmptiesNullsAndNullTextsOnly) {
  auto source = kit::dict({{"a", kit::null()}, {"b", "(null)"}, {"c", "text"}, {"d", 5}});
  auto cleaned = NUVADealNull::deleteNull(*source);
  EXPECT_EQ(kit::describe((*cleaned)["a"]), "");
  EXPECT_EQ(kit::describe((*cleaned)["b"]), "");
  EXPECT_EQ(kit::describe((*cleaned)["c"]), "text");
  EXPECT_EQ(kit::describe((*cleaned)["d"]), "5");
  EXPECT_TRUE(kit::isKind<kit::Null>((*source)["a"]));  // the receiver is unchanged
}

TEST_F(NetworkManager, GetAppendsParamsAsTheyAreAndEncodesTheWholeURL) {
  server->route("GET", "/x", TestResponse::json(R"({"code":"200"})"));
  Outcome o;
  NUVANetworkManager::getWithURL(kit::str(server->url("/x?x=1")), kit::dict({{"y", 2}}), recordSuccess(o),
                                 recordFailure(o));
  ASSERT_TRUE(kit::test::runUntil([&] { return o.done; }));
  ASSERT_TRUE(o.succeeded);
  EXPECT_EQ(server->requests().back().query, "x=1y=2&");

  Outcome escaped;
  NUVANetworkManager::getWithURL(kit::str(server->url("/x?name=a%20b#frag&city=北京")), nullptr,
                                 recordSuccess(escaped), recordFailure(escaped));
  ASSERT_TRUE(kit::test::runUntil([&] { return escaped.done; }));
  // An escape already in the URL is kept; only what the query may not hold
  // is escaped.
  EXPECT_EQ(server->requests().back().query, "name=a%20b%23frag&city=%E5%8C%97%E4%BA%AC");

  // A query built value by value goes out exactly as built: every value is
  // encoded once, and a "%" that is no escape is still escaped.
  Outcome built;
  auto url = NUVANetworkManager::queryURL(
      kit::str(server->url("/x")),
      {{"role_id", kit::str("r 1/青龙%")}, {"server_id", kit::str("3&game_id=7")}, {"level", kit::str("3 区+r")}});
  NUVANetworkManager::getWithURL(url, nullptr, recordSuccess(built), recordFailure(built));
  ASSERT_TRUE(kit::test::runUntil([&] { return built.done; }));
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"role_id", "r 1/青龙%"}, {"server_id", "3&game_id=7"}, {"level", "3 区+r"}};
  EXPECT_EQ(server->requests().back().form, fields);
  Outcome bare;
  NUVANetworkManager::getWithURL(kit::str(server->url("/x?p=100%&q=%zz%4")), nullptr, recordSuccess(bare),
                                 recordFailure(bare));
  ASSERT_TRUE(kit::test::runUntil([&] { return bare.done; }));
  EXPECT_EQ(server->requests().back().query, "p=100%25&q=%25zz%254");
}

TEST_F(NetworkManager, AQueryValueArrivesAsOneArgumentWhateverItHolds) {
  server->route("GET", "/q", TestResponse::json(R"({"code":"200"})"));
  Outcome o;
  NUVANetworkManager::getWithQuery(kit::str(server->url("/q")),
                                   {{"game_id", kit::str("1001")},
                                    {"server_id", kit::str("3&game_id=7")},
                                    {"role_id", nullptr},
                                    {"name", kit::str("凌霄 100%+1#a")},
                                    {"level", kit::num(12)}},
                                   recordSuccess(o), recordFailure(o));
  ASSERT_TRUE(kit::test::runUntil([&] { return o.done; }));
  ASSERT_TRUE(o.succeeded && o.onMain);
  const auto sent = server->requests().back();
  // Ids and "(null)" go out as they are; delimiters inside a value do not
  // split it, and nothing is escaped twice.
  EXPECT_EQ(sent.query,
            "game_id=1001&server_id=3%26game_id%3D7&role_id=(null)&name=%E5%87%8C%E9%9C%84%20100%25%2B1%23a&level=12");
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"game_id", "1001"}, {"server_id", "3&game_id=7"}, {"role_id", "(null)"}, {"name", "凌霄 100%+1#a"}, {"level", "12"}};
  EXPECT_EQ(sent.form, fields);
  EXPECT_EQ(NUVANetworkManager::queryURL(kit::str("http://h/p"), {})->utf8(), "http://h/p");
}

TEST_F(NetworkManager, GetAnswersOnMainWithTheBodyWhateverTheStatus) {
  server->route("GET", "/error", TestResponse::json(R"({"code":"500","msg":"内部错误"})", 500));
  server->route("GET", "/empty", TestResponse::json("", 200));
  server->route("GET", "/html", TestResponse::text("<html>bad gateway</html>", 502));
  Outcome error, empty, html;
  NUVANetworkManager::getWithURL(kit::str(server->url("/error")), nullptr, recordSuccess(error), recordFailure(error));
  NUVANetworkManager::getWithURL(kit::str(server->url("/empty")), nullptr, recordSuccess(empty), recordFailure(empty));
  NUVANetworkManager::getWithURL(kit::str(server->url("/html")), nullptr, recordSuccess(html), recordFailure(html));
  ASSERT_TRUE(kit::test::runUntil([&] { return error.done && empty.done && html.done; }));
  EXPECT_TRUE(error.succeeded && error.onMain);
  EXPECT_EQ(kit::describe(error.reply["msg"]), "内部错误");
  EXPECT_TRUE(empty.succeeded && empty.onMain);
  EXPECT_EQ(empty.reply, nullptr);
  EXPECT_TRUE(html.succeeded);
  EXPECT_EQ(html.reply, nullptr);
}

TEST_F(NetworkManager, PostAnswersOnTheSessionQueueAndSendsValuesIntact) {
  server->route("POST", "/order", TestResponse::json(R"({"code":"200","data":{"order_id":"o1"}})"));
  Outcome o;
  auto params = kit::dict({{"good_name", "a&b=c 中"}, {"money", "x+y"}, {"count", 3}});
  NUVANetworkManager::PostWithURL(kit::str(server->url("/order")), params, recordSuccess(o), recordFailure(o));
  ASSERT_TRUE(kit::test::runUntil([&] { return o.done; }));
  ASSERT_TRUE(o.succeeded);
  EXPECT_FALSE(o.onMain);
  EXPECT_EQ(kit::describe(o.reply["data"]["order_id"]), "o1");

  const auto request = server->requests().back();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
  EXPECT_EQ(request.formValue("good_name"), "a&b=c 中");
  EXPECT_EQ(request.formValue("money"), "x+y");
  EXPECT_EQ(request.formValue("count"), "3");
}

TEST_F(NetworkManager, PostTimeoutFailsAfterThreeSecondsAndShowsTheTextInTheHUD) {
  TestResponse silent;
  silent.silent = true;
  server->route("POST", "/slow", silent);
  HUDWatch hud;
  kit::VirtualClock clock;
  Outcome o;
  NUVANetworkManager::PostWithURL(kit::str(server->url("/slow")), kit::dict({{"a", 1}}), recordSuccess(o),
                                  recordFailure(o));
  ASSERT_TRUE(server->waitForRequests(1, 10));
  clock.advance(2.9);
  EXPECT_FALSE(o.done) << "timed out before three seconds";
  clock.advance(0.2);
  ASSERT_TRUE(kit::test::runUntil([&] { return o.done; }));
  EXPECT_FALSE(o.succeeded);
  EXPECT_FALSE(o.onMain);
  ASSERT_TRUE(o.error);
  EXPECT_EQ(o.error->utf8(), "网络请求超时，请稍后重试！");
  ASSERT_TRUE(kit::test::runUntil([&] { return !hud.shown.empty(); }));
  EXPECT_EQ(hud.shown.back(), "网络请求超时，请稍后重试！");
}

TEST_F(NetworkManager, RefusedConnectionsMapToTheirTextsAndOnlyPostShowsTheHUD) {
  int port = server->port();
  server->stop();
  std::string url = "http://127.0.0.1:" + std::to_string(port) + "/gone";
  HUDWatch hud;
  Outcome get;
  NUVANetworkManager::getWithURL(kit::str(url), nullptr, recordSuccess(get), recordFailure(get));
  ASSERT_TRUE(kit::test::runUntil([&] { return get.done; }));
  EXPECT_FALSE(get.succeeded);
  EXPECT_TRUE(get.onMain);
  EXPECT_EQ(get.error->utf8(), "服务器连接失败！");
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_TRUE(hud.shown.empty());

  Outcome post;
  NUVANetworkManager::PostWithURL(kit::str(url), nullptr, recordSuccess(post), recordFailure(post));
  ASSERT_TRUE(kit::test::runUntil([&] { return post.done && !hud.shown.empty(); }));
  EXPECT_EQ(post.error->utf8(), "服务器连接失败！");
  EXPECT_EQ(hud.shown.back(), "服务器连接失败！");
}

TEST_F(NetworkManager, AConnectionClosedMidBodyIsAFailure) {
  auto cut = TestResponse::json(R"({"code":"200","msg":"a long enough body to be cut in half"})");
  cut.closeMidBody = true;
  server->route("POST", "/cut", cut);
  HUDWatch hud;
  Outcome o;
  NUVANetworkManager::PostWithURL(kit::str(server->url("/cut")), nullptr, recordSuccess(o), recordFailure(o));
  ASSERT_TRUE(kit::test::runUntil([&] { return o.done; }));
  EXPECT_FALSE(o.succeeded);
  ASSERT_TRUE(o.error);
  EXPECT_EQ(o.error->utf8(), "连接丢失，请稍后重试！");
  // The HUD comes a few main-queue steps after the callback: it shows in
  // this test, not in the next one's watch.
  ASSERT_TRUE(kit::test::runUntil([&] { return !hud.shown.empty(); }));
  EXPECT_EQ(hud.shown, std::vector<std::string>{"连接丢失，请稍后重试！"});
}

TEST_F(NetworkManager, AURLThatCannotBeMadeFailsAsUnsupportedOnEachRequestsOwnQueue) {
  HUDWatch hud;
  // An earlier test's HUD may still be on its way: count this test's text.
  auto unsupportedShown = [&] {
    int n = 0;
    for (const auto& text : hud.shown) n += text == "不支持的URL！";
    return n;
  };
  Outcome noURL, otherScheme;
  NUVANetworkManager::getWithURL(nullptr, nullptr, recordSuccess(noURL), recordFailure(noURL));
  NUVANetworkManager::getWithURL(kit::str("ftp://127.0.0.1/file"), nullptr, recordSuccess(otherScheme),
                                 recordFailure(otherScheme));
  EXPECT_FALSE(noURL.done) << "the answer comes later, never inside the call";
  ASSERT_TRUE(kit::test::runUntil([&] { return noURL.done && otherScheme.done; }));
  for (const Outcome* get : {&noURL, &otherScheme}) {
    EXPECT_FALSE(get->succeeded);
    EXPECT_TRUE(get->onMain);
    ASSERT_TRUE(get->error);
    EXPECT_EQ(get->error->utf8(), "不支持的URL！");
  }
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(unsupportedShown(), 0);

  Outcome post;
  NUVANetworkManager::PostWithURL(kit::str("http://no spaces allowed/x"), kit::dict({{"a", 1}}), recordSuccess(post),
                                  recordFailure(post));
  ASSERT_TRUE(kit::test::runUntil([&] { return post.done && unsupportedShown() == 1; }));
  EXPECT_FALSE(post.succeeded);
  EXPECT_FALSE(post.onMain);
  EXPECT_EQ(post.error->utf8(), "不支持的URL！");
  EXPECT_TRUE(server->requests().empty());
}

}  // namespace
