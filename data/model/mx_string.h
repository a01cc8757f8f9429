// String operations of the model mapper: key-name conversions between
// camel case and underscores, first-letter case changes, the whole-integer
// test, and the lenient URL of a text.
//
// The conversions change ASCII letters only; every other character,
// including all non-ASCII text, passes through unchanged.
#pragma once

#include "kit/foundation/string.h"
#include "kit/foundation/url.h"

// "userName" → "user_name": each letter lower-cased, with "_" put before
// every letter that lower-casing changes.
kit::Ref<kit::String> mx_underlineFromCamel(const kit::Ref<kit::String>& text);
// "user_name" → "userName": split at "_", the first piece unchanged, every
// later non-empty piece with its first letter upper-cased, empty pieces
// dropped.
kit::Ref<kit::String> mx_camelFromUnderline(const kit::Ref<kit::String>& text);
kit::Ref<kit::String> mx_firstCharLower(const kit::Ref<kit::String>& text);
kit::Ref<kit::String> mx_firstCharUpper(const kit::Ref<kit::String>& text);
// YES when the text is one int and nothing else but white space around it.
bool mx_isPureInt(const kit::Ref<kit::String>& text);
// The URL of the text after percent-escaping, in UTF-8, every character
// that may not stand in a URL, leaving "!$&'()*+,-./:;=?@_~%#[]" as they
// are; nil when no URL can be made.
kit::Ref<kit::URL> mx_url(const kit::Ref<kit::String>& text);
