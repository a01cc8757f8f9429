// The records of the user centre's lists, each filled from one object of a
// reply's "lists" by the model mapping (JSON keys equal to the property
// names; every text is copied):
//   KTSuKaifuModel    a server opening ("Server/lists")
//   KTSuTradeModel    an account offered for sale ("Transaction/lists")
//   KTSuGiftModel     a gift pack ("Card/lists")
//   KTSuCouponModel   a voucher ("home/getCoupons", "home/getCouponsLog")
//   KTSuHomeMsgModel  a message of the platform's news ("News/lists")
// Row heights that depend on a text are measured once and kept.
#pragma once

#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

#define KT_SU_TEXT(name, setter)                                  \
 public:                                                          \
  const kit::Ref<kit::String>& name() const { return name##_; }   \
  void setter(const kit::Ref<kit::String>& v) { name##_ = KTSuCopiedText(v); } \
                                                                  \
 private:                                                         \
  kit::Ref<kit::String> name##_;

inline kit::Ref<kit::String> KTSuCopiedText(const kit::Ref<kit::String>& v) { return v ? kit::str(v->utf8()) : nullptr; }

class KTSuKaifuModel : public kit::Object {
  KIT_OBJECT(KTSuKaifuModel)
  KT_SU_TEXT(servername, setServername)
  KT_SU_TEXT(day, setDay)
  KT_SU_TEXT(hour, setHour)

 public:
  static constexpr double NameWidth = 100, NameFontSize = 14, RowPadding = 20;
  // The row height: kept once worked out (0 until then), see rowHeight.
  double height() const { return height_; }
  void setHeight(double v) { height_ = v; }
  // The server name's height at width 100 in the system font of size 14,
  // plus 20; worked out on first use and kept in `height`.
  double rowHeight();

 private:
  double height_ = 0;
};

class KTSuTradeModel : public kit::Object {
  KIT_OBJECT(KTSuTradeModel)
  KT_SU_TEXT(tradeId, setTradeId)
  KT_SU_TEXT(prices, setPrices)
  KT_SU_TEXT(server, setServer)
  KT_SU_TEXT(time, setTime)
  // "0" Android, "1" iOS, "2" both.
  KT_SU_TEXT(devicetype, setDevicetype)
  KT_SU_TEXT(gamename, setGamename)
  KT_SU_TEXT(title, setTitle)
  KT_SU_TEXT(pic1, setPic1)
};

class KTSuGiftModel : public kit::Object {
  KIT_OBJECT(KTSuGiftModel)
  // The pack id, sent as "cardid" when claiming.
  KT_SU_TEXT(ID, setID)
  KT_SU_TEXT(name, setName)
  KT_SU_TEXT(excerpt, setExcerpt)
  // "1" once the user has claimed the pack.
  KT_SU_TEXT(getstatus, setGetstatus)
  // The user's code, non-empty once claimed.
  KT_SU_TEXT(code, setCode)
  KT_SU_TEXT(card_num, setCard_num)
  KT_SU_TEXT(remain_num, setRemain_num)
  KT_SU_TEXT(part_num, setPart_num)
  // The share of codes left in percent, a number as text.
  KT_SU_TEXT(percentage, setPercentage)
  KT_SU_TEXT(instructions, setInstructions)

 public:
  static constexpr double ExcerptWidth = 205, ExcerptFontSize = 12, ClaimPadding = 99, CodePadding = 84.5;
  // The heights of the claim row and of the code row: the excerpt's height
  // at width 205 in the system font of size 12, plus 99 and 84.5; worked
  // out on first use and kept.
  double getCodeH();
  double copyH();
  void setGetCodeH(double v) { getCodeH_ = v; }
  void setCopyH(double v) { copyH_ = v; }

 private:
  double excerptHeight() const;
  double getCodeH_ = 0, copyH_ = 0;
};

class KTSuCouponModel : public kit::Object {
  KIT_OBJECT(KTSuCouponModel)
  // "1" marks an ended voucher.
  KT_SU_TEXT(status, setStatus)
  KT_SU_TEXT(gamename, setGamename)
  KT_SU_TEXT(av_time, setAv_time)
  // Picks the state stamp "KT_suCouponState_<use>.png".
  KT_SU_TEXT(use, setUse)
  KT_SU_TEXT(coupon_money, setCoupon_money)
  KT_SU_TEXT(pay_money, setPay_money)
};

class KTSuHomeMsgModel : public kit::Object {
  KIT_OBJECT(KTSuHomeMsgModel)
  // The category; "活动" is shown in red.
  KT_SU_TEXT(tag, setTag)
  KT_SU_TEXT(post_title, setPost_title)
  KT_SU_TEXT(url, setUrl)
  KT_SU_TEXT(time, setTime)
  // The picture's address; empty without a picture.
  KT_SU_TEXT(pic, setPic)
};

#undef KT_SU_TEXT
