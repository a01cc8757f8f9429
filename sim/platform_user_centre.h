// The platform's user-centre services: the red-dot counts ("Home/number",
// a form post answered with JSON) and the feedback page
// ("Servicesdk/feedback") on the platform API server, the floating ball's
// icon and the user page's real-name variant on its web host, and the
// outside customer-service chat ("robot/h5chat.html") on a host of its own.
//
// Tests script the red-dot reply (the counts, "a" as a text or a number, or
// any reply object) and the icon (a PNG or a 404); the failure modes of
// "Home/number" are the server's (PlatformAPIServer::setFault). The icon's
// requests keep their raw query, whose key "time+" no form decoder reads.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kit/foundation/dictionary.h"
#include "kit/net/testing/test_server.h"
#include "sim/platform_api_server.h"

namespace sim {

class PlatformUserCentre {
 public:
  static constexpr const char* kRedCountEndpoint = "Home/number";
  static constexpr const char* kFeedbackEndpoint = "Servicesdk/feedback";
  static constexpr const char* kFeedbackTitle = "问题反馈";
  static constexpr const char* kUserPath = "appview/User/sdkuser";
  // The floating ball's icon, on the web host.
  static constexpr const char* kFloatIconPath = "appview/kefu/sdk_floaticon";
  // The user page's variant that ends a real-name check: ?rz=1 redirects
  // here.
  static constexpr const char* kIdentifySuccessPath = "appview/User/identifySuccess";
  static constexpr const char* kChatPath = "robot/h5chat.html";
  static constexpr const char* kChatTitle = "在线客服";

  // Routes the endpoints and pages on `server` and starts the chat host.
  explicit PlatformUserCentre(PlatformAPIServer& server);
  ~PlatformUserCentre();
  PlatformUserCentre(const PlatformUserCentre&) = delete;
  PlatformUserCentre& operator=(const PlatformUserCentre&) = delete;

  // ---- "Home/number": {"a": "1", "c": {"posts": {"log": news}, "card":
  // {"total": gifts, "log": coupon records}}}
  void setRedCounts(long news, long gifts, long couponRecords);
  // "a" sent as the number 1 instead of the text (which the client ignores).
  void setRedCountCodeAsNumber(bool number);
  // A reply of the test's own (any JSON value), instead of the counts.
  void setRedCountReply(kit::Id reply);

  // ---- The floating ball's icon: the round ball of PlatformPictures, or
  // 404 when unavailable.
  void setFloatIconAvailable(bool available);
  // The raw queries of the icon's requests, in arrival order.
  std::vector<std::string> floatIconQueries() const;

  // ---- The chat host: "http://127.0.0.1:PORT/"
  std::string chatHost() const;
  // The chat page's requests (raw queries), in arrival order.
  std::vector<std::string> chatQueries() const;
  // The body of the chat page (links the tests follow).
  void setChatBody(std::string html);

  // The client's configuration entry for the chat host.
  kit::Ref<kit::Dictionary> configurationEntries() const;

 private:
  PlatformAPIReply redCountReply(const PlatformAPIRequest& request);

  mutable std::mutex mutex_;
  long news_ = 0, gifts_ = 0, couponRecords_ = 0;
  bool codeAsNumber_ = false;
  kit::Id customReply_;
  bool iconAvailable_ = true;
  std::vector<std::string> iconQueries_;
  std::string chatBody_;
  std::unique_ptr<kit::test::TestServer> chat_;
};

}  // namespace sim
