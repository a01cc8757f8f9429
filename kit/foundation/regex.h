// Regular expressions in place of the platform's: a compiled pattern
// (PCRE2 in UTF-16 mode with Unicode character classes) with the platform's
// options, searched over strings with ranges counted in UTF-16 units, and
// template replacement with "$1" references. An invalid pattern gives nil
// and an error instead of an expression.
//
// The pattern syntax is PCRE2's, which agrees with the platform's for
// everything in common use: classes, quantifiers (greedy, lazy,
// possessive), groups, named groups "(?<name>...)", look-around,
// back-references, \b \d \s \w (Unicode-aware), \p{...}, inline flags.
// Line terminators are those of the platform: \n, \r, \r\n, \x0B, \x0C,
// U+0085, U+2028 and U+2029, or \n alone with UseUnixLineSeparators.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/array.h"
#include "kit/foundation/error.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

// The platform's expression options.
enum RegularExpressionOptions : unsigned {
  RegularExpressionCaseInsensitive = 1u << 0,
  RegularExpressionAllowCommentsAndWhitespace = 1u << 1,
  RegularExpressionIgnoreMetacharacters = 1u << 2,  // the pattern is literal text
  RegularExpressionDotMatchesLineSeparators = 1u << 3,
  RegularExpressionAnchorsMatchLines = 1u << 4,
  RegularExpressionUseUnixLineSeparators = 1u << 5,
  // Accepted for compatibility: \b always treats Unicode letters and digits
  // as word characters here.
  RegularExpressionUseUnicodeWordBoundaries = 1u << 6,
};

// The platform's matching options.
enum MatchingOptions : unsigned {
  MatchingReportCompletion = 1u << 1,  // one last block call with no result
  MatchingAnchored = 1u << 2,          // matches must start at the search position
  MatchingWithoutAnchoringBounds = 1u << 4,  // ^ and $ do not match at the range's ends
};

// Flags passed to the enumeration block.
enum MatchingFlags : unsigned {
  MatchingCompleted = 1u << 1,
  MatchingInternalError = 1u << 4,  // the engine gave up (e.g. runaway backtracking)
};

// The platform's error for an invalid pattern: CocoaErrorDomain with this
// code, the pattern under "NSInvalidValue".
inline constexpr long FormattingError = 2048;
inline constexpr const char* InvalidValueErrorKey = "NSInvalidValue";

class RegularExpression;

// One match: the whole match's range and each capture group's (a group that
// took no part has {NotFound, 0}).
class TextCheckingResult : public Object {
 public:
  TextCheckingResult(std::vector<Range> ranges, Ref<const RegularExpression> expression)
      : ranges_(std::move(ranges)), expression_(std::move(expression)) {}

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  Range range() const { return ranges_[0]; }
  size_t numberOfRanges() const { return ranges_.size(); }
  // Raises the range exception past the last group.
  Range rangeAtIndex(size_t index) const;
  // {NotFound, 0} when the expression has no group of that name.
  Range rangeWithName(std::string_view name) const;
  Ref<const RegularExpression> regularExpression() const { return expression_; }
  // The same result with every range moved by `offset` units.
  Ref<TextCheckingResult> resultByAdjustingRangesWithOffset(ptrdiff_t offset) const;

  std::string description() const override;

 private:
  std::vector<Range> ranges_;
  Ref<const RegularExpression> expression_;
};

class RegularExpression : public Object {
 public:
  using EnumerationBlock = std::function<void(const Ref<TextCheckingResult>& result, unsigned flags, bool* stop)>;

  // nil for an invalid pattern, with *error set when `error` is given.
  static Ref<RegularExpression> make(std::string_view pattern, unsigned options = 0, Ref<Error>* error = nullptr);
  ~RegularExpression() override;

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  const std::string& pattern() const { return pattern_; }
  unsigned options() const { return options_; }
  size_t numberOfCaptureGroups() const { return groups_; }

  // Searches `range` of the string (the whole string when not given); the
  // range's ends act as the ends of the text. A range beyond the string
  // raises the range exception.
  void enumerateMatches(const String& text, unsigned options, std::optional<Range> range,
                        const EnumerationBlock& block) const;
  Ref<Array> matches(const String& text, unsigned options = 0, std::optional<Range> range = std::nullopt) const;
  size_t numberOfMatches(const String& text, unsigned options = 0, std::optional<Range> range = std::nullopt) const;
  Ref<TextCheckingResult> firstMatch(const String& text, unsigned options = 0,
                                     std::optional<Range> range = std::nullopt) const;
  Range rangeOfFirstMatch(const String& text, unsigned options = 0, std::optional<Range> range = std::nullopt) const;

  // Every match replaced by the template, in which "$0".."$n" stand for the
  // match and its groups ("$12" is group 12 when there are that many, else
  // group 1 followed by "2"), "${name}" for a named group, and a backslash
  // takes the next character literally.
  Ref<String> stringByReplacingMatches(const String& text, unsigned options, std::optional<Range> range,
                                       std::string_view templ) const;
  Ref<String> stringByReplacingMatches(const String& text, std::string_view templ) const {
    return stringByReplacingMatches(text, 0, std::nullopt, templ);
  }
  // Replaces in place; gives the number of matches replaced.
  size_t replaceMatches(MutableString& text, unsigned options, std::optional<Range> range,
                        std::string_view templ) const;
  // The template filled in for one result of `text`, its ranges shifted by
  // `offset`.
  Ref<String> replacementStringForResult(const TextCheckingResult& result, const String& text, ptrdiff_t offset,
                                         std::string_view templ) const;

  // Text that matches `text` literally as a pattern / as a template.
  static Ref<String> escapedPatternForString(std::string_view text);
  static Ref<String> escapedTemplateForString(std::string_view text);

  // The group number of a name, or 0.
  size_t groupNumber(std::string_view name) const;

  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return String::hashOf(pattern_) ^ options_; }
  Id copy() const override { return self(); }

  // Use make(); public for make_shared.
  RegularExpression(std::string pattern, unsigned options, void* code);

 private:
  void search(const std::u16string& units, unsigned options, Range range, const EnumerationBlock& block) const;
  std::u16string expand(std::u16string_view templ, const TextCheckingResult& result, const std::u16string& units,
                        ptrdiff_t offset) const;

  std::string pattern_;
  unsigned options_;
  void* code_;  // pcre2_code_16
  size_t groups_ = 0;
  std::map<std::string, size_t, std::less<>> names_;
};

}  // namespace kit
