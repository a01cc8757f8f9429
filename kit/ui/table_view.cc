// Table views: section geometry from the data source and delegate, the
// cells, headers and footers in sight, reuse, and selection.
#include "kit/ui/table_view.h"

#include <algorithm>
#include <cstdio>

#include "kit/foundation/exception.h"
#include "kit/ui/scene_registry.h"

namespace kit {

namespace {

bool intersectsVertically(double top, double height, const Rect& visible) {
  return height > 0 && top + height > visible.minY() && top < visible.maxY();
}

}  // namespace

TableView::TableView(const Rect& frame, TableViewStyle style) : ScrollView(frame), style_(style) {
  setBackgroundColor(style == TableViewStyle::Grouped ? Color::rgba(239 / 255.0, 239 / 255.0, 244 / 255.0, 1)
                                                      : Color::whiteColor());
  setAlwaysBounceVertical(true);
  separatorColor_ = Color::rgba(200 / 255.0, 199 / 255.0, 204 / 255.0, 1);
}

TableView::~TableView() = default;

void TableView::setDataSource(Weak<TableViewDataSource> dataSource) {
  dataSource_ = std::move(dataSource);
  loaded_ = false;
  setNeedsLayout();
}

void TableView::setDelegate(Weak<TableViewDelegate> delegate) {
  tableDelegate_ = delegate;
  Ref<TableViewDelegate> strong = delegate.lock();
  ScrollView::setDelegate(Weak<ScrollViewDelegate>(strong));
  loaded_ = false;
  setNeedsLayout();
}

// ---- Geometry -------------------------------------------------------------------

void TableView::setRowHeight(double h) {
  rowHeight_ = h;
  if (loaded_) endUpdates();
}

void TableView::setSectionHeaderHeight(double h) {
  sectionHeaderHeight_ = h;
  loaded_ = false;
  setNeedsLayout();
}

void TableView::setSectionFooterHeight(double h) {
  sectionFooterHeight_ = h;
  loaded_ = false;
  setNeedsLayout();
}

void TableView::setTableHeaderView(Ref<View> view) {
  if (tableHeaderView_) tableHeaderView_->removeFromSuperview();
  tableHeaderView_ = std::move(view);
  if (tableHeaderView_) addSubview(tableHeaderView_);
  if (loaded_) {
    computeGeometry();
    updateVisibleViews();
  }
}

void TableView::setTableFooterView(Ref<View> view) {
  if (tableFooterView_) tableFooterView_->removeFromSuperview();
  tableFooterView_ = std::move(view);
  if (tableFooterView_) addSubview(tableFooterView_);
  if (loaded_) {
    computeGeometry();
    updateVisibleViews();
  }
}

void TableView::setBackgroundView(Ref<View> view) {
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = std::move(view);
  if (backgroundView_) {
    backgroundView_->setFrame(bounds());
    insertSubviewAt(backgroundView_, 0);
  }
}

void TableView::setSeparatorStyle(TableViewSeparatorStyle s) {
  separatorStyle_ = s;
  for (auto& [path, cell] : visible_) configureSeparator(*cell);
}

void TableView::setSeparatorColor(Ref<Color> c) {
  separatorColor_ = std::move(c);
  for (auto& [path, cell] : visible_) configureSeparator(*cell);
}

void TableView::setSeparatorInset(const EdgeInsets& e) {
  separatorInset_ = e;
  for (auto& [path, cell] : visible_) configureSeparator(*cell);
}

void TableView::configureSeparator(TableViewCell& cell) const {
  cell.separatorView()->setHidden(separatorStyle_ == TableViewSeparatorStyle::None);
  if (separatorColor_) cell.separatorView()->setBackgroundColor(separatorColor_);
  cell.setSeparatorInset(separatorInset_);
}

double TableView::defaultHeaderHeight(long section, bool footer) {
  const double explicitHeight = footer ? sectionFooterHeight_ : sectionHeaderHeight_;
  if (explicitHeight >= 0) return explicitHeight;
  bool hasContent = false;
  if (auto ds = dataSource()) {
    hasContent = footer ? ds->titleForFooterInSection(*this, section).has_value()
                        : ds->titleForHeaderInSection(*this, section).has_value();
  }
  if (!hasContent) {
    if (auto d = tableDelegate())
      hasContent = static_cast<bool>(footer ? d->viewForFooterInSection(*this, section)
                                            : d->viewForHeaderInSection(*this, section));
  }
  if (style_ == TableViewStyle::Grouped) return hasContent ? 38 : 18;
  return hasContent ? 28 : 0;
}

void TableView::computeGeometry() {
  Ref<TableViewDataSource> ds = dataSource();
  Ref<TableViewDelegate> del = tableDelegate();
  const long count = ds ? std::max(0L, ds->numberOfSectionsInTableView(*this)) : 0;
  sections_.assign(static_cast<size_t>(count), {});
  double y = tableHeaderView_ ? tableHeaderView_->frame().height() : 0;
  for (long s = 0; s < count; ++s) {
    SectionGeometry& g = sections_[static_cast<size_t>(s)];
    g.top = y;
    std::optional<double> header = del ? del->heightForHeaderInSection(*this, s) : std::nullopt;
    g.headerHeight = std::max(0.0, header ? *header : defaultHeaderHeight(s, false));
    y += g.headerHeight;
    const long rows = std::max(0L, ds->numberOfRowsInSection(*this, s));
    g.rowTops.resize(static_cast<size_t>(rows));
    g.rowHeights.resize(static_cast<size_t>(rows));
    for (long r = 0; r < rows; ++r) {
      std::optional<double> h = del ? del->heightForRowAtIndexPath(*this, IndexPath::forRow(r, s)) : std::nullopt;
      double height = h ? *h : rowHeight_;
      if (height < 0) height = 44;  // automatic dimension without self-sizing
      g.rowTops[static_cast<size_t>(r)] = y;
      g.rowHeights[static_cast<size_t>(r)] = height;
      y += height;
    }
    std::optional<double> footer = del ? del->heightForFooterInSection(*this, s) : std::nullopt;
    g.footerHeight = std::max(0.0, footer ? *footer : defaultHeaderHeight(s, true));
    y += g.footerHeight;
    g.bottom = y;
  }
  if (tableFooterView_) y += tableFooterView_->frame().height();
  setContentSize({bounds().width(), y});
  placeTableHeaderAndFooter();
}

void TableView::placeTableHeaderAndFooter() {
  const double width = bounds().width();
  if (tableHeaderView_) tableHeaderView_->setFrame(Rect{0, 0, width, tableHeaderView_->frame().height()});
  if (tableFooterView_) {
    const double top = sections_.empty() ? (tableHeaderView_ ? tableHeaderView_->frame().height() : 0)
                                         : sections_.back().bottom;
    tableFooterView_->setFrame(Rect{0, top, width, tableFooterView_->frame().height()});
  }
}

bool TableView::validIndexPath(const IndexPath& p) const {
  return p.section >= 0 && p.section < static_cast<long>(sections_.size()) && p.row >= 0 &&
         p.row < static_cast<long>(sections_[static_cast<size_t>(p.section)].rowTops.size());
}

void TableView::ensureLoaded() {
  if (!loaded_) reloadData();
}

long TableView::numberOfSections() {
  ensureLoaded();
  return static_cast<long>(sections_.size());
}

long TableView::numberOfRowsInSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return 0;
  return static_cast<long>(sections_[static_cast<size_t>(section)].rowTops.size());
}

