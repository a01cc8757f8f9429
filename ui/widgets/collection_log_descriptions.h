// Readable log texts of dictionaries and arrays for the platform SDK's
// logs: one entry per line, tab-indented, each key and value written with
// its "%@" text so that Chinese server messages read as they are. Nested
// dictionaries and arrays are written the same way. kit's own "%@" of
// collections is left as it is; these are texts for logs only.
//
//   NSDictionaryLog::descriptionWithLocale(*kit::dict({{"a", "1"}}))   // "{\n\ta : 1\n}"
//   NSArrayLog::descriptionWithLocale(*kit::array({"x", "y"}))         // "[\n\tx,\n\ty\n]"
#pragma once

#include <string>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"

class NSDictionaryLog {
 public:
  // "{\n", then "\t<key> : <value>,\n" per entry in enumeration order, then
  // "}", with the last "," of the text deleted. The locale is not used.
  static std::string descriptionWithLocale(const kit::Dictionary& dictionary, const kit::Id& locale = nullptr);
};

class NSArrayLog {
 public:
  // "[\n", then "\t<element>,\n" per element, then "]", with the last ","
  // of the text deleted. The locale is not used.
  static std::string descriptionWithLocale(const kit::Array& array, const kit::Id& locale = nullptr);
};
