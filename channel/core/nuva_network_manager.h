// NUVANetworkManager: the channel's one HTTP client. GET carries its query in
// the URL; POST sends a form body. Both time out after 3 seconds, parse the
// reply body as JSON and hand the result (nil when the body is empty or not
// JSON) or a Chinese error text to exactly one of two callbacks. It does not
// look inside the reply; callers test its "code" or "status".
//
// GET calls back on the main queue and shows nothing on failure. POST calls
// back on the URL session's callback queue (not the main queue) and shows a
// transport failure in the status HUD before its failure callback.
//
// The POST body is application/x-www-form-urlencoded with keys and values
// percent-encoded as UTF-8, so "&", "=", "+" and spaces inside a value
// arrive as sent.
#pragma once

#include <functional>
#include <initializer_list>
#include <utility>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/string.h"

class NUVANetworkManager {
 public:
  using Success = std::function<void(kit::Id response)>;
  using Failure = std::function<void(kit::Ref<kit::String> error)>;

  // The time-out of every request, in seconds.
  static constexpr double kTimeoutInterval = 3.0;

  // Appends the parameters' form text to the URL text as it is (the URL
  // must already end in "?" or "&"), percent-encodes the whole text with the
  // URL-query set and GETs it. Escapes already in the text ("%" and two
  // hexadecimal digits) are kept as they are, so a query built with
  // queryURL() is sent exactly as built.
  static void getWithURL(const kit::Ref<kit::String>& url, const kit::Ref<kit::Dictionary>& params, Success success,
                         Failure failure);
  // One argument of a GET query: its name and its value, sent as the
  // value's "%@" text.
  using QueryItem = std::pair<const char*, kit::Id>;
  // GETs queryURL(url, items): the URL text and the names as they stand,
  // each value percent-encoded as one query value, so a value holding "&"
  // or "=" arrives as that one value. Answers as getWithURL does.
  static void getWithQuery(const kit::Ref<kit::String>& url, std::initializer_list<QueryItem> items,
                           Success success, Failure failure);
  // "<url>?name=value&name=value" with every value's "%@" text escaped but
  // for letters, digits and "-._~()" (kit::CharacterSet::urlQueryValueAllowed).
  static kit::Ref<kit::String> queryURL(const kit::Ref<kit::String>& url, std::initializer_list<QueryItem> items);
  // POSTs the parameters as a form body to the URL text as it is.
  static void PostWithURL(const kit::Ref<kit::String>& url, const kit::Ref<kit::Dictionary>& params,
                          Success success, Failure failure);

  // "key=value&" for every entry in the dictionary's order, neither part
  // encoded; the empty text for nil or an empty dictionary.
  static kit::Ref<kit::String> dealWithParam(const kit::Ref<kit::Dictionary>& params);
  // The same with keys and values percent-encoded as UTF-8 (everything but
  // ASCII letters, digits and "-._~"), as the POST body carries them.
  static kit::Ref<kit::String> formBodyWithParam(const kit::Ref<kit::Dictionary>& params);

  // The text for a URL-loading error code or an HTTP status; nil for 401.
  static kit::Ref<kit::String> showErrorInfoWithStatusCode(long code);
  // The text of a failure it cannot name, which callers also show for an
  // answer that arrived but carries no readable message (an HTML page, an
  // empty body, a refusal without "msg").
  static kit::Ref<kit::String> unknownErrorText();

 private:
  // GETs a URL text that is already percent-encoded.
  static void get(const kit::Ref<kit::String>& encodedURL, Success success, Failure failure);
};

// Null cleaning for reply dictionaries.
class NUVADealNull {
 public:
  // A new dictionary in which null values and "(null)" texts of the
  // receiver's top level are empty texts; other values are kept.
  static kit::Ref<kit::MutableDictionary> deleteNull(const kit::Dictionary& dictionary);
};
