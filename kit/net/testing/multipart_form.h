// Reads a multipart/form-data body the way a strict server does, for the
// test server's request log: the boundary comes from the Content-Type, every
// part has its header block and its content exactly as sent, and a body that
// does not follow the format (a missing or misplaced delimiter, no closing
// delimiter, a header block without its blank line) is refused whole.
//
//   auto parts = kit::test::parseMultipartFormData(contentType, body);
//   if (parts) EXPECT_EQ((*parts)[0].name, "avatar");
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/net/http_header_fields.h"

namespace kit::test {

// One part of a multipart/form-data body.
struct FormPart {
  HTTPHeaderFields headers;  // the part's own header block, in order
  std::string name;          // Content-Disposition's name parameter
  std::string filename;      // its filename parameter; empty when none
  std::string contentType;   // the part's Content-Type; empty when none
  std::string content;       // the bytes between the header block and the next delimiter
};

// The parts of `body` sent with the Content-Type `contentType`. nullopt when
// the type is not multipart/form-data with a boundary, or the body is
// malformed.
std::optional<std::vector<FormPart>> parseMultipartFormData(std::string_view contentType, std::string_view body);

// The value of a parameter of a header value ("form-data; name=\"a\""),
// names compared without case, quotes and backslash escapes removed;
// nullopt when absent.
std::optional<std::string> headerParameter(std::string_view headerValue, std::string_view name);

}  // namespace kit::test
