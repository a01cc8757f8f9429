// The channel HTTP helper. See nuva_network_manager.h.
//
// A request runs in two steps that produce values: the exchange (the shared
// URL session's reply, or its error: a URL that cannot be made goes to the
// session as none, which fails it as an unsupported URL like any other
// transport failure) and the decoding of the body. The callbacks, the error
// text and the POST's HUD are made in one place, answer(), from that value.

#include "channel/core/nuva_network_manager.h"

#include <cctype>

#include "channel/core/nuva_channel_reply.h"

#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/expected.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"
#include "kit/net/url_request.h"
#include "kit/net/url_session.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

// What one request came to: the reply (nil when its body is not JSON), or
// the error that ended the exchange without a body.
using Outcome = kit::Expected<kit::Id>;

Outcome outcomeOf(const kit::Ref<kit::Data>& data, const kit::Ref<kit::Error>& error) {
  if (error) return kit::unexpected(error);
  return NUVAChannelReply::parse(data ? data : kit::Data::make());
}

// The edge: success with the reply, or failure with the text for the error's
// code, shown first in the status HUD when `showHUD`.
void answer(const Outcome& outcome, const NUVANetworkManager::Success& success,
            const NUVANetworkManager::Failure& failure, bool showHUD) {
  if (outcome) {
    if (success) success(*outcome);
    return;
  }
  auto text = NUVANetworkManager::showErrorInfoWithStatusCode(outcome.error()->code());
  if (showHUD) NUVAProgressHUD::showErrorWithStatus(text);
  if (failure) failure(text);
}

const kit::CharacterSet& formValueAllowed() {
  static const kit::NoDestructor set(kit::CharacterSet::fromString(
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~"));
  return **set;
}

// Text with a lone surrogate half has no UTF-8 form; the half is sent as
// U+FFFD rather than dropping the whole value.
std::string withoutLoneSurrogates(const std::string& text) {
  std::string out;
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = kit::decodeCodePoint(text, pos);
    kit::appendCodePoint(out, c >= 0xD800 && c <= 0xDFFF ? 0xFFFD : c);
  }
  return out;
}

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The URL text percent-encoded with the URL-query set, except that an escape
// already in it ("%" and two hexadecimal digits) stands as it is: a URL
// whose query was encoded by its caller is not encoded a second time.
kit::Ref<kit::String> encodeURLText(const std::string& text) {
  const auto& allowed = *kit::CharacterSet::urlQueryAllowed();
  std::string out, run;
  auto flush = [&]() -> bool {
    if (run.empty()) return true;
    auto encoded = kit::stringByAddingPercentEncodingWithAllowedCharacters(withoutLoneSurrogates(run), allowed);
    if (!encoded) return false;
    out += encoded->utf8();
    run.clear();
    return true;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2])) {
      if (!flush()) return nullptr;
      out.append(text, i, 3);
      i += 2;
    } else {
      run += text[i];
    }
  }
  if (!flush()) return nullptr;
  return kit::str(out);
}

std::string encodeFormComponent(const std::string& text) {
  auto encoded = kit::stringByAddingPercentEncodingWithAllowedCharacters(text, formValueAllowed());
  if (!encoded) {
    encoded = kit::stringByAddingPercentEncodingWithAllowedCharacters(withoutLoneSurrogates(text), formValueAllowed());
  }
  return encoded ? encoded->utf8() : std::string();
}

}  // namespace

kit::Ref<kit::String> NUVANetworkManager::dealWithParam(const kit::Ref<kit::Dictionary>& params) {
  auto text = kit::MutableString::make();
  if (!params) return text;
  for (const auto& [key, value] : params->entries()) text->appendString(kit::formatString("%@=%@&", key, value));
  return text;
}

kit::Ref<kit::String> NUVANetworkManager::formBodyWithParam(const kit::Ref<kit::Dictionary>& params) {
  auto text = kit::MutableString::make();
  if (!params) return text;
  for (const auto& [key, value] : params->entries()) {
    text->appendString(encodeFormComponent(kit::describe(key)) + "=" + encodeFormComponent(kit::describe(value)) + "&");
  }
  return text;
}

void NUVANetworkManager::getWithURL(const kit::Ref<kit::String>& url, const kit::Ref<kit::Dictionary>& params,
                                    Success success, Failure failure) {
  std::string text = url ? url->utf8() : "";
  if (params) text += dealWithParam(params)->utf8();
  get(encodeURLText(text), std::move(success), std::move(failure));
}

