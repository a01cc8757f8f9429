// The user centre's list records. See kt_su_models.h.
#include "platform/usercenter/kt_su_models.h"

#include "kit/ui/font.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

double measured(double width, const kit::Ref<kit::String>& text, double fontSize) {
  return UIViewLabelHeight::getLabelHeightByWidth(width, text ? text->utf8() : "", kit::Font::systemFont(fontSize));
}

}  // namespace

double KTSuKaifuModel::rowHeight() {
  if (height_ == 0) height_ = measured(NameWidth, servername(), NameFontSize) + RowPadding;
  return height_;
}

double KTSuGiftModel::excerptHeight() const { return measured(ExcerptWidth, excerpt(), ExcerptFontSize); }

double KTSuGiftModel::getCodeH() {
  if (getCodeH_ == 0) getCodeH_ = excerptHeight() + ClaimPadding;
  return getCodeH_;
}

double KTSuGiftModel::copyH() {
  if (copyH_ == 0) copyH_ = excerptHeight() + CodePadding;
  return copyH_;
}

#define TEXT(Type, name, setter) cls.property(#name, &Type::name, &Type::setter, "C")

KIT_DEFINE_CLASS(KTSuKaifuModel, kit::Object) {
  TEXT(KTSuKaifuModel, servername, setServername);
  TEXT(KTSuKaifuModel, day, setDay);
  TEXT(KTSuKaifuModel, hour, setHour);
  cls.property("height", &KTSuKaifuModel::height, &KTSuKaifuModel::setHeight);
}

KIT_DEFINE_CLASS(KTSuTradeModel, kit::Object) {
  TEXT(KTSuTradeModel, tradeId, setTradeId);
  TEXT(KTSuTradeModel, prices, setPrices);
  TEXT(KTSuTradeModel, server, setServer);
  TEXT(KTSuTradeModel, time, setTime);
  TEXT(KTSuTradeModel, devicetype, setDevicetype);
  TEXT(KTSuTradeModel, gamename, setGamename);
  TEXT(KTSuTradeModel, title, setTitle);
  TEXT(KTSuTradeModel, pic1, setPic1);
}

KIT_DEFINE_CLASS(KTSuGiftModel, kit::Object) {
  TEXT(KTSuGiftModel, ID, setID);
  TEXT(KTSuGiftModel, name, setName);
  TEXT(KTSuGiftModel, excerpt, setExcerpt);
  TEXT(KTSuGiftModel, getstatus, setGetstatus);
  TEXT(KTSuGiftModel, code, setCode);
  TEXT(KTSuGiftModel, card_num, setCard_num);
  TEXT(KTSuGiftModel, remain_num, setRemain_num);
  TEXT(KTSuGiftModel, part_num, setPart_num);
  TEXT(KTSuGiftModel, percentage, setPercentage);
  TEXT(KTSuGiftModel, instructions, setInstructions);
}

KIT_DEFINE_CLASS(KTSuCouponModel, kit::Object) {
  TEXT(KTSuCouponModel, status, setStatus);
  TEXT(KTSuCouponModel, gamename, setGamename);
  TEXT(KTSuCouponModel, av_time, setAv_time);
  TEXT(KTSuCouponModel, use, setUse);
  TEXT(KTSuCouponModel, coupon_money, setCoupon_money);
  TEXT(KTSuCouponModel, pay_money, setPay_money);
}

KIT_DEFINE_CLASS(KTSuHomeMsgModel, kit::Object) {
  TEXT(KTSuHomeMsgModel, tag, setTag);
  TEXT(KTSuHomeMsgModel, post_title, setPost_title);
  TEXT(KTSuHomeMsgModel, url, setUrl);
  TEXT(KTSuHomeMsgModel, time, setTime);
  TEXT(KTSuHomeMsgModel, pic, setPic);
}
