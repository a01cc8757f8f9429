// Regular expressions over PCRE2's 16-bit library, so that offsets are
// UTF-16 units as the platform counts them.

#define PCRE2_CODE_UNIT_WIDTH 16
#include "kit/foundation/regex.h"

#include <pcre2.h>

#include <memory>

#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(TextCheckingResult, Object, "NSTextCheckingResult") {}
KIT_DEFINE_CLASS_NAMED(RegularExpression, Object, "NSRegularExpression") {}

namespace {

pcre2_code* codeOf(void* code) { return static_cast<pcre2_code*>(code); }

PCRE2_SPTR units(const std::u16string& s) { return reinterpret_cast<PCRE2_SPTR>(s.data()); }

std::string errorMessage(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, 256);
  if (n < 0) return "error " + std::to_string(code);
  return utf16ToUTF8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(n)));
}

Ref<Error> invalidPatternError(std::string_view pattern, const std::string& reason) {
  return Error::make(CocoaErrorDomain, FormattingError,
                     dict({{LocalizedDescriptionKey, "The value \u201c" + std::string(pattern) + "\u201d is invalid."},
                           {InvalidValueErrorKey, pattern},
                           {"NSDebugDescription", reason}}));
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

Range checkedRange(std::optional<Range> range, size_t length, const char* method) {
  Range r = range.value_or(Range{0, length});
  if (r.location > length || r.length > length - r.location) {
    raise(RangeException, std::string("-[NSRegularExpression ") + method + "]: Range {" +
                              std::to_string(r.location) + ", " + std::to_string(r.length) +
                              "} out of bounds; string length " + std::to_string(length));
  }
  return r;
}

}  // namespace

// ---- TextCheckingResult ---------------------------------------------------

Range TextCheckingResult::rangeAtIndex(size_t index) const {
  if (index >= ranges_.size()) {
    raise(RangeException, "-[NSTextCheckingResult rangeAtIndex:]: index " + std::to_string(index) +
                              " beyond " + std::to_string(ranges_.size()) + " ranges");
  }
  return ranges_[index];
}

Range TextCheckingResult::rangeWithName(std::string_view name) const {
  size_t group = expression_ ? expression_->groupNumber(name) : 0;
  if (group == 0 || group >= ranges_.size()) return {NotFound, 0};
  return ranges_[group];
}

Ref<TextCheckingResult> TextCheckingResult::resultByAdjustingRangesWithOffset(ptrdiff_t offset) const {
  std::vector<Range> moved = ranges_;
  for (auto& r : moved) {
    if (r.location != NotFound) r.location = static_cast<size_t>(static_cast<ptrdiff_t>(r.location) + offset);
  }
  return std::make_shared<TextCheckingResult>(std::move(moved), expression_);
}

std::string TextCheckingResult::description() const {
  return defaultDescription() + "{" + std::to_string(range().location) + ", " + std::to_string(range().length) +
         "}" + (expression_ ? expression_->description() : "");
}

// ---- RegularExpression ----------------------------------------------------

RegularExpression::RegularExpression(std::string pattern, unsigned options, void* code)
    : pattern_(std::move(pattern)), options_(options), code_(code) {
  uint32_t count = 0;
  pcre2_pattern_info(codeOf(code_), PCRE2_INFO_CAPTURECOUNT, &count);
  groups_ = count;
  uint32_t nameCount = 0, entrySize = 0;
  PCRE2_SPTR table = nullptr;
  pcre2_pattern_info(codeOf(code_), PCRE2_INFO_NAMECOUNT, &nameCount);
  pcre2_pattern_info(codeOf(code_), PCRE2_INFO_NAMEENTRYSIZE, &entrySize);
  pcre2_pattern_info(codeOf(code_), PCRE2_INFO_NAMETABLE, &table);
  for (uint32_t i = 0; i < nameCount; ++i) {
    // Each entry: the group number in one unit, then the zero-ended name.
    PCRE2_SPTR entry = table + static_cast<size_t>(i) * entrySize;
    std::u16string name(reinterpret_cast<const char16_t*>(entry + 1));
    names_.emplace(utf16ToUTF8(name), entry[0]);
  }
}

RegularExpression::~RegularExpression() { pcre2_code_free(codeOf(code_)); }

