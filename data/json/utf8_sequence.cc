// Decoding of one UTF-8 sequence for the JSON codec.

#include "data/json/utf8_sequence.h"

UTF8Sequence decodeUTF8Sequence(const uint8_t* at, const uint8_t* end) {
  const uint8_t lead = *at;
  // Continuation bytes announced: the 1-bits that follow the top bit.
  int trailing = 0;
  for (uint8_t bit = 0x40; bit && (lead & bit); bit >>= 1) ++trailing;

  auto illFormed = [&](int announced) {
    const uint8_t* p = at + 1;
    for (int i = 0; i < announced && p < end && (*p & 0xC0) == 0x80; ++i) ++p;
    return UTF8Sequence{p, 0xFFFD, UTF8SequenceResult::IllFormed};
  };

  if (trailing > 3) return illFormed(trailing);
  if (end - at <= trailing) return UTF8Sequence{end, 0xFFFD, UTF8SequenceResult::CutOff};
  if (lead < 0xC2 || lead > 0xF4) return illFormed(trailing);

  // The second byte's range depends on the lead byte.
  uint8_t low = 0x80, high = 0xBF;
  switch (lead) {
    case 0xE0: low = 0xA0; break;
    case 0xED: high = 0x9F; break;
    case 0xF0: low = 0x90; break;
    case 0xF4: high = 0x8F; break;
    default: break;
  }
  if (at[1] < low || at[1] > high) return illFormed(trailing);
  char32_t cp = lead & (0x3F >> trailing);
  for (int i = 1; i <= trailing; ++i) {
    if ((at[i] & 0xC0) != 0x80) return illFormed(trailing);
    cp = (cp << 6) | (at[i] & 0x3F);
  }
  if ((cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) {
    return UTF8Sequence{at + 1 + trailing, 0xFFFD, UTF8SequenceResult::IllFormed};
  }
  return UTF8Sequence{at + 1 + trailing, cp, UTF8SequenceResult::WellFormed};
}

std::string quotedForMessage(const uint8_t* bytes, size_t length) {
  std::string out;
  const uint8_t* end = bytes + length;
  for (const uint8_t* p = bytes; p < end;) {
    if (*p >= 0x20 && *p < 0x7F) {
      out += static_cast<char>(*p++);
      continue;
    }
    if (*p >= 0x80) {
      const UTF8Sequence seq = decodeUTF8Sequence(p, end);
      if (seq.result == UTF8SequenceResult::WellFormed) {
        out.append(reinterpret_cast<const char*>(p), static_cast<size_t>(seq.next - p));
        p = seq.next;
        continue;
      }
    }
    static const char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[*p >> 4];
    out += kHex[*p & 15];
    ++p;
  }
  return out;
}
