// kit::URL parts as the network code reads them.
#include "kit/net/url_adapter.h"

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
  std::string scheme = url ? text(url->scheme()) : std::string();
  for (auto& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme;
}

std::string urlHost(const Ref<URL>& url) { return url ? text(url->host()) : std::string(); }

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
