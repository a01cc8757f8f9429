// The user centre's paged areas of list pages. See kt_su_page_scroll.h.
#include "platform/usercenter/kt_su_page_scroll.h"

#include <algorithm>
#include <cmath>

size_t KTSuVisibleChildIndex(const kit::ScrollView& scrollView, size_t childCount) {
  const double width = scrollView.bounds().size.width;
  if (width <= 0 || childCount == 0) return 0;
  const double index = std::floor(scrollView.contentOffset().x / width);
  if (!(index > 0)) return 0;
  return std::min(static_cast<size_t>(std::min(index, 1e9)), childCount - 1);
}

void KTSuPlaceVisibleChild(kit::ViewController& parent, kit::ScrollView& scrollView) {
  const auto& children = parent.childViewControllers();
  if (children.empty()) return;
  const auto& child = children[KTSuVisibleChildIndex(scrollView, children.size())];
  if (child->isViewLoaded()) return;
  const kit::Size size = scrollView.bounds().size;
  child->view()->setFrame(kit::Rect{scrollView.contentOffset().x, 0, size.width, size.height});
  scrollView.addSubview(child->view());
}
