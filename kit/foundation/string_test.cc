// Strings: UTF-16 counting, numeric readings, searching and paths.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "kit/foundation/charset.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

TEST(String, CountsUTF16Units) {
  auto s = str("a😀b");
  EXPECT_EQ(s->length(), 4u);
  EXPECT_EQ(s->characterAtIndex(1), 0xD83D);
  EXPECT_EQ(s->characterAtIndex(2), 0xDE00);
  EXPECT_EQ(s->substringFromIndex(3)->utf8(), "b");
  EXPECT_EQ(str("领取成功")->length(), 4u);
  EXPECT_THROW(s->characterAtIndex(4), Exception);
  EXPECT_THROW(s->substringWithRange({3, 2}), Exception);

  // Cutting a pair in half keeps a lone surrogate, which survives a round
  // trip through UTF-16.
  auto half = s->substringWithRange({0, 2});
  EXPECT_EQ(half->length(), 2u);
  EXPECT_TRUE(hasLoneSurrogate(half->utf8()));
  EXPECT_EQ(half->utf16(), (std::u16string{u'a', 0xD83D}));
  EXPECT_EQ(String::fromUTF16(half->utf16())->utf8(), half->utf8());
  EXPECT_FALSE(isValidUTF8(half->utf8()));
}

TEST(String, StrictDecodingOfOutsideBytes) {
  EXPECT_NE(String::fromUTF8Bytes("ok é"), nullptr);
  EXPECT_EQ(String::fromUTF8Bytes("\xC3"), nullptr);             // truncated
  EXPECT_EQ(String::fromUTF8Bytes("\xC0\xAF"), nullptr);         // overlong
  EXPECT_EQ(String::fromUTF8Bytes("\xED\xA0\x80"), nullptr);     // surrogate
  EXPECT_EQ(String::fromUTF8Bytes("\xF4\x90\x80\x80"), nullptr); // beyond U+10FFFF
  EXPECT_NE(String::fromUTF8Bytes("\xEF\xBF\xBD"), nullptr);     // U+FFFD itself is fine
}

TEST(String, NumericReadingsFollowThePlatform) {
  EXPECT_EQ(str("  -12ab")->intValue(), -12);
  EXPECT_EQ(str("abc")->intValue(), 0);
  EXPECT_EQ(str("+7")->intValue(), 7);
  EXPECT_EQ(str("99999999999")->intValue(), 2147483647);
  EXPECT_EQ(str("-99999999999")->intValue(), -2147483647 - 1);
  EXPECT_EQ(str("99999999999")->longLongValue(), 99999999999LL);
  EXPECT_DOUBLE_EQ(str(" 2.5e2x")->doubleValue(), 250.0);
  EXPECT_DOUBLE_EQ(str("1e")->doubleValue(), 1.0);
  EXPECT_DOUBLE_EQ(str(".5")->doubleValue(), 0.5);
  EXPECT_DOUBLE_EQ(str("x1")->doubleValue(), 0.0);
  EXPECT_TRUE(str("YES")->boolValue());
  EXPECT_TRUE(str(" 007")->boolValue());
  EXPECT_TRUE(str("true")->boolValue());
  EXPECT_FALSE(str("0")->boolValue());
  EXPECT_FALSE(str("no")->boolValue());
}

