// The user centre's home on the platform servers: the form post
// "Home/index" on the API server, answering
//   {"a": 1, "c": {"uinfo": {nicename, avatar, money, djq},
//                  "post": {t_desc, url}, "ginfo": {fanli}}}
// as JSON labelled "text/html" ("a" as the number 1 or the text "1"), and
// on the platform's web host the pictures and pages the user centre links
// to: the avatar, news and trade pictures (PNG) and titled message and
// activity pages.
//
// "uinfo" is the account the post names ("username"), read from the
// platform service as it is at the time: its name, its platform coins
// ("money", as the pay ways reply's "ttb") and its vouchers ("djq", as
// stored). A name the service does not know is answered {"a": 0, "c":
// why}, so that no player is shown another's account.
//
// Tests script the player's texts, the rebate text, "a" (or a reply of
// their own); the failure modes are the server's (setFault, enqueue).
#pragma once

#include <mutex>
#include <string>

#include "kit/foundation/dictionary.h"
#include "sim/platform_api_server.h"
#include "sim/platform_service.h"

namespace sim {

class PlatformUserCentreHome {
 public:
  static constexpr const char* kHomeEndpoint = "Home/index";
  static constexpr const char* kAvatarPath = "uc/avatar.png";
  static constexpr const char* kActivityPath = "uc/activity.html";
  static constexpr const char* kActivityTitle = "限时活动";
  // Why a post naming no known account is refused.
  static constexpr const char* kUnknownPlayer = "用户不存在";

  // Routes the home on `server`; the players' accounts are those of
  // `accounts`, which must outlive the server's answers.
  PlatformUserCentreHome(PlatformAPIServer& server, const PlatformService& accounts);
  PlatformUserCentreHome(const PlatformUserCentreHome&) = delete;
  PlatformUserCentreHome& operator=(const PlatformUserCentreHome&) = delete;

  // The "c" object every home reply carries, whoever asks (until set, the
  // asking player's own).
  void setHomeData(kit::Id c);
  // The rebate text of the player's "c".
  void setRebate(std::string text);
  // "a" as the number 1 rather than the text "1".
  void setCodeAsNumber(bool number);
  // A reply of the test's own (any JSON value) instead.
  void setHomeReply(kit::Id reply);

  // Addresses on the web host ("http://127.0.0.1:PORT/...").
  std::string avatarURL() const { return origin_ + "/" + kAvatarPath; }
  std::string activityURL() const { return origin_ + "/" + kActivityPath; }
  std::string newsPictureURL(long i) const { return origin_ + "/uc/news/" + std::to_string(i) + ".png"; }
  std::string newsPageURL(long i) const { return origin_ + "/uc/news/" + std::to_string(i) + ".html"; }
  std::string tradePictureURL(long i) const { return origin_ + "/uc/trade/" + std::to_string(i) + ".png"; }
  // The title of a message page.
  static std::string newsTitle(const std::string& number) { return "平台消息 " + number; }

 private:
  PlatformAPIReply homeReply(const PlatformAPIRequest& request);
  // The "c" of a player's home; under the lock.
  kit::Ref<kit::Dictionary> dataOf(const PlatformAccount& player) const;

  std::string origin_;
  const PlatformService& accounts_;
  mutable std::mutex mutex_;
  kit::Id data_, reply_;
  std::string rebate_ = "充值返利：单日累计充值满100元返10%，满500元返15%。";
  bool codeAsNumber_ = false;
};

}  // namespace sim
