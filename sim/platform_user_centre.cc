// The platform's user-centre services. See platform_user_centre.h.
#include "sim/platform_user_centre.h"

#include "config/client_configuration.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "sim/platform_pictures.h"
#include "sim/platform_web_pages.h"

namespace sim {

namespace {

kit::test::TestResponse page(const std::string& title, const std::string& body) {
  return kit::test::TestResponse::html("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" +
                                       PlatformWebPages::escapeHTML(title) + "</title></head><body>" + body +
                                       "</body></html>");
}

}  // namespace

PlatformUserCentre::PlatformUserCentre(PlatformAPIServer& server) {
  chatBody_ =
      "<h1>在线客服</h1><p><a id=\"copy\" href=\"tolcopy://copy?KT-GIFT-2024\">复制礼包码</a></p>"
      "<p><a id=\"qq\" href=\"mqqapi://card/show_pslcard?uin=10001\">QQ 客服</a></p>";
  server.route(kRedCountEndpoint, [this](const PlatformAPIRequest& request) { return redCountReply(request); });
  server.routePage(std::string(PlatformAPIServer::kPathPrefix) + kFeedbackEndpoint,
                   [](const kit::test::RecordedRequest& request) {
                     return page(kFeedbackTitle, "<h1>问题反馈</h1><p id=\"user\">" +
                                                     PlatformWebPages::escapeHTML(
                                                         request.formValue("username").value_or("")) +
                                                     "</p><textarea></textarea>");
                   });
  server.routePage(std::string("/") + kFloatIconPath,
                   [this](const kit::test::RecordedRequest& request) {
                     std::lock_guard lock(mutex_);
                     iconQueries_.push_back(request.query);
                     if (!iconAvailable_) return kit::test::TestResponse::withStatus(404);
                     kit::test::TestResponse picture;
                     picture.contentType = "image/png";
                     picture.body = PlatformPictures::floatIconPNG();
                     return picture;
                   });
  server.routePage(std::string("/") + kUserPath, [](const kit::test::RecordedRequest& request) {
    if (request.formValue("rz").value_or("") == "1") {
      return kit::test::TestResponse::redirect(std::string("/") + kIdentifySuccessPath + "?from=sdkuser");
    }
    return page("用户中心", "<h1>用户中心</h1><p id=\"user\">" +
                                PlatformWebPages::escapeHTML(request.formValue("username").value_or("")) + "</p>");
  });
  server.routePage(std::string("/") + kIdentifySuccessPath, [](const kit::test::RecordedRequest&) {
    return page("认证成功", "<h1>实名认证成功</h1>");
  });

  chat_ = kit::test::TestServer::startHTTP();
  chat_->route("GET", std::string("/") + kChatPath, [this](const kit::test::RecordedRequest&) {
    std::lock_guard lock(mutex_);
    return page(kChatTitle, chatBody_);
  });
}

PlatformUserCentre::~PlatformUserCentre() { chat_.reset(); }

PlatformAPIReply PlatformUserCentre::redCountReply(const PlatformAPIRequest&) {
  std::lock_guard lock(mutex_);
  if (customReply_) return PlatformAPIReply::json(customReply_);
  kit::Id code = codeAsNumber_ ? kit::Id(kit::num(1)) : kit::Id(kit::str("1"));
  return PlatformAPIReply::json(kit::dict(
      {{"a", code},
       {"c", kit::dict({{"posts", kit::dict({{"log", kit::num(news_)}})},
                        {"card", kit::dict({{"total", kit::num(gifts_)}, {"log", kit::num(couponRecords_)}})}})}}));
}

void PlatformUserCentre::setRedCounts(long news, long gifts, long couponRecords) {
  std::lock_guard lock(mutex_);
  news_ = news;
  gifts_ = gifts;
  couponRecords_ = couponRecords;
}

void PlatformUserCentre::setRedCountCodeAsNumber(bool number) {
  std::lock_guard lock(mutex_);
  codeAsNumber_ = number;
}

void PlatformUserCentre::setRedCountReply(kit::Id reply) {
  std::lock_guard lock(mutex_);
  customReply_ = std::move(reply);
}

void PlatformUserCentre::setFloatIconAvailable(bool available) {
  std::lock_guard lock(mutex_);
  iconAvailable_ = available;
}

std::vector<std::string> PlatformUserCentre::floatIconQueries() const {
  std::lock_guard lock(mutex_);
  return iconQueries_;
}

std::string PlatformUserCentre::chatHost() const { return chat_->baseURL() + "/"; }

std::vector<std::string> PlatformUserCentre::chatQueries() const {
  std::vector<std::string> queries;
  for (const auto& request : chat_->requests()) {
    if (request.path == std::string("/") + kChatPath) queries.push_back(request.query);
  }
  return queries;
}

void PlatformUserCentre::setChatBody(std::string html) {
  std::lock_guard lock(mutex_);
  chatBody_ = std::move(html);
}

kit::Ref<kit::Dictionary> PlatformUserCentre::configurationEntries() const {
  return kit::dict({{ClientConfiguration::kPlatformChatHost, chatHost()}});
}

}  // namespace sim
