// The user centre's list records. See kt_su_models.h.
#include "platform/usercenter/kt_su_models.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "data/model/kt_property.h"
#include "data/model/mx_hooks.h"
#include "kit/foundation/number.h"
#include "kit/ui/font.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

double measured(double width, const kit::Ref<kit::String>& text, double fontSize) {
  return UIViewLabelHeight::getLabelHeightByWidth(width, text ? text->utf8() : "", kit::Font::systemFont(fontSize));
}

using Names = std::vector<std::string_view>;

bool named(const KTProperty& property, const Names& names) {
  return std::find(names.begin(), names.end(), property.nameText()) != names.end();
}

// The texts a row shows hold what the reply holds as text: a string, or a
// number's text. A flag, the null object or a collection leaves the text
// unset rather than turning into "1", "0" or "(...)". A text shown in a
// coloured box (`boxed`) is read as a message, where a number is no text
// either. Other texts (ids, addresses, states) keep the mapping's own
// conversion.
template <class T>
void keepShownTexts(kit::ClassBuilder<T>& cls, Names shown, Names boxed = {}) {
  auto keep = [shown = std::move(shown), boxed = std::move(boxed)](kit::Object&, const kit::Id& oldValue,
                                                                    const KTProperty& property) -> kit::Id {
    const bool isBoxed = named(property, boxed);
    if (!isBoxed && !named(property, shown)) return oldValue;
    if (kit::isKind<kit::String>(oldValue)) return oldValue->copy();
    auto number = kit::as<kit::Number>(oldValue);
    if (!isBoxed && number && !number->isBool()) return kit::str(number->description());
    return nullptr;
  };
  mx_answer(cls, MXHooks::mx_newValueFromOldValue, std::move(keep));
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
  keepShownTexts(cls, {"servername", "day", "hour"});
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
  keepShownTexts(cls, {"prices", "server", "time", "gamename", "title"});
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
  keepShownTexts(cls, {"name", "excerpt", "code", "part_num", "percentage", "instructions"});
}

KIT_DEFINE_CLASS(KTSuCouponModel, kit::Object) {
  TEXT(KTSuCouponModel, status, setStatus);
  TEXT(KTSuCouponModel, gamename, setGamename);
  TEXT(KTSuCouponModel, av_time, setAv_time);
  TEXT(KTSuCouponModel, use, setUse);
  TEXT(KTSuCouponModel, coupon_money, setCoupon_money);
  TEXT(KTSuCouponModel, pay_money, setPay_money);
  keepShownTexts(cls, {"gamename", "av_time", "coupon_money", "pay_money"});
}

KIT_DEFINE_CLASS(KTSuHomeMsgModel, kit::Object) {
  TEXT(KTSuHomeMsgModel, tag, setTag);
  TEXT(KTSuHomeMsgModel, post_title, setPost_title);
  TEXT(KTSuHomeMsgModel, url, setUrl);
  TEXT(KTSuHomeMsgModel, time, setTime);
  TEXT(KTSuHomeMsgModel, pic, setPic);
  keepShownTexts(cls, {"post_title", "time"}, {"tag"});
}
