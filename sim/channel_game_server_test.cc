// The simulated channel game server answers as scripted and checks what it
// receives as the real one does: methods, required fields, the game id and
// the channel user's token; claims use up a reward; queued replies, faults
// and the request log.

#include "sim/channel_game_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <tuple>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "sim/simulator.h"

namespace {

using Store = sim::ChannelGameServer::Store;

class GameServer : public ::testing::Test {
 protected:
  kit::Id get(const std::string& routeAndQuery) {
    httplib::Client client("127.0.0.1", port());
    auto result = client.Get(std::string(sim::ChannelGameServer::kBasePath) + routeAndQuery);
    return reply(result);
  }
  kit::Id post(const std::string& route, const std::string& form) {
    httplib::Client client("127.0.0.1", port());
    auto result = client.Post(std::string(sim::ChannelGameServer::kBasePath) + route, form,
                              "application/x-www-form-urlencoded");
    return reply(result);
  }
  kit::Id reply(const httplib::Result& result) {
    if (!result) return nullptr;
    lastStatus = result->status;
    return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(result->body));
  }
  int port() const { return std::stoi(server.baseURL().substr(std::string("http://127.0.0.1:").size())); }
  static std::string status(const kit::Id& reply) { return kit::describe(reply["status"]); }

  sim::ChannelGameServer server;
  int lastStatus = 0;
};

TEST_F(GameServer, TheMenuCarriesItsIdsTimesAndLevelRanges) {
  auto menu = get("menu/new?game_id=1001&server_id=3");
  EXPECT_EQ(status(menu), "200");
  EXPECT_EQ(kit::describe(menu["data"]), kit::describe(kit::array({"1", "2", "4", "8"})));

  sim::ChannelGameServer::MenuTimes times;
  times.timeShopRefresh = "90";
  times.shopTime = "5";
  times.levelList = {"10,20", "30,40"};
  server.setMenu({"3"}, times);
  menu = get("menu/new?game_id=1001&server_id=3");
  EXPECT_EQ(kit::describe(menu["data"]), kit::describe(kit::array({"3"})));
  EXPECT_EQ(kit::describe(menu["time"]["time_shop_refresh"]), "90");
  EXPECT_EQ(kit::describe(menu["time"]["shop_time"]), "5");
  EXPECT_EQ(kit::describe(menu["time"]["luck_time"]), "30");
  EXPECT_EQ(kit::describe(menu["time"]["level_list"][1]), "30,40");

  auto requests = server.requestsTo("menu/new");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].query, "game_id=1001&server_id=3");
  EXPECT_EQ(requests[0].field("server_id"), "3");
}

TEST_F(GameServer, EscapedQueryValuesArriveAsOneValue) {
  // A value holding "&" and "=" stays one value: the game id is not
  // replaced and no argument is added.
  auto menu = get("menu/new?game_id=1001&server_id=3%26game_id%3D7");
  EXPECT_EQ(status(menu), "200");
  auto report = get("levelstore/report?server_id=%E9%9D%92%E9%BE%99&role_id=(null)x&platform_id=256&game_id=1001"
                    "&level=15%2B1");
  EXPECT_EQ(status(report), "200");
  auto requests = server.requestsTo("menu/new");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].field("server_id"), "3&game_id=7");
  EXPECT_EQ(requests[0].field("game_id"), "1001");
  EXPECT_EQ(requests[0].fields.size(), 2u);
  auto reports = server.requestsTo("levelstore/report");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].field("server_id"), "青龙");
  EXPECT_EQ(reports[0].field("level"), "15+1");
}

TEST_F(GameServer, RequestsAreCheckedLikeTheRealServerDoes) {
  EXPECT_EQ(status(get("menu/new?game_id=1001")), "400");
  EXPECT_EQ(status(get("menu/new?game_id=1001&server_id=(null)")), "400");
  EXPECT_EQ(status(get("menu/new?game_id=7&server_id=3")), "400");
  EXPECT_EQ(status(post("menu/new", "game_id=1001&server_id=3&")), "405");
  EXPECT_EQ(status(get("gmstore/status?game_id=1001&token=t&super_user_id=99&role_id=r1")), "405");
  EXPECT_EQ(status(get("luck/index?game_id=1001&role_id=r1&server_id=3&time=week")), "400");
  EXPECT_EQ(status(get("levelstore/report?server_id=3&role_id=r1&game_id=1001&level=15")), "400");
  EXPECT_EQ(status(get("levelstore/report?server_id=3&role_id=r1&platform_id=256&game_id=1001&level=15")), "200");
  EXPECT_EQ(lastStatus, 200);

  server.setTokenCheck([](const std::string& user, const std::string& token) { return user == "99" && token == "t"; });
  EXPECT_EQ(status(post("gmstore/status", "game_id=1001&token=x&super_user_id=99&role_id=r1&")), "401");
  EXPECT_EQ(status(post("gmstore/status", "game_id=1001&super_user_id=99&role_id=r1&")), "400");
  EXPECT_EQ(status(post("gmstore/status", "game_id=1001&token=t&super_user_id=99&role_id=r1&")), "200");
}

