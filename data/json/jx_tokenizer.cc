// The JSON tokenizer: white space and comments, punctuation, literals,
// numbers (a state machine, then an exact, locale-independent conversion)
// and strings (a fast pass over plain text in place, and a slow pass that
// unescapes into the token buffer).

#include <bit>
#include <cerrno>
#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/json/jx_constants.h"
#include "data/json/jx_decimal.h"
#include "data/json/jx_parse_state.h"
#include "data/json/utf8_sequence.h"

namespace {

const char kUnexpectedToken[] =
    "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";

// How a byte inside a string is handled.
enum ByteClass : uint8_t { kPlain = 0, kQuote = 1, kBackslash = 2, kControl = 3, kHigh = 4 };

struct ByteClasses {
  uint8_t of[256];
  constexpr ByteClasses() : of() {
    for (int c = 0; c < 256; ++c) {
      of[c] = c < 0x20 ? kControl : c >= 0x80 ? kHigh : c == '"' ? kQuote : c == '\\' ? kBackslash : kPlain;
    }
  }
};
constexpr ByteClasses kStringBytes;

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

void setAt(JXParseState& s, const uint8_t* p) { s.atIndex = static_cast<size_t>(p - s.input); }

bool fail(JXParseState& s, const uint8_t* p, const std::string& message) {
  setAt(s, p);
  recordParseError(s, message);
  return false;
}

// The byte length of the newline at `p`, or 0. CR LF is one newline; with
// the Unicode-newline option so are U+0085, U+2028 and U+2029.
inline size_t newlineAt(const JXParseState& s, const uint8_t* p, const uint8_t* end) {
  if (*p == '\n') return 1;
  if (*p == '\r') return (p + 1 < end && p[1] == '\n') ? 2 : 1;
  if (*p >= 0xC2 && (s.options & JXParseOptionUnicodeNewlines)) {
    if (*p == 0xC2 && end - p >= 2 && p[1] == 0x85) return 2;
    if (*p == 0xE2 && end - p >= 3 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)) return 3;
  }
  return 0;
}

// Passes over bytes that need nothing but a copy: printable ASCII other than
// the quote and the backslash. Eight at a time while it can.
inline const uint8_t* skipPlainBytes(const uint8_t* p, const uint8_t* end) {
#if defined(__SSE2__)
  // Sixteen at a time: the quote, the backslash, and (compared as signed
  // bytes) everything below 20 and from 80 up.
  const __m128i quotes = _mm_set1_epi8('"'), backslashes = _mm_set1_epi8('\\'), blank = _mm_set1_epi8(0x20);
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, quotes), _mm_cmpeq_epi8(bytes, backslashes)),
                                         _mm_cmplt_epi8(bytes, blank));
    if (const unsigned flagged = static_cast<unsigned>(_mm_movemask_epi8(special))) {
      return p + std::countr_zero(flagged);
    }
    p += 16;
  }
#endif
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
  while (end - p >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    const uint64_t quote = w ^ (kOnes * '"'), backslash = w ^ (kOnes * '\\');
    const uint64_t special = ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                             ((w - kOnes * 0x20) & ~w) | w;
    // Borrows run only upward from a byte that matches, so the lowest
    // flagged byte is the first one that is not plain.
    if (const uint64_t flagged = special & kHighs) return p + std::countr_zero(flagged) / 8;
    p += 8;
  }
  while (p < end && kStringBytes.of[*p] == kPlain) ++p;
  return p;
}

// The length of the well-formed two- or three-byte sequence at `p` that
// needs no further checks, or 0 (then decodeUTF8Sequence decides).
inline int commonUTF8Length(const uint8_t* p, const uint8_t* end) {
  const uint8_t lead = *p;
  if (lead >= 0xC2 && lead <= 0xDF) return end - p >= 2 && (p[1] & 0xC0) == 0x80 ? 2 : 0;
  // E1-EC and EE: any two continuation bytes (E0, ED and EF have more rules).
  if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE) {
    return end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80 ? 3 : 0;
  }
  return 0;
}

// ---- Numbers ---------------------------------------------------------------

double convertWithCLocale(const std::string& text) {
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  return strtod_l(text.c_str(), nullptr, cLocale);
}

