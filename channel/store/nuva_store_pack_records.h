// The store's pack records as the channel's game server describes them: a
// time-limited pack of the time store tab (NUVATimeStoreModel) and a level
// pack of the level store tab (NUVALevelModel). Like the core's item
// records they are filled by key-value assignment from one server object,
// key for key; keys a record does not have are ignored and a missing key
// leaves its field nil. Values stay as the server sent them (texts, or
// numbers where a server sends numbers), so readers format them with "%@"
// or test their kind before comparing.
#pragma once

#include "channel/core/nuva_store_records.h"
#include "kit/foundation/array.h"

// Declares a copied value property `name` (getter name(), setter setName()).
#define NUVA_PACK_FIELD(name, Setter)                        \
 public:                                                     \
  const kit::Id& name() const { return name##_; }            \
  void Setter(kit::Id v) { name##_ = copied(std::move(v)); } \
                                                             \
 private:                                                    \
  kit::Id name##_;

// One time-limited pack.
class NUVATimeStoreModel : public NUVAStoreRecord {
  KIT_OBJECT(NUVATimeStoreModel)
  // The pack id: the remark's first field and the order's good_id.
  NUVA_PACK_FIELD(good_id, setGood_id)
  // The name shown in the row; the order's good_name.
  NUVA_PACK_FIELD(gift_name, setGift_name)
  // The price; the order's money.
  NUVA_PACK_FIELD(gift_money, setGift_money)
  // The text "1" for a custom pack, "2" for a fixed pack; anything else
  // (a number 1 included) is neither.
  NUVA_PACK_FIELD(is_all_fixed, setIs_all_fixed)
  // "1" once bought (compared after "%@" formatting).
  NUVA_PACK_FIELD(is_buy, setIs_buy)
  // How many optional items a custom pack lets the buyer choose, or a fixed
  // pack includes (read as an integer).
  NUVA_PACK_FIELD(optional_num, setOptional_num)
  // The item objects always included, in display order.
  NUVA_PACK_FIELD(fixed_gift, setFixed_gift)
  // The item objects offered for choice, in display order.
  NUVA_PACK_FIELD(optional_gift, setOptional_gift)

 public:
  static kit::Ref<NUVATimeStoreModel> make() { return kit::make<NUVATimeStoreModel>(); }
  // A record filled from a server object; anything but a dictionary gives
  // an empty record.
  static kit::Ref<NUVATimeStoreModel> withValues(const kit::Id& values);
  std::string description() const override;

  // What the pack's fields read as.
  bool isCustomPack() const;   // is_all_fixed is the text "1"
  bool isFixedPack() const;    // is_all_fixed is the text "2"
  bool isBought() const;       // "%@" of is_buy is "1"
  // optional_num as an integer (0 when missing or not a number).
  long optionalCount() const;
  // fixed_gift and optional_gift as lists (empty when they are no list).
  kit::Ref<kit::Array> fixedItems() const;
  kit::Ref<kit::Array> optionalItems() const;
};

// One level pack.
class NUVALevelModel : public NUVAStoreRecord {
  KIT_OBJECT(NUVALevelModel)
  // The pack id, sent with the order.
  NUVA_PACK_FIELD(good_id, setGood_id)
  NUVA_PACK_FIELD(good_name, setGood_name)
  // "1" bought; "0" on sale (only "0" counts down).
  NUVA_PACK_FIELD(is_buy, setIs_buy)
  // The reward items as the JSON text of an array of item objects.
  NUVA_PACK_FIELD(items, setItems)
  // Seconds left on sale, as a decimal text.
  NUVA_PACK_FIELD(lost_time, setLost_time)
  // The price in yuan, as text.
  NUVA_PACK_FIELD(money, setMoney)

 public:
  static kit::Ref<NUVALevelModel> make() { return kit::make<NUVALevelModel>(); }
  static kit::Ref<NUVALevelModel> withValues(const kit::Id& values);
  std::string description() const override;

  bool isBought() const;  // "%@" of is_buy is "1"
  bool isOnSale() const;  // "%@" of is_buy is "0"
  // The item objects of `items`: the JSON array the text holds, or an empty
  // list for any other value or text.
  kit::Ref<kit::Array> itemList() const;
};

#undef NUVA_PACK_FIELD