Ref<RegularExpression> RegularExpression::make(std::string_view pattern, unsigned options, Ref<Error>* error) {
  if (error) *error = nullptr;
  if (!String::fromUTF8Bytes(pattern) && !hasLoneSurrogate(pattern)) {
    if (error) *error = invalidPatternError(pattern, "the pattern is not UTF-8");
    return nullptr;
  }
  uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
  if (options & RegularExpressionCaseInsensitive) flags |= PCRE2_CASELESS;
  if (options & RegularExpressionIgnoreMetacharacters) {
    flags |= PCRE2_LITERAL;  // which allows no other syntax options
  } else {
    flags |= PCRE2_UCP;
    if (options & RegularExpressionAllowCommentsAndWhitespace) flags |= PCRE2_EXTENDED;
    if (options & RegularExpressionDotMatchesLineSeparators) flags |= PCRE2_DOTALL;
    if (options & RegularExpressionAnchorsMatchLines) flags |= PCRE2_MULTILINE;
  }
  std::unique_ptr<pcre2_compile_context, decltype(&pcre2_compile_context_free)> context(
      pcre2_compile_context_create(nullptr), &pcre2_compile_context_free);
  pcre2_set_newline(context.get(),
                    (options & RegularExpressionUseUnixLineSeparators) ? PCRE2_NEWLINE_LF : PCRE2_NEWLINE_ANY);
  pcre2_set_bsr(context.get(), PCRE2_BSR_UNICODE);

  std::u16string source = utf8ToUTF16(pattern);
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_code* code = pcre2_compile(units(source), source.size(), flags, &errorCode, &errorOffset, context.get());
  if (!code) {
    if (error) {
      *error = invalidPatternError(pattern, errorMessage(errorCode) + " at offset " + std::to_string(errorOffset));
    }
    return nullptr;
  }
  return std::make_shared<RegularExpression>(std::string(pattern), options, code);
}

size_t RegularExpression::groupNumber(std::string_view name) const {
  auto it = names_.find(name);
  return it == names_.end() ? 0 : it->second;
}

void RegularExpression::search(const std::u16string& text, unsigned options, Range range,
                               const EnumerationBlock& block) const {
  // The range is searched as a text of its own, so its ends act as the
  // text's ends for anchors, \b and look-around.
  std::u16string subject = text.substr(range.location, range.length);
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
      pcre2_match_data_create_from_pattern(codeOf(code_), nullptr), &pcre2_match_data_free);
  uint32_t baseFlags = 0;
  if (options & MatchingAnchored) baseFlags |= PCRE2_ANCHORED;
  if (options & MatchingWithoutAnchoringBounds) {
    if (range.location > 0) baseFlags |= PCRE2_NOTBOL;
    if (range.end() < text.size()) baseFlags |= PCRE2_NOTEOL;
  }
  auto self = std::static_pointer_cast<const RegularExpression>(Object::self());
  bool stop = false;
  unsigned endFlags = MatchingCompleted;
  size_t offset = 0;
  while (!stop && offset <= subject.size()) {
    int rc = pcre2_match(codeOf(code_), units(subject), subject.size(), offset, baseFlags, data.get(), nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) {
      endFlags |= MatchingInternalError;
      break;
    }
    PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    std::vector<Range> ranges(groups_ + 1, Range{NotFound, 0});
    for (size_t group = 0; group <= groups_ && group < static_cast<size_t>(rc); ++group) {
      PCRE2_SIZE start = ovector[2 * group], end = ovector[2 * group + 1];
      if (start == PCRE2_UNSET) continue;
      ranges[group] = {range.location + start, end - start};
    }
    const size_t matchEnd = ovector[1];
    const bool empty = ovector[0] == ovector[1];
    block(std::make_shared<TextCheckingResult>(std::move(ranges), self), 0, &stop);
    // The next search starts where this match ended, or one character
    // further after an empty match (never inside a surrogate pair).
    offset = matchEnd;
    if (empty) {
      if (options & MatchingAnchored) break;
      ++offset;
      if (offset < subject.size() && isLowSurrogate(subject[offset]) && isHighSurrogate(subject[offset - 1])) {
        ++offset;
      }
    }
  }
  if ((options & MatchingReportCompletion) && !stop) block(nullptr, endFlags, &stop);
}

void RegularExpression::enumerateMatches(const String& text, unsigned options, std::optional<Range> range,
                                         const EnumerationBlock& block) const {
  std::u16string u = text.utf16();
  search(u, options, checkedRange(range, u.size(), "enumerateMatchesInString:options:range:usingBlock:"), block);
}

Ref<Array> RegularExpression::matches(const String& text, unsigned options, std::optional<Range> range) const {
  std::vector<Id> found;
  enumerateMatches(text, options & ~MatchingReportCompletion, range,
                   [&found](const Ref<TextCheckingResult>& r, unsigned, bool*) { found.push_back(r); });
  return Array::make(std::move(found));
}

