// Text encodings: conversions between strings and bytes.

#include "kit/foundation/string_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace kit {
namespace {

// Converts between two iconv encodings; nothing when the input holds a
// sequence that is invalid or cannot be represented in the target.
std::optional<std::string> iconvConvert(std::string_view input, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(input.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  size_t written = 0;
  bool ok = true;
  bool flushed = false;
  while (ok && !flushed) {
    char* dst = out.data() + written;
    size_t outLeft = out.size() - written;
    // Once the input is used up, one more call flushes any shift state.
    const bool flushing = inLeft == 0;
    size_t r = flushing ? iconv(cd, nullptr, nullptr, &dst, &outLeft) : iconv(cd, &in, &inLeft, &dst, &outLeft);
    written = static_cast<size_t>(dst - out.data());
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
      } else {
        ok = false;  // EILSEQ: invalid or unrepresentable; EINVAL: truncated
      }
    } else if (r > 0) {
      ok = false;  // an irreversible (substituted) conversion
    } else {
      flushed = flushing;
    }
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(written);
  return out;
}

// Replaces every code point that `keep` rejects (and every lone
// surrogate) by `replacement`.
template <class Keep>
std::string replaceUnrepresentable(std::string_view utf8, Keep keep, char32_t replacement) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t cp = decodeCodePoint(utf8, pos);
    bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    appendCodePoint(out, surrogate || !keep(cp) ? replacement : cp);
  }
  return out;
}

Ref<String> fromUTF16Bytes(std::string_view bytes, bool bigEndian) {
  if (bytes.size() % 2) return nullptr;
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
    auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
    units[i] = static_cast<char16_t>((hi << 8) | lo);
  }
  return String::fromUTF16(units);
}

std::string toUTF16Bytes(std::u16string_view units, bool bigEndian) {
  std::string out;
  out.reserve(units.size() * 2);
  for (char16_t u : units) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

}  // namespace

Ref<String> stringWithBytes(std::string_view bytes, StringEncoding encoding) {
  switch (encoding) {
    case StringEncoding::UTF8:
      return String::fromUTF8Bytes(bytes);
    case StringEncoding::ASCII:
      for (unsigned char c : bytes) {
        if (c >= 0x80) return nullptr;
      }
      return String::make(bytes);
    case StringEncoding::ISOLatin1: {
      std::string out;
      out.reserve(bytes.size());
      for (unsigned char c : bytes) appendCodePoint(out, c);
      return String::make(out);
    }
    case StringEncoding::UTF16: {
      if (bytes.size() >= 2) {
        auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
        if (b0 == 0xFE && b1 == 0xFF) return fromUTF16Bytes(bytes.substr(2), true);
        if (b0 == 0xFF && b1 == 0xFE) return fromUTF16Bytes(bytes.substr(2), false);
      }
      return fromUTF16Bytes(bytes, true);
    }
    case StringEncoding::UTF16BigEndian:
      return fromUTF16Bytes(bytes, true);
    case StringEncoding::UTF16LittleEndian:
      return fromUTF16Bytes(bytes, false);
    case StringEncoding::GB18030: {
      auto utf8 = iconvConvert(bytes, "GB18030", "UTF-8");
      if (!utf8 || !isValidUTF8(*utf8)) return nullptr;
      return String::make(*utf8);
    }
  }
  return nullptr;
}

Ref<String> stringWithData(const Data& data, StringEncoding encoding) { return stringWithBytes(data.view(), encoding); }

std::optional<std::string> bytesUsingEncoding(const String& text, StringEncoding encoding, bool lossy) {
  const std::string& utf8 = text.utf8();
  const bool lone = hasLoneSurrogate(utf8);
  switch (encoding) {
    case StringEncoding::UTF8:
      if (!lone) return utf8;
      if (!lossy) return std::nullopt;
      return replaceUnrepresentable(utf8, [](char32_t) { return true; }, 0xFFFD);
    case StringEncoding::ASCII:
    case StringEncoding::ISOLatin1: {
      const char32_t limit = encoding == StringEncoding::ASCII ? 0x80 : 0x100;
      std::string out;
      out.reserve(utf8.size());
      for (size_t pos = 0; pos < utf8.size();) {
        char32_t cp = decodeCodePoint(utf8, pos);
        if (cp < limit) {
          out += static_cast<char>(cp);
        } else if (lossy) {
          out += '?';
        } else {
          return std::nullopt;
        }
      }
      return out;
    }
    case StringEncoding::UTF16:
    case StringEncoding::UTF16BigEndian:
    case StringEncoding::UTF16LittleEndian: {
      // UTF-16 holds a lone surrogate as the unit it is.
      std::u16string units = text.utf16();
      if (encoding == StringEncoding::UTF16) return "\xFF\xFE" + toUTF16Bytes(units, false);
      return toUTF16Bytes(units, encoding == StringEncoding::UTF16BigEndian);
    }
    case StringEncoding::GB18030: {
      if (lone && !lossy) return std::nullopt;
      if (lone) return iconvConvert(replaceUnrepresentable(utf8, [](char32_t) { return true; }, '?'), "UTF-8", "GB18030");
      return iconvConvert(utf8, "UTF-8", "GB18030");
    }
  }
  return std::nullopt;
}

Ref<Data> dataUsingEncoding(const String& text, StringEncoding encoding, bool allowLossyConversion) {
  auto bytes = bytesUsingEncoding(text, encoding, allowLossyConversion);
  return bytes ? Data::make(std::string_view(*bytes)) : nullptr;
}

bool canBeConvertedToEncoding(const String& text, StringEncoding encoding) {
  return bytesUsingEncoding(text, encoding).has_value();
}

size_t lengthOfBytesUsingEncoding(const String& text, StringEncoding encoding) {
  auto bytes = bytesUsingEncoding(text, encoding);
  if (!bytes) return 0;
  // The platform counts no byte-order mark here.
  return encoding == StringEncoding::UTF16 ? bytes->size() - 2 : bytes->size();
}

}  // namespace kit
