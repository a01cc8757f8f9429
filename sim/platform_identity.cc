// The game's registration with the platform. See platform_identity.h.
#include "sim/platform_identity.h"

#include <algorithm>
#include <filesystem>

#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"

namespace sim {

PlatformIdentity PlatformIdentity::fromBundle(const std::string& directory) {
  PlatformIdentity identity;
  if (auto plist = kit::dictionaryWithContentsOfFile(directory + "/KT.plist")) {
    auto text = [&](const char* key) {
      auto value = kit::as<kit::String>((*plist)[key]);
      return value ? value->utf8() : std::string();
    };
    identity.appId = text("TOLMIX_APPID");
    identity.gameId = text("TOLMIX_GAMEID");
    identity.appKey = text("TOLMIX_APPKEY");
    identity.agent = text("TOLMIX_AGENT");
  }
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory + "/KTAppInfo/Channel", error)) {
    std::string name = entry.path().filename().string();
    std::erase_if(name, [](char c) { return c == ' ' || c == '\n'; });
    if (!name.empty()) identity.channels.push_back(name);
  }
  std::sort(identity.channels.begin(), identity.channels.end());
  return identity;
}

bool PlatformIdentity::acceptsChannel(const std::string& channel) const {
  if (channel.empty()) return false;
  return channel == agent || std::find(channels.begin(), channels.end(), channel) != channels.end();
}

}  // namespace sim
