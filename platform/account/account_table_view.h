// AccountTableView: the drop-down list of saved accounts under the login
// card's name field. It is its own data source and shows at most the three
// newest saved accounts (KTSavedAccounts, "KT_accounts"), newest first, by
// user name. Made, it unfolds downward from its top edge (scale 0 to 1 in
// 0.3 s). Each entry is [user name, password]. Main thread.
//
//   auto list = AccountTableView::make({18, 116, 264, 126});
//   list->setDelegate(card);   // the card fills the fields from a chosen row
#pragma once

#include "kit/foundation/array.h"
#include "kit/ui/table_view.h"

class AccountTableView : public kit::TableView, public kit::TableViewDataSource {
 public:
  // A list framed at `frame`, filled and unfolding.
  static kit::Ref<AccountTableView> make(const kit::Rect& frame);
  explicit AccountTableView(const kit::Rect& frame) : kit::TableView(frame) {}

  // The shown entries, newest first (made empty on first use).
  kit::Ref<kit::MutableArray> dataArray();
  // Also sets the row height.
  void setFrame(const kit::Rect& frame) override;

  // The table's own lookups stay visible beside the data source's.
  using kit::TableView::cellForRowAtIndexPath;
  using kit::TableView::numberOfRowsInSection;
  long numberOfRowsInSection(kit::TableView& table, long section) override;
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;

  static constexpr size_t MaxShown = 3;
  static constexpr double RowHeight = 42;
  static constexpr double UnfoldDuration = 0.3;
  static constexpr const char* CellIdentifier = "accountCell";

 private:
  void unfold();
  kit::Ref<kit::MutableArray> dataArray_;
};
