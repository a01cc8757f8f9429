// The saved-account list. See account_table_view.h.
#include "platform/account/account_table_view.h"

#include "kit/foundation/values.h"
#include "platform/account/kt_saved_accounts.h"

kit::Ref<AccountTableView> AccountTableView::make(const kit::Rect& frame) {
  auto list = kit::make<AccountTableView>(kit::Rect{});
  list->setDataSource(std::static_pointer_cast<AccountTableView>(list));
  list->layer()->setAnchorPoint({0.5, 0});
  list->setFrame(frame);
  list->unfold();
  kit::Ref<kit::Array> saved = KTSavedAccounts::accounts();
  for (size_t i = saved->count(); i > 0 && list->dataArray()->count() < MaxShown; --i) {
    list->dataArray()->addObject(saved->objectAtIndex(i - 1));
  }
  list->reloadData();
  return list;
}

kit::Ref<kit::MutableArray> AccountTableView::dataArray() {
  if (!dataArray_) dataArray_ = kit::MutableArray::make();
  return dataArray_;
}

void AccountTableView::setFrame(const kit::Rect& frame) {
  kit::TableView::setFrame(frame);
  setRowHeight(RowHeight);
}

void AccountTableView::unfold() {
  setTransform(kit::AffineTransform::makeScale(0, 0));
  kit::Weak<AccountTableView> weak = std::static_pointer_cast<AccountTableView>(shared_from_this());
  kit::View::animate(UnfoldDuration, [weak] {
    if (auto self = weak.lock()) self->setTransform(kit::AffineTransform::makeScale(1, 1));
  });
}

long AccountTableView::numberOfRowsInSection(kit::TableView&, long) {
  return static_cast<long>(dataArray()->count());
}

kit::Ref<kit::TableViewCell> AccountTableView::cellForRowAtIndexPath(kit::TableView& table,
                                                                    const kit::IndexPath& indexPath) {
  auto cell = table.dequeueReusableCellWithIdentifier(CellIdentifier);
  if (!cell) cell = kit::TableViewCell::make(kit::TableViewCellStyle::Default, CellIdentifier);
  cell->setBackgroundColor(kit::Color::clearColor());
  auto entry = kit::as<kit::Array>(dataArray()->objectAtIndex(static_cast<size_t>(indexPath.row)));
  cell->textLabel()->setText(entry && entry->count() > 0 ? kit::nameText(entry->objectAtIndex(0)) : "");
  cell->textLabel()->setTextColor(kit::Color::blackColor());
  return cell;
}