TEST_F(GameServer, GoodsAndClaimStatusPerStore) {
  auto gm = get("gmstore/goodsnew?game_id=1001&role_id=r1");
  EXPECT_EQ(status(gm), "200");
  EXPECT_EQ(kit::describe(gm["data"]["list"][0][1]["id"]), "12");
  // Every sample gift can be claimed and shown: its ids, a served icon and
  // the texts of the description panels.
  for (auto [route, level, desc] : {std::tuple{"gmstore/goodsnew", "gm_id", "gm_desc"},
                                    std::tuple{"vipstore/goodsnew", "vip_id", "vip_desc"}}) {
    auto list = kit::as<kit::Array>(get(std::string(route) + "?game_id=1001&role_id=r1")["data"]["list"]);
    ASSERT_TRUE(list && list->count() > 0) << route;
    for (const auto& category : *kit::as<kit::Array>(list)) {
      for (const auto& gift : *kit::as<kit::Array>(category)) {
        kit::Id entry = gift;
        for (const char* key : {"id", level, "gift_id", "gift_name", "gift_desc", desc}) {
          EXPECT_TRUE(kit::isSet(entry[key])) << route << " " << key;
        }
        const std::string icon = kit::describe(entry["gift_icon"]);
        ASSERT_EQ(icon.rfind(server.baseURL(), 0), 0u) << icon;
        httplib::Client client("127.0.0.1", port());
        auto picture = client.Get(icon.substr(icon.find('/', std::string("http://").size())).c_str());
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->get_header_value("Content-Type"), "image/png") << icon;
      }
    }
  }
  server.setGoods(Store::VIP, "[]");
  auto vip = get("vipstore/goodsnew?game_id=1001&role_id=r1");
  EXPECT_EQ(kit::describe(vip["data"]), kit::describe(kit::array()));

  server.setClaimStatus(Store::GM, {{"12", "1"}});
  auto claimed = post("gmstore/status", "game_id=1001&token=t&super_user_id=99&role_id=r1&");
  EXPECT_EQ(kit::describe(claimed["12"]), "1");
  auto vipClaimed = post("vipstore/status", "game_id=1001&token=t&super_user_id=99&role_id=r1&");
  EXPECT_EQ(vipClaimed["12"], nullptr);

  server.setResourceGoods("[]");
  auto hall = get("infiniteres/goodsnew?game_id=1001&role_id=r1&server_id=3");
  EXPECT_EQ(status(hall), "200");
  EXPECT_EQ(kit::describe(hall["data"]), kit::describe(kit::array()));
}

TEST_F(GameServer, TheStoresPacksAndPicturesAreServed) {
  auto time = get("timestore/goodsnew?game_id=1001&role_id=r1&server_id=(null)");
  EXPECT_EQ(status(time), "200");
  EXPECT_EQ(kit::describe(time["data"]["list"][0]["is_all_fixed"]), "1");
  EXPECT_EQ(status(get("timestore/goodsnew?game_id=1001&server_id=3")), "400");
  server.setLevelStorePacks(R"({"notice_content":"x","list":[]})");
  auto level = get("levelstore/goodsnew?server_id=3&role_id=r1&platform_id=256&game_id=1001&level=15");
  EXPECT_EQ(kit::describe(level["data"]["notice_content"]), "x");
  EXPECT_EQ(status(get("levelstore/goodsnew?server_id=3&role_id=r1&game_id=1001&level=15")), "400");

  httplib::Client client("127.0.0.1", port());
  const std::string base = "http://127.0.0.1:" + std::to_string(port());
  auto icon = client.Get(server.itemIconURL(2).substr(base.size()));
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(icon->body.substr(1, 3), "PNG");
  auto gif = client.Get(server.adPictureURL().substr(base.size()));
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->body.substr(0, 6), "GIF89a");
}

