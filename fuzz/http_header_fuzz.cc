// Fuzzes the response-head parser and the header-value parsers (status
// line, header lines, Content-Type, Content-Length, Content-Disposition)
// and building a response from what they accept. The input is a raw
// response head, split into lines at "\n".

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kit/net/http_header_fields.h"
#include "kit/net/url_response.h"

namespace {

void check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  kit::ResponseHeadParser parser;
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\n', start);
    std::string_view line = input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start + 1);
    parser.feedLine(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  for (const auto& [name, value] : parser.fields().entries()) {
    check(!name.empty());
    auto type = kit::parseContentType(value);
    for (char c : type.mimeType) check(!(c >= 'A' && c <= 'Z'));
    check(type.mimeType.empty() || type.mimeType.find('/') != std::string::npos);
    if (auto length = kit::parseContentLength(value)) check(*length >= 0);
    auto filename = kit::dispositionFilename(value);
    check(filename.find('/') == std::string::npos && filename != "..");
  }
  if (parser.hasStatus()) {
    int code = parser.status()->statusCode;
    check(code >= 0 && code <= 999);
    auto response = kit::HTTPURLResponse::make(kit::URL::URLWithString("http://fuzz.test/a/b"), code,
                                               parser.status()->version, parser.fields());
    if (response) {
      response->suggestedFilename();
      response->allHeaderFields();
      check(response->expectedContentLength() >= -1);
      kit::HTTPURLResponse::localizedStringForStatusCode(code);
    }
  }
  return 0;
}
