// The simulator's user-centre services: the red-dot counts and their "a"
// forms, the feedback page, the ball's icon (a round picture or 404) with its raw
// query, the user page's real-name redirect, the chat host, and the
// simulator's configuration entry for it.
#include "sim/platform_user_centre.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include "config/client_configuration.h"
#include "kit/foundation/array.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image.h"
#include "sim/simulator.h"

namespace sim {
namespace {

class UserCentreServices : public ::testing::Test {
 protected:
  kit::Id redCounts() {
    httplib::Client client("127.0.0.1", server->port());
    auto result = client.Post("/sdkapicoupon/Home/number", "username=player01&gid=1001",
                              "application/x-www-form-urlencoded");
    if (!result) return nullptr;
    return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(result->body), 0);
  }
  httplib::Result get(const std::string& target, int port = 0) {
    httplib::Client client("127.0.0.1", port ? port : server->port());
    client.set_url_encode(false);  // the icon's query goes out as it is
    return client.Get(target.c_str());
  }

  std::unique_ptr<PlatformAPIServer> server = PlatformAPIServer::start();
  std::unique_ptr<PlatformUserCentre> centre = std::make_unique<PlatformUserCentre>(*server);

  void TearDown() override {
    server.reset();
    centre.reset();
  }
};

TEST_F(UserCentreServices, RedCountsAnswerAsScripted) {
  centre->setRedCounts(3, 0, 2);
  auto reply = redCounts();
  EXPECT_EQ(kit::describe(kit::JSONSerialization::dataWithJSONObject(reply, 0)),
            kit::describe(kit::JSONSerialization::dataWithJSONObject(
                kit::dict({{"a", "1"},
                           {"c", kit::dict({{"posts", kit::dict({{"log", 3}})},
                                            {"card", kit::dict({{"total", 0}, {"log", 2}})}})}}),
                0)));
  centre->setRedCountCodeAsNumber(true);
  EXPECT_TRUE(kit::as<kit::Number>(kit::as<kit::Dictionary>(redCounts())->objectForKey("a")));
  centre->setRedCountReply(kit::array({"1"}));
  EXPECT_TRUE(kit::as<kit::Array>(redCounts()));
  auto requests = server->requestsTo("Home/number");
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].formValue("username").value_or(""), "player01");
  EXPECT_EQ(requests[0].formValue("gid").value_or(""), "1001");

  server->setFault("Home/number", RouteFault::NotJSON);
  EXPECT_EQ(redCounts(), nullptr);
}

TEST_F(UserCentreServices, PagesIconAndRedirect) {
  auto feedback = get("/sdkapicoupon/Servicesdk/feedback?username=p%3C1");
  ASSERT_TRUE(feedback);
  EXPECT_NE(feedback->body.find("<title>问题反馈</title>"), std::string::npos);
  EXPECT_NE(feedback->body.find("p&lt;1"), std::string::npos);

  auto icon = get("/appview/kefu/sdk_floaticon?ag=agent7&time+1700000000");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->status, 200);
  EXPECT_EQ(icon->get_header_value("Content-Type"), "image/png");
  // A round ball of 60 points at scale 2 on a clear ground: the corners are
  // clear, the ball is opaque and not one flat colour.
  auto ball = kit::Image::withData(
      std::span(reinterpret_cast<const uint8_t*>(icon->body.data()), icon->body.size()));
  ASSERT_TRUE(ball && ball->bitmap());
  const kit::Bitmap& pixels = *ball->bitmap();
  ASSERT_EQ(pixels.width(), 120u);
  ASSERT_EQ(pixels.height(), 120u);
  for (size_t x : {0u, 6u, 113u, 119u}) {
    for (size_t y : {0u, 6u, 113u, 119u}) EXPECT_EQ(pixels.pixelAt(x, y).a, 0) << x << "," << y;
  }
  EXPECT_EQ(pixels.pixelAt(60, 60).a, 255);
  EXPECT_EQ(pixels.pixelAt(20, 60).a, 255);
  EXPECT_EQ(pixels.pixelAt(60, 100).a, 255);
  EXPECT_NE(pixels.pixelAt(60, 60), pixels.pixelAt(60, 100)) << "the ball carries a mark";
  centre->setFloatIconAvailable(false);
  EXPECT_EQ(get("/appview/kefu/sdk_floaticon?ag=agent7&time+1")->status, 404);
  EXPECT_EQ(centre->floatIconQueries(),
            (std::vector<std::string>{"ag=agent7&time+1700000000", "ag=agent7&time+1"}));

  auto user = get("/appview/User/sdkuser?username=a");
  EXPECT_NE(user->body.find("<title>用户中心</title>"), std::string::npos);
  auto verified = get("/appview/User/sdkuser?rz=1");
  EXPECT_EQ(verified->status, 302);
  EXPECT_NE(verified->get_header_value("Location").find("identifySuccess"), std::string::npos);
}

TEST_F(UserCentreServices, ChatHostServesTheChatPage) {
  const std::string host = centre->chatHost();
  ASSERT_EQ(host.rfind("http://127.0.0.1:", 0), 0u);
  const int port = std::stoi(host.substr(std::string("http://127.0.0.1:").size()));
  auto chat = get("/robot/h5chat.html?sysNum=1&receiveId=&sourceId=2", port);
  ASSERT_TRUE(chat);
  EXPECT_NE(chat->body.find("tolcopy://"), std::string::npos);
  EXPECT_EQ(centre->chatQueries(), (std::vector<std::string>{"sysNum=1&receiveId=&sourceId=2"}));
}

TEST(SimulatorUserCentre, ConfigurationNamesTheChatHost) {
  Simulator simulator;
  auto entries = simulator.configuration();
  EXPECT_EQ(kit::describe(entries->objectForKey(ClientConfiguration::kPlatformChatHost)),
            simulator.userCentre().chatHost());
}

}  // namespace
}  // namespace sim