TEST_F(GameServer, OrdersAreCheckedForTheirRandomAndTheirSign) {
  auto form = [](const std::string& route, const std::string& random, const std::string& sign) {
    std::string body = "super_user_id=99&game_id=1001&service_id=3&service_name=a&role_id=r1&role_name=b&good_id=7&";
    if (route == "charge/order") body += "remark=7%7C5%7C0%7C0%7C0&";
    return body + "random=" + random + "&sign=" + sign + "&";
  };
  const std::string key = sim::ChannelGameServer::kOrderSigningKey;
  const std::string giftSign = sim::md5Hex("99" "1001" "3" "r1" "7" "7|5|0|0|0" "12345" + key);
  const std::string levelSign = sim::md5Hex("99" "1001" "3" "r1" "7" "12345" + key);
  EXPECT_EQ(giftSign, "45fc5f5e73df815e93c948de7aa4d5d6");
  EXPECT_EQ(levelSign, "0f4cce47738b460907ac08f1d5293fba");

  auto gift = post("charge/order", form("charge/order", "12345", giftSign));
  EXPECT_EQ(status(gift), "200");
  EXPECT_EQ(kit::describe(gift["data"]["order_id"]), "88");
  EXPECT_TRUE(kit::isKind<kit::Number>(gift["data"]["order_id"]));
  EXPECT_EQ(kit::describe(gift["data"]["remark"]), "7|5|0|0|0");
  auto level = post("charge/levelorder", form("charge/levelorder", "12345", levelSign));
  EXPECT_EQ(status(level), "200");
  EXPECT_EQ(kit::describe(level["data"]["order_id"]), "89");

  // A level sign does not pass for a pack order, nor a wrong random.
  EXPECT_EQ(status(post("charge/order", form("charge/order", "12345", levelSign))), "403");
  EXPECT_FALSE(kit::describe(post("charge/order", form("charge/order", "12345", levelSign))["msg"]).empty());
  EXPECT_EQ(status(post("charge/levelorder", form("charge/levelorder", "12346", levelSign))), "403");
  EXPECT_EQ(status(post("charge/order", form("charge/order", "1234", giftSign))), "400");
  EXPECT_EQ(status(post("charge/order", form("charge/order", "01234", giftSign))), "400");
  EXPECT_EQ(status(post("charge/order", "super_user_id=99&game_id=1001&")), "400");
  EXPECT_EQ(status(get("charge/order?super_user_id=99")), "405");
  auto recorded = server.requestsTo("charge/order");
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ(recorded[0].method, "POST");
  EXPECT_EQ(recorded[0].field("remark"), "7|5|0|0|0");
  EXPECT_NE(recorded[0].rawBody.find("remark=7%7C5"), std::string::npos);
}

TEST_F(GameServer, ResourceOrdersAreSignedLikeLevelOrders) {
  const std::string key = sim::ChannelGameServer::kOrderSigningKey;
  const std::string sign = sim::md5Hex("99" "1001" "3" "r1" "5" "12345" + key);
  EXPECT_EQ(sign, "fd37f0da5b3e91c71252b763e4d2b375");
  const std::string body = "super_user_id=99&game_id=1001&service_id=3&service_name=a&role_id=r1&role_name=b&good_id=5&";
  auto order = post("charge/resorder", body + "random=12345&sign=" + sign);
  EXPECT_EQ(status(order), "200");
  EXPECT_EQ(kit::describe(order["data"]["order_id"]), "88");
  auto refused = post("charge/resorder", body + "random=12346&sign=" + sign);
  EXPECT_EQ(status(refused), "403");
  EXPECT_FALSE(kit::describe(refused["msg"]).empty());
  EXPECT_EQ(status(post("charge/resorder", body + "random=123&sign=" + sign)), "400");

  // The server keeps the orders it numbered, and only those: not a refused
  // one, nor one a scripted reply answered.
  server.queueReply("charge/resorder", R"({"status":"200","msg":"ok","data":{"order_id":7}})");
  EXPECT_EQ(kit::describe(post("charge/resorder", body + "random=12345&sign=" + sign)["data"]["order_id"]), "7");
  const auto numbered = server.numberedOrders();
  ASSERT_EQ(numbered.size(), 1u);
  EXPECT_EQ(numbered[0].route, "charge/resorder");
  EXPECT_EQ(numbered[0].orderId, "88");
  EXPECT_EQ(numbered[0].goodId, "5");
}

