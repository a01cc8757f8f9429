// The coupon card and its interface scene. See kt_coupons_cell.h.
#include "platform/account/kt_coupons_cell.h"

#include <cstdlib>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"
#include "ui/widgets/ui_button_helpers.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

// The card inside the cell: margins, height, widest card. The card leaves
// 40 points of the row's width (10 on the left, and the 20 by which the
// list is wider than its panel on a phone, plus 10 on the right).
constexpr double Margin = 10, CardH = 90, CardMaxW = 460, RowReserve = 40;
// The left column: value and least amount.
constexpr double ValueW = 100;
const kit::Rect kCouponsFrame{0, 18, ValueW, 32};
const kit::Rect kMoneyFrame{0, 54, ValueW, 18};
// The middle: tag, name, validity (their widths follow the card).
constexpr double MiddleX = 110, TagW = 44, TagH = 18, TagY = 12;
constexpr double NameY = 10, NameH = 22, TimeY = 58, TimeH = 16;
// The use button on the right.
constexpr double ButtonW = 62, ButtonH = 40, ButtonRight = 10;
constexpr double CornerRadius = 5;

kit::Ref<kit::Color> rgb(int r, int g, int b) { return kit::Color::rgba(r / 255.0, g / 255.0, b / 255.0, 1); }

kit::Ref<kit::Label> label(double size, bool bold, const kit::Ref<kit::Color>& colour,
                           kit::TextAlignment alignment = kit::TextAlignment::Left) {
  auto made = kit::Label::make();
  made->setFont(bold ? kit::Font::boldSystemFont(size) : kit::Font::systemFont(size));
  made->setTextColor(colour);
  made->setTextAlignment(alignment);
  return made;
}

}  // namespace

void KTCouponsCell::registerNib() {
  kit::SceneRegistry::shared().registerNib(KTCouponsCell::kSceneName, [](const kit::Id&) {
    return std::vector<kit::Id>{KTCouponsCell::make()};
  });
}

kit::Ref<KTCouponsCell> KTCouponsCell::make() {
  auto cell = kit::make<KTCouponsCell>(kit::Rect{0, 0, 375, CellH});
  cell->buildScene();
  return cell;
}

void KTCouponsCell::buildScene() {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  auto card = kit::View::make();
  card->setBackgroundColor(kit::Color::whiteColor());
  contentView()->addSubview(card);
  bgView_ = card;

  auto coupons = label(24, true, rgb(255, 87, 51), kit::TextAlignment::Center);
  coupons->setFrame(kCouponsFrame);
  card->addSubview(coupons);
  couponsL_ = coupons;

  auto money = label(12, false, rgb(153, 153, 153), kit::TextAlignment::Center);
  money->setFrame(kMoneyFrame);
  card->addSubview(money);
  moneyL_ = money;

  auto show = label(11, false, kit::Color::whiteColor(), kit::TextAlignment::Center);
  show->setFrame(kit::Rect{MiddleX, TagY, TagW, TagH});
  show->setBackgroundColor(rgb(255, 138, 0));
  UIViewExtension::setLayerCornerRadius(*show, 3);
  card->addSubview(show);
  showL_ = show;

  auto name = label(15, true, rgb(51, 51, 51));
  card->addSubview(name);
  nameL_ = name;

  auto time = label(12, false, rgb(153, 153, 153));
  card->addSubview(time);
  timeL_ = time;

  auto use = kit::Button::make();
  use->setTitle(kUseTitle);
  use->titleLabel()->setFont(kit::Font::systemFont(13));
  use->setTitleColor(kit::Color::whiteColor());
  kit::Weak<KTCouponsCell> weak = weakSelf<KTCouponsCell>();
  use->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->btnClick();
  });
  card->addSubview(use);
  btn_ = use;
}

void KTCouponsCell::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  auto card = bgView();
  if (!card) return;
  const double cardW = std::max(0.0, std::min(bounds().width() - RowReserve, CardMaxW));
  card->setFrame(kit::Rect{Margin, (CellH - CardH) / 2, cardW, CardH});
  const double middleW = std::max(0.0, cardW - MiddleX - ButtonW - ButtonRight - Margin);
  nameL()->setFrame(kit::Rect{MiddleX + TagW + 6, NameY, std::max(0.0, middleW - TagW - 6), NameH});
  timeL()->setFrame(kit::Rect{MiddleX, TimeY, middleW, TimeH});
  btn()->setFrame(kit::Rect{cardW - ButtonRight - ButtonW, (CardH - ButtonH) / 2, ButtonW, ButtonH});
}

void KTCouponsCell::awakeFromNib() {
  kit::TableViewCell::awakeFromNib();
  setBackgroundColor(kit::Color::clearColor());
  contentView()->setBackgroundColor(kit::Color::clearColor());
  auto use = btn();
  use->titleLabel()->setLineBreakMode(kit::LineBreakMode::ByWordWrapping);
  use->titleLabel()->setNumberOfLines(0);
  UIViewExtension::setLayerCornerRadius(*bgView(), CornerRadius);
  UIViewExtension::setLayerCornerRadius(*use, CornerRadius);
  UIButtonFillColor::setBackgroundColor(*use, rgb(48, 146, 246), kit::ControlStateNormal);
  UIButtonFillColor::setBackgroundColor(*use, rgb(170, 170, 170), kit::ControlStateDisabled);
}

void KTCouponsCell::setModel(const kit::Ref<KTCouponsModel>& model) {
  KIT_CHECK_MAIN_THREAD();
  model_ = model;
  if (!model) return;
  btn()->setEnabled(kit::shownText(model->av()) == "1");
  nameL()->setText(kit::shownText(model->coupon_name()));
  // A value the server left out, or sent as nothing a player can see
  // (blanks included), leaves its line empty.
  auto shown = [](const kit::Id& value, const std::string& before, const std::string& after) {
    const std::string text = kit::shownText(value);
    return kit::hasVisibleCharacter(text) ? before + text + after : std::string();
  };
  couponsL()->setText(shown(model->coupon_money(), "", "元"));
  moneyL()->setText(shown(model->pay_money(), "满", "元可用"));
  timeL()->setText(shown(model->av_time(), "有效期:", ""));
  btn()->layer()->setBackgroundColor(rgb(40, 144, 249));
  const long gid = std::strtol(kit::shownText(model->gid()).c_str(), nullptr, 10);
  showL()->setText(gid == 0 ? "通用券" : "专用券");
}

void KTCouponsCell::btnClick() {
  KIT_CHECK_MAIN_THREAD();
  if (!couponsBlock_) return;
  CouponsBlock block = couponsBlock_;
  block(model_);
}
