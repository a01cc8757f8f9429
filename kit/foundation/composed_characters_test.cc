// Composed character sequences and string transforms.

#include "kit/foundation/composed_characters.h"

#include <gtest/gtest.h>

#include <vector>

#include "kit/foundation/exception.h"
#include "kit/foundation/string_transform.h"

namespace kit {
namespace {

TEST(ComposedCharacters, SequenceAtIndex) {
  // "a", e + combining acute, a surrogate pair, a flag (two pairs), "b".
  auto s = str("ae\u0301😀🇨🇳b");
  ASSERT_EQ(s->length(), 10u);
  EXPECT_EQ(rangeOfComposedCharacterSequenceAtIndex(*s, 0), (Range{0, 1}));
  EXPECT_EQ(rangeOfComposedCharacterSequenceAtIndex(*s, 1), (Range{1, 2}));
  EXPECT_EQ(rangeOfComposedCharacterSequenceAtIndex(*s, 2), (Range{1, 2}));
  EXPECT_EQ(rangeOfComposedCharacterSequenceAtIndex(*s, 4), (Range{3, 2}));  // low surrogate
  EXPECT_EQ(rangeOfComposedCharacterSequenceAtIndex(*s, 7), (Range{5, 4}));
  EXPECT_EQ(rangeOfComposedCharacterSequenceAtIndex(*s, 9), (Range{9, 1}));
  EXPECT_THROW(rangeOfComposedCharacterSequenceAtIndex(*s, 10), Exception);
  EXPECT_EQ(rangeOfComposedCharacterSequenceAtIndex(*str("\r\n"), 1), (Range{0, 2}));
  EXPECT_EQ(composedCharacterCount(*s), 5u);
}

TEST(ComposedCharacters, RangeWidenedToWholeSequences) {
  auto s = str("x😀y👨‍👩‍👧z");
  EXPECT_EQ(rangeOfComposedCharacterSequencesForRange(*s, {2, 1}), (Range{1, 2}));
  EXPECT_EQ(rangeOfComposedCharacterSequencesForRange(*s, {2, 2}), (Range{1, 3}));
  EXPECT_EQ(rangeOfComposedCharacterSequencesForRange(*s, {2, 3}), (Range{1, 11}));
  // The family emoji is one sequence of 8 units.
  EXPECT_EQ(rangeOfComposedCharacterSequencesForRange(*s, {5, 1}), (Range{4, 8}));
  EXPECT_EQ(rangeOfComposedCharacterSequencesForRange(*s, {0, s->length()}), (Range{0, s->length()}));
  EXPECT_EQ(rangeOfComposedCharacterSequencesForRange(*s, {2, 0}), (Range{1, 0}));
  EXPECT_EQ(rangeOfComposedCharacterSequencesForRange(*s, {s->length(), 0}), (Range{s->length(), 0}));
  EXPECT_THROW(rangeOfComposedCharacterSequencesForRange(*s, {5, 100}), Exception);
}

TEST(ComposedCharacters, EnumerationVisitsEachSequenceOnce) {
  auto s = str("领e\u0301😀!");
  std::vector<std::string> seen;
  std::vector<Range> ranges;
  enumerateComposedCharacterSequences(*s, {0, s->length()}, [&](const Ref<String>& seq, Range r, bool*) {
    seen.push_back(seq->utf8());
    ranges.push_back(r);
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"领", "e\u0301", "😀", "!"}));
  EXPECT_EQ(ranges, (std::vector<Range>{{0, 1}, {1, 2}, {3, 2}, {5, 1}}));

  // Starting inside a pair widens to the pair; stop ends early.
  seen.clear();
  enumerateComposedCharacterSequences(*s, {4, 2}, [&](const Ref<String>& seq, Range, bool* stop) {
    seen.push_back(seq->utf8());
    *stop = true;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"😀"}));
}

TEST(ComposedCharacters, CuttingIntoPiecesNeverSplitsASequence) {
  // Cut a long text into pieces of at most 3 units, each widened to whole
  // sequences, as the form encoder does; the pieces rebuild the text and
  // none holds half a character.
  auto s = str("ab😀😀c👍🏽e\u0301\u0301f");
  std::string rebuilt;
  for (size_t i = 0; i < s->length();) {
    Range piece = rangeOfComposedCharacterSequencesForRange(*s, {i, std::min<size_t>(3, s->length() - i)});
    auto sub = s->substringWithRange(piece);
    EXPECT_FALSE(hasLoneSurrogate(sub->utf8()));
    rebuilt += sub->utf8();
    i = piece.end();
  }
  EXPECT_EQ(rebuilt, s->utf8());
}

TEST(StringTransform, LatinAndASCII) {
  EXPECT_EQ(asciiTransliteration(*str("游戏 Ünïcödé ß"))->utf8(), "you xi Unicode ss");
  EXPECT_EQ(stringByApplyingTransform(*str("Ünïcödé"), StringTransformStripDiacritics)->utf8(), "Unicode");
  EXPECT_EQ(stringByApplyingTransform(*str("ありがとう"), StringTransformToLatin)->utf8(), "arigatou");
  // The user-agent transform drops whatever has no ASCII form.
  auto ua = stringByApplyingTransform(*str("游戏★😀/1.0"), "Any-Latin; Latin-ASCII; [:^ASCII:] Remove");
  ASSERT_TRUE(ua);
  EXPECT_EQ(ua->utf8(), "you xi/1.0");
  EXPECT_EQ(stringByApplyingTransform(*str("ａｂｃ１"), StringTransformFullwidthToHalfwidth)->utf8(), "abc1");
  EXPECT_EQ(stringByApplyingTransform(*str("abc"), StringTransformFullwidthToHalfwidth, true)->utf8(), "ａｂｃ");
}

TEST(StringTransform, UnknownTransformGivesNil) {
  EXPECT_EQ(stringByApplyingTransform(*str("x"), "No-Such-Transform"), nullptr);
  EXPECT_EQ(stringByApplyingTransform(*str("x"), "[:^ASCII:"), nullptr);
}

}  // namespace
}  // namespace kit