Rect TableView::rectForRowAtIndexPath(const IndexPath& p) {
  ensureLoaded();
  if (!validIndexPath(p)) return Rect::zero();
  const SectionGeometry& g = sections_[static_cast<size_t>(p.section)];
  return {0, g.rowTops[static_cast<size_t>(p.row)], bounds().width(), g.rowHeights[static_cast<size_t>(p.row)]};
}

Rect TableView::rectForSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return Rect::zero();
  const SectionGeometry& g = sections_[static_cast<size_t>(section)];
  return {0, g.top, bounds().width(), g.bottom - g.top};
}

Rect TableView::rectForHeaderInSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return Rect::zero();
  const SectionGeometry& g = sections_[static_cast<size_t>(section)];
  return {0, g.top, bounds().width(), g.headerHeight};
}

Rect TableView::rectForFooterInSection(long section) {
  ensureLoaded();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return Rect::zero();
  const SectionGeometry& g = sections_[static_cast<size_t>(section)];
  return {0, g.bottom - g.footerHeight, bounds().width(), g.footerHeight};
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point point) {
  ensureLoaded();
  for (size_t s = 0; s < sections_.size(); ++s) {
    const SectionGeometry& g = sections_[s];
    if (point.y < g.top || point.y >= g.bottom) continue;
    auto it = std::upper_bound(g.rowTops.begin(), g.rowTops.end(), point.y);
    if (it == g.rowTops.begin()) return std::nullopt;
    const size_t r = static_cast<size_t>(it - g.rowTops.begin()) - 1;
    if (point.y < g.rowTops[r] + g.rowHeights[r]) return IndexPath::forRow(static_cast<long>(r), static_cast<long>(s));
    return std::nullopt;
  }
  return std::nullopt;
}

