// Collection view layouts: the abstract layout a collection view asks where
// its items and supplementary views go, and the platform's flow layout,
// which fills lines of items (rows when scrolling vertically, columns when
// scrolling horizontally) section after section, with a header and footer
// per section. Lines are spread to the full width with equal gaps, except
// the last line of a section, which keeps the minimum gap from the leading
// edge; a line holding one item that is not the last is centred.
//
//   auto layout = kit::make<kit::CollectionViewFlowLayout>();
//   layout->itemSize = {85, 110};
//   layout->minimumInteritemSpacing = 10;
//   layout->sectionInset = {10, 10, 10, 10};
//   auto grid = kit::CollectionView::make(frame, layout);
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/index_path.h"

namespace kit {

class CollectionView;

inline constexpr const char* CollectionElementKindSectionHeader = "UICollectionElementKindSectionHeader";
inline constexpr const char* CollectionElementKindSectionFooter = "UICollectionElementKindSectionFooter";

struct CollectionViewLayoutAttributes {
  IndexPath indexPath;
  Rect frame;
  // Empty for a cell, else the supplementary kind.
  std::string elementKind;
  bool isCell() const { return elementKind.empty(); }
};

class CollectionViewLayout : public Object {
 public:
  // Works out the attributes from the collection view's data (called
  // before use after every invalidation).
  virtual void prepareLayout() {}
  virtual Size collectionViewContentSize() const = 0;
  virtual std::vector<CollectionViewLayoutAttributes> layoutAttributesForElementsInRect(const Rect& rect) const = 0;
  virtual std::optional<CollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(
      const IndexPath& indexPath) const = 0;
  virtual std::optional<CollectionViewLayoutAttributes> layoutAttributesForSupplementaryView(
      const std::string& kind, const IndexPath& indexPath) const;
  // Whether a bounds change needs a new layout (a width change for the
  // flow layout).
  virtual bool shouldInvalidateLayoutForBoundsChange(const Rect& newBounds) const;

  // The collection view that uses the layout (set by it; never owning).
  CollectionView* collectionView() const { return collectionView_; }
  void setCollectionView(CollectionView* view) { collectionView_ = view; }
  void invalidateLayout();
  bool isValid() const { return valid_; }
  void markPrepared() { valid_ = true; }

 private:
  CollectionView* collectionView_ = nullptr;
  bool valid_ = false;
};

enum class CollectionViewScrollDirection { Vertical = 0, Horizontal };

class CollectionViewFlowLayout : public CollectionViewLayout {
 public:
  static Ref<CollectionViewFlowLayout> make() { return kit::make<CollectionViewFlowLayout>(); }

  Size itemSize{50, 50};
  Size estimatedItemSize;  // kept for those who read it
  double minimumLineSpacing = 10;
  double minimumInteritemSpacing = 10;
  EdgeInsets sectionInset;
  CollectionViewScrollDirection scrollDirection = CollectionViewScrollDirection::Vertical;
  Size headerReferenceSize;
  Size footerReferenceSize;

  void prepareLayout() override;
  Size collectionViewContentSize() const override { return contentSize_; }
  std::vector<CollectionViewLayoutAttributes> layoutAttributesForElementsInRect(const Rect& rect) const override;
  std::optional<CollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(
      const IndexPath& indexPath) const override;
  std::optional<CollectionViewLayoutAttributes> layoutAttributesForSupplementaryView(
      const std::string& kind, const IndexPath& indexPath) const override;
  bool shouldInvalidateLayoutForBoundsChange(const Rect& newBounds) const override;

 private:
  std::vector<std::vector<CollectionViewLayoutAttributes>> items_;  // per section
  std::vector<CollectionViewLayoutAttributes> supplementary_;
  Size contentSize_;
  Size preparedFor_;
};

}  // namespace kit