// What the scanner learnt about a number besides its text: its digits as
// one integer (exact while there are at most 19 of them) and the power of
// ten the fraction and the exponent give.
struct ScannedNumber {
  bool negative = false;
  bool decimal = false;  // a fraction or an exponent
  uint64_t digits = 0;
  size_t digitCount = 0;  // integer and fraction digits, the lone leading 0 aside
  int64_t exponent10 = 0;
};

// Above this an exponent no longer matters for the fast conversion.
constexpr int kExponentCap = 100000;

// The general conversion: any length and range, and the range messages.
bool convertGenerally(JXParseState& s, const uint8_t* start, const uint8_t* p, const ScannedNumber& n) {
  JXParseToken& t = s.token;
  const char* first = reinterpret_cast<const char*>(start);
  const char* last = reinterpret_cast<const char*>(p);
  std::string_view text(first, t.textLength);
  std::from_chars_result r{};
  if (t.valueType == JXValueType::Double) {
    double v = 0;
    r = std::from_chars(first, last, v);
    if (r.ec == std::errc::result_out_of_range) {
      // A finite subnormal converts without error; out of range means the
      // non-zero digits rounded to zero, or the value is beyond the largest
      // double.
      double rounded = convertWithCLocale(std::string(text));
      char message[160];
      std::snprintf(message, sizeof message, "The value '%.*s' could not be represented as a 'double' due to %s.",
                    static_cast<int>(text.size()), text.data(), std::isinf(rounded) ? "overflow" : "underflow");
      fail(s, p, message);
      return fail(s, p, "Invalid number.");
    }
    t.number.doubleValue = v;
  } else if (n.negative) {
    long long v = 0;
    r = std::from_chars(first, last, v);
    if (r.ec == std::errc::result_out_of_range) {
      fail(s, p, "The value '" + std::string(text) + "' exceeded the minimum value that could be represented: " +
                     std::to_string(LLONG_MIN) + ".");
      return fail(s, p, "Invalid number.");
    }
    t.number.longLongValue = v;
  } else {
    unsigned long long v = 0;
    r = std::from_chars(first, last, v);
    if (r.ec == std::errc::result_out_of_range) {
      fail(s, p, "The value '" + std::string(text) + "' exceeded the maximum value that could be represented: " +
                     std::to_string(ULLONG_MAX) + ".");
      return fail(s, p, "Invalid number.");
    }
    t.number.unsignedLongLongValue = v;
  }
  if (r.ec != std::errc() || r.ptr != last) {
    fail(s, p, "The conversion function did not consume all of the number tokens characters.");
    return fail(s, p, "Invalid number.");
  }
  return true;
}

bool finishNumber(JXParseState& s, const uint8_t* start, const uint8_t* p, const ScannedNumber& n) {
  JXParseToken& t = s.token;
  t.type = JXTokenType::Number;
  t.text = start;
  t.textLength = static_cast<size_t>(p - start);
  bool converted = false;

  // "-0" reads as a double so that it keeps its sign.
  if (n.decimal || (n.negative && t.textLength == 2 && start[1] == '0')) {
    t.valueType = JXValueType::Double;
    double v = 0;
    if (n.digitCount <= 19 && jxDecimalToDouble(n.digits, static_cast<int>(n.exponent10), v)) {
      t.number.doubleValue = n.negative ? -v : v;
      converted = true;
    }
  } else if (n.negative) {
    t.valueType = JXValueType::LongLong;
    if (n.digitCount <= 18) {
      t.number.longLongValue = -static_cast<int64_t>(n.digits);
      converted = true;
    }
  } else {
    t.valueType = JXValueType::UnsignedLongLong;
    if (n.digitCount <= 19) {
      t.number.unsignedLongLongValue = n.digits;
      converted = true;
    }
  }
  if (!converted && !convertGenerally(s, start, p, n)) return false;
  setAt(s, p);
  return true;
}

