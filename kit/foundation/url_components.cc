// URL components and query items.

#include "kit/foundation/url_components.h"

#include "kit/foundation/charset.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string_encoding.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(URLQueryItem, Object, "NSURLQueryItem") {}
KIT_DEFINE_CLASS_NAMED(URLComponents, Object, "NSURLComponents") {}

// ---- URLQueryItem ---------------------------------------------------------

std::string URLQueryItem::description() const {
  return defaultDescription() + " {name = " + name_->utf8() + ", value = " + describe(value_) + "}";
}

bool URLQueryItem::isEqual(const Object& other) const {
  auto* item = dynamic_cast<const URLQueryItem*>(&other);
  return item && item->name_->isEqual(*name_) && kit::isEqual(item->value_, value_);
}

// ---- Helpers --------------------------------------------------------------

namespace {

Ref<String> optionalText(const std::optional<std::string>& text) { return text ? String::make(*text) : nullptr; }

Ref<String> decodedOrRaw(const std::optional<std::string>& text) {
  if (!text) return nullptr;
  auto decoded = stringByRemovingPercentEncoding(*text);
  return decoded ? decoded : String::make(*text);
}

// Encodes with an allowed set; a lone surrogate becomes U+FFFD first.
std::string encode(std::string_view text, const CharacterSet& allowed) {
  if (auto encoded = stringByAddingPercentEncodingWithAllowedCharacters(text, allowed)) return encoded->utf8();
  auto utf8 = bytesUsingEncoding(*String::make(text), StringEncoding::UTF8, true);
  return stringByAddingPercentEncodingWithAllowedCharacters(*utf8, allowed)->utf8();
}

std::optional<std::string> encodeOptional(std::optional<std::string_view> text, const Ref<CharacterSet>& allowed) {
  if (!text) return std::nullopt;
  return encode(*text, *allowed);
}

std::optional<std::string> checked(std::optional<std::string_view> text, URLComponent component, const char* name) {
  if (!text) return std::nullopt;
  if (!isValidURLComponent(*text, component)) {
    raise(InvalidArgumentException,
          std::string("-[NSURLComponents setPercentEncoded") + name + ":]: invalid characters in " + name);
  }
  return std::string(*text);
}

const Ref<CharacterSet>& queryItemNameAllowed() {
  static const NoDestructor<Ref<CharacterSet>> set(CharacterSet::urlQueryAllowed()->removing("&="));
  return *set;
}

const Ref<CharacterSet>& queryItemValueAllowed() {
  static const NoDestructor<Ref<CharacterSet>> set(CharacterSet::urlQueryAllowed()->removing("&"));
  return *set;
}

}  // namespace

// ---- URLComponents --------------------------------------------------------

Ref<URLComponents> URLComponents::componentsWithString(std::string_view text) {
  auto parts = parseURLReference(text);
  if (!parts) return nullptr;
  auto components = make();
  components->scheme_ = parts->scheme;
  if (parts->hasAuthority) {
    components->user_ = parts->user;
    components->password_ = parts->password;
    components->host_ = parts->host;
    if (parts->port && !parts->port->empty()) components->port_ = std::stol(*parts->port);
  }
  components->path_ = parts->path;
  components->query_ = parts->query;
  components->fragment_ = parts->fragment;
  return components;
}

Ref<URLComponents> URLComponents::componentsWithURL(const URL& url, bool resolvingAgainstBaseURL) {
  return componentsWithString(resolvingAgainstBaseURL ? url.absoluteText() : url.relativeString()->utf8());
}

URLParts URLComponents::toParts() const {
  URLParts parts;
  parts.scheme = scheme_;
  parts.hasAuthority = hasAuthority();
  parts.user = user_;
  parts.password = password_;
  parts.host = host_.value_or("");
  if (port_) parts.port = std::to_string(*port_);
  parts.path = path_;
  parts.query = query_;
  parts.fragment = fragment_;
  return parts;
}

Ref<String> URLComponents::string() const {
  if (hasAuthority()) {
    if (!path_.empty() && path_[0] != '/') return nullptr;
  } else {
    if (path_.starts_with("//")) return nullptr;
    if (!scheme_ && path_.substr(0, path_.find('/')).find(':') != std::string::npos) return nullptr;
  }
  return String::make(toParts().recompose());
}

