// Runtime registration of the hall's records.

#include "channel/hall/nuva_hall_records.h"

#include "data/model/mx_hooks.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/format.h"
#include "kit/foundation/values.h"

kit::Ref<NUVAInfiniterModel> NUVAInfiniterModel::withValues(const kit::Id& values) {
  auto model = make();
  if (auto dict = kit::as<kit::Dictionary>(values)) model->setValuesForKeysWithDictionary(dict);
  return model;
}

std::string NUVAInfiniterModel::description() const {
  return kit::formatString("<NUVAInfiniterModel listid=%@ title=%@ money=%@ is_buy=%@>", listid_, title_, money_,
                           is_buy_);
}

kit::Ref<NUVATurnTableModel> NUVATurnTableModel::withValues(const kit::Id& values) {
  auto model = make();
  if (auto dict = kit::as<kit::Dictionary>(values)) model->setValuesForKeysWithDictionary(dict);
  return model;
}

std::string NUVATurnTableModel::description() const {
  return kit::formatString("<NUVATurnTableModel mid=%@ name=%@ amount=%@ is_super=%@>", mid_, name_, amount_,
                           is_super_);
}

namespace {
kit::Ref<kit::Dictionary> listIdKeyMap() { return kit::dict({{"listid", "id"}}); }
}  // namespace

KIT_DEFINE_CLASS(NUVAInfiniterModel, NUVAStoreRecord) {
  using M = NUVAInfiniterModel;
  cls.property("listid", &M::listid, &M::setListid, "C");
  cls.property("title", &M::title, &M::setTitle, "C");
  cls.property("content", &M::content, &M::setContent, "C");
  cls.property("money", &M::money, &M::setMoney, "C");
  cls.property("prop_img", &M::prop_img, &M::setProp_img, "C");
  cls.property("game_coin", &M::game_coin, &M::setGame_coin, "C");
  cls.property("welfare_nums", &M::welfare_nums, &M::setWelfare_nums, "C");
  cls.property("super_welfare_nums", &M::super_welfare_nums, &M::setSuper_welfare_nums, "C");
  cls.property("is_buy", &M::is_buy, &M::setIs_buy, "C");
  cls.property("is_coin", &M::is_coin, &M::setIs_coin, "C");
  cls.property("is_welfare", &M::is_welfare, &M::setIs_welfare, "C");
  cls.property("is_superwelfare", &M::is_superwelfare, &M::setIs_superwelfare, "C");
  mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName, listIdKeyMap);
}

KIT_DEFINE_CLASS(NUVATurnTableModel, NUVAStoreRecord) {
  using M = NUVATurnTableModel;
  cls.property("mid", &M::mid, &M::setMid, "C");
  cls.property("amount", &M::amount, &M::setAmount, "C");
  cls.property("nums", &M::nums, &M::setNums, "C");
  cls.property("is_super", &M::is_super, &M::setIs_super, "C");
  cls.property("name", &M::name, &M::setName, "C");
  cls.property("icon", &M::icon, &M::setIcon, "C");
}