constexpr uint64_t kDigitPowers[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// How many of the eight bytes of the little-endian word, from the first,
// are ASCII digits. (A byte below '0' borrows, and one above '9' carries,
// only into the bytes after it, so the first non-digit is always found.)
inline int leadingDigits(uint64_t word) {
  const uint64_t nonDigits =
      ((word + 0x4646464646464646ULL) | (word - 0x3030303030303030ULL)) & 0x8080808080808080ULL;
  return nonDigits ? std::countr_zero(nonDigits) / 8 : 8;
}

// The value of the first `count` (1 to 8) bytes of the word, all digits:
// the digits are moved to the top so that zeros lead, then combined in
// pairs, fours and eights, each step one multiply-add on every lane at once.
inline uint64_t valueOfDigits(uint64_t word, int count) {
  word = (word - 0x3030303030303030ULL) << (8 * (8 - count));
  word = (word * 10 + (word >> 8)) & 0x00FF00FF00FF00FFULL;
  word = (word * 100 + (word >> 16)) & 0x0000FFFF0000FFFFULL;
  return (word * 10000 + (word >> 32)) & 0xFFFFFFFFULL;
}

// Reads a run of digits into `n`, up to eight at a time; false when the
// text ends in it (a number must be followed by the byte that ends it).
inline bool readDigits(const uint8_t*& p, const uint8_t* end, ScannedNumber& n) {
  const uint8_t* run = p;
  uint64_t digits = n.digits;
  for (;;) {
    if (end - p < 8) {
      while (p < end && isDigit(*p)) digits = digits * 10 + (*p++ - '0');
      break;
    }
    uint64_t word;
    std::memcpy(&word, p, 8);
    const int count = leadingDigits(word);
    if (count == 0) break;
    digits = digits * kDigitPowers[count] + valueOfDigits(word, count);
    p += count;
    if (count < 8) break;
  }
  n.digits = digits;
  n.digitCount += static_cast<size_t>(p - run);
  return p < end;
}

// The number grammar: an optional minus, 0 or a digit run without a leading
// 0, an optional fraction, an optional exponent. A byte that fits nowhere
// ends the number and is read again as the next token (so 01 is 0 and 1);
// a missing digit, or the end of the text inside the number, is invalid.
bool scanNumber(JXParseState& s, const uint8_t* p, const uint8_t* end) {
  const uint8_t* start = p;
  ScannedNumber n;
  if (*p == '-') {
    n.negative = true;
    ++p;
  }
  if (p >= end) return fail(s, p, "Invalid number.");
  if (*p == '0') {
    ++p;
  } else if (isDigit(*p)) {
    if (!readDigits(p, end, n)) return fail(s, p, "Invalid number.");
  } else {
    return fail(s, p, "Invalid number.");
  }
  if (p >= end) return fail(s, p, "Invalid number.");
  if (*p == '.') {
    n.decimal = true;
    ++p;
    if (p >= end || !isDigit(*p)) return fail(s, p, "Invalid number.");
    const size_t before = n.digitCount;
    if (!readDigits(p, end, n)) return fail(s, p, "Invalid number.");
    n.exponent10 = -static_cast<int64_t>(n.digitCount - before);
  }
  if (*p == 'e' || *p == 'E') {
    n.decimal = true;
    ++p;
    bool negativeExponent = false;
    if (p < end && (*p == '+' || *p == '-')) negativeExponent = *p++ == '-';
    if (p >= end || !isDigit(*p)) return fail(s, p, "Invalid number.");
    int exponent = 0;
    while (p < end && isDigit(*p)) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (*p - '0');
      ++p;
    }
    if (p >= end) return fail(s, p, "Invalid number.");
    n.exponent10 += negativeExponent ? -exponent : exponent;
  }
  return finishNumber(s, start, p, n);
}

// ---- Strings ---------------------------------------------------------------

bool finishString(JXParseState& s, const uint8_t* openingQuote, const uint8_t* closingQuote, const uint8_t* value,
                  size_t valueLength) {
  JXParseToken& t = s.token;
  t.type = JXTokenType::String;
  t.text = openingQuote;
  t.textLength = static_cast<size_t>(closingQuote + 1 - openingQuote);
  t.valueType = JXValueType::String;
  t.valueBytes = value;
  t.valueLength = valueLength;
  setAt(s, closingQuote + 1);
  return true;
}

