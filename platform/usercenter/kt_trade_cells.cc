// The account-trade rows and their scenes. See kt_trade_cells.h.
#include "platform/usercenter/kt_trade_cells.h"

#include "kit/foundation/format.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"
#include "platform/usercenter/kt_su_box_link.h"
#include "ui/images/kt_web_image_view.h"

namespace {

constexpr double W = 300, HeadH = 82, RowH = 125;
// The market button in the head row.
const kit::Rect kMarketFrame{20, 16, 260, 50};
// An offer: the picture on the left, the texts beside it, the marks in a
// strip under the texts, time and price along the bottom.
const kit::Rect kIconFrame{10, 10, 80, 80};
constexpr double TextX = 100, TextW = 190;
const kit::Rect kMarksFrame{90, 76, 60, 16};
constexpr double MarkSide = 16, AndroidX = 10;
const kit::Rect kTimeFrame{10, 100, 180, 18};
const kit::Rect kMoneyFrame{190, 98, 100, 20};
constexpr unsigned Accent = 0xFF7F00;

kit::Ref<kit::Label> label(const kit::Rect& frame, double size, unsigned colour) {
  auto made = kit::Label::make(frame);
  made->setFont(kit::Font::systemFont(size));
  made->setTextColor(kit::Color::hex(colour));
  return made;
}


}  // namespace

kit::Ref<KTSuTradeHeadCell> KTSuTradeHeadCell::make() {
  auto cell = kit::make<KTSuTradeHeadCell>(kit::Rect{0, 0, W, HeadH});
  cell->buildScene();
  return cell;
}

void KTSuTradeHeadCell::registerNib() {
  kit::SceneRegistry::shared().registerNib(SceneName, [](const kit::Id&) { return std::vector<kit::Id>{make()}; });
}

void KTSuTradeHeadCell::buildScene() {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  auto button = kit::Button::make(kMarketFrame);
  button->setTitle(MarketTitle);
  button->setTitleColor(kit::Color::whiteColor());
  button->setBackgroundColor(kit::Color::hex(Accent));
  button->layer()->setCornerRadius(8);
  kit::Weak<KTSuTradeHeadCell> weak = weakSelf<KTSuTradeHeadCell>();
  button->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->btnClick();
  });
  contentView()->addSubview(button);
  button_ = button;
}

void KTSuTradeHeadCell::btnClick() {
  KTSuBoxLink::open(kit::format("%@%@", kit::str(KTSuBoxLink::Scheme), kit::str(MarketLink))->utf8());
}

kit::Ref<KTTradeCell> KTTradeCell::make() {
  auto cell = kit::make<KTTradeCell>(kit::Rect{0, 0, W, RowH});
  cell->buildScene();
  return cell;
}

void KTTradeCell::registerNib() {
  kit::SceneRegistry::shared().registerNib(SceneName, [](const kit::Id&) { return std::vector<kit::Id>{make()}; });
}

void KTTradeCell::buildScene() {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  auto& content = contentView();
  auto icon = kit::ImageView::make(kIconFrame);
  icon->setBackgroundColor(kit::Color::hex(0xF0F0F0));
  icon->layer()->setCornerRadius(6);
  icon->setClipsToBounds(true);
  content->addSubview(icon);
  auto name = label({TextX, 10, TextW, 20}, 15, 0x333333);
  auto title = label({TextX, 32, TextW, 20}, 13, 0x666666);
  auto server = label({TextX, 54, TextW, 18}, 12, 0x999999);
  auto time = label(kTimeFrame, 12, 0x999999);
  auto money = label(kMoneyFrame, 16, 0xEF5651);
  money->setTextAlignment(kit::TextAlignment::Right);
  for (const auto& l : {name, title, server, time, money}) content->addSubview(l);

  auto marks = kit::View::make(kMarksFrame);
  content->addSubview(marks);
  auto android = kit::ImageView::make(kit::Rect{AndroidX, 0, MarkSide, MarkSide});
  android->setBackgroundColor(kit::Color::hex(0x8BC34A));
  android->layer()->setCornerRadius(3);
  marks->addSubview(android);
  auto ios = kit::ImageView::make(kit::Rect{IOSBeside, 0, MarkSide, MarkSide});
  ios->setBackgroundColor(kit::Color::hex(0x888888));
  ios->layer()->setCornerRadius(3);
  ios->setTranslatesAutoresizingMaskIntoConstraints(false);
  marks->addSubview(ios);
  using A = kit::LayoutAttribute;
  auto left = kit::LayoutConstraint::make(ios, A::Left, kit::LayoutRelation::Equal, marks, A::Left, 1, IOSBeside);
  marks->addConstraints(
      {left, kit::LayoutConstraint::make(ios, A::Top, kit::LayoutRelation::Equal, marks, A::Top, 1, 0),
       kit::LayoutConstraint::make(ios, A::Width, kit::LayoutRelation::Equal, MarkSide),
       kit::LayoutConstraint::make(ios, A::Height, kit::LayoutRelation::Equal, MarkSide)});

  gameIcon_ = icon;
  nameL_ = name;
  titleL_ = title;
  serverL_ = server;
  timeL_ = time;
  moneyL_ = money;
  anIcon_ = android;
  iosIcon_ = ios;
  iosIconLeft_ = left;
}

void KTTradeCell::setModel(const kit::Ref<KTSuTradeModel>& model) {
  model_ = model;
  if (!model) return;
  if (auto icon = gameIcon(); icon && model->pic1() && model->pic1()->length() > 0) {
    KT_setImageWithURL(*icon, model->pic1(), nullptr);
  }
  if (auto l = timeL()) l->setText("上架时间：" + kit::shownText(model->time()));
  if (auto l = moneyL()) l->setText("¥" + kit::shownText(model->prices()));
  if (auto l = nameL()) l->setText(kit::shownText(model->gamename()));
  if (auto l = serverL()) l->setText("区服：" + kit::shownText(model->server()));
  if (auto l = titleL()) l->setText(kit::shownText(model->title()));
  auto android = anIcon();
  auto ios = iosIcon();
  if (!android || !ios) return;
  switch (model->devicetype() ? model->devicetype()->integerValue() : 0) {
    case 2:
      android->setHidden(false);
      ios->setHidden(false);
      break;
    case 1:
      android->setHidden(true);
      ios->setHidden(false);
      break;
    case 0:
      android->setHidden(false);
      ios->setHidden(true);
      break;
    default:
      break;
  }
  setNeedsLayout();
}

void KTTradeCell::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  auto left = iosIconLeft();
  if (!left) return;
  const bool alone = model_ && model_->devicetype() && model_->devicetype()->isEqualToString("1");
  left->setConstant(alone ? IOSAlone : IOSBeside);
}