size_t RegularExpression::numberOfMatches(const String& text, unsigned options, std::optional<Range> range) const {
  size_t count = 0;
  enumerateMatches(text, options & ~MatchingReportCompletion, range,
                   [&count](const Ref<TextCheckingResult>&, unsigned, bool*) { ++count; });
  return count;
}

Ref<TextCheckingResult> RegularExpression::firstMatch(const String& text, unsigned options,
                                                      std::optional<Range> range) const {
  Ref<TextCheckingResult> first;
  enumerateMatches(text, options & ~MatchingReportCompletion, range,
                   [&first](const Ref<TextCheckingResult>& r, unsigned, bool* stop) {
                     first = r;
                     *stop = true;
                   });
  return first;
}

Range RegularExpression::rangeOfFirstMatch(const String& text, unsigned options, std::optional<Range> range) const {
  auto first = firstMatch(text, options, range);
  return first ? first->range() : Range{NotFound, 0};
}

std::u16string RegularExpression::expand(std::u16string_view templ, const TextCheckingResult& result,
                                         const std::u16string& text, ptrdiff_t offset) const {
  auto groupText = [&](size_t group) -> std::u16string_view {
    if (group >= result.numberOfRanges()) return {};
    Range r = result.rangeAtIndex(group);
    if (r.location == NotFound) return {};
    auto at = static_cast<ptrdiff_t>(r.location) + offset;
    if (at < 0 || static_cast<size_t>(at) + r.length > text.size()) return {};
    return std::u16string_view(text).substr(static_cast<size_t>(at), r.length);
  };
  std::u16string out;
  for (size_t i = 0; i < templ.size(); ++i) {
    char16_t c = templ[i];
    if (c == u'\\' && i + 1 < templ.size()) {
      out += templ[++i];
    } else if (c == u'$' && i + 1 < templ.size() && templ[i + 1] >= u'0' && templ[i + 1] <= u'9') {
      // As many digits as still name an existing group.
      size_t group = static_cast<size_t>(templ[++i] - u'0');
      while (i + 1 < templ.size() && templ[i + 1] >= u'0' && templ[i + 1] <= u'9') {
        size_t longer = group * 10 + static_cast<size_t>(templ[i + 1] - u'0');
        if (longer > groups_) break;
        group = longer;
        ++i;
      }
      out += groupText(group);
    } else if (c == u'$' && i + 1 < templ.size() && templ[i + 1] == u'{') {
      size_t close = templ.find(u'}', i + 2);
      if (close == std::u16string_view::npos) {
        out += c;
        continue;
      }
      std::string name = utf16ToUTF8(templ.substr(i + 2, close - i - 2));
      if (size_t group = groupNumber(name)) out += groupText(group);
      i = close;
    } else {
      out += c;
    }
  }
  return out;
}

Ref<String> RegularExpression::replacementStringForResult(const TextCheckingResult& result, const String& text,
                                                          ptrdiff_t offset, std::string_view templ) const {
  return String::fromUTF16(expand(utf8ToUTF16(templ), result, text.utf16(), offset));
}

Ref<String> RegularExpression::stringByReplacingMatches(const String& text, unsigned options,
                                                        std::optional<Range> range, std::string_view templ) const {
  std::u16string u = text.utf16();
  std::u16string t = utf8ToUTF16(templ);
  std::u16string out;
  size_t copied = 0;
  search(u, options & ~MatchingReportCompletion, checkedRange(range, u.size(), "stringByReplacingMatchesInString:"),
         [&](const Ref<TextCheckingResult>& r, unsigned, bool*) {
           Range whole = r->range();
           out.append(u, copied, whole.location - copied);
           out += expand(t, *r, u, 0);
           copied = whole.end();
         });
  out.append(u, copied);
  return String::fromUTF16(out);
}

size_t RegularExpression::replaceMatches(MutableString& text, unsigned options, std::optional<Range> range,
                                         std::string_view templ) const {
  size_t count = numberOfMatches(text, options, range);
  if (count) text.setString(stringByReplacingMatches(text, options, range, templ)->utf8());
  return count;
}

Ref<String> RegularExpression::escapedPatternForString(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (std::string_view("\\*?+[](){}^$|./-#&~ ").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return String::make(out);
}

Ref<String> RegularExpression::escapedTemplateForString(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '$') out += '\\';
    out += c;
  }
  return String::make(out);
}

std::string RegularExpression::description() const {
  return defaultDescription() + " " + pattern_ + " 0x" + formatString("%x", options_);
}

bool RegularExpression::isEqual(const Object& other) const {
  auto* r = dynamic_cast<const RegularExpression*>(&other);
  return r && r->pattern_ == pattern_ && r->options_ == options_;
}

}  // namespace kit
