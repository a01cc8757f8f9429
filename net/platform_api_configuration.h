// Where the platform API server is: the one process-wide base URL that every
// platform API caller appends its relative path to, as plain text.
//
// The base URL is the configured origin (scheme, host and port) followed by
// "/sdkapicoupon/". The origin is the first of:
//   - the environment variable KIT_PLATFORM_API_BASE;
//   - "PlatformAPIBase" in the service list named by GAMECLIENT_SERVICES
//     (the property list the simulator writes for the whole client);
//   - "PlatformAPIBase" in the main bundle's "ServiceHosts.plist", then in
//     its Info.plist;
//   - the production placeholder.
// Tests and the demo point it at the local simulator.
#pragma once

#include <string>

#include "kit/foundation/dictionary.h"

inline constexpr const char* kPlatformAPIBaseEnvironmentVariable = "KIT_PLATFORM_API_BASE";
inline constexpr const char* kPlatformAPIServicesEnvironmentVariable = "GAMECLIENT_SERVICES";
inline constexpr const char* kPlatformAPIServiceHostsResource = "ServiceHosts";
inline constexpr const char* kPlatformAPIBaseInfoKey = "PlatformAPIBase";
inline constexpr const char* kPlatformAPIDefaultOrigin = "http://sdkapi.platform.invalid";
inline constexpr const char* kPlatformAPIPath = "/sdkapicoupon/";

// The base URL. The files are read again whenever the environment or the
// main bundle's folder changes.
std::string SDPPlatformAPIBaseURL();

// The base URL for an environment value (nil or empty: unset) and the
// configuration dictionaries in the order they are asked (any may be nil).
std::string SDPPlatformAPIBaseURLFrom(const char* environmentValue,
                                      std::initializer_list<kit::Ref<kit::Dictionary>> sources);
