// How the store's tabs read the channel game server's answers: the menu's
// refresh time for the time store, the time store's pack list and the level
// store's pack list. Every reader takes any value (nil, and values of the
// wrong kind, read as missing) and never fails; an answer that is no
// success gives nullopt. Success is "status" read as text equal to "200".
#pragma once

#include <optional>

#include "kit/foundation/array.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

class NUVAStoreReplies {
 public:
  // A pack list: the texts the tab shows and the pack objects as sent.
  struct PackList {
    kit::Ref<kit::String> name;    // time store: "gift_no_name"; level store: nil
    kit::Ref<kit::String> notice;  // "notice_content"
    kit::Ref<kit::Array> list;     // "list"; empty when it is no list
  };

  // A "200" menu answer with a non-empty "time" object: its
  // "time_shop_refresh" in seconds (0 when missing, not a number or not
  // finite).
  static std::optional<double> refreshSeconds(const kit::Id& menuAnswer);
  // A "200" answer whose "data" has entries.
  static std::optional<PackList> timeStorePacks(const kit::Id& answer);
  static std::optional<PackList> levelStorePacks(const kit::Id& answer);

  // The text a label shows for a reply value: the text of a string or a
  // number, else (nil, null, a flag, a list, a dictionary) the empty text.
  static kit::Ref<kit::String> labelText(const kit::Id& value);
};
