// kit::TableView: the platform's table view, a scroll view of rows in
// sections (plain or grouped), with section headers and footers, a table
// header and footer view, separators, and selection. Only the rows in
// sight exist as cells: the table asks its data source for a cell when a
// row comes into view and puts the cell in its reuse queue when the row
// leaves, so a long list costs a screenful of cells. Heights come from the
// delegate when it gives them, else from rowHeight and the section
// heights. The delegate is the scroll view's delegate too.
//
//   table->registerClass<AccountCell>("accountCell");
//   table->setDataSource(self);
//   table->setDelegate(self);
//   ... in cellForRowAtIndexPath:
//   auto cell = table.dequeueReusableCellWithIdentifier("accountCell", indexPath);
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kit/ui/index_path.h"
#include "kit/ui/reuse_pool.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/visible_cells.h"
#include "kit/ui/table_view_cell.h"

namespace kit {

class TableView;

enum class TableViewStyle { Plain = 0, Grouped };
enum class TableViewSeparatorStyle { None = 0, SingleLine, SingleLineEtched };
enum class TableViewScrollPosition { None = 0, Top, Middle, Bottom };
enum class TableViewRowAnimation { Fade = 0, Right, Left, Top, Bottom, None, Middle, Automatic = 100 };
// A height the table works out itself.
inline constexpr double TableViewAutomaticDimension = -1;

class TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;
  virtual long numberOfSectionsInTableView(TableView&) { return 1; }
  virtual long numberOfRowsInSection(TableView&, long section) = 0;
  virtual Ref<TableViewCell> cellForRowAtIndexPath(TableView&, const IndexPath& indexPath) = 0;
  virtual std::optional<std::string> titleForHeaderInSection(TableView&, long /*section*/) { return std::nullopt; }
  virtual std::optional<std::string> titleForFooterInSection(TableView&, long /*section*/) { return std::nullopt; }
};

// Optional methods answer nullopt (or nil) for "not implemented".
class TableViewDelegate : public ScrollViewDelegate {
 public:
  virtual std::optional<double> heightForRowAtIndexPath(TableView&, const IndexPath&) { return std::nullopt; }
  virtual std::optional<double> heightForHeaderInSection(TableView&, long) { return std::nullopt; }
  virtual std::optional<double> heightForFooterInSection(TableView&, long) { return std::nullopt; }
  virtual Ref<View> viewForHeaderInSection(TableView&, long) { return nullptr; }
  virtual Ref<View> viewForFooterInSection(TableView&, long) { return nullptr; }
  virtual void willDisplayCell(TableView&, TableViewCell&, const IndexPath&) {}
  virtual void didEndDisplayingCell(TableView&, TableViewCell&, const IndexPath&) {}
  virtual bool shouldHighlightRowAtIndexPath(TableView&, const IndexPath&) { return true; }
  virtual void didHighlightRowAtIndexPath(TableView&, const IndexPath&) {}
  virtual void didUnhighlightRowAtIndexPath(TableView&, const IndexPath&) {}
  // The row to select instead, or nullopt to select none.
  virtual std::optional<IndexPath> willSelectRowAtIndexPath(TableView&, const IndexPath& indexPath) {
    return indexPath;
  }
  virtual void didSelectRowAtIndexPath(TableView&, const IndexPath&) {}
  virtual std::optional<IndexPath> willDeselectRowAtIndexPath(TableView&, const IndexPath& indexPath) {
    return indexPath;
  }
  virtual void didDeselectRowAtIndexPath(TableView&, const IndexPath&) {}
};

class TableView : public ScrollView {
 public:
  using CellFactory = ReusePool<TableViewCell>::Factory;
  using HeaderFooterFactory = ReusePool<TableViewHeaderFooterView>::Factory;

