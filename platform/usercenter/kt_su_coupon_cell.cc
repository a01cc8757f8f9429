// The coupon page's row and its scene. See kt_su_coupon_cell.h.
#include "platform/usercenter/kt_su_coupon_cell.h"

#include "kit/foundation/format.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"
#include "platform/base/ns_string_url_encode.h"

namespace {

constexpr double W = 300, RowH = 93;
// A card with the value on the left, the texts beside it, the stamp on the
// right.
const kit::Rect kCardFrame{10, 6, 280, 81};
const kit::Rect kCouponFrame{0, 20, 80, 40};
constexpr double TextX = 90, TextW = 130;
const kit::Rect kStampFrame{220, 10, 60, 60};

kit::Ref<kit::Label> label(const kit::Rect& frame, double size, unsigned colour) {
  auto made = kit::Label::make(frame);
  made->setFont(kit::Font::systemFont(size));
  made->setTextColor(kit::Color::hex(colour));
  return made;
}

}  // namespace

kit::Ref<KTSuCouponCell> KTSuCouponCell::make() {
  auto cell = kit::make<KTSuCouponCell>(kit::Rect{0, 0, W, RowH});
  cell->buildScene();
  return cell;
}

void KTSuCouponCell::registerNib() {
  kit::SceneRegistry::shared().registerNib(SceneName, [](const kit::Id&) { return std::vector<kit::Id>{make()}; });
}

void KTSuCouponCell::buildScene() {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  setBackgroundColor(kit::Color::hex(0xF5F5F5));
  auto card = kit::View::make(kCardFrame);
  card->setBackgroundColor(kit::Color::whiteColor());
  card->layer()->setCornerRadius(6);
  contentView()->addSubview(card);
  auto coupon = label(kCouponFrame, 24, 0xFF7F00);
  coupon->setTextAlignment(kit::TextAlignment::Center);
  auto name = label({TextX, 10, TextW, 20}, 15, 0x333333);
  auto time = label({TextX, 36, TextW, 16}, 11, 0x999999);
  auto money = label({TextX, 56, TextW, 16}, 11, 0x999999);
  auto stamp = kit::ImageView::make(kStampFrame);
  for (const kit::Ref<kit::View>& v : std::initializer_list<kit::Ref<kit::View>>{coupon, name, time, money, stamp}) {
    card->addSubview(v);
  }
  couponL_ = coupon;
  nameL_ = name;
  timeL_ = time;
  moneyL_ = money;
  stateImageView_ = stamp;
}

std::string KTSuCouponCell::stampName(const KTSuCouponModel& model) {
  if (model.status() && model.status()->isEqualToString("1")) return EndedStamp;
  return kit::format("KT_suCouponState_%@.png", model.use())->utf8();
}

void KTSuCouponCell::setModel(const kit::Ref<KTSuCouponModel>& model) {
  model_ = model;
  if (!model) return;
  if (auto l = nameL()) l->setText(kit::shownText(model->gamename()));
  if (auto l = timeL()) l->setText("· 有效期：" + kit::shownText(model->av_time()));
  if (auto l = moneyL()) l->setText("· 满" + kit::shownText(model->pay_money()) + "元可用");
  if (auto l = couponL()) l->setText(kit::shownText(model->coupon_money()));
  if (auto stamp = stateImageView()) stamp->setImage(kit::imageNamed(NSStringURLEncode::getImagePath(stampName(*model))));
}
