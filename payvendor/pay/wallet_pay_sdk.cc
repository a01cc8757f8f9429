// The payment vendor's service for app payment. See wallet_pay_sdk.h.
#include "payvendor/pay/wallet_pay_sdk.h"

#include <cctype>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/url_components.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"

namespace {

constexpr const char* kSchemeKey = "WalletPayAppScheme";
constexpr const char* kNotInstalledMemo = "未安装钱包";
constexpr const char* kUnreadableMemo = "支付结果无法识别";

// RFC 3986: a letter, then letters, digits, "+", "-" or ".".
bool isScheme(const std::string& text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  for (unsigned char c : text) {
    if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.')) return false;
  }
  return true;
}

std::string queryValue(const std::string& text) {
  auto encoded = kit::stringByAddingPercentEncodingWithAllowedCharacters(text, *kit::CharacterSet::urlQueryValueAllowed());
  return encoded ? encoded->utf8() : std::string();
}

// A text value as it stands; anything else as "".
std::string textOf(const kit::Id& value) {
  auto text = kit::as<kit::String>(value);
  return text ? text->utf8() : std::string();
}

}  // namespace

kit::Ref<WalletPaySDK> WalletPaySDK::defaultService() {
  static const kit::NoDestructor<kit::Ref<WalletPaySDK>> service(kit::make<WalletPaySDK>());
  return *service;
}

std::string WalletPaySDK::walletScheme() {
  auto configured = kit::as<kit::String>(kit::Bundle::main()->objectForInfoDictionaryKey(kSchemeKey));
  if (configured && isScheme(configured->utf8())) return configured->utf8();
  return kDefaultWalletScheme;
}

std::string WalletPaySDK::walletURL(const std::string& orderStr, const std::string& schemeStr) {
  return walletScheme() + "://pay?order=" + queryValue(orderStr) + "&scheme=" + queryValue(schemeStr);
}

kit::Ref<kit::Dictionary> WalletPaySDK::resultDictionary(const std::string& resultStatus, const std::string& memo,
                                                         const std::string& result) {
  return kit::dict({{"resultStatus", resultStatus}, {"memo", memo}, {"result", result}});
}

kit::Ref<kit::Dictionary> WalletPaySDK::resultOfURL(const kit::Ref<kit::URL>& url) {
  if (!url) return nullptr;
  auto components = kit::URLComponents::componentsWithURL(*url, false);
  auto items = components ? components->queryItems() : nullptr;
  if (!items) return nullptr;
  kit::Ref<kit::String> encoded;
  for (const kit::Id& entry : *items) {
    auto item = kit::as<kit::URLQueryItem>(entry);
    if (item && item->name()->utf8() == "result") encoded = item->value();
  }
  if (!encoded) return nullptr;
  kit::Id object = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(encoded->utf8()));
  auto status = kit::as<kit::String>(object["resultStatus"]);
  if (!status) return nullptr;
  return resultDictionary(status->utf8(), textOf(object["memo"]), textOf(object["result"]));
}

void WalletPaySDK::payOrder(const kit::Ref<kit::String>& orderStr, const kit::Ref<kit::String>& schemeStr,
                            CompletionBlock completionBlock) {
  KIT_CHECK_MAIN_THREAD();
  const std::string url = walletURL(orderStr ? orderStr->utf8() : "", schemeStr ? schemeStr->utf8() : "");
  kit::Application::shared()->openURL(url, nullptr, [completionBlock = std::move(completionBlock)](bool opened) {
    if (!opened && completionBlock) completionBlock(resultDictionary(kResultFailed, kNotInstalledMemo, ""));
  });
}

void WalletPaySDK::processOrderWithPaymentResult(const kit::Ref<kit::URL>& resultUrl,
                                                 CompletionBlock completionBlock) {
  KIT_CHECK_MAIN_THREAD();
  kit::Ref<kit::Dictionary> result = resultOfURL(resultUrl);
  if (!result) result = resultDictionary(kResultFailed, kUnreadableMemo, "");
  if (completionBlock) completionBlock(result);
}
