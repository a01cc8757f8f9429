// Base64 text for data, with the platform's encoding options (line length
// and line endings) and its two decoders: the strict one, which accepts only
// the 64-character alphabet with correct "=" padding and nothing else (not
// even a line break), and the lenient one, which skips every character
// outside the alphabet.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/data.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

// The platform's encoding options. A line length option breaks the text
// into lines of that many characters, with a line ending between lines and
// none after the last one. The line ending is CR LF unless exactly one of
// the two line-ending options is given.
enum Base64EncodingOptions : unsigned {
  Base64Encoding64CharacterLineLength = 1u << 0,
  Base64Encoding76CharacterLineLength = 1u << 1,
  Base64EncodingEndLineWithCarriageReturn = 1u << 4,
  Base64EncodingEndLineWithLineFeed = 1u << 5,
};

// The platform's decoding option: skip characters outside the alphabet
// instead of failing.
enum Base64DecodingOptions : unsigned {
  Base64DecodingIgnoreUnknownCharacters = 1u << 0,
};

// The base64 text of some bytes.
std::string base64Encode(std::span<const uint8_t> bytes, unsigned options = 0);
inline std::string base64Encode(std::string_view bytes, unsigned options = 0) {
  return base64Encode(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), options);
}

// The bytes of a base64 text, or nothing when the text is not valid base64
// under the given options.
std::optional<std::vector<uint8_t>> base64Decode(std::string_view text, unsigned options = 0);

// The platform's spellings on data and strings.
Ref<String> base64EncodedString(const Data& data, unsigned options = 0);
Ref<Data> base64EncodedData(const Data& data, unsigned options = 0);
// Data from base64 text or from base64 bytes; nil when they do not decode.
Ref<Data> dataWithBase64EncodedString(const String& text, unsigned options = 0);
Ref<Data> dataWithBase64EncodedString(std::string_view text, unsigned options = 0);
Ref<Data> dataWithBase64EncodedData(const Data& data, unsigned options = 0);

}  // namespace kit
