// The platform API base URL from configuration.
#include "net/platform_api_configuration.h"

#include <cstdlib>

#include "kit/foundation/bundle.h"
#include "kit/foundation/format.h"

std::string SDPPlatformAPIBaseURLFrom(const char* environmentValue, const kit::Ref<kit::Dictionary>& info) {
  std::string origin;
  if (environmentValue && *environmentValue) {
    origin = environmentValue;
  } else if (auto configured = info ? kit::as<kit::String>(info->objectForKey(kPlatformAPIBaseInfoKey)) : nullptr;
             configured && !configured->empty()) {
    origin = configured->utf8();
  } else {
    origin = kPlatformAPIDefaultOrigin;
  }
  while (origin.ends_with('/')) origin.pop_back();
  return origin + kPlatformAPIPath;
}

std::string SDPPlatformAPIBaseURL() {
  return SDPPlatformAPIBaseURLFrom(std::getenv(kPlatformAPIBaseEnvironmentVariable),
                                   kit::Bundle::main()->infoDictionary());
}