// ---- Reuse ----------------------------------------------------------------------

void TableView::registerCellFactory(const std::string& identifier, CellFactory factory) {
  cells_.registerFactory(identifier, std::move(factory));
}

void TableView::registerNib(const std::string& nibName, const std::string& identifier) {
  if (!SceneRegistry::shared().hasNib(nibName)) return;
  registerCellFactory(identifier, [nibName](const std::string&) -> Ref<TableViewCell> {
    for (const Id& object : SceneRegistry::shared().loadNibNamed(nibName, nullptr))
      if (auto cell = as<TableViewCell>(object)) return cell;
    return nullptr;
  });
}

Ref<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
  if (Ref<TableViewCell> waiting = cells_.take(identifier)) {
    waiting->prepareForReuse();
    return waiting;
  }
  Ref<TableViewCell> cell = cells_.create(identifier);
  if (cell && cell->reuseIdentifier().empty()) cell->setReuseIdentifier(identifier);
  return cell;
}

Ref<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier, const IndexPath&) {
  Ref<TableViewCell> cell = dequeueReusableCellWithIdentifier(identifier);
  if (!cell)
    raise(InternalInconsistencyException, "unable to dequeue a cell with identifier " + identifier +
                                              " - must register a nib or a class for the identifier");
  return cell;
}

void TableView::registerHeaderFooterFactory(const std::string& identifier, HeaderFooterFactory factory) {
  headerFooters_.registerFactory(identifier, std::move(factory));
}

Ref<TableViewHeaderFooterView> TableView::dequeueReusableHeaderFooterViewWithIdentifier(const std::string& identifier) {
  if (auto waiting = headerFooters_.take(identifier)) {
    waiting->prepareForReuse();
    return waiting;
  }
  auto view = headerFooters_.create(identifier);
  if (view && view->reuseIdentifier().empty()) view->setReuseIdentifier(identifier);
  return view;
}

// ---- Data -----------------------------------------------------------------------

void TableView::retire(const IndexPath& indexPath, const Ref<TableViewCell>& cell) {
  cell->removeFromSuperview();
  cell->setHighlighted(false);
  if (touchedRow_ == indexPath) touchedRow_.reset();
  if (auto d = tableDelegate()) d->didEndDisplayingCell(*this, *cell, indexPath);
  cells_.put(cell->reuseIdentifier(), cell);
}

void TableView::retireAll() {
  auto cells = std::move(visible_);
  visible_.clear();
  for (auto& [path, cell] : cells) retire(path, cell);
  for (auto* views : {&visibleHeaders_, &visibleFooters_}) {
    for (auto& [section, view] : *views) {
      view->removeFromSuperview();
      if (auto reusable = as<TableViewHeaderFooterView>(view))
        headerFooters_.put(reusable->reuseIdentifier(), reusable);
    }
    views->clear();
  }
}

void TableView::reloadData() {
  Ref<Object> keep = weak_from_this().lock();
  retireAll();
  selected_.clear();
  loaded_ = true;
  computeGeometry();
  if (!isDragging() && !isDecelerating() && !isScrollAnimating()) {
    const Point offset = contentOffset();
    const Point hi = maximumContentOffset();
    if (offset.y > hi.y) setContentOffset({offset.x, hi.y});
  }
  updateVisibleViews();
}

