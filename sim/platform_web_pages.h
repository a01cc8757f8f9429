// The platform's web pages, on the platform API server's host (the client's
// PlatformWebHost): the login card's logo, the user,
// forgotten-password and game-box pages, the user agreement (under the API
// prefix), and the pay pages of the H5 orders, where the player pays (which
// marks the order paid, as the real cashier reports to the platform). Later screens add their pages here.
//
// Every page is HTML in UTF-8; what a page shows of its query is escaped.
#pragma once

#include <string>

#include "sim/platform_api_server.h"

namespace sim {

class PlatformService;

class PlatformWebPages {
 public:
  static constexpr const char* kLogoPath = "appview/kefu/sdk_logo";
  static constexpr const char* kUserPath = "appview/User/sdkuser";
  static constexpr const char* kForgetPasswordPath = "appview/User/forgetpwd";
  static constexpr const char* kBoxPath = "cdcloud/welcome/box";
  static constexpr const char* kCashierPath = "appview/pay/cashier";
  static constexpr const char* kPayPath = "appview/pay/confirm";
  // The official WeChat H5 pay page: it serves its pay link only to a
  // request whose "Referer" is the platform's host followed by "://" (what
  // the pay page's real counterpart checks); others get kRefusedText.
  static constexpr const char* kOfficialPath = "appview/pay/official";
  static constexpr const char* kRefusedText = "请求来源未授权";
  // The user agreement, under the API prefix (PlatformAPIServer::kPathPrefix).
  static constexpr const char* kAgreementPath = "Agreement/xieyi";

  // Routes the pages on the server's host.
  static void install(PlatformService& service, PlatformAPIServer& server);

  // The pay page of an order: `host` (ending in "/") + the cashier path
  // with the order number and the pay type as query values.
  static std::string cashierURL(const std::string& host, const std::string& orderNumber, const std::string& payType);
  // The official pay page of an order: `host` + the official path with the
  // order number as query value.
  static std::string officialURL(const std::string& host, const std::string& orderNumber);

  // The text with "&", "<", ">", quotes and apostrophes as entities.
  static std::string escapeHTML(const std::string& text);
  // A 16 x 16 PNG of one colour.
  static std::string solidPNG(unsigned char r, unsigned char g, unsigned char b);
};

}  // namespace sim
