// The URL type kit networking speaks, and the few operations it needs from
// it (parsing, resolving a redirect target, reading parts). Everything in
// kit/net goes through the functions below, so that the URL class behind
// them can change in this one place.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/object.h"

namespace kit {

// An absolute URL as text with its parts. Made only by the functions below.
class URL : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // nil when the text is not an absolute URL.
  static Ref<URL> URLWithString(std::string_view text);
  // `text` resolved against `base` (a redirect's Location); nil when invalid.
  static Ref<URL> URLWithString(std::string_view text, const Ref<URL>& base);
  static Ref<URL> fileURLWithPath(std::string_view path);

  const std::string& absoluteString() const { return text_; }
  const std::string& scheme() const { return scheme_; }  // lower case
  const std::string& host() const { return host_; }
  std::optional<int> port() const { return port_; }
  const std::string& path() const { return path_; }  // percent-decoded
  const std::string& query() const { return query_; }
  bool isFileURL() const { return scheme_ == "file"; }
  std::string lastPathComponent() const;
  std::string pathExtension() const;

  std::string description() const override { return text_; }
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override { return self(); }

  // Use the factories.
  URL() = default;

 private:
  friend struct URLFiller;
  std::string text_, scheme_, host_, path_, query_;
  std::optional<int> port_;
};

namespace netdetail {

inline Ref<URL> urlFromString(std::string_view text) { return URL::URLWithString(text); }
inline Ref<URL> resolveURL(std::string_view text, const Ref<URL>& base) { return URL::URLWithString(text, base); }
inline Ref<URL> fileURL(std::string_view path) { return URL::fileURLWithPath(path); }
inline std::string urlString(const Ref<URL>& url) { return url ? url->absoluteString() : std::string(); }
inline std::string urlScheme(const Ref<URL>& url) { return url ? url->scheme() : std::string(); }
inline std::string urlHost(const Ref<URL>& url) { return url ? url->host() : std::string(); }
// The port in the URL, or the scheme's default (80 / 443), or 0.
int urlPort(const Ref<URL>& url);
inline std::string urlPath(const Ref<URL>& url) { return url ? url->path() : std::string(); }
inline bool urlIsFile(const Ref<URL>& url) { return url && url->isFileURL(); }

}  // namespace netdetail
}  // namespace kit
