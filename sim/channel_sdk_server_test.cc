// The simulated channel SDK server checks what it receives as the real one
// does: form fields decoded, signatures recomputed, users and games known;
// and its fault modes answer as promised.

#include "sim/channel_sdk_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "sim/simulator.h"

namespace {

constexpr const char* kSalt = sim::ChannelSDKServer::kSigningSalt;

class ChannelServer : public ::testing::Test {
 protected:
  // Posts a form to a route; the reply's JSON (nil when it is not JSON).
  kit::Id post(const std::string& route, const std::string& form) {
    httplib::Client client("127.0.0.1", port());
    auto result = client.Post(std::string(sim::ChannelSDKServer::kBasePath) + route, form,
                              "application/x-www-form-urlencoded");
    if (!result) return nullptr;
    lastStatus = result->status;
    return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(result->body));
  }
  int port() const { return std::stoi(server.baseURL().substr(std::string("http://127.0.0.1:").size())); }
  // Logs a platform user in and returns the channel user id.
  std::string logIn(const std::string& uid) {
    auto reply = post("login/index", "game_id=1001&token=s&uid=" + uid + "&channel_code=1&platform_id=256&os_type=2&");
    return kit::describe(reply["data"]["super_user_id"]);
  }
  std::string roleForm(const std::string& user, const std::string& sign) {
    return "super_user_id=" + user + "&game_id=1001&service_id=3&service_name=%E9%9D%92%E9%BE%99&role_id=7" +
           "&role_name=a%2Bb&role_level=9&power_value=1&describe=&money=0&experience=&random=12345&sign=" + sign +
           "&os_type=2&";
  }

  sim::ChannelSDKServer server;
  int lastStatus = 0;
};

TEST_F(ChannelServer, LoginGivesEachPlatformUserOneChannelUser) {
  EXPECT_EQ(logIn("alice"), "99");
  EXPECT_EQ(logIn("bob"), "100");
  EXPECT_EQ(logIn("alice"), "99");
  auto wrongGame = post("login/index", "game_id=2&token=s&uid=x&platform_id=256&os_type=2&");
  EXPECT_EQ(kit::describe(wrongGame["code"]), "400");
  auto noToken = post("login/index", "game_id=1001&uid=x&platform_id=256&os_type=2&");
  EXPECT_EQ(kit::describe(noToken["code"]), "401");
}

TEST_F(ChannelServer, RoleReportsAreCheckedAgainstTheirSignature) {
  std::string user = logIn("alice");
  ASSERT_EQ(user, "99");
  std::string good = sim::md5Hex("99" "1001" "3" "12345" + std::string(kSalt));
  EXPECT_EQ(good, "64a44318df130076b4a8760c34f0fecf");
  auto accepted = post("role/index", roleForm(user, good));
  EXPECT_EQ(kit::describe(accepted["code"]), "200");
  EXPECT_EQ(kit::describe(accepted["data"]["role_id"]), "r1");
  auto requests = server.requestsTo("role/index");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].field("service_name"), "青龙");
  EXPECT_EQ(requests[0].field("role_name"), "a+b");

  auto forged = post("role/index", roleForm(user, std::string(32, '0')));
  EXPECT_EQ(kit::describe(forged["code"]), "403");
  auto stranger = post("role/index", roleForm("5", good));
  EXPECT_EQ(kit::describe(stranger["code"]), "401");
  auto missing = post("role/index", "super_user_id=99&game_id=1001&");
  EXPECT_EQ(kit::describe(missing["code"]), "400");
}

