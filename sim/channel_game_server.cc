// The channel game server stand-in. See channel_game_server.h.

#include "sim/channel_game_server.h"

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"

namespace sim {

namespace {

struct RouteRule {
  const char* route;
  const char* method;
  std::vector<const char*> required;
};

const std::vector<RouteRule>& routeRules() {
  static const std::vector<RouteRule> rules = {
      {"menu/new", "GET", {"game_id", "server_id"}},
      {"gmstore/goodsnew", "GET", {"game_id", "role_id"}},
      {"vipstore/goodsnew", "GET", {"game_id", "role_id"}},
      {"gmstore/status", "POST", {"game_id", "token", "super_user_id", "role_id"}},
      {"vipstore/status", "POST", {"game_id", "token", "super_user_id", "role_id"}},
      {"infiniteres/goodsnew", "GET", {"game_id", "role_id", "server_id"}},
      {"luck/index", "GET", {"game_id", "role_id", "server_id", "time"}},
      {"luck/get", "GET", {"game_id", "role_id", "server_id", "time"}},
      {"levelstore/report", "GET", {"server_id", "role_id", "platform_id", "game_id", "level"}},
  };
  return rules;
}

const RouteRule* ruleFor(const std::string& route) {
  for (const auto& rule : routeRules()) {
    if (route == rule.route) return &rule;
  }
  return nullptr;
}

std::string jsonText(const kit::Id& object) {
  auto data = kit::JSONSerialization::dataWithJSONObject(object, kit::JSONWritingWithoutEscapingSlashes);
  return data ? data->toString() : "{}";
}

// The value of a JSON text, or an empty dictionary when the text is not JSON.
kit::Id parsed(const std::string& json) {
  if (json.empty()) return kit::dict();
  auto value = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json), kit::JSONReadingFragmentsAllowed);
  return value ? value : kit::Id(kit::dict());
}

std::string answerOf(const std::string& status, const std::string& message, const kit::Id& data = nullptr) {
  return jsonText(kit::dict({{"status", status}, {"msg", message}, {"data", data}}));
}

bool isBlank(const std::string& value) { return value.empty() || value == "(null)"; }

}  // namespace

ChannelGameServer::ChannelGameServer()
    : ChannelRouteServer(kBasePath, [](const std::string& status, const std::string& message) {
        return answerOf(status, message);
      }) {
  goods_[Store::GM] = sampleGMGoods();
  goods_[Store::VIP] = sampleVIPGoods();
  resourceGoods_ = sampleResourceGoods();
  for (const auto& rule : routeRules()) {
    std::string name = rule.route;
    serve(name, [this](const std::string& route, const kit::test::RecordedRequest& request) {
      return answer(route, request);
    });
  }
}

ChannelGameServer::~ChannelGameServer() { stop(); }

void ChannelGameServer::setGameId(std::string gameId) {
  std::lock_guard lock(mutex_);
  gameId_ = std::move(gameId);
}

void ChannelGameServer::setTokenCheck(std::function<bool(const std::string&, const std::string&)> check) {
  std::lock_guard lock(mutex_);
  tokenCheck_ = std::move(check);
}

void ChannelGameServer::setMenu(std::vector<std::string> ids, MenuTimes times) {
  std::lock_guard lock(mutex_);
  menu_ = std::move(ids);
  times_ = std::move(times);
}

void ChannelGameServer::setGoods(Store store, std::string dataJSON) {
  std::lock_guard lock(mutex_);
  goods_[store] = std::move(dataJSON);
}

void ChannelGameServer::setClaimStatus(Store store, std::map<std::string, std::string> statusById) {
  std::lock_guard lock(mutex_);
  claimStatus_[store] = std::move(statusById);
}

void ChannelGameServer::setResourceGoods(std::string dataJSON) {
  std::lock_guard lock(mutex_);
  resourceGoods_ = std::move(dataJSON);
}

void ChannelGameServer::setLuck(const std::string& type, std::string dataJSON) {
  std::lock_guard lock(mutex_);
  if (dataJSON.empty()) {
    luck_.erase(type);
  } else {
    luck_[type] = std::move(dataJSON);
  }
}

void ChannelGameServer::setLevelOffer(std::string dataJSON) {
  std::lock_guard lock(mutex_);
  levelOffer_ = std::move(dataJSON);
}

void ChannelGameServer::setReply(const std::string& route, std::string json) {
  std::lock_guard lock(mutex_);
  if (json.empty()) {
    replies_.erase(route);
  } else {
    replies_[route] = std::move(json);
  }
}

void ChannelGameServer::queueReply(const std::string& route, std::string json) {
  std::lock_guard lock(mutex_);
  queued_[route].push_back(std::move(json));
}

std::vector<std::string> ChannelGameServer::claims() const {
  std::lock_guard lock(mutex_);
  return claims_;
}

