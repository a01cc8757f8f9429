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

PlatformUserCentreHome::PlatformUserCentreHome(PlatformAPIServer& server) : origin_(server.origin()) {
  server.route(kHomeEndpoint, [this](const PlatformAPIRequest&) { return homeReply(); });
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

kit::Ref<kit::Dictionary> PlatformUserCentreHome::defaultData() const {
  return kit::dict({{"uinfo", kit::dict({{"nicename", "player01"},
                                         {"avatar", kit::Id(kit::str(avatarURL()))},
                                         {"money", "120"},
                                         {"djq", "30"}})},
                    {"post", kit::dict({{"t_desc", "限时活动：充值享双倍积分"}, {"url", kit::Id(kit::str(activityURL()))}})},
                    {"ginfo", kit::dict({{"fanli", kit::Id(kit::str(rebate_))}})}});
}

PlatformAPIReply PlatformUserCentreHome::homeReply() {
  std::lock_guard lock(mutex_);
  if (reply_) return PlatformAPIReply::json(reply_);
  kit::Id code = codeAsNumber_ ? kit::Id(kit::num(1)) : kit::Id(kit::str("1"));
  return PlatformAPIReply::json(kit::dict({{"a", code}, {"c", data_ ? data_ : kit::Id(defaultData())}}));
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
