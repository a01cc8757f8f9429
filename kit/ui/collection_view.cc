// Collection views: items and supplementary views in sight from the layout,
// reuse, selection, and the cells' touches.
#include "kit/ui/collection_view.h"

#include <algorithm>
#include <cstdio>

#include "kit/foundation/exception.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/scene_registry.h"

namespace kit {

// ---- Cells ----------------------------------------------------------------------

CollectionViewCell::CollectionViewCell(const Rect& frame) : CollectionReusableView(frame) {
  contentView_ = View::make(bounds());
  contentView_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  addSubview(contentView_);
}

void CollectionViewCell::setBackgroundView(Ref<View> view) {
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = std::move(view);
  if (backgroundView_) {
    backgroundView_->setFrame(bounds());
    backgroundView_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    insertSubviewAt(backgroundView_, 0);
  }
}

void CollectionViewCell::setSelectedBackgroundView(Ref<View> view) {
  if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
  selectedBackgroundView_ = std::move(view);
  showSelectionBackground();
}

void CollectionViewCell::showSelectionBackground() {
  if (!selectedBackgroundView_) return;
  if (selected_ || highlighted_) {
    selectedBackgroundView_->setFrame(bounds());
    selectedBackgroundView_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    insertSubviewBelow(selectedBackgroundView_, contentView_.get());
  } else {
    selectedBackgroundView_->removeFromSuperview();
  }
}

void CollectionViewCell::setSelected(bool selected) {
  selected_ = selected;
  showSelectionBackground();
}

void CollectionViewCell::setHighlighted(bool highlighted) {
  highlighted_ = highlighted;
  showSelectionBackground();
}

CollectionView* CollectionViewCell::collection() const {
  for (View* v = superview().get(); v; v = v->superview().get())
    if (auto c = dynamic_cast<CollectionView*>(v)) return c;
  return nullptr;
}

void CollectionViewCell::touchesBegan(const TouchSet&, const Event*) {
  if (CollectionView* c = collection()) c->cellTouchDown(*this);
}

void CollectionViewCell::touchesEnded(const TouchSet&, const Event*) {
  if (CollectionView* c = collection()) c->cellTouchUp(*this, true);
}

void CollectionViewCell::touchesCancelled(const TouchSet&, const Event*) {
  if (CollectionView* c = collection()) c->cellTouchUp(*this, false);
}

// ---- The collection view ----------------------------------------------------------

CollectionView::CollectionView(const Rect& frame, Ref<CollectionViewLayout> layout) : ScrollView(frame) {
  setBackgroundColor(Color::blackColor());
  setCollectionViewLayout(layout ? std::move(layout) : CollectionViewFlowLayout::make());
}

CollectionView::~CollectionView() {
  if (layout_ && layout_->collectionView() == this) layout_->setCollectionView(nullptr);
}

void CollectionView::setDataSource(Weak<CollectionViewDataSource> dataSource) {
  dataSource_ = std::move(dataSource);
  loaded_ = false;
  setNeedsLayout();
}

void CollectionView::setDelegate(Weak<CollectionViewDelegate> delegate) {
  collectionDelegate_ = delegate;
  Ref<CollectionViewDelegate> strong = delegate.lock();
  ScrollView::setDelegate(Weak<ScrollViewDelegate>(strong));
  if (layout_) layout_->invalidateLayout();
}

void CollectionView::setCollectionViewLayout(Ref<CollectionViewLayout> layout, bool) {
  if (!layout) return;
  if (layout_ && layout_->collectionView() == this) layout_->setCollectionView(nullptr);
  layout_ = std::move(layout);
  layout_->setCollectionView(this);
  layout_->invalidateLayout();
  if (loaded_) updateVisibleViews();
}

void CollectionView::setBackgroundView(Ref<View> view) {
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = std::move(view);
  if (backgroundView_) {
    backgroundView_->setFrame(bounds());
    insertSubviewAt(backgroundView_, 0);
  }
}

// ---- Reuse ----------------------------------------------------------------------

void CollectionView::registerCellFactory(const std::string& identifier, CellFactory factory) {
  cells_.registerFactory(identifier, std::move(factory));
}

void CollectionView::registerNib(const std::string& nibName, const std::string& identifier) {
  if (!SceneRegistry::shared().hasNib(nibName)) return;
  registerCellFactory(identifier, [nibName](const std::string&) -> Ref<CollectionViewCell> {
    for (const Id& object : SceneRegistry::shared().loadNibNamed(nibName, nullptr))
      if (auto cell = as<CollectionViewCell>(object)) return cell;
    return nullptr;
  });
}

Ref<CollectionViewCell> CollectionView::dequeueReusableCellWithReuseIdentifier(const std::string& identifier,
                                                                               const IndexPath&) {
  if (auto waiting = cells_.take(identifier)) {
    waiting->prepareForReuse();
    return waiting;
  }
  Ref<CollectionViewCell> cell = cells_.create(identifier);
  if (!cell)
    raise(InternalInconsistencyException, "could not dequeue a view of kind: UICollectionElementKindCell "
                                          "with identifier " + identifier +
                                              " - must register a nib or a class for the identifier");
  if (cell->reuseIdentifier().empty()) cell->setReuseIdentifier(identifier);
  return cell;
}

void CollectionView::registerSupplementaryFactory(const std::string& kind, const std::string& identifier,
                                                  SupplementaryFactory factory) {
  supplementaryPools_[kind].registerFactory(identifier, std::move(factory));
}

Ref<CollectionReusableView> CollectionView::dequeueReusableSupplementaryViewOfKind(const std::string& kind,
                                                                                   const std::string& identifier,
                                                                                   const IndexPath&) {
  auto& pool = supplementaryPools_[kind];
  if (auto waiting = pool.take(identifier)) {
    waiting->prepareForReuse();
    return waiting;
  }
  Ref<CollectionReusableView> view = pool.create(identifier);
  if (!view)
    raise(InternalInconsistencyException, "could not dequeue a view of kind: " + kind + " with identifier " +
                                              identifier + " - must register a nib or a class for the identifier");
  if (view->reuseIdentifier().empty()) view->setReuseIdentifier(identifier);
  return view;
}

// ---- Data -----------------------------------------------------------------------

void CollectionView::retireCell(const IndexPath& indexPath, const Ref<CollectionViewCell>& cell) {
  cell->removeFromSuperview();
  cell->setHighlighted(false);
  if (touchedItem_ == indexPath) touchedItem_.reset();
  if (auto d = collectionDelegate()) d->didEndDisplayingCell(*this, *cell, indexPath);
  cells_.put(cell->reuseIdentifier(), cell);
}

void CollectionView::retireAll() {
  auto cells = std::move(visible_);
  visible_.clear();
  for (auto& [path, cell] : cells) retireCell(path, cell);
  auto supplementary = std::move(visibleSupplementary_);
  visibleSupplementary_.clear();
  for (auto& [key, view] : supplementary) {
    view->removeFromSuperview();
    supplementaryPools_[key.first].put(view->reuseIdentifier(), view);
  }
}

void CollectionView::reloadData() {
  Ref<Object> keep = weak_from_this().lock();
  retireAll();
  selected_.clear();
  itemCounts_.clear();
  if (auto ds = dataSource()) {
    const long sections = std::max(0L, ds->numberOfSectionsInCollectionView(*this));
    for (long s = 0; s < sections; ++s) itemCounts_.push_back(std::max(0L, ds->numberOfItemsInSection(*this, s)));
  }
  loaded_ = true;
  layout_->invalidateLayout();
  ensureLayout();
  updateVisibleViews();
}

void CollectionView::reloadSections(const std::set<long>&) {
  auto kept = selected_;
  reloadData();
  for (const auto& p : kept)
    if (validIndexPath(p)) selected_.insert(p);
  updateVisibleViews();
  for (auto& [path, cell] : visible_) cell->setSelected(selected_.count(path) != 0);
}

void CollectionView::reloadItemsAtIndexPaths(const std::vector<IndexPath>&) { reloadSections({}); }
void CollectionView::insertItemsAtIndexPaths(const std::vector<IndexPath>&) { reloadSections({}); }
void CollectionView::deleteItemsAtIndexPaths(const std::vector<IndexPath>&) { reloadSections({}); }

void CollectionView::performBatchUpdates(const std::function<void()>& updates, std::function<void(bool)> completion) {
  if (updates) updates();
  reloadSections({});
  if (completion) runOnMainSoon([completion = std::move(completion)] { completion(true); });
}

long CollectionView::numberOfSections() {
  if (!loaded_) reloadData();
  return static_cast<long>(itemCounts_.size());
}

long CollectionView::numberOfItemsInSection(long section) {
  if (!loaded_) reloadData();
  if (section < 0 || section >= static_cast<long>(itemCounts_.size())) return 0;
  return itemCounts_[static_cast<size_t>(section)];
}

bool CollectionView::validIndexPath(const IndexPath& p) const {
  return p.section >= 0 && p.section < static_cast<long>(itemCounts_.size()) && p.item() >= 0 &&
         p.item() < itemCounts_[static_cast<size_t>(p.section)];
}

void CollectionView::ensureLayout() {
  if (!loaded_) {
    reloadData();
    return;
  }
  if (layout_->isValid()) return;
  layout_->markPrepared();
  layout_->prepareLayout();
  setContentSize(layout_->collectionViewContentSize());
}

// ---- Views in sight ------------------------------------------------------------

void CollectionView::updateVisibleViews() {
  if (updatingViews_) return;
  if (!loaded_) {
    reloadData();
    return;
  }
  updatingViews_ = true;
  Ref<Object> keep = weak_from_this().lock();
  ensureLayout();
  const Rect visible = bounds();
  std::vector<CollectionViewLayoutAttributes> wanted = layout_->layoutAttributesForElementsInRect(visible);
  std::set<IndexPath> wantedCells;
  std::set<std::pair<std::string, IndexPath>> wantedSupplementary;
  for (const auto& a : wanted) {
    if (a.isCell()) wantedCells.insert(a.indexPath);
    else wantedSupplementary.insert({a.elementKind, a.indexPath});
  }
  for (auto it = visible_.begin(); it != visible_.end();) {
    if (wantedCells.count(it->first)) {
      ++it;
      continue;
    }
    auto [path, cell] = *it;
    it = visible_.erase(it);
    retireCell(path, cell);
  }
  for (auto it = visibleSupplementary_.begin(); it != visibleSupplementary_.end();) {
    if (wantedSupplementary.count(it->first)) {
      ++it;
      continue;
    }
    it->second->removeFromSuperview();
    supplementaryPools_[it->first.first].put(it->second->reuseIdentifier(), it->second);
    it = visibleSupplementary_.erase(it);
  }
  Ref<CollectionViewDataSource> ds = dataSource();
  Ref<CollectionViewDelegate> del = collectionDelegate();
  for (const auto& a : wanted) {
    if (a.isCell()) {
      if (!validIndexPath(a.indexPath)) continue;
      if (auto found = visible_.find(a.indexPath); found != visible_.end()) {
        found->second->setFrame(a.frame);
        continue;
      }
      if (!ds) continue;
      Ref<CollectionViewCell> cell = ds->cellForItemAtIndexPath(*this, a.indexPath);
      if (!cell) {
        std::fprintf(stderr, "kit: collection view data source returned no cell for %s\n",
                     a.indexPath.description().c_str());
        continue;
      }
      cell->setFrame(a.frame);
      cell->setSelected(selected_.count(a.indexPath) != 0);
      visible_[a.indexPath] = cell;
      if (cell->superview().get() != this) addSubview(cell);
      cell->layoutIfNeeded();
      if (del) del->willDisplayCell(*this, *cell, a.indexPath);
    } else {
      const auto key = std::make_pair(a.elementKind, a.indexPath);
      Ref<CollectionReusableView> view;
      if (auto found = visibleSupplementary_.find(key); found != visibleSupplementary_.end()) view = found->second;
      else if (ds && (view = ds->viewForSupplementaryElementOfKind(*this, a.elementKind, a.indexPath)))
        visibleSupplementary_[key] = view;
      if (!view) continue;
      view->setFrame(a.frame);
      if (view->superview().get() != this) addSubview(view);
    }
  }
  if (backgroundView_) {
    backgroundView_->setFrame(visible);
    sendSubviewToBack(backgroundView_.get());
  }
  updatingViews_ = false;
}

std::vector<Ref<CollectionViewCell>> CollectionView::visibleCells() {
  updateVisibleViews();
  return visible_.cells();
}

std::vector<IndexPath> CollectionView::indexPathsForVisibleItems() {
  updateVisibleViews();
  return visible_.indexPaths();
}

Ref<CollectionViewCell> CollectionView::cellForItemAtIndexPath(const IndexPath& indexPath) {
  updateVisibleViews();
  return visible_.cellAt(indexPath);
}

std::optional<IndexPath> CollectionView::indexPathForCell(const CollectionViewCell& cell) const {
  return visible_.indexPathOf(cell);
}

std::optional<IndexPath> CollectionView::indexPathForItemAtPoint(Point point) {
  ensureLayout();
  for (const auto& a : layout_->layoutAttributesForElementsInRect(Rect{point.x - 0.5, point.y - 0.5, 1, 1}))
    if (a.isCell() && a.frame.contains(point)) return a.indexPath;
  return std::nullopt;
}

std::optional<CollectionViewLayoutAttributes> CollectionView::layoutAttributesForItemAtIndexPath(
    const IndexPath& indexPath) {
  ensureLayout();
  return layout_->layoutAttributesForItemAtIndexPath(indexPath);
}

Ref<CollectionReusableView> CollectionView::supplementaryViewForElementKind(const std::string& kind,
                                                                            const IndexPath& indexPath) {
  updateVisibleViews();
  auto it = visibleSupplementary_.find({kind, indexPath});
  return it == visibleSupplementary_.end() ? nullptr : it->second;
}

void CollectionView::scrollToItemAtIndexPath(const IndexPath& indexPath, unsigned position, bool animated) {
  ensureLayout();
  auto a = layout_->layoutAttributesForItemAtIndexPath(indexPath);
  if (!a) raise(RangeException, "attempt to scroll to invalid index path: " + indexPath.description());
  const Rect item = a->frame;
  const Rect b = bounds();
  const EdgeInsets inset = adjustedContentInset();
  Point target = b.origin;
  if (position & CollectionViewScrollPositionTop) target.y = item.minY() - inset.top;
  else if (position & CollectionViewScrollPositionCenteredVertically) target.y = item.midY() - b.height() / 2;
  else if (position & CollectionViewScrollPositionBottom) target.y = item.maxY() - b.height() + inset.bottom;
  if (position & CollectionViewScrollPositionLeft) target.x = item.minX() - inset.left;
  else if (position & CollectionViewScrollPositionCenteredHorizontally) target.x = item.midX() - b.width() / 2;
  else if (position & CollectionViewScrollPositionRight) target.x = item.maxX() - b.width() + inset.right;
  if (position == CollectionViewScrollPositionNone) {
    scrollRectToVisible(item, animated);
    return;
  }
  const Point lo = minimumContentOffset(), hi = maximumContentOffset();
  target = {std::clamp(target.x, lo.x, hi.x), std::clamp(target.y, lo.y, hi.y)};
  if (target != b.origin) setContentOffset(target, animated);
}

void CollectionView::layoutSubviews() {
  ScrollView::layoutSubviews();
  updateVisibleViews();
}

void CollectionView::contentOffsetDidChange() {
  if (loaded_) updateVisibleViews();
}

void CollectionView::boundsSizeDidChange(Size old) {
  ScrollView::boundsSizeDidChange(old);
  if (!loaded_) return;
  if (layout_->shouldInvalidateLayoutForBoundsChange(bounds())) layout_->invalidateLayout();
  updateVisibleViews();
}

// ---- Selection ------------------------------------------------------------------

void CollectionView::selectItemAtIndexPath(const IndexPath& indexPath, bool animated, unsigned position) {
  if (!loaded_) reloadData();
  if (!validIndexPath(indexPath)) return;
  if (!allowsMultipleSelection_) {
    for (const IndexPath& other : std::vector<IndexPath>(selected_.begin(), selected_.end()))
      if (other != indexPath) deselectItemAtIndexPath(other, animated);
  }
  selected_.insert(indexPath);
  if (auto it = visible_.find(indexPath); it != visible_.end()) it->second->setSelected(true);
  if (position != CollectionViewScrollPositionNone) scrollToItemAtIndexPath(indexPath, position, animated);
}

void CollectionView::deselectItemAtIndexPath(const IndexPath& indexPath, bool) {
  selected_.erase(indexPath);
  if (auto it = visible_.find(indexPath); it != visible_.end()) it->second->setSelected(false);
}

void CollectionView::userSelectItemAtIndexPath(const IndexPath& indexPath) {
  if (!loaded_) reloadData();
  if (!allowsSelection_ || !validIndexPath(indexPath)) return;
  Ref<Object> keep = weak_from_this().lock();
  Ref<CollectionViewDelegate> del = collectionDelegate();
  auto deselect = [&](const IndexPath& path) {
    if (del && !del->shouldDeselectItemAtIndexPath(*this, path)) return;
    deselectItemAtIndexPath(path, false);
    if (del) del->didDeselectItemAtIndexPath(*this, path);
  };
  if (selected_.count(indexPath) && allowsMultipleSelection_) {
    deselect(indexPath);
    return;
  }
  if (del && !del->shouldSelectItemAtIndexPath(*this, indexPath)) return;
  if (!allowsMultipleSelection_) {
    for (const IndexPath& other : std::vector<IndexPath>(selected_.begin(), selected_.end()))
      if (other != indexPath) deselect(other);
  }
  selected_.insert(indexPath);
  if (auto it = visible_.find(indexPath); it != visible_.end()) it->second->setSelected(true);
  if (del) del->didSelectItemAtIndexPath(*this, indexPath);
}

void CollectionView::cellTouchDown(CollectionViewCell& cell) {
  std::optional<IndexPath> path = indexPathForCell(cell);
  if (!path || !allowsSelection_) return;
  Ref<CollectionViewDelegate> del = collectionDelegate();
  if (del && !del->shouldHighlightItemAtIndexPath(*this, *path)) return;
  touchedItem_ = path;
  cell.setHighlighted(true);
}

void CollectionView::cellTouchUp(CollectionViewCell& cell, bool inside) {
  std::optional<IndexPath> path = indexPathForCell(cell);
  if (!path || touchedItem_ != path) return;
  touchedItem_.reset();
  Ref<Object> keep = weak_from_this().lock();
  cell.setHighlighted(false);
  if (inside) userSelectItemAtIndexPath(*path);
}

}  // namespace kit