TEST(String, NumericReadingsOnEdgeInputs) {
  // Leading white space is the platform scanner's: control characters,
  // no-break space, the U+2000 spaces and the ideographic space.
  EXPECT_EQ(str("\u00A012")->intValue(), 12);
  EXPECT_EQ(str("\u3000\u2003-7")->integerValue(), -7);
  EXPECT_EQ(str("\x01\x1F 9")->longLongValue(), 9);
  EXPECT_DOUBLE_EQ(str("\u00A0 2.5")->doubleValue(), 2.5);
  EXPECT_TRUE(str("\u3000yes")->boolValue());
  EXPECT_EQ(str("\u00B75")->intValue(), 0);  // a middle dot is not space
  // Signs, overflow and notations the readings do not take.
  EXPECT_EQ(str("+-1")->intValue(), 0);
  EXPECT_EQ(str("  ")->intValue(), 0);
  EXPECT_EQ(str("-")->doubleValue(), 0.0);
  EXPECT_EQ(str("0x10")->intValue(), 0);
  EXPECT_EQ(str("2147483648")->intValue(), 2147483647);
  EXPECT_EQ(str("2147483648")->longLongValue(), 2147483648LL);
  EXPECT_EQ(str("-99999999999999999999")->longLongValue(), -9223372036854775807LL - 1);
  EXPECT_EQ(str("1e400")->intValue(), 1);
  EXPECT_EQ(str("1e400")->doubleValue(), HUGE_VAL);
  EXPECT_EQ(str("-1e400")->doubleValue(), -HUGE_VAL);
  EXPECT_EQ(str("1e-400")->doubleValue(), 0.0);
  EXPECT_EQ(str("\u0661\u0662")->intValue(), 0);  // only ASCII digits
  EXPECT_FALSE(str("0.5")->boolValue());
  EXPECT_TRUE(str("-0009")->boolValue());
}

TEST(String, SearchCompareAndSplit) {
  auto s = str("Hello, 世界 hello");
  EXPECT_EQ(s->rangeOfString("hello"), (Range{10, 5}));
  EXPECT_EQ(s->rangeOfString("HELLO", CaseInsensitiveSearch), (Range{0, 5}));
  EXPECT_EQ(s->rangeOfString("hello", CaseInsensitiveSearch | BackwardsSearch), (Range{10, 5}));
  EXPECT_EQ(s->rangeOfString("世界"), (Range{7, 2}));
  EXPECT_EQ(s->rangeOfString("nope").location, NotFound);
  EXPECT_EQ(s->rangeOfString("Hello", AnchoredSearch).location, 0u);
  EXPECT_EQ(s->rangeOfString("hello", AnchoredSearch).location, NotFound);

  EXPECT_EQ(str("a")->compare(*str("b")), ComparisonResult::Ascending);
  EXPECT_EQ(str("ABC")->caseInsensitiveCompare(*str("abc")), ComparisonResult::Same);
  EXPECT_EQ(str("file10")->compare(*str("file9"), NumericSearch), ComparisonResult::Descending);
  EXPECT_EQ(str("file10")->compare(*str("file9")), ComparisonResult::Ascending);

  EXPECT_EQ(describe(str("a,b,,c")->componentsSeparatedByString(",")), "(\n    a,\n    b,\n    \"\",\n    c\n)");
  EXPECT_EQ(str(" \t x y \n")->stringByTrimmingCharactersInSet(*CharacterSet::whitespaceAndNewline())->utf8(),
            "x y");
  EXPECT_EQ(str("   ")->stringByTrimmingCharactersInSet(*CharacterSet::whitespace())->utf8(), "");
  EXPECT_EQ(str("good name ")->stringByReplacingOccurrencesOfString(" ", "")->utf8(), "goodname");
  EXPECT_EQ(str("straße")->uppercaseString()->utf8(), "STRASSE");
  EXPECT_EQ(str("ÉCOLE")->lowercaseString()->utf8(), "école");
}

TEST(String, EmptyAndOutOfRangeSearchArguments) {
  // An empty prefix, suffix or needle matches nothing, as on the platform.
  auto s = str("abc");
  EXPECT_FALSE(s->hasPrefix(""));
  EXPECT_FALSE(s->hasSuffix(""));
  EXPECT_FALSE(s->containsString(""));
  EXPECT_FALSE(str("")->hasPrefix(""));
  EXPECT_TRUE(s->hasPrefix("ab"));
  EXPECT_TRUE(s->hasSuffix("bc"));
  EXPECT_TRUE(s->containsString("b"));
  // A range past the end finds nothing, even when its end wraps around.
  EXPECT_EQ(s->rangeOfString("b", 0, {1, 5}).location, NotFound);
  EXPECT_EQ(s->rangeOfString("b", 0, {NotFound, 2}).location, NotFound);
  EXPECT_EQ(s->rangeOfString("b", 0, {SIZE_MAX, 2}).location, NotFound);
  EXPECT_EQ(s->rangeOfString("c", BackwardsSearch | AnchoredSearch, {1, 2}), (Range{2, 1}));
  EXPECT_EQ(s->rangeOfString("a", AnchoredSearch, {1, 2}).location, NotFound);
}

