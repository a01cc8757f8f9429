// The abstract collection layout and the flow layout's line filling.
#include "kit/ui/collection_view_layout.h"

#include <algorithm>

#include "kit/ui/collection_view.h"

namespace kit {

std::optional<CollectionViewLayoutAttributes> CollectionViewLayout::layoutAttributesForSupplementaryView(
    const std::string&, const IndexPath&) const {
  return std::nullopt;
}

bool CollectionViewLayout::shouldInvalidateLayoutForBoundsChange(const Rect&) const { return false; }

void CollectionViewLayout::invalidateLayout() {
  valid_ = false;
  if (collectionView_) collectionView_->setNeedsLayout();
}

namespace {

// Distances along the scrolling axis ("main") and across it ("cross").
struct Axes {
  bool vertical;
  double cross(Size s) const { return vertical ? s.width : s.height; }
  double main(Size s) const { return vertical ? s.height : s.width; }
  Rect rect(double crossPos, double mainPos, double crossLen, double mainLen) const {
    return vertical ? Rect{crossPos, mainPos, crossLen, mainLen} : Rect{mainPos, crossPos, mainLen, crossLen};
  }
  double crossStart(const EdgeInsets& e) const { return vertical ? e.left : e.top; }
  double crossEnd(const EdgeInsets& e) const { return vertical ? e.right : e.bottom; }
  double mainStart(const EdgeInsets& e) const { return vertical ? e.top : e.left; }
  double mainEnd(const EdgeInsets& e) const { return vertical ? e.bottom : e.right; }
};

}  // namespace

void CollectionViewFlowLayout::prepareLayout() {
  items_.clear();
  supplementary_.clear();
  contentSize_ = {};
  CollectionView* view = collectionView();
  if (!view) return;
  const Axes axes{scrollDirection == CollectionViewScrollDirection::Vertical};
  const Rect bounds = view->bounds();
  preparedFor_ = bounds.size;
  auto flow = as<CollectionViewDelegateFlowLayout>(view->collectionDelegate());
  const double crossLength = axes.cross(bounds.size);
  double main = 0;
  const long sections = view->numberOfSections();
  items_.resize(static_cast<size_t>(std::max(0L, sections)));
  for (long s = 0; s < sections; ++s) {
    const EdgeInsets inset = flow ? flow->insetForSectionAtIndex(*view, *this, s).value_or(sectionInset) : sectionInset;
    const double lineGap =
        flow ? flow->minimumLineSpacingForSectionAtIndex(*view, *this, s).value_or(minimumLineSpacing)
             : minimumLineSpacing;
    const double itemGap =
        flow ? flow->minimumInteritemSpacingForSectionAtIndex(*view, *this, s).value_or(minimumInteritemSpacing)
             : minimumInteritemSpacing;
    const Size header = flow ? flow->referenceSizeForHeaderInSection(*view, *this, s).value_or(headerReferenceSize)
                             : headerReferenceSize;
    const Size footer = flow ? flow->referenceSizeForFooterInSection(*view, *this, s).value_or(footerReferenceSize)
                             : footerReferenceSize;
    if (axes.main(header) > 0) {
      supplementary_.push_back(
          {IndexPath::forItem(0, s), axes.rect(0, main, crossLength, axes.main(header)), CollectionElementKindSectionHeader});
      main += axes.main(header);
    }
    main += axes.mainStart(inset);
    const double available = std::max(0.0, crossLength - axes.crossStart(inset) - axes.crossEnd(inset));
    const long count = view->numberOfItemsInSection(s);
    std::vector<CollectionViewLayoutAttributes>& placed = items_[static_cast<size_t>(s)];
    placed.reserve(static_cast<size_t>(std::max(0L, count)));

    std::vector<std::pair<long, Size>> line;
    double lineCross = 0;
    bool firstLine = true;
    auto closeLine = [&](bool last) {
      if (line.empty()) return;
      if (!firstLine) main += lineGap;
      firstLine = false;
      double lineMain = 0, sum = 0;
      for (auto& [item, size] : line) {
        lineMain = std::max(lineMain, axes.main(size));
        sum += axes.cross(size);
      }
      const size_t n = line.size();
      double gap = itemGap;
      double pos = axes.crossStart(inset);
      if (!last && n > 1) gap = (available - sum) / static_cast<double>(n - 1);
      else if (!last && n == 1) pos += (available - sum) / 2;
      for (auto& [item, size] : line) {
        const double offset = (lineMain - axes.main(size)) / 2;  // centred across the line
        placed.push_back({IndexPath::forItem(item, s),
                          axes.rect(pos, main + offset, axes.cross(size), axes.main(size)), std::string()});
        pos += axes.cross(size) + gap;
      }
      main += lineMain;
      line.clear();
      lineCross = 0;
    };
    for (long i = 0; i < count; ++i) {
      Size size = flow ? flow->sizeForItemAtIndexPath(*view, *this, IndexPath::forItem(i, s)).value_or(itemSize)
                       : itemSize;
      size.width = std::max(0.0, size.width);
      size.height = std::max(0.0, size.height);
      const double needed = (line.empty() ? 0 : lineCross + itemGap) + axes.cross(size);
      if (!line.empty() && needed > available + 1e-9) closeLine(false);
      lineCross = (line.empty() ? 0 : lineCross + itemGap) + axes.cross(size);
      line.emplace_back(i, size);
    }
    closeLine(true);
    main += axes.mainEnd(inset);
    if (axes.main(footer) > 0) {
      supplementary_.push_back(
          {IndexPath::forItem(0, s), axes.rect(0, main, crossLength, axes.main(footer)), CollectionElementKindSectionFooter});
      main += axes.main(footer);
    }
  }
  contentSize_ = axes.vertical ? Size{crossLength, main} : Size{main, crossLength};
}

std::vector<CollectionViewLayoutAttributes> CollectionViewFlowLayout::layoutAttributesForElementsInRect(
    const Rect& rect) const {
  std::vector<CollectionViewLayoutAttributes> out;
  for (const auto& section : items_)
    for (const auto& a : section)
      if (a.frame.intersects(rect)) out.push_back(a);
  for (const auto& a : supplementary_)
    if (a.frame.intersects(rect)) out.push_back(a);
  return out;
}

std::optional<CollectionViewLayoutAttributes> CollectionViewFlowLayout::layoutAttributesForItemAtIndexPath(
    const IndexPath& indexPath) const {
  if (indexPath.section < 0 || indexPath.section >= static_cast<long>(items_.size())) return std::nullopt;
  const auto& section = items_[static_cast<size_t>(indexPath.section)];
  if (indexPath.item() < 0 || indexPath.item() >= static_cast<long>(section.size())) return std::nullopt;
  return section[static_cast<size_t>(indexPath.item())];
}

std::optional<CollectionViewLayoutAttributes> CollectionViewFlowLayout::layoutAttributesForSupplementaryView(
    const std::string& kind, const IndexPath& indexPath) const {
  for (const auto& a : supplementary_)
    if (a.elementKind == kind && a.indexPath.section == indexPath.section) return a;
  return std::nullopt;
}

bool CollectionViewFlowLayout::shouldInvalidateLayoutForBoundsChange(const Rect& newBounds) const {
  return scrollDirection == CollectionViewScrollDirection::Vertical ? newBounds.size.width != preparedFor_.width
                                                                    : newBounds.size.height != preparedFor_.height;
}

}  // namespace kit
