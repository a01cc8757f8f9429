// Fuzz target for the coupon picker's reply: any JSON value reaches the
// handler the picker's request answers with, and the cards of the list
// show what it kept. Only dictionaries become coupons, in order, each
// field the shown text of its value or nil, and nothing chooses a coupon on
// the player's behalf.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "platform/account/kt_coupons_vc.h"

using fuzzsupport::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Keeps the handler's log lines ("结果 = ...") off the fuzzer's output.
  static const bool quiet = [] {
    fuzzsupport::silenceLogs();
    return true;
  }();
  (void)quiet;
  const std::string text(reinterpret_cast<const char*>(data), size);
  kit::Id reply = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(text), 0);
  auto picker = kit::make<KTCouponsVC>();
  int chosen = 0;
  picker->setCouponsBlock([&](const kit::Ref<KTCouponsModel>&) { ++chosen; });
  picker->handleCouponsReply(reply);

  size_t dictionaries = 0;
  if (auto items = kit::as<kit::Array>(reply["data"])) {
    for (const kit::Id& item : *items) dictionaries += kit::isKind<kit::Dictionary>(item) ? 1 : 0;
  }
  const size_t kept = picker->dataSource()->count();
  check(kept == 0 || kept == dictionaries);
  // A model holds shown texts only: a field is nil or a text that
  // kit::shownText keeps as it is (never "", "<null>", "NaN" ...).
  auto shownOnly = [](const kit::Ref<kit::String>& field) {
    check(!field || (!field->utf8().empty() && kit::shownText(field) == field->utf8()));
  };
  for (const kit::Id& model : *picker->dataSource()) {
    auto coupon = kit::as<KTCouponsModel>(model);
    check(coupon != nullptr);
    for (const auto& field : {coupon->gamename(), coupon->cid(), coupon->coupon_name(), coupon->pay_money(),
                              coupon->coupon_money(), coupon->av_time(), coupon->av(), coupon->gid()}) {
      shownOnly(field);
    }
  }
  // The cards in sight take whatever the models hold.
  picker->tableView()->layoutIfNeeded();
  for (const auto& cell : picker->tableView()->visibleCells()) {
    auto card = std::dynamic_pointer_cast<KTCouponsCell>(cell);
    check(card != nullptr);
    check(card->showL()->text() == "通用券" || card->showL()->text() == "专用券");
  }
  check(chosen == 0);
  return 0;
}
