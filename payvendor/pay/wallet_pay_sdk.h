// WalletPaySDK: the payment vendor's service for app payment. It hands a
// signed order to the wallet app and reads the result the wallet sends back
// when it returns to this client.
//
// The wallet is another application, reached through kit's application by
// a URL of the wallet's scheme (walletScheme()):
//   <wallet scheme>://pay?order=<signed order>&scheme=<return scheme>
// with both values percent-encoded as query values. The wallet answers by
// opening this client with
//   <return scheme>://safepay/?result=<percent-encoded JSON object>
// whose object carries the result dictionary's texts "resultStatus",
// "memo" and "result".
//
// Result dictionaries always hold the three keys as texts. "resultStatus" is
// the vendor's code: "9000" paid, "6001" cancelled by the player, "4000"
// (and others) failed. This service makes "4000" itself when the wallet
// cannot be opened and when a return URL holds no readable result.
//
// Main thread (it opens URLs through the application).
//
//   WalletPaySDK::defaultService()->payOrder(signStr, kit::str("TolmixWalletPayScheme1001"), callback);
//   ... the application's open-URL road, for a return URL:
//   WalletPaySDK::defaultService()->processOrderWithPaymentResult(url, callback);
#pragma once

#include <functional>
#include <string>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/foundation/url.h"

class WalletPaySDK : public kit::Object {
 public:
  using CompletionBlock = std::function<void(const kit::Ref<kit::Dictionary>& resultDic)>;

  // The wallet scheme when the main bundle's Info.plist names none under
  // "WalletPayAppScheme".
  static constexpr const char* kDefaultWalletScheme = "walletpay";
  // The codes this service makes itself.
  static constexpr const char* kResultFailed = "4000";

  // The one service of the process, made on first use.
  static kit::Ref<WalletPaySDK> defaultService();

  // Opens the wallet with the order and this client's return scheme. When
  // the wallet cannot be opened, `completionBlock` gets the failed result
  // ("4000") on the main queue and nothing is opened; otherwise the result
  // comes back later through the return URL (processOrderWithPaymentResult).
  void payOrder(const kit::Ref<kit::String>& orderStr, const kit::Ref<kit::String>& schemeStr,
                CompletionBlock completionBlock);

  // Reads the result of a return URL and calls `completionBlock` with it,
  // once, before returning; a URL without a readable result (nil included)
  // gives the failed result "4000".
  void processOrderWithPaymentResult(const kit::Ref<kit::URL>& resultUrl, CompletionBlock completionBlock);

  // The wallet's URL scheme: the Info.plist's "WalletPayAppScheme" when it
  // is a text that can stand as a scheme, else kDefaultWalletScheme.
  static std::string walletScheme();
  // The URL that opens the wallet for an order.
  static std::string walletURL(const std::string& orderStr, const std::string& schemeStr);
  // The result dictionary a return URL carries, or nil when it holds none
  // that can be read: a "result" query value that is a JSON object whose
  // "resultStatus" is a text; "memo" and "result" become "" unless they are
  // texts.
  static kit::Ref<kit::Dictionary> resultOfURL(const kit::Ref<kit::URL>& url);
  // A result dictionary of the three texts.
  static kit::Ref<kit::Dictionary> resultDictionary(const std::string& resultStatus, const std::string& memo,
                                                    const std::string& result);
};