kit::Ref<kit::String> NUVANetworkManager::queryURL(const kit::Ref<kit::String>& url,
                                                   std::initializer_list<QueryItem> items) {
  std::string text = url ? url->utf8() : "";
  char separator = '?';
  for (const auto& [name, value] : items) {
    auto encoded = kit::stringByAddingPercentEncodingWithAllowedCharacters(
        withoutLoneSurrogates(kit::describe(value)), *kit::CharacterSet::urlQueryValueAllowed());
    text += separator;
    text += name;
    text += '=';
    text += encoded ? encoded->utf8() : "";
    separator = '&';
  }
  return kit::str(text);
}

void NUVANetworkManager::getWithQuery(const kit::Ref<kit::String>& url, std::initializer_list<QueryItem> items,
                                      Success success, Failure failure) {
  get(queryURL(url, items), std::move(success), std::move(failure));
}

void NUVANetworkManager::get(const kit::Ref<kit::String>& encodedURL, Success success, Failure failure) {
  auto request = kit::MutableURLRequest::make(encodedURL ? kit::URL::URLWithString(encodedURL) : nullptr);
  request->setHTTPMethod("GET");
  request->setTimeoutInterval(kTimeoutInterval);
  // GET answers on the main queue, so its callers may touch views.
  auto answerOnMain = kit::bindPost(kit::Queue::main(), [success, failure](const Outcome& outcome) {
    answer(outcome, success, failure, false);
  });
  kit::URLSession::sharedSession()
      ->dataTaskWithRequest(request, [answerOnMain](kit::Ref<kit::Data> data, kit::Ref<kit::URLResponse>,
                                                    kit::Ref<kit::Error> error) { answerOnMain(outcomeOf(data, error)); })
      ->resume();
}

void NUVANetworkManager::PostWithURL(const kit::Ref<kit::String>& url, const kit::Ref<kit::Dictionary>& params,
                                     Success success, Failure failure) {
  auto body = formBodyWithParam(params)->utf8();
  auto request = kit::MutableURLRequest::make(url ? kit::URL::URLWithString(url) : nullptr);
  request->setHTTPMethod("POST");
  request->setHTTPBody(kit::Data::make(body));
  request->setValue("application/x-www-form-urlencoded", "Content-Type");
  request->setValue(kit::formatString("%ld", static_cast<long>(body.size())), "Content-Length");
  request->setTimeoutInterval(kTimeoutInterval);
  // POST answers on the session's own queue.
  kit::URLSession::sharedSession()
      ->dataTaskWithRequest(request,
                            [success, failure](kit::Ref<kit::Data> data, kit::Ref<kit::URLResponse>,
                                               kit::Ref<kit::Error> error) {
                              answer(outcomeOf(data, error), success, failure, true);
                            })
      ->resume();
}

kit::Ref<kit::String> NUVANetworkManager::showErrorInfoWithStatusCode(long code) {
  switch (code) {
    case -1001: return kit::str("网络请求超时，请稍后重试！");
    case -1002: return kit::str("不支持的URL！");
    case -1003: return kit::str("未能找到指定的服务器！");
    case -1004: return kit::str("服务器连接失败！");
    case -1005: return kit::str("连接丢失，请稍后重试！");
    case -1009: return kit::str("互联网连接似乎是离线！");
    case -1012: return kit::str("操作无法完成！");
    case 401: return nullptr;
    case 500: return kit::str("服务器异常！");
    default: return unknownErrorText();
  }
}

kit::Ref<kit::String> NUVANetworkManager::unknownErrorText() { return kit::str("网络请求发生未知错误，请稍后再试！"); }

kit::Ref<kit::MutableDictionary> NUVADealNull::deleteNull(const kit::Dictionary& dictionary) {
  auto cleaned = kit::MutableDictionary::make();
  for (const auto& [key, value] : dictionary.entries()) {
    bool isNull = kit::isKind<kit::Null>(value);
    auto text = kit::as<kit::String>(value);
    if (isNull || (text && text->isEqualToString("(null)"))) {
      cleaned->setObject(kit::str(""), key);
    } else {
      cleaned->setObject(value, key);
    }
  }
  return cleaned;
}
