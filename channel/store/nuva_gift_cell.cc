// The time store's pack rows and their orders. See nuva_gift_cell.h.

#include "channel/store/nuva_gift_cell.h"

#include <algorithm>

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_store_overlays.h"
#include "channel/store/nuva_store_order.h"
#include "kit/foundation/values.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"
#include "ui/widgets/nuva_progress_hud.h"

// ---- Measures ---------------------------------------------------------------------------

const NUVAGiftRowLayout& NUVAGiftRowLayout::landscape() {
  static const NUVAGiftRowLayout layout{
      .nameFontSize = 12,
      .nameAlignment = kit::TextAlignment::Left,
      .nameFrame = [](double, double, double h0) { return kit::Rect{10, h0 / 2 - 5, 80, 30}; },
      .nameFrameFixedPack = {5, 10, 80, 30},
      .nameFrameOtherPack = {5, 2, 80, 30},
      .badge = {22, 32, 40, 12},
      .arrowFrame = [](double, double, double h0) { return kit::Rect{90, h0 / 2 - 6, 8, 15}; },
      .buyFrame = [](double SW, double SH, double) { return kit::Rect{SW - 200, ((SH - 170) / 4 - 25) / 2, 70, 25}; },
      .stripFrame = [](double SW, double SH, double) { return kit::Rect{98, 2, SW - 180 - 98, (SH - 170) / 4 - 4}; },
      .gap = 30,
      .slotOffset = 60,
      .plusGap = 20,
      .plusSide = 20,
  };
  return layout;
}

const NUVAGiftRowLayout& NUVAGiftRowLayout::portrait() {
  static const NUVAGiftRowLayout layout{
      .nameFontSize = 10,
      .nameAlignment = kit::TextAlignment::Center,
      .nameFrame = [](double, double, double) { return kit::Rect{0, 2, 60, 30}; },
      .nameFrameFixedPack = {0, 10, 60, 30},
      .nameFrameOtherPack = {0, 5, 60, 30},
      .badge = {5, 35, 40, 12},
      .arrowFrame = [](double, double, double h0) { return kit::Rect{60, h0 / 2 - 6, 8, 15}; },
      // Half the content width at creation (320), less 70.
      .buyFrame = [](double, double, double) { return kit::Rect{90, 50, 70, 25}; },
      .stripFrame = [](double SW, double, double) { return kit::Rect{68, 8, SW - 50 - 68, 35 * SW / 375}; },
      .gap = 5,
      .slotOffset = 25,
      .plusGap = 5,
      .plusSide = 15,
  };
  return layout;
}

// ---- Building ---------------------------------------------------------------------------

NUVAGiftRow::NUVAGiftRow(const NUVAGiftRowLayout& layout, kit::TableViewCellStyle style,
                         std::string reuseIdentifier)
    : kit::TableViewCell(style, std::move(reuseIdentifier)), layout_(layout) {}

kit::Ref<NUVAGiftCell> NUVAGiftCell::make(kit::TableViewCellStyle style, std::string reuseIdentifier) {
  auto row = kit::make<NUVAGiftCell>(style, std::move(reuseIdentifier));
  row->setupUI();
  return row;
}

kit::Ref<NUVAVerticalGiftCell> NUVAVerticalGiftCell::make(kit::TableViewCellStyle style,
                                                          std::string reuseIdentifier) {
  auto row = kit::make<NUVAVerticalGiftCell>(style, std::move(reuseIdentifier));
  row->setupUI();
  return row;
}

void NUVAGiftRow::setupUI() {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  const kit::Rect screen = kit::Screen::main()->bounds();
  const double SW = screen.width(), SH = screen.height(), h0 = kInitialHeight;
  const auto& content = contentView();

  nameLabel_ = kit::Label::make(layout_.nameFrame(SW, SH, h0));
  nameLabel_->setFont(kit::Font::boldSystemFont(layout_.nameFontSize));
  nameLabel_->setTextColor(kit::Color::blackColor());
  nameLabel_->setNumberOfLines(0);
  nameLabel_->setTextAlignment(layout_.nameAlignment);
  content->addSubview(nameLabel_);

  fixImage_ = kit::ImageView::make(layout_.badge);
  fixImage_->setImage(NUVALightImage("fixbg"));
  auto badgeText = kit::Label::make({0, 0, layout_.badge.width(), layout_.badge.height()});
  badgeText->setText("私人定制");
  badgeText->setFont(kit::Font::boldSystemFont(8));
  badgeText->setTextColor(kit::Color::whiteColor());
  badgeText->setTextAlignment(kit::TextAlignment::Center);
  fixImage_->addSubview(badgeText);
  content->addSubview(fixImage_);

  arrow_ = kit::ImageView::make(layout_.arrowFrame(SW, SH, h0));
  arrow_->setImage(NUVALightImage("arrow"));
  content->addSubview(arrow_);

  buyBtn_ = kit::Button::make(layout_.buyFrame(SW, SH, h0));
  kit::Weak<NUVAGiftRow> weak = weakSelf<NUVAGiftRow>();
  buyBtn_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->toCharge();
  });
  content->addSubview(buyBtn_);

  fixView_ = kit::View::make(layout_.stripFrame(SW, SH, h0));
  content->addSubview(fixView_);
}

