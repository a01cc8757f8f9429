// Percent-encoding of strings, as the platform does it for URLs: UTF-8
// bytes written as "%" and two upper-case hexadecimal digits, with the
// allowed characters taken from a character set (only its 7-bit ASCII
// members count, so every non-ASCII character is always encoded), and the
// reverse, which refuses malformed escapes and bytes that are not UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "kit/foundation/charset.h"
#include "kit/foundation/string.h"
#include "kit/foundation/string_encoding.h"

namespace kit {

// Every character outside `allowed` (and every non-ASCII character) as
// percent escapes of its UTF-8 bytes. nil when the string holds a lone
// surrogate, which has no UTF-8 form.
Ref<String> stringByAddingPercentEncodingWithAllowedCharacters(const String& text, const CharacterSet& allowed);
Ref<String> stringByAddingPercentEncodingWithAllowedCharacters(std::string_view text, const CharacterSet& allowed);

// Every "%XX" escape replaced by its byte. nil when a "%" is not followed by
// two hexadecimal digits or the bytes are not UTF-8.
Ref<String> stringByRemovingPercentEncoding(const String& text);
Ref<String> stringByRemovingPercentEncoding(std::string_view text);

// The older escaping of the platform's URL functions: characters that may
// not stand in a URL (anything but letters, digits and
// "!$&'()*+,-./:;=?@_~") are escaped unless listed in `leaveUnescaped`;
// characters listed in `alsoEscape` are escaped too. Non-ASCII characters
// are escaped as their bytes in `encoding`. nil when the text cannot be
// converted to that encoding.
Ref<String> stringByAddingPercentEscapes(const String& text, std::string_view leaveUnescaped,
                                         std::string_view alsoEscape,
                                         StringEncoding encoding = StringEncoding::UTF8);

// True for the characters a URL may hold as they are (see above).
bool isLegalURLCharacter(char32_t c);

}  // namespace kit