bool failControlCharacter(JXParseState& s, const uint8_t* p) {
  char message[64];
  std::snprintf(message, sizeof message, "Invalid character < 0x20 found in string: 0x%2.2x.", *p);
  return fail(s, p, message);
}

// Reads four hexadecimal digits at `p`.
bool readHex4(JXParseState& s, const uint8_t*& p, const uint8_t* end, char32_t& unit) {
  unit = 0;
  for (int i = 0; i < 4; ++i, ++p) {
    if (p >= end) return fail(s, p, "Invalid string.");
    uint8_t c = *p;
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) {
      return fail(s, p, std::string("Unexpected character found in \\u Unicode escape sequence.  Found '") +
                            quotedForMessage(p, 1) +
                            "', expected [0-9a-fA-F].");
    }
    unit = (unit << 4) | static_cast<char32_t>(digit);
  }
  return true;
}

void appendCodePoint(std::string& buffer, char32_t cp) {
  uint8_t bytes[4];
  uint8_t* end = encodeUTF8(cp, bytes);
  buffer.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(end - bytes));
}

const char kIllegalEscape[] = "Illegal \\u Unicode escape sequence.";

// Decodes the \u escape whose hex digits start at `p` (after the "u") and
// appends its code point, or U+FFFD under loose Unicode.
bool unescapeUnicode(JXParseState& s, const uint8_t*& p, const uint8_t* end, std::string& buffer) {
  const bool loose = s.options & JXParseOptionLooseUnicode;
  char32_t unit = 0;
  if (!readHex4(s, p, end, unit)) return false;
  char32_t cp = unit;
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    if (p >= end || *p != '\\' || p + 1 >= end || p[1] != 'u') {
      // No second escape: under loose Unicode the byte that follows (or the
      // backslash that starts some other escape) is read again.
      if (!loose) {
        return fail(s, p, "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape "
                          "sequence.");
      }
      appendCodePoint(buffer, 0xFFFD);
      return true;
    }
    p += 2;
    char32_t low = 0;
    if (!readHex4(s, p, end, low)) return false;
    if (low < 0xDC00 || low > 0xDFFF) {
      if (!loose) return fail(s, p, kIllegalEscape);
      appendCodePoint(buffer, 0xFFFD);  // both escapes become one replacement
      return true;
    }
    cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  if (isUnusableCodePoint(cp)) {
    if (!loose) return fail(s, p, kIllegalEscape);
    cp = 0xFFFD;
  }
  appendCodePoint(buffer, cp);
  return true;
}

// The slow pass: everything from `value` to `p` was plain; copies it into the
// token buffer and continues, unescaping.
bool scanStringSlow(JXParseState& s, const uint8_t* openingQuote, const uint8_t* value, const uint8_t* p,
                    const uint8_t* end) {
  const bool loose = s.options & JXParseOptionLooseUnicode;
  std::string& buffer = s.tokenBuffer;
  buffer.assign(reinterpret_cast<const char*>(value), static_cast<size_t>(p - value));
  for (;;) {
    const uint8_t* run = p;
    p = skipPlainBytes(p, end);
    buffer.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
    if (p >= end) return fail(s, p, "Invalid string.");
    switch (kStringBytes.of[*p]) {
      case kQuote: {
        auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
        return finishString(s, openingQuote, p, bytes, buffer.size());
      }
      case kControl: return failControlCharacter(s, p);
      case kHigh: {
        UTF8Sequence seq = decodeUTF8Sequence(p, end);
        if (seq.result == UTF8SequenceResult::WellFormed) {
          buffer.append(reinterpret_cast<const char*>(p), static_cast<size_t>(seq.next - p));
        } else if (seq.result == UTF8SequenceResult::CutOff) {
          return fail(s, p, "End of buffer reached while parsing UTF8 in \"\" string.");
        } else if (loose) {
          appendCodePoint(buffer, 0xFFFD);
        } else {
          return fail(s, p, "Illegal UTF8 sequence found in \"\" string.");
        }
        p = seq.next;
        break;
      }
      case kBackslash: {
        if (++p >= end) return fail(s, p, "Invalid string.");
        const uint8_t c = *p++;
        switch (c) {
          case '"':
          case '\\':
          case '/': buffer += static_cast<char>(c); break;
          case 'b': buffer += '\b'; break;
          case 'f': buffer += '\f'; break;
          case 'n': buffer += '\n'; break;
          case 'r': buffer += '\r'; break;
          case 't': buffer += '\t'; break;
          case 'u':
            if (!unescapeUnicode(s, p, end, buffer)) return false;
            break;
          default: return fail(s, p - 1, "Invalid escape sequence found in \"\" string.");
        }
        break;
      }
      default: break;
    }
  }
}

