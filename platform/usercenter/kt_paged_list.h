// KTPagedListVC: the paging that the user centre's lists share (server
// openings, account trade, gift packs, coupons, messages). A page owns a
// table with a pull-down header that loads page 1 and an automatic footer
// that loads the next page, a form-post client, the page counters and the
// rows. Each list names its path, its further request keys, its record
// class and the footer's text at the end of the list; the rows of a reply's
// "lists" are that class filled by the model mapping.
//
// A reply is a JSON object with "total_page", "now_page" (integer values; a
// missing or negative one counts 0) and "lists"; anything else counts as a
// failed request. No row is lost or shown twice, whatever the order the
// replies come back in:
// - only the latest load of page 1 replaces the rows (an earlier one that
//   comes back later is dropped);
// - one load of more rows runs at a time, and it appends only to the list
//   it was asked for: when page 1 replaced the rows meanwhile, its reply is
//   dropped and the next page of the new list is asked instead;
// - a failed load of more rows asks for the same page next time;
// - a list that switches sets (startNewList) shows no row of the old set
//   under the new one, even when the new set's first page fails.
// Replies reach the page weakly: a closed page is released and its late
// replies do nothing. Main thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/runtime.h"
#include "kit/ui/table_view.h"
#include "kit/ui/view_controller.h"
#include "net/http_session_manager.h"
#include "ui/widgets/kt_refresh_footer.h"
#include "ui/widgets/kt_refresh_normal_header.h"

// One reply of a list endpoint, as the lists read it.
struct KTPagedListReply {
  unsigned long totalPage = 0;
  unsigned long nowPage = 0;
  kit::Ref<kit::MutableArray> records;  // never nil

  // Nullopt for a reply that is not a JSON object; rows of `recordClass`
  // mapped from "lists" (none when it is missing or not an array).
  static std::optional<KTPagedListReply> read(const kit::Id& reply, const kit::Class& recordClass);
};

class KTPagedListVC : public kit::ViewController, public kit::TableViewDataSource, public kit::TableViewDelegate {
 public:
  // Ends the session, which keeps its client alive while tasks run.
  ~KTPagedListVC() override;

  // ---- What each list says about itself.
  // The path after the platform API base, e.g. "Server/lists".
  virtual std::string listPath() const = 0;
  // The keys the list sends besides "gid" and "pagecode".
  virtual kit::Ref<kit::Dictionary> listParameters() const { return kit::Dictionary::make(); }
  virtual const kit::Class& recordClass() const = 0;
  // The footer's text at the end of the list.
  virtual std::string noMoreText() const { return ""; }
  // Called with a successful first-page reply before its rows are applied.
  virtual void willApplyFirstPage(const kit::Ref<kit::Dictionary>& /*reply*/) {}

  // ---- Paging.
  // Asks for page 1 (pull-down and first load).
  void loadNewData();
  // Asks for the page after currentPage (the footer came into view);
  // nothing while a load of more rows is on its way.
  void loadMoreData();
  // The footer's state from the counters: no more data once currentPage
  // reaches totalPage.
  void checkFooterState();

  // For a list that switches to another set of rows: the old set's rows
  // and counters go at once, a load of more rows of it still on its way is
  // dropped when it comes, and the footer may load again, so that the next
  // load of more rows (like a pull-down) asks for the new set's page 1.
  // The caller then asks for page 1.
  void startNewList();

  // Gives `table` the header and footer and starts the first load; each
  // list calls it once, when its table is made.
  void setUpRefresh(kit::TableView& table);

  // Applies a reply to the rows on show: `firstPage` for a load of page 1.
  // A reply that is not an object is a failure.
  void applyReply(const kit::Id& reply, bool firstPage);
  void applyFailure(bool firstPage);

  const kit::Ref<kit::MutableArray>& dataSource();
  unsigned long currentPage() const { return currentPage_; }
  void setCurrentPage(unsigned long v) { currentPage_ = v; }
  unsigned long totalPage() const { return totalPage_; }
  void setTotalPage(unsigned long v) { totalPage_ = v; }
  const kit::Ref<SDPHTTPSessionManager>& manager();
  // The list's table (made by each list).
  virtual kit::Ref<kit::TableView> tableView() = 0;
  // How many of the list's requests have come back (answered or failed,
  // dropped ones included).
  unsigned long repliesReceived() const { return repliesReceived_; }
  kit::Ref<KTRefreshNormalHeader> header() const { return header_.lock(); }
  kit::Ref<KTRefreshAutoNormalFooter> footer() const { return footer_.lock(); }

  // The screen measures the lists size their tables by: the main screen
  // counts as landscape when it is not taller than wide; the user centre's
  // bar is 44 high below system version 11, else 83 when the key window has
  // a bottom safe-area inset and 44 otherwise.
  static bool screenIsLandscape();
  static double barHeight();

  // The record of a row, or nil.
  template <class T>
  kit::Ref<T> record(long row) {
    auto& rows = dataSource();
    return row >= 0 && row < static_cast<long>(rows->count()) ? kit::as<T>(rows->objectAtIndex(row)) : nullptr;
  }

  long numberOfRowsInSection(kit::TableView&, long) override { return static_cast<long>(dataSource()->count()); }

 private:
  // Sends the request for `page`; `done` gets the reply, or nil for a
  // failure.
  void post(unsigned long page, std::function<void(KTPagedListVC&, const kit::Id&)> done);
  void firstPageCame(unsigned long load, const kit::Id& reply);
  void morePageCame(unsigned long page, unsigned long list, const kit::Id& reply);

  kit::Ref<kit::MutableArray> dataSource_;
  unsigned long currentPage_ = 0, totalPage_ = 0;
  kit::Ref<SDPHTTPSessionManager> manager_;
  kit::Weak<KTRefreshNormalHeader> header_;
  kit::Weak<KTRefreshAutoNormalFooter> footer_;
  // Counts the loads of page 1 asked; only the latest one's reply is used.
  unsigned long firstPageLoads_ = 0;
  // Counts the lists shown: each page 1 applied starts a new one. A load of
  // more rows remembers the list it was asked for.
  unsigned long listsShown_ = 0;
  bool loadingMore_ = false;
  unsigned long repliesReceived_ = 0;
};
