// The JSON parser's working state: the input and position, the current
// token, the stack of values waiting for their container, the caches of
// values and key layouts and the first error of the parse. Internal to the decoder; the tokenizer
// (jx_tokenizer.cc) and the container builder (json_decoder.cc) share it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "data/json/jx_key_layout.h"
#include "data/json/jx_slot.h"
#include "data/json/jx_token_cache.h"
#include "data/json/jx_value_cache.h"
#include "data/json/jx_value_stack.h"
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

inline constexpr uint64_t kJXHashSeed = 1402737925;

// The hash that places strings in the token cache: eight bytes at a time.
// Only the cache sees it; equal bytes always hash alike, which is all the
// sharing of equal strings needs.
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
  const uint8_t* valueBytes = nullptr;  // strings: unescaped UTF-8
  size_t valueLength = 0;
  union {
    int64_t longLongValue;
    uint64_t unsignedLongLongValue;
    double doubleValue;
  } number{};
  size_t cacheSlot = JXTokenCache::kMiss;  // the cache slot of the value, once looked up
};

class JXArena;

struct JXParseState {
  // Decoders take their state from a spare kept per thread and give it back,
  // so the many short-lived decoders of the text operations do not each
  // allocate the cache and regrow the stacks.
  static std::unique_ptr<JXParseState> take(unsigned long options);
  static void giveBack(std::unique_ptr<JXParseState> state);

  // Releases every cached object and empties every slot; documents parsed
  // from now on share no values with earlier ones.
  void clearCache() {
    cache->clear();
    valueCache = nullptr;
  }

  unsigned long options = 0;
  const uint8_t* input = nullptr;
  size_t length = 0;
  size_t atIndex = 0;
  size_t lineNumber = 1;
  unsigned depth = 0;
  bool mutableCollections = false;
  JXArena* arena = nullptr;  // where this parse's objects are made

  JXParseToken token;
  std::string tokenBuffer;  // unescaped text of the current string when it needed unescaping

  // Values waiting for their array, and pairs (with the key's hash) waiting
  // for their dictionary.
  JXValueStack values;
  std::vector<JXPendingPair> pairs;

  // Keys and long strings made during the decoder's life.
  std::unique_ptr<JXTokenCache> cache = std::make_unique<JXTokenCache>();
  // The objects read out of the slots of this decoder's documents, made by
  // the first parse that needs it.
  std::shared_ptr<JXValueCache> valueCache;
  // Key layouts of this parse, by signature, for dictionaries to share.
  static constexpr size_t kLayoutCacheSize = 64;
  std::shared_ptr<JXKeyLayout> layouts[kLayoutCacheSize];
  std::vector<JXKeyLayout::BuildEntry> layoutScratch;
  // Pairs that a repeated key pushed out of a dictionary during the parse,
  // kept until it ends so that the cache's borrowed objects stay alive.
  std::vector<kit::Id> displaced;

  kit::Ref<kit::Error> error;  // the first error of the parse
};

// Records `message` as the parse's error unless one is recorded already.
void recordParseError(JXParseState& state, const std::string& message);

// Skips white space (and, with the options, comments and Unicode newlines),
// counting lines.
void skipWhitespace(JXParseState& state);

// Passes over a run of spaces, sixteen or eight at a time while it can.
inline const uint8_t* jxSkipSpaces(const uint8_t* p, const uint8_t* end) {
#if defined(__SSE2__)
  const __m128i spaces = _mm_set1_epi8(' ');
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned others = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, spaces))) & 0xFFFF;
    if (others) return p + std::countr_zero(others);
    p += 16;
  }
#endif
  while (end - p >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    // The high bit of each byte that is not a space.
    const uint64_t x = word ^ 0x2020202020202020ULL;
    const uint64_t others = (((x & 0x7F7F7F7F7F7F7F7FULL) + 0x7F7F7F7F7F7F7F7FULL) | x) & 0x8080808080808080ULL;
    if (others) return p + std::countr_zero(others) / 8;
    p += 8;
  }
  while (p < end && *p == ' ') ++p;
  return p;
}

// Reads a token that is not punctuation (a string, number or literal) at
// the current position, white space already skipped; false (with an error
// recorded) when there is none.
bool scanValueToken(JXParseState& state);

// The token type of each punctuation byte; None for every other byte.
struct JXPunctuation {
  JXTokenType of[256];
  constexpr JXPunctuation() : of() {
    of[static_cast<uint8_t>('{')] = JXTokenType::ObjectBegin;
    of[static_cast<uint8_t>('}')] = JXTokenType::ObjectEnd;
    of[static_cast<uint8_t>('[')] = JXTokenType::ArrayBegin;
    of[static_cast<uint8_t>(']')] = JXTokenType::ArrayEnd;
    of[static_cast<uint8_t>(':')] = JXTokenType::Separator;
    of[static_cast<uint8_t>(',')] = JXTokenType::Comma;
  }
};
inline constexpr JXPunctuation kJXPunctuation;

// Reads the next token into state.token; false (with an error recorded) when
// there is none. Punctuation, most tokens, is read here; the rest by
// scanValueToken.
inline bool scanNextToken(JXParseState& s) {
  JXParseToken& t = s.token;
  t.type = JXTokenType::None;
  t.valueType = JXValueType::None;
  t.cacheSlot = JXTokenCache::kMiss;
  if (s.atIndex < s.length) {
    uint8_t c = s.input[s.atIndex];
    // White space starts with a blank, a control byte, "/" (comments) or a
    // byte of 80 or above (Unicode newlines).
    if (c <= ' ' || c == '/' || c >= 0x80) {
      // Most often one space, between a colon and its value, or a newline
      // and indentation.
      if (c == ' ' && s.atIndex + 1 < s.length && s.input[s.atIndex + 1] > ' ' && s.input[s.atIndex + 1] != '/' &&
          s.input[s.atIndex + 1] < 0x80) {
        ++s.atIndex;
      } else if (c == '\n') {
        ++s.lineNumber;
        s.atIndex = static_cast<size_t>(jxSkipSpaces(s.input + s.atIndex + 1, s.input + s.length) - s.input);
        if (s.atIndex < s.length) {
          const uint8_t next = s.input[s.atIndex];
          if (next <= ' ' || next == '/' || next >= 0x80) skipWhitespace(s);
        }
      } else {
        skipWhitespace(s);
      }
      if (s.atIndex >= s.length) return scanValueToken(s);  // records the unexpected end
      c = s.input[s.atIndex];
    }
    if (const JXTokenType type = kJXPunctuation.of[c]; type != JXTokenType::None) {
      t.type = type;
      t.text = s.input + s.atIndex;
      t.textLength = 1;
      ++s.atIndex;
      return true;
    }
  }
  return scanValueToken(s);
}
