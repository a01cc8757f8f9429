// How the channel core reads the channel game server's answers: success
// ("status" as text equal to "200"), the server menu with its ids, times
// and level ranges, the goods lists, and the merge of a claim-status answer
// into kept goods. Every reader accepts any value, including nil and values
// of the wrong kind (which read as empty), and never fails.
#pragma once

#include "kit/foundation/array.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

class NUVAGameReply {
 public:
  // "status" read as text is "200" (a number 200 too).
  static bool isSuccess(const kit::Id& answer);

  // What a "200" menu answer gives.
  struct Menu {
    // The menu ids of "data" ("data" of another kind: none).
    kit::Ref<kit::MutableArray> ids;
    // Whether the answer has a non-blank "time" object; only then are the
    // times and ranges below replaced.
    bool hasTimes = false;
    // The times as the server sent them, as text; nil when missing or null.
    kit::Ref<kit::String> time_shop_refresh, luck_time, day_time, active_time, shop_time;
    // Whether the level ranges are replaced: not when "level_list" is text.
    bool replacesLevelList = false;
    // The new ranges: "level_list" when it is a list, else empty.
    kit::Ref<kit::MutableArray> levelList;
  };
  static Menu menu(const kit::Id& answer);

  // A kept time in seconds: nil, text without a number and values that are
  // not finite read as 0.
  static double seconds(const kit::Ref<kit::String>& time);

  // A mutable copy of a list; anything else gives an empty list.
  static kit::Ref<kit::MutableArray> listOf(const kit::Id& value);

  // Goods lists (one inner list per category) with a claim-status answer
  // merged in: every item object whose "id" (read as text) is a top-level
  // key of the answer takes that key's value as its "status"; items keep
  // their own status otherwise, and lose it when they had none. A category
  // that is not a list becomes empty and items that are not objects are
  // left out; categories keep their places. `vip` picks the VIP item model.
  static kit::Ref<kit::MutableArray> mergedClaimStatus(const kit::Ref<kit::Array>& goods, const kit::Id& answer,
                                                       bool vip);
};
