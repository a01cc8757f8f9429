// kit::CollectionView: the platform's collection view, a scroll view whose
// items and section headers and footers are placed by a layout (the flow
// layout by default). As in a table view, only the items in sight exist as
// cells, taken from the data source when they come into view and put in a
// reuse queue when they leave; taps select items through the delegate.
//
//   auto grid = kit::CollectionView::make(frame, layout);
//   grid->registerClass<GiftCell>("GiftCell");
//   grid->setDataSource(self);
//   grid->setDelegate(self);
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kit/ui/collection_view_layout.h"
#include "kit/ui/reuse_pool.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/visible_cells.h"

namespace kit {

class CollectionView;

// A view a collection view reuses (cells, headers, footers).
class CollectionReusableView : public View {
 public:
  explicit CollectionReusableView(const Rect& frame = {}) : View(frame) {}
  const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  void setReuseIdentifier(std::string identifier) { reuseIdentifier_ = std::move(identifier); }
  // Runs before the view is handed out again (the base does nothing).
  virtual void prepareForReuse() {}

 private:
  std::string reuseIdentifier_;
};

class CollectionViewCell : public CollectionReusableView {
 public:
  static Ref<CollectionViewCell> make(const Rect& frame = {}) { return kit::make<CollectionViewCell>(frame); }
  explicit CollectionViewCell(const Rect& frame = {});

  const Ref<View>& contentView() const { return contentView_; }
  const Ref<View>& backgroundView() const { return backgroundView_; }
  void setBackgroundView(Ref<View> view);
  const Ref<View>& selectedBackgroundView() const { return selectedBackgroundView_; }
  void setSelectedBackgroundView(Ref<View> view);
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted);

  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

 private:
  CollectionView* collection() const;
  void showSelectionBackground();
  Ref<View> contentView_, backgroundView_, selectedBackgroundView_;
  bool selected_ = false, highlighted_ = false;
};

enum CollectionViewScrollPosition : unsigned {
  CollectionViewScrollPositionNone = 0,
  CollectionViewScrollPositionTop = 1u << 0,
  CollectionViewScrollPositionCenteredVertically = 1u << 1,
  CollectionViewScrollPositionBottom = 1u << 2,
  CollectionViewScrollPositionLeft = 1u << 3,
  CollectionViewScrollPositionCenteredHorizontally = 1u << 4,
  CollectionViewScrollPositionRight = 1u << 5,
};

class CollectionViewDataSource {
 public:
  virtual ~CollectionViewDataSource() = default;
  virtual long numberOfSectionsInCollectionView(CollectionView&) { return 1; }
  virtual long numberOfItemsInSection(CollectionView&, long section) = 0;
  virtual Ref<CollectionViewCell> cellForItemAtIndexPath(CollectionView&, const IndexPath& indexPath) = 0;
  virtual Ref<CollectionReusableView> viewForSupplementaryElementOfKind(CollectionView&, const std::string& /*kind*/,
                                                                       const IndexPath&) {
    return nullptr;
  }
};

class CollectionViewDelegate : public ScrollViewDelegate {
 public:
  virtual bool shouldHighlightItemAtIndexPath(CollectionView&, const IndexPath&) { return true; }
  virtual bool shouldSelectItemAtIndexPath(CollectionView&, const IndexPath&) { return true; }
  virtual void didSelectItemAtIndexPath(CollectionView&, const IndexPath&) {}
  virtual bool shouldDeselectItemAtIndexPath(CollectionView&, const IndexPath&) { return true; }
  virtual void didDeselectItemAtIndexPath(CollectionView&, const IndexPath&) {}
  virtual void willDisplayCell(CollectionView&, CollectionViewCell&, const IndexPath&) {}
  virtual void didEndDisplayingCell(CollectionView&, CollectionViewCell&, const IndexPath&) {}
};

// The flow layout's questions to the delegate; nullopt keeps the layout's
// own value.
class CollectionViewDelegateFlowLayout : public CollectionViewDelegate {
 public:
  virtual std::optional<Size> sizeForItemAtIndexPath(CollectionView&, CollectionViewLayout&, const IndexPath&) {
    return std::nullopt;
  }
  virtual std::optional<EdgeInsets> insetForSectionAtIndex(CollectionView&, CollectionViewLayout&, long) {
    return std::nullopt;
  }
  virtual std::optional<double> minimumLineSpacingForSectionAtIndex(CollectionView&, CollectionViewLayout&, long) {
    return std::nullopt;
  }
  virtual std::optional<double> minimumInteritemSpacingForSectionAtIndex(CollectionView&, CollectionViewLayout&,
                                                                         long) {
    return std::nullopt;
  }
  virtual std::optional<Size> referenceSizeForHeaderInSection(CollectionView&, CollectionViewLayout&, long) {
    return std::nullopt;
  }
  virtual std::optional<Size> referenceSizeForFooterInSection(CollectionView&, CollectionViewLayout&, long) {
    return std::nullopt;
  }
};

class CollectionView : public ScrollView {
 public:
  using CellFactory = ReusePool<CollectionViewCell>::Factory;
  using SupplementaryFactory = ReusePool<CollectionReusableView>::Factory;