void TableView::reloadSections(const std::set<long>&, TableViewRowAnimation) {
  // Every section is asked again; selection outside the new rows is dropped.
  auto kept = selected_;
  reloadData();
  for (const auto& p : kept)
    if (validIndexPath(p)) selectRowAtIndexPath(p, false, TableViewScrollPosition::None);
}

void TableView::reloadRowsAtIndexPaths(const std::vector<IndexPath>&, TableViewRowAnimation animation) {
  reloadSections({}, animation);
}

void TableView::insertRowsAtIndexPaths(const std::vector<IndexPath>&, TableViewRowAnimation animation) {
  reloadSections({}, animation);
}

void TableView::deleteRowsAtIndexPaths(const std::vector<IndexPath>&, TableViewRowAnimation animation) {
  reloadSections({}, animation);
}

void TableView::endUpdates() {
  if (updateDepth_ > 0) --updateDepth_;
  if (updateDepth_ > 0 || !loaded_) return;
  // Heights are asked again; the cells in sight stay and move.
  const long before = static_cast<long>(sections_.size());
  std::vector<size_t> rowsBefore;
  for (const auto& g : sections_) rowsBefore.push_back(g.rowTops.size());
  computeGeometry();
  bool sameShape = before == static_cast<long>(sections_.size());
  for (size_t s = 0; sameShape && s < sections_.size(); ++s) sameShape = rowsBefore[s] == sections_[s].rowTops.size();
  if (!sameShape) retireAll();
  updateVisibleViews();
}

// ---- Views in sight ------------------------------------------------------------

Ref<View> TableView::makeHeaderFooter(long section, bool footer) {
  Ref<TableViewDelegate> del = tableDelegate();
  Ref<View> view = del ? (footer ? del->viewForFooterInSection(*this, section)
                                 : del->viewForHeaderInSection(*this, section))
                       : nullptr;
  if (view) return view;
  Ref<TableViewDataSource> ds = dataSource();
  if (!ds) return nullptr;
  std::optional<std::string> title =
      footer ? ds->titleForFooterInSection(*this, section) : ds->titleForHeaderInSection(*this, section);
  if (!title) return nullptr;
  auto made = TableViewHeaderFooterView::make();
  made->textLabel()->setText(*title);
  return made;
}

