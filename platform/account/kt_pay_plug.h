// KTPayPlug: the bridge between the pay sheet and the payment vendor's SDK.
// doPay starts an app payment with the signed order of the platform's order
// reply (walletPayInfo) and this client's return scheme
// "TolmixWalletPayScheme<game id>"; the vendor's result dictionary, which
// comes back through the return URL (or straight from the vendor when the
// wallet cannot be opened), becomes a status text and an error for the
// block the sheet handed to doPay:
//   "9000" naming the order waited for   "充值成功", no error
//   any other "9000"                     "支付待确认", error "支付结果待确认"
//   other codes naming another order     "其他订单结果", error "其他订单的支付结果"
//     (or with an order number that names no order)
//   "6001"                               "取消充值", error "支付失败,用户取消支付"
//   otherwise                            "充值失败", error "支付失败"
// Errors carry the status's integer as their code and the vendor's "memo"
// under "ErrorInfo". The block stays until the next doPay replaces it, so a
// second result calls it again; a result without a block is only kept.
//
// A result belongs to the order the plug waits for: the "out_trade_no" of
// the signed order it handed the wallet, exactly as written there. A
// result's own "out_trade_no" names an order only as a text (as written)
// or an integer written exactly; any other value there (a fraction, an
// exponent form, an integer too large to hold, a flag, null, a list) names
// no order, which is never the one waited for.
//
// A success counts as paid only when its "result" names that order: one that
// names another (a wallet returning late for an order the player left, or
// the same number with blanks around it or a leading zero), one whose
// number names no order, one without an order number the plug can find (no
// "result", keys in another case, nested, not JSON), and any success while
// the signed order names none may be another order's, and reach the block
// as unconfirmed, for the sheet to check with the platform. A cancel or
// failure whose order number is there and is not the one waited for (it
// names another order, or none) says nothing of that order: it reaches the
// block as another order's result, which leaves that payment open. Only a
// cancel or failure without any order number is handed on as it stands.
//
// One instance for the process; main thread.
//
//   auto plug = KTPayPlug::sharedInstance();
//   plug->setWalletPayInfo(info);
//   plug->doPay([](unsigned long payWay, const kit::Ref<kit::String>& status, const kit::Ref<kit::Error>& error) {
//     ...
//   });
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "platform/account/kt_pay_replies.h"

// The vendor routes of the plug.
inline constexpr unsigned long KTPayWayWalletPayApp = 0;

class KTPayPlug : public kit::Object {
 public:
  using Block = std::function<void(unsigned long payWay, const kit::Ref<kit::String>& status,
                                   const kit::Ref<kit::Error>& error)>;

  static constexpr const char* kPaidStatus = "充值成功";
  static constexpr const char* kCancelledStatus = "取消充值";
  static constexpr const char* kFailedStatus = "充值失败";
  static constexpr const char* kUnconfirmedStatus = "支付待确认";
  static constexpr const char* kOtherOrderStatus = "其他订单结果";
  static constexpr const char* kCancelledDomain = "支付失败,用户取消支付";
  static constexpr const char* kFailedDomain = "支付失败";
  static constexpr const char* kUnconfirmedDomain = "支付结果待确认";
  static constexpr const char* kOtherOrderDomain = "其他订单的支付结果";

  // Made once, under a lock.
  static kit::Ref<KTPayPlug> sharedInstance();

  // Keeps the block and, on the wallet app route (payWay 0), starts the
  // payment; other routes do nothing more.
  void doPay(Block block);
  // Hands the signed order of walletPayInfo to the vendor with the return
  // scheme. A result the vendor delivers to this call (the wallet could not
  // be opened) is logged ("回调 = %@") and goes on like a returned one.
  void WalletPay();
  // Keeps the dictionary and tells the block, if one is held, what it means
  // for the order waited for (see above). A status or memo of another kind than text is
  // read as missing: a missing status is a failure with code 0, a missing
  // memo leaves "ErrorInfo" out.
  void setWalletPayResultDic(const kit::Ref<kit::Dictionary>& dic);

  unsigned long payWay() const { return payWay_; }
  void setPayWay(unsigned long v) { payWay_ = v; }
  const kit::Ref<WalletPayInfo>& walletPayInfo() const { return walletPayInfo_; }
  void setWalletPayInfo(const kit::Ref<WalletPayInfo>& v) { walletPayInfo_ = v; }
  const kit::Ref<kit::Dictionary>& walletPayResultDic() const { return walletPayResultDic_; }
  const Block& block() const { return block_; }
  void setBlock(Block v) { block_ = std::move(v); }

  // "TolmixWalletPayScheme<game id>": the scheme the wallet returns under.
  static std::string returnScheme();
  // The "out_trade_no" of a signed order (fields key="value" or key=value
  // joined by "&"), or "" when it names none.
  static std::string orderNumberOfSignedOrder(std::string_view signStr);
  // The "out_trade_no" of a result dictionary's "result" (a JSON object as
  // text, or a dictionary): a text as it stands, an integer in its exact
  // digits; "" when it is there but names no order (a fraction, an exponent
  // form or an integer too large to hold, which only approximate a number,
  // or a value that is no number or text at all); nullopt when the result
  // carries no order number.
  static std::optional<std::string> orderNumberOfResult(const kit::Ref<kit::Dictionary>& dic);

 private:
  unsigned long payWay_ = KTPayWayWalletPayApp;
  kit::Ref<WalletPayInfo> walletPayInfo_;
  kit::Ref<kit::Dictionary> walletPayResultDic_;
  Block block_;
};
