// The pay plug. See kt_pay_plug.h.
#include "platform/account/kt_pay_plug.h"

#include <cstdlib>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "payvendor/pay/wallet_pay_sdk.h"
#include "platform/base/share_vale.h"

namespace {

constexpr const char* kPaidCode = "9000";
constexpr const char* kCancelledCode = "6001";

// The integer a status text reads as: its leading digits after blanks,
// with a sign (0 without any).
long integerOf(const kit::Ref<kit::String>& status) {
  return status ? std::strtol(status->utf8().c_str(), nullptr, 10) : 0;
}

}  // namespace

kit::Ref<KTPayPlug> KTPayPlug::sharedInstance() {
  static kit::Ref<KTPayPlug> plug = kit::make<KTPayPlug>();
  return plug;
}

std::string KTPayPlug::returnScheme() {
  return kit::format("TolmixWalletPayScheme%@", ShareVale::sharedInstance()->gameID())->utf8();
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
  const kit::Id result = dic;
  auto statusText = kit::as<kit::String>(result["resultStatus"]);
  if (statusText && statusText->utf8() == kPaidCode) {
    // Held in a local: the block may replace itself through doPay.
    Block block = block_;
    block(payWay_, kit::str(kPaidStatus), nullptr);
    return;
  }
  const bool cancelled = statusText && statusText->utf8() == kCancelledCode;
  auto memo = kit::as<kit::String>(result["memo"]);
  auto error = kit::Error::make(cancelled ? kCancelledDomain : kFailedDomain, integerOf(statusText),
                                kit::dict({{"ErrorInfo", memo}}));
  Block block = block_;
  block(payWay_, kit::str(cancelled ? kCancelledStatus : kFailedStatus), error);
}