const kit::Ref<kit::MutableArray>& NUVAGiftRow::giftModelArray() {
  if (!giftModelArray_) giftModelArray_ = kit::MutableArray::make();
  return giftModelArray_;
}

void NUVAGiftRow::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  KIT_CHECK_MAIN_THREAD();
  userInfo_ = userInfo ? kit::str(userInfo->utf8()) : nullptr;
}

// ---- Configuring ------------------------------------------------------------------------

void NUVAGiftRow::setModel(kit::Ref<NUVATimeStoreModel> model) {
  KIT_CHECK_MAIN_THREAD();
  model_ = std::move(model);
  for (const auto& tile : tiles_) tile->removeFromSuperview();
  tiles_.clear();
  if (plusImage_) plusImage_->removeFromSuperview();
  plusImage_ = nullptr;
  showPlus_ = false;
  // What a fixed pack of an earlier configuration put here never goes into
  // this pack's remark.
  fixDataArray_->removeAllObjects();
  if (!model_) return;

  const bool bought = model_->isBought();
  buyBtn_->setBackgroundImage(NUVALightImage(bought ? "giftget" : "tobuy"), kit::ControlStateNormal);
  buyBtn_->setUserInteractionEnabled(!bought);

  nameLabel_->setText(kit::shownText(model_->gift_name()));
  const bool fixedPack = model_->isFixedPack();
  fixImage_->setHidden(fixedPack);
  nameLabel_->setFrame(fixedPack ? layout_.nameFrameFixedPack : layout_.nameFrameOtherPack);

  giftModelArray()->removeAllObjects();
  const auto optional = model_->optionalItems();
  for (const kit::Id& item : *optional) giftModelArray()->addObject(NUVAFixedGiftModel::withValues(item));

  if (model_->isCustomPack()) {
    showCustomPack();
  } else if (fixedPack && !showFixedPack()) {
    // A fixed pack without items: an open chooser and the choices stay.
    return;
  }

  if (alert_) alert_->dissmiss();
  chooseModelArray_->removeAllObjects();
}

kit::Ref<NUVAFixBtn> NUVAGiftRow::addTile(double x, bool slot) {
  const double H = fixView_->frame().height();
  auto tile = NUVAFixBtn::init({x, 0, H, H});
  if (slot) {
    kit::Weak<NUVAGiftRow> weak = weakSelf<NUVAGiftRow>();
    kit::Weak<NUVAFixBtn> weakTile = tile;
    tile->addAction(kit::ControlEvent::TouchUpInside, [weak, weakTile] {
      auto self = weak.lock();
      auto tapped = weakTile.lock();
      if (self && tapped) self->clickFixBtn(*tapped);
    });
  }
  fixView_->addSubview(tile);
  tiles_.push_back(tile);
  return tile;
}

void NUVAGiftRow::showCustomPack() {
  const double H = fixView_->frame().height(), G = layout_.gap;
  auto fixed = model_->fixedItems();
  const long fixedCount = static_cast<long>(fixed->count());
  const long slots = std::clamp(model_->optionalCount(), 0L, kMaxSlots);
  showPlus_ = fixedCount > 0;
  for (long i = 0; i < fixedCount + slots; ++i) {
    const bool fixedTile = showPlus_ && i < fixedCount;
    const double x = (H + G) * static_cast<double>(i) + (fixedTile ? G : layout_.slotOffset);
    auto tile = addTile(x, !fixedTile);
    tile->setModel(i < fixedCount ? NUVAFixedGiftModel::withValues(fixed->objectAtIndex(static_cast<size_t>(i)))
                                  : NUVAFixedGiftModel::make());
  }
  if (showPlus_) {
    const kit::Rect last = tiles_[static_cast<size_t>(fixedCount - 1)]->frame();
    plusImage_ = kit::ImageView::make(
        {last.maxX() + layout_.plusGap, (H - 20) / 2, layout_.plusSide, layout_.plusSide});
    plusImage_->setImage(NUVALightImage("plusimg"));
    fixView_->addSubview(plusImage_);
  }
}

