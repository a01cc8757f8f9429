// The main job's payment check, driven with the answers a page holds after
// several payments: only the payNotify naming the step's own order counts,
// and it must say paid and agree with the orders the channel server and the
// platform keep, at the amount asked; a notify for another order, or none,
// fails the step, and so does a second outcome for the step's own order.
#include "tools/demo_payment_check.h"

#include <gtest/gtest.h>

#include "kit/foundation/array.h"
#include "kit/foundation/values.h"

namespace demo {
namespace {

kit::Id notify(const std::string& orderId, const std::string& gameOrder, const std::string& status = "1") {
  return kit::dict({{"action", "payNotify"},
                    {"data", kit::dict({{"status", kit::Id(kit::str(status))},
                                        {"order_id", kit::Id(kit::str(orderId))},
                                        {"channel_order", kit::Id(kit::str(orderId))},
                                        {"cp_order", kit::Id(kit::str(gameOrder))}})}});
}

// The platform's order for a channel order, which it carries to hand back.
sim::PlatformOrder platformOrder(const std::string& channelOrder, const std::string& money, bool paid = true) {
  sim::PlatformOrder order;
  order.orderNumber = "P" + channelOrder;
  order.cpExtend = channelOrder;
  order.money = money;
  order.realMoney = money;
  order.paid = paid;
  return order;
}

// The first of the answers that is the payNotify of the order, as the main
// job waits for it; nil when none is.
kit::Id notifyIn(const kit::Ref<kit::MutableArray>& answers, const PlacedOrder& order) {
  for (size_t i = 0; i < answers->count(); ++i) {
    if (isNotifyOf(answers->objectAtIndex(i), order)) return answers->objectAtIndex(i);
  }
  return nullptr;
}

class PaymentCheck : public ::testing::Test {
 protected:
  // The session so far: a goods card bought in the hall (the hall's order
  // 88), then the page's order G-0002 paid with a coupon.
  std::vector<sim::ChannelSDKServer::Order> channel{{"o1", "88", "30.00", "100"}, {"o2", "G-0002", "6.00", "100"}};
  std::vector<sim::PlatformOrder> platform{platformOrder("o1", "30.00"), platformOrder("o2", "6.00")};
  kit::Ref<kit::MutableArray> answers =
      kit::mutableArray({kit::dict({{"action", "loginNotify"}, {"data", kit::dict({{"super_user_id", "100"}})}}),
                         notify("o1", "88"), kit::dict({{"action", "uploadGameRoleInfo"}, {"data", ""}}),
                         notify("o2", "G-0002")});
};

TEST_F(PaymentCheck, OnlyTheNotifyNamingTheStepsOrderPassesIt) {
  platform[1].realMoney = "5.00";
  const PlacedOrder second = placedOrderOf(kit::dict({{"money", "6.00"}, {"game_order_sn", "G-0002"}}));
  kit::Id found = notifyIn(answers, second);
  ASSERT_TRUE(found) << "an earlier payment's notify does not stand in for it";
  EXPECT_EQ(kit::describe(found["data"]["order_id"]), "o2");
  PaymentVerdict verdict = checkPayment(second, found, channel, platform);
  EXPECT_TRUE(verdict.ok) << verdict.outcome;
  EXPECT_EQ(verdict.outcome, "paid order o2 for G-0002 (platform order Po2), 6.00 yuan (5.00 after the coupon)");

  // The next payment, whose notify never came: the earlier ones do not pass it.
  channel.push_back({"o3", "G-0003", "6.00", "100"});
  platform.push_back(platformOrder("o3", "6.00"));
  const PlacedOrder third{"G-0003", "6.00"};
  EXPECT_FALSE(notifyIn(answers, third));
  verdict = checkPayment(third, notifyIn(answers, third), channel, platform);
  EXPECT_FALSE(verdict.ok);
  EXPECT_EQ(verdict.outcome, "no payNotify for order G-0003");
  // Handed another order's notify, the check refuses it too.
  verdict = checkPayment(third, notify("o2", "G-0002"), channel, platform);
  EXPECT_FALSE(verdict.ok);
  EXPECT_EQ(verdict.outcome, "the payNotify names order G-0002, not G-0003");
  // Once its own comes, it passes.
  answers->addObject(notify("o3", "G-0003"));
  EXPECT_TRUE(checkPayment(third, notifyIn(answers, third), channel, platform).ok);

  // A step whose page sent no order has nothing to pass it.
  const PlacedOrder none = placedOrderOf(nullptr);
  EXPECT_FALSE(isNotifyOf(notify("o4", ""), none));
  EXPECT_EQ(checkPayment(none, notify("o4", ""), channel, platform).outcome, "the step placed no order");
}

TEST_F(PaymentCheck, TheNotifyMustSayPaidAndAgreeWithTheServersOrders) {
  const PlacedOrder order{"G-0002", "6.00"};
  auto outcome = [&](const kit::Id& notice) {
    PaymentVerdict verdict = checkPayment(order, notice, channel, platform);
    EXPECT_FALSE(verdict.ok);
    return verdict.outcome;
  };
  EXPECT_EQ(outcome(notify("o2", "G-0002", "2")), "the payNotify for G-0002 has status 2");
  EXPECT_EQ(outcome(notify("o1", "G-0002")), "the payNotify for G-0002 names order o1, the channel server's is o2");
  channel[1].money = "8.00";
  EXPECT_EQ(outcome(notify("o2", "G-0002")), "order o2 was placed for 8.00 yuan, not 6.00");
  channel[1].money = "6";  // the same amount, written otherwise
  platform[1].paid = false;
  EXPECT_EQ(outcome(notify("o2", "G-0002")), "platform order Po2 for o2 is not paid");
  // A second order for it, paid, pays it.
  platform.push_back(platformOrder("o2", "6.00"));
  platform.back().orderNumber = "Q";
  EXPECT_TRUE(checkPayment(order, notify("o2", "G-0002"), channel, platform).ok);
  platform.pop_back();
  platform[1].paid = true;
  platform[1].money = "0.60";
  EXPECT_EQ(outcome(notify("o2", "G-0002")), "platform order Po2 for o2 is for 0.60 yuan, not 6.00");
  platform.pop_back();
  EXPECT_EQ(outcome(notify("o2", "G-0002")), "the platform has no order for o2");
  channel.pop_back();
  EXPECT_EQ(outcome(notify("o2", "G-0002")), "the channel server took no order for G-0002");
}

// The page's notify for order o2 / G-0002 with a status of any kind.
kit::Id notifyWithStatus(const kit::Id& status) {
  return kit::dict({{"action", "payNotify"},
                    {"data", kit::dict({{"status", status}, {"order_id", "o2"}, {"channel_order", "o2"},
                                        {"cp_order", "G-0002"}})}});
}

TEST_F(PaymentCheck, TheStepPassesOnlyWhenThePageHeardOnePaidOutcomeForItsOrder) {
  const PlacedOrder order{"G-0002", "6.00"};
  auto verdict = [&] { return checkPaymentStep(order, answers, channel, platform); };
  EXPECT_TRUE(verdict().ok) << verdict().outcome;
  // Another order's notices, before and after, are not this order's.
  answers->addObject(notify("o1", "88", "2"));
  answers->addObject(kit::dict({{"action", "loginNotify"}, {"data", kit::dict({{"status", "2"}})}}));
  EXPECT_TRUE(verdict().ok) << verdict().outcome;

  // Paid, then failed: the game was told two things.
  const auto paidOnly = kit::as<kit::MutableArray>(answers->mutableCopy());
  answers->addObject(notify("o2", "G-0002", "2"));
  EXPECT_FALSE(verdict().ok);
  EXPECT_EQ(verdict().outcome, "the page heard 2 outcomes for order G-0002 (status 1, 2), not one");
  // Paid twice.
  answers = kit::as<kit::MutableArray>(paidOnly->mutableCopy());
  answers->addObject(notify("o2", "G-0002"));
  EXPECT_EQ(verdict().outcome, "the page heard 2 outcomes for order G-0002 (status 1, 1), not one");
  // A failure naming the channel order without the game's is this order's too.
  answers = kit::as<kit::MutableArray>(paidOnly->mutableCopy());
  answers->addObject(notify("o2", "", "2"));
  EXPECT_EQ(verdict().outcome, "the page heard 2 outcomes for order G-0002 (status 1, 2), not one");
  // A failure alone fails it; no notice at all does too.
  answers = kit::mutableArray({notify("o2", "G-0002", "2")});
  EXPECT_EQ(verdict().outcome, "the payNotify for G-0002 has status 2");
  answers = kit::mutableArray({notify("o1", "88")});
  EXPECT_EQ(verdict().outcome, "no payNotify for order G-0002");
  EXPECT_EQ(checkPaymentStep(order, nullptr, channel, platform).outcome, "no payNotify for order G-0002");
  EXPECT_EQ(checkPaymentStep({"", "6.00"}, paidOnly, channel, platform).outcome, "the step placed no order");
}

TEST_F(PaymentCheck, PaidIsTheNumberOrTheTextOne) {
  const PlacedOrder order{"G-0002", "6.00"};
  EXPECT_TRUE(checkPayment(order, notifyWithStatus(kit::num(1)), channel, platform).ok);
  EXPECT_TRUE(checkPayment(order, notifyWithStatus(kit::num(1.0)), channel, platform).ok);
  EXPECT_TRUE(checkPayment(order, notifyWithStatus(kit::str("1")), channel, platform).ok);
  for (const kit::Id& status : std::vector<kit::Id>{kit::num(true), kit::num(2), kit::num(1.5), kit::str(" 1"),
                                                     kit::str("1.0"), kit::str("true"), kit::null(), nullptr}) {
    const PaymentVerdict verdict = checkPayment(order, notifyWithStatus(status), channel, platform);
    EXPECT_FALSE(verdict.ok) << verdict.outcome;
  }
  EXPECT_EQ(checkPayment(order, notifyWithStatus(kit::num(true)), channel, platform).outcome,
            "the payNotify for G-0002 has status true");
}

TEST_F(PaymentCheck, AnAmountIsADecimalWithAtMostTwoPlaces) {
  PlacedOrder order{"G-0002", "6.00"};
  auto check = [&] { return checkPayment(order, notify("o2", "G-0002"), channel, platform); };
  // The same amount, however the servers write it.
  for (const char* same : {"6", "6.0", "6.00", "06.00"}) {
    channel[1].money = same;
    platform[1].money = same;
    EXPECT_TRUE(check().ok) << same << ": " << check().outcome;
  }
  // Spellings that are no amount match none, not even 6.00.
  platform[1].money = "6.00";
  for (const char* spelling : {"0x6", " 6", "6 ", "+6", "6e0", "6E0", "6.004", "6.000", "6.", ".6", "6,00", "6.0.0",
                               "-6", "inf", "nan", "", "６"}) {
    channel[1].money = spelling;
    EXPECT_EQ(check().outcome, "order o2 was placed for " + std::string(spelling) + " yuan, not 6.00");
  }
  channel[1].money = "6.00";
  platform[1].money = "6.004";
  EXPECT_EQ(check().outcome, "platform order Po2 for o2 is for 6.004 yuan, not 6.00");
  platform[1].money = "6.00";
  order.money = "6e0";
  EXPECT_EQ(check().outcome, "the step asked for 6e0, which is no amount");
  // A page that sent the amount as a number asked for that number; a flag
  // is no amount.
  EXPECT_EQ(placedOrderOf(kit::dict({{"money", 6.5}, {"game_order_sn", "G"}})).money, "6.5");
  EXPECT_EQ(placedOrderOf(kit::dict({{"money", true}, {"game_order_sn", "G"}})).money, "");

  // Amounts too large for whole fen are no amounts either: two different
  // ones never read as the same.
  for (const auto& [asked, placed] : std::vector<std::pair<std::string, std::string>>{
           {"1e300", "2e300"},
           {"100000000000000000000", "100000000000000000001"},
           {"92233720368547758.08", "92233720368547758.09"}}) {
    order.money = asked;
    channel[1].money = placed;
    platform[1].money = placed;
    EXPECT_FALSE(check().ok) << asked << " / " << placed;
  }
  // The largest that fits is read exactly.
  order.money = channel[1].money = platform[1].money = "92233720368547758.07";
  EXPECT_TRUE(check().ok) << check().outcome;
  platform[1].money = "92233720368547758.06";
  EXPECT_FALSE(check().ok);
}

}  // namespace
}  // namespace demo
