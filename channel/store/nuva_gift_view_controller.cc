// The time store's pack table. See nuva_gift_view_controller.h.

#include "channel/store/nuva_gift_view_controller.h"

#include "channel/store/nuva_gift_cell.h"
#include "kit/ui/screen.h"

void NUVAGiftTableController::setGiftArray(kit::Ref<kit::Array> packs) {
  KIT_CHECK_MAIN_THREAD();
  giftArray_ = packs ? std::move(packs) : kit::Array::make();
  giftModelArray()->removeAllObjects();
  for (const kit::Id& pack : *giftArray_) giftModelArray()->addObject(NUVATimeStoreModel::withValues(pack));
  tableView()->reloadData();
}

const kit::Ref<kit::MutableArray>& NUVAGiftTableController::giftModelArray() {
  if (!giftModelArray_) giftModelArray_ = kit::MutableArray::make();
  return giftModelArray_;
}

void NUVAGiftTableController::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  KIT_CHECK_MAIN_THREAD();
  userInfo_ = userInfo ? kit::str(userInfo->utf8()) : nullptr;
}

long NUVAGiftTableController::recordCount() const {
  return giftModelArray_ ? static_cast<long>(giftModelArray_->count()) : 0;
}

double NUVAGiftTableController::rowHeight() const {
  if (form_ == NUVAOverlayForm::Portrait) return kPortraitRowHeight;
  return (kit::Screen::main()->bounds().height() - 170) / 4;
}

kit::Ref<kit::TableViewCell> NUVAGiftTableController::makeRow(const std::string& key) {
  if (form_ == NUVAOverlayForm::Portrait) return NUVAVerticalGiftCell::make(kit::TableViewCellStyle::Default, key);
  return NUVAGiftCell::make(kit::TableViewCellStyle::Default, key);
}

void NUVAGiftTableController::configureRow(kit::TableViewCell& row, const kit::IndexPath& indexPath,
                                           const std::string&) {
  auto* pack = dynamic_cast<NUVAGiftRow*>(&row);
  if (!pack) return;
  pack->setUserInfo(userInfo_);
  auto record = giftModelArray()->objectAtIndexOrNil(static_cast<size_t>(indexPath.section));
  pack->setModel(kit::as<NUVATimeStoreModel>(record));
}
