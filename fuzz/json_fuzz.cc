// Fuzz target for the JSON parser. The first byte picks the parse options;
// the rest is the text. Whatever parses must write back (compact, and
// pretty with every escape) and read again as an equal value; whatever does
// not parse must say why.

#include <cstdint>
#include <cstdlib>

#include "data/json_decoder.h"
#include "data/json_text.h"
#include "data/jx_constants.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

kit::Ref<kit::String> write(const kit::Id& value, unsigned long options) {
  kit::Ref<kit::Error> error;
  if (auto array = kit::as<kit::Array>(value)) return JSONStringWithOptions(*array, options, &error);
  return JSONStringWithOptions(*kit::as<kit::Dictionary>(value), options, &error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned long options = data[0] & JXParseOptionValidFlags;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;

  auto decoder = JSONDecoder::decoderWithParseOptions(options);
  kit::Ref<kit::Error> error;
  kit::Id value = (data[0] & 0x10) ? decoder->mutableObjectWithUTF8String(text, length, &error)
                                   : decoder->objectWithUTF8String(text, length, &error);
  if (!value) {
    check(error && !error->localizedDescription().empty());
    return 0;
  }
  for (unsigned long writeOptions : {0UL, static_cast<unsigned long>(JXSerializeOptionPretty |
                                                                      JXSerializeOptionEscapeUnicode |
                                                                      JXSerializeOptionEscapeForwardSlashes)}) {
    kit::Ref<kit::String> written = write(value, writeOptions);
    check(written != nullptr);
    kit::Id again = objectFromJSONString(*written);
    check(again && kit::isEqual(value, again));
  }
  return 0;
}
