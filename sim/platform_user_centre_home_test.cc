// The user centre's home on the simulator's platform server: whose account
// "Home/index" answers with (the one the post names, as the platform
// service holds it at the time, with the balances the pay sheet reads), a
// name it does not know, and the replies tests script over it.
#include "sim/platform_user_centre_home.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <string>
#include <tuple>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "sim/platform_body_codec.h"
#include "sim/platform_service.h"

namespace sim {
namespace {

constexpr const char* kAdvertising = "6D1C6F32-0B7E-4C1A-9F25-3A1B2C3D4E5F";

std::string d(const kit::Id& value) { return kit::describe(value); }

class UserCentreHome : public ::testing::Test {
 protected:
  UserCentreHome() {
    service = std::make_unique<PlatformService>(*server);
    service->setIdentity({"10001", "1001", "k1", "agent7", {"nuva01"}});
    PlatformAccount player;
    player.userName = "player01";
    player.password = "pass123";
    player.platformCoins = 120;
    player.vouchers = "12.50";
    service->addAccount(player);
    home = std::make_unique<PlatformUserCentreHome>(*server, *service);
  }
  ~UserCentreHome() override {
    // The server's answers read the home and the service: it stops first.
    server.reset();
  }

  // "Home/index" as the user centre posts it.
  kit::Id homeOf(const std::string& userName) {
    httplib::Client client("127.0.0.1", server->port());
    auto result = client.Post("/sdkapicoupon/Home/index", "username=" + userName + "&gid=1001",
                              "application/x-www-form-urlencoded");
    if (!result) return nullptr;
    return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(result->body), 0);
  }
  // A scrambled post, as the account and pay clients send them.
  kit::Id post(const std::string& endpoint, const kit::Id& parameters) {
    httplib::Client client("127.0.0.1", server->port());
    auto result = client.Post(("/sdkapicoupon/" + endpoint).c_str(), PlatformBodyCodec::encodeReply(parameters),
                              "text/html");
    return result ? PlatformBodyCodec::decodeRequest(result->body) : nullptr;
  }
  // The pay sheet's pay ways reply for a player.
  kit::Id payWaysOf(const std::string& userName) {
    return post("pay/getPayWayios", kit::dict({{"zz", kit::Id(kit::str(userName))}, {"z", "10001"}, {"b", "1001"},
                                               {"bb", "agent7"}, {"os", "ios"}}));
  }

  std::unique_ptr<PlatformAPIServer> server = PlatformAPIServer::start();
  std::unique_ptr<PlatformService> service;
  std::unique_ptr<PlatformUserCentreHome> home;
};

TEST_F(UserCentreHome, EachPlayerSeesTheirOwnNameAndTheBalancesThePaySheetReads) {
  // A player who has just registered, and the stored one.
  kit::Id registered = post("login/register", kit::dict({{"z", "newbie88"}, {"b", "secret1"}, {"c", "3"},
                                                         {"d", "1001"}, {"e", kAdvertising}, {"f", "agent7"},
                                                         {"x", "10001"}, {"h", "12.4"}}));
  ASSERT_EQ(d(registered["z"]), "1") << d(registered);
  for (const auto& [name, coins, vouchers] : {std::tuple{"newbie88", "0", "0.00"}, {"player01", "120", "12.50"}}) {
    SCOPED_TRACE(name);
    kit::Id reply = homeOf(name);
    ASSERT_EQ(d(reply["a"]), "1") << d(reply);
    kit::Id player = reply["c"]["uinfo"];
    EXPECT_EQ(d(player["nicename"]), name);
    EXPECT_EQ(d(player["money"]), coins);
    EXPECT_EQ(d(player["djq"]), vouchers);
    EXPECT_EQ(d(player["avatar"]), home->avatarURL());
    // The pay sheet shows the same account's balances.
    kit::Id ways = payWaysOf(name);
    ASSERT_EQ(d(ways["code"]), "1") << d(ways);
    EXPECT_EQ(d(ways["ttb"]), d(player["money"]));
    EXPECT_DOUBLE_EQ(std::stod(d(ways["djq"])), std::stod(d(player["djq"])));
  }
}

TEST_F(UserCentreHome, ANameNobodyHasShowsNoAccountAndScriptedRepliesWin) {
  for (const std::string& name : {"nobody1", ""}) {
    EXPECT_EQ(d(homeOf(name)), d(kit::dict({{"a", "0"}, {"c", PlatformUserCentreHome::kUnknownPlayer}}))) << name;
  }
  home->setCodeAsNumber(true);
  EXPECT_TRUE(kit::as<kit::Number>(homeOf("nobody1")["a"]));
  // The test's own "c" is every player's.
  home->setHomeData(kit::dict({{"uinfo", kit::dict({{"nicename", "p"}})}}));
  EXPECT_EQ(d(homeOf("nobody1")["c"]["uinfo"]["nicename"]), "p");
  home->setHomeReply(kit::dict({{"a", "2"}}));
  EXPECT_EQ(d(homeOf("player01")), d(kit::dict({{"a", "2"}})));
}

}  // namespace
}  // namespace sim
