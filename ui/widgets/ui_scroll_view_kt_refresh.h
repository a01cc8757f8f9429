// The refresh slots of scroll views: a header and a footer per scroll view
// (held by the scroll view's subview list; the slot itself does not keep
// them), the number of rows or items a table or collection view shows, and
// the reload-data block with the reload that runs it.
//
//   UIScrollViewKTRefresh::setKT_header(*table, KTRefreshNormalHeader::headerWithRefreshingBlock(load));
//   UIScrollViewKTRefresh::KT_totalDataCount(*table);   // rows of every section
//
// Nothing replaces a table's or collection view's own reloadData with
// KT_reloadData: a caller who wants the block run calls KT_reloadData.
#pragma once

#include <functional>

#include "kit/ui/collection_view.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/table_view.h"

class KTRefreshHeader;
class KTRefreshFooter;

class UIScrollViewKTRefresh {
 public:
  using ReloadDataBlock = std::function<void(long totalDataCount)>;

  static kit::Ref<KTRefreshHeader> KT_header(const kit::ScrollView& view);
  // Nothing when `header` is the current one; else the current one leaves
  // the scroll view and the new one is inserted as its first subview.
  static void setKT_header(kit::ScrollView& view, const kit::Ref<KTRefreshHeader>& header);
  static kit::Ref<KTRefreshFooter> KT_footer(const kit::ScrollView& view);
  static void setKT_footer(kit::ScrollView& view, const kit::Ref<KTRefreshFooter>& footer);
  static kit::Ref<KTRefreshHeader> header(const kit::ScrollView& view) { return KT_header(view); }
  static void setHeader(kit::ScrollView& view, const kit::Ref<KTRefreshHeader>& h) { setKT_header(view, h); }
  static kit::Ref<KTRefreshFooter> footer(const kit::ScrollView& view) { return KT_footer(view); }
  static void setFooter(kit::ScrollView& view, const kit::Ref<KTRefreshFooter>& f) { setKT_footer(view, f); }

  // The rows of every section of a table view, the items of every section
  // of a collection view, 0 for other scroll views.
  static long KT_totalDataCount(kit::ScrollView& view);

  static ReloadDataBlock KT_reloadDataBlock(const kit::ScrollView& view);
  static void setKT_reloadDataBlock(kit::ScrollView& view, ReloadDataBlock block);
  // Calls the reload-data block, if any, with the data count.
  static void executeReloadDataBlock(kit::ScrollView& view);
};

class UITableViewKTRefresh {
 public:
  // The table's own reload, then the reload-data block.
  static void KT_reloadData(kit::TableView& table);
};

class UICollectionViewKTRefresh {
 public:
  static void KT_reloadData(kit::CollectionView& collection);
};
