// The pay plug. See kt_pay_plug.h.
#include "platform/account/kt_pay_plug.h"

#include <cstdlib>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "payvendor/pay/wallet_pay_sdk.h"
#include "platform/base/share_vale.h"

namespace {

constexpr const char* kPaidCode = "9000";
constexpr const char* kCancelledCode = "6001";
constexpr std::string_view kOrderNumberKey = "out_trade_no";

// The integer a status text reads as: its leading digits after blanks,
// with a sign (0 without any).
long integerOf(const kit::Ref<kit::String>& status) {
  return status ? std::strtol(status->utf8().c_str(), nullptr, 10) : 0;
}

}  // namespace

kit::Ref<KTPayPlug> KTPayPlug::sharedInstance() {
  static const kit::NoDestructor<kit::Ref<KTPayPlug>> plug(kit::make<KTPayPlug>());
  return *plug;
}

std::string KTPayPlug::returnScheme() {
  return kit::format("TolmixWalletPayScheme%@", ShareVale::sharedInstance()->gameID())->utf8();
}

std::string KTPayPlug::orderNumberOfSignedOrder(std::string_view text) {
  constexpr size_t npos = std::string_view::npos;
  size_t at = 0;
  while (at < text.size()) {
    const size_t equals = text.find('=', at);
    const size_t amp = text.find('&', at);
    if (equals == npos) break;
    if (amp < equals) {  // a field without a value
      at = amp + 1;
      continue;
    }
    const std::string_view key = text.substr(at, equals - at);
    std::string_view value;
    size_t end;
    if (equals + 1 < text.size() && text[equals + 1] == '"') {
      // A quoted value runs to its closing quote, "&" included.
      const size_t close = text.find('"', equals + 2);
      if (close == npos) return "";
      value = text.substr(equals + 2, close - equals - 2);
      end = text.find('&', close + 1);
    } else {
      end = text.find('&', equals + 1);
      value = text.substr(equals + 1, end == npos ? npos : end - equals - 1);
    }
    if (key == kOrderNumberKey) return std::string(value);
    if (end == npos) break;
    at = end + 1;
  }
  return "";
}

std::optional<std::string> KTPayPlug::orderNumberOfResult(const kit::Ref<kit::Dictionary>& dic) {
  kit::Id result = kit::Id(dic)["result"];
  if (auto text = kit::as<kit::String>(result)) {
    result = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(text->utf8()));
  }
  // JSON null is there (a Null object); only a missing key is nil.
  const kit::Id number = result[kOrderNumberKey];
  if (!number) return std::nullopt;
  if (auto text = kit::as<kit::String>(number)) return text->utf8();
  // A number names an order only as an integer written exactly: one with a
  // fraction or an exponent is a double, which past 2^53 reads as a
  // neighbouring order's number, and a flag is no number at all.
  auto integer = kit::as<kit::Number>(number);
  if (integer && (integer->kind() == kit::Number::Kind::Signed || integer->kind() == kit::Number::Kind::Unsigned)) {
    return integer->stringValue();
  }
  return "";
}

void KTPayPlug::doPay(Block block) {
  KIT_CHECK_MAIN_THREAD();
  block_ = std::move(block);
  if (payWay_ == KTPayWayWalletPayApp) WalletPay();
}

void KTPayPlug::WalletPay() {
  KIT_CHECK_MAIN_THREAD();
  kit::Ref<kit::String> order = walletPayInfo_ ? walletPayInfo_->signStr() : nullptr;
  kit::Weak<KTPayPlug> weak = weakSelf<KTPayPlug>();
  WalletPaySDK::defaultService()->payOrder(order, kit::str(returnScheme()),
                                           [weak](const kit::Ref<kit::Dictionary>& resultDic) {
                                             kit::log("回调 = %@", resultDic);
                                             if (auto self = weak.lock()) self->setWalletPayResultDic(resultDic);
                                           });
}

void KTPayPlug::setWalletPayResultDic(const kit::Ref<kit::Dictionary>& dic) {
  KIT_CHECK_MAIN_THREAD();
  walletPayResultDic_ = dic;
  if (!block_) return;
  const std::optional<std::string> paidOrder = orderNumberOfResult(dic);
  const std::string waitedOrder =
      walletPayInfo_ ? orderNumberOfSignedOrder(kit::describe(walletPayInfo_->signStr())) : std::string();
  // An order number, and not the order waited for as written: " B7 ",
  // "0B7" and a number that names no order are other orders too.
  const bool otherOrder = paidOrder && !waitedOrder.empty() && *paidOrder != waitedOrder;
  const kit::Id result = dic;
  auto statusText = kit::as<kit::String>(result["resultStatus"]);
  auto memo = kit::as<kit::String>(result["memo"]);
  auto info = kit::dict({{"ErrorInfo", memo}});
  // Held in a local: the block may replace itself through doPay.
  Block block = block_;
  if (statusText && statusText->utf8() == kPaidCode) {
    // Paid only when the wallet names the order waited for; any other
    // success (another order's, one naming none, or while the plug waits
    // for none) leaves the platform to say.
    if (!waitedOrder.empty() && paidOrder == waitedOrder) {
      block(payWay_, kit::str(kPaidStatus), nullptr);
      return;
    }
    kit::log("支付成功属于订单 %@, 当前订单 %@: 待平台确认", kit::str(paidOrder.value_or("")), kit::str(waitedOrder));
    block(payWay_, kit::str(kUnconfirmedStatus), kit::Error::make(kUnconfirmedDomain, integerOf(statusText), info));
    return;
  }
  const bool cancelled = statusText && statusText->utf8() == kCancelledCode;
  if (otherOrder) {
    kit::log("支付结果属于订单 %@, 当前订单 %@: 当前订单未支付", kit::str(*paidOrder), kit::str(waitedOrder));
    block(payWay_, kit::str(kOtherOrderStatus), kit::Error::make(kOtherOrderDomain, integerOf(statusText), info));
    return;
  }
  auto error = kit::Error::make(cancelled ? kCancelledDomain : kFailedDomain, integerOf(statusText), info);
  block(payWay_, kit::str(cancelled ? kCancelledStatus : kFailedStatus), error);
}