TEST_F(GameServer, TheHallsClaimsAndWheelsKeepTheirCounts) {
  const std::string query = "game_id=1001&role_id=r1&server_id=3";
  EXPECT_EQ(status(get("infiniteres/getwelfare?" + query + "&good_id=5")), "200");
  EXPECT_EQ(status(get("infiniteres/getwelfare?" + query + "&good_id=5")), "500");
  EXPECT_EQ(status(get("infiniteres/getcoin?" + query)), "400");
  EXPECT_EQ(server.goodsClaims(), std::vector<std::string>{"welfare|5"});
  // The claim added five spins to the sample's ten.
  auto wheel = get("infiniteres/welfareturntable?" + query);
  EXPECT_EQ(kit::describe(wheel["data"]["user_welfare_nums"]), "15");
  EXPECT_EQ(kit::as<kit::Array>(wheel["data"]["items"])->count(), 9u);

  auto drawn = get("infiniteres/getwelfareturntable?" + query + "&nums=5");
  EXPECT_EQ(status(drawn), "200");
  EXPECT_EQ(kit::as<kit::Array>(drawn["data"]["prop_list"])->count(), 5u);
  EXPECT_EQ(status(get("infiniteres/getwelfareturntable?" + query + "&nums=2")), "400");
  EXPECT_EQ(kit::describe(get("infiniteres/welfareturntable?" + query)["data"]["user_welfare_nums"]), "10");

  // The super wheel: 3 of 10 used; the extra prize waits for a full bar.
  EXPECT_EQ(status(get("infiniteres/getsuperprop?" + query)), "500");
  EXPECT_EQ(status(get("infiniteres/getsuperwelfareturntable?" + query + "&nums=5")), "200");
  EXPECT_EQ(status(get("infiniteres/getsuperwelfareturntable?" + query + "&nums=5")), "200");
  EXPECT_EQ(kit::describe(get("infiniteres/superwelfareturntable?" + query)["data"]["use_superwelfare_nums"]), "13");
  EXPECT_EQ(status(get("infiniteres/getsuperwelfareturntable?" + query + "&nums=1")), "500");  // none left
  EXPECT_EQ(status(get("infiniteres/getsuperprop?" + query)), "200");
  EXPECT_EQ(server.extraPrizesGiven(), 1);
  EXPECT_EQ(kit::describe(get("infiniteres/superwelfareturntable?" + query)["data"]["use_superwelfare_nums"]), "3");
}

TEST_F(GameServer, ARewardIsFoundOnceAndClaimedOnce) {
  const std::string query = "game_id=1001&role_id=r1&server_id=3&time=";
  EXPECT_EQ(status(get("luck/index?" + query + "luck")), "500");
  server.setLuck("luck", sim::ChannelGameServer::sampleLuckReward("幸运玩家"));
  auto found = get("luck/index?" + query + "luck");
  EXPECT_EQ(status(found), "200");
  EXPECT_EQ(kit::describe(found["data"]["items"][0]["name"]), "金币");
  EXPECT_EQ(status(get("luck/get?" + query + "day")), "500");
  EXPECT_EQ(status(get("luck/get?" + query + "luck")), "200");
  EXPECT_EQ(status(get("luck/get?" + query + "luck")), "500");
  EXPECT_EQ(status(get("luck/index?" + query + "luck")), "500");
  EXPECT_EQ(server.claims(), std::vector<std::string>{"luck"});
}

