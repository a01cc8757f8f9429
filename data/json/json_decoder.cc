// JSONDecoder: the top-level parse, the recursive container builder, the
// value cache and error recording. Tokens come from jx_tokenizer.cc.
//
// The tokenizer and the builder record the first error of a parse in its
// state and stop; the parse then yields the document or that error as one
// kit::Expected, which the decoder's methods turn into nil and the error
// out-parameter.

#include "data/json/json_decoder.h"

#include <bit>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "data/json/jx_arena.h"
#include "data/json/jx_array.h"
#include "data/json/jx_constants.h"
#include "data/json/jx_dictionary.h"
#include "data/json/jx_parse_state.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/expected.h"
#include "kit/foundation/no_destructor.h"
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
  state->values.trim(65536);
  if (state->pairs.capacity() > 65536) std::vector<JXPendingPair>().swap(state->pairs);
  if (state->layoutScratch.capacity() > 65536) std::vector<JXKeyLayout::BuildEntry>().swap(state->layoutScratch);
  if (state->displaced.capacity() > 65536) std::vector<kit::Id>().swap(state->displaced);
  (void)&spareStateRelease;  // frees the spare when the thread ends
  spareState = state.release();
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
  // Reads the value that starts with the current token into `out`; false
  // (with an error recorded) when there is none.
  static bool parseValue(JXParseState& s, JXValue& out);
  static kit::Ref<JXArray> parseArray(JXParseState& s);
  static kit::Ref<JXDictionary> parseObject(JXParseState& s);
  // The dictionary of the pairs from `pairBase` on.
  static kit::Ref<JXDictionary> makeDictionary(JXParseState& s, size_t pairBase);
  // The value of a number or string token.
  static bool scalarForToken(JXParseState& s, JXValue& out);
  // The string object of a string token, shared through the token cache.
  static kit::Id stringForToken(JXParseState& s);
  static uint64_t keyHashForToken(JXParseState& s, const kit::Id& key);
  static void expectedTokenError(JXParseState& s, const char* valueWord, const char* closeWord, unsigned allowed);
  static bool enterContainer(JXParseState& s);
};

namespace {

// What may come next inside a container.
enum : unsigned { kAllowValue = 1, kAllowComma = 2, kAllowClose = 4 };

const kit::Id& emptyString() {
  static const kit::NoDestructor<kit::Id> empty(kit::String::make(""));
  return *empty;
}

}  // namespace

namespace {

// Puts the parse state back when a parse ends, however it ends. The value
// cache keeps the objects of a parse whose document survives and forgets
// those of one that failed (released with the stacks, or already gone).
class ParseEnd {
 public:
  ParseEnd(JXParseState& s, const kit::Id& result) : s_(s), result_(result) {}
  ParseEnd(const ParseEnd&) = delete;
  ParseEnd& operator=(const ParseEnd&) = delete;
  ~ParseEnd() {
    s_.values.truncate(0);
    s_.pairs.clear();
    s_.cache->endParse(result_ != nullptr);
    s_.displaced.clear();
    for (auto& layout : s_.layouts) layout = nullptr;
    s_.input = nullptr;
    s_.length = 0;
    s_.atIndex = 0;
    s_.lineNumber = 1;
    s_.error = nullptr;
    s_.arena = nullptr;
  }

 private:
  JXParseState& s_;
  const kit::Id& result_;
};

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