void TableView::updateVisibleViews() {
  if (updatingViews_) return;
  if (!loaded_) {
    reloadData();
    return;
  }
  updatingViews_ = true;
  Ref<Object> keep = weak_from_this().lock();
  const Rect visible = bounds();
  const double width = visible.width();

  std::vector<IndexPath> wanted;
  for (size_t s = 0; s < sections_.size(); ++s) {
    const SectionGeometry& g = sections_[s];
    if (g.bottom <= visible.minY() || g.top >= visible.maxY()) continue;
    // The first row whose bottom lies below the top of the visible area.
    size_t r = static_cast<size_t>(
        std::upper_bound(g.rowTops.begin(), g.rowTops.end(), visible.minY()) - g.rowTops.begin());
    if (r > 0) --r;
    for (; r < g.rowTops.size() && g.rowTops[r] < visible.maxY(); ++r)
      if (intersectsVertically(g.rowTops[r], g.rowHeights[r], visible))
        wanted.push_back(IndexPath::forRow(static_cast<long>(r), static_cast<long>(s)));
  }

  // Rows that left go back to the queue before new rows ask for cells.
  for (auto it = visible_.begin(); it != visible_.end();) {
    if (!std::binary_search(wanted.begin(), wanted.end(), it->first)) {
      auto [path, cell] = *it;
      it = visible_.erase(it);
      retire(path, cell);
    } else {
      ++it;
    }
  }

  Ref<TableViewDataSource> ds = dataSource();
  Ref<TableViewDelegate> del = tableDelegate();
  for (const IndexPath& path : wanted) {
    const Rect rowRect{0, sections_[static_cast<size_t>(path.section)].rowTops[static_cast<size_t>(path.row)], width,
                       sections_[static_cast<size_t>(path.section)].rowHeights[static_cast<size_t>(path.row)]};
    auto found = visible_.find(path);
    if (found != visible_.end()) {
      found->second->setFrame(rowRect);
      continue;
    }
    if (!ds) break;
    Ref<TableViewCell> cell = ds->cellForRowAtIndexPath(*this, path);
    if (!cell) {
      // The platform stops the program here; a row without a cell is left
      // empty instead.
      std::fprintf(stderr, "kit: table view data source returned no cell for %s\n", path.description().c_str());
      continue;
    }
    cell->setFrame(rowRect);
    configureSeparator(*cell);
    cell->setSelected(selected_.count(path) != 0);
    visible_[path] = cell;
    if (cell->superview().get() != this) addSubview(cell);
    cell->layoutIfNeeded();
    if (del) del->willDisplayCell(*this, *cell, path);
  }

  // Section headers and footers in sight.
  for (int footer = 0; footer < 2; ++footer) {
    auto& shown = footer ? visibleFooters_ : visibleHeaders_;
    std::set<long> wantedSections;
    for (size_t s = 0; s < sections_.size(); ++s) {
      const SectionGeometry& g = sections_[s];
      const double top = footer ? g.bottom - g.footerHeight : g.top;
      const double height = footer ? g.footerHeight : g.headerHeight;
      if (!intersectsVertically(top, height, visible)) continue;
      const long section = static_cast<long>(s);
      wantedSections.insert(section);
      Ref<View> view;
      if (auto it = shown.find(section); it != shown.end()) view = it->second;
      else if ((view = makeHeaderFooter(section, footer != 0))) shown[section] = view;
      if (!view) continue;
      view->setFrame(Rect{0, top, width, height});
      if (view->superview().get() != this) addSubview(view);
      else bringSubviewToFront(view.get());
    }
    for (auto it = shown.begin(); it != shown.end();) {
      if (wantedSections.count(it->first)) {
        ++it;
        continue;
      }
      it->second->removeFromSuperview();
      if (auto reusable = as<TableViewHeaderFooterView>(it->second))
        headerFooters_.put(reusable->reuseIdentifier(), reusable);
      it = shown.erase(it);
    }
  }
  if (backgroundView_) {
    backgroundView_->setFrame(visible);
    sendSubviewToBack(backgroundView_.get());
  }
  updatingViews_ = false;
}

