// URL components: a URL taken apart into scheme, user, password, host,
// port, path, query and fragment, each readable and settable either
// decoded (setting encodes it with the platform's character set for that
// component) or percent-encoded (setting text that may not stand in the
// component raises the invalid-argument exception), plus the query as a
// list of name/value items, and the URL they form again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/array.h"
#include "kit/foundation/number.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/foundation/url.h"

namespace kit {

// One "name=value" pair of a query; the value is nil for a bare "name".
class URLQueryItem : public Object {
 public:
  URLQueryItem() : name_(String::make("")) {}
  URLQueryItem(Ref<String> name, Ref<String> value) : name_(name ? std::move(name) : String::make("")), value_(std::move(value)) {}

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<URLQueryItem> make(std::string_view name, std::optional<std::string_view> value) {
    return std::make_shared<URLQueryItem>(String::make(name), value ? String::make(*value) : nullptr);
  }
  static Ref<URLQueryItem> make(Ref<String> name, Ref<String> value) {
    return std::make_shared<URLQueryItem>(std::move(name), std::move(value));
  }

  Ref<String> name() const { return name_; }
  Ref<String> value() const { return value_; }

  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return name_->hash(); }
  Id copy() const override { return self(); }

 private:
  Ref<String> name_;
  Ref<String> value_;
};

class URLComponents : public Object {
 public:
  URLComponents() = default;

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<URLComponents> make() { return std::make_shared<URLComponents>(); }
  // nil when the text is not a URL reference.
  static Ref<URLComponents> componentsWithString(std::string_view text);
  // The components of the URL's relative text, or of its absolute text when
  // `resolvingAgainstBaseURL` is set.
  static Ref<URLComponents> componentsWithURL(const URL& url, bool resolvingAgainstBaseURL);

  // The URL text the components form; nil when they cannot form one: a path
  // not starting with "/" after an authority, a path starting with "//"
  // without one, or a first path segment holding ":" without a scheme.
  Ref<String> string() const;
  Ref<URL> url() const;
  Ref<URL> urlRelativeToURL(const Ref<URL>& base) const;

  // Decoded components. The path is never nil ("" when empty); the host
  // of an IPv6 literal comes without its brackets.
  Ref<String> scheme() const;
  Ref<String> user() const;
  Ref<String> password() const;
  Ref<String> host() const;
  Ref<Number> port() const;
  Ref<String> path() const;
  Ref<String> query() const;
  Ref<String> fragment() const;

  // Setters of decoded text; nullopt removes the component. The scheme
  // must be a valid scheme and the port not negative (both raise).
  void setScheme(std::optional<std::string_view> scheme);
  void setUser(std::optional<std::string_view> user);
  void setPassword(std::optional<std::string_view> password);
  void setHost(std::optional<std::string_view> host);
  void setPort(const Ref<Number>& port);
  void setPath(std::optional<std::string_view> path);
  void setQuery(std::optional<std::string_view> query);
  void setFragment(std::optional<std::string_view> fragment);

  // Percent-encoded components, as they appear in the URL text.
  Ref<String> percentEncodedUser() const;
  Ref<String> percentEncodedPassword() const;
  Ref<String> percentEncodedHost() const;
  Ref<String> percentEncodedPath() const { return String::make(path_); }
  Ref<String> percentEncodedQuery() const;
  Ref<String> percentEncodedFragment() const;
  void setPercentEncodedUser(std::optional<std::string_view> user);
  void setPercentEncodedPassword(std::optional<std::string_view> password);
  void setPercentEncodedHost(std::optional<std::string_view> host);
  void setPercentEncodedPath(std::optional<std::string_view> path);
  void setPercentEncodedQuery(std::optional<std::string_view> query);
  void setPercentEncodedFragment(std::optional<std::string_view> fragment);

  // The query as URLQueryItems: pieces between "&", each split at its first
  // "=" (no "=" gives a nil value), names and values decoded. nil without a
  // query; an empty query gives no items. Setting encodes each name and
  // value with the query set, "&" and (in names) "=" included, leaving "+"
  // as it is; nil removes the query and an empty array leaves an empty one.
  Ref<Array> queryItems() const;
  void setQueryItems(const Ref<Array>& items);
  // The same without decoding or encoding; setting raises for a name or
  // value that may not stand in a query item.
  Ref<Array> percentEncodedQueryItems() const;
  void setPercentEncodedQueryItems(const Ref<Array>& items);

  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override;

 private:
  bool hasAuthority() const { return user_ || password_ || host_ || port_; }
  URLParts toParts() const;

  std::optional<std::string> scheme_;
  std::optional<std::string> user_;
  std::optional<std::string> password_;
  std::optional<std::string> host_;
  std::optional<long> port_;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

}  // namespace kit
