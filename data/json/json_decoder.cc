// JSONDecoder: the top-level parse, the recursive container builder, the
// value cache and error recording. Tokens come from jx_tokenizer.cc.
//
// The tokenizer and the builder record the first error of a parse in its
// state and stop; the parse then yields the document or that error as one
// kit::Expected, which the decoder's methods turn into nil and the error
// out-parameter.

#include "data/json/json_decoder.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "data/json/jx_array.h"
#include "data/json/jx_constants.h"
#include "data/json/jx_dictionary.h"
#include "data/json/jx_parse_state.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/expected.h"
#include "kit/foundation/number.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"
#include "kit/foundation/values.h"

KIT_DEFINE_CLASS_NAMED(JSONDecoder, kit::Object, "JSONDecoder") {}

namespace {

// One spare state per thread. Both variables are trivially destructible so
// that a decoder released while the thread ends can still look at them.
thread_local JXParseState* spareState = nullptr;
thread_local bool threadEnding = false;

struct SpareStateRelease {
  ~SpareStateRelease() {
    threadEnding = true;
    delete spareState;
    spareState = nullptr;
  }
};
thread_local SpareStateRelease spareStateRelease;

}  // namespace

std::unique_ptr<JXParseState> JXParseState::take(unsigned long options) {
  std::unique_ptr<JXParseState> state(std::exchange(spareState, nullptr));
  if (!state) state = std::make_unique<JXParseState>();
  state->options = options;
  return state;
}

void JXParseState::giveBack(std::unique_ptr<JXParseState> state) {
  if (!state) return;
  state->clearCache();
  if (threadEnding || spareState) return;  // freed here
  // Keep moderate buffers only.
  if (state->tokenBuffer.capacity() > 65536) std::string().swap(state->tokenBuffer);
  if (state->values.capacity() > 65536) std::vector<kit::Id>().swap(state->values);
  if (state->keys.capacity() > 65536) {
    std::vector<kit::Id>().swap(state->keys);
    std::vector<uint64_t>().swap(state->keyHashes);
  }
  (void)&spareStateRelease;  // frees the spare when the thread ends
  spareState = state.release();
}

void JXParseState::clearCache() {
  for (size_t i = 0; i < kJXTokenCacheSize; ++i) {
    JXTokenCacheItem& item = cache[i];
    if (!item.object) continue;
    item.object.reset();
    item.type = JXValueType::None;
    if (item.bytes.capacity() > 256) {
      std::string().swap(item.bytes);
    } else {
      item.bytes.clear();
    }
  }
}

void recordParseError(JXParseState& s, const std::string& message) {
  if (s.error) return;  // the first error of a parse is the one reported
  s.error = kit::Error::make(JXErrorDomain, -1,
                             kit::dict({{kit::LocalizedDescriptionKey, message},
                                        {JXAtIndexKey, static_cast<unsigned long>(s.atIndex)},
                                        {JXLineNumberKey, static_cast<unsigned long>(s.lineNumber)}}));
}

// The container builder. A struct so that JXArray and JXDictionary can let
// it fill them directly.
struct JXParser {
  // The document, or the first error the parse recorded.
  static kit::Expected<kit::Id> parseText(JXParseState& s, const uint8_t* bytes, size_t length,
                                          bool mutableCollections);

 private:
  static kit::Id parseValue(JXParseState& s);
  static kit::Id parseArray(JXParseState& s);
  static kit::Id parseObject(JXParseState& s);
  static kit::Id valueForToken(JXParseState& s);
  static uint64_t keyHashForToken(JXParseState& s, const kit::Id& key);
  static void expectedTokenError(JXParseState& s, const char* valueWord, const char* closeWord, unsigned allowed);
  static bool enterContainer(JXParseState& s);
};

namespace {

// What may come next inside a container.
enum : unsigned { kAllowValue = 1, kAllowComma = 2, kAllowClose = 4 };

const kit::Id& emptyString() {
  static const kit::Id empty = kit::String::make("");
  return empty;
}

}  // namespace

