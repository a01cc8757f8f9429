// KTCouponsModel: one of the player's coupons as the coupon picker lists it
// ("pay/getcoupons"): game, id, name, least order amount, value, validity,
// whether it can be used for this order ("av" "1") and the game it is bound
// to ("gid" 0: every game). Every field is a copied text, the value's shown
// text (kit::shownText): a number becomes its decimal text ("cid" 57 is
// kept as "57"); a missing value, null, a flag, a collection, "" and the
// spellings of a null or of a number that is none ("<null>", "NaN") leave
// its field nil.
#pragma once

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

class KTCouponsModel : public kit::Object {
 public:
  // A model filled from one item of the reply's "data"; an empty one for
  // anything that is not a dictionary.
  static kit::Ref<KTCouponsModel> initWithDictionary(const kit::Id& dictionary);

  using Text = kit::Ref<kit::String>;
  const Text& gamename() const { return gamename_; }
  void setGamename(const Text& v) { gamename_ = copied(v); }
  const Text& cid() const { return cid_; }
  void setCid(const Text& v) { cid_ = copied(v); }
  const Text& coupon_name() const { return coupon_name_; }
  void setCoupon_name(const Text& v) { coupon_name_ = copied(v); }
  const Text& pay_money() const { return pay_money_; }
  void setPay_money(const Text& v) { pay_money_ = copied(v); }
  const Text& coupon_money() const { return coupon_money_; }
  void setCoupon_money(const Text& v) { coupon_money_ = copied(v); }
  const Text& av_time() const { return av_time_; }
  void setAv_time(const Text& v) { av_time_ = copied(v); }
  const Text& av() const { return av_; }
  void setAv(const Text& v) { av_ = copied(v); }
  const Text& gid() const { return gid_; }
  void setGid(const Text& v) { gid_ = copied(v); }

 private:
  static Text copied(const Text& v) { return v ? kit::str(v->utf8()) : nullptr; }

  Text gamename_, cid_, coupon_name_, pay_money_, coupon_money_, av_time_, av_, gid_;
};
