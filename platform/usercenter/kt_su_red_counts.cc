// The red-dot reply. See kt_su_red_counts.h.
#include "platform/usercenter/kt_su_red_counts.h"

#include "kit/foundation/values.h"
#include "platform/account/kt_platform_reply.h"

namespace {

kit::Id valueAt(const kit::Id& object, std::initializer_list<const char*> path) {
  kit::Id value = object;
  for (const char* key : path) {
    auto dictionary = kit::as<kit::Dictionary>(value);
    if (!dictionary) return nullptr;
    value = dictionary->objectForKey(key);
  }
  return value;
}

}  // namespace

std::optional<KTSuRedCounts> KTSuRedCounts::fromReply(const kit::Id& reply) {
  if (!kit::as<kit::Dictionary>(reply)) return std::nullopt;
  if (!KTPlatformReplies::isText(valueAt(reply, {"a"}), "1")) return std::nullopt;
  KTSuRedCounts counts;
  counts.home = KTPlatformReplies::integerOf(valueAt(reply, {"c", "posts", "log"}));
  counts.gift = KTPlatformReplies::integerOf(valueAt(reply, {"c", "card", "total"}));
  counts.coupon = KTPlatformReplies::integerOf(valueAt(reply, {"c", "card", "log"}));
  return counts;
}
