// The platform service's pay endpoints: the orders of every pay way, the
// pay result the pay sheet polls, coupons, pay ways, balances, contacts,
// pay records and game details. See platform_service.h.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "kit/foundation/crypto.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "sim/platform_routes.h"
#include "sim/platform_web_pages.h"

namespace sim {

namespace {

using R = PlatformRoutes;

constexpr long kPaid = 1;
constexpr long kNeedsNoPayment = 11;
constexpr int kRecordsPerPage = 10;

kit::Expected<void> require(const PlatformCall& call, std::initializer_list<const char*> keys) {
  const std::string key = call.missing(keys);
  if (!key.empty()) return refuse("缺少参数" + key);
  return {};
}

// An amount in decimal notation (digits with at most one point), or none.
std::optional<double> amount(const std::string& text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  int points = 0;
  for (char c : text) {
    if (c == '.') {
      if (++points > 1) return std::nullopt;
    } else if (c < '0' || c > '9') {
      return std::nullopt;
    }
  }
  return std::strtod(text.c_str(), nullptr);
}

std::string yuan(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

kit::Id numberOrText(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (!text.empty() && end && *end == '\0') return kit::num(value);
  return kit::str(text);
}

// The parts of an order every layout carries, read under its keys.
struct OrderKeys {
  const char* user;
  const char* role;
  const char* server;
  const char* orderNumber;  // nullptr: the server numbers the order
  const char* productName;
  const char* cpExtend;
};

// Checks the amounts and the coupon of an order and records it, unpaid;
// the order, or why it is refused. Called under the service's lock.
kit::Expected<PlatformOrder> placeOrder(PlatformService& service, const PlatformCall& call, const OrderKeys& keys) {
  auto money = amount(call.text("p"));
  auto real = amount(call.text("b"));
  if (!money || !real || *money <= 0 || *real > *money) return refuse("金额错误");
  auto& accounts = R::accounts(service);
  auto account = accounts.find(call.text(keys.user));
  if (account == accounts.end()) return refuse("用户不存在");
  const std::string couponId = call.text("cid");
  if (!couponId.empty()) {
    bool usable = false;
    for (const auto& coupon : account->second.coupons) {
      auto least = amount(coupon.payMoney);
      if (coupon.cid == couponId && least && *least <= *money) usable = true;
    }
    if (!usable) return refuse("优惠券不可用");
  }
  std::string number = keys.orderNumber ? call.text(keys.orderNumber) : R::nextOrderNumber(service);
  if (number.empty()) return refuse("缺少订单号");
  for (const auto& placed : R::orders(service)) {
    if (placed.orderNumber == number) return refuse("订单号重复");
  }
  PlatformOrder order;
  order.orderNumber = number;
  order.endpoint = call.endpoint();
  order.payType = call.text("z");
  order.userName = account->first;
  order.money = call.text("p");
  order.realMoney = call.text("b");
  order.couponId = couponId;
  order.roleId = call.text(keys.role);
  order.serverId = call.text(keys.server);
  order.productName = call.text(keys.productName);
  order.cpExtend = call.text(keys.cpExtend);
  order.createTime = R::nowText();
  R::orders(service).push_back(order);
  return order;
}

// Layout A: the H5 cashier, the app order and the official WeChat page.
kit::Expected<PlatformOrder> layoutAOrder(PlatformService& service, const PlatformCall& call,
                                          std::initializer_list<const char*> payTypes) {
  if (auto ok = require(call, {"z", "p", "b", "c", "d", "e", "f", "x", "j", "k", "h", "os"}); !ok) {
    return kit::unexpected(ok.error());
  }
  if (auto ok = R::checkGame(service, call, "j", "f", "k"); !ok) return kit::unexpected(ok.error());
  if (call.text("os") != "ios") return refuse("系统类型错误");
  if (!R::isAdvertisingIdentifier(call.text("h"))) return refuse("设备标识错误");
  bool known = false;
  for (const char* type : payTypes) known = known || call.text("z") == type;
  if (!known) return refuse("支付方式错误");
  std::lock_guard lock(R::lock(service));
  return placeOrder(service, call, {"c", "d", "e", "x", "l", "n"});
}

// Layout B: platform coins and vouchers, paid from the player's balance.
kit::Expected<PlatformOrder> layoutBOrder(PlatformService& service, const PlatformCall& call, const char* payType) {
  if (auto ok = require(call, {"z", "p", "b", "c", "d", "e", "f", "x", "h", "j", "os"}); !ok) {
    return kit::unexpected(ok.error());
  }
  if (auto ok = R::checkGame(service, call, "d", "j", "e"); !ok) return kit::unexpected(ok.error());
  if (call.text("os") != "ios") return refuse("系统类型错误");
  if (!R::isAdvertisingIdentifier(call.text("c"))) return refuse("设备标识错误");
  if (call.text("z") != payType) return refuse("支付方式错误");
  std::lock_guard lock(R::lock(service));
  auto placed = placeOrder(service, call, {"f", "x", "h", nullptr, "k", "y"});
  if (!placed) return placed;
  // Paid from the balance at once; an order the balance cannot pay is not
  // kept.
  PlatformAccount& account = R::accounts(service)[placed->userName];
  PlatformOrder& order = R::orders(service).back();
  const double due = *amount(order.realMoney);
  std::string refusal;
  if (std::string(payType) == "ptb") {
    if (due != std::floor(due)) {
      refusal = "平台币数量错误";
    } else if (account.platformCoins < due) {
      refusal = "平台币余额不足";
    } else {
      account.platformCoins -= static_cast<long>(due);
    }
  } else {
    const double balance = amount(account.vouchers).value_or(0);
    if (balance + 1e-9 < due) {
      refusal = "代金券余额不足";
    } else {
      account.vouchers = yuan(balance - due);
    }
  }
  if (!refusal.empty()) {
    R::orders(service).pop_back();
    return refuse(refusal);
  }
  order.paid = true;
  return order;
}

// ---- Orders ------------------------------------------------------------------------

// An order with nothing left to pay is paid at once and answered 11.
PlatformAnswer cashierAnswer(PlatformService& service, const PlatformOrder& order, const char* codeKey,
                             const char* messageKey, const std::string& pageKey, const std::string& page) {
  if (*amount(order.realMoney) == 0) {
    service.markPaid(order.orderNumber);
    return kit::Id(kit::dict({{codeKey, kNeedsNoPayment}, {messageKey, "无需支付"}}));
  }
  return kit::Id(kit::dict({{codeKey, kPaid}, {messageKey, "下单成功"}, {pageKey, page}}));
}

PlatformAnswer h5Order(PlatformService& service, const PlatformCall& call) {
  auto order = layoutAOrder(service, call, {"wx", "qb"});
  if (!order) return kit::unexpected(order.error());
  return cashierAnswer(service, *order, "z", "b", "c",
                       PlatformWebPages::cashierURL(R::webHost(service), order->orderNumber, order->payType));
}

PlatformAnswer walletAppOrder(PlatformService& service, const PlatformCall& call) {
  auto order = layoutAOrder(service, call, {"qb"});
  if (!order) return kit::unexpected(order.error());
  const std::string fields = "partner=\"" + call.text("j") + "\"&out_trade_no=\"" + order->orderNumber +
                             "\"&subject=\"" + order->productName + "\"&total_fee=\"" + order->realMoney + "\"";
  const std::string signedOrder = fields + "&sign=\"" + kit::md5Hex(fields + service.identity().appKey) + "\"";
  {
    std::lock_guard lock(R::lock(service));
    for (auto& placed : R::orders(service)) {
      if (placed.orderNumber == order->orderNumber) placed.signedOrder = signedOrder;
    }
  }
  return cashierAnswer(service, *order, "z", "b", "c", signedOrder);
}

PlatformAnswer wxOrder(PlatformService& service, const PlatformCall& call) {
  auto order = layoutAOrder(service, call, {"wx"});
  if (!order) return kit::unexpected(order.error());
  return cashierAnswer(service, *order, "code", "msg", "data",
                       PlatformWebPages::officialURL(R::webHost(service), order->orderNumber));
}

PlatformAnswer ptbOrder(PlatformService& service, const PlatformCall& call) {
  auto order = layoutBOrder(service, call, "ptb");
  if (!order) return kit::unexpected(order.error());
  return kit::Id(kit::dict({{"z", "1"}, {"b", order->orderNumber}, {"c", "支付成功"}}));
}

PlatformAnswer djqOrder(PlatformService& service, const PlatformCall& call) {
  auto order = layoutBOrder(service, call, "djq");
  if (!order) return kit::unexpected(order.error());
  return kit::Id(kit::dict({{"z", "1"}, {"b", order->orderNumber}, {"c", "支付成功"}}));
}

// Whether the player's latest order is paid.
PlatformAnswer payResult(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z"}); !ok) return kit::unexpected(ok.error());
  std::lock_guard lock(R::lock(service));
  const std::string name = call.text("z");
  const PlatformOrder* latest = nullptr;
  for (const auto& order : R::orders(service)) {
    if (order.userName == name) latest = &order;
  }
  if (!latest) return refuse("暂无订单");
  return kit::Id(kit::dict({{"z", latest->paid ? "1" : "0"}, {"b", latest->paid ? "支付成功" : "等待支付"}}));
}

// ---- Queries -----------------------------------------------------------------------

PlatformAnswer coupons(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b", "e", "f", "mm"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "b", "e", "f"); !ok) return kit::unexpected(ok.error());
  auto money = amount(call.text("mm"));
  if (!money) return refuse("金额错误");
  const std::string game = service.identity().gameId;
  std::lock_guard lock(R::lock(service));
  auto& accounts = R::accounts(service);
  auto account = accounts.find(call.text("z"));
  if (account == accounts.end()) return refuse("用户不存在");
  auto list = kit::MutableArray::make();
  for (const auto& coupon : account->second.coupons) {
    auto least = amount(coupon.payMoney);
    list->addObject(kit::dict({{"cid", numberOrText(coupon.cid)},
                               {"gamename", coupon.gameId == "0" ? "通用" : game},
                               {"coupon_name", coupon.name},
                               {"pay_money", coupon.payMoney},
                               {"coupon_money", coupon.couponMoney},
                               {"av_time", coupon.validity},
                               {"av", least && *least <= *money ? "1" : "0"},
                               {"gid", coupon.gameId}}));
  }
  return kit::Id(kit::dict({{"code", 1}, {"msg", ""}, {"data", list}}));
}

PlatformAnswer payWaysAnswer(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b", "os"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "z", "b", call.has("bb") ? "bb" : nullptr); !ok) {
    return kit::unexpected(ok.error());
  }
  if (call.text("os") != "ios") return refuse("系统类型错误");
  std::lock_guard lock(R::lock(service));
  auto list = kit::MutableArray::make();
  for (const auto& way : R::payWays(service)) {
    list->addObject(kit::dict({{"z", way.code}, {"b", way.name}, {"d", way.detail}}));
  }
  long coins = 0;
  double vouchers = 0;
  auto& accounts = R::accounts(service);
  if (auto account = accounts.find(call.text("zz")); account != accounts.end()) {
    coins = account->second.platformCoins;
    vouchers = amount(account->second.vouchers).value_or(0);
  }
  return kit::Id(kit::dict({{"code", "1"},
                            {"msg", ""},
                            {"data", list},
                            {"ttb", std::to_string(coins)},
                            {"djq", vouchers},
                            {"discount", std::strtod(R::discount(service).c_str(), nullptr)}}));
}

PlatformAnswer coinBalance(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "z", nullptr, nullptr); !ok) return kit::unexpected(ok.error());
  auto account = service.account(call.text("b"));
  if (!account) return refuse("用户不存在");
  return kit::Id(kit::dict({{"z", "1"}, {"b", std::to_string(account->platformCoins)}, {"c", "查询成功"}}));
}

