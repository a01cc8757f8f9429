// The GM and VIP category menus. See nuva_gift_menu.h.

#include "channel/store/nuva_gift_menu.h"

#include "kit/dispatch/queue.h"
#include "kit/foundation/format.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"

namespace {

kit::Ref<kit::Color> accent() { return kit::Color::hex(0x11CCB1); }

}  // namespace

// ---- The row ----------------------------------------------------------------------------

NUVAGiftMenuCell::NUVAGiftMenuCell(kit::TableViewCellStyle style, const std::string& reuseIdentifier)
    : kit::TableViewCell(style, reuseIdentifier) {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  setBackgroundColor(kit::Color::whiteColor());
  contentView()->setBackgroundColor(kit::Color::whiteColor());
  bgView_ = kit::ImageView::make();
  bgView_->setUserInteractionEnabled(true);
  bgView_->layer()->setCornerRadius(4);
  bgView_->layer()->setMasksToBounds(true);
  categoryTitleLabel_ = kit::Label::make();
  categoryTitleLabel_->setFont(kit::Font::systemFont(10));
  categoryTitleLabel_->setTextAlignment(kit::TextAlignment::Center);
  categoryTitleLabel_->setTextColor(kit::Color::hex(0x38506A));
}

void NUVAGiftMenuCell::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  contentView()->addSubview(bgView_);
  contentView()->addSubview(categoryTitleLabel_);
  const kit::Rect plate{0, 3, contentView()->bounds().width(), 32};
  bgView_->setFrame(plate);
  categoryTitleLabel_->setFrame(plate);
  showState(isSelected());
}

void NUVAGiftMenuCell::setSelected(bool selected, bool animated) {
  kit::TableViewCell::setSelected(selected, animated);
  showState(selected);
}

void NUVAGiftMenuCell::showState(bool selected) {
  bgView_->setBackgroundColor(selected ? accent() : kit::Color::hex(0xF1F1F1));
  categoryTitleLabel_->setTextColor(selected ? kit::Color::whiteColor() : accent());
}

// ---- The menu ---------------------------------------------------------------------------

kit::Ref<kit::TableView> NUVAGiftMenuController::tableView() { return kit::as<kit::TableView>(view()); }

void NUVAGiftMenuController::loadView() { setView(kit::TableView::make(kit::Rect{}, kit::TableViewStyle::Plain)); }

void NUVAGiftMenuController::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  auto table = tableView();
  table->setBackgroundColor(tab_.whiteMenu ? kit::Color::whiteColor() : kit::Color::clearColor());
  table->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
  table->setShowsVerticalScrollIndicator(false);
  table->setBounces(false);
  table->setContentInsetAdjustmentBehavior(kit::ScrollViewContentInsetAdjustmentBehavior::Never);
  table->setEstimatedRowHeight(kRowHeight);
  if (&tab_ == &NUVAGiftTab::gm()) {
    table->registerClass<NUVAGMMenuCell>(tab_.menuCell);
  } else {
    table->registerClass<NUVAVIPMenuCell>(tab_.menuCell);
  }
  table->setDataSource(weakSelf<NUVAGiftMenuController>());
  table->setDelegate(weakSelf<NUVAGiftMenuController>());
}

const kit::Ref<kit::MutableArray>& NUVAGiftMenuController::catelogyList() {
  if (!catelogyList_) catelogyList_ = kit::MutableArray::make();
  return catelogyList_;
}

void NUVAGiftMenuController::setMenuArray(const kit::Ref<kit::MutableArray>& categories) {
  KIT_CHECK_MAIN_THREAD();
  menuArray_ = categories;
  if (!categories || categories->count() == 0) return;
  catelogyList()->removeAllObjects();
  for (const kit::Id& category : *categories) {
    // A category without gifts gets an empty record: an empty title.
    auto gifts = kit::as<kit::Array>(category);
    catelogyList()->addObject(tab_.record(gifts && gifts->count() > 0 ? gifts->objectAtIndex(0) : nullptr));
  }
  kit::Queue::main().async([weak = weakSelf<NUVAGiftMenuController>()] {
    auto self = weak.lock();
    if (!self) return;
    auto table = self->tableView();
    table->reloadData();
    if (self->catelogyList()->count() > 0) {
      table->selectRowAtIndexPath(kit::IndexPath::forRow(0, 0), false, kit::TableViewScrollPosition::None);
    }
  });
}

long NUVAGiftMenuController::numberOfRowsInSection(kit::TableView&, long) {
  return static_cast<long>(catelogyList()->count());
}

kit::Ref<kit::TableViewCell> NUVAGiftMenuController::cellForRowAtIndexPath(kit::TableView& table,
                                                                           const kit::IndexPath& indexPath) {
  auto cell = kit::as<NUVAGiftMenuCell>(table.dequeueReusableCellWithIdentifier(tab_.menuCell, indexPath));
  auto record = kit::as<NUVAStoreRecord>(catelogyList()->objectAtIndex(static_cast<size_t>(indexPath.row)));
  // A category without a title shows none.
  cell->setFirstTitle(kit::shownText(record ? record->valueForKey(tab_.titleKey) : nullptr));
  return cell;
}

void NUVAGiftMenuController::didSelectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) {
  if (auto cell = table.cellForRowAtIndexPath(indexPath)) cell->setSelected(true);
  table.scrollToRowAtIndexPath(indexPath, kit::TableViewScrollPosition::Top, true);
  kit::NotificationCenter::defaultCenter()->postNotificationName(tab_.categoryNotification,
                                                                 kit::format("%ld", indexPath.row));
}

void NUVAGiftMenuController::didDeselectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) {
  table.reloadRowsAtIndexPaths({indexPath}, kit::TableViewRowAnimation::None);
}
