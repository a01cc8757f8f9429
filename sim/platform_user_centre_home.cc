// The user centre's home services. See platform_user_centre_home.h.
#include "sim/platform_user_centre_home.h"

#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "sim/platform_web_pages.h"

namespace sim {

namespace {

kit::test::TestResponse png(unsigned char r, unsigned char g, unsigned char b) {
  kit::test::TestResponse picture;
  picture.contentType = "image/png";
  picture.body = PlatformWebPages::solidPNG(r, g, b);
  return picture;
}

kit::test::TestResponse page(const std::string& title, const std::string& body) {
  return kit::test::TestResponse::html("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" +
                                       PlatformWebPages::escapeHTML(title) + "</title></head><body>" + body +
                                       "</body></html>");
}

// The number in a path ".../<number>.<ext>".
std::string numberOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (slash == std::string::npos || dot == std::string::npos || dot <= slash) return "";
  return path.substr(slash + 1, dot - slash - 1);
}

}  // namespace

PlatformUserCentreHome::PlatformUserCentreHome(PlatformAPIServer& server, const PlatformService& accounts)
    : origin_(server.origin()), accounts_(accounts) {
  server.route(kHomeEndpoint, [this](const PlatformAPIRequest& request) { return homeReply(request); });
  server.routePage(std::string("/") + kAvatarPath, [](const kit::test::RecordedRequest&) { return png(90, 160, 250); });
  server.routePage("/uc/trade/*", [](const kit::test::RecordedRequest&) { return png(250, 200, 90); });
  server.routePage("/uc/news/*", [](const kit::test::RecordedRequest& request) {
    const std::string number = numberOf(request.path);
    if (request.path.ends_with(".png")) return png(240, 90, 80);
    return page(newsTitle(number), "<h1>" + PlatformWebPages::escapeHTML(newsTitle(number)) + "</h1>");
  });
  server.routePage(std::string("/") + kActivityPath, [](const kit::test::RecordedRequest&) {
    return page(kActivityTitle, "<h1>限时活动</h1><p>活动期间充值享双倍积分。</p>");
  });
}

kit::Ref<kit::Dictionary> PlatformUserCentreHome::dataOf(const PlatformAccount& player) const {
  return kit::dict({{"uinfo", kit::dict({{"nicename", kit::Id(kit::str(player.userName))},
                                         {"avatar", kit::Id(kit::str(avatarURL()))},
                                         {"money", kit::Id(kit::str(std::to_string(player.platformCoins)))},
                                         {"djq", kit::Id(kit::str(player.vouchers))}})},
                    {"post", kit::dict({{"t_desc", "限时活动：充值享双倍积分"}, {"url", kit::Id(kit::str(activityURL()))}})},
                    {"ginfo", kit::dict({{"fanli", kit::Id(kit::str(rebate_))}})}});
}

PlatformAPIReply PlatformUserCentreHome::homeReply(const PlatformAPIRequest& request) {
  // The service keeps a lock of its own: the account is read before the
  // home's.
  const std::optional<PlatformAccount> player = accounts_.account(request.formValue("username").value_or(""));
  std::lock_guard lock(mutex_);
  if (reply_) return PlatformAPIReply::json(reply_);
  auto code = [this](int a) { return codeAsNumber_ ? kit::Id(kit::num(a)) : kit::Id(kit::str(std::to_string(a))); };
  if (data_) return PlatformAPIReply::json(kit::dict({{"a", code(1)}, {"c", data_}}));
  if (!player) return PlatformAPIReply::json(kit::dict({{"a", code(0)}, {"c", kUnknownPlayer}}));
  return PlatformAPIReply::json(kit::dict({{"a", code(1)}, {"c", kit::Id(dataOf(*player))}}));
}

void PlatformUserCentreHome::setHomeData(kit::Id c) {
  std::lock_guard lock(mutex_);
  data_ = std::move(c);
}

void PlatformUserCentreHome::setRebate(std::string text) {
  std::lock_guard lock(mutex_);
  rebate_ = std::move(text);
}

void PlatformUserCentreHome::setCodeAsNumber(bool number) {
  std::lock_guard lock(mutex_);
  codeAsNumber_ = number;
}

void PlatformUserCentreHome::setHomeReply(kit::Id reply) {
  std::lock_guard lock(mutex_);
  reply_ = std::move(reply);
}

}  // namespace sim
