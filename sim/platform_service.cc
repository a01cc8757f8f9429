// The platform's API as a service: its state, its scripting, and how every
// endpoint reads and answers. See platform_service.h; the endpoints are in
// platform_account_routes.cc and platform_pay_routes.cc.
#include "sim/platform_service.h"

#include <cstdio>

#include "kit/foundation/bundle.h"
#include "kit/foundation/crypto.h"
#include "kit/foundation/date.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "sim/platform_routes.h"
#include "sim/platform_web_pages.h"

namespace sim {

// ---- Reading requests --------------------------------------------------------------

PlatformCall::PlatformCall(const PlatformAPIRequest& request, PlatformClient client) : endpoint_(request.endpoint) {
  const std::string type = request.exchange.header("Content-Type").value_or("");
  if (client == PlatformClient::Form) {
    wellFormed_ = request.exchange.method == "POST" && type.starts_with("application/x-www-form-urlencoded");
    auto fields = kit::MutableDictionary::make();
    for (const auto& [name, value] : request.exchange.form) fields->setObject(kit::str(value), std::string_view(name));
    parameters_ = fields;
  } else {
    parameters_ = kit::as<kit::Dictionary>(request.parameters);
    wellFormed_ = request.exchange.method == "POST" && parameters_ != nullptr;
  }
  if (!parameters_) parameters_ = kit::Dictionary::make();
}

kit::Id PlatformCall::value(const char* key) const { return (*parameters_)[key]; }

std::string PlatformCall::text(const char* key) const {
  kit::Id v = value(key);
  if (auto text = kit::as<kit::String>(v)) return text->utf8();
  if (kit::isKind<kit::Number>(v)) return kit::describe(v);
  return {};
}

std::string PlatformCall::missing(std::initializer_list<const char*> keys) const {
  for (const char* key : keys) {
    kit::Id v = value(key);
    if (!kit::isKind<kit::String>(v) && !kit::isKind<kit::Number>(v)) return key;
  }
  return {};
}

kit::Unexpected refuse(const std::string& why) { return kit::unexpected("sim.platform", 0, why); }

kit::Ref<kit::Dictionary> letterRefusal(const char* messageKey, const std::string& why) {
  return kit::dict({{"z", "0"}, {messageKey, why}});
}

kit::Ref<kit::Dictionary> codeRefusal(const std::string& why) { return kit::dict({{"code", "0"}, {"msg", why}}); }

namespace {

PlatformAPIReply replyIn(PlatformClient client, kit::Id object) {
  switch (client) {
    case PlatformClient::Scrambled: return PlatformAPIReply::scrambled(std::move(object));
    case PlatformClient::Connection: return PlatformAPIReply::plain(std::move(object));
    case PlatformClient::Form: return PlatformAPIReply::json(std::move(object));
  }
  return PlatformAPIReply::scrambled(std::move(object));
}

}  // namespace

void PlatformRoutes::serve(PlatformService& service, const std::string& endpoint, PlatformClient client,
                           Envelope envelope, Handler handler) {
  service.server_.route(endpoint, [&service, client, envelope, handler](const PlatformAPIRequest& request) {
    PlatformCall call(request, client);
    if (!call.wellFormed()) return replyIn(client, envelope("请求格式错误"));
    PlatformAnswer answer = handler(service, call);
    if (!answer) return replyIn(client, envelope(answer.error()->localizedDescription()));
    return replyIn(client, *answer);
  });
}

kit::Expected<void> PlatformRoutes::checkGame(PlatformService& service, const PlatformCall& call, const char* appKey,
                                              const char* gameKey, const char* channelKey) {
  const PlatformIdentity identity = service.identity();
  if (appKey && (identity.appId.empty() || call.text(appKey) != identity.appId)) return refuse("应用不存在");
  if (gameKey && (identity.gameId.empty() || call.text(gameKey) != identity.gameId)) return refuse("游戏不存在");
  if (channelKey && !identity.acceptsChannel(call.text(channelKey))) return refuse("渠道不存在");
  return {};
}

bool PlatformRoutes::isAdvertisingIdentifier(const std::string& text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return true;
}

std::string PlatformRoutes::nowText() {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", kit::Date::now()->timeIntervalSince1970());
  return text;
}

std::string PlatformRoutes::nextCode(PlatformService& s) {
  // Six digits that differ from one code to the next.
  char code[8];
  std::snprintf(code, sizeof code, "%06ld", (246810 + 7919 * ++s.nextCode_) % 1000000);
  return code;
}

std::string PlatformRoutes::nextSid(PlatformService& s) { return "sid" + std::to_string(++s.nextSid_); }

// ---- The service ---------------------------------------------------------------------

PlatformService::PlatformService(PlatformAPIServer& server) : server_(server) {
  payWays_ = {{"2", "钱包支付", "推荐"}, {"3", "微信支付", ""}, {"1", "平台币", ""},
              {"4", "代金券", ""},       {"5", "钱包APP支付", ""}, {"6", "微信官方支付", ""}};
  PlatformRoutes::installAccountRoutes(*this);
  PlatformRoutes::installPayRoutes(*this);
  PlatformWebPages::install(*this, server_);
}

void PlatformService::setIdentity(PlatformIdentity identity) {
  std::lock_guard lock(mutex_);
  identity_ = std::move(identity);
}

PlatformIdentity PlatformService::identity() const {
  {
    std::lock_guard lock(mutex_);
    if (identity_) return *identity_;
  }
  return PlatformIdentity::fromBundle(kit::Bundle::main()->bundlePath());
}

void PlatformService::addAccount(PlatformAccount account) {
  std::lock_guard lock(mutex_);
  std::string name = account.userName;
  accounts_[name] = std::move(account);
}

std::optional<PlatformAccount> PlatformService::account(const std::string& userName) const {
  std::lock_guard lock(mutex_);
  auto it = accounts_.find(userName);
  if (it == accounts_.end()) return std::nullopt;
  return it->second;
}

void PlatformService::updateAccount(const std::string& userName, const std::function<void(PlatformAccount&)>& change) {
  std::lock_guard lock(mutex_);
  if (auto it = accounts_.find(userName); it != accounts_.end()) change(it->second);
}

std::optional<std::string> PlatformService::issuedCode(const std::string& phone) const {
  std::lock_guard lock(mutex_);
  auto it = smsCodes_.find(phone);
  if (it == smsCodes_.end()) return std::nullopt;
  return it->second;
}

std::string PlatformService::loginSign(const std::string& userName, const std::string& loginTime) const {
  return kit::md5Hex("username=" + userName + "&appkey=" + identity().appKey + "&logintime=" + loginTime);
}

void PlatformService::setNotice(std::optional<PlatformNotice> notice) {
  std::lock_guard lock(mutex_);
  notice_ = std::move(notice);
}

std::optional<kit::Ref<kit::Dictionary>> PlatformService::reportedRole(const std::string& userName) const {
  std::lock_guard lock(mutex_);
  auto it = roles_.find(userName);
  if (it == roles_.end()) return std::nullopt;
  return it->second;
}

int PlatformService::onlineTimeReports(const std::string& userName) const {
  std::lock_guard lock(mutex_);
  auto it = onlineReports_.find(userName);
  return it == onlineReports_.end() ? 0 : it->second;
}

int PlatformService::logouts(const std::string& userName) const {
  std::lock_guard lock(mutex_);
  auto it = logouts_.find(userName);
  return it == logouts_.end() ? 0 : it->second;
}

void PlatformService::setSpeedUpEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  speedUp_ = enabled;
}

void PlatformService::setPayWays(std::vector<PlatformPayWay> ways) {
  std::lock_guard lock(mutex_);
  payWays_ = std::move(ways);
}

void PlatformService::setDiscount(std::string discount) {
  std::lock_guard lock(mutex_);
  discount_ = std::move(discount);
}

void PlatformService::setServiceContacts(std::string qq, std::string tel) {
  std::lock_guard lock(mutex_);
  qq_ = std::move(qq);
  tel_ = std::move(tel);
}

std::vector<PlatformOrder> PlatformService::orders() const {
  std::lock_guard lock(mutex_);
  return orders_;
}

std::optional<PlatformOrder> PlatformService::order(const std::string& orderNumber) const {
  std::lock_guard lock(mutex_);
  for (const auto& order : orders_) {
    if (order.orderNumber == orderNumber) return order;
  }
  return std::nullopt;
}

bool PlatformService::markPaid(const std::string& orderNumber) {
  std::lock_guard lock(mutex_);
  for (auto& order : orders_) {
    if (order.orderNumber == orderNumber) {
      order.paid = true;
      return true;
    }
  }
  return false;
}

std::string PlatformService::nextOrderNumber() { return "P" + std::to_string(1000000 + ++nextOrder_); }

}  // namespace sim
