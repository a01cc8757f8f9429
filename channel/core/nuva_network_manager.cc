// The channel HTTP helper. See nuva_network_manager.h.

#include "channel/core/nuva_network_manager.h"

#include "channel/core/nuva_channel_reply.h"

#include "kit/dispatch/queue.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"
#include "kit/net/url_request.h"
#include "kit/net/url_session.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

kit::Ref<kit::String> errorText(const kit::Ref<kit::Error>& error) {
  return NUVANetworkManager::showErrorInfoWithStatusCode(error ? error->code() : 0);
}

const kit::CharacterSet& formValueAllowed() {
  static const auto set = kit::CharacterSet::fromString(
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~");
  return *set;
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
  auto encoded = kit::stringByAddingPercentEncodingWithAllowedCharacters(text, *kit::CharacterSet::urlQueryAllowed());
  auto requestURL = encoded ? kit::URL::URLWithString(encoded) : nullptr;
  if (!requestURL) {
    kit::Queue::main().async([failure] {
      if (failure) failure(showErrorInfoWithStatusCode(kit::URLErrorUnsupportedURL));
    });
    return;
  }
  auto request = kit::MutableURLRequest::make(requestURL);
  request->setHTTPMethod("GET");
  request->setTimeoutInterval(kTimeoutInterval);
  auto task = kit::URLSession::sharedSession()->dataTaskWithRequest(
      request, [success, failure](kit::Ref<kit::Data> data, kit::Ref<kit::URLResponse>, kit::Ref<kit::Error> error) {
        kit::Queue::main().async([success, failure, data, error] {
          if (!error) {
            if (success) success(NUVAChannelReply::parse(data ? data : kit::Data::make()));
          } else if (failure) {
            failure(errorText(error));
          }
        });
      });
  task->resume();
}

void NUVANetworkManager::PostWithURL(const kit::Ref<kit::String>& url, const kit::Ref<kit::Dictionary>& params,
                                     Success success, Failure failure) {
  auto fail = [failure](const kit::Ref<kit::String>& text) {
    NUVAProgressHUD::showErrorWithStatus(text);
    if (failure) failure(text);
  };
  auto requestURL = url ? kit::URL::URLWithString(url) : nullptr;
  if (!requestURL) {
    kit::Queue::global().async([fail] { fail(showErrorInfoWithStatusCode(kit::URLErrorUnsupportedURL)); });
    return;
  }
  auto body = formBodyWithParam(params)->utf8();
  auto request = kit::MutableURLRequest::make(requestURL);
  request->setHTTPMethod("POST");
  request->setHTTPBody(kit::Data::make(body));
  request->setValue("application/x-www-form-urlencoded", "Content-Type");
  request->setValue(kit::formatString("%ld", static_cast<long>(body.size())), "Content-Length");
  request->setTimeoutInterval(kTimeoutInterval);
  auto task = kit::URLSession::sharedSession()->dataTaskWithRequest(
      request, [success, fail](kit::Ref<kit::Data> data, kit::Ref<kit::URLResponse>, kit::Ref<kit::Error> error) {
        if (!error) {
          if (success) success(NUVAChannelReply::parse(data ? data : kit::Data::make()));
        } else {
          fail(errorText(error));
        }
      });
  task->resume();
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
    default: return kit::str("网络请求发生未知错误，请稍后再试！");
  }
}

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
