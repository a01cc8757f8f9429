// The user centre's paged lists. See kt_paged_list.h.
#include "platform/usercenter/kt_paged_list.h"

#include "data/model/mx_key_value.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/number.h"
#include "kit/foundation/set.h"
#include "kit/foundation/string.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/screen.h"
#include "kit/ui/window.h"
#include "net/mutable_dictionary_fields.h"
#include "net/network_manager.h"
#include "net/response_serializer.h"
#include "platform/base/share_vale.h"
#include "ui/widgets/ui_scroll_view_kt_refresh.h"

namespace {

// An integer value of a reply: a number or a decimal text; anything else,
// and a negative value, counts 0.
unsigned long pageNumber(const kit::Id& value) {
  long number = 0;
  if (auto n = kit::as<kit::Number>(value)) number = n->integerValue();
  else if (auto s = kit::as<kit::String>(value)) number = s->integerValue();
  return number > 0 ? static_cast<unsigned long>(number) : 0;
}

}  // namespace

std::optional<KTPagedListReply> KTPagedListReply::read(const kit::Id& reply, const kit::Class& recordClass) {
  if (!kit::as<kit::Dictionary>(reply)) return std::nullopt;
  const kit::Id& object = reply;
  KTPagedListReply page;
  page.totalPage = pageNumber(object["total_page"]);
  page.nowPage = pageNumber(object["now_page"]);
  auto lists = object["lists"];
  if (kit::as<kit::Array>(lists)) page.records = mx_objectArrayWithKeyValuesArray(recordClass, lists);
  if (!page.records) page.records = kit::MutableArray::make();
  return page;
}

KTPagedListVC::~KTPagedListVC() {
  if (manager_) manager_->invalidateSessionCancelingTasks(true);
}

const kit::Ref<kit::MutableArray>& KTPagedListVC::dataSource() {
  if (!dataSource_) dataSource_ = kit::MutableArray::make();
  return dataSource_;
}

const kit::Ref<SDPHTTPSessionManager>& KTPagedListVC::manager() {
  if (!manager_) {
    manager_ = SDPHTTPSessionManager::manager();
    auto serializer = manager_->responseSerializer();
    auto types = serializer->acceptableContentTypes();
    serializer->setAcceptableContentTypes(types ? types->setByAddingObject(kit::str("text/html"))
                                                : kit::Set::make({kit::str("text/html")}));
  }
  return manager_;
}

void KTPagedListVC::setUpRefresh(kit::TableView& table) {
  kit::Weak<KTPagedListVC> weak = weakSelf<KTPagedListVC>();
  auto header = KTRefreshNormalHeader::headerWithRefreshingBlock([weak] {
    if (auto self = weak.lock()) self->loadNewData();
  });
  header->stateLabel()->setHidden(false);
  header->setAutomaticallyChangeAlpha(true);
  UIScrollViewKTRefresh::setKT_header(table, header);
  header_ = header;

  auto footer = KTRefreshAutoNormalFooter::footerWithRefreshingBlock([weak] {
    if (auto self = weak.lock()) self->loadMoreData();
  });
  footer->setTriggerAutomaticallyRefreshPercent(0.0);
  footer->setHidden(true);
  UIScrollViewKTRefresh::setKT_footer(table, footer);
  footer->setTitle(noMoreText(), KTRefreshState::NoMoreData);
  footer_ = footer;

  header->beginRefreshing();
}

void KTPagedListVC::loadNewData() {
  KIT_CHECK_MAIN_THREAD();
  const unsigned long load = ++firstPageLoads_;
  post(1, [load](KTPagedListVC& self, const kit::Id& reply) { self.firstPageCame(load, reply); });
}

void KTPagedListVC::loadMoreData() {
  KIT_CHECK_MAIN_THREAD();
  // The footer asks again while it shows; the load on its way answers it.
  if (loadingMore_) return;
  loadingMore_ = true;
  const unsigned long page = ++currentPage_;
  const unsigned long list = listsShown_;
  post(page, [page, list](KTPagedListVC& self, const kit::Id& reply) { self.morePageCame(page, list, reply); });
}

