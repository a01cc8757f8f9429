// Text encodings for strings read from and written to bytes: strict UTF-8,
// UTF-16 (with or without a byte-order mark), ASCII, ISO Latin 1 and
// GB 18030 (through iconv). Reading bytes that are not valid in the
// encoding gives nil; writing a string the encoding cannot represent gives
// nothing unless a lossy conversion is allowed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/data.h"
#include "kit/foundation/string.h"

namespace kit {

// The platform's encoding numbers.
enum class StringEncoding : unsigned {
  ASCII = 1,
  UTF8 = 4,
  ISOLatin1 = 5,
  // UTF-16 with a byte-order mark. Reading honours the mark and takes
  // big-endian without one; writing puts FF FE first and little-endian
  // units after it.
  UTF16 = 10,
  UTF16BigEndian = 0x90000100,     // no mark read or written
  UTF16LittleEndian = 0x94000100,  // no mark read or written
  GB18030 = 0x80000632,
};

// A string from bytes in an encoding (the platform's string-from-data), or
// nil when the bytes are not valid in it.
Ref<String> stringWithBytes(std::string_view bytes, StringEncoding encoding);
Ref<String> stringWithData(const Data& data, StringEncoding encoding);

// The bytes of a string in an encoding. Without a lossy conversion, a
// character the encoding cannot hold gives nothing; with it, such a
// character becomes "?" (U+FFFD in UTF-8). A lone surrogate has no form in
// UTF-8 or GB 18030 and is written as it is in UTF-16.
std::optional<std::string> bytesUsingEncoding(const String& text, StringEncoding encoding,
                                              bool allowLossyConversion = false);
Ref<Data> dataUsingEncoding(const String& text, StringEncoding encoding, bool allowLossyConversion = false);
bool canBeConvertedToEncoding(const String& text, StringEncoding encoding);
// The number of bytes the string takes in the encoding; 0 when it cannot be
// converted.
size_t lengthOfBytesUsingEncoding(const String& text, StringEncoding encoding);

}  // namespace kit