bool NUVAGiftRow::showFixedPack() {
  const double H = fixView_->frame().height(), G = layout_.gap;
  std::vector<kit::Id> items;
  const auto fixed = model_->fixedItems(), optional = model_->optionalItems();
  for (const kit::Id& item : *fixed) items.push_back(item);
  const long included = model_->optionalCount();
  long position = 0;
  for (const kit::Id& item : *optional) {
    if (position++ >= included) break;
    items.push_back(item);
  }
  for (size_t i = 0; i < items.size(); ++i) {
    auto tile = addTile((H + G) * static_cast<double>(i) + G, false);
    auto model = NUVAFixedGiftModel::withValues(items[i]);
    tile->setModel(model);
    fixDataArray_->addObject(model);
  }
  return !items.empty();
}

// ---- Choosing ---------------------------------------------------------------------------

namespace {

void removeIdentical(kit::MutableArray& list, const kit::Id& item) {
  size_t index = list.indexOfObjectIdenticalTo(item);
  if (index != kit::NotFound) list.removeObjectAtIndex(index);
}

}  // namespace

void NUVAGiftRow::clickFixBtn(NUVAFixBtn& slot) {
  KIT_CHECK_MAIN_THREAD();
  alert_ = NUVAOptionalGiftView::init();
  alert_->setGiftArray(kit::as<kit::MutableArray>(giftModelArray()->mutableCopy()));
  kit::Weak<NUVAGiftRow> weak = weakSelf<NUVAGiftRow>();
  kit::Weak<NUVAFixBtn> weakSlot = slot.selfAs<NUVAFixBtn>();
  alert_->setChooseBlock([weak, weakSlot](const kit::Ref<NUVAFixedGiftModel>& item) {
    auto self = weak.lock();
    auto slot = weakSlot.lock();
    if (self && slot) self->choose(item, *slot);
  });
  alert_->show();
}

void NUVAGiftRow::choose(const kit::Ref<NUVAFixedGiftModel>& item, NUVAFixBtn& slot) {
  KIT_CHECK_MAIN_THREAD();
  if (!item) return;
  // A filled slot holds one of the chosen items (told by identity, so an
  // item the server sent without an id is given back all the same).
  kit::Ref<NUVAFixedGiftModel> previous = slot.model();
  const bool filled = previous && chooseModelArray_->indexOfObjectIdenticalTo(previous) != kit::NotFound;
  if (filled) removeIdentical(*chooseModelArray_, previous);
  chooseModelArray_->addObject(item);
  removeIdentical(*giftModelArray(), item);
  if (filled) giftModelArray()->addObject(previous);
  slot.setModel(item);
}

// ---- Buying -----------------------------------------------------------------------------

kit::Ref<kit::String> NUVAGiftRow::orderRemark() {
  if (!model_) return nullptr;
  std::vector<kit::Id> itemIds;
  if (model_->isCustomPack()) {
    if (static_cast<long>(chooseModelArray_->count()) != model_->optionalCount()) return nullptr;
    const auto fixed = model_->fixedItems();
    for (const kit::Id& item : *fixed) itemIds.push_back(item["mid"]);
    for (const kit::Id& item : *chooseModelArray_) itemIds.push_back(kit::as<NUVAFixedGiftModel>(item)->mid());
  } else {
    for (const kit::Id& item : *fixDataArray_) itemIds.push_back(kit::as<NUVAFixedGiftModel>(item)->mid());
  }
  return NUVAStoreOrder::remarkOf(model_->good_id(), itemIds);
}

void NUVAGiftRow::toCharge() {
  KIT_CHECK_MAIN_THREAD();
  if (!model_) return;
  auto remark = orderRemark();
  if (!remark) {
    NUVAProgressHUD::showErrorWithStatus(kit::str("请选择定制礼包"));
    return;
  }
  auto form = NUVAStoreOrder::giftOrderForm(NUVAStoreOrder::roleOf(userInfo_), model_->good_id(), remark,
                                            NUVADataFormat::NUVAMD5GetRandomStr());
  NUVAStoreOrder::place("charge/order", form, {model_->gift_name(), model_->good_id(), model_->gift_money()},
                        NUVAGIFTPAYNotification);
}
