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

#include "data/json/jx_arena.h"
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
  if (state->pairs.capacity() > 65536) std::vector<JXHashTableEntry>().swap(state->pairs);
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
  static const kit::Id& empty = *new kit::Id(kit::String::make(""));
  return empty;
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
    s_.values.clear();
    s_.pairs.clear();
    s_.cache->endParse(result_ != nullptr);
    s_.displaced.clear();
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
  kit::Id result;
  kit::Ref<kit::Error> error;
  {
    ParseEnd end(s, result);
    bool failed = true;
    try {
      if (s.atIndex < s.length && scanNextToken(s)) {
        if (s.token.type != JXTokenType::ArrayBegin && s.token.type != JXTokenType::ObjectBegin) {
          recordParseError(s, "Expected either '[' or '{'.");
        } else if ((result = parseValue(s))) {
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

kit::Id JXParser::parseValue(JXParseState& s) {
  // The shared constants, looked up once.
  // Never destroyed: another thread may still parse while the process exits.
  static const kit::Id& yes = *new kit::Id(kit::Number::yes());
  static const kit::Id& no = *new kit::Id(kit::Number::no());
  static const kit::Id& null = *new kit::Id(kit::Null::null());
  switch (s.token.type) {
    case JXTokenType::Number:
    case JXTokenType::String: return valueForToken(s);
    case JXTokenType::True: return yes;
    case JXTokenType::False: return no;
    case JXTokenType::Null: return null;
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
      kit::Id value = type <= JXTokenType::String ? valueForToken(s) : parseValue(s);
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
      result = JXArray::create(*s.arena, s.values.data() + base, s.values.size() - base, s.mutableCollections);
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
      const JXTokenType valueType = s.token.type;
      kit::Id value = valueType <= JXTokenType::String ? valueForToken(s) : parseValue(s);
      if (!value) break;
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
      const size_t count = s.pairs.size() - pairBase;
      result = JXDictionary::create(*s.arena, JXDictionary::capacityForCount(count), s.mutableCollections);
      result->insertAll(s.pairs.data() + pairBase, count, s.displaced);
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

namespace {

kit::Id makeValue(JXArena& arena, const JXParseToken& t) {
  using Kind = kit::Number::Kind;
  switch (t.valueType) {
    case JXValueType::String:
      return arena.make<kit::String>(std::string(reinterpret_cast<const char*>(t.valueBytes), t.valueLength));
    case JXValueType::LongLong: return arena.make<kit::Number>(Kind::Signed, 'q', t.number.longLongValue, 0, 0.0);
    case JXValueType::UnsignedLongLong: {
      // Unsigned values that fit a signed 64-bit number are kept as one.
      const uint64_t v = t.number.unsignedLongLongValue;
      if (v <= static_cast<uint64_t>(INT64_MAX)) {
        return arena.make<kit::Number>(Kind::Signed, 'q', static_cast<int64_t>(v), 0, 0.0);
      }
      return arena.make<kit::Number>(Kind::Unsigned, 'Q', 0, v, 0.0);
    }
    case JXValueType::Double: return arena.make<kit::Number>(Kind::Double, 'd', 0, 0, t.number.doubleValue);
    default: return nullptr;
  }
}

}  // namespace

kit::Id JXParser::valueForToken(JXParseState& s) {
  JXParseToken& t = s.token;
  if (t.valueType == JXValueType::String && t.valueLength == 0) return emptyString();

  size_t fill = 0;
  const size_t found = s.cache->find(t.hash, t.valueType, t.valueBytes, t.valueLength, fill);
  if (found != JXTokenCache::kMiss) {
    t.cacheSlot = found;
    return s.cache->objectAt(found);
  }
  kit::Id object = makeValue(*s.arena, t);
  if (!object) {
    recordParseError(s, "Internal error: Unknown token value type.");
    return nullptr;
  }
  s.cache->store(fill, t.hash, t.valueType, t.valueBytes, t.valueLength, object.get());
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
