// The few operations kit networking needs from kit::URL (reading its parts
// as plain text, resolving a redirect target), in one place.
#pragma once

#include <string>
#include <string_view>

#include "kit/foundation/url.h"

namespace kit::netdetail {

inline Ref<URL> urlFromString(std::string_view text) { return URL::URLWithString(text); }
// `text` resolved against `base` (a redirect's Location); nil when invalid.
inline Ref<URL> resolveURL(std::string_view text, const Ref<URL>& base) { return URL::URLWithString(text, base); }
// nil for an empty path.
Ref<URL> fileURL(std::string_view path);
inline std::string urlString(const Ref<URL>& url) { return url ? url->absoluteText() : std::string(); }
// Lower case.
std::string urlScheme(const Ref<URL>& url);
std::string urlHost(const Ref<URL>& url);
// Whether urlHost is not empty, without decoding it.
bool urlHasHost(const Ref<URL>& url);
// Whether the host is "invalid" or a name under it, which by RFC 6761 no
// resolver may find.
bool urlHostIsReservedInvalid(const Ref<URL>& url);
// The port in the URL, or the scheme's default (80 / 443), or 0.
int urlPort(const Ref<URL>& url);
// Percent-decoded.
std::string urlPath(const Ref<URL>& url);
std::string urlLastPathComponent(const Ref<URL>& url);
inline bool urlIsFile(const Ref<URL>& url) { return url && url->isFileURL(); }

}  // namespace kit::netdetail
