// kit::URL parts as the network code reads them.
#include "kit/net/url_adapter.h"

#include <cctype>

#include "kit/net/http_header_fields.h"

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
  const std::string host = urlHost(url);
  std::string_view name = host;
  if (name.ends_with('.')) name.remove_suffix(1);
  const size_t dot = name.rfind('.');
  return equalsIgnoringCase(dot == std::string_view::npos ? name : name.substr(dot + 1), "invalid");
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
