// Fuzzes the URL parser, reference resolution and URL components. The input
// is a reference; when it holds a line break, the text before it is a base
// URL and the rest the reference resolved against it.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kit/foundation/charset.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/url.h"
#include "kit/foundation/url_components.h"
#include "kit/foundation/url_parser.h"

namespace {

void check(bool condition) {
  if (!condition) abort();
}

void exercise(const kit::Ref<kit::URL>& url) {
  url->scheme();
  url->user();
  url->password();
  url->host();
  url->port();
  url->path();
  url->relativePath();
  url->query();
  url->fragment();
  url->resourceSpecifier();
  url->lastPathComponent();
  url->pathExtension();
  url->pathComponents();
  url->isFileURL();
  url->standardizedURL();
  url->URLByDeletingLastPathComponent();
  url->URLByDeletingPathExtension();
  url->URLByAppendingPathExtension("x");
  auto appended = url->URLByAppendingPathComponent("a b/c", false);
  // Whatever the URL, its absolute text is itself a valid reference.
  check(kit::parseURLReference(url->absoluteText()).has_value());
  if (appended) check(kit::parseURLReference(appended->absoluteText()).has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);

  // A parsed reference is written back exactly as it was given.
  if (auto parts = kit::parseURLReference(input)) check(parts->recompose() == input);

  kit::Ref<kit::URL> base;
  std::string_view reference = input;
  if (size_t newline = input.find('\n'); newline != std::string_view::npos) {
    base = kit::URL::URLWithString(input.substr(0, newline));
    reference = input.substr(newline + 1);
  }
  if (!base) base = kit::URL::URLWithString("http://a/b/c/d;p?q");

  if (auto url = kit::URL::URLWithString(reference)) exercise(url);
  if (auto resolved = kit::URL::URLWithString(reference, base)) {
    exercise(resolved);
    // Resolving an absolute result again changes nothing. (Against a
    // relative base the result is relative too and would move again.)
    auto again = kit::URL::URLWithString(resolved->absoluteText(), base);
    if (resolved->scheme()) {
      check(again != nullptr);
      check(again->isEqual(*resolved));
    }
  }

  if (auto components = kit::URLComponents::componentsWithString(reference)) {
    components->user();
    components->host();
    components->path();
    components->query();
    if (auto text = components->string()) check(kit::parseURLReference(text->utf8()).has_value());
    // Query items survive being set again.
    if (auto items = components->queryItems()) {
      auto copy = kit::URLComponents::make();
      copy->setQueryItems(items);
      check(copy->queryItems()->isEqual(*items));
    }
    components->url();
  }

  // Percent-encoding round-trips any UTF-8 text.
  if (kit::isValidUTF8(input)) {
    auto encoded = kit::stringByAddingPercentEncodingWithAllowedCharacters(input, *kit::CharacterSet::urlPathAllowed());
    check(encoded != nullptr);
    auto decoded = kit::stringByRemovingPercentEncoding(*encoded);
    check(decoded != nullptr && decoded->utf8() == input);
    if (!input.empty() && input[0] == '/' && input.back() != '/') {
      auto file = kit::URL::fileURLWithPath(input, false);
      check(file != nullptr && file->path() && file->path()->utf8() == input);
    }
  }
  kit::stringByRemovingPercentEncoding(input);
  return 0;
}
