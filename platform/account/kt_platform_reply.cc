// Platform replies as values, and the three request clients behind them.
// See kt_platform_reply.h.
#include "platform/account/kt_platform_reply.h"

#include <string>

#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "net/cxr_net_tool.h"
#include "net/cxr_sdp_net_tool.h"
#include "net/network_manager.h"
#include "platform/account/kt_base_response.h"

namespace {

constexpr const char* kRefusalMessageKey = "KTRefusalMessage";
constexpr const char* kRefusalCodeKey = "KTRefusalCode";

// The two halves of a request client's callbacks, both ending in `answer`.
// The clients call exactly one of them, on the main thread.
struct Halves {
  std::function<void(const kit::Id&)> success;
  std::function<void(const kit::Ref<kit::Error>&)> failure;
};

Halves halves(KTPlatformReplies::Answer answer) {
  auto shared = std::make_shared<KTPlatformReplies::Answer>(std::move(answer));
  return {[shared](const kit::Id& reply) {
            if (*shared) (*shared)(KTPlatformReply(reply));
          },
          [shared](const kit::Ref<kit::Error>& error) {
            if (*shared) (*shared)(KTPlatformReplies::notDelivered(error));
          }};
}

}  // namespace

void KTPlatformReplies::postScrambled(std::string_view path, const kit::Id& parameters, Answer answer) {
  Halves h = halves(std::move(answer));
  NetWorkManager::sharedInstance()->PostCouponURL(path, parameters, h.success, h.failure);
}

void KTPlatformReplies::postConnection(std::string_view path, const kit::Id& parameters, Answer answer) {
  Halves h = halves(std::move(answer));
  CXRNetTool::sharedInstance()->POST(SDPPlatformAPIBaseURL() + std::string(path), parameters, h.success, h.failure);
}

void KTPlatformReplies::postForm(std::string_view path, const kit::Id& parameters, Answer answer) {
  Halves h = halves(std::move(answer));
  CXRSdpNetTool::sharedTool()->PostWithURLString(path, parameters, h.success, h.failure);
}

kit::Expected<kit::Ref<kit::Dictionary>> KTPlatformReplies::envelope(const KTPlatformReply& reply) {
  if (!reply) return kit::unexpected(reply.error());
  if (auto dictionary = kit::as<kit::Dictionary>(*reply)) return dictionary;
  return noReply();
}

kit::Unexpected KTPlatformReplies::refused(const kit::Id& message, const kit::Id& code) {
  // The message is what a player reads and the game hears: only a text with
  // something visible in it. The code is handed on as the game's failure
  // code: a text or a number, never a flag's "1" or "<null>".
  auto info = kit::dict({{kRefusalMessageKey, KTReadableText(message)}, {kRefusalCodeKey, KTShownText(code)}});
  return kit::unexpected(kit::Error::make(KTPlatformAPIErrorDomain, KTPlatformAPIErrorRefused, info));
}

kit::Unexpected KTPlatformReplies::notDelivered(const kit::Ref<kit::Error>& underlying) {
  return kit::unexpected(kit::Error::make(KTPlatformAPIErrorDomain, KTPlatformAPIErrorNotDelivered,
                                          kit::dict({{kit::UnderlyingErrorKey, underlying}})));
}

kit::Unexpected KTPlatformReplies::noReply() {
  return kit::unexpected(KTPlatformAPIErrorDomain, KTPlatformAPIErrorNoReply, "the reply holds no reply dictionary");
}

long KTPlatformReplies::failureOf(const kit::Ref<kit::Error>& error) {
  if (!error || error->domain() != KTPlatformAPIErrorDomain) return -1;
  return error->code();
}

kit::Ref<kit::String> KTPlatformReplies::refusalMessage(const kit::Ref<kit::Error>& error) {
  if (failureOf(error) != KTPlatformAPIErrorRefused) return nullptr;
  return kit::as<kit::String>(kit::Id(error->userInfo())[kRefusalMessageKey]);
}

kit::Ref<kit::String> KTPlatformReplies::refusalCode(const kit::Ref<kit::Error>& error) {
  if (failureOf(error) != KTPlatformAPIErrorRefused) return nullptr;
  return kit::as<kit::String>(kit::Id(error->userInfo())[kRefusalCodeKey]);
}

bool KTPlatformReplies::isText(const kit::Id& value, std::string_view text) {
  auto string = kit::as<kit::String>(value);
  return string && string->utf8() == text;
}

long KTPlatformReplies::integerOf(const kit::Id& value) {
  if (auto string = kit::as<kit::String>(value)) return string->integerValue();
  if (auto number = kit::as<kit::Number>(value)) return number->integerValue();
  return 0;
}