kit::Expected<kit::Id> JXParser::parseText(JXParseState& s, const uint8_t* bytes, size_t length,
                                           bool mutableCollections) {
  s.input = bytes;
  s.length = length;
  s.atIndex = 0;
  s.lineNumber = 1;
  s.depth = 0;
  s.error = nullptr;
  s.mutableCollections = mutableCollections;

  kit::Id result;
  bool failed = true;
  try {
    if (s.atIndex < s.length && scanNextToken(s)) {
      if (s.token.type != JXTokenType::ArrayBegin && s.token.type != JXTokenType::ObjectBegin) {
        recordParseError(s, "Expected either '[' or '{'.");
      } else if ((result = parseValue(s))) {
        failed = false;
        skipWhitespace(s);
        if (s.atIndex < s.length && !(s.options & JXParseOptionPermitTextAfterValidJSON)) {
          recordParseError(s, "A valid JSON object was parsed but there were additional non-white-space characters "
                              "remaining.");
          result = nullptr;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    recordParseError(s, "Internal error: Unable to allocate memory for the parsed objects.");
    result = nullptr;
  }
  if (failed) {
    if (s.atIndex == s.length) recordParseError(s, "Reached the end of the buffer.");
    recordParseError(s, "Unable to parse JSON.");
  }
  kit::Ref<kit::Error> error = std::move(s.error);

  s.values.clear();
  s.keys.clear();
  s.keyHashes.clear();
  s.input = nullptr;
  s.length = 0;
  s.atIndex = 0;
  s.lineNumber = 1;
  s.error = nullptr;
  // Every road to no result recorded why.
  if (!result) return kit::unexpected(std::move(error));
  return result;
}

kit::Id JXParser::parseValue(JXParseState& s) {
  switch (s.token.type) {
    case JXTokenType::Number:
    case JXTokenType::String: return valueForToken(s);
    case JXTokenType::True: return kit::Number::yes();
    case JXTokenType::False: return kit::Number::no();
    case JXTokenType::Null: return kit::Null::null();
    case JXTokenType::ArrayBegin: return parseArray(s);
    case JXTokenType::ObjectBegin: return parseObject(s);
    default: return nullptr;
  }
}

bool JXParser::enterContainer(JXParseState& s) {
  if (s.depth >= JXMaximumNestingDepth) {
    s.atIndex = static_cast<size_t>(s.token.text - s.input);  // at the bracket that goes too deep
    recordParseError(s, "Arrays and objects are nested deeper than " + std::to_string(JXMaximumNestingDepth) +
                            " levels.");
    return false;
  }
  ++s.depth;
  return true;
}

kit::Id JXParser::parseArray(JXParseState& s) {
  if (!enterContainer(s)) return nullptr;
  const size_t base = s.values.size();
  unsigned allowed = kAllowValue | kAllowClose;
  kit::Ref<JXArray> result;
  while (s.atIndex < s.length) {
    if (!scanNextToken(s)) break;
    const JXTokenType type = s.token.type;
    if (isValueToken(type)) {
      if (!(allowed & kAllowValue)) {
        recordParseError(s, "Unexpected value.");
        break;
      }
      kit::Id value = parseValue(s);
      if (!value) break;
      s.values.push_back(std::move(value));
      allowed = kAllowComma | kAllowClose;
    } else if (type == JXTokenType::Comma) {
      if (!(allowed & kAllowComma)) {
        recordParseError(s, "Unexpected ','.");
        break;
      }
      allowed = kAllowValue;
    } else if (type == JXTokenType::ArrayEnd) {
      if (allowed <= (kAllowValue | kAllowComma)) {  // a comma before the bracket
        recordParseError(s, "Unexpected ']'.");
        break;
      }
      result = JXArray::create(s.values.data() + base, s.values.size() - base, s.mutableCollections);
      break;
    } else {
      expectedTokenError(s, "a value", "a ']'", allowed);
      break;
    }
  }
  s.values.resize(base);
  --s.depth;
  return result;
}

kit::Id JXParser::parseObject(JXParseState& s) {
  if (!enterContainer(s)) return nullptr;
  const size_t valueBase = s.values.size();
  const size_t keyBase = s.keys.size();
  unsigned allowed = kAllowValue | kAllowClose;
  kit::Ref<JXDictionary> result;
  while (s.atIndex < s.length) {
    if (!scanNextToken(s)) break;
    const JXTokenType type = s.token.type;
    if (type == JXTokenType::String) {
      if (!(allowed & kAllowValue)) {
        recordParseError(s, "Unexpected string.");
        break;
      }
      kit::Id key = valueForToken(s);
      if (!key) break;
      const uint64_t keyHash = keyHashForToken(s, key);
      if (!scanNextToken(s)) break;
      if (s.token.type != JXTokenType::Separator) {
        recordParseError(s, "Expected ':'.");
        break;
      }
      if (!scanNextToken(s)) break;
      if (!isValueToken(s.token.type)) {
        expectedTokenError(s, "a value", "a '}'", allowed);
        break;
      }
      kit::Id value = parseValue(s);
      if (!value) break;
      s.keys.push_back(std::move(key));
      s.keyHashes.push_back(keyHash);
      s.values.push_back(std::move(value));
      allowed = kAllowComma | kAllowClose;
    } else if (type == JXTokenType::Comma) {
      if (!(allowed & kAllowComma)) {
        recordParseError(s, "Unexpected ','.");
        break;
      }
      allowed = kAllowValue;
    } else if (type == JXTokenType::ObjectEnd) {
      if (!(allowed & kAllowClose)) {
        recordParseError(s, "Unexpected '}'.");
        break;
      }
      const size_t count = s.keys.size() - keyBase;
      result = JXDictionary::create(JXDictionary::capacityForCount(count), s.mutableCollections);
      for (size_t i = 0; i < count; ++i) {
        result->insert(s.keyHashes[keyBase + i], std::move(s.keys[keyBase + i]), std::move(s.values[valueBase + i]));
      }
      break;
    } else {
      expectedTokenError(s, "a \"STRING\"", "a '}'", allowed);
      break;
    }
  }
  s.values.resize(valueBase);
  s.keys.resize(keyBase);
  s.keyHashes.resize(keyBase);
  --s.depth;
  return result;
}

void JXParser::expectedTokenError(JXParseState& s, const char* valueWord, const char* closeWord, unsigned allowed) {
  std::vector<std::string> words;
  if (allowed & kAllowValue) words.emplace_back(valueWord);
  if (allowed & kAllowComma) words.emplace_back("a comma");
  if (allowed & kAllowClose) words.emplace_back(closeWord);
  std::string token(reinterpret_cast<const char*>(s.token.text), s.token.textLength);
  std::string message;
  if (words.size() == 1) {
    message = "Expected " + words[0] + ", not '" + token + "'";
  } else if (words.size() == 2) {
    message = "Expected " + words[0] + " or " + words[1] + ", not '" + token + "'";
  } else {
    message = "Expected " + words[0] + ", " + words[1] + ", or " + words[2] + ", not '" + token + "'";
  }
  recordParseError(s, message);
}

kit::Id JXParser::valueForToken(JXParseState& s) {
  JXParseToken& t = s.token;
  if (t.valueType == JXValueType::String && t.valueLength == 0) return emptyString();

  // Up to four probes; an empty slot ends the search, otherwise the first
  // occupied slot probed is the one to replace.
  const uint64_t h = t.hash;
  const size_t length = t.valueLength;
  const uint64_t step = length + static_cast<uint64_t>(t.valueType) + 3;
  JXTokenCacheItem* fill = nullptr;
  JXTokenCacheItem* replace = nullptr;
  for (uint64_t i = 0; i < 4; ++i) {
    JXTokenCacheItem& item = s.cache[(h + step * i) & (kJXTokenCacheSize - 1)];
    if (!item.object) {
      fill = &item;
      break;
    }
    if (item.hash == h && item.type == t.valueType && item.bytes.size() == length &&
        std::memcmp(item.bytes.data(), t.valueBytes, length) == 0) {
      t.cacheItem = &item;
      return item.object;
    }
    if (!replace) replace = &item;
  }
  if (!fill) fill = replace;

  kit::Id object;
  switch (t.valueType) {
    case JXValueType::String:
      object = std::make_shared<kit::String>(std::string(reinterpret_cast<const char*>(t.valueBytes), length));
      break;
    case JXValueType::LongLong: object = kit::Number::fromLongLong(t.number.longLongValue); break;
    case JXValueType::UnsignedLongLong: {
      uint64_t v = t.number.unsignedLongLongValue;
      object = v <= static_cast<uint64_t>(INT64_MAX) ? kit::Number::fromLongLong(static_cast<long long>(v))
                                                      : kit::Number::fromUnsignedLongLong(v);
      break;
    }
    case JXValueType::Double: object = kit::Number::fromDouble(t.number.doubleValue); break;
    default: recordParseError(s, "Internal error: Unknown token value type."); return nullptr;
  }
  fill->object = object;
  fill->hash = h;
  fill->hasKeyHash = false;
  fill->type = t.valueType;
  fill->bytes.assign(reinterpret_cast<const char*>(t.valueBytes), length);
  t.cacheItem = fill;
  return object;
}

uint64_t JXParser::keyHashForToken(JXParseState& s, const kit::Id& key) {
  JXTokenCacheItem* item = s.token.cacheItem;
  if (!item) return key->hash();
  if (!item->hasKeyHash) {
    item->keyHash = item->object->hash();
    item->hasKeyHash = true;
  }
  return item->keyHash;
}

// ---- JSONDecoder -------------------------------------------------------------

JSONDecoder::JSONDecoder(unsigned long parseOptions) {
  if (parseOptions > JXParseOptionValidFlags) kit::raise(kit::InvalidArgumentException, "Invalid parse options.");
  state_ = JXParseState::take(parseOptions);
}

JSONDecoder::~JSONDecoder() { JXParseState::giveBack(std::move(state_)); }

kit::Ref<JSONDecoder> JSONDecoder::decoderWithParseOptions(unsigned long parseOptions) {
  return std::make_shared<JSONDecoder>(parseOptions);
}

void JSONDecoder::clearCache() {
  if (state_) state_->clearCache();
}

void JSONDecoder::releaseState() { JXParseState::giveBack(std::move(state_)); }

kit::Id JSONDecoder::parse(const char* bytes, size_t length, bool mutableCollections, kit::Ref<kit::Error>* error) {
  if (!state_) kit::raise(kit::InternalInconsistencyException, "parseState is NULL.");
  if (!bytes) kit::raise(kit::InvalidArgumentException, "The string argument is NULL.");
  auto parsed = JXParser::parseText(*state_, reinterpret_cast<const uint8_t*>(bytes), length, mutableCollections);
  if (!parsed) {
    if (error) *error = parsed.error();
    return nullptr;
  }
  return std::move(parsed).value();
}

kit::Id JSONDecoder::parseData(const kit::Ref<kit::Data>& data, bool mutableCollections, kit::Ref<kit::Error>* error) {
  if (!data) kit::raise(kit::InvalidArgumentException, "The jsonData argument is NULL.");
  // Empty data may have no byte pointer at all; it is still text, just empty.
  const char* bytes = data->length() ? reinterpret_cast<const char*>(data->bytes()) : "";
  return parse(bytes, data->length(), mutableCollections, error);
}

kit::Id JSONDecoder::objectWithUTF8String(const char* bytes, size_t length, kit::Ref<kit::Error>* error) {
  return parse(bytes, length, false, error);
}

kit::Id JSONDecoder::mutableObjectWithUTF8String(const char* bytes, size_t length, kit::Ref<kit::Error>* error) {
  return parse(bytes, length, true, error);
}

kit::Id JSONDecoder::objectWithData(const kit::Ref<kit::Data>& data, kit::Ref<kit::Error>* error) {
  return parseData(data, false, error);
}

kit::Id JSONDecoder::mutableObjectWithData(const kit::Ref<kit::Data>& data, kit::Ref<kit::Error>* error) {
  return parseData(data, true, error);
}