  static Ref<TableView> make(const Rect& frame = {}, TableViewStyle style = TableViewStyle::Plain) {
    return kit::make<TableView>(frame, style);
  }
  explicit TableView(const Rect& frame = {}, TableViewStyle style = TableViewStyle::Plain);
  ~TableView() override;

  TableViewStyle style() const { return style_; }
  Ref<TableViewDataSource> dataSource() const { return dataSource_.lock(); }
  void setDataSource(Weak<TableViewDataSource> dataSource);
  Ref<TableViewDelegate> tableDelegate() const { return tableDelegate_.lock(); }
  // Also the scroll view's delegate.
  void setDelegate(Weak<TableViewDelegate> delegate);

  // ---- Geometry
  double rowHeight() const { return rowHeight_; }
  void setRowHeight(double h);
  double estimatedRowHeight() const { return estimatedRowHeight_; }
  void setEstimatedRowHeight(double h) { estimatedRowHeight_ = h; }
  // TableViewAutomaticDimension: 0 without a header in plain tables, 28
  // with a title or view; grouped tables 18 and 38.
  double sectionHeaderHeight() const { return sectionHeaderHeight_; }
  void setSectionHeaderHeight(double h);
  double sectionFooterHeight() const { return sectionFooterHeight_; }
  void setSectionFooterHeight(double h);
  const Ref<View>& tableHeaderView() const { return tableHeaderView_; }
  void setTableHeaderView(Ref<View> view);
  const Ref<View>& tableFooterView() const { return tableFooterView_; }
  void setTableFooterView(Ref<View> view);
  const Ref<View>& backgroundView() const { return backgroundView_; }
  void setBackgroundView(Ref<View> view);

  // ---- Separators
  TableViewSeparatorStyle separatorStyle() const { return separatorStyle_; }
  void setSeparatorStyle(TableViewSeparatorStyle s);
  const Ref<Color>& separatorColor() const { return separatorColor_; }
  void setSeparatorColor(Ref<Color> c);
  EdgeInsets separatorInset() const { return separatorInset_; }
  void setSeparatorInset(const EdgeInsets& e);

