// Fuzz target for writing a page function call with a text argument: any
// bytes go into kit::scriptCall, and the script must be plain UTF-8 on one
// line that the page driver's reader takes as one call whose argument is
// exactly the bytes with each ill-formed UTF-8 sequence replaced by U+FFFD.
// The replacement itself is checked against ICU's UTF-8 decoder, which
// counts ill-formed sequences as the WHATWG decoder does.

#include <unicode/ustring.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kit/foundation/string.h"
#include "kit/web/script_call.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// ICU's reading of the bytes, a lone surrogate in kit's 3-byte form taken
// as its unit (kit::String's own text, which ICU does not know).
std::u16string icuReading(std::string_view bytes) {
  std::u16string out;
  auto convert = [&](std::string_view piece) {
    if (piece.empty()) return;
    std::u16string units(piece.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(units.data()), static_cast<int32_t>(units.size()), &length,
                         piece.data(), static_cast<int32_t>(piece.size()), 0xFFFD, nullptr, &status);
    check(U_SUCCESS(status));
    out.append(units, 0, static_cast<size_t>(length));
  };
  auto b = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
  size_t start = 0;
  for (size_t i = 0; i + 2 < bytes.size(); ++i) {
    if (b(i) == 0xED && b(i + 1) >= 0xA0 && b(i + 1) <= 0xBF && (b(i + 2) & 0xC0) == 0x80) {
      convert(bytes.substr(start, i - start));
      out += static_cast<char16_t>(0xD000 | ((b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F));
      start = i + 3;
      i += 2;
    }
  }
  convert(bytes.substr(start));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string replaced = kit::replacingInvalidUTF8(bytes);
  check(kit::replacingInvalidUTF8(replaced) == replaced);
  check(kit::utf8ToUTF16(replaced) == icuReading(bytes));

  const std::string script = kit::scriptCall("CallbackFromIOS", bytes);
  check(kit::isValidUTF8(script));
  check(script.find_first_of(std::string_view("\n\r\0", 3)) == std::string::npos);
  check(script.find("\xE2\x80\xA8") == std::string::npos && script.find("\xE2\x80\xA9") == std::string::npos);
  const kit::ScriptCallParse parse = kit::parseScriptCalls(script);
  check(parse.ok() && parse.calls.size() == 1);
  check(parse.calls[0].function == "CallbackFromIOS" && parse.calls[0].arguments.size() == 1);
  const auto text = parse.calls[0].firstString();
  check(text && kit::utf8ToUTF16(*text) == kit::utf8ToUTF16(replaced));
  return 0;
}
