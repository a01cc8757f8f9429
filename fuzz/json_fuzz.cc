// Fuzz target for the JSON parser. The low four bits of the first byte pick
// the parse options, bit 0x10 a mutable parse and bit 0x20 number mode; the
// rest is the text. Whatever parses must equal its copy, and (when mutable,
// after changes) write back (compact, and pretty with every escape) and read
// again as an equal value; a second parse by the same decoder, after the
// first document is gone, must give an equal value again; whatever does not
// parse must say why in valid UTF-8.
//
// Number mode parses "[" text "]": when that is one decimal number, its
// value must be the double std::from_chars reads from the same text.

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "data/json/json_decoder.h"
#include "data/json/json_text.h"
#include "data/json/jx_array.h"
#include "data/json/jx_dictionary.h"
#include "data/json/jx_constants.h"
#include "kit/foundation/number.h"
#include "kit/foundation/string.h"
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

// In number mode: a lone decimal in an array has the nearest double.
void checkNumber(const kit::Id& value, const std::string& text) {
  auto array = kit::as<JXArray>(value);
  if (!array || array->count() != 1) return;
  auto number = kit::as<kit::Number>(array->objectAtIndex(0));
  if (!number || number->kind() != kit::Number::Kind::Double) return;
  const size_t first = text.find_first_not_of(" \t\r\n");
  const size_t last = text.find_last_not_of(" \t\r\n");
  double expected = 0;
  const auto [end, ec] = std::from_chars(text.data() + first, text.data() + last + 1, expected);
  if (ec != std::errc() || end != text.data() + last + 1) return;
  check(std::bit_cast<uint64_t>(number->doubleValue()) == std::bit_cast<uint64_t>(expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned long options = data[0] & JXParseOptionValidFlags;
  const bool isMutable = data[0] & 0x10;
  const bool numberMode = data[0] & 0x20;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (numberMode) text = "[" + text + "]";

  auto decoder = JSONDecoder::decoderWithParseOptions(options);
  auto parse = [&](kit::Ref<kit::Error>* error) {
    return isMutable ? decoder->mutableObjectWithUTF8String(text.data(), text.size(), error)
                     : decoder->objectWithUTF8String(text.data(), text.size(), error);
  };
  kit::Ref<kit::Error> error;
  kit::Id value = parse(&error);
  if (!value) {
    check(error && !error->localizedDescription().empty() && kit::isValidUTF8(error->localizedDescription()));
    return 0;
  }
  if (numberMode) checkNumber(value, text.substr(1, text.size() - 2));
  // Values read out of the parser's containers equal themselves in the
  // default containers a copy makes.
  check(kit::isEqual(value, value->mutableCopy()));
  // The same text again, through the values the decoder kept from the first
  // parse, once that document is gone.
  {
    const std::string first = write(value, 0)->utf8();
    value = nullptr;
    value = parse(nullptr);
    check(value != nullptr && write(value, 0)->utf8() == first);
  }
  // A mutable result takes changes that make it grow, and stays writable.
  if (isMutable) {
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
