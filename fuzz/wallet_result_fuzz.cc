// Fuzz target for the wallet's answers, which another application sends:
// the return URL the vendor's service reads and the result dictionary the
// pay plug turns into the sheet's status. The first byte picks the form of
// the rest: a whole return URL, the "result" value of one (percent-encoded
// here, so the JSON reader sees the bytes), a result dictionary in JSON
// handed straight to the plug, or a signed order and such a dictionary
// (split at the first NUL): the plug then waits for the signed order's
// number. Every return URL gets exactly one callback with a text status;
// every dictionary at most one block call, whose status is one of the five
// texts, a confirmed success only for the order waited for and named
// exactly, another order's result only for a cancel or failure whose order
// number is not the one waited for (another order's, or one that names
// none), and such a cancel or failure never as the awaited order's; a
// success always reaches the block; an order number read from a signed
// order is a part of it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "kit/foundation/charset.h"
#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/values.h"
#include "payvendor/pay/wallet_pay_sdk.h"
#include "platform/account/kt_pay_plug.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

int blockCalls = 0;

void toPlug(const kit::Ref<kit::Dictionary>& result) {
  auto plug = KTPayPlug::sharedInstance();
  const std::optional<std::string> paidOrder = KTPayPlug::orderNumberOfResult(result);
  const std::string waitedOrder =
      plug->walletPayInfo() ? KTPayPlug::orderNumberOfSignedOrder(kit::describe(plug->walletPayInfo()->signStr()))
                            : std::string();
  plug->setBlock([paidOrder, waitedOrder](unsigned long, const kit::Ref<kit::String>& status,
                                          const kit::Ref<kit::Error>& error) {
    ++blockCalls;
    const std::string text = kit::describe(status);
    // A success is confirmed only for the order waited for, named.
    if (text == KTPayPlug::kPaidStatus) check(!waitedOrder.empty() && paidOrder == waitedOrder);
    // Another order's only with an order number that is not the one
    // waited for; without any, a cancel or failure is the awaited order's.
    if (text == KTPayPlug::kOtherOrderStatus) check(paidOrder && !waitedOrder.empty() && *paidOrder != waitedOrder);
    if (text == KTPayPlug::kCancelledStatus || text == KTPayPlug::kFailedStatus) {
      check(!paidOrder || waitedOrder.empty() || *paidOrder == waitedOrder);
    }
    check(text == KTPayPlug::kPaidStatus || text == KTPayPlug::kCancelledStatus || text == KTPayPlug::kFailedStatus ||
          text == KTPayPlug::kUnconfirmedStatus || text == KTPayPlug::kOtherOrderStatus);
    check((text == KTPayPlug::kPaidStatus) == !error);
  });
  blockCalls = 0;
  plug->setWalletPayResultDic(result);
  // Every result reaches the held block once: none leaves a sheet waiting.
  check(blockCalls == 1);
  check(plug->walletPayResultDic() == result);
}

void readReturnURL(const std::string& text) {
  int callbacks = 0;
  WalletPaySDK::defaultService()->processOrderWithPaymentResult(
      kit::URL::URLWithString(text), [&](const kit::Ref<kit::Dictionary>& result) {
        ++callbacks;
        check(kit::isKind<kit::String>(kit::Id(result)["resultStatus"]));
        check(kit::isKind<kit::String>(kit::Id(result)["memo"]));
        toPlug(result);
        check(blockCalls == 1);
      });
  check(callbacks == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 4) {
    case 0: readReturnURL(rest); break;
    case 1: {
      auto value = kit::stringByAddingPercentEncodingWithAllowedCharacters(
          rest, *kit::CharacterSet::urlQueryValueAllowed());
      readReturnURL("TolmixWalletPayScheme1001://safepay/?result=" + (value ? value->utf8() : std::string()));
      break;
    }
    case 2: {
      kit::Id object = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(rest), 0);
      if (auto dictionary = kit::as<kit::Dictionary>(object)) toPlug(dictionary);
      break;
    }
    default: {
      const size_t split = std::min(rest.find('\0'), rest.size());
      const std::string signStr = rest.substr(0, split);
      const std::string number = KTPayPlug::orderNumberOfSignedOrder(signStr);
      check(signStr.find(number) != std::string::npos);
      auto info = kit::make<WalletPayInfo>();
      info->setSignStr(kit::str(signStr));
      KTPayPlug::sharedInstance()->setWalletPayInfo(info);
      kit::Id object = kit::JSONSerialization::JSONObjectWithData(
          kit::Data::make(split < rest.size() ? rest.substr(split + 1) : std::string()), 0);
      if (auto dictionary = kit::as<kit::Dictionary>(object)) toPlug(dictionary);
      KTPayPlug::sharedInstance()->setWalletPayInfo(nullptr);
      break;
    }
  }
  return 0;
}
