// JSON text operations: each call makes a decoder or a serializer, uses it
// once and gives its memory back before returning.

#include "data/json/json_text.h"

#include <string>

#include "data/json/json_decoder.h"
#include "data/json/jx_constants.h"

namespace {

// The text of a string as UTF-8 for parsing. An unpaired surrogate, which a
// string can hold but UTF-8 cannot, becomes "?" as in a lossy conversion.
std::string lossyUTF8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == 0xED && i + 2 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0xA0) {
      out += '?';
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

kit::Id parseString(const kit::String& json, unsigned long options, kit::Ref<kit::Error>* error, bool isMutable) {
  kit::Ref<JSONDecoder> decoder = JSONDecoder::decoderWithParseOptions(options);
  const std::string& text = json.utf8();
  kit::Id result;
  if (kit::hasLoneSurrogate(text)) {
    std::string converted = lossyUTF8(text);
    result = isMutable ? decoder->mutableObjectWithUTF8String(converted.data(), converted.size(), error)
                       : decoder->objectWithUTF8String(converted.data(), converted.size(), error);
  } else {
    result = isMutable ? decoder->mutableObjectWithUTF8String(text.data(), text.size(), error)
                       : decoder->objectWithUTF8String(text.data(), text.size(), error);
  }
  decoder->releaseState();
  return result;
}

kit::Id parseData(const kit::Data& json, unsigned long options, kit::Ref<kit::Error>* error, bool isMutable) {
  kit::Ref<JSONDecoder> decoder = JSONDecoder::decoderWithParseOptions(options);
  // Empty data may have no byte pointer at all; it is still text, just empty.
  const char* bytes = json.length() ? reinterpret_cast<const char*>(json.bytes()) : "";
  kit::Id result = isMutable ? decoder->mutableObjectWithUTF8String(bytes, json.length(), error)
                             : decoder->objectWithUTF8String(bytes, json.length(), error);
  decoder->releaseState();
  return result;
}

// The receiver as the serializer takes it: its own shared reference when it
// lives in one, else a reference that does not own it (a receiver on the
// stack or inside another object), valid for the call.
kit::Id receiverReference(const kit::Object& receiver) {
  if (kit::Id owned = std::const_pointer_cast<kit::Object>(receiver.weak_from_this().lock())) return owned;
  return kit::Id(kit::Id(), const_cast<kit::Object*>(&receiver));
}

kit::Id write(const kit::Object& receiver, unsigned long options, unsigned long encodeOption,
              const JXSerializer::UnsupportedClassBlock& block, const kit::Id& delegate, const JXSelector& selector,
              kit::Ref<kit::Error>* error) {
  return JXSerializer::serializeObject(receiverReference(receiver), options, encodeOption, block, delegate, selector,
                                       error);
}

kit::Ref<kit::Data> asData(const kit::Id& v) { return std::static_pointer_cast<kit::Data>(v); }
kit::Ref<kit::String> asString(const kit::Id& v) { return std::static_pointer_cast<kit::String>(v); }

const JXSerializer::UnsupportedClassBlock kNoBlock;
const JXSelector kNoSelector;

constexpr unsigned long kCollectionAsData = JXEncodeRequireCollection | JXEncodeAsData;
constexpr unsigned long kCollectionAsString = JXEncodeRequireCollection | JXEncodeAsString;

unsigned long stringEncodeOption(unsigned long form, bool includeQuotes) {
  return JXEncodeRequireString | form | (includeQuotes ? 0UL : static_cast<unsigned long>(JXEncodeOmitQuotes));
}

}  // namespace

// ---- Parsing ---------------------------------------------------------------

kit::Id objectFromJSONString(const kit::String& json) { return parseString(json, 0, nullptr, false); }
kit::Id objectFromJSONStringWithParseOptions(const kit::String& json, unsigned long parseOptions) {
  return parseString(json, parseOptions, nullptr, false);
}
kit::Id objectFromJSONStringWithParseOptions(const kit::String& json, unsigned long parseOptions,
                                             kit::Ref<kit::Error>* error) {
  return parseString(json, parseOptions, error, false);
}
kit::Id mutableObjectFromJSONString(const kit::String& json) { return parseString(json, 0, nullptr, true); }
kit::Id mutableObjectFromJSONStringWithParseOptions(const kit::String& json, unsigned long parseOptions) {
  return parseString(json, parseOptions, nullptr, true);
}
kit::Id mutableObjectFromJSONStringWithParseOptions(const kit::String& json, unsigned long parseOptions,
                                                    kit::Ref<kit::Error>* error) {
  return parseString(json, parseOptions, error, true);
}