  // The strings, numbers and containers of this parse are carved from one
  // arena; it stops filling its last chunk when the parse returns.
  JXArena arena(length * 2);
  s.arena = &arena;
  if (!s.valueCache) s.valueCache = std::make_shared<JXValueCache>();
  kit::Id result;
  kit::Ref<kit::Error> error;
  {
    ParseEnd end(s, result);
    bool failed = true;
    try {
      if (s.atIndex < s.length && scanNextToken(s)) {
        if (s.token.type != JXTokenType::ArrayBegin && s.token.type != JXTokenType::ObjectBegin) {
          recordParseError(s, "Expected either '[' or '{'.");
        } else if ((result = s.token.type == JXTokenType::ArrayBegin ? kit::Id(parseArray(s))
                                                                      : kit::Id(parseObject(s)))) {
          failed = false;
          skipWhitespace(s);
          if (s.atIndex < s.length && !(s.options & JXParseOptionPermitTextAfterValidJSON)) {
            recordParseError(s, "A valid JSON object was parsed but there were additional non-white-space "
                                "characters remaining.");
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
    error = std::move(s.error);
  }
  // Every road to no result recorded why.
  if (!result) return kit::unexpected(std::move(error));
  return result;
}

bool JXParser::parseValue(JXParseState& s, JXValue& out) {
  switch (s.token.type) {
    case JXTokenType::Number:
    case JXTokenType::String: return scalarForToken(s, out);
    case JXTokenType::True: out = JXValue::literal(kJXSlotTrue); return true;
    case JXTokenType::False: out = JXValue::literal(kJXSlotFalse); return true;
    case JXTokenType::Null: out = JXValue::literal(kJXSlotNull); return true;
    case JXTokenType::ArrayBegin: {
      kit::Ref<JXArray> array = parseArray(s);
      if (!array) return false;
      out = JXValue(std::move(array));
      return true;
    }
    case JXTokenType::ObjectBegin: {
      kit::Ref<JXDictionary> dictionary = parseObject(s);
      if (!dictionary) return false;
      out = JXValue(std::move(dictionary));
      return true;
    }
    default: return false;
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

kit::Ref<JXArray> JXParser::parseArray(JXParseState& s) {
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
      JXValue value;
      if (!(type <= JXTokenType::String ? scalarForToken(s, value) : parseValue(s, value))) break;
      s.values.push(std::move(value));
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
      result = JXArray::create(*s.arena, s.values, base, s.mutableCollections, s.valueCache);
      break;
    } else {
      expectedTokenError(s, "a value", "a ']'", allowed);
      break;
    }
  }
  s.values.truncate(base);
  --s.depth;
  return result;
}

kit::Ref<JXDictionary> JXParser::parseObject(JXParseState& s) {
  if (!enterContainer(s)) return nullptr;
  const size_t pairBase = s.pairs.size();
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
      kit::Id key = stringForToken(s);
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
      JXValue value;
      if (!parseValue(s, value)) break;
      s.pairs.push_back({keyHash, std::move(key), std::move(value)});
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
      result = makeDictionary(s, pairBase);
      break;
    } else {
      expectedTokenError(s, "a \"STRING\"", "a '}'", allowed);
      break;
    }
  }
  s.pairs.resize(pairBase);
  --s.depth;
  return result;
}

kit::Ref<JXDictionary> JXParser::makeDictionary(JXParseState& s, size_t pairBase) {
  JXPendingPair* pairs = s.pairs.data() + pairBase;
  const size_t count = s.pairs.size() - pairBase;
  // The layout of the last dictionary with these keys, or a new one.
  const uint64_t signature = JXKeyLayout::signatureOf(pairs, count);
  std::shared_ptr<JXKeyLayout>& cached = s.layouts[(signature >> 32) % JXParseState::kLayoutCacheSize];
  std::shared_ptr<JXKeyLayout> layout;
  if (cached && cached->fits(pairs, count, signature)) {
    layout = cached;
  } else {
    layout = JXKeyLayout::build(*s.arena, pairs, count, signature, s.valueCache, s.layoutScratch);
    cached = layout;
  }
  kit::Ref<JXDictionary> result = JXDictionary::create(*s.arena, layout, s.mutableCollections);
  JXSlot* values = result->values();
  uint8_t* tags = result->valueTags();
  for (size_t i = 0; i < count; ++i) {
    JXPendingPair& pair = pairs[i];
    const uint32_t position = layout->positionOfPair(i);
    // What the dictionary does not keep stays alive until the parse ends,
    // so that the token cache's borrowed objects do: a pair a repeated key
    // pushed out, and a key equal to the layout's but another object.
    if (position == JXKeyLayout::kNone) {
      s.displaced.push_back(std::move(pair.key));
      if (kit::Id object = pair.value.takeObject()) s.displaced.push_back(std::move(object));
      continue;
    }
    if (pair.key != layout->keyAt(position)) s.displaced.push_back(std::move(pair.key));
    tags[position] = pair.value.relocateTo(values[position]);
  }
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

bool JXParser::scalarForToken(JXParseState& s, JXValue& out) {
  const JXParseToken& t = s.token;
  switch (t.valueType) {
    case JXValueType::String:
      out = t.valueLength <= kJXShortStringMax ? JXValue(t.valueBytes, t.valueLength) : JXValue(stringForToken(s));
      return true;
    case JXValueType::LongLong:
      out = JXValue(kJXSlotSigned, static_cast<uint64_t>(t.number.longLongValue));
      return true;
    case JXValueType::UnsignedLongLong:
      // Unsigned values that fit a signed 64-bit number are kept as one.
      out = JXValue(t.number.unsignedLongLongValue <= static_cast<uint64_t>(INT64_MAX) ? kJXSlotSigned
                                                                                       : kJXSlotUnsigned,
                    t.number.unsignedLongLongValue);
      return true;
    case JXValueType::Double: out = JXValue(kJXSlotDouble, std::bit_cast<uint64_t>(t.number.doubleValue)); return true;
    default: recordParseError(s, "Internal error: Unknown token value type."); return false;
  }
}

kit::Id JXParser::stringForToken(JXParseState& s) {
  JXParseToken& t = s.token;
  if (t.valueLength == 0) return emptyString();
  const uint64_t hash = jxHashBytes(kJXHashSeed, t.valueBytes, t.valueLength);
  size_t fill = 0;
  const size_t found = s.cache->find(hash, t.valueType, t.valueBytes, t.valueLength, fill);
  if (found != JXTokenCache::kMiss) {
    t.cacheSlot = found;
    return s.cache->objectAt(found);
  }
  kit::Id object = s.arena->make<kit::String>(std::string(reinterpret_cast<const char*>(t.valueBytes), t.valueLength));
  s.cache->store(fill, hash, t.valueType, t.valueBytes, t.valueLength, object.get());
  t.cacheSlot = fill;
  return object;
}

uint64_t JXParser::keyHashForToken(JXParseState& s, const kit::Id& key) {
  if (s.token.cacheSlot == JXTokenCache::kMiss) return key->hash();
  JXTokenCacheRecord& record = s.cache->recordAt(s.token.cacheSlot);
  if (!record.hasKeyHash) {
    record.keyHash = key->hash();
    record.hasKeyHash = true;
  }
  return record.keyHash;
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
