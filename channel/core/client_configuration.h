// Where the client's remote services live. Every address is configuration:
// the bundle's "ServiceHosts.plist" gives the defaults, a property list
// named by the environment variable GAMECLIENT_SERVICES overrides them
// (the simulator writes one for the demo), and tests can set values
// directly. Nothing in the code names a host.
//
// Keys:
//   ChannelSDKServer   base URL of the channel platform's SDK server ("init",
//                      "login/index", "role/index", "order/index" ...)
//   ChannelGameServer  base URL of the channel game server
//   GamePage           the game page's address (with its "_channel" query)
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/string.h"

class ClientConfiguration {
 public:
  static constexpr const char* kChannelSDKServer = "ChannelSDKServer";
  static constexpr const char* kChannelGameServer = "ChannelGameServer";
  static constexpr const char* kGamePage = "GamePage";
  static constexpr const char* kEnvironmentVariable = "GAMECLIENT_SERVICES";

  static ClientConfiguration& shared();

  // The configured text, or nil.
  kit::Ref<kit::String> valueForKey(std::string_view key);
  // A service base joined with a path: "<base>/<path>" with exactly one
  // slash between them; nil when the base is not configured.
  kit::Ref<kit::String> urlForService(std::string_view serviceKey, std::string_view path);

  // Values that win over the bundle and the environment (tests, tools); nil
  // removes them.
  void setOverrides(kit::Ref<kit::Dictionary> overrides);
  // Reads the bundle and the environment again.
  void reload();

 private:
  void loadLocked();

  std::mutex mutex_;
  bool loaded_ = false;
  kit::Ref<kit::Dictionary> values_;
  kit::Ref<kit::Dictionary> overrides_;
};
