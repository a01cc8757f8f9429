// The level store's rows and their orders. See nuva_level_cell.h.

#include "channel/store/nuva_level_cell.h"

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_store_overlays.h"
#include "channel/store/nuva_store_order.h"
#include "kit/foundation/format.h"
#include "kit/foundation/values.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"

const NUVALevelRowLayout& NUVALevelRowLayout::landscape() {
  static const NUVALevelRowLayout layout{
      .rowHeight = 60,
      .frameInset = 100,
      .nameLabel = {10, 5, 80, 30},
      .timeLabel = {10, 35, 80, 25},
      .arrowY = 22,
      .buyFrame = [](double cardWidth) { return kit::Rect{cardWidth - 85, 18, 80, 25}; },
      .stripY = 2,
      .stripHeight = 56,
      .stripRightMargin = 80,
      .gap = 30,
  };
  return layout;
}

const NUVALevelRowLayout& NUVALevelRowLayout::portrait() {
  static const NUVALevelRowLayout layout{
      .rowHeight = 80,
      .frameInset = 90,
      .nameLabel = {5, 5, 70, 30},
      .timeLabel = {5, 35, 70, 25},
      .arrowY = 22,
      .buyFrame = [](double cardWidth) { return kit::Rect{cardWidth * 0.5 - 35, 50, 70, 25}; },
      .stripY = 5,
      .stripHeight = 40,
      .stripRightMargin = 0,
      .gap = 5,
  };
  return layout;
}

kit::Ref<kit::Color> NUVALevelRow::onSaleColor() { return kit::Color::rgba(17 / 255.0, 204 / 255.0, 177 / 255.0, 1); }
kit::Ref<kit::Color> NUVALevelRow::boughtColor() { return kit::Color::rgba(181 / 255.0, 181 / 255.0, 181 / 255.0, 1); }

NUVALevelRow::NUVALevelRow(const NUVALevelRowLayout& layout, kit::TableViewCellStyle style,
                           std::string reuseIdentifier)
    : kit::TableViewCell(style, std::move(reuseIdentifier)), layout_(layout) {}

kit::Ref<NUVALevelCell> NUVALevelCell::make(kit::TableViewCellStyle style, std::string reuseIdentifier) {
  auto row = kit::make<NUVALevelCell>(style, std::move(reuseIdentifier));
  row->setupUI();
  return row;
}

kit::Ref<NUVAVerLevelCell> NUVAVerLevelCell::make(kit::TableViewCellStyle style, std::string reuseIdentifier) {
  auto row = kit::make<NUVAVerLevelCell>(style, std::move(reuseIdentifier));
  row->setupUI();
  return row;
}

namespace {

kit::Ref<kit::Label> rowLabel(const kit::Rect& frame) {
  auto label = kit::Label::make(frame);
  label->setFont(kit::Font::boldSystemFont(12));
  label->setNumberOfLines(0);
  label->setTextAlignment(kit::TextAlignment::Center);
  label->setTextColor(kit::Color::blackColor());
  return label;
}

}  // namespace

void NUVALevelRow::setupUI() {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  contentView()->setBackgroundColor(kit::Color::whiteColor());
  const double SW = kit::Screen::main()->bounds().width();
  const double H = layout_.rowHeight;

  outer_ = kit::View::make({0, 0, SW - layout_.frameInset, H});
  outer_->setBackgroundColor(kit::Color::rgba(241 / 255.0, 241 / 255.0, 241 / 255.0, 1));
  outer_->layer()->setCornerRadius(4);
  contentView()->addSubview(outer_);

  const double cardWidth = SW - layout_.frameInset - 2;
  card_ = kit::View::make({1, 1, cardWidth, H - 2});
  card_->setBackgroundColor(kit::Color::whiteColor());
  card_->layer()->setCornerRadius(4);
  contentView()->addSubview(card_);

  nameLabel_ = rowLabel(layout_.nameLabel);
  card_->addSubview(nameLabel_);
  timeLabel_ = rowLabel(layout_.timeLabel);
  card_->addSubview(timeLabel_);

  arrow_ = kit::ImageView::make({nameLabel_->frame().maxX(), layout_.arrowY, 8, 15});
  arrow_->setImage(NUVALightImage("arrow"));
  card_->addSubview(arrow_);

  buyBtn_ = kit::Button::make(layout_.buyFrame(cardWidth));
  buyBtn_->titleLabel()->setFont(kit::Font::systemFont(12));
  buyBtn_->setTitleColor(kit::Color::whiteColor(), kit::ControlStateNormal);
  buyBtn_->layer()->setCornerRadius(4);
  buyBtn_->setClipsToBounds(true);
  kit::Weak<NUVALevelRow> weak = weakSelf<NUVALevelRow>();
  buyBtn_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->toCharge();
  });
  card_->addSubview(buyBtn_);

  const double stripX = arrow_->frame().maxX();
  fixView_ = kit::View::make(
      {stripX, layout_.stripY, cardWidth - stripX - layout_.stripRightMargin, layout_.stripHeight});
  card_->addSubview(fixView_);
}

void NUVALevelRow::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  KIT_CHECK_MAIN_THREAD();
  userInfo_ = userInfo ? kit::str(userInfo->utf8()) : nullptr;
}

void NUVALevelRow::setModel(kit::Ref<NUVALevelModel> model) {
  KIT_CHECK_MAIN_THREAD();
  model_ = std::move(model);
  for (const auto& tile : tiles_) tile->removeFromSuperview();
  tiles_.clear();
  if (!model_) return;

  buyBtn_->setTitle(kit::shownText(model_->money()) + "元购买", kit::ControlStateNormal);
  const bool bought = model_->isBought();
  buyBtn_->setBackgroundColor(bought ? boughtColor() : onSaleColor());
  buyBtn_->setUserInteractionEnabled(!bought);
  nameLabel_->setText(kit::shownText(model_->good_name()));

  // Every tile is laid out, also those beyond the strip's width.
  const double h = fixView_->frame().height(), G = layout_.gap;
  size_t i = 0;
  const auto items = model_->itemList();
  for (const kit::Id& item : *items) {
    auto tile = NUVAFixBtn::init({G + static_cast<double>(i) * (h + G), 0, h, h});
    fixView_->addSubview(tile);
    tile->setModel(NUVAFixedGiftModel::withValues(item));
    tiles_.push_back(tile);
    ++i;
  }
}

void NUVALevelRow::toCharge() {
  KIT_CHECK_MAIN_THREAD();
  if (!model_) return;
  auto form = NUVAStoreOrder::levelOrderForm(NUVAStoreOrder::roleOf(userInfo_), model_->good_id(),
                                             NUVADataFormat::NUVAMD5GetRandomStr());
  NUVAStoreOrder::place("charge/levelorder", form, {model_->good_name(), model_->good_id(), model_->money()},
                        NUVALEVELPAYNotification);
}