std::vector<Ref<TableViewCell>> TableView::visibleCells() {
  updateVisibleViews();
  return visible_.cells();
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() {
  updateVisibleViews();
  return visible_.indexPaths();
}

Ref<TableViewCell> TableView::cellForRowAtIndexPath(const IndexPath& indexPath) {
  updateVisibleViews();
  return visible_.cellAt(indexPath);
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell& cell) const {
  return visible_.indexPathOf(cell);
}

Ref<View> TableView::headerViewForSection(long section) {
  updateVisibleViews();
  auto it = visibleHeaders_.find(section);
  return it == visibleHeaders_.end() ? nullptr : it->second;
}

Ref<View> TableView::footerViewForSection(long section) {
  updateVisibleViews();
  auto it = visibleFooters_.find(section);
  return it == visibleFooters_.end() ? nullptr : it->second;
}

void TableView::scrollToRowAtIndexPath(const IndexPath& indexPath, TableViewScrollPosition position, bool animated) {
  ensureLoaded();
  if (!validIndexPath(indexPath)) {
    raise(RangeException, "attempt to scroll to invalid index path: " + indexPath.description());
  }
  const Rect row = rectForRowAtIndexPath(indexPath);
  const EdgeInsets inset = adjustedContentInset();
  const double height = bounds().height();
  const Point lo = minimumContentOffset(), hi = maximumContentOffset();
  double y = contentOffset().y;
  switch (position) {
    case TableViewScrollPosition::Top: y = row.minY() - inset.top; break;
    case TableViewScrollPosition::Middle:
      y = row.midY() - (height - inset.top - inset.bottom) / 2 - inset.top;
      break;
    case TableViewScrollPosition::Bottom: y = row.maxY() - height + inset.bottom; break;
    case TableViewScrollPosition::None:
      if (row.minY() < y + inset.top) y = row.minY() - inset.top;
      else if (row.maxY() > y + height - inset.bottom) y = row.maxY() - height + inset.bottom;
      break;
  }
  y = std::clamp(y, lo.y, hi.y);
  if (y == contentOffset().y) return;
  setContentOffset({contentOffset().x, y}, animated);
}

void TableView::layoutSubviews() {
  ScrollView::layoutSubviews();
  updateVisibleViews();
}

void TableView::contentOffsetDidChange() {
  if (loaded_) updateVisibleViews();
}

void TableView::boundsSizeDidChange(Size old) {
  ScrollView::boundsSizeDidChange(old);
  if (!loaded_) return;
  if (old.width != bounds().width()) {
    setContentSize({bounds().width(), contentSize().height});
    placeTableHeaderAndFooter();
  }
  updateVisibleViews();
}

// ---- Selection ------------------------------------------------------------------

std::optional<IndexPath> TableView::indexPathForSelectedRow() const {
  if (selected_.empty()) return std::nullopt;
  return *selected_.begin();
}

void TableView::selectRowAtIndexPath(const IndexPath& indexPath, bool animated, TableViewScrollPosition position) {
  ensureLoaded();
  if (!validIndexPath(indexPath)) return;
  if (!allowsMultipleSelection_) {
    for (const IndexPath& other : std::vector<IndexPath>(selected_.begin(), selected_.end()))
      if (other != indexPath) deselectRowAtIndexPath(other, animated);
  }
  selected_.insert(indexPath);
  if (auto it = visible_.find(indexPath); it != visible_.end()) it->second->setSelected(true, animated);
  if (position != TableViewScrollPosition::None) scrollToRowAtIndexPath(indexPath, position, animated);
}

void TableView::deselectRowAtIndexPath(const IndexPath& indexPath, bool animated) {
  selected_.erase(indexPath);
  if (auto it = visible_.find(indexPath); it != visible_.end()) it->second->setSelected(false, animated);
}

void TableView::userSelectRowAtIndexPath(const IndexPath& indexPath) {
  ensureLoaded();
  if (!allowsSelection_ || !validIndexPath(indexPath)) return;
  Ref<Object> keep = weak_from_this().lock();
  Ref<TableViewDelegate> del = tableDelegate();
  auto deselect = [&](const IndexPath& path) {
    std::optional<IndexPath> target = del ? del->willDeselectRowAtIndexPath(*this, path) : path;
    if (!target || !selected_.count(*target)) return;
    deselectRowAtIndexPath(*target, false);
    if (del) del->didDeselectRowAtIndexPath(*this, *target);
  };
  if (allowsMultipleSelection_ && selected_.count(indexPath)) {
    deselect(indexPath);
    return;
  }
  std::optional<IndexPath> target = del ? del->willSelectRowAtIndexPath(*this, indexPath) : indexPath;
  if (!target || !validIndexPath(*target)) return;
  if (!allowsMultipleSelection_) {
    for (const IndexPath& other : std::vector<IndexPath>(selected_.begin(), selected_.end()))
      if (other != *target) deselect(other);
  }
  selected_.insert(*target);
  if (auto it = visible_.find(*target); it != visible_.end()) it->second->setSelected(true, false);
  if (del) del->didSelectRowAtIndexPath(*this, *target);
}

void TableView::cellTouchDown(TableViewCell& cell) {
  std::optional<IndexPath> path = indexPathForCell(cell);
  if (!path || !allowsSelection_) return;
  Ref<TableViewDelegate> del = tableDelegate();
  if (del && !del->shouldHighlightRowAtIndexPath(*this, *path)) return;
  touchedRow_ = path;
  cell.setHighlighted(true, false);
  if (del) del->didHighlightRowAtIndexPath(*this, *path);
}

void TableView::cellTouchUp(TableViewCell& cell, bool inside) {
  std::optional<IndexPath> path = indexPathForCell(cell);
  if (!path || touchedRow_ != path) return;
  touchedRow_.reset();
  Ref<Object> keep = weak_from_this().lock();
  cell.setHighlighted(false, false);
  if (auto del = tableDelegate()) del->didUnhighlightRowAtIndexPath(*this, *path);
  if (inside) userSelectRowAtIndexPath(*path);
}

}  // namespace kit