TEST_F(GameServer, QueuedRepliesComeFirstThenScriptedOnesThenFaults) {
  server.queueReply("menu/new", R"({"status":"200","data":["3"]})");
  server.setReply("menu/new", R"({"status":"200","data":["1","2"]})");
  EXPECT_EQ(kit::describe(get("menu/new?game_id=1001&server_id=3")["data"][0]), "3");
  EXPECT_EQ(kit::describe(get("menu/new?game_id=1001&server_id=3")["data"][0]), "1");
  EXPECT_EQ(kit::describe(get("menu/new?game_id=1001&server_id=3")["data"][0]), "1");
  server.setReply("menu/new", "");

  server.setFault("gmstore/goodsnew", sim::RouteFault::ServerErrorJSON);
  EXPECT_EQ(status(get("gmstore/goodsnew?game_id=1001&role_id=r1")), "500");
  EXPECT_EQ(lastStatus, 500);
  server.setFault("gmstore/goodsnew", sim::RouteFault::NotJSON);
  EXPECT_EQ(get("gmstore/goodsnew?game_id=1001&role_id=r1"), nullptr);
  server.setFault("gmstore/goodsnew", sim::RouteFault::None);
  EXPECT_EQ(status(get("gmstore/goodsnew?game_id=1001&role_id=r1")), "200");
  EXPECT_EQ(server.requestCount(), 6u);
  server.clearLog();
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST(SimulatorGameServer, IsConfiguredAndAcceptsTheTokensTheSDKServerIssued) {
  sim::Simulator simulator;
  auto configuration = simulator.configuration();
  EXPECT_EQ(kit::describe((*configuration)["ChannelGameServer"]), simulator.game().baseURL());

  httplib::Client sdk("127.0.0.1", std::stoi(simulator.channel().baseURL().substr(17)));
  auto login = sdk.Post("/sdk/login/index", "game_id=1001&token=s&uid=alice&platform_id=256&os_type=2&",
                        "application/x-www-form-urlencoded");
  ASSERT_TRUE(login);
  kit::Id loginReply = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(login->body));
  std::string user = kit::describe(loginReply["data"]["super_user_id"]);
  std::string token = kit::describe(loginReply["data"]["token"]);

  httplib::Client game("127.0.0.1", std::stoi(simulator.game().baseURL().substr(17)));
  auto status = [&](const std::string& form) {
    auto result = game.Post("/game/gmstore/status", form, "application/x-www-form-urlencoded");
    return result ? kit::describe(kit::JSONSerialization::JSONObjectWithData(kit::Data::make(result->body))["status"])
                  : std::string();
  };
  EXPECT_EQ(status("game_id=1001&token=" + token + "&super_user_id=" + user + "&role_id=r1&"), "200");
  EXPECT_EQ(status("game_id=1001&token=forged&super_user_id=" + user + "&role_id=r1&"), "401");
}