TEST(String, MalformedBytesReadAsReplacementCharacters) {
  // Bytes that are not UTF-8 count one unit each and read as U+FFFD, the
  // same through characterAtIndex as through utf16().
  auto s = str("a\xFF\xC3");
  EXPECT_EQ(s->length(), 3u);
  EXPECT_EQ(s->characterAtIndex(1), 0xFFFD);
  EXPECT_EQ(s->characterAtIndex(2), 0xFFFD);
  EXPECT_EQ(s->utf16(), (std::u16string{u'a', 0xFFFD, 0xFFFD}));
}

TEST(String, CompareTreatsCanonicalEquivalentsAlikeUnlessLiteral) {
  auto composed = str("caf\u00E9"), decomposed = str("cafe\u0301");
  EXPECT_EQ(composed->compare(*decomposed), ComparisonResult::Same);
  EXPECT_EQ(str("CAF\u00C9")->compare(*decomposed, CaseInsensitiveSearch), ComparisonResult::Same);
  EXPECT_EQ(str("a\u00E92")->compare(*str("ae\u030110"), NumericSearch), ComparisonResult::Ascending);
  EXPECT_NE(composed->compare(*decomposed, LiteralSearch), ComparisonResult::Same);
  EXPECT_FALSE(composed->isEqualToString(*decomposed));  // equality stays literal
  // Case folding that triples the text ("\u0390" folds to three units).
  auto greek = str("\u0390\u0390\u0390\u0390\u0390\u0390");
  EXPECT_EQ(greek->compare(*greek->uppercaseString(), CaseInsensitiveSearch | LiteralSearch), ComparisonResult::Same);
  EXPECT_EQ(composed->compare(*str("cafe")), ComparisonResult::Descending);
  // Characters compare in decomposed form, by code unit, not by locale.
  EXPECT_EQ(str("\u00E9")->compare(*str("f")), ComparisonResult::Ascending);
  EXPECT_EQ(str("\u00E9")->compare(*str("f"), LiteralSearch), ComparisonResult::Descending);
}

TEST(String, Paths) {
  auto p = str("/tmp/cache/file.tar.gz");
  EXPECT_EQ(p->lastPathComponent()->utf8(), "file.tar.gz");
  EXPECT_EQ(p->pathExtension()->utf8(), "gz");
  EXPECT_EQ(p->stringByDeletingPathExtension()->utf8(), "/tmp/cache/file.tar");
  EXPECT_EQ(p->stringByDeletingLastPathComponent()->utf8(), "/tmp/cache");
  EXPECT_EQ(str("/tmp/")->stringByAppendingPathComponent("x")->utf8(), "/tmp/x");
  EXPECT_EQ(str("")->stringByAppendingPathComponent("x")->utf8(), "x");
  EXPECT_EQ(str("/")->lastPathComponent()->utf8(), "/");
  EXPECT_EQ(str("/a")->stringByDeletingLastPathComponent()->utf8(), "/");
  EXPECT_EQ(str(".hidden")->pathExtension()->utf8(), "");
  EXPECT_EQ(describe(str("/a/b/")->pathComponents()), "(\n    \"/\",\n    a,\n    b,\n    \"/\"\n)");
}

TEST(String, MutableEditsInUTF16Units) {
  auto m = MutableString::make("a😀c");
  m->replaceCharactersInRange({1, 2}, "b");
  EXPECT_EQ(m->utf8(), "abc");
  EXPECT_EQ(m->length(), 3u);
  m->insertString("世", 0);
  EXPECT_EQ(m->length(), 4u);
  m->deleteCharactersInRange({0, 1});
  EXPECT_EQ(m->utf8(), "abc");
  EXPECT_EQ(m->replaceOccurrencesOfString("b", "BB"), 1u);
  EXPECT_EQ(m->utf8(), "aBBc");
  EXPECT_THROW(m->deleteCharactersInRange({3, 5}), Exception);
}

}  // namespace
}  // namespace kit
