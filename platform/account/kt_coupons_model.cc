// One coupon of the picker's list. See kt_coupons_model.h.
#include "platform/account/kt_coupons_model.h"

#include "kit/foundation/dictionary.h"
#include "platform/account/kt_base_response.h"

kit::Ref<KTCouponsModel> KTCouponsModel::initWithDictionary(const kit::Id& dictionary) {
  auto model = kit::make<KTCouponsModel>();
  if (!kit::as<kit::Dictionary>(dictionary)) return model;
  model->setGamename(KTReplyText(dictionary["gamename"]));
  model->setCid(KTReplyText(dictionary["cid"]));
  model->setCoupon_name(KTReplyText(dictionary["coupon_name"]));
  model->setPay_money(KTReplyText(dictionary["pay_money"]));
  model->setCoupon_money(KTReplyText(dictionary["coupon_money"]));
  model->setAv_time(KTReplyText(dictionary["av_time"]));
  model->setAv(KTReplyText(dictionary["av"]));
  model->setGid(KTReplyText(dictionary["gid"]));
  return model;
}
