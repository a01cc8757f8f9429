// KTSuRedCounts: the counts of the user centre's red-dot reply
// ("Home/number"): news, gift packs and coupon records the server holds for
// the player. The reply counts only when it is a JSON object whose "a" is
// the text "1"; the counts are the integer values of c.posts.log,
// c.card.total and c.card.log (0 when missing or not a number or text).
#pragma once

#include <optional>

#include "kit/foundation/object.h"

struct KTSuRedCounts {
  long home = 0;    // c.posts.log
  long gift = 0;    // c.card.total
  long coupon = 0;  // c.card.log

  // The counts of a decoded reply, or nothing when it does not count.
  static std::optional<KTSuRedCounts> fromReply(const kit::Id& reply);
};
