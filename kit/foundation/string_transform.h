// String transforms by ICU transform identifier, as the platform's string
// transform does: script conversion to Latin, Latin to ASCII, removing
// diacritics, or any compound ICU transform such as
// "Any-Latin; Latin-ASCII; [:^ASCII:] Remove".
#pragma once

#include <string_view>

#include "kit/foundation/string.h"

namespace kit {

// The platform's transform names.
inline constexpr const char* StringTransformToLatin = "Any-Latin";
inline constexpr const char* StringTransformLatinToASCII = "Latin-ASCII";
inline constexpr const char* StringTransformStripCombiningMarks = "NFD; [:Mn:] Remove; NFC";
inline constexpr const char* StringTransformStripDiacritics = "NFD; [:Nonspacing Mark:] Remove; NFC";
inline constexpr const char* StringTransformToUnicodeName = "Any-Name";
inline constexpr const char* StringTransformFullwidthToHalfwidth = "Fullwidth-Halfwidth";

// The string transformed, or nil when the transform identifier is not
// known (or cannot be reversed when `reverse` is set).
Ref<String> stringByApplyingTransform(const String& text, std::string_view transform, bool reverse = false);

// Latin letters in ASCII for any script: "Any-Latin; Latin-ASCII". Symbols
// without an ASCII form stay as they are.
Ref<String> asciiTransliteration(const String& text);

}  // namespace kit
