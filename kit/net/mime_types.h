// MIME types from file-name extensions, from a built-in table of the common
// types; "application/octet-stream" for anything else.
#pragma once

#include <string>
#include <string_view>

namespace kit {

// The MIME type for an extension (without the dot, any case); empty when
// the table has none.
std::string MIMETypeForExtension(std::string_view extension);
// The same, with "application/octet-stream" when the table has none.
std::string MIMETypeForPathOrDefault(std::string_view path);

}  // namespace kit
