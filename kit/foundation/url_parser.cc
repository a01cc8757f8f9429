// RFC 3986 parsing, recomposition and reference resolution.

#include "kit/foundation/url_parser.h"

#include <arpa/inet.h>

#include <vector>

namespace kit {
namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelim(char c) { return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos; }

// True when every character is percent-encoded or passes `plain`.
template <class Plain>
bool consistsOf(std::string_view text, Plain plain) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
      i += 2;
    } else if (!plain(c)) {
      return false;
    }
  }
  return true;
}

bool isPchar(char c) { return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@'; }

bool validScheme(std::string_view s) {
  if (s.empty() || !isAlpha(s[0])) return false;
  for (char c : s) {
    if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

bool validPort(std::string_view s) {
  size_t value = 0;
  for (char c : s) {
    if (!isDigit(c)) return false;
    value = value * 10 + static_cast<size_t>(c - '0');
    if (value > 65535) return false;
  }
  return true;
}

// "[...]" holding an IPv6 address or an IPvFuture literal.
bool validIPLiteral(std::string_view literal) {
  if (literal.size() < 2 || literal.front() != '[' || literal.back() != ']') return false;
  std::string_view inside = literal.substr(1, literal.size() - 2);
  if (!inside.empty() && (inside[0] == 'v' || inside[0] == 'V')) {
    size_t dot = inside.find('.');
    if (dot == std::string_view::npos || dot < 2 || dot + 1 >= inside.size()) return false;
    for (char c : inside.substr(1, dot - 1)) {
      if (!isHex(c)) return false;
    }
    for (char c : inside.substr(dot + 1)) {
      if (!isUnreserved(c) && !isSubDelim(c) && c != ':') return false;
    }
    return true;
  }
  if (inside.size() > 45) return false;
  std::string address(inside);
  unsigned char buffer[16];
  return inet_pton(AF_INET6, address.c_str(), buffer) == 1;
}

bool validHost(std::string_view host) {
  if (!host.empty() && host[0] == '[') return validIPLiteral(host);
  return consistsOf(host, [](char c) { return isUnreserved(c) || isSubDelim(c); });
}

bool validUserInfo(std::string_view text, bool allowColon) {
  return consistsOf(text, [allowColon](char c) { return isUnreserved(c) || isSubDelim(c) || (allowColon && c == ':'); });
}

bool parseAuthority(std::string_view authority, URLParts& parts) {
  parts.hasAuthority = true;
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    std::string_view info = authority.substr(0, at);
    size_t colon = info.find(':');
    std::string_view user = info.substr(0, colon);
    if (!validUserInfo(user, false)) return false;
    parts.user = std::string(user);
    if (colon != std::string_view::npos) {
      std::string_view password = info.substr(colon + 1);
      if (!validUserInfo(password, true)) return false;
      parts.password = std::string(password);
    }
    authority.remove_prefix(at + 1);
  }
  std::string_view host = authority;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    host = authority.substr(0, close + 1);
    std::string_view rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return false;
      parts.port = std::string(rest.substr(1));
    }
  } else {
    size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
      host = authority.substr(0, colon);
      parts.port = std::string(authority.substr(colon + 1));
    }
  }
  if (!validHost(host)) return false;
  if (parts.port && !validPort(*parts.port)) return false;
  parts.host = std::string(host);
  return true;
}

// The part of `path` up to and including its last "/", or "" with none.
std::string_view directoryOf(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

}  // namespace

std::string URLParts::authority() const {
  std::string out;
  if (user || password) {
    out += user.value_or("");
    if (password) out += ":" + *password;
    out += '@';
  }
  out += host;
  if (port) out += ":" + *port;
  return out;
}

std::string URLParts::recompose() const {
  std::string out;
  if (scheme) out += *scheme + ":";
  if (hasAuthority) {
    out += "//" + authority();
  } else if (path.starts_with("//")) {
    out += "/.";
  } else if (!scheme && path.substr(0, path.find('/')).find(':') != std::string::npos) {
    out += "./";
  }
  out += path;
  if (query) out += "?" + *query;
  if (fragment) out += "#" + *fragment;
  return out;
}

