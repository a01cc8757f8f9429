// Decoding of one UTF-8 sequence as the JSON codec accepts it: the Unicode
// Standard's well-formed byte sequences, minus surrogates and
// noncharacters (U+FDD0..U+FDEF and every code point ending in FFFE or FFFF).
// Shared by the parser, which checks the strings it reads, and the writer,
// which escapes non-ASCII text. Also the quoting of input bytes in error
// messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class UTF8SequenceResult : uint8_t {
  WellFormed = 0,
  CutOff = 1,      // the text ends inside the sequence
  IllFormed = 3,
};

struct UTF8Sequence {
  const uint8_t* next;  // the byte after the sequence (after the bytes skipped when ill-formed)
  char32_t codePoint;   // U+FFFD unless well-formed
  UTF8SequenceResult result;
};

// Decodes the sequence that starts with the lead byte at `at` (0x80 or
// above), reading no further than `end`.
UTF8Sequence decodeUTF8Sequence(const uint8_t* at, const uint8_t* end);

// True for the code points the codec refuses inside strings: U+0000,
// surrogates, U+FDD0..U+FDEF, code points ending in FFFE or FFFF, and
// anything above U+10FFFF.
inline bool isUnusableCodePoint(char32_t cp) {
  return cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE ||
         cp > 0x10FFFF;
}

// Appends `cp` (at most U+10FFFF) as 1 to 4 UTF-8 bytes at `out`; returns
// the byte after them.
inline uint8_t* encodeUTF8(char32_t cp, uint8_t* out) {
  if (cp < 0x80) {
    *out++ = static_cast<uint8_t>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<uint8_t>(0xC0 | (cp >> 6));
    *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<uint8_t>(0xE0 | (cp >> 12));
    *out++ = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<uint8_t>(0xF0 | (cp >> 18));
    *out++ = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Input bytes as an error message may quote them: well-formed UTF-8 and
// printable ASCII as they stand, every other byte as \xNN, so that the
// message is valid UTF-8 whatever the input held.
std::string quotedForMessage(const uint8_t* bytes, size_t length);