PlatformAnswer voucherBalance(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b", "c"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "z", "c", nullptr); !ok) return kit::unexpected(ok.error());
  auto account = service.account(call.text("b"));
  if (!account) return refuse("用户不存在");
  return kit::Id(kit::dict({{"z", "1"}, {"b", account->vouchers}, {"c", "查询成功"}}));
}

PlatformAnswer serviceContacts(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "z", nullptr, nullptr); !ok) return kit::unexpected(ok.error());
  std::lock_guard lock(R::lock(service));
  auto [qq, tel] = R::contacts(service);
  auto data = kit::dict({{"b", qq}, {"z", tel}, {"d", "客服在线时间 9:00-22:00"}, {"c", "10"}, {"e", "1"}});
  return kit::Id(kit::dict({{"code", "1"}, {"msg", ""}, {"data", data}}));
}

std::string dateText(const std::string& seconds) {
  const std::time_t t = static_cast<std::time_t>(std::strtoll(seconds.c_str(), nullptr, 10));
  std::tm when{};
  gmtime_r(&t, &when);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &when);
  return text;
}

// Status "1" lists paid orders, "2" unpaid ones, anything else all; pages
// of ten, from 1.
PlatformAnswer payRecords(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b", "c", "d"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "b", nullptr, nullptr); !ok) return kit::unexpected(ok.error());
  const std::string status = call.text("c");
  const long page = std::max(1L, std::strtol(call.text("d").c_str(), nullptr, 10));
  std::lock_guard lock(R::lock(service));
  if (!R::accounts(service).count(call.text("z"))) return refuse("用户不存在");
  auto list = kit::MutableArray::make();
  long index = 0;
  for (const auto& order : R::orders(service)) {
    if (order.userName != call.text("z")) continue;
    if ((status == "1" && !order.paid) || (status == "2" && order.paid)) continue;
    if (index++ / kRecordsPerPage != page - 1) continue;
    list->addObject(kit::dict({{"z", order.orderNumber},
                               {"b", order.money},
                               {"paytype", order.payType},
                               {"create_time", order.createTime},
                               {"d", dateText(order.createTime)}}));
  }
  return kit::Id(kit::dict({{"code", "1"}, {"msg", ""}, {"data", list}}));
}

