// Parsing and resolution of URLs with libcurl's URL API.
#include "kit/net/url_adapter.h"

#include <curl/curl.h>

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <functional>

#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(URL, Object, "NSURL") {}

namespace {

std::string part(CURLU* u, CURLUPart which, unsigned flags = 0) {
  char* value = nullptr;
  if (curl_url_get(u, which, &value, flags) != CURLUE_OK || !value) return {};
  std::string out(value);
  curl_free(value);
  return out;
}

Ref<URL> fromHandle(CURLU* u, const std::function<void(URL&, CURLU*)>& fill) {
  auto url = std::make_shared<URL>();
  fill(*url, u);
  return url;
}

}  // namespace

// The parts are filled here rather than in a constructor so that URL keeps a
// plain default constructor for make_shared.
struct URLFiller {
  static void fill(URL& url, CURLU* u) {
    url.text_ = part(u, CURLUPART_URL);
    url.scheme_ = part(u, CURLUPART_SCHEME);
    for (auto& c : url.scheme_) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    url.host_ = part(u, CURLUPART_HOST);
    if (url.host_.size() > 2 && url.host_.front() == '[' && url.host_.back() == ']') {
      url.host_ = url.host_.substr(1, url.host_.size() - 2);
    }
    std::string port = part(u, CURLUPART_PORT);
    if (!port.empty()) url.port_ = std::atoi(port.c_str());
    url.path_ = part(u, CURLUPART_PATH, CURLU_URLDECODE);
    url.query_ = part(u, CURLUPART_QUERY);
  }
};

Ref<URL> URL::URLWithString(std::string_view text) { return URLWithString(text, nullptr); }

Ref<URL> URL::URLWithString(std::string_view text, const Ref<URL>& base) {
  if (text.empty() && !base) return nullptr;
  for (char c : text) {
    // Text with spaces or controls is not a URL; callers percent-encode.
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return nullptr;
  }
  CURLU* u = curl_url();
  if (!u) return nullptr;
  unsigned flags = CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS;
  if (base) {
    if (curl_url_set(u, CURLUPART_URL, base->text_.c_str(), flags) != CURLUE_OK) {
      curl_url_cleanup(u);
      return nullptr;
    }
  }
  std::string owned(text);
  if (curl_url_set(u, CURLUPART_URL, owned.c_str(), flags | CURLU_ALLOW_SPACE) != CURLUE_OK) {
    curl_url_cleanup(u);
    return nullptr;
  }
  auto url = fromHandle(u, URLFiller::fill);
  curl_url_cleanup(u);
  return url;
}

Ref<URL> URL::fileURLWithPath(std::string_view path) {
  if (path.empty()) return nullptr;
  std::string absolute(path);
  if (absolute[0] != '/') {
    // Relative paths are taken from the working directory, as the platform does.
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return nullptr;
    absolute = std::string(cwd) + "/" + absolute;
  }
  std::string text = "file://";
  static const char* hex = "0123456789ABCDEF";
  for (unsigned char c : absolute) {
    if (isalnum(c) || std::string_view("/-._~!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos) {
      text += static_cast<char>(c);
    } else {
      text += '%';
      text += hex[c >> 4];
      text += hex[c & 15];
    }
  }
  auto url = std::make_shared<URL>();
  url->text_ = text;
  url->scheme_ = "file";
  url->path_ = absolute;
  return url;
}

std::string URL::lastPathComponent() const { return String(path_).lastPathComponent()->utf8(); }
std::string URL::pathExtension() const { return String(path_).pathExtension()->utf8(); }

bool URL::isEqual(const Object& other) const {
  auto* o = dynamic_cast<const URL*>(&other);
  return o && o->text_ == text_;
}

size_t URL::hash() const { return String::hashOf(text_); }

namespace netdetail {

int urlPort(const Ref<URL>& url) {
  if (!url) return 0;
  if (url->port()) return *url->port();
  if (url->scheme() == "https") return 443;
  if (url->scheme() == "http") return 80;
  return 0;
}

}  // namespace netdetail
}  // namespace kit
