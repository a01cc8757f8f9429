// Fuzzes the base64 decoders and checks them against the encoder.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kit/foundation/base64.h"

namespace {

void check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);

  auto strict = kit::base64Decode(input);
  auto lenient = kit::base64Decode(input, kit::Base64DecodingIgnoreUnknownCharacters);
  if (strict) {
    // What the strict decoder accepts, the lenient one reads the same way,
    // and encoding the bytes gives text that decodes to them again.
    check(lenient && *lenient == *strict);
    auto again = kit::base64Decode(kit::base64Encode(*strict));
    check(again && *again == *strict);
    check(kit::base64Encode(*strict).size() == input.size());
  }

  // The input as bytes: every encoding option decodes back.
  auto bytes = std::span(data, size);
  const unsigned options[] = {0, kit::Base64Encoding64CharacterLineLength, kit::Base64Encoding76CharacterLineLength,
                              kit::Base64Encoding64CharacterLineLength | kit::Base64EncodingEndLineWithLineFeed};
  for (unsigned option : options) {
    std::string text = kit::base64Encode(bytes, option);
    auto back = kit::base64Decode(text, kit::Base64DecodingIgnoreUnknownCharacters);
    check(back && back->size() == size && std::equal(back->begin(), back->end(), data));
    if (option == 0) check(kit::base64Decode(text).has_value());
  }
  return 0;
}
