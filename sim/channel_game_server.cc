// The channel game server stand-in. See channel_game_server.h.

#include "sim/channel_game_server.h"

#include <cctype>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "sim/store_pictures.h"

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
      {"timestore/goodsnew", "GET", {"game_id", "role_id"}},
      {"levelstore/goodsnew", "GET", {"server_id", "role_id", "platform_id", "game_id", "level"}},
      {"charge/order",
       "POST",
       {"super_user_id", "game_id", "service_id", "service_name", "role_id", "role_name", "good_id", "remark",
        "random", "sign"}},
      {"charge/levelorder",
       "POST",
       {"super_user_id", "game_id", "service_id", "service_name", "role_id", "role_name", "good_id", "random",
        "sign"}},
      {"charge/resorder",
       "POST",
       {"super_user_id", "game_id", "service_id", "service_name", "role_id", "role_name", "good_id", "random",
        "sign"}},
      {"infiniteres/getcoin", "GET", {"game_id", "role_id", "server_id", "good_id"}},
      {"infiniteres/getwelfare", "GET", {"game_id", "role_id", "server_id", "good_id"}},
      {"infiniteres/getsuperwelfare", "GET", {"game_id", "role_id", "server_id", "good_id"}},
      {"infiniteres/welfareturntable", "GET", {"game_id", "role_id", "server_id"}},
      {"infiniteres/superwelfareturntable", "GET", {"game_id", "role_id", "server_id"}},
      {"infiniteres/getwelfareturntable", "GET", {"game_id", "role_id", "server_id", "nums"}},
      {"infiniteres/getsuperwelfareturntable", "GET", {"game_id", "role_id", "server_id", "nums"}},
      {"infiniteres/getsuperprop", "GET", {"game_id", "role_id", "server_id"}},
      {"gmstore/index", "POST", {"token", "super_user_id", "role_id", "gm_id", "gift_id"}},
      {"vipstore/index", "POST", {"token", "super_user_id", "role_id", "vip_id", "gift_id"}},
      {"freevideogift/index", "GET", {"game_id", "platform_id", "role_id", "server_id", "screen_type"}},
      {"freevideogift/get", "GET", {"game_id", "platform_id", "role_id", "server_id"}},
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

bool requiresField(const RouteRule& rule, std::string_view field) {
  for (const char* name : rule.required) {
    if (field == name) return true;
  }
  return false;
}

