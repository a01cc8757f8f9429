// One coupon of the picker's list. See kt_coupons_model.h.
#include "platform/account/kt_coupons_model.h"

#include <string>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/values.h"

namespace {

// The value's shown text (kit::shownText), nil when there is none.
kit::Ref<kit::String> shown(const kit::Id& value) {
  std::string text = kit::shownText(value);
  return text.empty() ? nullptr : kit::str(text);
}

}  // namespace

kit::Ref<KTCouponsModel> KTCouponsModel::initWithDictionary(const kit::Id& dictionary) {
  auto model = kit::make<KTCouponsModel>();
  if (!kit::as<kit::Dictionary>(dictionary)) return model;
  model->setGamename(shown(dictionary["gamename"]));
  model->setCid(shown(dictionary["cid"]));
  model->setCoupon_name(shown(dictionary["coupon_name"]));
  model->setPay_money(shown(dictionary["pay_money"]));
  model->setCoupon_money(shown(dictionary["coupon_money"]));
  model->setAv_time(shown(dictionary["av_time"]));
  model->setAv(shown(dictionary["av"]));
  model->setGid(shown(dictionary["gid"]));
  return model;
}
