// Fuzz target for the user centre's paged list replies: any JSON value is
// read as a page of each list's records, and applied as a first page and
// as a further page of a list page. Rows, counters and the footer always
// agree: a page replaces or extends the rows by exactly its records, the
// counters follow the reply (a negative or missing one counts 0), and the
// footer ends the list exactly when the counter has reached the total.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "platform/usercenter/kt_paged_list.h"
#include "platform/usercenter/kt_su_coupon_vc.h"
#include "platform/usercenter/kt_su_models.h"

namespace {

using fuzzsupport::check;

const kit::Class* const kRecordClasses[] = {&KTSuKaifuModel::staticClass(), &KTSuTradeModel::staticClass(),
                                            &KTSuGiftModel::staticClass(), &KTSuCouponModel::staticClass(),
                                            &KTSuHomeMsgModel::staticClass()};

void checkRecords(const KTPagedListReply& page, const kit::Class& cls) {
  for (const kit::Id& record : *page.records) {
    check(record && &record->objectClass() == &cls);
    if (auto opening = kit::as<KTSuKaifuModel>(record)) check(opening->rowHeight() >= KTSuKaifuModel::RowPadding);
    if (auto pack = kit::as<KTSuGiftModel>(record)) check(pack->getCodeH() > pack->copyH());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    fuzzsupport::silenceLogs();
    return true;
  }();
  (void)quiet;
  const std::string text(reinterpret_cast<const char*>(data), size);
  kit::Id reply = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(text), 0);

  for (const kit::Class* cls : kRecordClasses) {
    auto page = KTPagedListReply::read(reply, *cls);
    check(page.has_value() == kit::isKind<kit::Dictionary>(reply));
    if (!page) continue;
    check(page->records != nullptr);
    if (!kit::isKind<kit::Array>(reply["lists"])) check(page->records->count() == 0);
    checkRecords(*page, *cls);
  }

  auto list = KTSuCouponVC::make();
  list->loadViewIfNeeded();
  const auto expected = KTPagedListReply::read(reply, KTSuCouponModel::staticClass());
  for (bool firstPage : {true, false}) {
    const size_t before = list->dataSource()->count();
    const unsigned long counter = list->currentPage();
    list->applyReply(reply, firstPage);
    if (!expected) {
      check(list->dataSource()->count() == before && list->currentPage() == counter);
      continue;
    }
    check(list->currentPage() == expected->nowPage && list->totalPage() == expected->totalPage);
    check(list->dataSource()->count() == (firstPage ? 0 : before) + expected->records->count());
    const bool ended = list->footer()->state() == KTRefreshState::NoMoreData;
    check(ended == (list->currentPage() >= list->totalPage()));
  }
  return 0;
}
