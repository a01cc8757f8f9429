// The main job's check of a payment step. See demo_payment_check.h.
#include "tools/demo_payment_check.h"

#include <cmath>
#include <cstdlib>
#include <optional>

#include "kit/foundation/values.h"

namespace demo {

namespace {

// A value's text; "" for nil.
std::string textOf(const kit::Id& value) { return value ? kit::describe(value) : ""; }

// An amount in yuan as whole fen; nothing for a text that is not a number.
std::optional<long long> fenOf(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double yuan = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(yuan)) return std::nullopt;
  return std::llround(yuan * 100);
}

bool sameAmount(const std::string& a, const std::string& b) {
  auto fa = fenOf(a), fb = fenOf(b);
  return fa && fb && *fa == *fb;
}

PaymentVerdict failed(std::string why) { return {false, std::move(why)}; }

}  // namespace

PlacedOrder placedOrderOf(const kit::Id& payData) {
  return {textOf(payData["game_order_sn"]), textOf(payData["money"])};
}

bool isNotifyOf(const kit::Id& answer, const PlacedOrder& order) {
  return !order.gameOrder.empty() && textOf(answer["action"]) == "payNotify" &&
         textOf(answer["data"]["cp_order"]) == order.gameOrder;
}

PaymentVerdict checkPayment(const PlacedOrder& order, const kit::Id& notify,
                            const std::vector<sim::ChannelSDKServer::Order>& channelOrders,
                            const std::vector<sim::PlatformOrder>& platformOrders) {
  if (order.gameOrder.empty()) return failed("the step placed no order");
  const std::string& game = order.gameOrder;
  if (!notify) return failed("no payNotify for order " + game);
  if (!isNotifyOf(notify, order)) {
    return failed("the payNotify names order " + textOf(notify["data"]["cp_order"]) + ", not " + game);
  }
  const kit::Id data = notify["data"];
  const std::string status = textOf(data["status"]);
  if (status != "1") return failed("the payNotify for " + game + " has status " + status);

  // The channel order the client placed for the game's order.
  const sim::ChannelSDKServer::Order* taken = nullptr;
  for (const auto& placed : channelOrders) {
    if (placed.gameOrder == game) taken = &placed;
  }
  if (!taken) return failed("the channel server took no order for " + game);
  const std::string orderId = textOf(data["order_id"]);
  if (orderId != taken->orderId) {
    return failed("the payNotify for " + game + " names order " + orderId + ", the channel server's is " +
                  taken->orderId);
  }
  if (!sameAmount(taken->money, order.money)) {
    return failed("order " + orderId + " was placed for " + taken->money + " yuan, not " + order.money);
  }

  // The platform order paid for it, which carries the channel's order
  // number to hand back with its result (a paid one, where the player
  // placed more than one).
  const sim::PlatformOrder* paid = nullptr;
  for (const auto& placed : platformOrders) {
    if (placed.cpExtend == orderId && (!paid || !paid->paid)) paid = &placed;
  }
  if (!paid) return failed("the platform has no order for " + orderId);
  const std::string& number = paid->orderNumber;
  if (!paid->paid) return failed("platform order " + number + " for " + orderId + " is not paid");
  if (!sameAmount(paid->money, order.money)) {
    return failed("platform order " + number + " for " + orderId + " is for " + paid->money + " yuan, not " +
                  order.money);
  }
  std::string outcome =
      "paid order " + orderId + " for " + game + " (platform order " + number + "), " + paid->money + " yuan";
  if (!sameAmount(paid->realMoney, paid->money)) outcome += " (" + paid->realMoney + " after the coupon)";
  return {true, outcome};
}

}  // namespace demo