// The fast pass: plain text and well-formed UTF-8 are passed over; the value
// is then the input bytes themselves.
bool scanString(JXParseState& s, const uint8_t* p, const uint8_t* end) {
  const uint8_t* openingQuote = p++;
  const uint8_t* value = p;
  for (;;) {
    p = skipPlainBytes(p, end);
    if (p >= end) return fail(s, p, "Invalid string.");
    switch (kStringBytes.of[*p]) {
      case kQuote: {
        const size_t length = static_cast<size_t>(p - value);
        return finishString(s, openingQuote, p, value, length);
      }
      case kControl: return failControlCharacter(s, p);
      case kBackslash: return scanStringSlow(s, openingQuote, value, p, end);
      default: {
        if (int n = commonUTF8Length(p, end)) {
          p += n;
          continue;
        }
        UTF8Sequence seq = decodeUTF8Sequence(p, end);
        if (seq.result != UTF8SequenceResult::WellFormed) return scanStringSlow(s, openingQuote, value, p, end);
        p = seq.next;
        continue;
      }
    }
  }
}

}  // namespace

void skipWhitespace(JXParseState& s) {
  const uint8_t* p = s.input + s.atIndex;
  const uint8_t* end = s.input + s.length;
  while (p < end) {
    const uint8_t c = *p;
    if (c == ' ') {
      p = jxSkipSpaces(p + 1, end);  // indentation comes in runs
      continue;
    }
    if (c == '\t') {
      ++p;
      continue;
    }
    if (c == '\n') {  // a new line, most often followed by indentation
      ++s.lineNumber;
      p = jxSkipSpaces(p + 1, end);
      continue;
    }
    if (c == '\r' || c >= 0xC2) {
      size_t n = newlineAt(s, p, end);
      if (!n) break;
      ++s.lineNumber;
      p += n;
      continue;
    }
    if (c == '/' && (s.options & JXParseOptionComments) && p + 1 < end) {
      if (p[1] == '/') {
        for (p += 2; p < end; ++p) {
          if (size_t n = newlineAt(s, p, end)) {
            ++s.lineNumber;
            p += n;
            break;
          }
        }
        continue;
      }
      if (p[1] == '*') {
        for (p += 2; p < end;) {
          if (*p == '*' && p + 1 < end && p[1] == '/') {
            p += 2;
            break;
          }
          if (size_t n = newlineAt(s, p, end)) {
            ++s.lineNumber;
            p += n;
          } else {
            ++p;
          }
        }
        continue;
      }
    }
    break;
  }
  setAt(s, p);
}

bool scanValueToken(JXParseState& s) {
  JXParseToken& t = s.token;
  const uint8_t* p = s.input + s.atIndex;
  const uint8_t* end = s.input + s.length;
  if (p >= end) return fail(s, p, kUnexpectedToken);
  t.text = p;
  t.textLength = 1;

  // A literal counts only when some byte follows it.
  auto literal = [&](const char* word, size_t length, JXTokenType type) {
    if (static_cast<size_t>(end - p) <= length || std::memcmp(p, word, length) != 0) return fail(s, p, kUnexpectedToken);
    t.type = type;
    t.textLength = length;
    setAt(s, p + length);
    return true;
  };

  switch (*p) {
    case 't': return literal("true", 4, JXTokenType::True);
    case 'f': return literal("false", 5, JXTokenType::False);
    case 'n': return literal("null", 4, JXTokenType::Null);
    case '"': return scanString(s, p, end);
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9': return scanNumber(s, p, end);
    default: return fail(s, p, kUnexpectedToken);
  }
}
