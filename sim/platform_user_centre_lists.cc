// The user centre's paged lists. See platform_user_centre_lists.h.
#include "sim/platform_user_centre_lists.h"

#include <cstdlib>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"

namespace sim {

PlatformUserCentreLists::PlatformUserCentreLists(PlatformAPIServer& server) {
  for (const char* endpoint : {kServerList, kTradeList, kGiftList, kNewsList, kCouponList, kCouponLogList}) {
    std::string name = endpoint;
    server.route(name, [this, name](const PlatformAPIRequest& request) { return answer(name, request); });
  }
  server.route(kGiftClaim, [this](const PlatformAPIRequest& request) { return claim(request); });
}

std::string PlatformUserCentreLists::listKey(const std::string& endpoint, const std::string& isDisplay) const {
  return endpoint == kServerList ? endpoint + "?is_display=" + isDisplay : endpoint;
}

void PlatformUserCentreLists::setPages(const std::string& endpoint, std::vector<kit::Ref<kit::Array>> pages) {
  std::lock_guard lock(mutex_);
  pages_[listKey(endpoint, "1")] = std::move(pages);
}

void PlatformUserCentreLists::setServerPages(const std::string& isDisplay, std::vector<kit::Ref<kit::Array>> pages) {
  std::lock_guard lock(mutex_);
  pages_[listKey(kServerList, isDisplay)] = std::move(pages);
}

void PlatformUserCentreLists::setServerAuto(bool dynamic) {
  std::lock_guard lock(mutex_);
  serverAuto_ = dynamic;
}

PlatformAPIReply PlatformUserCentreLists::pageReply(const std::string& endpoint, long page,
                                                    const std::string& isDisplay) const {
  std::lock_guard lock(mutex_);
  auto found = pages_.find(listKey(endpoint, isDisplay));
  const long total = found == pages_.end() ? 0 : static_cast<long>(found->second.size());
  kit::Ref<kit::Array> lists = page >= 1 && page <= total ? found->second[page - 1] : kit::Array::make();
  auto reply = kit::MutableDictionary::make();
  reply->setObject(kit::num(total), "total_page");
  reply->setObject(kit::num(page), "now_page");
  reply->setObject(lists, "lists");
  if (endpoint == kServerList) reply->setObject(kit::num(serverAuto_), "auto");
  return PlatformAPIReply::json(reply);
}

PlatformAPIReply PlatformUserCentreLists::answer(const std::string& endpoint, const PlatformAPIRequest& request) const {
  const long page = std::atol(request.formValue("pagecode").value_or("1").c_str());
  return pageReply(endpoint, page, request.formValue("is_display").value_or("1"));
}

void PlatformUserCentreLists::setClaimReply(kit::Id reply) {
  std::lock_guard lock(mutex_);
  claimReply_ = std::move(reply);
}

PlatformAPIReply PlatformUserCentreLists::claim(const PlatformAPIRequest& request) {
  std::lock_guard lock(mutex_);
  if (claimReply_) return PlatformAPIReply::scrambled(claimReply_);
  const std::string card = kit::describe(kit::Id(request.parameters)["cardid"]);
  for (auto& page : pages_[kGiftList]) {
    auto changed = kit::MutableArray::make();
    bool found = false;
    for (size_t i = 0; i < page->count(); ++i) {
      kit::Id pack = page->objectAtIndex(i);
      if (auto dict = kit::as<kit::Dictionary>(pack); dict && kit::describe(pack["ID"]) == card) {
        auto claimed = kit::MutableDictionary::make();
        claimed->addEntriesFromDictionary(*dict);
        claimed->setObject(kit::str("GIFT-" + card), "code");
        claimed->setObject(kit::str("1"), "getstatus");
        pack = claimed;
        found = true;
      }
      changed->addObject(pack);
    }
    if (found) {
      page = changed;
      return PlatformAPIReply::scrambled(kit::dict({{"a", kit::num(1)}, {"b", kClaimedText}}));
    }
  }
  return PlatformAPIReply::scrambled(kit::dict({{"a", kit::num(0)}, {"b", "礼包不存在"}}));
}

kit::Ref<kit::Array> PlatformUserCentreLists::records(long first, long count,
                                                      const std::function<kit::Id(long)>& record) {
  auto page = kit::MutableArray::make();
  for (long i = first; i < first + count; ++i) page->addObject(record(i));
  return page;
}

}  // namespace sim
