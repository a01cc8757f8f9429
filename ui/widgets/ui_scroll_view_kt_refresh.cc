// The refresh slots, data count and reload-data block of scroll views. See
// ui_scroll_view_kt_refresh.h.
#include "ui/widgets/ui_scroll_view_kt_refresh.h"

#include "kit/dispatch/thread_check.h"
#include "ui/widgets/kt_refresh_footer.h"
#include "ui/widgets/kt_refresh_header.h"

namespace {

char kHeaderKey, kFooterKey, kReloadDataBlockKey;

// A block as an associated object.
class ReloadDataBlockBox : public kit::Object {
 public:
  explicit ReloadDataBlockBox(UIScrollViewKTRefresh::ReloadDataBlock b) : block(std::move(b)) {}
  UIScrollViewKTRefresh::ReloadDataBlock block;
};

void replaceSlot(kit::ScrollView& view, const void* key, const kit::Ref<KTRefreshComponent>& component) {
  KIT_CHECK_MAIN_THREAD();
  kit::Id current = view.associated(key);
  if (current == component) return;
  if (auto old = std::dynamic_pointer_cast<kit::View>(current)) old->removeFromSuperview();
  if (component) view.insertSubviewAt(component, 0);
  view.setAssociated(key, component, kit::Association::Weak);
}

}  // namespace

kit::Ref<KTRefreshHeader> UIScrollViewKTRefresh::KT_header(const kit::ScrollView& view) {
  return std::dynamic_pointer_cast<KTRefreshHeader>(view.associated(&kHeaderKey));
}

void UIScrollViewKTRefresh::setKT_header(kit::ScrollView& view, const kit::Ref<KTRefreshHeader>& header) {
  replaceSlot(view, &kHeaderKey, header);
}

kit::Ref<KTRefreshFooter> UIScrollViewKTRefresh::KT_footer(const kit::ScrollView& view) {
  return std::dynamic_pointer_cast<KTRefreshFooter>(view.associated(&kFooterKey));
}

void UIScrollViewKTRefresh::setKT_footer(kit::ScrollView& view, const kit::Ref<KTRefreshFooter>& footer) {
  replaceSlot(view, &kFooterKey, footer);
}

long UIScrollViewKTRefresh::KT_totalDataCount(kit::ScrollView& view) {
  long total = 0;
  if (auto* table = dynamic_cast<kit::TableView*>(&view)) {
    for (long section = 0; section < table->numberOfSections(); ++section) {
      total += table->numberOfRowsInSection(section);
    }
  } else if (auto* collection = dynamic_cast<kit::CollectionView*>(&view)) {
    for (long section = 0; section < collection->numberOfSections(); ++section) {
      total += collection->numberOfItemsInSection(section);
    }
  }
  return total;
}

UIScrollViewKTRefresh::ReloadDataBlock UIScrollViewKTRefresh::KT_reloadDataBlock(const kit::ScrollView& view) {
  auto box = std::dynamic_pointer_cast<ReloadDataBlockBox>(view.associated(&kReloadDataBlockKey));
  return box ? box->block : ReloadDataBlock{};
}

void UIScrollViewKTRefresh::setKT_reloadDataBlock(kit::ScrollView& view, ReloadDataBlock block) {
  view.setAssociated(&kReloadDataBlockKey, block ? kit::make<ReloadDataBlockBox>(std::move(block)) : nullptr);
}

void UIScrollViewKTRefresh::executeReloadDataBlock(kit::ScrollView& view) {
  if (auto block = KT_reloadDataBlock(view)) block(KT_totalDataCount(view));
}

void UITableViewKTRefresh::KT_reloadData(kit::TableView& table) {
  table.reloadData();
  UIScrollViewKTRefresh::executeReloadDataBlock(table);
}

void UICollectionViewKTRefresh::KT_reloadData(kit::CollectionView& collection) {
  collection.reloadData();
  UIScrollViewKTRefresh::executeReloadDataBlock(collection);
}
