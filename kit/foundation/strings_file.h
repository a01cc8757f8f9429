// The reader of localized strings files: the old-style text format
//
//   /* A comment */
//   "key" = "value";
//   // another comment
//   unquoted_key = "value with \"escapes\" \n \U9886";
//   "key alone";            (its value is the key)
//
// in UTF-8 or UTF-16 (with or without a byte order mark). Quoted strings
// take the escapes \n \t \r \" \\ \' \a \b \f \v, \U or \u with four hex
// digits (a surrogate pair combines) and one to three octal digits; any
// other escaped character stands for itself. When a key repeats, the last
// value wins.
#pragma once

#include <string_view>

#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"

namespace kit {

class StringsFile {
 public:
  // The table of a strings file, or nil with *error set (Cocoa domain, code
  // 3840, naming the line) when it is malformed.
  static Ref<Dictionary> parse(const Ref<Data>& data, Ref<Error>* error = nullptr);
  // The same for text already in UTF-8.
  static Ref<Dictionary> parseText(std::string_view text, Ref<Error>* error = nullptr);
};

}  // namespace kit
