// Where the platform API server is: the one process-wide base URL that every
// platform API caller appends its relative path to, as plain text.
//
// The base URL is the configured origin (scheme, host and port) followed by
// "/sdkapicoupon/". The origin comes from the environment variable
// KIT_PLATFORM_API_BASE when set, else from the main bundle's Info.plist key
// "PlatformAPIBase", else the production placeholder. Tests and the demo
// point it at the local simulator.
#pragma once

#include <string>

#include "kit/foundation/dictionary.h"

inline constexpr const char* kPlatformAPIBaseEnvironmentVariable = "KIT_PLATFORM_API_BASE";
inline constexpr const char* kPlatformAPIBaseInfoKey = "PlatformAPIBase";
inline constexpr const char* kPlatformAPIDefaultOrigin = "http://sdkapi.platform.invalid";
inline constexpr const char* kPlatformAPIPath = "/sdkapicoupon/";

// The base URL, read afresh on every call.
std::string SDPPlatformAPIBaseURL();

// The base URL for an environment value (nil or empty: unset) and an info
// dictionary: what SDPPlatformAPIBaseURL reads them into.
std::string SDPPlatformAPIBaseURLFrom(const char* environmentValue, const kit::Ref<kit::Dictionary>& info);
