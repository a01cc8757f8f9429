// The store's pack tables. See nuva_store_table_controller.h.

#include "channel/store/nuva_store_table_controller.h"

kit::Ref<kit::TableView> NUVAStoreTableController::tableView() { return kit::as<kit::TableView>(view()); }

std::string NUVAStoreTableController::rowKey(const kit::IndexPath& indexPath) {
  return "cell" + indexPath.description();
}

void NUVAStoreTableController::loadView() { setView(kit::TableView::make(kit::Rect{}, kit::TableViewStyle::Plain)); }

void NUVAStoreTableController::viewDidLoad() {
  auto table = tableView();
  table->setBackgroundColor(kit::Color::clearColor());
  table->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
  table->setShowsVerticalScrollIndicator(false);
  table->setBounces(false);
  table->setContentInsetAdjustmentBehavior(kit::ScrollViewContentInsetAdjustmentBehavior::Never);
  table->setEstimatedRowHeight(kEstimatedRowHeight);
  table->setDataSource(weakSelf<NUVAStoreTableController>());
  table->setDelegate(weakSelf<NUVAStoreTableController>());
}

kit::Ref<kit::TableViewCell> NUVAStoreTableController::cellForRowAtIndexPath(kit::TableView& table,
                                                                           const kit::IndexPath& indexPath) {
  const std::string key = rowKey(indexPath);
  kit::Ref<kit::TableViewCell> row = table.dequeueReusableCellWithIdentifier(key);
  if (!row) row = makeRow(key);
  configureRow(*row, indexPath, key);
  return row;
}