kit::test::TestResponse ChannelGameServer::answer(const std::string& route, const kit::test::RecordedRequest& request) {
  ChannelRequest decoded = decodeChannelRequest(route, request);
  std::lock_guard lock(mutex_);
  if (auto queued = queued_.find(route); queued != queued_.end() && !queued->second.empty()) {
    std::string reply = std::move(queued->second.front());
    queued->second.pop_front();
    return kit::test::TestResponse::json(reply);
  }
  if (auto scripted = replies_.find(route); scripted != replies_.end()) {
    return kit::test::TestResponse::json(scripted->second);
  }
  std::string refusal = refusalOf(route, decoded);
  return kit::test::TestResponse::json(refusal.empty() ? answerLocked(route, decoded) : refusal);
}

std::string ChannelGameServer::refusalOf(const std::string& route, const ChannelRequest& request) {
  const RouteRule* rule = ruleFor(route);
  if (!rule) return answerOf("404", "接口不存在");
  if (request.method != rule->method) return answerOf("405", std::string("请使用") + rule->method + "请求");
  for (const char* name : rule->required) {
    if (isBlank(request.field(name))) return answerOf("400", std::string("缺少参数") + name);
  }
  if (request.field("game_id") != gameId_) return answerOf("400", "游戏不存在");
  if (request.has("token") && tokenCheck_ && !tokenCheck_(request.field("super_user_id"), request.field("token"))) {
    return answerOf("401", "登录已失效");
  }
  if (route.starts_with("luck/")) {
    const std::string type = request.field("time");
    if (type != "luck" && type != "day" && type != "active") return answerOf("400", "time参数错误");
  }
  return {};
}

std::string ChannelGameServer::answerLocked(const std::string& route, const ChannelRequest& request) {
  if (route == "menu/new") {
    auto ids = kit::MutableArray::make();
    for (const auto& id : menu_) ids->addObject(kit::str(id));
    auto levels = kit::MutableArray::make();
    for (const auto& range : times_.levelList) levels->addObject(kit::str(range));
    auto time = kit::dict({{"time_shop_refresh", times_.timeShopRefresh},
                           {"luck_time", times_.luckTime},
                           {"day_time", times_.dayTime},
                           {"active_time", times_.activeTime},
                           {"shop_time", times_.shopTime},
                           {"level_list", levels}});
    return jsonText(kit::dict({{"status", "200"}, {"msg", "ok"}, {"data", ids}, {"time", time}}));
  }
  if (route == "gmstore/goodsnew" || route == "vipstore/goodsnew") {
    Store store = route.starts_with("gm") ? Store::GM : Store::VIP;
    return answerOf("200", "ok", parsed(goods_[store]));
  }
  if (route == "gmstore/status" || route == "vipstore/status") {
    Store store = route.starts_with("gm") ? Store::GM : Store::VIP;
    auto reply = kit::mutableDict({{"status", "200"}, {"msg", "ok"}});
    for (const auto& [id, status] : claimStatus_[store]) reply->setObject(kit::str(status), kit::str(id));
    return jsonText(reply);
  }
  if (route == "infiniteres/goodsnew") return answerOf("200", "ok", parsed(resourceGoods_));
  if (route == "luck/index") {
    auto reward = luck_.find(request.field("time"));
    if (reward == luck_.end()) return answerOf("500", "暂无奖励");
    return answerOf("200", "ok", parsed(reward->second));
  }
  if (route == "luck/get") {
    auto reward = luck_.find(request.field("time"));
    if (reward == luck_.end()) return answerOf("500", "奖励已领取");
    claims_.push_back(reward->first);
    luck_.erase(reward);
    return answerOf("200", "领取成功");
  }
  // levelstore/report
  return answerOf("200", "ok", parsed(levelOffer_));
}

std::string ChannelGameServer::sampleGMGoods() {
  return R"({"total_money":"128","desc":"累计充值领取GM礼包","list":[)"
         R"([{"id":"11","gm_id":"1","gm_name":"GM1","gift_name":"新手礼包","gift_num":"1","status":"0"},)"
         R"({"id":"12","gm_id":"1","gm_name":"GM1","gift_name":"进阶礼包","gift_num":"1","status":"0"}],)"
         R"([{"id":"21","gm_id":"2","gm_name":"GM2","gift_name":"豪华礼包","gift_num":"1","status":"0"}]]})";
}

std::string ChannelGameServer::sampleVIPGoods() {
  return R"({"total_money":"128","desc":"VIP等级礼包","list":[)"
         R"([{"id":"31","vip_id":"1","vip_name":"VIP1","gift_name":"VIP1礼包","gift_num":"1","status":"0"},)"
         R"({"id":"32","vip_id":"2","vip_name":"VIP2","gift_name":"VIP2礼包","gift_num":"1","status":"0"}]]})";
}

std::string ChannelGameServer::sampleResourceGoods() {
  return R"({"rule":"每日限购","notice":"资源大厅开放中","list":[)"
         R"({"id":"501","name":"金币*10000","money":"6"},{"id":"502","name":"钻石*300","money":"30"}]})";
}

std::string ChannelGameServer::sampleLuckReward(const std::string& title) {
  return jsonText(kit::dict(
      {{"title", title},
       {"is_custom", "1"},
       {"items", kit::array({kit::dict({{"mid", "1"}, {"name", "金币"}, {"amount", "100"}, {"icon", ""}}),
                             kit::dict({{"mid", "2"}, {"name", "钻石"}, {"amount", "20"}, {"icon", ""}})})}}));
}

}  // namespace sim
