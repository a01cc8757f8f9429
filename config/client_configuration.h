// Where the client's remote services live. Every address the client reaches
// is read here, under one key per host; nothing else in the code names a
// host. App, channel and net all ask this one object.
//
// Precedence, for each key on its own, first match wins:
//   1. overrides set in code by tests and tools (setOverrides);
//   2. the key's own environment variable (GAMECLIENT_CHANNEL_SDK_SERVER ...);
//   3. the services file named by GAMECLIENT_SERVICES: a property list (XML
//      or binary) or a JSON object; the simulator writes one for the demo;
//   4. the main bundle's "ServiceHosts.plist";
//   5. the main bundle's Info.plist;
//   6. the production placeholder compiled in. Every placeholder lies under
//      the reserved ".invalid" domain, which never resolves, so a build that
//      is pointed nowhere sends nothing off the machine.
// A value counts only when it is a text holding an absolute http or https URL
// with a host. Anything else (a number, an empty text, an unknown key, a
// services file that is missing, unreadable, or neither a property list nor
// a JSON object) is logged once, with the file and the key, and the next
// source answers. The sources are read again when GAMECLIENT_SERVICES, a
// key's variable or the main bundle's folder changes, and on reload().
//
// Keys (environment variable; placeholder):
//   ChannelSDKServer     the channel platform's SDK server ("init",
//                        "login/index", "role/index", "order/index" ...)
//                        (GAMECLIENT_CHANNEL_SDK_SERVER; https://sdk.channel.invalid/)
//   ChannelGameServer    the channel game server: menus, stores, orders, the
//                        resource hall (GAMECLIENT_CHANNEL_GAME_SERVER;
//                        https://game.channel.invalid/)
//   ChannelVideoBase     the channel game server over plain http, for the
//                        store hub's free-video offer
//                        (GAMECLIENT_CHANNEL_VIDEO_BASE; http://game.channel.invalid/)
//   ChannelActivityHost  the channel's activity host, which serves the
//                        store hub's voucher page over plain http
//                        (GAMECLIENT_CHANNEL_ACTIVITY_HOST;
//                        http://activity.channel.invalid/)
//   GamePage             the game page on the game's resource server, with
//                        its "_channel" query (GAMECLIENT_GAME_PAGE;
//                        http://h5.game.invalid/games/1001/index.html?_channel=nuva)
//   PlatformAPIBase      the platform API server's origin; the platform
//                        transports append "sdkapicoupon/" and their paths
//                        (GAMECLIENT_PLATFORM_API_BASE; http://sdkapi.platform.invalid)
//   PlatformWebHost      the platform's web pages: notice, user centre, web
//                        pay, box and forgotten-password pages ("appview/...")
//                        (GAMECLIENT_PLATFORM_WEB_HOST; http://sdkapi.platform.invalid/)
//   PaymentGateway       the payment vendor's gateway ("mgw.htm", "sdklog.do")
//                        (GAMECLIENT_PAYMENT_GATEWAY; https://gateway.payvendor.invalid/)
//   PlatformChatHost     the outside customer-service chat that the user
//                        centre's service page shows ("robot/h5chat.html")
//                        (GAMECLIENT_PLATFORM_CHAT_HOST; https://chat.platform.invalid/)
//
//   auto url = ClientConfiguration::shared().urlForService(ClientConfiguration::kChannelSDKServer,
//                                                          "login/index");
#pragma once

#include <array>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/string.h"

// One configuration key: its name in the property lists, the environment
// variable that overrides it, and the production placeholder.
struct ServiceKey {
  std::string_view name;
  std::string_view environmentVariable;
  std::string_view placeholder;
};

class ClientConfiguration {
 public:
  static constexpr const char* kChannelSDKServer = "ChannelSDKServer";
  static constexpr const char* kChannelGameServer = "ChannelGameServer";
  static constexpr const char* kChannelVideoBase = "ChannelVideoBase";
  static constexpr const char* kChannelActivityHost = "ChannelActivityHost";
  static constexpr const char* kGamePage = "GamePage";
  static constexpr const char* kPlatformAPIBase = "PlatformAPIBase";
  static constexpr const char* kPlatformWebHost = "PlatformWebHost";
  static constexpr const char* kPaymentGateway = "PaymentGateway";
  static constexpr const char* kPlatformChatHost = "PlatformChatHost";

  // The variable that names the services file.
  static constexpr const char* kServicesEnvironmentVariable = "GAMECLIENT_SERVICES";
  // The bundle's list of service hosts: "ServiceHosts.plist".
  static constexpr const char* kServiceHostsResource = "ServiceHosts";

  // Every key, in the order above.
  static std::span<const ServiceKey> keys();
  // The key named `name`, or nullptr.
  static const ServiceKey* findKey(std::string_view name);
  // True for an absolute http or https URL with a host: what every key holds.
  static bool isServiceAddress(std::string_view text);

  static ClientConfiguration& shared();

  // The address for a key; nil for a name that is not a key.
  kit::Ref<kit::String> valueForKey(std::string_view key);
  // A service's address joined with a path: "<address>/<path>" with exactly
  // one slash between them; nil for a name that is not a key.
  kit::Ref<kit::String> urlForService(std::string_view serviceKey, std::string_view path);

  // Values that win over every other source (tests, tools); entries that
  // are not a key with an address are logged and left out. Nil removes them.
  void setOverrides(const kit::Ref<kit::Dictionary>& overrides);
  // Reads the environment, the services file and the bundle again.
  void reload();

 private:
  static constexpr size_t kKeyCount = 9;
  void loadIfStaleLocked();

  std::mutex mutex_;
  bool loaded_ = false;
  std::string signature_;  // the environment and bundle the values were read from
  std::array<std::string, kKeyCount> values_;
  std::map<std::string, std::string, std::less<>> overrides_;
};
