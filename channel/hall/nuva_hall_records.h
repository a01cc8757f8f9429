// The resource hall's records as the channel's game server describes them:
// a goods offer of the goods tab (NUVAInfiniterModel, whose key "id" fills
// `listid`) and a prize of a prize wheel (NUVATurnTableModel: a ring prize,
// the centre prize, the super wheel's extra prize or a prize won). They are
// filled by key-value assignment from one server object; keys a record does
// not have are ignored. Values are kept as the server sent them (texts or
// numbers), so readers format them with "%@" before comparing.
#pragma once

#include "channel/core/nuva_store_records.h"

#define NUVA_HALL_FIELD(name, Setter)                         \
 public:                                                      \
  const kit::Id& name() const { return name##_; }             \
  void Setter(kit::Id v) { name##_ = copied(std::move(v)); }  \
                                                              \
 private:                                                     \
  kit::Id name##_;

// One goods offer of the hall's goods tab.
class NUVAInfiniterModel : public NUVAStoreRecord {
  KIT_OBJECT(NUVAInfiniterModel)
  // The goods id (key "id"); sent as good_id.
  NUVA_HALL_FIELD(listid, setListid)
  NUVA_HALL_FIELD(title, setTitle)
  NUVA_HALL_FIELD(content, setContent)
  // The price in yuan.
  NUVA_HALL_FIELD(money, setMoney)
  // The address of the goods picture.
  NUVA_HALL_FIELD(prop_img, setProp_img)
  NUVA_HALL_FIELD(game_coin, setGame_coin)
  NUVA_HALL_FIELD(welfare_nums, setWelfare_nums)
  NUVA_HALL_FIELD(super_welfare_nums, setSuper_welfare_nums)
  // "0" not bought, "1" bought.
  NUVA_HALL_FIELD(is_buy, setIs_buy)
  // Per claim: "0" claimable, "1" already claimed.
  NUVA_HALL_FIELD(is_coin, setIs_coin)
  NUVA_HALL_FIELD(is_welfare, setIs_welfare)
  NUVA_HALL_FIELD(is_superwelfare, setIs_superwelfare)

 public:
  static kit::Ref<NUVAInfiniterModel> make() { return kit::make<NUVAInfiniterModel>(); }
  // A record filled from a server object; anything else gives an empty one.
  static kit::Ref<NUVAInfiniterModel> withValues(const kit::Id& values);
  std::string description() const override;

 protected:
  void setCategoryIdFromKeyId(kit::Id v) override { setListid(std::move(v)); }
};

// One prize of a prize wheel.
class NUVATurnTableModel : public NUVAStoreRecord {
  KIT_OBJECT(NUVATurnTableModel)
  NUVA_HALL_FIELD(mid, setMid)
  NUVA_HALL_FIELD(amount, setAmount)
  // For the super wheel's extra prize: the super spins that unlock it.
  NUVA_HALL_FIELD(nums, setNums)
  // "0" for a ring prize; anything else marks the centre prize.
  NUVA_HALL_FIELD(is_super, setIs_super)
  NUVA_HALL_FIELD(name, setName)
  // The address of the prize picture.
  NUVA_HALL_FIELD(icon, setIcon)

 public:
  static kit::Ref<NUVATurnTableModel> make() { return kit::make<NUVATurnTableModel>(); }
  static kit::Ref<NUVATurnTableModel> withValues(const kit::Id& values);
  std::string description() const override;
};

#undef NUVA_HALL_FIELD