Ref<URL> URLComponents::url() const {
  auto text = string();
  return text ? URL::URLWithString(text->utf8()) : nullptr;
}

Ref<URL> URLComponents::urlRelativeToURL(const Ref<URL>& base) const {
  auto text = string();
  return text ? URL::URLWithString(text->utf8(), base) : nullptr;
}

Ref<String> URLComponents::scheme() const { return optionalText(scheme_); }
Ref<String> URLComponents::user() const { return decodedOrRaw(user_); }
Ref<String> URLComponents::password() const { return decodedOrRaw(password_); }

Ref<String> URLComponents::host() const {
  if (host_ && host_->starts_with('[') && host_->ends_with(']')) {
    return String::make(host_->substr(1, host_->size() - 2));
  }
  return decodedOrRaw(host_);
}

Ref<Number> URLComponents::port() const { return port_ ? Number::fromLong(*port_) : nullptr; }
Ref<String> URLComponents::path() const { return decodedOrRaw(path_); }
Ref<String> URLComponents::query() const { return decodedOrRaw(query_); }
Ref<String> URLComponents::fragment() const { return decodedOrRaw(fragment_); }

void URLComponents::setScheme(std::optional<std::string_view> scheme) {
  if (scheme && !isValidURLComponent(*scheme, URLComponent::Scheme)) {
    raise(InvalidArgumentException, "-[NSURLComponents setScheme:]: invalid characters in scheme");
  }
  scheme_ = scheme ? std::optional<std::string>(*scheme) : std::nullopt;
}

void URLComponents::setUser(std::optional<std::string_view> user) {
  user_ = encodeOptional(user, CharacterSet::urlUserAllowed());
}

void URLComponents::setPassword(std::optional<std::string_view> password) {
  password_ = encodeOptional(password, CharacterSet::urlPasswordAllowed());
}

void URLComponents::setHost(std::optional<std::string_view> host) {
  if (host && host->find(':') != std::string_view::npos && !host->starts_with('[')) {
    // An IPv6 address goes into the URL between brackets.
    host_ = "[" + encode(*host, *CharacterSet::urlHostAllowed()) + "]";
    return;
  }
  host_ = encodeOptional(host, CharacterSet::urlHostAllowed());
}

void URLComponents::setPort(const Ref<Number>& port) {
  if (port && port->longLongValue() < 0) {
    raise(InvalidArgumentException, "-[NSURLComponents setPort:]: attempt to set a negative port");
  }
  port_ = port ? std::optional<long>(port->integerValue()) : std::nullopt;
}

void URLComponents::setPath(std::optional<std::string_view> path) {
  path_ = path ? encode(*path, *CharacterSet::urlPathAllowed()) : "";
}

void URLComponents::setQuery(std::optional<std::string_view> query) {
  query_ = encodeOptional(query, CharacterSet::urlQueryAllowed());
}

void URLComponents::setFragment(std::optional<std::string_view> fragment) {
  fragment_ = encodeOptional(fragment, CharacterSet::urlFragmentAllowed());
}

Ref<String> URLComponents::percentEncodedUser() const { return optionalText(user_); }
Ref<String> URLComponents::percentEncodedPassword() const { return optionalText(password_); }
Ref<String> URLComponents::percentEncodedHost() const { return optionalText(host_); }
Ref<String> URLComponents::percentEncodedQuery() const { return optionalText(query_); }
Ref<String> URLComponents::percentEncodedFragment() const { return optionalText(fragment_); }

void URLComponents::setPercentEncodedUser(std::optional<std::string_view> user) {
  user_ = checked(user, URLComponent::User, "User");
}
void URLComponents::setPercentEncodedPassword(std::optional<std::string_view> password) {
  password_ = checked(password, URLComponent::Password, "Password");
}
void URLComponents::setPercentEncodedHost(std::optional<std::string_view> host) {
  host_ = checked(host, URLComponent::Host, "Host");
}
void URLComponents::setPercentEncodedPath(std::optional<std::string_view> path) {
  path_ = checked(path, URLComponent::Path, "Path").value_or("");
}
void URLComponents::setPercentEncodedQuery(std::optional<std::string_view> query) {
  query_ = checked(query, URLComponent::Query, "Query");
}
void URLComponents::setPercentEncodedFragment(std::optional<std::string_view> fragment) {
  fragment_ = checked(fragment, URLComponent::Fragment, "Fragment");
}

