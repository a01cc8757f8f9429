// Base64 encoding with line options, and the strict and lenient decoders.

#include "kit/foundation/base64.h"

#include <array>

namespace kit {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of each alphabet character; -1 for everything else.
constexpr std::array<int8_t, 256> makeDecodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& v : table) v = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}
constexpr auto kDecode = makeDecodeTable();

std::string_view lineEnding(unsigned options) {
  bool cr = options & Base64EncodingEndLineWithCarriageReturn;
  bool lf = options & Base64EncodingEndLineWithLineFeed;
  if (cr && !lf) return "\r";
  if (lf && !cr) return "\n";
  return "\r\n";
}

size_t lineLength(unsigned options) {
  if (options & Base64Encoding64CharacterLineLength) return 64;
  if (options & Base64Encoding76CharacterLineLength) return 76;
  return 0;
}

}  // namespace

std::string base64Encode(std::span<const uint8_t> bytes, unsigned options) {
  std::string plain;
  plain.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    plain += kAlphabet[(v >> 18) & 63];
    plain += kAlphabet[(v >> 12) & 63];
    plain += kAlphabet[(v >> 6) & 63];
    plain += kAlphabet[v & 63];
  }
  if (size_t rest = bytes.size() - i) {
    uint32_t v = uint32_t{bytes[i]} << 16;
    if (rest == 2) v |= uint32_t{bytes[i + 1]} << 8;
    plain += kAlphabet[(v >> 18) & 63];
    plain += kAlphabet[(v >> 12) & 63];
    plain += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    plain += '=';
  }

  size_t width = lineLength(options);
  if (width == 0 || plain.size() <= width) return plain;
  std::string_view ending = lineEnding(options);
  std::string out;
  out.reserve(plain.size() + (plain.size() / width) * ending.size());
  for (size_t pos = 0; pos < plain.size(); pos += width) {
    if (pos) out += ending;
    out.append(plain, pos, width);
  }
  return out;
}

std::optional<std::vector<uint8_t>> base64Decode(std::string_view text, unsigned options) {
  const bool lenient = options & Base64DecodingIgnoreUnknownCharacters;
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  uint32_t quantum = 0;  // bits collected for the current group of four
  size_t inGroup = 0;    // alphabet characters in the current group
  size_t padding = 0;    // "=" seen; only the end of the last group may hold them
  for (unsigned char c : text) {
    int8_t v = kDecode[c];
    if (c == '=') {
      // Padding closes a group of two characters with "==" or a group of
      // three with "=".
      bool fits = padding == 0 ? (inGroup == 2 || inGroup == 3) : (padding == 1 && inGroup == 2);
      if (!fits) return std::nullopt;
      ++padding;
      continue;
    }
    if (v < 0) {
      if (lenient) continue;
      return std::nullopt;
    }
    if (padding) return std::nullopt;  // data after the padding
    quantum = (quantum << 6) | static_cast<uint32_t>(v);
    if (++inGroup == 4) {
      out.push_back(static_cast<uint8_t>(quantum >> 16));
      out.push_back(static_cast<uint8_t>(quantum >> 8));
      out.push_back(static_cast<uint8_t>(quantum));
      quantum = 0;
      inGroup = 0;
    }
  }
  if (inGroup == 0 && padding == 0) return out;
  // A short final group must be completed by padding to four characters.
  if (inGroup + padding != 4) return std::nullopt;
  if (inGroup == 2) {
    out.push_back(static_cast<uint8_t>(quantum >> 4));
  } else {  // three characters
    out.push_back(static_cast<uint8_t>(quantum >> 10));
    out.push_back(static_cast<uint8_t>(quantum >> 2));
  }
  return out;
}

Ref<String> base64EncodedString(const Data& data, unsigned options) {
  return String::make(base64Encode(data.span(), options));
}

Ref<Data> base64EncodedData(const Data& data, unsigned options) {
  return Data::make(base64Encode(data.span(), options));
}

Ref<Data> dataWithBase64EncodedString(std::string_view text, unsigned options) {
  auto bytes = base64Decode(text, options);
  return bytes ? Data::make(std::move(*bytes)) : nullptr;
}

Ref<Data> dataWithBase64EncodedString(const String& text, unsigned options) {
  return dataWithBase64EncodedString(std::string_view(text.utf8()), options);
}

Ref<Data> dataWithBase64EncodedData(const Data& data, unsigned options) {
  return dataWithBase64EncodedString(data.view(), options);
}

}  // namespace kit
