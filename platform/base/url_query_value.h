// URLQueryValue: percent-encoding of a value put into a URL query, with the
// one set of characters the client leaves as they are in every query it
// builds (the platform's web-page arguments, the channel's GET queries):
// ASCII letters, digits, "-", ".", "_", "~", "(" and ")". Everything else,
// each byte of a non-ASCII character's UTF-8 included, becomes "%" and two
// upper-case hex digits, so a value can never add, end or break an
// argument ("&", "=", "#", "+", "%", blanks). Ordinary ids and names pass
// unchanged, and so does "(null)", the text a missing value formats to.
//
//   URLQueryValue::encode("a&b c")  -> "a%26b%20c"
//   URLQueryValue::encode("玩家")   -> "%E7%8E%A9%E5%AE%B6"
#pragma once

#include <string>
#include <string_view>

#include "kit/foundation/charset.h"
#include "kit/foundation/object.h"

class URLQueryValue {
 public:
  // Whether the byte stands for itself in a query value.
  static bool isAllowed(unsigned char byte);
  // The value with every other byte percent-escaped. Bytes that are not
  // UTF-8 are escaped one by one like any other.
  static std::string encode(std::string_view utf8);
  // The same set, for kit's percent-encoding functions (it is
  // kit::CharacterSet::urlQueryValueAllowed()).
  static const kit::Ref<kit::CharacterSet>& allowedCharacters();
};