  static Ref<CollectionView> make(const Rect& frame, Ref<CollectionViewLayout> layout) {
    return kit::make<CollectionView>(frame, std::move(layout));
  }
  CollectionView(const Rect& frame, Ref<CollectionViewLayout> layout);
  ~CollectionView() override;

  Ref<CollectionViewDataSource> dataSource() const { return dataSource_.lock(); }
  void setDataSource(Weak<CollectionViewDataSource> dataSource);
  Ref<CollectionViewDelegate> collectionDelegate() const { return collectionDelegate_.lock(); }
  // Also the scroll view's delegate.
  void setDelegate(Weak<CollectionViewDelegate> delegate);

  const Ref<CollectionViewLayout>& collectionViewLayout() const { return layout_; }
  void setCollectionViewLayout(Ref<CollectionViewLayout> layout, bool animated = false);
  const Ref<View>& backgroundView() const { return backgroundView_; }
  void setBackgroundView(Ref<View> view);

  // ---- Cells and reuse
  void registerCellFactory(const std::string& identifier, CellFactory factory);
  template <class Cell>
  void registerClass(const std::string& identifier) {
    registerCellFactory(identifier, [](const std::string&) -> Ref<CollectionViewCell> { return kit::make<Cell>(); });
  }
  // The first collection cell of a nib (see scene_registry.h).
  void registerNib(const std::string& nibName, const std::string& identifier);
  // A waiting cell (after prepareForReuse) or a new one from the
  // registration; raises the platform's exception when nothing is
  // registered under the identifier.
  Ref<CollectionViewCell> dequeueReusableCellWithReuseIdentifier(const std::string& identifier,
                                                                 const IndexPath& indexPath);
  void registerSupplementaryFactory(const std::string& kind, const std::string& identifier,
                                    SupplementaryFactory factory);
  Ref<CollectionReusableView> dequeueReusableSupplementaryViewOfKind(const std::string& kind,
                                                                     const std::string& identifier,
                                                                     const IndexPath& indexPath);

  // ---- Data
  void reloadData();
  void reloadSections(const std::set<long>& sections);
  void reloadItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths);
  void insertItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths);
  void deleteItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths);
  // Runs `updates`, then lays everything out again; the completion runs on
  // the next main run loop pass.
  void performBatchUpdates(const std::function<void()>& updates, std::function<void(bool)> completion = {});
  long numberOfSections();
  long numberOfItemsInSection(long section);

  // ---- Items in sight
  std::vector<Ref<CollectionViewCell>> visibleCells();
  std::vector<IndexPath> indexPathsForVisibleItems();
  Ref<CollectionViewCell> cellForItemAtIndexPath(const IndexPath& indexPath);
  std::optional<IndexPath> indexPathForCell(const CollectionViewCell& cell) const;
  std::optional<IndexPath> indexPathForItemAtPoint(Point point);
  std::optional<CollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(const IndexPath& indexPath);
  // The header or footer view in sight, else nil.
  Ref<CollectionReusableView> supplementaryViewForElementKind(const std::string& kind, const IndexPath& indexPath);
  void scrollToItemAtIndexPath(const IndexPath& indexPath, unsigned scrollPosition, bool animated);

  // ---- Selection (the methods do not call the delegate)
  bool allowsSelection() const { return allowsSelection_; }
  void setAllowsSelection(bool v) { allowsSelection_ = v; }
  bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
  void setAllowsMultipleSelection(bool v) { allowsMultipleSelection_ = v; }
  std::vector<IndexPath> indexPathsForSelectedItems() const { return {selected_.begin(), selected_.end()}; }
  void selectItemAtIndexPath(const IndexPath& indexPath, bool animated, unsigned scrollPosition);
  void deselectItemAtIndexPath(const IndexPath& indexPath, bool animated);
  // What a tap on an item does, with the delegate's say.
  void userSelectItemAtIndexPath(const IndexPath& indexPath);

  // ---- Used by cells
  void cellTouchDown(CollectionViewCell& cell);
  void cellTouchUp(CollectionViewCell& cell, bool inside);

  void layoutSubviews() override;

 protected:
  void contentOffsetDidChange() override;
  void boundsSizeDidChange(Size old) override;

 private:
  void ensureLayout();
  bool validIndexPath(const IndexPath& indexPath) const;
  void updateVisibleViews();
  void retireAll();
  void retireCell(const IndexPath& indexPath, const Ref<CollectionViewCell>& cell);

  Weak<CollectionViewDataSource> dataSource_;
  Weak<CollectionViewDelegate> collectionDelegate_;
  Ref<CollectionViewLayout> layout_;
  Ref<View> backgroundView_;
  bool allowsSelection_ = true, allowsMultipleSelection_ = false;
  std::set<IndexPath> selected_;
  std::optional<IndexPath> touchedItem_;

  ReusePool<CollectionViewCell> cells_;
  std::map<std::string, ReusePool<CollectionReusableView>> supplementaryPools_;  // by kind
  bool loaded_ = false;
  bool updatingViews_ = false;
  std::vector<long> itemCounts_;
  VisibleCells<CollectionViewCell> visible_;
  std::map<std::pair<std::string, IndexPath>, Ref<CollectionReusableView>> visibleSupplementary_;
};

}  // namespace kit
