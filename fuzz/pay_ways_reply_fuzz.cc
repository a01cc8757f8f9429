// Fuzz target for the pay sheet's pay-ways reply: any JSON value reaches the
// handler the sheet's request answers with. The sheet selects a style of 0
// to 6, its rows keep their height or lose it, and a discount it shows is a
// number; a coupon under the reply's "coupon" is handed to the sheet as the
// picker would, and one whose value is no amount is refused: no crash, no
// undefined behaviour. A balance row shows a plain amount or nothing. The
// order amount is the reply's "money" when it is a
// text (else "6"); an amount the entry refuses opens no sheet. No text of
// the sheet reads "(null)", "<null>" or "NaN" at any step, in any style,
// and a coupon leaves nothing to pay only when it is worth the whole price.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/shown_text_check.h"
#include "kit/foundation/data.h"
#include "kit/foundation/decimal_number.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/ui/scene_registry.h"
#include "platform/account/kt_new_pay_vc.h"

using fuzzsupport::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    fuzzsupport::silenceLogs();
    KTNewPayVC::registerScene();
    return true;
  }();
  (void)quiet;
  const std::string text(reinterpret_cast<const char*>(data), size);
  kit::Id reply = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(text), 0);
  KTNewPayVC::Order order;
  order.money = kit::as<kit::String>(reply["money"]) ? kit::as<kit::String>(reply["money"]) : kit::str("6");
  order.productName = kit::as<kit::String>(reply["product"]);
  if (!KTNewPayVC::isOrderAmount(order.money)) return 0;
  auto sheet = KTNewPayVC::sheetForOrder(order);
  check(sheet != nullptr);
  // The scene only: the sheet's own request is not sent.
  sheet->loadView();
  sheet->initUI();
  shownfuzz::checkTree(*sheet->view(), data, size);
  sheet->handlePayWaysReply(reply);
  shownfuzz::checkTree(*sheet->view(), data, size);
  // A balance row shows a plain amount ("120", "3.50"), or nothing.
  auto plainRow = [](const std::string& text, const std::string& head, const std::string& tail) {
    if (text.empty()) return true;
    if (text.size() <= head.size() + tail.size() || !text.starts_with(head) || !text.ends_with(tail)) return false;
    const std::string amount = text.substr(head.size(), text.size() - head.size() - tail.size());
    return amount.find_first_not_of("0123456789.") == std::string::npos &&
           std::count(amount.begin(), amount.end(), '.') <= 1 && amount != ".";
  };
  check(plainRow(sheet->remainPtbL()->text(), "（余额:", "平台币）"));
  check(plainRow(sheet->remainDjqL()->text(), "（余额:", "元）"));
  // A coupon under "coupon" goes through the picker's hand-back: a value
  // that is no amount changes nothing.
  if (auto coupon = KTCouponsModel::initWithDictionary(reply["coupon"])) {
    const kit::Id before = sheet->order().cid;
    sheet->couponChosen(coupon);
    const std::string value = kit::describe(coupon->coupon_money());
    if (value.empty() || value.find_first_not_of("0123456789.") != std::string::npos) {
      check(sheet->order().cid == before);
    }
    // Nothing is left after the coupon only when it is worth the whole
    // price: less than a cent left is a cent.
    if (sheet->order().cid != before) {
      auto left = kit::DecimalNumber::decimalNumberWithString(kit::describe(sheet->order().couponMoney));
      auto money = kit::DecimalNumber::decimalNumberWithString(kit::describe(sheet->order().money));
      auto worth = kit::DecimalNumber::decimalNumberWithString(value);
      check(!left->isNaN());
      if (left->compareDecimal(*kit::DecimalNumber::zero()) == 0) check(worth->compareDecimal(*money) >= 0);
    }
    shownfuzz::checkTree(*sheet->view(), data, size);
  }

  check(sheet->payStyle() <= 6);
  for (const auto& height : {sheet->walletPayViewH(), sheet->GFWalletPayViewH(), sheet->wxViewH(),
                             sheet->GFWxViewH(), sheet->ptbViewH(), sheet->djqViewH()}) {
    check(height->constant() == 0 || height->constant() == KTNewPayVC::RowH);
  }
  // The selected style's amount, coins included, is always some text.
  for (unsigned long style = 1; style <= 6; ++style) {
    sheet->setPayStyle(style);
    shownfuzz::checkTree(*sheet->view(), data, size);
  }
  check(!sheet->realMoneyL()->text().empty() || sheet->order().realMoney == nullptr);
  return 0;
}
