// Session configurations.
#include "kit/net/url_session_configuration.h"

#include <cmath>

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

void URLSessionConfiguration::takeSettings(const URLSessionConfiguration& other) {
  identifier_ = other.identifier_;
  ephemeral_ = other.ephemeral_;
  timeoutIntervalForRequest = other.timeoutIntervalForRequest;
  timeoutIntervalForResource = other.timeoutIntervalForResource;
  HTTPMaximumConnectionsPerHost = other.HTTPMaximumConnectionsPerHost;
  requestCachePolicy = other.requestCachePolicy;
  networkServiceType = other.networkServiceType;
  allowsCellularAccess = other.allowsCellularAccess;
  HTTPShouldUsePipelining = other.HTTPShouldUsePipelining;
  HTTPShouldSetCookies = other.HTTPShouldSetCookies;
  waitsForConnectivity = other.waitsForConnectivity;
  discretionary = other.discretionary;
  sessionSendsLaunchEvents = other.sessionSendsLaunchEvents;
  HTTPAdditionalHeaders = other.HTTPAdditionalHeaders
                              ? std::static_pointer_cast<Dictionary>(other.HTTPAdditionalHeaders->copy())
                              : nullptr;
  URLCache = other.URLCache;
  sharedContainerIdentifier = other.sharedContainerIdentifier;
  maximumInMemoryBodyLength_ = other.maximumInMemoryBodyLength_;
}

Id URLSessionConfiguration::copy() const {
  auto out = std::make_shared<URLSessionConfiguration>();
  out->takeSettings(*this);
  return out;
}

// ---- Archiving

namespace {

bool isCachePolicy(long v) { return v >= 0 && v <= 5; }
bool isServiceType(long v) { return (v >= 0 && v <= 4) || v == 6 || v == 8 || v == 9 || v == 11; }
bool isTimeout(double v) { return std::isfinite(v) && v > 0; }

Id optionalText(const std::optional<std::string>& text) { return text ? Id(String::make(*text)) : nullptr; }

}  // namespace

void URLSessionConfiguration::encodeWithCoder(KeyedArchiver& coder) const {
  coder.encodeObject(optionalText(identifier_), "identifier");
  coder.encodeBool(ephemeral_, "ephemeral");
  coder.encodeDouble(timeoutIntervalForRequest, "timeoutIntervalForRequest");
  coder.encodeDouble(timeoutIntervalForResource, "timeoutIntervalForResource");
  coder.encodeInteger(HTTPMaximumConnectionsPerHost, "HTTPMaximumConnectionsPerHost");
  coder.encodeInteger(static_cast<long>(requestCachePolicy), "requestCachePolicy");
  coder.encodeInteger(static_cast<long>(networkServiceType), "networkServiceType");
  coder.encodeBool(allowsCellularAccess, "allowsCellularAccess");
  coder.encodeBool(HTTPShouldUsePipelining, "HTTPShouldUsePipelining");
  coder.encodeBool(HTTPShouldSetCookies, "HTTPShouldSetCookies");
  coder.encodeBool(waitsForConnectivity, "waitsForConnectivity");
  coder.encodeBool(discretionary, "discretionary");
  coder.encodeBool(sessionSendsLaunchEvents, "sessionSendsLaunchEvents");
  coder.encodeObject(HTTPAdditionalHeaders, "HTTPAdditionalHeaders");
  coder.encodeBool(URLCache != nullptr, "usesURLCache");
  coder.encodeObject(optionalText(sharedContainerIdentifier), "sharedContainerIdentifier");
  coder.encodeInt64(maximumInMemoryBodyLength_, "maximumInMemoryBodyLength");
}

bool URLSessionConfiguration::initWithCoder(KeyedUnarchiver& coder) {
  auto identifier = coder.decodeObjectOfClass<String>("identifier");
  auto containerIdentifier = coder.decodeObjectOfClass<String>("sharedContainerIdentifier");
  auto headers = coder.decodeObjectOfClass<Dictionary>("HTTPAdditionalHeaders");
  const bool ephemeral = coder.decodeBoolForKey("ephemeral");
  const double requestTimeout = coder.containsValueForKey("timeoutIntervalForRequest")
                                    ? coder.decodeDoubleForKey("timeoutIntervalForRequest")
                                    : DefaultRequestTimeout;
  const double resourceTimeout = coder.containsValueForKey("timeoutIntervalForResource")
                                     ? coder.decodeDoubleForKey("timeoutIntervalForResource")
                                     : timeoutIntervalForResource;
  const long connections = coder.containsValueForKey("HTTPMaximumConnectionsPerHost")
                               ? coder.decodeIntegerForKey("HTTPMaximumConnectionsPerHost")
                               : HTTPMaximumConnectionsPerHost;
  const long cachePolicy = coder.decodeIntegerForKey("requestCachePolicy");
  const long serviceType = coder.decodeIntegerForKey("networkServiceType");
  const int64_t bodyMaximum = coder.containsValueForKey("maximumInMemoryBodyLength")
                                  ? coder.decodeInt64ForKey("maximumInMemoryBodyLength")
                                  : URLSessionDefaultMaximumInMemoryBodyLength;
  if (!isTimeout(requestTimeout) || !isTimeout(resourceTimeout) || connections < 1 ||
      connections > URLSessionMaximumConnectionsPerHost || !isCachePolicy(cachePolicy) ||
      !isServiceType(serviceType) || bodyMaximum < 1 || (identifier && ephemeral)) {
    return false;
  }
  if (headers) {
    for (const auto& [key, value] : headers->entries()) {
      if (!isKind<String>(key) || !isKind<String>(value)) return false;
    }
  }

  identifier_ = identifier ? std::optional<std::string>(identifier->utf8()) : std::nullopt;
  ephemeral_ = ephemeral;
  timeoutIntervalForRequest = requestTimeout;
  timeoutIntervalForResource = resourceTimeout;
  HTTPMaximumConnectionsPerHost = connections;
  requestCachePolicy = static_cast<URLRequestCachePolicy>(cachePolicy);
  networkServiceType = static_cast<URLRequestNetworkServiceType>(serviceType);
  maximumInMemoryBodyLength_ = bodyMaximum;
  auto flag = [&](const char* key, bool fallback) {
    return coder.containsValueForKey(key) ? coder.decodeBoolForKey(key) : fallback;
  };
  allowsCellularAccess = flag("allowsCellularAccess", allowsCellularAccess);
  HTTPShouldUsePipelining = flag("HTTPShouldUsePipelining", HTTPShouldUsePipelining);
  HTTPShouldSetCookies = flag("HTTPShouldSetCookies", HTTPShouldSetCookies);
  waitsForConnectivity = flag("waitsForConnectivity", waitsForConnectivity);
  discretionary = flag("discretionary", discretionary);
  sessionSendsLaunchEvents = flag("sessionSendsLaunchEvents", sessionSendsLaunchEvents);
  HTTPAdditionalHeaders = headers ? std::static_pointer_cast<Dictionary>(headers->copy()) : nullptr;
  sharedContainerIdentifier =
      containerIdentifier ? std::optional<std::string>(containerIdentifier->utf8()) : std::nullopt;
  if (!flag("usesURLCache", true)) URLCache = nullptr;
  else URLCache = ephemeral ? ephemeralSessionConfiguration()->URLCache : kit::URLCache::sharedURLCache();
  return true;
}

std::string URLSessionConfiguration::description() const {
  return formatString("<%s: %p> %s", className(), static_cast<const void*>(this),
                      identifier_ ? *identifier_ : std::string(ephemeral_ ? "ephemeral" : "default"));
}

}  // namespace kit
