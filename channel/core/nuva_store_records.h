// The store's item records as the channel's game server describes them:
// a GM gift, a VIP gift and a reward item (one prop with its count and
// picture). They are filled by key-value assignment from one server object,
// key for key; the key "id" of a gift goes into `categoryid`, other keys a
// record does not have are ignored. Values are kept as the server sent
// them (texts, or numbers where a server sends numbers), so readers format
// them with "%@" before comparing.
#pragma once

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"

// Declares a copied value property `name` (getter name(), setter setName()).
#define NUVA_RECORD_FIELD(name, Setter)              \
 public:                                             \
  const kit::Id& name() const { return name##_; }    \
  void Setter(kit::Id v) { name##_ = copied(std::move(v)); } \
                                                     \
 private:                                            \
  kit::Id name##_;

// What the three records share: copied values and the handling of keys
// that name no property.
class NUVAStoreRecord : public kit::Object {
  KIT_OBJECT(NUVAStoreRecord)

 public:
  // "id" fills `categoryid` where the record has one; every other unknown
  // key is ignored.
  void setValueForUndefinedKey(const std::string& key, kit::Id value) override;
  kit::Id valueForUndefinedKey(const std::string& key) override;

 protected:
  static kit::Id copied(kit::Id v) { return v ? v->copy() : v; }
  virtual void setCategoryIdFromKeyId(kit::Id) {}
};

// One GM gift of the store hub's GM tab.
class NUVAGMModel : public NUVAStoreRecord {
  KIT_OBJECT(NUVAGMModel)
  NUVA_RECORD_FIELD(gm_id, setGm_id)
  NUVA_RECORD_FIELD(gift_num, setGift_num)
  NUVA_RECORD_FIELD(gift_name, setGift_name)
  NUVA_RECORD_FIELD(gift_id, setGift_id)
  NUVA_RECORD_FIELD(gift_icon, setGift_icon)
  NUVA_RECORD_FIELD(gift_desc, setGift_desc)
  // "0" not claimed; anything else counts as claimed.
  NUVA_RECORD_FIELD(status, setStatus)
  NUVA_RECORD_FIELD(gm_desc, setGm_desc)
  NUVA_RECORD_FIELD(gm_name, setGm_name)
  // The entry's server id (key "id"); claim states are matched by it.
  NUVA_RECORD_FIELD(categoryid, setCategoryid)

 public:
  static kit::Ref<NUVAGMModel> make() { return kit::make<NUVAGMModel>(); }
  std::string description() const override;

 protected:
  void setCategoryIdFromKeyId(kit::Id v) override { setCategoryid(std::move(v)); }
};

// One VIP gift of the store hub's VIP tab.
class NUVAVIPModel : public NUVAStoreRecord {
  KIT_OBJECT(NUVAVIPModel)
  NUVA_RECORD_FIELD(game_id, setGame_id)
  NUVA_RECORD_FIELD(vip_id, setVip_id)
  NUVA_RECORD_FIELD(gift_name, setGift_name)
  NUVA_RECORD_FIELD(gift_id, setGift_id)
  NUVA_RECORD_FIELD(gift_num, setGift_num)
  NUVA_RECORD_FIELD(gift_icon, setGift_icon)
  NUVA_RECORD_FIELD(gift_desc, setGift_desc)
  NUVA_RECORD_FIELD(vip_name, setVip_name)
  NUVA_RECORD_FIELD(vip_level, setVip_level)
  NUVA_RECORD_FIELD(vip_desc, setVip_desc)
  NUVA_RECORD_FIELD(vip_condition, setVip_condition)
  NUVA_RECORD_FIELD(categoryid, setCategoryid)
  // "1" once claimed.
  NUVA_RECORD_FIELD(status, setStatus)

 public:
  static kit::Ref<NUVAVIPModel> make() { return kit::make<NUVAVIPModel>(); }
  std::string description() const override;

 protected:
  void setCategoryIdFromKeyId(kit::Id v) override { setCategoryid(std::move(v)); }
};

// One reward item inside a gift, a pack or a lucky-player reward.
class NUVAFixedGiftModel : public NUVAStoreRecord {
  KIT_OBJECT(NUVAFixedGiftModel)
  // The item id.
  NUVA_RECORD_FIELD(mid, setMid)
  // The item's count.
  NUVA_RECORD_FIELD(amount, setAmount)
  // The item's name; a record without one is an empty slot.
  NUVA_RECORD_FIELD(name, setName)
  NUVA_RECORD_FIELD(bind, setBind)
  NUVA_RECORD_FIELD(type, setType)
  // The address of the item's picture.
  NUVA_RECORD_FIELD(icon, setIcon)

 public:
  static kit::Ref<NUVAFixedGiftModel> make() { return kit::make<NUVAFixedGiftModel>(); }
  // A record filled from a server object; a value that is not a dictionary
  // gives an empty record.
  static kit::Ref<NUVAFixedGiftModel> withValues(const kit::Id& values);
  std::string description() const override;
};

#undef NUVA_RECORD_FIELD
