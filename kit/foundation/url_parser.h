// The RFC 3986 machinery behind URL and URLComponents: splitting a URI
// reference into its components with strict validation, putting components
// back together, resolving a reference against a base (section 5.2) and
// removing dot segments. Components are kept percent-encoded, as written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kit {

struct URLParts {
  std::optional<std::string> scheme;
  // The authority is present when the reference had "//" (or, for built
  // parts, when any of its pieces is set).
  bool hasAuthority = false;
  std::optional<std::string> user;
  std::optional<std::string> password;
  std::string host;                  // brackets of an IP literal kept
  std::optional<std::string> port;   // the digits as written ("" for "host:")
  std::string path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;

  // "[user[:password]@]host[:port]"
  std::string authority() const;
  // The reference as text (section 5.3). A path that would be misread is
  // protected: "/." before a path starting with "//" when there is no
  // authority, "./" before a first segment holding ":" when there is no
  // scheme.
  std::string recompose() const;
};

// The components of a URI reference, or nothing when the text is not one:
// characters outside the URI character set, "%" not followed by two
// hexadecimal digits, "[" or "]" outside an IPv6 (or IPvFuture) literal
// host, an invalid IPv6 literal, a port that is not a number up to 65535,
// or a scheme-less reference whose first segment holds ":".
std::optional<URLParts> parseURLReference(std::string_view text);

// The target of `reference` resolved against `base` (RFC 3986 5.2.2).
URLParts resolveURLReference(const URLParts& base, const URLParts& reference);

// RFC 3986 5.2.4.
std::string removeDotSegments(std::string_view path);

// Which component a piece of percent-encoded text is meant for.
enum class URLComponent { Scheme, User, Password, Host, Port, Path, Query, Fragment };
// True when `text` may stand in that component as it is.
bool isValidURLComponent(std::string_view text, URLComponent component);

}  // namespace kit