bool isValidURLComponent(std::string_view text, URLComponent component) {
  switch (component) {
    case URLComponent::Scheme: return validScheme(text);
    case URLComponent::User: return validUserInfo(text, false);
    case URLComponent::Password: return validUserInfo(text, true);
    case URLComponent::Host: return validHost(text);
    case URLComponent::Port: return validPort(text);
    case URLComponent::Path: return consistsOf(text, [](char c) { return isPchar(c) || c == '/'; });
    case URLComponent::Query:
    case URLComponent::Fragment: return consistsOf(text, [](char c) { return isPchar(c) || c == '/' || c == '?'; });
  }
  return false;
}

std::optional<URLParts> parseURLReference(std::string_view text) {
  URLParts parts;
  std::string_view rest = text;

  size_t delimiter = rest.find_first_of(":/?#");
  if (delimiter != std::string_view::npos && rest[delimiter] == ':') {
    // A colon before any "/", "?" or "#" ends a scheme; in a scheme-less
    // reference the first segment may not hold one.
    std::string_view scheme = rest.substr(0, delimiter);
    if (!validScheme(scheme)) return std::nullopt;
    parts.scheme = std::string(scheme);
    rest.remove_prefix(delimiter + 1);
  }

  size_t hash = rest.find('#');
  if (hash != std::string_view::npos) {
    std::string_view fragment = rest.substr(hash + 1);
    if (!isValidURLComponent(fragment, URLComponent::Fragment)) return std::nullopt;
    parts.fragment = std::string(fragment);
    rest = rest.substr(0, hash);
  }
  size_t question = rest.find('?');
  if (question != std::string_view::npos) {
    std::string_view query = rest.substr(question + 1);
    if (!isValidURLComponent(query, URLComponent::Query)) return std::nullopt;
    parts.query = std::string(query);
    rest = rest.substr(0, question);
  }
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    size_t slash = rest.find('/');
    if (!parseAuthority(rest.substr(0, slash), parts)) return std::nullopt;
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  if (!isValidURLComponent(rest, URLComponent::Path)) return std::nullopt;
  parts.path = std::string(rest);
  return parts;
}

std::string removeDotSegments(std::string_view input) {
  std::vector<std::string_view> output;
  bool absolute = input.starts_with('/');
  bool trailingSlash = false;
  // Walk the segments; "." is dropped, ".." drops the previous segment, and
  // a final "." or ".." leaves the path ending in "/".
  size_t pos = absolute ? 1 : 0;
  while (pos <= input.size()) {
    size_t slash = input.find('/', pos);
    bool last = slash == std::string_view::npos;
    std::string_view segment = input.substr(pos, last ? std::string_view::npos : slash - pos);
    if (segment == ".") {
      trailingSlash = last;
    } else if (segment == "..") {
      if (!output.empty()) output.pop_back();
      trailingSlash = last;
    } else {
      output.push_back(segment);
      trailingSlash = false;
    }
    if (last) break;
    pos = slash + 1;
  }
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < output.size(); ++i) {
    if (i) out += '/';
    out += output[i];
  }
  if (trailingSlash && !out.empty() && out.back() != '/') out += '/';
  return out;
}

URLParts resolveURLReference(const URLParts& base, const URLParts& ref) {
  URLParts target;
  auto takeAuthority = [&target](const URLParts& from) {
    target.hasAuthority = from.hasAuthority;
    target.user = from.user;
    target.password = from.password;
    target.host = from.host;
    target.port = from.port;
  };
  if (ref.scheme) {
    target = ref;
    target.path = removeDotSegments(ref.path);
    return target;
  }
  if (ref.hasAuthority) {
    takeAuthority(ref);
    target.path = removeDotSegments(ref.path);
    target.query = ref.query;
  } else {
    takeAuthority(base);
    if (ref.path.empty()) {
      target.path = base.path;
      target.query = ref.query ? ref.query : base.query;
    } else {
      if (ref.path.starts_with('/')) {
        target.path = removeDotSegments(ref.path);
      } else {
        // Merge (5.2.3): a base with an authority and no path acts as "/".
        std::string merged = base.hasAuthority && base.path.empty()
                                 ? "/" + ref.path
                                 : std::string(directoryOf(base.path)) + ref.path;
        target.path = removeDotSegments(merged);
      }
      target.query = ref.query;
    }
  }
  target.scheme = base.scheme;
  target.fragment = ref.fragment;
  return target;
}

}  // namespace kit
