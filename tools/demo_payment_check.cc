// The main job's check of a payment step. See demo_payment_check.h.
#include "tools/demo_payment_check.h"

#include <optional>
#include <string_view>

#include "kit/foundation/array.h"
#include "kit/foundation/values.h"

namespace demo {

namespace {

// A value's text; "" for nil.
std::string textOf(const kit::Id& value) { return value ? kit::describe(value) : ""; }

// A value's text to be read in an outcome: a flag as a flag.
std::string shownValue(const kit::Id& value) {
  auto number = kit::as<kit::Number>(value);
  if (number && number->isBool()) return number->boolValue() ? "true" : "false";
  return textOf(value);
}

// An amount as the page or a server wrote it: a text, or a number's
// decimal text; "" for anything else (a flag, a collection, nil).
std::string amountTextOf(const kit::Id& value) {
  if (auto number = kit::as<kit::Number>(value)) return number->isBool() ? "" : number->stringValue();
  if (auto text = kit::as<kit::String>(value)) return text->utf8();
  return "";
}

// An amount in yuan written as a decimal with at most two places, in whole
// fen; nothing for any other text (a sign, blanks, a hex or exponent form,
// a third place) or for more fen than a long long holds.
std::optional<long long> fenOf(std::string_view text) {
  long long fen = 0;
  auto append = [&fen](char digit) {
    return !__builtin_mul_overflow(fen, 10, &fen) && !__builtin_add_overflow(fen, digit - '0', &fen);
  };
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    if (!append(text[i])) return std::nullopt;
  }
  if (i == 0) return std::nullopt;
  int places = 0;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && isDigit(text[i]) && places < 2; ++i, ++places) {
      if (!append(text[i])) return std::nullopt;
    }
    if (places == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  for (; places < 2; ++places) {
    if (!append('0')) return std::nullopt;
  }
  return fen;
}

bool sameAmount(const std::string& a, const std::string& b) {
  auto fa = fenOf(a), fb = fenOf(b);
  return fa && fb && *fa == *fb;
}

// Whether a payNotify's status says paid: the number 1 or the text "1"
// (a flag is no status).
bool saysPaid(const kit::Id& status) {
  if (auto text = kit::as<kit::String>(status)) return text->utf8() == "1";
  auto number = kit::as<kit::Number>(status);
  return number && !number->isBool() && number->isEqualToNumber(*kit::Number::fromInt(1));
}

PaymentVerdict failed(std::string why) { return {false, std::move(why)}; }

// The channel order the client placed for the game's order; null when the
// channel server took none.
const sim::ChannelSDKServer::Order* channelOrderOf(const std::string& game,
                                                   const std::vector<sim::ChannelSDKServer::Order>& channelOrders) {
  const sim::ChannelSDKServer::Order* taken = nullptr;
  for (const auto& placed : channelOrders) {
    if (placed.gameOrder == game) taken = &placed;
  }
  return taken;
}

}  // namespace

PlacedOrder placedOrderOf(const kit::Id& payData) {
  return {textOf(payData["game_order_sn"]), amountTextOf(payData["money"])};
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
  if (!saysPaid(data["status"])) {
    return failed("the payNotify for " + game + " has status " + shownValue(data["status"]));
  }
  if (!fenOf(order.money)) return failed("the step asked for " + order.money + ", which is no amount");

  const sim::ChannelSDKServer::Order* taken = channelOrderOf(game, channelOrders);
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

PaymentVerdict checkPaymentStep(const PlacedOrder& order, const kit::Id& answers,
                                const std::vector<sim::ChannelSDKServer::Order>& channelOrders,
                                const std::vector<sim::PlatformOrder>& platformOrders) {
  if (order.gameOrder.empty()) return failed("the step placed no order");
  // The outcomes the game heard for the order: the notices naming it, and
  // those naming the channel order taken for it.
  const sim::ChannelSDKServer::Order* taken = channelOrderOf(order.gameOrder, channelOrders);
  std::vector<kit::Id> outcomes;
  auto heard = kit::as<kit::Array>(answers);
  for (size_t i = 0; heard && i < heard->count(); ++i) {
    const kit::Id answer = heard->objectAtIndex(i);
    if (textOf(answer["action"]) != "payNotify") continue;
    if (isNotifyOf(answer, order) || (taken && textOf(answer["data"]["order_id"]) == taken->orderId)) {
      outcomes.push_back(answer);
    }
  }
  if (outcomes.size() > 1) {
    std::string statuses;
    for (const kit::Id& outcome : outcomes) {
      statuses += (statuses.empty() ? "" : ", ") + shownValue(outcome["data"]["status"]);
    }
    return failed("the page heard " + std::to_string(outcomes.size()) + " outcomes for order " + order.gameOrder +
                  " (status " + statuses + "), not one");
  }
  return checkPayment(order, outcomes.empty() ? kit::Id() : outcomes.front(), channelOrders, platformOrders);
}

}  // namespace demo
