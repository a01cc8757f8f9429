// The platform API base URL from configuration.
#include "net/platform_api_configuration.h"

#include <cstdlib>
#include <mutex>

#include "kit/foundation/bundle.h"
#include "kit/foundation/property_list.h"

std::string SDPPlatformAPIBaseURLFrom(const char* environmentValue,
                                      std::initializer_list<kit::Ref<kit::Dictionary>> sources) {
  std::string origin;
  if (environmentValue && *environmentValue) origin = environmentValue;
  for (const auto& source : sources) {
    if (!origin.empty()) break;
    auto configured = source ? kit::as<kit::String>(source->objectForKey(kPlatformAPIBaseInfoKey)) : nullptr;
    if (configured && !configured->empty()) origin = configured->utf8();
  }
  if (origin.empty()) origin = kPlatformAPIDefaultOrigin;
  while (origin.ends_with('/')) origin.pop_back();
  return origin + kPlatformAPIPath;
}

std::string SDPPlatformAPIBaseURL() {
  const char* direct = std::getenv(kPlatformAPIBaseEnvironmentVariable);
  const char* services = std::getenv(kPlatformAPIServicesEnvironmentVariable);
  auto bundle = kit::Bundle::main();

  // The answer for the last environment and bundle seen, so that a request
  // does not read property lists each time.
  static std::mutex mutex;
  static std::string* cachedKey = new std::string;
  static std::string* cachedURL = new std::string;
  std::string key = std::string(direct ? direct : "") + '\n' + (services ? services : "") + '\n' + bundle->bundlePath();
  {
    std::lock_guard lock(mutex);
    if (!cachedURL->empty() && *cachedKey == key) return *cachedURL;
  }

  kit::Ref<kit::Dictionary> serviceList = services && *services ? kit::dictionaryWithContentsOfFile(services) : nullptr;
  auto hostsPath = bundle->pathForResource(kPlatformAPIServiceHostsResource, "plist");
  kit::Ref<kit::Dictionary> serviceHosts = hostsPath ? kit::dictionaryWithContentsOfFile(hostsPath->utf8()) : nullptr;
  std::string url = SDPPlatformAPIBaseURLFrom(direct, {serviceList, serviceHosts, bundle->infoDictionary()});

  std::lock_guard lock(mutex);
  *cachedKey = key;
  *cachedURL = url;
  return url;
}