Ref<Array> URLComponents::percentEncodedQueryItems() const {
  if (!query_) return nullptr;
  std::vector<Id> items;
  if (query_->empty()) return Array::make();
  std::string_view rest = *query_;
  while (true) {
    size_t amp = rest.find('&');
    std::string_view piece = rest.substr(0, amp);
    size_t eq = piece.find('=');
    if (eq == std::string_view::npos) {
      items.push_back(URLQueryItem::make(piece, std::nullopt));
    } else {
      items.push_back(URLQueryItem::make(piece.substr(0, eq), piece.substr(eq + 1)));
    }
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  return Array::make(std::move(items));
}

Ref<Array> URLComponents::queryItems() const {
  auto encoded = percentEncodedQueryItems();
  if (!encoded) return nullptr;
  std::vector<Id> items;
  for (const Id& element : *encoded) {
    auto item = as<URLQueryItem>(element);
    auto name = stringByRemovingPercentEncoding(*item->name());
    auto value = item->value() ? stringByRemovingPercentEncoding(*item->value()) : nullptr;
    items.push_back(URLQueryItem::make(name ? name : item->name(), item->value() && !value ? item->value() : value));
  }
  return Array::make(std::move(items));
}

namespace {

void appendItems(std::string& query, const Array& items, bool encodeItems) {
  bool first = true;
  for (const Id& element : items) {
    auto item = as<URLQueryItem>(element);
    if (!item) {
      raise(InvalidArgumentException, "-[NSURLComponents setQueryItems:]: " + describe(element) +
                                          " is not an NSURLQueryItem");
    }
    std::string name = item->name()->utf8();
    std::optional<std::string> value;
    if (item->value()) value = item->value()->utf8();
    if (encodeItems) {
      name = encode(name, *queryItemNameAllowed());
      if (value) value = encode(*value, *queryItemValueAllowed());
    } else {
      bool ok = isValidURLComponent(name, URLComponent::Query) && name.find_first_of("&=") == std::string::npos &&
                (!value || (isValidURLComponent(*value, URLComponent::Query) && value->find('&') == std::string::npos));
      if (!ok) {
        raise(InvalidArgumentException,
              "-[NSURLComponents setPercentEncodedQueryItems:]: invalid characters in query item " + name);
      }
    }
    if (!first) query += '&';
    first = false;
    query += name;
    if (value) query += "=" + *value;
  }
}

}  // namespace

void URLComponents::setQueryItems(const Ref<Array>& items) {
  if (!items) {
    query_.reset();
    return;
  }
  std::string query;
  appendItems(query, *items, true);
  query_ = std::move(query);
}

void URLComponents::setPercentEncodedQueryItems(const Ref<Array>& items) {
  if (!items) {
    query_.reset();
    return;
  }
  std::string query;
  appendItems(query, *items, false);
  query_ = std::move(query);
}

std::string URLComponents::description() const {
  return defaultDescription() + " {scheme = " + describe(scheme()) + ", user = " + describe(user()) +
         ", password = " + describe(password()) + ", host = " + describe(host()) + ", port = " + describe(port()) +
         ", path = " + path_ + ", query = " + describe(query()) + ", fragment = " + describe(fragment()) + "}";
}

bool URLComponents::isEqual(const Object& other) const {
  auto* c = dynamic_cast<const URLComponents*>(&other);
  return c && c->scheme_ == scheme_ && c->user_ == user_ && c->password_ == password_ && c->host_ == host_ &&
         c->port_ == port_ && c->path_ == path_ && c->query_ == query_ && c->fragment_ == fragment_;
}

size_t URLComponents::hash() const { return String::hashOf(toParts().recompose()); }

Id URLComponents::copy() const {
  auto c = make();
  c->scheme_ = scheme_;
  c->user_ = user_;
  c->password_ = password_;
  c->host_ = host_;
  c->port_ = port_;
  c->path_ = path_;
  c->query_ = query_;
  c->fragment_ = fragment_;
  return c;
}

}  // namespace kit
