// Regular expressions: options, UTF-16 ranges, groups, templates, empty
// matches and invalid patterns.

#include "kit/foundation/regex.h"

#include <gtest/gtest.h>

#include <vector>

#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/foundation/number.h"

namespace kit {
namespace {

Ref<RegularExpression> re(std::string_view pattern, unsigned options = 0) {
  Ref<Error> error;
  auto r = RegularExpression::make(pattern, options, &error);
  EXPECT_TRUE(r) << pattern << ": " << (error ? error->description() : "");
  return r;
}

std::vector<Range> ranges(const Ref<RegularExpression>& r, std::string_view text, unsigned options = 0,
                          std::optional<Range> range = std::nullopt) {
  std::vector<Range> out;
  auto found = r->matches(*str(text), options, range);
  for (const Id& m : *found) out.push_back(as<TextCheckingResult>(m)->range());
  return out;
}

TEST(RegularExpression, RangesAreInUTF16Units) {
  auto letters = re("[a-z]+");
  EXPECT_EQ(ranges(letters, "😀ab😀cd"), (std::vector<Range>{{2, 2}, {6, 2}}));
  // Characters outside the basic plane are single characters to the pattern.
  EXPECT_EQ(ranges(re("^.b$"), "😀b"), (std::vector<Range>{{0, 3}}));
  // A lone surrogate in the text does not stop the search.
  auto lone = String::fromUTF16(u"a\xD800" u"b");
  EXPECT_EQ(letters->numberOfMatches(*lone), 2u);
  EXPECT_EQ(letters->matches(*lone)->count(), 2u);
  EXPECT_EQ(as<TextCheckingResult>(letters->matches(*lone)->objectAtIndex(1))->range(), (Range{2, 1}));
}

TEST(RegularExpression, ScaleSuffixOfAFileName) {
  // "@2x" style suffixes on a path without its extension, anchors at line ends.
  auto scale = re("@[0-9]+\\.?[0-9]*x$", RegularExpressionAnchorsMatchLines);
  EXPECT_EQ(scale->rangeOfFirstMatch(*str("icon@2x")), (Range{4, 3}));
  EXPECT_EQ(scale->rangeOfFirstMatch(*str("dir/bg@3.5x")), (Range{6, 5}));
  EXPECT_EQ(scale->rangeOfFirstMatch(*str("icon@2xl")).location, NotFound);
  EXPECT_EQ(scale->rangeOfFirstMatch(*str("a@2x\nb")), (Range{1, 3}));
  EXPECT_EQ(re("@[0-9]+x$")->rangeOfFirstMatch(*str("a@2x\nb")).location, NotFound);
}

TEST(RegularExpression, Options) {
  EXPECT_EQ(re("ÉTÉ", RegularExpressionCaseInsensitive)->numberOfMatches(*str("été Été")), 2u);
  EXPECT_EQ(re("ÉTÉ")->numberOfMatches(*str("été Été")), 0u);

  const char* lines = "one\ntwo\r\nthree\u2028four";
  EXPECT_EQ(re("^\\w+$", RegularExpressionAnchorsMatchLines)->numberOfMatches(*str(lines)), 4u);
  EXPECT_EQ(re("^\\w+$")->numberOfMatches(*str(lines)), 0u);
  // "$" without the option still matches before a final line terminator.
  EXPECT_EQ(re("four$")->numberOfMatches(*str("four\n")), 1u);

  EXPECT_EQ(re("a.b")->numberOfMatches(*str("a\nb a\u2028b a\rb")), 0u);
  EXPECT_EQ(re("a.b", RegularExpressionDotMatchesLineSeparators)->numberOfMatches(*str("a\nb a\u2028b")), 2u);
  EXPECT_EQ(re("a.b", RegularExpressionUseUnixLineSeparators)->numberOfMatches(*str("a\nb a\u2028b a\rb")), 2u);

  EXPECT_EQ(ranges(re("a.b*", RegularExpressionIgnoreMetacharacters), "axbb a.b*"), (std::vector<Range>{{5, 4}}));
  EXPECT_EQ(re("A.B", RegularExpressionIgnoreMetacharacters | RegularExpressionCaseInsensitive)
                ->numberOfMatches(*str("a.b")),
            1u);
  EXPECT_EQ(re("a b # comment\n c", RegularExpressionAllowCommentsAndWhitespace)->numberOfMatches(*str("abc")), 1u);

  // Unicode classes: \d and \w know other scripts.
  EXPECT_EQ(ranges(re("\\d+"), "x٣٤y12"), (std::vector<Range>{{1, 2}, {4, 2}}));
  EXPECT_EQ(ranges(re("\\w+"), "领取 成功!"), (std::vector<Range>{{0, 2}, {3, 2}}));
  EXPECT_EQ(re("\\p{Han}+")->rangeOfFirstMatch(*str("ab领取c")), (Range{2, 2}));
}

TEST(RegularExpression, GroupsAndNames) {
  auto r = re("(?<user>\\w+)@(?<host>[\\w.]+)|(\\d+)");
  EXPECT_EQ(r->numberOfCaptureGroups(), 3u);
  auto m = r->firstMatch(*str("mail: 领@ex.com"));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->numberOfRanges(), 4u);
  EXPECT_EQ(m->range(), (Range{6, 8}));
  EXPECT_EQ(m->rangeAtIndex(1), (Range{6, 1}));
  EXPECT_EQ(m->rangeWithName("host"), (Range{8, 6}));
  EXPECT_EQ(m->rangeAtIndex(3).location, NotFound);  // took no part
  EXPECT_EQ(m->rangeWithName("nope").location, NotFound);
  EXPECT_THROW(m->rangeAtIndex(4), Exception);
  EXPECT_EQ(m->regularExpression(), r);
  EXPECT_EQ(m->resultByAdjustingRangesWithOffset(10)->rangeAtIndex(1), (Range{16, 1}));
  EXPECT_EQ(m->resultByAdjustingRangesWithOffset(10)->rangeAtIndex(3).location, NotFound);
  EXPECT_EQ(r->firstMatch(*str("no match here")), nullptr);
}

TEST(RegularExpression, TemplatesReplaceEveryMatch) {
  auto r = re("(\\w+)@(\\w+)");
  EXPECT_EQ(r->stringByReplacingMatches(*str("a@b, 领@取"), "$2 at $1")->utf8(), "b at a, 取 at 领");
  EXPECT_EQ(r->stringByReplacingMatches(*str("a@b"), "\\$1=$0\\\\")->utf8(), "$1=a@b\\");
  EXPECT_EQ(r->stringByReplacingMatches(*str("a@b"), "[$10]")->utf8(), "[a0]");  // only two groups
  EXPECT_EQ(r->stringByReplacingMatches(*str("a@b"), "cost $")->utf8(), "cost $");
  EXPECT_EQ(re("(?<k>\\w)=")->stringByReplacingMatches(*str("x=1"), "${k}:")->utf8(), "x:1");
  EXPECT_EQ(re("(a)|(b)")->stringByReplacingMatches(*str("ab"), "[$1$2]")->utf8(), "[a][b]");
  EXPECT_EQ(r->stringByReplacingMatches(*str("nothing"), "x")->utf8(), "nothing");

  auto many = re("\\d{11}");
  auto phone = MutableString::make("call 13800138000 or 13900139000!");
  EXPECT_EQ(many->replaceMatches(*phone, 0, std::nullopt, "***"), 2u);
  EXPECT_EQ(phone->utf8(), "call *** or ***!");

  auto digits = re("\\d");
  auto result = digits->firstMatch(*str("a1"));
  EXPECT_EQ(digits->replacementStringForResult(*result, *str("xxa1"), 2, "<$0>")->utf8(), "<1>");
}

TEST(RegularExpression, EmptyMatchesAdvanceOneCharacter) {
  EXPECT_EQ(ranges(re("x*"), "ab"), (std::vector<Range>{{0, 0}, {1, 0}, {2, 0}}));
  EXPECT_EQ(ranges(re("a*"), "baaa"), (std::vector<Range>{{0, 0}, {1, 3}, {4, 0}}));
  EXPECT_EQ(re("a*")->stringByReplacingMatches(*str("baaa"), "-")->utf8(), "-b--");
  EXPECT_EQ(re("x*")->stringByReplacingMatches(*str("😀"), "-")->utf8(), "-😀-");  // never splits a pair
  EXPECT_EQ(ranges(re(""), ""), (std::vector<Range>{{0, 0}}));
}

TEST(RegularExpression, SearchRangesAndMatchingOptions) {
  auto word = re("^\\w+");
  // The range's start counts as the start of the text...
  EXPECT_EQ(ranges(word, "ab cd", 0, Range{3, 2}), (std::vector<Range>{{3, 2}}));
  // ...unless anchoring bounds are off.
  EXPECT_TRUE(ranges(word, "ab cd", MatchingWithoutAnchoringBounds, Range{3, 2}).empty());
  EXPECT_EQ(ranges(re("\\w+$"), "ab cd ef", 0, Range{3, 2}), (std::vector<Range>{{3, 2}}));
  EXPECT_TRUE(ranges(re("\\w+$"), "ab cd ef", MatchingWithoutAnchoringBounds, Range{3, 2}).empty());
  // Matches never reach outside the range.
  EXPECT_EQ(ranges(re("\\d+"), "12345", 0, Range{1, 2}), (std::vector<Range>{{1, 2}}));
  EXPECT_THROW(re("x")->matches(*str("abc"), 0, Range{2, 5}), Exception);

  // Anchored: matches must follow one another from the range's start.
  EXPECT_EQ(ranges(re("\\d"), "12a3", MatchingAnchored), (std::vector<Range>{{0, 1}, {1, 1}}));
  EXPECT_TRUE(ranges(re("\\d"), "a12", MatchingAnchored).empty());

  // Completion is reported once, after the last match, with no result.
  std::vector<unsigned> flags;
  re("\\d")->enumerateMatches(*str("1a2"), MatchingReportCompletion, std::nullopt,
                              [&](const Ref<TextCheckingResult>& r, unsigned f, bool*) {
                                flags.push_back(f);
                                EXPECT_EQ(r == nullptr, f == MatchingCompleted);
                              });
  EXPECT_EQ(flags, (std::vector<unsigned>{0, 0, MatchingCompleted}));

  // Stopping ends the enumeration without a completion call.
  int calls = 0;
  re("\\d")->enumerateMatches(*str("123"), MatchingReportCompletion, std::nullopt,
                              [&](const Ref<TextCheckingResult>&, unsigned, bool* stop) {
                                ++calls;
                                *stop = true;
                              });
  EXPECT_EQ(calls, 1);
}

TEST(RegularExpression, InvalidPatternsGiveNilAndAnError) {
  for (const char* bad : {"(", "[a-", "*a", "a{2,1}", "(?<n>a)(?<n>b)", "\\", "(?<=a+)b"}) {
    Ref<Error> error;
    EXPECT_EQ(RegularExpression::make(bad, 0, &error), nullptr) << bad;
    ASSERT_TRUE(error) << bad;
    EXPECT_EQ(error->domain(), CocoaErrorDomain);
    EXPECT_EQ(error->code(), FormattingError);
    EXPECT_EQ(describe(error->userInfo()->objectForKey(std::string_view(InvalidValueErrorKey))), bad);
  }
  EXPECT_EQ(RegularExpression::make("("), nullptr);  // no error pointer needed
  Ref<Error> error;
  EXPECT_TRUE(RegularExpression::make("ok", 0, &error));
  EXPECT_EQ(error, nullptr);
}

TEST(RegularExpression, EscapingAndIdentity) {
  std::string tricky = "a.b*c(d)[e]{f}$^|\\/+?-#& ~";
  auto literal = re(RegularExpression::escapedPatternForString(tricky)->utf8());
  EXPECT_EQ(literal->rangeOfFirstMatch(*str("xx" + tricky)), (Range{2, tricky.size()}));
  EXPECT_EQ(re("x")->stringByReplacingMatches(*str("x"), RegularExpression::escapedTemplateForString("$1\\")->utf8())
                ->utf8(),
            "$1\\");

  auto a = re("a+", RegularExpressionCaseInsensitive);
  EXPECT_TRUE(a->isEqual(*re("a+", RegularExpressionCaseInsensitive)));
  EXPECT_FALSE(a->isEqual(*re("a+")));
  EXPECT_EQ(a->className(), "NSRegularExpression");
  EXPECT_EQ(a->pattern(), "a+");
  EXPECT_EQ(a->options(), RegularExpressionCaseInsensitive);
}

}  // namespace
}  // namespace kit
