// Runtime registration and key handling of the store's item records.

#include "channel/core/nuva_store_records.h"

#include "data/model/mx_hooks.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/format.h"
#include "kit/foundation/values.h"

void NUVAStoreRecord::setValueForUndefinedKey(const std::string& key, kit::Id value) {
  if (key == "id") setCategoryIdFromKeyId(std::move(value));
}

kit::Id NUVAStoreRecord::valueForUndefinedKey(const std::string&) { return nullptr; }

std::string NUVAGMModel::description() const {
  return kit::formatString("<NUVAGMModel categoryid=%@ gm_id=%@ gift_id=%@ gift_name=%@ status=%@>", categoryid_,
                           gm_id_, gift_id_, gift_name_, status_);
}

std::string NUVAVIPModel::description() const {
  return kit::formatString("<NUVAVIPModel categoryid=%@ vip_id=%@ gift_id=%@ gift_name=%@ status=%@>", categoryid_,
                           vip_id_, gift_id_, gift_name_, status_);
}

kit::Ref<NUVAFixedGiftModel> NUVAFixedGiftModel::withValues(const kit::Id& values) {
  auto model = make();
  if (auto dict = kit::as<kit::Dictionary>(values)) model->setValuesForKeysWithDictionary(dict);
  return model;
}

std::string NUVAFixedGiftModel::description() const {
  return kit::formatString("<NUVAFixedGiftModel mid=%@ name=%@ amount=%@ icon=%@>", mid_, name_, amount_, icon_);
}

namespace {
kit::Ref<kit::Dictionary> categoryKeyMap() { return kit::dict({{"categoryid", "id"}}); }
}  // namespace

KIT_DEFINE_CLASS(NUVAStoreRecord, kit::Object) {}

KIT_DEFINE_CLASS(NUVAGMModel, NUVAStoreRecord) {
  cls.property("gm_id", &NUVAGMModel::gm_id, &NUVAGMModel::setGm_id, "C");
  cls.property("gift_num", &NUVAGMModel::gift_num, &NUVAGMModel::setGift_num, "C");
  cls.property("gift_name", &NUVAGMModel::gift_name, &NUVAGMModel::setGift_name, "C");
  cls.property("gift_id", &NUVAGMModel::gift_id, &NUVAGMModel::setGift_id, "C");
  cls.property("gift_icon", &NUVAGMModel::gift_icon, &NUVAGMModel::setGift_icon, "C");
  cls.property("gift_desc", &NUVAGMModel::gift_desc, &NUVAGMModel::setGift_desc, "C");
  cls.property("status", &NUVAGMModel::status, &NUVAGMModel::setStatus, "C");
  cls.property("gm_desc", &NUVAGMModel::gm_desc, &NUVAGMModel::setGm_desc, "C");
  cls.property("gm_name", &NUVAGMModel::gm_name, &NUVAGMModel::setGm_name, "C");
  cls.property("categoryid", &NUVAGMModel::categoryid, &NUVAGMModel::setCategoryid, "C");
  mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName, categoryKeyMap);
}

KIT_DEFINE_CLASS(NUVAVIPModel, NUVAStoreRecord) {
  cls.property("game_id", &NUVAVIPModel::game_id, &NUVAVIPModel::setGame_id, "C");
  cls.property("vip_id", &NUVAVIPModel::vip_id, &NUVAVIPModel::setVip_id, "C");
  cls.property("gift_name", &NUVAVIPModel::gift_name, &NUVAVIPModel::setGift_name, "C");
  cls.property("gift_id", &NUVAVIPModel::gift_id, &NUVAVIPModel::setGift_id, "C");
  cls.property("gift_num", &NUVAVIPModel::gift_num, &NUVAVIPModel::setGift_num, "C");
  cls.property("gift_icon", &NUVAVIPModel::gift_icon, &NUVAVIPModel::setGift_icon, "C");
  cls.property("gift_desc", &NUVAVIPModel::gift_desc, &NUVAVIPModel::setGift_desc, "C");
  cls.property("vip_name", &NUVAVIPModel::vip_name, &NUVAVIPModel::setVip_name, "C");
  cls.property("vip_level", &NUVAVIPModel::vip_level, &NUVAVIPModel::setVip_level, "C");
  cls.property("vip_desc", &NUVAVIPModel::vip_desc, &NUVAVIPModel::setVip_desc, "C");
  cls.property("vip_condition", &NUVAVIPModel::vip_condition, &NUVAVIPModel::setVip_condition, "C");
  cls.property("categoryid", &NUVAVIPModel::categoryid, &NUVAVIPModel::setCategoryid, "C");
  cls.property("status", &NUVAVIPModel::status, &NUVAVIPModel::setStatus, "C");
  mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName, categoryKeyMap);
}

KIT_DEFINE_CLASS(NUVAFixedGiftModel, NUVAStoreRecord) {
  cls.property("mid", &NUVAFixedGiftModel::mid, &NUVAFixedGiftModel::setMid, "C");
  cls.property("amount", &NUVAFixedGiftModel::amount, &NUVAFixedGiftModel::setAmount, "C");
  cls.property("name", &NUVAFixedGiftModel::name, &NUVAFixedGiftModel::setName, "C");
  cls.property("bind", &NUVAFixedGiftModel::bind, &NUVAFixedGiftModel::setBind, "C");
  cls.property("type", &NUVAFixedGiftModel::type, &NUVAFixedGiftModel::setType, "C");
  cls.property("icon", &NUVAFixedGiftModel::icon, &NUVAFixedGiftModel::setIcon, "C");
}
