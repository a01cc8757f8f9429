// Character sets: membership of Unicode code points, for trimming,
// splitting, searching and percent-encoding.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "kit/foundation/object.h"

namespace kit {

class CharacterSet : public Object {
 public:
  using Predicate = std::function<bool(char32_t)>;
  explicit CharacterSet(Predicate contains) : contains_(std::move(contains)) {}

  bool contains(char32_t c) const { return contains_(c); }

  static Ref<CharacterSet> whitespace();            // spaces and tabs
  static Ref<CharacterSet> whitespaceAndNewline();  // plus line and paragraph separators
  static Ref<CharacterSet> newline();
  static Ref<CharacterSet> decimalDigits();
  static Ref<CharacterSet> letters();
  static Ref<CharacterSet> alphanumerics();
  static Ref<CharacterSet> uppercaseLetters();
  static Ref<CharacterSet> lowercaseLetters();
  static Ref<CharacterSet> punctuation();
  static Ref<CharacterSet> fromString(std::string_view chars);
  static Ref<CharacterSet> fromRange(char32_t first, size_t length);

  // The URL component sets of the platform (allowed characters).
  static Ref<CharacterSet> urlQueryAllowed();
  static Ref<CharacterSet> urlPathAllowed();
  static Ref<CharacterSet> urlHostAllowed();
  static Ref<CharacterSet> urlFragmentAllowed();
  static Ref<CharacterSet> urlUserAllowed();
  static Ref<CharacterSet> urlPasswordAllowed();
  // What one value inside a URL query keeps as it is: letters, digits and
  // "-._~()". Everything else ("&", "=", "+", "#", "%", "/" and "?"
  // included) is escaped, so a value can neither end itself nor add
  // arguments, and ordinary ids and "(null)" are sent as they are.
  static Ref<CharacterSet> urlQueryValueAllowed();

  Ref<CharacterSet> inverted() const;
  Ref<CharacterSet> adding(std::string_view chars) const;
  Ref<CharacterSet> removing(std::string_view chars) const;
  Ref<CharacterSet> unionWith(const Ref<CharacterSet>& other) const;

 private:
  Predicate contains_;
};

}  // namespace kit
