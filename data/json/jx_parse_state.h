// The JSON parser's working state: the input and position, the current
// token, the stack of values waiting for their container, the value cache
// and the first error of the parse. Internal to the decoder; the tokenizer
// (jx_tokenizer.cc) and the container builder (json_decoder.cc) share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/error.h"
#include "kit/foundation/object.h"

enum class JXTokenType : uint8_t {
  None = 0,
  Number = 1,
  String = 2,
  ObjectBegin = 3,
  ObjectEnd = 4,
  ArrayBegin = 5,
  ArrayEnd = 6,
  Separator = 7,  // ':'
  Comma = 8,
  True = 9,
  False = 10,
  Null = 11,
};

inline bool isValueToken(JXTokenType t) {
  switch (t) {
    case JXTokenType::Number:
    case JXTokenType::String:
    case JXTokenType::ObjectBegin:
    case JXTokenType::ArrayBegin:
    case JXTokenType::True:
    case JXTokenType::False:
    case JXTokenType::Null: return true;
    default: return false;
  }
}

enum class JXValueType : uint8_t {
  None = 0,
  String = 5,
  LongLong = 7,
  UnsignedLongLong = 11,
  Double = 13,
};

// One slot of the value cache: a string or number made earlier in this
// decoder's life, found again by its hash, type and value bytes.
struct JXTokenCacheItem {
  kit::Id object;
  uint64_t hash = 0;
  uint64_t keyHash = 0;  // the object's hash() as a dictionary key, once computed
  bool hasKeyHash = false;
  JXValueType type = JXValueType::None;
  std::string bytes;
};

inline constexpr size_t kJXTokenCacheSize = 1024;
inline constexpr uint64_t kJXHashSeed = 1402737925;

// The hash that places values in the cache: eight bytes at a time, seeded
// per value type. Only the cache sees it; equal bytes of one type always
// hash alike, which is all the sharing of equal values needs.
inline uint64_t jxHashBytes(uint64_t seed, const void* bytes, size_t length) {
  auto* p = static_cast<const uint8_t*>(bytes);
  uint64_t h = seed ^ (length * 0x9E3779B97F4A7C15ULL);
  for (; length >= 8; p += 8, length -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    h = (h ^ word) * 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 31;
  }
  // The last 0 to 7 bytes, read with overlapping loads rather than copied.
  uint64_t tail = 0;
  if (length >= 4) {
    uint32_t first, last;
    std::memcpy(&first, p, 4);
    std::memcpy(&last, p + length - 4, 4);
    tail = first | (static_cast<uint64_t>(last) << 32);
  } else if (length > 0) {
    tail = p[0] | (static_cast<uint64_t>(p[length / 2]) << 8) | (static_cast<uint64_t>(p[length - 1]) << 16);
  }
  h = (h ^ tail) * 0x94D049BB133111EBULL;
  return h ^ (h >> 29);
}

struct JXParseToken {
  JXTokenType type = JXTokenType::None;
  const uint8_t* text = nullptr;  // where the token starts (strings: the opening quote)
  size_t textLength = 0;

  // The value of a string or number token.
  JXValueType valueType = JXValueType::None;
  const uint8_t* valueBytes = nullptr;  // strings: unescaped UTF-8; numbers: the 8 bytes below
  size_t valueLength = 0;
  uint64_t hash = 0;
  union {
    int64_t longLongValue;
    uint64_t unsignedLongLongValue;
    double doubleValue;
  } number{};
  JXTokenCacheItem* cacheItem = nullptr;
};

struct JXParseState {
  // Decoders take their state from a spare kept per thread and give it back,
  // so the many short-lived decoders of the text operations do not each
  // allocate the cache and regrow the stacks.
  static std::unique_ptr<JXParseState> take(unsigned long options);
  static void giveBack(std::unique_ptr<JXParseState> state);

  // Releases every cached object and empties every slot.
  void clearCache();

  unsigned long options = 0;
  const uint8_t* input = nullptr;
  size_t length = 0;
  size_t atIndex = 0;
  size_t lineNumber = 1;
  unsigned depth = 0;
  bool mutableCollections = false;

  JXParseToken token;
  std::string tokenBuffer;  // unescaped text of the current string when it needed unescaping

  // Values waiting for their container; dictionaries also stack their keys
  // and the keys' hashes.
  std::vector<kit::Id> values;
  std::vector<kit::Id> keys;
  std::vector<uint64_t> keyHashes;

  std::unique_ptr<JXTokenCacheItem[]> cache = std::make_unique<JXTokenCacheItem[]>(kJXTokenCacheSize);

  kit::Ref<kit::Error> error;  // the first error of the parse
};

// Records `message` as the parse's error unless one is recorded already.
void recordParseError(JXParseState& state, const std::string& message);

// Skips white space (and, with the options, comments and Unicode newlines),
// counting lines.
void skipWhitespace(JXParseState& state);

// Reads the next token into state.token; false (with an error recorded) when
// there is none.
bool scanNextToken(JXParseState& state);
