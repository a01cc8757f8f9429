// Fuzzes reading text from outside bytes in every supported encoding, and
// checks that what was read writes back to the same bytes.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kit/foundation/composed_characters.h"
#include "kit/foundation/string_encoding.h"

namespace {

void check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  using kit::StringEncoding;
  const StringEncoding encodings[] = {StringEncoding::UTF8, StringEncoding::ASCII, StringEncoding::ISOLatin1,
                                      StringEncoding::UTF16, StringEncoding::UTF16BigEndian,
                                      StringEncoding::UTF16LittleEndian, StringEncoding::GB18030};
  for (StringEncoding encoding : encodings) {
    auto text = kit::stringWithBytes(input, encoding);
    if (!text) continue;
    auto bytes = kit::bytesUsingEncoding(*text, encoding);
    switch (encoding) {
      case StringEncoding::UTF8:
      case StringEncoding::ASCII:
      case StringEncoding::ISOLatin1:
      case StringEncoding::UTF16BigEndian:
      case StringEncoding::UTF16LittleEndian:
        // These read every valid input losslessly.
        check(bytes && *bytes == input);
        break;
      case StringEncoding::GB18030:
        // Other byte sequences may name the same character; the text
        // survives another round trip.
        check(bytes.has_value());
        check(kit::stringWithBytes(*bytes, encoding)->isEqual(*text));
        break;
      case StringEncoding::UTF16:
        break;
    }
    // Composed sequences cover the whole text without gaps.
    size_t covered = 0;
    kit::enumerateComposedCharacterSequences(*text, {0, text->length()},
                                             [&](const kit::Ref<kit::String>&, kit::Range range, bool*) {
                                               check(range.location == covered && range.length > 0);
                                               covered = range.end();
                                             });
    check(covered == text->length());
  }
  return 0;
}
