// Percent-encoding and decoding of strings.

#include "kit/foundation/percent_encoding.h"

#include <optional>

namespace kit {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void appendEscape(std::string& out, unsigned char byte) {
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> encode(std::string_view utf8, const CharacterSet& allowed) {
  if (hasLoneSurrogate(utf8)) return std::nullopt;
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 2);
  for (unsigned char c : utf8) {
    if (c < 0x80 && allowed.contains(c)) {
      out += static_cast<char>(c);
    } else {
      appendEscape(out, c);
    }
  }
  return out;
}

// Literal characters are whole code points and pass through unchanged (a
// lone surrogate of the input included); the bytes of each run of
// consecutive escapes must form UTF-8 by themselves, since a multi-byte
// character cannot be split between escapes and a literal character.
std::optional<std::string> decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::string run;  // bytes of the current run of escapes
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      if (!run.empty()) {
        if (!isValidUTF8(run)) return std::nullopt;
        out += run;
        run.clear();
      }
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    run += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  if (!isValidUTF8(run)) return std::nullopt;
  out += run;
  return out;
}

}  // namespace

bool isLegalURLCharacter(char32_t c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c < 0x80 && std::string_view("!$&'()*+,-./:;=?@_~").find(static_cast<char>(c)) != std::string_view::npos;
}

Ref<String> stringByAddingPercentEncodingWithAllowedCharacters(const String& text, const CharacterSet& allowed) {
  auto out = encode(text.utf8(), allowed);
  return out ? String::make(*out) : nullptr;
}

Ref<String> stringByAddingPercentEncodingWithAllowedCharacters(std::string_view text, const CharacterSet& allowed) {
  auto out = encode(text, allowed);
  return out ? String::make(*out) : nullptr;
}

Ref<String> stringByRemovingPercentEncoding(std::string_view text) {
  auto out = decode(text);
  return out ? String::make(*out) : nullptr;
}

Ref<String> stringByRemovingPercentEncoding(const String& text) { return stringByRemovingPercentEncoding(text.utf8()); }

Ref<String> stringByAddingPercentEscapes(const String& text, std::string_view leaveUnescaped,
                                         std::string_view alsoEscape, StringEncoding encoding) {
  auto keep = CharacterSet::fromString(leaveUnescaped);
  auto escape = CharacterSet::fromString(alsoEscape);
  const std::string& utf8 = text.utf8();
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    size_t start = pos;
    char32_t c = decodeCodePoint(utf8, pos);
    bool stays = !escape->contains(c) && (isLegalURLCharacter(c) || keep->contains(c));
    if (stays && c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    std::string_view character(utf8.data() + start, pos - start);
    std::string bytes(character);
    if (encoding != StringEncoding::UTF8 || c >= 0xD800) {
      auto converted = bytesUsingEncoding(*String::make(character), encoding);
      if (!converted) return nullptr;
      bytes = std::move(*converted);
    }
    for (unsigned char b : bytes) appendEscape(out, b);
  }
  return String::make(out);
}

}  // namespace kit