void KTPagedListVC::startNewList() {
  KIT_CHECK_MAIN_THREAD();
  // A new list: a load of more rows asked for the old one is dropped.
  ++listsShown_;
  dataSource_ = kit::MutableArray::make();
  currentPage_ = 0;
  totalPage_ = 0;
  if (auto table = tableView()) table->reloadData();
  if (auto footer = this->footer(); footer && footer->state() == KTRefreshState::NoMoreData) footer->resetNoMoreData();
}

void KTPagedListVC::post(unsigned long page, std::function<void(KTPagedListVC&, const kit::Id&)> done) {
  auto parameters = kit::MutableDictionary::make();
  setObjectForField(*parameters, ShareVale::sharedInstance()->gameID(), "gid");
  setObjectForField(*parameters, kit::num(page), "pagecode");
  parameters->addEntriesFromDictionary(*listParameters());
  kit::Weak<KTPagedListVC> weak = weakSelf<KTPagedListVC>();
  manager()->POST(
      SDPPlatformAPIBaseURL() + listPath(), parameters,
      [weak, done](const kit::Ref<kit::URLSessionDataTask>&, const kit::Id& reply) {
        auto self = weak.lock();
        if (!self) return;
        ++self->repliesReceived_;
        // A reply that is not an object counts as a failure.
        done(*self, kit::as<kit::Dictionary>(reply) ? reply : nullptr);
      },
      [weak, done](const kit::Ref<kit::URLSessionDataTask>&, const kit::Ref<kit::Error>&) {
        auto self = weak.lock();
        if (!self) return;
        ++self->repliesReceived_;
        done(*self, nullptr);
      });
}

void KTPagedListVC::firstPageCame(unsigned long load, const kit::Id& reply) {
  // A later pull-down (or the other set of a switching list) is on its way:
  // its reply decides, and ends the header.
  if (load != firstPageLoads_) return;
  if (!reply) return applyFailure(true);
  ++listsShown_;
  applyReply(reply, true);
}

void KTPagedListVC::morePageCame(unsigned long page, unsigned long list, const kit::Id& reply) {
  loadingMore_ = false;
  if (list != listsShown_) {
    // Page 1 replaced the rows since this page was asked: it belongs to the
    // old list. The new list goes on from its own page 1, if it has more;
    // otherwise the footer stops waiting (a new list whose page 1 has not
    // come may still load).
    if (currentPage_ < totalPage_) {
      loadMoreData();
    } else if (auto footer = this->footer(); footer && footer->isRefreshing()) {
      footer->endRefreshing();
    }
    return;
  }
  if (!reply) {
    // The same page next time, unless a reply moved the counter meanwhile.
    if (currentPage_ == page) currentPage_ = page - 1;
    return applyFailure(false);
  }
  applyReply(reply, false);
}

void KTPagedListVC::applyReply(const kit::Id& reply, bool firstPage) {
  KIT_CHECK_MAIN_THREAD();
  auto page = KTPagedListReply::read(reply, recordClass());
  if (!page) return applyFailure(firstPage);
  if (firstPage) willApplyFirstPage(kit::as<kit::Dictionary>(reply));
  totalPage_ = page->totalPage;
  currentPage_ = page->nowPage;
  auto table = tableView();
  if (firstPage) {
    dataSource_ = page->records;
    if (auto header = this->header()) header->endRefreshing();
    if (auto footer = this->footer()) footer->setHidden(false);
  } else {
    dataSource()->addObjectsFromArray(*page->records);
  }
  if (table) table->reloadData();
  checkFooterState();
}

void KTPagedListVC::applyFailure(bool firstPage) {
  if (firstPage) {
    if (auto header = this->header()) header->endRefreshing();
  } else if (auto footer = this->footer()) {
    footer->endRefreshing();
  }
}

void KTPagedListVC::checkFooterState() {
  auto footer = this->footer();
  if (!footer) return;
  if (currentPage_ >= totalPage_) {
    footer->endRefreshingWithNoMoreData();
  } else {
    footer->endRefreshing();
  }
}

bool KTPagedListVC::screenIsLandscape() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  return screen.size.height <= screen.size.width;
}

double KTPagedListVC::barHeight() {
  if (kit::Device::current()->systemVersionNumber() < 11) return 44;
  auto key = kit::Application::shared()->keyWindow();
  return key && key->windowSafeAreaInsets().bottom > 0 ? 83 : 44;
}
