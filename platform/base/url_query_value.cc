// Percent-encoding of URL query values. See url_query_value.h.
#include "platform/base/url_query_value.h"
#include "kit/foundation/no_destructor.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

}  // namespace

bool URLQueryValue::isAllowed(unsigned char byte) {
  if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')) return true;
  switch (byte) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '(':
    case ')':
      return true;
    default:
      return false;
  }
}

std::string URLQueryValue::encode(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (isAllowed(byte)) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

const kit::Ref<kit::CharacterSet>& URLQueryValue::allowedCharacters() {
  // kit keeps the one definition of the set for every percent-encoding call.
  static const kit::NoDestructor<kit::Ref<kit::CharacterSet>> set(kit::CharacterSet::urlQueryValueAllowed());
  return *set;
}
