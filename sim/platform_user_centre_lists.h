// The user centre's paged lists on the platform API server: the form posts
// "Server/lists", "Transaction/lists", "Card/lists", "News/lists",
// "home/getCoupons" and "home/getCouponsLog", each answering the page that
// its field "pagecode" asks for as JSON labelled "text/html":
//   {"total_page": pages, "now_page": pagecode, "lists": [records]}
// plus "auto" on "Server/lists" (the game opens servers dynamically). The
// two server lists are kept apart by the request's "is_display".
//
// "Card/receive" claims a gift pack: the scrambled post's "cardid" names
// the pack ("ID" of a "Card/lists" record), which from then on lists its
// code ("GIFT-<ID>") and "getstatus" "1"; the scrambled reply is
// {"a": 1, "b": "领取成功"} ({"a": 0, "b": "礼包不存在"} for an unknown pack),
// unless a test scripted its own.
//
// Tests script the pages of each list; a page past the last is answered
// with an empty "lists". Failure modes and one-off replies (a delayed page,
// a reply of the test's own) go through the server's setFault and enqueue;
// pageReply makes the reply a list would give, for a test to delay or
// change before enqueueing it. Every request stays in the server's log.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kit/foundation/array.h"
#include "sim/platform_api_server.h"

namespace sim {

class PlatformUserCentreLists {
 public:
  static constexpr const char* kServerList = "Server/lists";
  static constexpr const char* kTradeList = "Transaction/lists";
  static constexpr const char* kGiftList = "Card/lists";
  static constexpr const char* kNewsList = "News/lists";
  static constexpr const char* kCouponList = "home/getCoupons";
  static constexpr const char* kCouponLogList = "home/getCouponsLog";
  static constexpr const char* kGiftClaim = "Card/receive";
  static constexpr const char* kClaimedText = "领取成功";

  // Routes the lists on `server`; every list starts with no pages.
  explicit PlatformUserCentreLists(PlatformAPIServer& server);
  PlatformUserCentreLists(const PlatformUserCentreLists&) = delete;
  PlatformUserCentreLists& operator=(const PlatformUserCentreLists&) = delete;

  // The pages of a list (one array of record objects per page). For
  // "Server/lists" the pages of the opened servers ("is_display" "1").
  void setPages(const std::string& endpoint, std::vector<kit::Ref<kit::Array>> pages);
  // The pages of one of the server lists ("1" opened, "0" about to open).
  void setServerPages(const std::string& isDisplay, std::vector<kit::Ref<kit::Array>> pages);
  // "auto" of the server lists' replies (false unless set).
  void setServerAuto(bool dynamic);

  // The reply of later claims (any JSON value, sent scrambled); nil goes
  // back to claiming.
  void setClaimReply(kit::Id reply);

  // The reply that the list would give to a request for `page`.
  PlatformAPIReply pageReply(const std::string& endpoint, long page, const std::string& isDisplay = "1") const;

  // A page of `count` records made by `record(i)` for i = first ...
  static kit::Ref<kit::Array> records(long first, long count, const std::function<kit::Id(long)>& record);

 private:
  std::string listKey(const std::string& endpoint, const std::string& isDisplay) const;
  PlatformAPIReply answer(const std::string& endpoint, const PlatformAPIRequest& request) const;
  PlatformAPIReply claim(const PlatformAPIRequest& request);

  mutable std::mutex mutex_;
  std::map<std::string, std::vector<kit::Ref<kit::Array>>> pages_;
  bool serverAuto_ = false;
  kit::Id claimReply_;
};

}  // namespace sim
