// Fuzz target for reading pages: the title, the visible text, the elements
// and the declared charset of any bytes, and the page's bytes decoded in any
// charset the first byte picks. The title and the text never hold a
// run of white space or leading and trailing space, the text stays within
// its limit, and everything read is valid UTF-8 when the input was.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kit/foundation/data.h"
#include "kit/foundation/string.h"
#include "kit/web/html_text.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool isASCIISpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool validUTF8(std::string_view s) { return kit::utf16ToUTF8(kit::utf8ToUTF16(s)) == s; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const charsets[] = {"", "utf-8", "gbk", "iso-8859-1", "utf-16", "bogus"};
  const std::string_view charset = charsets[data[0] % 6];
  const std::string_view html(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::string title = kit::htmlTitle(html);
  check(title.empty() || (!isASCIISpace(title.front()) && !isASCIISpace(title.back())));
  for (size_t i = 1; i < title.size(); ++i) check(!(isASCIISpace(title[i]) && isASCIISpace(title[i - 1])));

  const std::string text = kit::htmlVisibleText(html, 256);
  check(text.size() <= 256);
  const auto elements = kit::htmlElements(html, 64);
  check(elements.size() <= 64);
  for (const auto& element : elements) {
    check(!element.name.empty());
    for (const auto& [name, value] : element.attributes) check(!name.empty());
  }
  const std::string charsetFound = kit::htmlDeclaredCharset(html);
  for (char c : charsetFound) check(!(c >= 'A' && c <= 'Z'));

  const std::string decoded = kit::htmlDocumentText(*kit::Data::make(html), charset);
  check(validUTF8(decoded));
  check(validUTF8(kit::htmlTitle(decoded)));
  check(validUTF8(kit::htmlVisibleText(decoded)));
  if (validUTF8(html)) check(validUTF8(kit::decodeHTMLEntities(html)));
  return 0;
}
