// Strings. Text is stored as UTF-8 (generalized to hold lone UTF-16
// surrogates, which a substring can produce), while lengths, indexes and
// ranges are counted in UTF-16 units, as the platform counts them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/object.h"

namespace kit {

class CharacterSet;

// A range of UTF-16 units (or of array indexes).
struct Range {
  size_t location = 0;
  size_t length = 0;
  size_t end() const { return location + length; }
  bool operator==(const Range&) const = default;
};
inline constexpr size_t NotFound = static_cast<size_t>(INT64_MAX);

enum class ComparisonResult { Ascending = -1, Same = 0, Descending = 1 };

// The platform's string comparison and search options.
enum StringOptions : unsigned {
  CaseInsensitiveSearch = 1,
  LiteralSearch = 2,
  BackwardsSearch = 4,
  AnchoredSearch = 8,
  NumericSearch = 64,
};

class String : public Object {
 public:
  String() = default;
  // Two surrogate halves that meet in the text (a split pair put back
  // together) are joined into the one character they form.
  explicit String(std::string utf8);

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<String> make(std::string_view utf8) { return std::make_shared<String>(std::string(utf8)); }
  // Strict UTF-8 decoding of outside bytes: nil when they are not UTF-8.
  static Ref<String> fromUTF8Bytes(std::string_view bytes);
  static Ref<String> fromUTF16(std::u16string_view units);

  // The text as UTF-8. A lone surrogate is kept as its 3-byte form.
  const std::string& utf8() const { return text_; }
  std::u16string utf16() const;

  size_t length() const;
  bool empty() const { return text_.empty(); }
  char16_t characterAtIndex(size_t index) const;  // raises the range exception

  Ref<String> substringFromIndex(size_t from) const;
  Ref<String> substringToIndex(size_t to) const;
  Ref<String> substringWithRange(Range range) const;

  bool isEqualToString(const String& other) const { return text_ == other.text_; }
  bool isEqualToString(std::string_view other) const { return text_ == other; }
  // Unless LiteralSearch is given, canonically equivalent texts (a
  // precomposed "é" and "e" with a combining accent) compare alike.
  ComparisonResult compare(const String& other, unsigned options = 0) const;
  ComparisonResult caseInsensitiveCompare(const String& other) const {
    return compare(other, CaseInsensitiveSearch);
  }

  // An empty prefix, suffix or needle matches nothing, as on the platform.
  bool hasPrefix(std::string_view prefix) const {
    return !prefix.empty() && std::string_view(text_).starts_with(prefix);
  }
  bool hasSuffix(std::string_view suffix) const {
    return !suffix.empty() && std::string_view(text_).ends_with(suffix);
  }
  bool containsString(std::string_view other) const {
    return !other.empty() && text_.find(other) != std::string::npos;
  }
  Range rangeOfString(std::string_view other, unsigned options = 0) const;
  Range rangeOfString(std::string_view other, unsigned options, Range within) const;
  Range rangeOfCharacterFromSet(const CharacterSet& set, unsigned options = 0) const;

  Ref<String> stringByAppendingString(std::string_view other) const;
  Ref<String> stringByReplacingOccurrencesOfString(std::string_view target, std::string_view replacement) const;
  Ref<String> stringByReplacingCharactersInRange(Range range, std::string_view replacement) const;
  Ref<String> stringByTrimmingCharactersInSet(const CharacterSet& set) const;
  Ref<String> stringByPaddingToLength(size_t length, std::string_view pad, size_t padIndex) const;
  Ref<Array> componentsSeparatedByString(std::string_view separator) const;
  Ref<Array> componentsSeparatedByCharactersInSet(const CharacterSet& set) const;

  Ref<String> lowercaseString() const;
  Ref<String> uppercaseString() const;
  Ref<String> capitalizedString() const;

  // The platform's numeric readings: leading white space (the scanner's:
  // control characters, no-break and other Unicode spaces), an optional
  // sign and as many ASCII digits as follow; anything else ends the number,
  // and text without a number reads as 0. intValue saturates at INT_MIN /
  // INT_MAX.
  int intValue() const;
  long integerValue() const;
  long long longLongValue() const;
  double doubleValue() const;
  float floatValue() const { return static_cast<float>(doubleValue()); }
  // YES when the first non-space character (after a sign and leading zeros)
  // is Y, y, T, t or a digit 1-9.
  bool boolValue() const;

  // Path helpers on "/"-separated paths.
  Ref<String> lastPathComponent() const;
  Ref<String> pathExtension() const;
  Ref<String> stringByDeletingLastPathComponent() const;
  Ref<String> stringByDeletingPathExtension() const;
  Ref<String> stringByAppendingPathComponent(std::string_view component) const;
  Ref<String> stringByAppendingPathExtension(std::string_view ext) const;
  Ref<Array> pathComponents() const;
  bool isAbsolutePath() const { return !text_.empty() && text_[0] == '/'; }

  // UTF-8 offset of a UTF-16 index (clamped to the end).
  size_t utf8Offset(size_t utf16Index) const;
  // UTF-16 index of a UTF-8 offset.
  size_t utf16Index(size_t utf8Offset) const;

  std::string description() const override { return text_; }
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return hashOf(text_); }
  static size_t hashOf(std::string_view utf8);
  Id copy() const override;
  Id mutableCopy() const override;

 protected:
  std::string text_;
  mutable std::atomic<int64_t> length_{-1};  // cached UTF-16 length
  // Called after every change of text_: joins surrogate halves that now
  // meet and drops the cached length.
  void invalidate();
};

class MutableString : public String {
 public:
  MutableString() = default;
  explicit MutableString(std::string utf8) : String(std::move(utf8)) {}
  static Ref<MutableString> make(std::string_view utf8 = {}) {
    return std::make_shared<MutableString>(std::string(utf8));
  }

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  void appendString(std::string_view s);
  void setString(std::string_view s);
  void insertString(std::string_view s, size_t atIndex);
  void deleteCharactersInRange(Range range);
  void replaceCharactersInRange(Range range, std::string_view s);
  size_t replaceOccurrencesOfString(std::string_view target, std::string_view replacement);

  Id copy() const override;
};

// Short spellings for product code.
inline Ref<String> str(std::string_view utf8) { return String::make(utf8); }
inline Ref<String> str(const char* utf8) { return String::make(utf8 ? utf8 : ""); }

// UTF-8 (generalized) and UTF-16 conversions.
std::u16string utf8ToUTF16(std::string_view utf8);
std::string utf16ToUTF8(std::u16string_view utf16);
// Appends one code point (a lone surrogate becomes its 3-byte form).
void appendCodePoint(std::string& out, char32_t cp);
// Decodes one code point at `pos` and advances it; malformed bytes decode as
// U+FFFD one byte at a time.
char32_t decodeCodePoint(std::string_view text, size_t& pos);
// True when the text is strict UTF-8 (no lone surrogates, no overlongs).
bool isValidUTF8(std::string_view bytes);
// True when the text holds a lone surrogate.
bool hasLoneSurrogate(std::string_view utf8);

}  // namespace kit
