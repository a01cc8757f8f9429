// URLs: an immutable RFC 3986 URI reference, optionally relative to a base
// URL, with the platform's accessors. Text that is not a valid reference
// (spaces, characters outside the URI character set, stray "%", bad ports,
// brackets outside an IPv6 host) gives nil instead of a URL. Components
// read through the accessors are those of the absolute URL; path, user,
// password and host come back percent-decoded, query and fragment as
// written. Two URLs are equal when their absolute strings are.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/array.h"
#include "kit/foundation/number.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/foundation/url_parser.h"

namespace kit {

class URL : public Object {
 public:
  // Use the factories; public for make_shared.
  URL(std::string text, URLParts parts, Ref<URL> base);

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // nil for text that is not a URL reference, and for empty text.
  static Ref<URL> URLWithString(std::string_view text);
  static Ref<URL> URLWithString(const Ref<String>& text);
  // A reference relative to `base`. With a scheme of its own, the text
  // stands alone and the base is dropped.
  static Ref<URL> URLWithString(std::string_view text, const Ref<URL>& base);
  // A "file" URL for a path, percent-encoded. A relative path is relative
  // to the current directory (which becomes the base URL). A directory
  // path ends with "/": given by `isDirectory`, or looked up on disk.
  // Raises the invalid-argument exception for an empty path.
  static Ref<URL> fileURLWithPath(std::string_view path);
  static Ref<URL> fileURLWithPath(std::string_view path, bool isDirectory);

  Ref<String> absoluteString() const { return String::make(absolute_); }
  Ref<String> relativeString() const { return String::make(text_); }
  const std::string& absoluteText() const { return absolute_; }
  Ref<URL> baseURL() const { return base_; }
  // This URL when it is absolute, else a new URL for its absolute string.
  Ref<URL> absoluteURL() const;

  Ref<String> scheme() const;
  Ref<String> user() const;
  Ref<String> password() const;
  Ref<String> host() const;  // without the brackets of an IPv6 literal
  Ref<Number> port() const;
  // The decoded path without a trailing "/" (except the root itself); ""
  // when there is none; nil when its escapes do not decode to UTF-8.
  Ref<String> path() const;
  // The decoded path of the relative part, as path() formats it.
  Ref<String> relativePath() const;
  Ref<String> query() const;
  Ref<String> fragment() const;
  // Everything after "scheme:" of the relative text.
  Ref<String> resourceSpecifier() const;
  Ref<String> lastPathComponent() const;
  Ref<String> pathExtension() const;
  Ref<Array> pathComponents() const;
  bool hasDirectoryPath() const { return absoluteParts_.path.ends_with('/'); }
  bool isFileURL() const;

  // The absolute URL's path with a component appended (percent-encoded for
  // a path); query and fragment stay. Without `isDirectory`, a file URL
  // naming an existing directory gets the trailing "/".
  Ref<URL> URLByAppendingPathComponent(std::string_view component) const;
  Ref<URL> URLByAppendingPathComponent(std::string_view component, bool isDirectory) const;
  Ref<URL> URLByDeletingLastPathComponent() const;
  Ref<URL> URLByAppendingPathExtension(std::string_view extension) const;
  Ref<URL> URLByDeletingPathExtension() const;
  // The absolute URL with "." and ".." segments removed from its path.
  Ref<URL> standardizedURL() const;

  // The components of the reference as written, and of the absolute URL.
  const URLParts& parts() const { return parts_; }
  const URLParts& absoluteParts() const { return absoluteParts_; }

  std::string description() const override { return absolute_; }
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return String::hashOf(absolute_); }
  Id copy() const override { return self(); }

 private:
  static Ref<URL> withParts(const URLParts& parts);
  Ref<URL> withPath(std::string path) const;

  std::string text_;
  URLParts parts_;
  Ref<URL> base_;
  URLParts absoluteParts_;
  std::string absolute_;
};

}  // namespace kit