PlatformAnswer gameDetail(PlatformService& service, const PlatformCall& call) {
  if (auto ok = require(call, {"z", "b"}); !ok) return kit::unexpected(ok.error());
  if (auto ok = R::checkGame(service, call, "z", "b", nullptr); !ok) return kit::unexpected(ok.error());
  const std::string host = R::webHost(service);
  auto data = kit::dict({{"z", host + PlatformWebPages::kLogoPath},
                         {"b", "星海远航，随时启程"},
                         {"e", host + PlatformWebPages::kBoxPath},
                         {"f", "星舰"}});
  return kit::Id(kit::dict({{"code", "1"}, {"msg", ""}, {"data", data}}));
}

kit::Ref<kit::Dictionary> refusalB(const std::string& why) { return letterRefusal("b", why); }
kit::Ref<kit::Dictionary> refusalC(const std::string& why) { return letterRefusal("c", why); }

}  // namespace

void PlatformRoutes::installPayRoutes(PlatformService& service) {
  serve(service, "H5pay/pay", PlatformClient::Scrambled, refusalB, h5Order);
  serve(service, "WalletPayapp/apppayios", PlatformClient::Form, refusalB, walletAppOrder);
  serve(service, "WalletPayappother/apppayios", PlatformClient::Form, refusalB, walletAppOrder);
  serve(service, "wxh5/h5pay", PlatformClient::Scrambled, codeRefusal, wxOrder);
  serve(service, "Wxh5other/h5pay", PlatformClient::Scrambled, codeRefusal, wxOrder);
  serve(service, "Ttbpaynew/ttbnew", PlatformClient::Scrambled, refusalC, ptbOrder);
  serve(service, "Ttbpaynew/djqpay", PlatformClient::Scrambled, refusalC, djqOrder);
  serve(service, "Pay/getUserSuccess", PlatformClient::Scrambled, refusalB, payResult);
  serve(service, "pay/getcoupons", PlatformClient::Scrambled, codeRefusal, coupons);
  serve(service, "pay/getPayWayios", PlatformClient::Scrambled, codeRefusal, payWaysAnswer);
  serve(service, "Ttbpay/getTTB", PlatformClient::Scrambled, refusalC, coinBalance);
  serve(service, "Ttbpay/getDJQ", PlatformClient::Scrambled, refusalC, voucherBalance);
  serve(service, "Service/getkefu", PlatformClient::Scrambled, codeRefusal, serviceContacts);
  serve(service, "pay/payRecords", PlatformClient::Scrambled, codeRefusal, payRecords);
  serve(service, "d", PlatformClient::Scrambled, codeRefusal, gameDetail);
}

}  // namespace sim