TEST_F(ChannelServer, OrdersAreCheckedAgainstSignaturePackageAndAmount) {
  server.setPackage("com.example.starfleet");
  std::string user = logIn("alice");
  std::string sign = sim::md5Hex(user + "256" "G-0001" "1001" "12345" + std::string(kSalt));
  EXPECT_EQ(sign, "e3a316a7b0255a6b92dfdff8eba6400a");
  auto form = [&](const std::string& package, const std::string& money, const std::string& s) {
    return "good_id=60&good_name=x&platform_id=256&game_id=1001&game_order_sn=G-0001&package=" + package +
           "&super_user_id=" + user + "&power_value=1&money=" + money +
           "&service_id=3&service_name=a&role_id=7&role_name=b&remark=&os_type=2&random=12345&sign=" + s + "&";
  };
  auto accepted = post("order/index", form("com.example.starfleet", "6.00", sign));
  EXPECT_EQ(kit::describe(accepted["code"]), "200");
  EXPECT_EQ(kit::describe(accepted["data"]["order_id"]), "o1");
  EXPECT_EQ(kit::describe(post("order/index", form("com.other", "6.00", sign))["code"]), "400");
  EXPECT_EQ(kit::describe(post("order/index", form("com.example.starfleet", "abc", sign))["code"]), "400");
  EXPECT_EQ(kit::describe(post("order/index", form("com.example.starfleet", "6.00", "bad"))["code"]), "403");
  // The accepted order alone is kept, with what it was placed for.
  auto orders = server.orders();
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].orderId, "o1");
  EXPECT_EQ(orders[0].gameOrder, "G-0001");
  EXPECT_EQ(orders[0].money, "6.00");
  EXPECT_EQ(orders[0].superUserId, user);
}

TEST_F(ChannelServer, FaultModesAnswerAsPromised) {
  server.setFault("init", sim::RouteFault::ServerErrorJSON);
  auto error = post("init", "game_id=1001&");
  EXPECT_EQ(lastStatus, 500);
  EXPECT_EQ(kit::describe(error["code"]), "500");

  server.setFault("init", sim::RouteFault::EmptyBody);
  EXPECT_EQ(post("init", "game_id=1001&"), nullptr);
  EXPECT_EQ(lastStatus, 200);

  server.setFault("init", sim::RouteFault::NotJSON);
  EXPECT_EQ(post("init", "game_id=1001&"), nullptr);

  server.setFault("init", sim::RouteFault::None);
  server.setNotice("维护公告", "今晚停服维护");
  auto notice = post("init", "platform_id=256&game_id=1001&os_type=2&");
  EXPECT_EQ(kit::describe(notice["data"]["notice_data"]["notice_title"]), "维护公告");

  server.setReply("init", R"({"code":"201"})");
  EXPECT_EQ(kit::describe(post("init", "game_id=1001&")["code"]), "201");
  EXPECT_EQ(server.lastReply("init"), R"({"code":"201"})");
}

TEST(Simulator, WritesTheClientConfigurationForItsServices) {
  sim::Simulator simulator;
  auto configuration = simulator.configuration();
  EXPECT_EQ(kit::describe((*configuration)["ChannelSDKServer"]), simulator.channel().baseURL());
  EXPECT_NE(kit::describe((*configuration)["GamePage"]).find("_channel="), std::string::npos);
  auto path = std::filesystem::temp_directory_path() / "sim-services-test.plist";
  ASSERT_TRUE(simulator.writeConfiguration(path.string()));
  auto read = kit::dictionaryWithContentsOfFile(path.string());
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->isEqualToDictionary(*configuration));
  std::filesystem::remove(path);
}

TEST(GamePage, ServesThePageAndComesBackOnTheSamePort) {
  sim::GamePageServer page;
  httplib::Client client("127.0.0.1", page.port());
  auto result = client.Get("/games/1001/index.html?_channel=nuva");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_NE(result->body.find("CallbackFromIOS"), std::string::npos);
  EXPECT_EQ(client.Get("/games/2/index.html")->status, 404);

  int port = page.port();
  page.down();
  EXPECT_FALSE(httplib::Client("127.0.0.1", port).Get("/games/1001/index.html"));
  ASSERT_TRUE(page.up());
  EXPECT_EQ(page.port(), port);
  auto again = httplib::Client("127.0.0.1", port).Get("/games/1001/index.html");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 200);
  EXPECT_EQ(page.requests().size(), 3u);
}

}  // namespace