TEST(SimulatorNotice, InitCarriesTheWholeNoticeAndThePageIsServed) {
  sim::ChannelSDKServer server;
  sim::ChannelSDKServer::Notice notice;
  notice.type = "2";
  notice.title = "活动公告";
  notice.content = "<b>双倍经验</b>";
  notice.url = server.noticePageURL();
  server.setNotice(notice);
  httplib::Client client("127.0.0.1", std::stoi(server.baseURL().substr(17)));
  auto init = client.Post("/sdk/init", "platform_id=256&game_id=1001&os_type=2&", "application/x-www-form-urlencoded");
  ASSERT_TRUE(init);
  kit::Id reply = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(init->body));
  EXPECT_EQ(kit::describe(reply["data"]["notice_data"]["notice_type"]), "2");
  EXPECT_EQ(kit::describe(reply["data"]["notice_data"]["notice_url"]), server.noticePageURL());
  auto missingOS = client.Post("/sdk/init", "platform_id=256&game_id=1001&", "application/x-www-form-urlencoded");
  ASSERT_TRUE(missingOS);
  EXPECT_NE(missingOS->body.find("\"400\""), std::string::npos);

  auto page = client.Get("/sdk/notice/page");
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("活动公告"), std::string::npos);
  EXPECT_NE(page->body.find("&lt;b&gt;双倍经验"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(GameServer, GiftClaimsNeedTheirFieldsButNoGameId) {
  auto claim = post("gmstore/index", "token=t&super_user_id=99&role_id=r1&gm_id=2&gift_id=201");
  EXPECT_EQ(status(claim), "200");
  EXPECT_EQ(status(post("vipstore/index", "token=t&super_user_id=99&role_id=r1&gift_id=7")), "400");
  EXPECT_EQ(status(post("vipstore/index", "token=t&super_user_id=99&role_id=r1&vip_id=1&gift_id=7")), "200");
  EXPECT_EQ(server.giftClaims(Store::GM), std::vector<std::string>{"2/201"});
  EXPECT_EQ(server.giftClaims(Store::VIP), std::vector<std::string>{"1/7"});
  // The claim shows in the store's status answer, under the gift's entry id.
  auto state = post("gmstore/status", "game_id=1001&token=t&super_user_id=99&role_id=r1");
  EXPECT_EQ(kit::describe(state["21"]), "1");
  EXPECT_EQ(state["201"], nullptr);
  EXPECT_EQ(state["11"], nullptr) << "the other gifts stay unclaimed";
  // A gift of another GM level is another gift.
  EXPECT_EQ(status(post("gmstore/index", "token=t&super_user_id=99&role_id=r1&gm_id=1&gift_id=201")), "200");
  EXPECT_EQ(kit::as<kit::Dictionary>(post("gmstore/status", "game_id=1001&token=t&super_user_id=99&role_id=r1"))
                ->count(),
            3u);
}

TEST_F(GameServer, TheFreeVideoOfferIsTakenByItsClaim) {
  sim::FreeVideoOffer offer;
  offer.items = R"([{"mid":"1","name":"金币","amount":"100"}])";
  offer.videoTime = "25";
  server.setFreeVideoOffer(offer);
  const std::string query = "game_id=1001&platform_id=256&role_id=r1&server_id=3";
  EXPECT_EQ(status(get("freevideogift/index?" + query)), "400");  // no screen_type
  auto answer = get("freevideogift/index?" + query + "&screen_type=1");
  EXPECT_EQ(status(answer), "200");
  EXPECT_EQ(kit::describe(answer["data"]["is_get"]), "0");
  EXPECT_EQ(kit::describe(answer["data"]["video_time"]), "25");
  EXPECT_EQ(kit::describe(answer["data"]["video_url"]), server.videoURL());
  EXPECT_TRUE(kit::as<kit::String>(answer["data"]["items"]));  // a JSON text
  EXPECT_EQ(status(get("freevideogift/get?" + query)), "200");
  EXPECT_EQ(kit::describe(get("freevideogift/index?" + query + "&screen_type=2")["data"]["is_get"]), "1");
  EXPECT_EQ(server.requestsTo("freevideogift/index").back().field("screen_type"), "2");
}

TEST_F(GameServer, TheFreeVideoRewardsTheSampleItemsUnlessScriptedOtherwise) {
  const std::string query = "freevideogift/index?game_id=1001&platform_id=256&role_id=r1&server_id=3&screen_type=1";
  auto itemsOf = [&] {
    auto text = kit::as<kit::String>(get(query)["data"]["items"]);
    return text ? kit::as<kit::Array>(kit::JSONSerialization::JSONObjectWithData(kit::Data::make(text->utf8())))
                : nullptr;
  };
  auto items = itemsOf();
  ASSERT_TRUE(items);
  ASSERT_EQ(items->count(), 3u);
  httplib::Client client("127.0.0.1", port());
  const std::string base = "http://127.0.0.1:" + std::to_string(port());
  for (const kit::Id& item : *items) {
    EXPECT_TRUE(kit::isSet(item["mid"]));
    EXPECT_FALSE(kit::readableText(item["name"]).empty());
    EXPECT_FALSE(kit::shownText(item["amount"]).empty());
    const std::string icon = kit::shownText(item["icon"]);
    ASSERT_EQ(icon.rfind(base, 0), 0u) << icon;
    auto picture = client.Get(icon.substr(base.size()));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->get_header_value("Content-Type"), "image/png");
  }
  EXPECT_EQ(kit::describe(items->objectAtIndex(0)["name"]), "金币");

  // An offer scripted without items still rewards the sample; one scripted
  // with an empty list rewards nothing.
  sim::FreeVideoOffer offer;
  offer.videoTime = "25";
  server.setFreeVideoOffer(offer);
  ASSERT_TRUE(itemsOf());
  EXPECT_EQ(itemsOf()->count(), 3u);
  offer.items = "[]";
  server.setFreeVideoOffer(offer);
  ASSERT_TRUE(itemsOf());
  EXPECT_EQ(itemsOf()->count(), 0u);
}

TEST_F(GameServer, TheVideoAnnouncesItsDurationAndTheVoucherPageAsksForTheRole) {
  server.setVideoDuration(12.5);
  httplib::Client client("127.0.0.1", port());
  auto video = client.Get(std::string(sim::ChannelGameServer::kBasePath) + "videos/trailer.mp4");
  ASSERT_TRUE(video);
  EXPECT_FALSE(video->body.empty());
  EXPECT_EQ(std::stod(video->get_header_value("X-Content-Duration")), 12.5);
  auto page = client.Get(std::string(sim::ChannelGameServer::kBasePath) + "activity/128voucher/index.html?os_type=2");
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("get_remark"), std::string::npos);
  EXPECT_NE(page->body.find("CallbackFromIOS"), std::string::npos);
  EXPECT_EQ(server.voucherPageURL().rfind(server.activityBaseURL(), 0), 0u);
}

}  // namespace