// The activity host's voucher page: it asks the client for the role as it
// loads and shows what comes back.
constexpr const char* kVoucherPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><meta name="viewport" content="width=device-width">
<title>代金券</title>
<style>
body { margin: 0; font: 14px sans-serif; color: #38506A; background: #FFFFFF; }
h1 { margin: 0; padding: 12px; font-size: 16px; color: #FFFFFF; background: #11CCB1; text-align: center; }
.voucher { margin: 10px 12px; padding: 12px; border: 2px dashed #11CCB1; border-radius: 8px; }
.voucher b { font-size: 20px; color: #FF7F00; }
#role { margin: 10px 12px; font-size: 12px; color: #888888; }
</style></head>
<body>
<h1>128元代金券</h1>
<div class="voucher"><b>¥30</b> 满128元可用 · 全部礼包</div>
<div class="voucher"><b>¥50</b> 满198元可用 · 限时礼包</div>
<div class="voucher"><b>¥48</b> 满328元可用 · 等级礼包</div>
<div id="role">正在读取角色…</div>
<script>
function CallbackFromIOS(text) {
  var answer = JSON.parse(text);
  var role = answer.data || {};
  document.getElementById("role").textContent = "角色：" + role.role_name + " · " + role.service_name;
}
if (window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.eventComplete) {
  window.webkit.messageHandlers.eventComplete.postMessage(JSON.stringify({action: "get_remark"}));
}
</script>
</body></html>
)";

// The pictures served, each made once.
constexpr int kItemIcons = 8;
const std::string& iconBytes(int index) {
  static const std::vector<std::string> icons = [] {
    std::vector<std::string> made;
    for (int i = 1; i <= kItemIcons; ++i) {
      auto png = itemIconPNG(i);
      made.emplace_back(png.begin(), png.end());
    }
    return made;
  }();
  return icons[static_cast<size_t>(index - 1)];
}
const std::string& gifBytes() {
  static const std::string gif = [] {
    auto bytes = advertisingGIF();
    return std::string(bytes.begin(), bytes.end());
  }();
  return gif;
}

kit::test::TestResponse picture(const std::string& bytes, const char* type) {
  kit::test::TestResponse response;
  response.contentType = type;
  response.body = bytes;
  return response;
}

}  // namespace

ChannelGameServer::ChannelGameServer(int port)
    : ChannelRouteServer(
          kBasePath,
          [](const std::string& status, const std::string& message) { return answerOf(status, message); }, port) {
  goods_[Store::GM] = sampleGMGoods();
  goods_[Store::VIP] = sampleVIPGoods();
  resourceGoods_ = sampleHallGoods();
  welfareWheel_ = sampleWelfareWheel();
  superWheel_ = sampleSuperWheel();
  drawPrizes_ = samplePrizes();
  timeStorePacks_ = sampleTimeStorePacks();
  levelStorePacks_ = sampleLevelStorePacks();
  for (const auto& rule : routeRules()) {
    std::string name = rule.route;
    serve(name, [this](const std::string& route, const kit::test::RecordedRequest& request) {
      return answer(route, request);
    });
  }
  for (int i = 1; i <= kItemIcons; ++i) {
    serveGET("pictures/item" + std::to_string(i) + ".png", [i] { return picture(iconBytes(i), "image/png"); });
  }
  serveGET("pictures/ad.gif", [] { return picture(gifBytes(), "image/gif"); });
  serveGET("videos/trailer.mp4", [this] {
    // Some bytes; the player reads the duration from the header.
    auto response = picture(std::string(4096, '\0'), "video/mp4");
    std::lock_guard lock(mutex_);
    response.headers.set("X-Content-Duration", std::to_string(videoDuration_));
    return response;
  });
  serveGET("activity/128voucher/index.html", [] {
    return kit::test::TestResponse::html(kVoucherPage);
  });
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

void ChannelGameServer::setTimeStorePacks(std::string dataJSON) {
  std::lock_guard lock(mutex_);
  timeStorePacks_ = std::move(dataJSON);
}

void ChannelGameServer::setLevelStorePacks(std::string dataJSON) {
  std::lock_guard lock(mutex_);
  levelStorePacks_ = std::move(dataJSON);
}

void ChannelGameServer::setWelfareWheel(std::string dataJSON) {
  std::lock_guard lock(mutex_);
  welfareWheel_ = std::move(dataJSON);
}

void ChannelGameServer::setSuperWheel(std::string dataJSON) {
  std::lock_guard lock(mutex_);
  superWheel_ = std::move(dataJSON);
}

void ChannelGameServer::setDrawPrizes(std::string prizesJSON) {
  std::lock_guard lock(mutex_);
  drawPrizes_ = std::move(prizesJSON);
}

std::vector<std::string> ChannelGameServer::goodsClaims() const {
  std::lock_guard lock(mutex_);
  return goodsClaimLog_;
}

int ChannelGameServer::extraPrizesGiven() const {
  std::lock_guard lock(mutex_);
  return extraPrizes_;
}

void ChannelGameServer::setNextOrderId(long orderId) {
  std::lock_guard lock(mutex_);
  nextOrderId_ = orderId;
}

std::string ChannelGameServer::itemIconURL(int index) const {
  return urlOf("pictures/item" + std::to_string((index - 1 + kItemIcons * 1000) % kItemIcons + 1) + ".png");
}

std::string ChannelGameServer::adPictureURL() const { return urlOf("pictures/ad.gif"); }

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

std::vector<ChannelGameServer::NumberedOrder> ChannelGameServer::numberedOrders() const {
  std::lock_guard lock(mutex_);
  return numbered_;
}

std::vector<std::string> ChannelGameServer::claims() const {
  std::lock_guard lock(mutex_);
  return claims_;
}

std::vector<std::string> ChannelGameServer::giftClaims(Store store) const {
  std::lock_guard lock(mutex_);
  auto found = giftClaims_.find(store);
  return found == giftClaims_.end() ? std::vector<std::string>{} : found->second;
}

void ChannelGameServer::setFreeVideoOffer(FreeVideoOffer offer) {
  std::lock_guard lock(mutex_);
  freeVideo_ = std::move(offer);
}

void ChannelGameServer::setVideoDuration(double seconds) {
  std::lock_guard lock(mutex_);
  videoDuration_ = seconds;
}

std::string ChannelGameServer::videoURL() const { return urlOf("videos/trailer.mp4"); }

std::string ChannelGameServer::activityBaseURL() const { return urlOf("activity/"); }

std::string ChannelGameServer::voucherPageURL() const { return urlOf("activity/128voucher/index.html"); }

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
  if (requiresField(*rule, "game_id") && request.field("game_id") != gameId_) return answerOf("400", "游戏不存在");
  if (request.has("token") && tokenCheck_ && !tokenCheck_(request.field("super_user_id"), request.field("token"))) {
    return answerOf("401", "登录已失效");
  }
  if (route.starts_with("luck/")) {
    const std::string type = request.field("time");
    if (type != "luck" && type != "day" && type != "active") return answerOf("400", "time参数错误");
  }
  if (route.starts_with("charge/")) return orderRefusal(route, request);
  return {};
}

std::string ChannelGameServer::orderRefusal(const std::string& route, const ChannelRequest& request) {
  const std::string random = request.field("random");
  bool fiveDigits = random.size() == 5 && random[0] != '0';
  for (char c : random) fiveDigits = fiveDigits && std::isdigit(static_cast<unsigned char>(c));
  if (!fiveDigits) return answerOf("400", "random参数错误");
  // The signed fields in their order; a level order signs no remark.
  std::string signed_ = request.field("super_user_id") + request.field("game_id") + request.field("service_id") +
                        request.field("role_id") + request.field("good_id");
  if (route == "charge/order") signed_ += request.field("remark");
  signed_ += random + kOrderSigningKey;
  if (request.field("sign") != md5Hex(signed_)) return answerOf("403", "签名错误");
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
  if (route == "gmstore/index" || route == "vipstore/index") {
    Store store = route.starts_with("gm") ? Store::GM : Store::VIP;
    const char* level = store == Store::GM ? "gm_id" : "vip_id";
    const std::string id = request.field(level);
    const std::string gift = request.field("gift_id");
    giftClaims_[store].push_back(id + "/" + gift);
    // The status answer names a gift by its entry's id.
    auto categories = kit::as<kit::Array>(parsed(goods_[store])["list"]);
    for (size_t c = 0; categories && c < categories->count(); ++c) {
      auto entries = kit::as<kit::Array>(categories->objectAtIndex(c));
      for (size_t e = 0; entries && e < entries->count(); ++e) {
        kit::Id entry = entries->objectAtIndex(e);
        if (kit::describe(entry[level]) == id && kit::describe(entry["gift_id"]) == gift) {
          claimStatus_[store][kit::describe(entry["id"])] = "1";
        }
      }
    }
    return answerOf("200", "领取成功");
  }
  if (route == "freevideogift/index") {
    const FreeVideoOffer& offer = freeVideo_;
    auto data = kit::dict({{"is_get", offer.isGet},
                           {"items", offer.items.empty() ? sampleRewardItems() : offer.items},
                           {"video_time", offer.videoTime},
                           {"video_url", offer.videoURL.empty() ? urlOf("videos/trailer.mp4") : offer.videoURL},
                           {"down_link", offer.downLink},
                           {"game_name", offer.gameName},
                           {"game_desc", offer.gameDesc},
                           {"game_icon", offer.gameIcon.empty() ? itemIconURL(1) : offer.gameIcon},
                           {"video_pic", offer.videoPic.empty() ? itemIconURL(2) : offer.videoPic}});
    return answerOf("200", "ok", data);
  }
  if (route == "freevideogift/get") {
    freeVideo_.isGet = "1";
    return answerOf("200", "领取成功");
  }
  if (route == "timestore/goodsnew") return answerOf("200", "ok", parsed(timeStorePacks_));
  if (route == "levelstore/goodsnew") return answerOf("200", "ok", parsed(levelStorePacks_));
  if (route.starts_with("infiniteres/") && route != "infiniteres/goodsnew") return hallAnswerLocked(route, request);
  if (route == "charge/resorder" || route == "charge/order" || route == "charge/levelorder") {
    // The remark comes back as the server keeps it: a pack order's as
    // received, a level order's and a resource order's naming the goods.
    const std::string good = request.field("good_id");
    const std::string remark = route == "charge/order"        ? request.field("remark")
                               : route == "charge/levelorder" ? "level|" + good
                                                              : "res|" + good;
    const long orderId = nextOrderId_++;
    numbered_.push_back({route, std::to_string(orderId), good});
    auto data = kit::dict({{"order_id", orderId}, {"remark", remark}});
    return answerOf("200", "下单成功", data);
  }
  // levelstore/report
  return answerOf("200", "ok", parsed(levelOffer_));
}

namespace {

// A wheel's "data" as a mutable dictionary, and one count of it as a number.
kit::Ref<kit::MutableDictionary> wheelOf(const std::string& json) {
  auto dict = kit::as<kit::Dictionary>(parsed(json));
  auto copy = dict ? kit::as<kit::MutableDictionary>(dict->mutableCopy()) : nullptr;
  return copy ? copy : kit::MutableDictionary::make();
}
long countOf(const kit::Id& value) {
  if (auto text = kit::as<kit::String>(value)) return text->integerValue();
  if (auto number = kit::as<kit::Number>(value)) return number->integerValue();
  return 0;
}

}  // namespace

std::string ChannelGameServer::hallAnswerLocked(const std::string& route, const ChannelRequest& request) {
  if (route == "infiniteres/welfareturntable") return answerOf("200", "ok", parsed(welfareWheel_));
  if (route == "infiniteres/superwelfareturntable") return answerOf("200", "ok", parsed(superWheel_));
  if (route == "infiniteres/getcoin" || route == "infiniteres/getwelfare" || route == "infiniteres/getsuperwelfare") {
    const std::string type = route == "infiniteres/getcoin" ? "coin" : route == "infiniteres/getwelfare" ? "welfare" : "super";
    const std::string claim = type + "|" + request.field("good_id");
    if (!goodsClaims_.insert(claim).second) return answerOf("500", "已领取");
    goodsClaimLog_.push_back(claim);
    if (type != "coin") {
      auto wheel = wheelOf(type == "welfare" ? welfareWheel_ : superWheel_);
      const char* key = type == "welfare" ? "user_welfare_nums" : "user_superwelfare_nums";
      wheel->setObject(kit::str(std::to_string(countOf((*wheel)[key]) + 5)), kit::str(key));
      (type == "welfare" ? welfareWheel_ : superWheel_) = jsonText(wheel);
    }
    return answerOf("200", "领取成功");
  }
  if (route == "infiniteres/getwelfareturntable" || route == "infiniteres/getsuperwelfareturntable") {
    const long nums = countOf(kit::str(request.field("nums")));
    if (nums != 1 && nums != 5) return answerOf("400", "nums参数错误");
    const bool super = route == "infiniteres/getsuperwelfareturntable";
    auto wheel = wheelOf(super ? superWheel_ : welfareWheel_);
    const char* held = super ? "user_superwelfare_nums" : "user_welfare_nums";
    const long spins = countOf((*wheel)[held]);
    if (spins < nums) return answerOf("500", "抽奖次数不足");
    wheel->setObject(kit::str(std::to_string(spins - nums)), kit::str(held));
    if (super) {
      wheel->setObject(kit::str(std::to_string(countOf((*wheel)["use_superwelfare_nums"]) + nums)),
                       kit::str("use_superwelfare_nums"));
    }
    (super ? superWheel_ : welfareWheel_) = jsonText(wheel);
    auto prizes = kit::as<kit::Array>(parsed(drawPrizes_));
    auto won = kit::MutableArray::make();
    for (long i = 0; prizes && prizes->count() > 0 && i < nums; ++i) {
      won->addObject(prizes->objectAtIndex(static_cast<size_t>(i) % prizes->count()));
    }
    return answerOf("200", "ok", kit::dict({{"prop_list", won}}));
  }
  // infiniteres/getsuperprop
  auto wheel = wheelOf(superWheel_);
  const long used = countOf((*wheel)["use_superwelfare_nums"]);
  const long target = countOf(kit::Id((*wheel)["select_extra_items"])["nums"]);
  if (target <= 0 || used < target) return answerOf("500", "进度未满");
  wheel->setObject(kit::str(std::to_string(used - target)), kit::str("use_superwelfare_nums"));
  superWheel_ = jsonText(wheel);
  ++extraPrizes_;
  return answerOf("200", "领取成功");
}

std::string ChannelGameServer::sampleGMGoods() const {
  auto gift = [this](const char* id, const char* gm, const char* giftId, const char* name, const char* contents,
                     int icon) {
    const std::string level = std::string("GM") + gm;
    return kit::dict({{"id", id}, {"gm_id", gm}, {"gm_name", level}, {"gift_id", giftId}, {"gift_name", name},
                      {"gift_num", "1"}, {"gift_icon", itemIconURL(icon)}, {"gift_desc", contents},
                      {"gm_desc", level + "特权：每日登录额外获得" + (gm == std::string("1") ? "10%" : "20%") + "金币"},
                      {"status", "0"}});
  };
  return jsonText(kit::dict(
      {{"total_money", "128"},
       {"desc", "累计充值达到GM等级即可领取对应礼包，每个礼包限领一次"},
       {"list", kit::array({kit::array({gift("11", "1", "101", "新手礼包", "金币*1000、体力*50", 1),
                                        gift("12", "1", "102", "进阶礼包", "钻石*60、经验书*5", 3)}),
                            kit::array({gift("21", "2", "201", "豪华礼包", "坐骑*1、强化石*20、钻石*200", 6)})})}}));
}

std::string ChannelGameServer::sampleVIPGoods() const {
  auto gift = [this](const char* id, const char* vip, const char* giftId, const char* contents, int icon) {
    const std::string level = std::string("VIP") + vip;
    return kit::dict({{"id", id}, {"game_id", "1001"}, {"vip_id", vip}, {"vip_name", level}, {"vip_level", vip},
                      {"gift_id", giftId}, {"gift_name", level + "礼包"}, {"gift_num", "1"},
                      {"gift_icon", itemIconURL(icon)}, {"gift_desc", contents},
                      {"vip_desc", level + "专属：商城购买享" + (vip == std::string("1") ? "9.5" : "9") + "折"},
                      {"vip_condition", vip == std::string("1") ? "累计充值30元" : "累计充值98元"}, {"status", "0"}});
  };
  return jsonText(kit::dict(
      {{"total_money", "128"},
       {"desc", "VIP等级礼包"},
       {"list", kit::array({kit::array({gift("31", "1", "301", "金币*2000、体力*100", 2),
                                        gift("32", "2", "302", "钻石*300、时装*1", 8)})})}}));
}

std::string ChannelGameServer::sampleResourceGoods() {
  return R"({"rule":"每日限购","notice":"资源大厅开放中","list":[)"
         R"({"id":"501","name":"金币*10000","money":"6"},{"id":"502","name":"钻石*300","money":"30"}]})";
}

std::string ChannelGameServer::sampleHallGoods() const {
  auto goods = [this](const char* id, const char* title, const char* money, const char* coin, const char* isBuy,
                      int icon) {
    return kit::dict({{"id", id}, {"title", title}, {"content", "购买后可领取金币与转盘次数"}, {"money", money},
                      {"prop_img", itemIconURL(icon)}, {"game_coin", coin}, {"welfare_nums", "5"},
                      {"super_welfare_nums", "2"}, {"is_buy", isBuy}, {"is_coin", "0"}, {"is_welfare", "0"},
                      {"is_superwelfare", "0"}});
  };
  return jsonText(kit::dict({{"rule_content", "每个资源每日限购一次，购买后领取金币和转盘次数。"},
                             {"notice", "资源大厅开放中"},
                             {"list", kit::array({goods("501", "金币*10000", "6", "10000", "0", 1),
                                                  goods("502", "钻石*300", "30", "300", "1", 3),
                                                  goods("503", "体力*50", "12", "50", "0", 2),
                                                  goods("504", "经验书*10", "18", "10", "0", 4)})}}));
}

namespace {
kit::Ref<kit::Dictionary> prize(const char* mid, const char* name, const char* amount, const char* isSuper,
                                const std::string& icon) {
  return kit::dict({{"mid", mid}, {"name", name}, {"amount", amount}, {"is_super", isSuper}, {"icon", icon}});
}
}  // namespace

std::string ChannelGameServer::sampleWelfareWheel() const {
  const char* names[] = {"金币", "钻石", "体力", "经验书", "强化石", "宝箱", "坐骑", "时装"};
  auto items = kit::MutableArray::make();
  for (int i = 0; i < 8; ++i) {
    items->addObject(prize(std::to_string(i + 1).c_str(), names[i], std::to_string((i + 1) * 10).c_str(), "0",
                           itemIconURL(i + 1)));
  }
  items->addObject(prize("99", "神兽", "1", "1", itemIconURL(5)));
  return jsonText(kit::dict({{"items", items},
                             {"active_title", "福利转盘"},
                             {"active_rule", "每次抽奖消耗一次福利转盘次数。"},
                             {"user_welfare_nums", "10"}}));
}

std::string ChannelGameServer::sampleSuperWheel() const {
  const char* names[] = {"神兵", "灵石", "仙丹", "羽翼", "宝石", "翅膀", "法宝", "称号"};
  auto items = kit::MutableArray::make();
  for (int i = 0; i < 8; ++i) {
    items->addObject(prize(std::to_string(i + 11).c_str(), names[i], std::to_string(i + 1).c_str(), "0",
                           itemIconURL(8 - i)));
  }
  auto extra = kit::dict({{"mid", "100"}, {"name", "至尊神兽"}, {"amount", "1"}, {"nums", "10"},
                          {"icon", itemIconURL(6)}});
  return jsonText(kit::dict({{"items", items},
                             {"select_extra_items", extra},
                             {"active_title", "超级转盘"},
                             {"active_rule", "每抽一次积累进度，满进度可领取至尊奖励。"},
                             {"user_superwelfare_nums", "10"},
                             {"use_superwelfare_nums", "3"}}));
}

std::string ChannelGameServer::samplePrizes() const {
  return jsonText(kit::array({prize("2", "钻石", "20", "0", itemIconURL(2)), prize("1", "金币", "10", "0", itemIconURL(1)),
                              prize("3", "体力", "30", "0", itemIconURL(3)), prize("4", "经验书", "40", "0", itemIconURL(4)),
                              prize("5", "强化石", "50", "0", itemIconURL(5))}));
}

std::string ChannelGameServer::sampleLuckReward(const std::string& title) {
  return jsonText(kit::dict(
      {{"title", title},
       {"is_custom", "1"},
       {"items", kit::array({kit::dict({{"mid", "1"}, {"name", "金币"}, {"amount", "100"}, {"icon", ""}}),
                             kit::dict({{"mid", "2"}, {"name", "钻石"}, {"amount", "20"}, {"icon", ""}})})}}));
}

std::string ChannelGameServer::sampleTimeStorePacks() const {
  auto item = [this](const char* mid, const char* name, const char* amount, int icon) {
    return kit::dict({{"mid", mid}, {"name", name}, {"amount", amount}, {"bind", "1"}, {"type", "1"},
                      {"icon", itemIconURL(icon)}});
  };
  auto custom = kit::dict({{"good_id", "12"},
                           {"gift_name", "定制礼包"},
                           {"gift_money", "30"},
                           {"is_all_fixed", "1"},
                           {"is_buy", "0"},
                           {"optional_num", "2"},
                           {"fixed_gift", kit::array({item("31", "金币", "1000", 1), item("32", "体力", "50", 2)})},
                           {"optional_gift", kit::array({item("40", "钻石", "100", 3), item("41", "经验书", "5", 4),
                                                         item("42", "强化石", "10", 5)})}});
  auto fixed = kit::dict({{"good_id", "7"},
                          {"gift_name", "超值礼包"},
                          {"gift_money", "6"},
                          {"is_all_fixed", "2"},
                          {"is_buy", "0"},
                          {"optional_num", "1"},
                          {"fixed_gift", kit::array({item("5", "金币", "500", 1)})},
                          {"optional_gift", kit::array({item("6", "钻石", "20", 3)})}});
  auto bought = kit::dict({{"good_id", "8"},
                           {"gift_name", "首充礼包"},
                           {"gift_money", "1"},
                           {"is_all_fixed", "2"},
                           {"is_buy", "1"},
                           {"optional_num", "0"},
                           {"fixed_gift", kit::array({item("9", "体力", "20", 2)})},
                           {"optional_gift", kit::array()}});
  return jsonText(kit::dict({{"gift_no_name", "限时特惠第一期"},
                             {"notice_content", "礼包每日零点刷新"},
                             {"list", kit::array({custom, fixed, bought})}}));
}

std::string ChannelGameServer::sampleLevelStorePacks() const {
  auto items = [this](int first) {
    return jsonText(
        kit::array({kit::dict({{"mid", "1"}, {"name", "金币"}, {"amount", "1000"}, {"icon", itemIconURL(first)}}),
                    kit::dict({{"mid", "2"}, {"name", "钻石"}, {"amount", "60"}, {"icon", itemIconURL(first + 1)}})}));
  };
  auto pack = [&](const char* id, const char* name, const char* money, const char* isBuy, const char* lost, int icon) {
    return kit::dict({{"good_id", id}, {"good_name", name}, {"money", money}, {"is_buy", isBuy},
                      {"lost_time", lost}, {"items", items(icon)}});
  };
  return jsonText(kit::dict({{"notice_content", "等级礼包限时开放"},
                             {"list", kit::array({pack("7", "15级礼包", "6", "0", "3600", 1),
                                                  pack("8", "20级礼包", "30", "1", "0", 3)})}}));
}

std::string ChannelGameServer::sampleRewardItems() const {
  return jsonText(
      kit::array({kit::dict({{"mid", "1"}, {"name", "金币"}, {"amount", "1000"}, {"icon", itemIconURL(1)}}),
                  kit::dict({{"mid", "2"}, {"name", "钻石"}, {"amount", "60"}, {"icon", itemIconURL(3)}}),
                  kit::dict({{"mid", "3"}, {"name", "体力"}, {"amount", "50"}, {"icon", itemIconURL(2)}})}));
}

std::string ChannelGameServer::sampleLevelOffer() const {
  return jsonText(kit::dict({{"ads_pic", adPictureURL()}, {"items", sampleRewardItems()}}));
}

}  // namespace sim
