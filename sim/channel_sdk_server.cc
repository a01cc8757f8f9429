// The channel platform's SDK server stand-in. See channel_sdk_server.h.

#include "sim/channel_sdk_server.h"

#include <cstdlib>

#include "kit/foundation/crypto.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"

namespace sim {

namespace {

const char* const kRoutes[] = {"init", "login/index", "login/special", "login/enter", "role/index", "order/index"};
// The notice page's route.
constexpr const char* kNoticePage = "notice/page";

// Text made safe for an HTML page.
std::string escapeHTML(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string jsonText(const kit::Id& object) {
  auto data = kit::JSONSerialization::dataWithJSONObject(object, kit::JSONWritingWithoutEscapingSlashes);
  return data ? data->toString() : "{}";
}

std::string refusal(const std::string& code, const std::string& message) {
  return jsonText(kit::dict({{"code", code}, {"msg", message}, {"data", kit::dict()}}));
}

// A money text the server accepts: digits with at most one decimal point,
// above zero.
bool isAmount(const std::string& text) {
  if (text.empty()) return false;
  int dots = 0;
  for (char c : text) {
    if (c == '.') {
      ++dots;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return dots <= 1 && std::strtod(text.c_str(), nullptr) > 0;
}

}  // namespace

std::string md5Hex(const std::string& text) { return kit::md5Hex(text); }

ChannelSDKServer::ChannelSDKServer(int port) : ChannelRouteServer(kBasePath, refusal, port) {
  for (const char* route : kRoutes) {
    serve(route, [this](const std::string& name, const kit::test::RecordedRequest& request) {
      return answer(name, request);
    });
  }
  serveGET(kNoticePage, [this] {
    std::lock_guard lock(mutex_);
    auto page = kit::test::TestResponse::text(
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + escapeHTML(notice_.title) +
        "</title></head><body><h3>" + escapeHTML(notice_.title) + "</h3><p>" + escapeHTML(notice_.content) +
        "</p></body></html>");
    page.contentType = "text/html; charset=utf-8";
    return page;
  });
}

ChannelSDKServer::~ChannelSDKServer() { stop(); }

void ChannelSDKServer::setGameId(std::string gameId) {
  std::lock_guard lock(mutex_);
  gameId_ = std::move(gameId);
}

void ChannelSDKServer::setPackage(std::string package) {
  std::lock_guard lock(mutex_);
  package_ = std::move(package);
}

void ChannelSDKServer::setReply(const std::string& route, std::string json) {
  std::lock_guard lock(mutex_);
  if (json.empty()) {
    replies_.erase(route);
  } else {
    replies_[route] = std::move(json);
  }
}

void ChannelSDKServer::setNotice(Notice notice) {
  std::lock_guard lock(mutex_);
  notice_ = std::move(notice);
}

void ChannelSDKServer::setNotice(std::string title, std::string content) {
  Notice notice;
  notice.title = std::move(title);
  notice.content = std::move(content);
  setNotice(std::move(notice));
}

std::string ChannelSDKServer::noticePageURL() const { return urlOf(kNoticePage); }



std::string ChannelSDKServer::lastReply(const std::string& route) const {
  std::lock_guard lock(mutex_);
  auto found = lastReplies_.find(route);
  return found == lastReplies_.end() ? std::string() : found->second;
}

bool ChannelSDKServer::isTokenOf(const std::string& superUserId, const std::string& token) const {
  std::lock_guard lock(mutex_);
  auto found = tokens_.find(superUserId);
  return found != tokens_.end() && !token.empty() && found->second == token;
}

std::vector<ChannelSDKServer::Order> ChannelSDKServer::orders() const {
  std::lock_guard lock(mutex_);
  return orders_;
}

std::optional<std::string> ChannelSDKServer::superUserIdFor(const std::string& uid) const {
  std::lock_guard lock(mutex_);
  auto found = users_.find(uid);
  if (found == users_.end()) return std::nullopt;
  return found->second;
}

kit::test::TestResponse ChannelSDKServer::answer(const std::string& route, const kit::test::RecordedRequest& request) {
  std::string scripted;
  {
    std::lock_guard lock(mutex_);
    scripted = replies_.count(route) ? replies_[route] : std::string();
  }

  ChannelRequest decoded = decodeChannelRequest(route, request);
  std::string reply;
  if (!scripted.empty()) {
    reply = scripted;
  } else if (request.method != "POST") {
    reply = refusal("405", "请使用POST请求");
  } else if (route == "init") {
    reply = answerInit(decoded);
  } else if (route == "login/index" || route == "login/special") {
    reply = answerLogin(decoded);
  } else if (route == "login/enter") {
    reply = answerEnter(decoded);
  } else if (route == "role/index") {
    reply = answerRole(decoded);
  } else {
    reply = answerOrder(decoded);
  }
  std::lock_guard lock(mutex_);
  lastReplies_[route] = reply;
  return kit::test::TestResponse::json(reply);
}

std::string ChannelSDKServer::answerInit(const ChannelRequest& request) {
  std::lock_guard lock(mutex_);
  if (request.field("game_id") != gameId_) return refusal("400", "游戏不存在");
  if (request.field("platform_id") != "256") return refusal("400", "渠道不存在");
  if (request.field("os_type") != "2") return refusal("400", "系统类型错误");
  kit::Id notice = notice_.title.empty() && notice_.content.empty()
                       ? kit::Id(kit::dict())
                       : kit::Id(kit::dict({{"notice_title", notice_.title},
                                            {"notice_content", notice_.content},
                                            {"notice_type", notice_.type},
                                            {"notice_url", notice_.url}}));
  return jsonText(kit::dict({{"code", "200"}, {"msg", "ok"}, {"data", kit::dict({{"notice_data", notice}})}}));
}

std::string ChannelSDKServer::answerLogin(const ChannelRequest& request) {
  std::lock_guard lock(mutex_);
  if (request.field("game_id") != gameId_) return refusal("400", "游戏不存在");
  if (request.field("platform_id") != "256") return refusal("400", "渠道不存在");
  if (request.field("os_type") != "2") return refusal("400", "系统类型错误");
  std::string uid = request.field("uid");
  if (uid.empty() || request.field("token").empty()) return refusal("401", "登录验证失败");
  auto& superUserId = users_[uid];
  if (superUserId.empty()) superUserId = std::to_string(nextUser_++);
  std::string token = md5Hex(uid + ":" + request.field("token")).substr(0, 16);
  tokens_[superUserId] = token;
  return jsonText(kit::dict(
      {{"code", "200"}, {"msg", "登录成功"}, {"data", kit::dict({{"super_user_id", superUserId}, {"token", token}})}}));
}

std::string ChannelSDKServer::answerEnter(const ChannelRequest& request) {
  std::lock_guard lock(mutex_);
  if (request.field("game_id") != gameId_) return refusal("400", "游戏不存在");
  if (!tokens_.count(request.field("super_user_id"))) return refusal("401", "用户不存在");
  if (request.field("service_id").empty()) return refusal("400", "区服不存在");
  return jsonText(kit::dict({{"code", "200"}, {"msg", "ok"}, {"data", kit::dict()}}));
}

std::string ChannelSDKServer::answerRole(const ChannelRequest& request) {
  std::lock_guard lock(mutex_);
  for (const char* name : {"super_user_id", "game_id", "service_id", "service_name", "role_id", "role_name",
                           "role_level", "power_value", "money", "random", "sign", "os_type"}) {
    if (!request.has(name)) return refusal("400", std::string("缺少参数") + name);
  }
  if (request.field("game_id") != gameId_) return refusal("400", "游戏不存在");
  std::string superUserId = request.field("super_user_id");
  if (!tokens_.count(superUserId)) return refusal("401", "用户不存在");
  std::string expected = md5Hex(superUserId + request.field("game_id") + request.field("service_id") +
                                request.field("random") + kSigningSalt);
  if (request.field("sign") != expected) return refusal("403", "签名错误");
  auto& roleId = roles_[superUserId + "|" + request.field("service_id") + "|" + request.field("role_id")];
  if (roleId.empty()) roleId = "r" + std::to_string(nextRole_++);
  return jsonText(kit::dict({{"code", "200"}, {"msg", "上报成功"}, {"data", kit::dict({{"role_id", roleId}})}}));
}

std::string ChannelSDKServer::answerOrder(const ChannelRequest& request) {
  std::lock_guard lock(mutex_);
  for (const char* name : {"good_id", "good_name", "platform_id", "game_id", "game_order_sn", "package",
                           "super_user_id", "power_value", "money", "service_id", "service_name", "role_id",
                           "role_name", "remark", "os_type", "random", "sign"}) {
    if (!request.has(name)) return refusal("400", std::string("缺少参数") + name);
  }
  if (request.field("game_id") != gameId_) return refusal("400", "游戏不存在");
  if (!package_.empty() && request.field("package") != package_) return refusal("400", "包名错误");
  std::string superUserId = request.field("super_user_id");
  if (!tokens_.count(superUserId)) return refusal("401", "用户不存在");
  std::string expected = md5Hex(superUserId + request.field("platform_id") + request.field("game_order_sn") +
                                request.field("game_id") + request.field("random") + kSigningSalt);
  if (request.field("sign") != expected) return refusal("403", "签名错误");
  if (!isAmount(request.field("money"))) return refusal("400", "金额错误");
  std::string orderId = "o" + std::to_string(nextOrder_++);
  orders_.push_back({orderId, request.field("game_order_sn"), request.field("money"), superUserId});
  return jsonText(kit::dict({{"code", "200"}, {"msg", "下单成功"}, {"data", kit::dict({{"order_id", orderId}})}}));
}

}  // namespace sim