kit::Id objectFromJSONData(const kit::Data& json) { return parseData(json, 0, nullptr, false); }
kit::Id objectFromJSONDataWithParseOptions(const kit::Data& json, unsigned long parseOptions) {
  return parseData(json, parseOptions, nullptr, false);
}
kit::Id objectFromJSONDataWithParseOptions(const kit::Data& json, unsigned long parseOptions,
                                           kit::Ref<kit::Error>* error) {
  return parseData(json, parseOptions, error, false);
}
kit::Id mutableObjectFromJSONData(const kit::Data& json) { return parseData(json, 0, nullptr, true); }
kit::Id mutableObjectFromJSONDataWithParseOptions(const kit::Data& json, unsigned long parseOptions) {
  return parseData(json, parseOptions, nullptr, true);
}
kit::Id mutableObjectFromJSONDataWithParseOptions(const kit::Data& json, unsigned long parseOptions,
                                                  kit::Ref<kit::Error>* error) {
  return parseData(json, parseOptions, error, true);
}

// ---- Strings ---------------------------------------------------------------

kit::Ref<kit::Data> JSONData(const kit::String& string) {
  return asData(write(string, 0, stringEncodeOption(JXEncodeAsData, true), kNoBlock, nullptr, kNoSelector, nullptr));
}
kit::Ref<kit::Data> JSONDataWithOptions(const kit::String& string, unsigned long serializeOptions, bool includeQuotes,
                                        kit::Ref<kit::Error>* error) {
  return asData(write(string, serializeOptions, stringEncodeOption(JXEncodeAsData, includeQuotes), kNoBlock, nullptr,
                      kNoSelector, error));
}
kit::Ref<kit::String> JSONString(const kit::String& string) {
  return asString(
      write(string, 0, stringEncodeOption(JXEncodeAsString, true), kNoBlock, nullptr, kNoSelector, nullptr));
}
kit::Ref<kit::String> JSONStringWithOptions(const kit::String& string, unsigned long serializeOptions,
                                            bool includeQuotes, kit::Ref<kit::Error>* error) {
  return asString(write(string, serializeOptions, stringEncodeOption(JXEncodeAsString, includeQuotes), kNoBlock,
                        nullptr, kNoSelector, error));
}

// ---- Arrays and dictionaries ---------------------------------------------------
// One set of definitions serves both receivers.

#define JX_DEFINE_COLLECTION_WRITERS(Receiver)                                                                       \
  kit::Ref<kit::Data> JSONData(const Receiver& receiver) {                                                          \
    return asData(write(receiver, 0, kCollectionAsData, kNoBlock, nullptr, kNoSelector, nullptr));                  \
  }                                                                                                                  \
  kit::Ref<kit::Data> JSONDataWithOptions(const Receiver& receiver, unsigned long options,                          \
                                          kit::Ref<kit::Error>* error) {                                            \
    return asData(write(receiver, options, kCollectionAsData, kNoBlock, nullptr, kNoSelector, error));              \
  }                                                                                                                  \
  kit::Ref<kit::Data> JSONDataWithOptions(const Receiver& receiver, unsigned long options, const kit::Id& delegate, \
                                          const JXSelector& selector, kit::Ref<kit::Error>* error) {                \
    return asData(write(receiver, options, kCollectionAsData, kNoBlock, delegate, selector, error));                \
  }                                                                                                                  \
  kit::Ref<kit::Data> JSONDataWithOptions(const Receiver& receiver, unsigned long options,                          \
                                          const JXSerializer::UnsupportedClassBlock& block,                         \
                                          kit::Ref<kit::Error>* error) {                                            \
    return asData(write(receiver, options, kCollectionAsData, block, nullptr, kNoSelector, error));                 \
  }                                                                                                                  \
  kit::Ref<kit::String> JSONString(const Receiver& receiver) {                                                      \
    return asString(write(receiver, 0, kCollectionAsString, kNoBlock, nullptr, kNoSelector, nullptr));              \
  }                                                                                                                  \
  kit::Ref<kit::String> JSONStringWithOptions(const Receiver& receiver, unsigned long options,                      \
                                              kit::Ref<kit::Error>* error) {                                        \
    return asString(write(receiver, options, kCollectionAsString, kNoBlock, nullptr, kNoSelector, error));          \
  }                                                                                                                  \
  kit::Ref<kit::String> JSONStringWithOptions(const Receiver& receiver, unsigned long options,                      \
                                              const kit::Id& delegate, const JXSelector& selector,                  \
                                              kit::Ref<kit::Error>* error) {                                        \
    return asString(write(receiver, options, kCollectionAsString, kNoBlock, delegate, selector, error));            \
  }                                                                                                                  \
  kit::Ref<kit::String> JSONStringWithOptions(const Receiver& receiver, unsigned long options,                      \
                                              const JXSerializer::UnsupportedClassBlock& block,                     \
                                              kit::Ref<kit::Error>* error) {                                        \
    return asString(write(receiver, options, kCollectionAsString, block, nullptr, kNoSelector, error));             \
  }

JX_DEFINE_COLLECTION_WRITERS(kit::Array)
JX_DEFINE_COLLECTION_WRITERS(kit::Dictionary)
