// Fuzzes the platform SDK's text utilities with arbitrary player input (a
// name, a password, a phone number or an address typed into a form, a value
// put into a web page's query): every check answers, the encoders write
// only what a URL can carry, and the query-value encoding of UTF-8 text
// decodes back to it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/string.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/url_query_value.h"

namespace {

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// Only letters, digits, the given marks and complete "%XX" escapes.
void requireEscaped(const std::string& text, const char* marks) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) std::abort();
      i += 2;
      continue;
    }
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    (c != '\0' && std::strchr(marks, c) != nullptr);
    if (!ok) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size > 4096) return 0;
  const std::string_view raw(reinterpret_cast<const char*>(bytes), size);

  const std::string encoded = URLQueryValue::encode(raw);
  requireEscaped(encoded, "-._~()");
  // The text checks answer for any bytes a form hands over.
  // The older encoding escapes whatever it is given, characters or not.
  const std::string older = NSStringURLEncode::URLEncodedString(raw);
  requireEscaped(older, "-._");
  (void)NSStringURLEncode::isEmail(raw);
  (void)NSStringURLEncode::isTelephone(raw);
  (void)NSStringURLEncode::isWeakPswd(raw);
  (void)NSStringURLEncode::isEmptyOrWhitespace(raw);
  (void)NSStringURLEncode::trimmedWhitespaceAndNewlineString(raw);
  if (kit::isValidUTF8(raw) && !kit::hasLoneSurrogate(raw)) {
    auto decoded = kit::stringByRemovingPercentEncoding(encoded);
    if (!decoded || decoded->utf8() != raw) std::abort();
    const std::string trimmed = NSStringURLEncode::trimmedWhitespaceAndNewlineString(raw);
    if (raw.find(trimmed) == std::string_view::npos) std::abort();
    if (NSStringURLEncode::isEmptyOrWhitespace(raw) && !NSStringURLEncode::trimmedWhitespaceString(raw).empty())
      std::abort();
  }
  if (NSStringURLEncode::md5String(raw).size() != 32) std::abort();
  if (NSStringURLEncode::isNumber(raw) && raw.find_first_not_of("0123456789.") != std::string_view::npos)
    std::abort();
  return 0;
}
