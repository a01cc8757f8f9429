// Runtime registration and readers of the store's pack records.

#include "channel/store/nuva_store_pack_records.h"

#include "channel/core/nuva_data_format.h"
#include "channel/store/nuva_store_support.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/format.h"
#include "kit/foundation/values.h"

namespace {

kit::Ref<kit::Array> listOrEmpty(const kit::Id& value) {
  auto list = kit::as<kit::Array>(value);
  return list ? list : kit::Array::make();
}

bool isText(const kit::Id& value, std::string_view text) {
  auto string = kit::as<kit::String>(value);
  return string && string->isEqualToString(text);
}

}  // namespace

kit::Ref<NUVATimeStoreModel> NUVATimeStoreModel::withValues(const kit::Id& values) {
  auto model = make();
  if (auto dict = kit::as<kit::Dictionary>(values)) model->setValuesForKeysWithDictionary(dict);
  return model;
}

std::string NUVATimeStoreModel::description() const {
  return kit::formatString("<NUVATimeStoreModel good_id=%@ gift_name=%@ is_all_fixed=%@ is_buy=%@ optional_num=%@>",
                           good_id_, gift_name_, is_all_fixed_, is_buy_, optional_num_);
}

bool NUVATimeStoreModel::isCustomPack() const { return isText(is_all_fixed_, "1"); }
bool NUVATimeStoreModel::isFixedPack() const { return isText(is_all_fixed_, "2"); }
bool NUVATimeStoreModel::isBought() const { return kit::describe(is_buy_) == "1"; }

long NUVATimeStoreModel::optionalCount() const { return NUVAStoreSupport::integerOf(optional_num_); }

kit::Ref<kit::Array> NUVATimeStoreModel::fixedItems() const { return listOrEmpty(fixed_gift_); }
kit::Ref<kit::Array> NUVATimeStoreModel::optionalItems() const { return listOrEmpty(optional_gift_); }

kit::Ref<NUVALevelModel> NUVALevelModel::withValues(const kit::Id& values) {
  auto model = make();
  if (auto dict = kit::as<kit::Dictionary>(values)) model->setValuesForKeysWithDictionary(dict);
  return model;
}

std::string NUVALevelModel::description() const {
  return kit::formatString("<NUVALevelModel good_id=%@ good_name=%@ is_buy=%@ lost_time=%@ money=%@>", good_id_,
                           good_name_, is_buy_, lost_time_, money_);
}

bool NUVALevelModel::isBought() const { return kit::describe(is_buy_) == "1"; }
bool NUVALevelModel::isOnSale() const { return kit::describe(is_buy_) == "0"; }

kit::Ref<kit::Array> NUVALevelModel::itemList() const {
  auto text = kit::as<kit::String>(items_);
  if (!text) return kit::Array::make();
  return listOrEmpty(NUVADataFormat::arrayWithJsonString(text));
}

KIT_DEFINE_CLASS(NUVATimeStoreModel, NUVAStoreRecord) {
  cls.property("good_id", &NUVATimeStoreModel::good_id, &NUVATimeStoreModel::setGood_id, "C");
  cls.property("gift_name", &NUVATimeStoreModel::gift_name, &NUVATimeStoreModel::setGift_name, "C");
  cls.property("gift_money", &NUVATimeStoreModel::gift_money, &NUVATimeStoreModel::setGift_money, "C");
  cls.property("is_all_fixed", &NUVATimeStoreModel::is_all_fixed, &NUVATimeStoreModel::setIs_all_fixed, "C");
  cls.property("is_buy", &NUVATimeStoreModel::is_buy, &NUVATimeStoreModel::setIs_buy, "C");
  cls.property("optional_num", &NUVATimeStoreModel::optional_num, &NUVATimeStoreModel::setOptional_num, "C");
  cls.property("fixed_gift", &NUVATimeStoreModel::fixed_gift, &NUVATimeStoreModel::setFixed_gift, "C");
  cls.property("optional_gift", &NUVATimeStoreModel::optional_gift, &NUVATimeStoreModel::setOptional_gift, "C");
}

KIT_DEFINE_CLASS(NUVALevelModel, NUVAStoreRecord) {
  cls.property("good_id", &NUVALevelModel::good_id, &NUVALevelModel::setGood_id, "C");
  cls.property("good_name", &NUVALevelModel::good_name, &NUVALevelModel::setGood_name, "C");
  cls.property("is_buy", &NUVALevelModel::is_buy, &NUVALevelModel::setIs_buy, "C");
  cls.property("items", &NUVALevelModel::items, &NUVALevelModel::setItems, "C");
  cls.property("lost_time", &NUVALevelModel::lost_time, &NUVALevelModel::setLost_time, "C");
  cls.property("money", &NUVALevelModel::money, &NUVALevelModel::setMoney, "C");
}
