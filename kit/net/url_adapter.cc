// kit::URL parts as the network code reads them.
#include "kit/net/url_adapter.h"

#include <algorithm>
#include <cctype>

namespace kit::netdetail {

namespace {

std::string text(const Ref<String>& s) { return s ? s->utf8() : std::string(); }

}  // namespace

Ref<URL> fileURL(std::string_view path) {
  if (path.empty()) return nullptr;
  return URL::fileURLWithPath(path, false);
}

std::string urlScheme(const Ref<URL>& url) {
  std::string lowered;
  if (url && url->absoluteParts().scheme) lowered = *url->absoluteParts().scheme;
  for (auto& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

std::string urlHost(const Ref<URL>& url) { return url ? text(url->host()) : std::string(); }

bool urlHasHost(const Ref<URL>& url) {
  if (!url) return false;
  const URLParts& parts = url->absoluteParts();
  // An IP literal keeps its brackets here; decoding never empties a host.
  return parts.hasAuthority && !parts.host.empty() && parts.host != "[]";
}

bool urlHostIsReservedInvalid(const Ref<URL>& url) {
  std::string host = urlHost(url);
  if (!host.empty() && host.back() == '.') host.pop_back();
  constexpr std::string_view kInvalid = "invalid";
  if (host.size() < kInvalid.size()) return false;
  const std::string_view last = std::string_view(host).substr(host.size() - kInvalid.size());
  const bool named = host.size() == kInvalid.size() || host[host.size() - kInvalid.size() - 1] == '.';
  return named && std::equal(last.begin(), last.end(), kInvalid.begin(),
                             [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
}

int urlPort(const Ref<URL>& url) {
  if (!url) return 0;
  if (auto port = url->port()) return port->intValue();
  std::string scheme = urlScheme(url);
  if (scheme == "https") return 443;
  if (scheme == "http") return 80;
  return 0;
}

std::string urlPath(const Ref<URL>& url) { return url ? text(url->path()) : std::string(); }

std::string urlLastPathComponent(const Ref<URL>& url) { return url ? text(url->lastPathComponent()) : std::string(); }

}  // namespace kit::netdetail
