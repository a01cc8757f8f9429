// What tells the store hub's GM tab from its VIP tab: the record class and
// its keys, the reuse identifiers, the backgrounds, the notification names,
// the claim path and which claim status shows the claimed badge. The menus,
// grids and panes of both tabs are one code read through this.
//
//   const NUVAGiftTab& tab = NUVAGiftTab::gm();
//   auto record = tab.record(giftDictionary);   // NUVAGMModel
#pragma once

#include "channel/core/nuva_store_records.h"
#include "kit/foundation/object.h"

struct NUVAGiftTab {
  const char* name;              // "GM" or "VIP"
  const char* titleKey;          // the menu title: "gm_name" / "vip_name"
  const char* groupKey;          // "gm_id" / "vip_id", sent with a claim
  const char* privilegeKey;      // "gm_desc" / "vip_desc"
  const char* menuCell;          // "NUVAGMMenuCell" / "NUVAVIPMenuCell"
  const char* detailCell;        // "NUVAGMDetailCell" / "NUVAVIPDetailCell"
  bool whiteMenu;                // the menu table's background: white, else clear
  bool whiteGrid;                // the grid's background: white, else clear
  const char* categoryNotification;  // the menu's choice
  const char* descNotification;      // the grid's chosen gift
  const char* successNotification;   // a claimed gift
  const char* claimPath;             // "gmstore/index" / "vipstore/index"
  kit::Ref<NUVAStoreRecord> (*makeRecord)();
  // Whether a gift's claim status shows the claimed badge.
  bool (*badged)(const kit::Id& status);

  static const NUVAGiftTab& gm();
  static const NUVAGiftTab& vip();

  // A record built from a gift dictionary by key-value assignment (an
  // empty one for anything else).
  kit::Ref<NUVAStoreRecord> record(const kit::Id& gift) const;
  // "%@" of a record's value for a key.
  static std::string text(const kit::Ref<NUVAStoreRecord>& record, const char* key);
};
