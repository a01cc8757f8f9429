// Fuzz target for the JSON parser. The low four bits of the first byte pick
// the parse options and bit 0x10 a mutable parse; the rest is the text.
// Whatever parses (and, when mutable, is then changed) must write back
// (compact, and pretty with every escape) and read again as an equal value;
// whatever does not parse must say why.

#include <cstdint>
#include <cstdlib>

#include "data/json/json_decoder.h"
#include "data/json/json_text.h"
#include "data/json/jx_array.h"
#include "data/json/jx_dictionary.h"
#include "data/json/jx_constants.h"
#include "kit/foundation/values.h"

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
  // A mutable result takes changes that make it grow, and stays writable.
  if (data[0] & 0x10) {
    if (auto array = kit::as<JXArray>(value)) {
      array->insertObject(kit::str("front"), 0);
      if (array->count() > 1) array->removeObjectAtIndex(array->count() - 1);
    } else if (auto dictionary = kit::as<JXDictionary>(value)) {
      dictionary->setObject(kit::num(1), "added");
      dictionary->setObject(kit::str("again"), "added");
      if (dictionary->count() > 1) dictionary->removeObjectForKey(dictionary->keys().front());
    }
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
