// Strings counted in UTF-16 units: lengths, ranges and edits that cut
// through surrogate pairs, and halves that meet again.

#include <gtest/gtest.h>

#include "kit/foundation/exception.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/string.h"

namespace kit {
namespace {

TEST(StringUnits, LengthsAndIndexesCountUTF16Units) {
  auto s = str("a😀b");
  EXPECT_EQ(s->length(), 4u);
  EXPECT_EQ(s->characterAtIndex(1), 0xD83D);
  EXPECT_EQ(s->characterAtIndex(2), 0xDE00);
  EXPECT_EQ(s->characterAtIndex(3), u'b');
  EXPECT_THROW(s->characterAtIndex(4), Exception);
  EXPECT_EQ(s->rangeOfString("b"), (Range{3, 1}));
  EXPECT_EQ(s->rangeOfString("😀"), (Range{1, 2}));
  EXPECT_EQ(str("领取成功")->length(), 4u);
  EXPECT_EQ(str("  -12ab")->intValue(), -12);
  EXPECT_EQ(str("abc")->intValue(), 0);
}

TEST(StringUnits, SubstringsMayCutAPairAndKeepTheHalf) {
  auto s = str("a😀b");
  auto head = s->substringToIndex(2);
  EXPECT_EQ(head->length(), 2u);
  EXPECT_TRUE(hasLoneSurrogate(head->utf8()));
  EXPECT_EQ(head->utf16(), u"a\xD83D");
  auto tail = s->substringFromIndex(2);
  EXPECT_EQ(tail->utf16(), u"\xDE00" u"b");
  // A lone half has no UTF-8 form, so it cannot be percent-encoded.
  EXPECT_EQ(stringByAddingPercentEncodingWithAllowedCharacters(*head, *CharacterSet::urlQueryAllowed()), nullptr);
}

TEST(StringUnits, HalvesThatMeetAgainFormTheCharacter) {
  auto s = str("a😀b");
  auto joined = s->substringToIndex(2)->stringByAppendingString(s->substringFromIndex(2)->utf8());
  EXPECT_TRUE(joined->isEqual(*s));
  EXPECT_EQ(joined->hash(), s->hash());
  EXPECT_EQ(joined->utf8(), "a😀b");
  EXPECT_FALSE(hasLoneSurrogate(joined->utf8()));
  ASSERT_TRUE(stringByAddingPercentEncodingWithAllowedCharacters(*joined, *CharacterSet::alphanumerics()));

  // The same through a mutable string and through plain text concatenation.
  auto m = MutableString::make(s->substringToIndex(2)->utf8());
  m->appendString(s->substringFromIndex(2)->utf8());
  EXPECT_TRUE(m->isEqual(*s));
  EXPECT_EQ(m->length(), 4u);
  EXPECT_TRUE(str(s->substringToIndex(2)->utf8() + s->substringFromIndex(2)->utf8())->isEqual(*s));
  // A high half followed by anything else stays alone.
  EXPECT_EQ(str(s->substringToIndex(2)->utf8() + "x")->length(), 3u);
}

TEST(StringUnits, EditsInsideAPairTouchOnlyTheUnitsAsked) {
  auto s = str("a😀b");
  // Replacing the high half leaves the low half in place.
  auto replaced = s->stringByReplacingCharactersInRange({1, 1}, "X");
  EXPECT_EQ(replaced->utf16(), u"aX\xDE00" u"b");
  EXPECT_EQ(replaced->length(), 4u);

  auto m = MutableString::make("a😀b");
  m->deleteCharactersInRange({1, 1});
  EXPECT_EQ(m->length(), 3u);
  EXPECT_EQ(m->utf16(), u"a\xDE00" u"b");
  // Putting the half back restores the character.
  m->insertString(String::fromUTF16(u"\xD83D")->utf8(), 1);
  EXPECT_TRUE(m->isEqual(*s));

  m->replaceCharactersInRange({1, 2}, "é");
  EXPECT_EQ(m->utf8(), "aéb");
  EXPECT_THROW(m->replaceCharactersInRange({2, 5}, ""), Exception);
  // ASCII text takes the same path byte for byte.
  auto plain = MutableString::make("hello");
  plain->replaceCharactersInRange({1, 3}, "ipp");
  EXPECT_EQ(plain->utf8(), "hippo");
}

}  // namespace
}  // namespace kit
