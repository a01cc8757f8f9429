// Character sets built from predicates over code points.

#include "kit/foundation/charset.h"

#include <unicode/uchar.h>

#include <string>
#include <unordered_set>

#include "kit/foundation/no_destructor.h"
#include "kit/foundation/string.h"

namespace kit {
namespace {

Ref<CharacterSet> makeSet(CharacterSet::Predicate p) { return std::make_shared<CharacterSet>(std::move(p)); }

std::unordered_set<char32_t> codePoints(std::string_view chars) {
  std::unordered_set<char32_t> set;
  for (size_t pos = 0; pos < chars.size();) set.insert(decodeCodePoint(chars, pos));
  return set;
}

bool isAsciiAlnum(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// RFC 3986 unreserved characters plus the given extras, as the platform's
// URL component sets are defined.
Ref<CharacterSet> urlSet(std::string_view extras) {
  auto allowed = codePoints(extras);
  return makeSet([allowed](char32_t c) {
    return isAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || allowed.count(c);
  });
}

}  // namespace

Ref<CharacterSet> CharacterSet::whitespace() {
  static const NoDestructor s(makeSet([](char32_t c) { return c == ' ' || c == '\t' || (c > 0x7F && u_hasBinaryProperty(c, UCHAR_WHITE_SPACE) && u_charType(c) == U_SPACE_SEPARATOR); }));
  return *s;
}

Ref<CharacterSet> CharacterSet::newline() {
  static const NoDestructor s(makeSet([](char32_t c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }));
  return *s;
}

Ref<CharacterSet> CharacterSet::whitespaceAndNewline() {
  static const NoDestructor s(makeSet([](char32_t c) {
    return c == ' ' || c == '\t' || (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029 ||
           (c > 0x7F && u_charType(c) == U_SPACE_SEPARATOR);
  }));
  return *s;
}

Ref<CharacterSet> CharacterSet::decimalDigits() {
  static const NoDestructor s(makeSet([](char32_t c) { return u_charType(c) == U_DECIMAL_DIGIT_NUMBER; }));
  return *s;
}

Ref<CharacterSet> CharacterSet::letters() {
  static const NoDestructor s(makeSet([](char32_t c) { return u_isalpha(c) || u_charType(c) == U_NON_SPACING_MARK; }));
  return *s;
}

Ref<CharacterSet> CharacterSet::alphanumerics() {
  static const NoDestructor s(makeSet([](char32_t c) { return u_isalnum(c) || u_charType(c) == U_NON_SPACING_MARK || u_isdigit(c); }));
  return *s;
}

Ref<CharacterSet> CharacterSet::uppercaseLetters() {
  static const NoDestructor s(makeSet([](char32_t c) { return u_isupper(c) || u_istitle(c); }));
  return *s;
}

Ref<CharacterSet> CharacterSet::lowercaseLetters() {
  static const NoDestructor s(makeSet([](char32_t c) { return u_islower(c); }));
  return *s;
}

Ref<CharacterSet> CharacterSet::punctuation() {
  static const NoDestructor s(makeSet([](char32_t c) { return u_ispunct(c); }));
  return *s;
}

Ref<CharacterSet> CharacterSet::fromString(std::string_view chars) {
  auto set = codePoints(chars);
  return makeSet([set](char32_t c) { return set.count(c) != 0; });
}

Ref<CharacterSet> CharacterSet::fromRange(char32_t first, size_t length) {
  return makeSet([first, length](char32_t c) { return c >= first && c - first < length; });
}

Ref<CharacterSet> CharacterSet::urlQueryAllowed() {
  static const NoDestructor s(urlSet("!$&'()*+,;=:@/?"));
  return *s;
}
Ref<CharacterSet> CharacterSet::urlQueryValueAllowed() {
  static const NoDestructor s(urlSet("()"));
  return *s;
}
Ref<CharacterSet> CharacterSet::urlFragmentAllowed() {
  static const NoDestructor s(urlSet("!$&'()*+,;=:@/?"));
  return *s;
}
Ref<CharacterSet> CharacterSet::urlPathAllowed() {
  static const NoDestructor s(urlSet("!$&'()*+,;=:@/"));
  return *s;
}
Ref<CharacterSet> CharacterSet::urlHostAllowed() {
  static const NoDestructor s(urlSet("!$&'()*+,;=:[]"));
  return *s;
}
Ref<CharacterSet> CharacterSet::urlUserAllowed() {
  static const NoDestructor s(urlSet("!$&'()*+,;="));
  return *s;
}
Ref<CharacterSet> CharacterSet::urlPasswordAllowed() {
  static const NoDestructor s(urlSet("!$&'()*+,;="));
  return *s;
}

Ref<CharacterSet> CharacterSet::inverted() const {
  auto p = contains_;
  return makeSet([p](char32_t c) { return !p(c); });
}

Ref<CharacterSet> CharacterSet::adding(std::string_view chars) const {
  auto p = contains_;
  auto set = codePoints(chars);
  return makeSet([p, set](char32_t c) { return set.count(c) || p(c); });
}

Ref<CharacterSet> CharacterSet::removing(std::string_view chars) const {
  auto p = contains_;
  auto set = codePoints(chars);
  return makeSet([p, set](char32_t c) { return !set.count(c) && p(c); });
}

Ref<CharacterSet> CharacterSet::unionWith(const Ref<CharacterSet>& other) const {
  auto p = contains_;
  auto q = other->contains_;
  return makeSet([p, q](char32_t c) { return p(c) || q(c); });
}

}  // namespace kit
