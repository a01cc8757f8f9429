// Readable texts of arrays and dictionaries for the channel's logs: every
// element written with its own "%@" text, one per line, so that texts inside
// a logged server answer (Chinese messages included) read as they are,
// without quotes or escape sequences. Session tokens and passwords read
// "***" (LogRedaction): under their keys, and inside texts.
#pragma once

#include <string>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"

class NUVALog {
 public:
  // "(\n" then "\t%@,\n" per element, then ")". The locale is not used.
  static std::string descriptionWithLocale(const kit::Array& array, const kit::Id& locale = nullptr);
  // "{\n" then "\t%@ = %@;\n" per entry in enumeration order, then "}\n".
  static std::string descriptionWithLocale(const kit::Dictionary& dictionary, const kit::Id& locale = nullptr);
  // The readable text of any value: containers as above (nested ones too,
  // without added indentation), everything else as its "%@" text.
  static std::string describe(const kit::Id& value);
};
