// What the store's two pack tables share (the time store's pack table and
// the level store's table): a table view controller whose view is a clear
// table without separators, scroll indicator or bounce, one section per
// record with one row, an empty 0.1-point header and 5-point footer per
// section, and a row object of its own for each index path: rows are found
// under "cell%@" of the index path's description, so a row that scrolls out
// of sight comes back to the same position. Subclasses make and fill the
// rows and give their height.
#pragma once

#include <string>

#include "kit/ui/table_view.h"
#include "kit/ui/view_controller.h"

class NUVAStoreTableController : public kit::ViewController,
                                 public kit::TableViewDataSource,
                                 public kit::TableViewDelegate {
 public:
  static constexpr double kHeaderHeight = 0.1, kFooterHeight = 5, kEstimatedRowHeight = 45;

  // The controller's view.
  kit::Ref<kit::TableView> tableView();
  // The reuse identifier of an index path's row: "cell{length = 2, path = s - r}".
  static std::string rowKey(const kit::IndexPath& indexPath);

  void loadView() override;
  void viewDidLoad() override;

  long numberOfSectionsInTableView(kit::TableView&) override { return recordCount(); }
  long numberOfRowsInSection(kit::TableView&, long) override { return 1; }
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(kit::TableView&, const kit::IndexPath&) override { return rowHeight(); }
  std::optional<double> heightForHeaderInSection(kit::TableView&, long) override { return kHeaderHeight; }
  std::optional<double> heightForFooterInSection(kit::TableView&, long) override { return kFooterHeight; }
  kit::Ref<kit::View> viewForHeaderInSection(kit::TableView&, long) override { return kit::View::make(); }
  kit::Ref<kit::View> viewForFooterInSection(kit::TableView&, long) override { return kit::View::make(); }

 protected:
  virtual long recordCount() const = 0;
  virtual double rowHeight() const = 0;
  // A new row for the reuse identifier.
  virtual kit::Ref<kit::TableViewCell> makeRow(const std::string& key) = 0;
  // Gives the row what it shows for its section.
  virtual void configureRow(kit::TableViewCell& row, const kit::IndexPath& indexPath, const std::string& key) = 0;
};
