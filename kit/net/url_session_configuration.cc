// Session configurations.
#include "kit/net/url_session_configuration.h"

#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"
#include "kit/net/url_cache.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(URLSessionConfiguration, Object, "NSURLSessionConfiguration") {}

Ref<URLSessionConfiguration> URLSessionConfiguration::defaultSessionConfiguration() {
  auto config = std::make_shared<URLSessionConfiguration>();
  config->URLCache = URLCache::sharedURLCache();
  return config;
}

Ref<URLSessionConfiguration> URLSessionConfiguration::ephemeralSessionConfiguration() {
  auto config = std::make_shared<URLSessionConfiguration>();
  config->ephemeral_ = true;
  config->URLCache = URLCache::make(512 * 1024, 0, "");
  return config;
}

Ref<URLSessionConfiguration> URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(
    std::string identifier) {
  auto config = defaultSessionConfiguration();
  config->identifier_ = std::move(identifier);
  config->discretionary = false;
  return config;
}

Id URLSessionConfiguration::copy() const {
  auto out = std::make_shared<URLSessionConfiguration>();
  out->identifier_ = identifier_;
  out->ephemeral_ = ephemeral_;
  out->timeoutIntervalForRequest = timeoutIntervalForRequest;
  out->timeoutIntervalForResource = timeoutIntervalForResource;
  out->HTTPMaximumConnectionsPerHost = HTTPMaximumConnectionsPerHost;
  out->requestCachePolicy = requestCachePolicy;
  out->networkServiceType = networkServiceType;
  out->allowsCellularAccess = allowsCellularAccess;
  out->HTTPShouldUsePipelining = HTTPShouldUsePipelining;
  out->HTTPShouldSetCookies = HTTPShouldSetCookies;
  out->waitsForConnectivity = waitsForConnectivity;
  out->discretionary = discretionary;
  out->sessionSendsLaunchEvents = sessionSendsLaunchEvents;
  out->HTTPAdditionalHeaders = HTTPAdditionalHeaders ? std::static_pointer_cast<Dictionary>(HTTPAdditionalHeaders->copy())
                                                     : nullptr;
  out->URLCache = URLCache;
  out->sharedContainerIdentifier = sharedContainerIdentifier;
  out->maximumInMemoryBodyLength_ = maximumInMemoryBodyLength_;
  return out;
}

std::string URLSessionConfiguration::description() const {
  return formatString("<%s: %p> %s", className(), static_cast<const void*>(this),
                      identifier_ ? *identifier_ : std::string(ephemeral_ ? "ephemeral" : "default"));
}

}  // namespace kit
