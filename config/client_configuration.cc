// The client's service addresses. See client_configuration.h.
#include "config/client_configuration.h"

#include <cctype>
#include <cstdlib>
#include <iterator>

#include "config/service_entries.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"

namespace {

constexpr ServiceKey kKeys[] = {
    {ClientConfiguration::kChannelSDKServer, "GAMECLIENT_CHANNEL_SDK_SERVER", "https://sdk.channel.invalid/"},
    {ClientConfiguration::kChannelGameServer, "GAMECLIENT_CHANNEL_GAME_SERVER", "https://game.channel.invalid/"},
    {ClientConfiguration::kChannelVideoBase, "GAMECLIENT_CHANNEL_VIDEO_BASE", "http://game.channel.invalid/"},
    {ClientConfiguration::kChannelActivityHost, "GAMECLIENT_CHANNEL_ACTIVITY_HOST", "http://activity.channel.invalid/"},
    {ClientConfiguration::kGamePage, "GAMECLIENT_GAME_PAGE",
     "http://h5.game.invalid/games/1001/index.html?_channel=nuva"},
    {ClientConfiguration::kPlatformAPIBase, "GAMECLIENT_PLATFORM_API_BASE", "http://sdkapi.platform.invalid"},
    {ClientConfiguration::kPlatformWebHost, "GAMECLIENT_PLATFORM_WEB_HOST", "http://sdkapi.platform.invalid/"},
    {ClientConfiguration::kPaymentGateway, "GAMECLIENT_PAYMENT_GATEWAY", "https://gateway.payvendor.invalid/"},
    {ClientConfiguration::kPlatformChatHost, "GAMECLIENT_PLATFORM_CHAT_HOST", "https://chat.platform.invalid/"},
};

std::string environmentValue(std::string_view variable) {
  const char* value = std::getenv(std::string(variable).c_str());
  return value ? value : "";
}

// What the values depend on besides the files' contents: when it changes,
// the sources are read again.
std::string currentSignature() {
  std::string signature = kit::Bundle::main()->bundlePath();
  signature += '\n';
  signature += environmentValue(ClientConfiguration::kServicesEnvironmentVariable);
  for (const ServiceKey& key : kKeys) {
    signature += '\n';
    signature += environmentValue(key.environmentVariable);
  }
  return signature;
}

void logIgnored(const std::string& source, const std::vector<std::string>& ignored) {
  for (const auto& line : ignored) kit::log("configuration: %@: %@ (ignored)", source, line);
}

}  // namespace

static_assert(std::size(kKeys) == 9, "the key count in client_configuration.h");

std::span<const ServiceKey> ClientConfiguration::keys() { return kKeys; }

const ServiceKey* ClientConfiguration::findKey(std::string_view name) {
  for (const ServiceKey& key : kKeys) {
    if (key.name == name) return &key;
  }
  return nullptr;
}

bool ClientConfiguration::isServiceAddress(std::string_view text) {
  auto url = kit::URL::URLWithString(text);
  if (!url) return false;
  auto scheme = url->scheme();
  auto host = url->host();
  if (!scheme || !host || host->utf8().empty()) return false;
  std::string lower = scheme->utf8();
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "http" || lower == "https";
}

ClientConfiguration& ClientConfiguration::shared() {
  static kit::NoDestructor<ClientConfiguration> instance;
  return *instance;
}

void ClientConfiguration::loadIfStaleLocked() {
  std::string signature = currentSignature();
  if (loaded_ && signature == signature_) return;
  loaded_ = true;
  signature_ = std::move(signature);

  // From the weakest source to the strongest, each replacing what it gives.
  std::map<std::string, std::string, std::less<>> chosen;
  auto take = [&](const ServiceEntries& entries) {
    for (const auto& [name, address] : entries.addresses) chosen[name] = address;
  };
  auto bundle = kit::Bundle::main();
  ServiceEntries info = serviceEntriesFromDictionary(bundle->infoDictionary(), UnknownServiceKeys::Ignore);
  logIgnored("Info.plist", info.ignored);
  take(info);
  if (auto path = bundle->pathForResource(kServiceHostsResource, "plist")) {
    auto hosts = readServiceEntries(path->utf8(), UnknownServiceKeys::Report);
    if (hosts) {
      logIgnored(path->utf8(), hosts->ignored);
      take(*hosts);
    } else {
      kit::log("configuration: %@ cannot be used (%@); the next source answers", path,
               hosts.error()->localizedDescription());
    }
  }
  if (std::string file = environmentValue(kServicesEnvironmentVariable); !file.empty()) {
    auto services = readServiceEntries(file, UnknownServiceKeys::Report);
    if (services) {
      logIgnored(file, services->ignored);
      take(*services);
    } else {
      kit::log("configuration: the services file %@ named by %@ cannot be used (%@); the next source answers", file,
               kServicesEnvironmentVariable, services.error()->localizedDescription());
    }
  }
  for (const ServiceKey& key : kKeys) {
    std::string value = environmentValue(key.environmentVariable);
    if (value.empty()) continue;
    if (isServiceAddress(value)) {
      chosen[std::string(key.name)] = value;
    } else {
      kit::log("configuration: %@ is not an http or https address (ignored)", key.environmentVariable);
    }
  }

  for (size_t i = 0; i < kKeyCount; ++i) {
    auto found = chosen.find(kKeys[i].name);
    values_[i] = found != chosen.end() ? found->second : std::string(kKeys[i].placeholder);
  }
}

kit::Ref<kit::String> ClientConfiguration::valueForKey(std::string_view key) {
  const ServiceKey* serviceKey = findKey(key);
  if (!serviceKey) return nullptr;
  std::lock_guard lock(mutex_);
  if (auto found = overrides_.find(key); found != overrides_.end()) return kit::str(found->second);
  loadIfStaleLocked();
  return kit::str(values_[static_cast<size_t>(serviceKey - kKeys)]);
}

kit::Ref<kit::String> ClientConfiguration::urlForService(std::string_view serviceKey, std::string_view path) {
  auto base = valueForKey(serviceKey);
  if (!base) return nullptr;
  std::string url = base->utf8();
  while (!url.empty() && url.back() == '/') url.pop_back();
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return kit::str(url + "/" + std::string(path));
}

void ClientConfiguration::setOverrides(const kit::Ref<kit::Dictionary>& overrides) {
  ServiceEntries entries = serviceEntriesFromDictionary(overrides, UnknownServiceKeys::Report);
  logIgnored("overrides", entries.ignored);
  std::lock_guard lock(mutex_);
  overrides_ = std::move(entries.addresses);
}

void ClientConfiguration::reload() {
  std::lock_guard lock(mutex_);
  loaded_ = false;
}
