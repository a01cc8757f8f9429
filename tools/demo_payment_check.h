// The main job's check of a payment step: of the page's answers, only the
// payNotify naming the order the step placed counts, and it passes when it
// says paid, names the channel order the channel server took for that game
// order at the amount asked, and a platform order placed for that channel
// order was paid at that amount. A notify for another order (an earlier payment's, say)
// never stands in for it; none at all fails the step, and so does a second
// outcome for the same order (paid then failed, or paid twice).
//
// Amounts are read as the servers write them: a decimal with at most two
// places ("6", "6.5", "6.00"); any other spelling ("0x6", " 6", "6e0",
// "6.004", a sign) is no amount and matches none.
#pragma once

#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "sim/channel_sdk_server.h"
#include "sim/platform_service.h"

namespace demo {

// The order a payment step placed: the game's order number and the amount
// asked, in yuan.
struct PlacedOrder {
  std::string gameOrder;
  std::string money;
};

// The order of the page's "pay" message data ("game_order_sn", "money");
// empty texts for what it lacks.
PlacedOrder placedOrderOf(const kit::Id& payData);

// Whether an answer of the page is the payNotify naming the game order.
bool isNotifyOf(const kit::Id& answer, const PlacedOrder& order);

// The step's outcome: whether it passed, and what it found, to be read.
struct PaymentVerdict {
  bool ok = false;
  std::string outcome;
};

// The verdict on `notify`, the payNotify that named the order (nil: none
// came), against the orders the channel server and the platform keep.
PaymentVerdict checkPayment(const PlacedOrder& order, const kit::Id& notify,
                            const std::vector<sim::ChannelSDKServer::Order>& channelOrders,
                            const std::vector<sim::PlatformOrder>& platformOrders);

// The verdict on a step from every answer the page heard (`answers`, an
// array, in the order they came): the page heard exactly one payNotify for
// the order (naming it, or naming the channel order taken for it), and
// checkPayment passes that one.
PaymentVerdict checkPaymentStep(const PlacedOrder& order, const kit::Id& answers,
                                const std::vector<sim::ChannelSDKServer::Order>& channelOrders,
                                const std::vector<sim::PlatformOrder>& platformOrders);

}  // namespace demo