  // ---- Cells and reuse
  // Cells for `identifier` come from `factory` when none waits for reuse.
  void registerCellFactory(const std::string& identifier, CellFactory factory);
  template <class Cell>
  void registerClass(const std::string& identifier) {
    registerCellFactory(identifier, [](const std::string& id) -> Ref<TableViewCell> {
      return kit::make<Cell>(TableViewCellStyle::Default, id);
    });
  }
  // Cells for `identifier` are the first table cell of the nib (see
  // scene_registry.h); nothing is registered when there is no such nib.
  void registerNib(const std::string& nibName, const std::string& identifier);
  // A waiting cell (after prepareForReuse), else a new one from the
  // registration, else nil.
  Ref<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);
  // The same, raising the platform's exception when nothing is registered
  // under the identifier.
  Ref<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier, const IndexPath& indexPath);
  void registerHeaderFooterFactory(const std::string& identifier, HeaderFooterFactory factory);
  Ref<TableViewHeaderFooterView> dequeueReusableHeaderFooterViewWithIdentifier(const std::string& identifier);

  // ---- Data
  // Asks the data source again for everything; the visible cells go back to
  // the reuse queue first. The offset stays, within the new content.
  void reloadData();
  void reloadSections(const std::set<long>& sections, TableViewRowAnimation animation);
  void reloadRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation);
  void insertRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation);
  void deleteRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths, TableViewRowAnimation animation);
  // Batch updates: the heights are asked again at endUpdates.
  void beginUpdates() { ++updateDepth_; }
  void endUpdates();
  long numberOfSections();
  long numberOfRowsInSection(long section);

  // ---- Rows and cells in sight
  // The visible cells, top to bottom (materialised on the call when needed).
  std::vector<Ref<TableViewCell>> visibleCells();
  std::vector<IndexPath> indexPathsForVisibleRows();
  // The cell of a visible row, else nil.
  Ref<TableViewCell> cellForRowAtIndexPath(const IndexPath& indexPath);
  std::optional<IndexPath> indexPathForCell(const TableViewCell& cell) const;
  // The row at a point of the content (the table's bounds space).
  std::optional<IndexPath> indexPathForRowAtPoint(Point point);
  Rect rectForRowAtIndexPath(const IndexPath& indexPath);
  Rect rectForSection(long section);
  Rect rectForHeaderInSection(long section);
  Rect rectForFooterInSection(long section);
  // The header or footer view shown for a section in sight, else nil.
  Ref<View> headerViewForSection(long section);
  Ref<View> footerViewForSection(long section);
  void scrollToRowAtIndexPath(const IndexPath& indexPath, TableViewScrollPosition position, bool animated);

  // ---- Selection (the methods do not call the delegate, as on the platform)
  bool allowsSelection() const { return allowsSelection_; }
  void setAllowsSelection(bool v) { allowsSelection_ = v; }
  bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
  void setAllowsMultipleSelection(bool v) { allowsMultipleSelection_ = v; }
  std::optional<IndexPath> indexPathForSelectedRow() const;
  std::vector<IndexPath> indexPathsForSelectedRows() const { return {selected_.begin(), selected_.end()}; }
  void selectRowAtIndexPath(const IndexPath& indexPath, bool animated, TableViewScrollPosition position);
  void deselectRowAtIndexPath(const IndexPath& indexPath, bool animated);
  // What a tap on a row does: highlight, willSelect, deselect the others,
  // select, didSelect. Used by cells and the test driver.
  void userSelectRowAtIndexPath(const IndexPath& indexPath);

  // ---- Used by cells
  void cellTouchDown(TableViewCell& cell);
  void cellTouchUp(TableViewCell& cell, bool inside);

  void layoutSubviews() override;

 protected:
  void contentOffsetDidChange() override;
  void boundsSizeDidChange(Size old) override;

 private:
  struct SectionGeometry {
    double top = 0;
    double headerHeight = 0;
    std::vector<double> rowTops, rowHeights;
    double footerHeight = 0;
    double bottom = 0;
  };
  void ensureLoaded();
  void computeGeometry();
  double defaultHeaderHeight(long section, bool footer);
  bool validIndexPath(const IndexPath& indexPath) const;
  // Brings the cells, headers and footers in sight up to date.
  void updateVisibleViews();
  void placeTableHeaderAndFooter();
  void configureSeparator(TableViewCell& cell) const;
  void retire(const IndexPath& indexPath, const Ref<TableViewCell>& cell);
  void retireAll();
  Ref<View> makeHeaderFooter(long section, bool footer);

  TableViewStyle style_;
  Weak<TableViewDataSource> dataSource_;
  Weak<TableViewDelegate> tableDelegate_;
  double rowHeight_ = 44, estimatedRowHeight_ = 0;
  double sectionHeaderHeight_ = TableViewAutomaticDimension, sectionFooterHeight_ = TableViewAutomaticDimension;
  Ref<View> tableHeaderView_, tableFooterView_, backgroundView_;
  TableViewSeparatorStyle separatorStyle_ = TableViewSeparatorStyle::SingleLine;
  Ref<Color> separatorColor_;
  EdgeInsets separatorInset_{0, 15, 0, 0};
  bool allowsSelection_ = true, allowsMultipleSelection_ = false;
  std::set<IndexPath> selected_;
  std::optional<IndexPath> touchedRow_;

  ReusePool<TableViewCell> cells_;
  ReusePool<TableViewHeaderFooterView> headerFooters_;
  bool loaded_ = false;
  bool updatingViews_ = false;
  int updateDepth_ = 0;
  std::vector<SectionGeometry> sections_;
  VisibleCells<TableViewCell> visible_;
  std::map<long, Ref<View>> visibleHeaders_, visibleFooters_;
};

}  // namespace kit
