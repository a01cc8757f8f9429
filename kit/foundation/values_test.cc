// Reading a reply the way product code does: literals, lookups that never
// throw, "%@" texts and the "is set" test.

#include <gtest/gtest.h>

#include <cmath>

#include "kit/foundation/values.h"

namespace kit {
namespace {

TEST(Values, ReplyReadsLikeTheProductReadsIt) {
  Ref<Dictionary> reply = dict({
      {"code", 200},
      {"msg", "领取成功"},
      {"data", dict({{"token", "abc123"}, {"super_user_id", 42}, {"auth", null()}})},
  });
  Id r = reply;

  EXPECT_EQ(describe(r["code"]), "200");
  EXPECT_EQ(describe(r["data"]["token"]), "abc123");
  EXPECT_EQ(describe(r["data"]["missing"]), "(null)");
  EXPECT_EQ(describe(r["data"]["auth"]), "<null>");
  // A lookup on something that is not a dictionary is nil, not a crash.
  EXPECT_EQ(r["msg"]["deeper"], nullptr);
  EXPECT_EQ(r["data"][3], nullptr);

  EXPECT_TRUE(isSet(r["data"]["token"]));
  EXPECT_TRUE(isSet(r["data"]["super_user_id"]));
  EXPECT_FALSE(isSet(r["data"]["auth"]));       // the null object
  EXPECT_FALSE(isSet(r["data"]["missing"]));    // absent
  EXPECT_FALSE(isSet(str("")));                 // empty text
  EXPECT_FALSE(isSet(str("(null)")));           // the text of a missing value
  EXPECT_TRUE(isSet(num(0)));                   // "0" is a value

  // What a player is shown of the same values.
  EXPECT_EQ(shownText(r["data"]["super_user_id"]), "42");
  EXPECT_EQ(shownText(r["data"]["auth"]), "");
  EXPECT_EQ(shownText(r["data"]["missing"]), "");
  EXPECT_EQ(shownText(str("(null)")), "");
  EXPECT_EQ(shownText(num(0)), "0");
}

TEST(Values, OnlyTextsAndNumbersAreShownAndOnlyTextsWithSomethingInThemAreMessages) {
  // What replies put where a text belongs: a list, a list holding the
  // null object, a dictionary, empty ones, flags.
  const Id notText[] = {array({"a"}), array({null()}), dict({{"k", "v"}}), array(), dict(), num(true), num(false),
                        null(), Id(), str(""), str("(null)"), str("<null>")};
  for (const Id& value : notText) {
    EXPECT_FALSE(isSet(value)) << describe(value);
    EXPECT_EQ(shownText(value), "") << describe(value);
    EXPECT_EQ(readableText(value), "") << describe(value);
  }

  // Numbers are shown as counts and balances are: 0 is a count.
  EXPECT_TRUE(isSet(num(0)));
  EXPECT_EQ(shownText(num(0)), "0");
  EXPECT_EQ(shownText(num(2.5)), "2.5");
  EXPECT_EQ(shownText(num(-3)), "-3");
  EXPECT_EQ(shownText(str("玩家")), "玩家");
  // A label shows blanks as they are; they read as nothing anyway.
  EXPECT_EQ(shownText(str(" ")), " ");

  // A message is a text with something to read: no number, no blanks.
  EXPECT_EQ(readableText(num(0)), "");
  EXPECT_EQ(readableText(num(404)), "");
  for (const char* blanks : {" ", "\n", " \t\r\n ", "\u3000", "\u2028"}) {
    EXPECT_EQ(readableText(str(blanks)), "") << blanks;
  }
  EXPECT_EQ(readableText(str(" 次数不足\n")), " 次数不足\n");
  EXPECT_EQ(readableText(str("0")), "0") << "a text is the server's own words";

  // Characters that draw nothing make no message either: zero-width and
  // no-break spaces, direction and byte-order marks, fillers, a lone
  // combining mark.
  for (const char* invisible : {"\u200b", "\u00a0", " \u200b\u200c\u200d\u2060 ", "\ufeff", "\u200e\u200f",
                                "\u3164", "\u115f", "\ufe0f", "\u0301", "\u2800", "\x01\x7f", "\u00ad"}) {
    EXPECT_EQ(readableText(str(invisible)), "") << invisible;
  }
  EXPECT_EQ(readableText(str("\u200b领取成功")), "\u200b领取成功");
  EXPECT_EQ(readableText(str("é")), "é");
  EXPECT_EQ(readableText(str("e\u0301")), "e\u0301");
  EXPECT_EQ(readableText(str("\xff\xfe")), "") << "bytes that are no UTF-8 read as nothing";

  // A number that is none is neither shown nor a message, as a number or
  // spelled out; a name that only starts like one is a name.
  for (const Id& value : {Id(num(std::nan(""))), Id(num(HUGE_VAL)), Id(num(-HUGE_VAL))}) {
    EXPECT_FALSE(isSet(value));
    EXPECT_EQ(shownText(value), "");
  }
  for (const char* spelled : {"NaN", "nan", "-nan", "inf", "-inf", "Infinity", "-Infinity", " NaN", "NaN\n"}) {
    EXPECT_EQ(shownText(str(spelled)), "") << spelled;
    EXPECT_EQ(readableText(str(spelled)), "") << spelled;
  }
  EXPECT_EQ(shownText(str("Nan")), "") << "a spelling in any case";
  EXPECT_EQ(shownText(str("Nana")), "Nana");
  EXPECT_EQ(shownText(str("NaN币")), "NaN币");
  EXPECT_EQ(shownText(num(1e308)), describe(num(1e308)));

  // Mutable texts from a reply read the same.
  EXPECT_EQ(shownText(MutableString::make("x")), "x");
  EXPECT_EQ(readableText(MutableString::make("\n")), "");
}

TEST(Values, EverySpellingOfANumberThatIsNoneIsOneNone) {
  // Any case, any sign, a NaN's payload, and any character that draws
  // nothing around it: none is shown, none is a message.
  for (const char* spelled :
       {"NAN", "INF", "-INF", "Inf", "+Inf", "-Inf", "-NaN", "infinity", "nan(0x8000)", "-nan(ind)", "+NAN()",
        "\u00a0NaN", "NaN\u3000", "\vINF\f", "\u200b-Infinity\u200b", "\u00a0\u3000nan\v\f"}) {
    EXPECT_TRUE(spellsNoNumber(spelled)) << spelled;
    EXPECT_EQ(shownText(str(spelled)), "") << spelled;
    EXPECT_EQ(readableText(str(spelled)), "") << spelled;
  }
  // Words that only start or end like one, and half-made payloads, are
  // texts.
  for (const char* word : {"Nan币", "nanny", "Info", "infinite", "in f", "nan(", "nan(0x8000", "nan)", "nan(a b)",
                           "--inf", "+-nan", "1NaN", "NaN1", "∞", "", " "}) {
    EXPECT_FALSE(spellsNoNumber(word)) << word;
  }
  EXPECT_EQ(shownText(str("nanny")), "nanny");
  EXPECT_EQ(shownText(str("NaN币")), "NaN币");

  // The server's spellings of nothing read as nothing with blanks around
  // them too.
  for (const char* null : {" <null>", "(null)\u3000", "\u200b<null>\u00a0"}) {
    EXPECT_TRUE(spellsNull(null)) << null;
    EXPECT_EQ(shownText(str(null)), "") << null;
  }
  EXPECT_FALSE(spellsNull("<null>x"));
}

TEST(Values, ANameIsWhatThePlayerTypedWhenItDrawsSomething) {
  // The spellings of a number are names like any other.
  for (const char* name : {"Infinity", "-Infinity", "+Infinity", "NaN", "nan", "inf", "NAN", " NaN ", "玩家"}) {
    EXPECT_EQ(nameText(str(name)), name) << name;
  }
  EXPECT_EQ(nameText(num(12345)), "12345") << "a name the server sends as a number";
  // Nothing to draw, or the server's spelling of nothing, names no one.
  for (const Id& none : {Id(str("")), Id(str(" ")), Id(str("\u3000")), Id(str("\u200b")), Id(str("<null>")),
                         Id(str("(null)")), Id(str(" <null>\u3000")), Id(str(std::string("\0a", 2))), Id(null()),
                         Id(), Id(num(true)), Id(num(std::nan(""))), Id(array({"a"}))}) {
    EXPECT_EQ(nameText(none), "") << describe(none);
  }
}

TEST(Values, WhatFollowsANulIsNotDrawnAndSoNotRead) {
  // A label draws a text up to its first NUL: one that starts with it
  // draws nothing and is no message.
  const std::string startsWithNul = std::string(1, '\0') + "领取成功";
  EXPECT_FALSE(hasVisibleCharacter(startsWithNul));
  EXPECT_EQ(readableText(str(startsWithNul)), "");
  const std::string endsWithNul = "领取" + std::string(1, '\0');
  EXPECT_TRUE(hasVisibleCharacter(endsWithNul));
  EXPECT_EQ(readableText(str(endsWithNul)), endsWithNul);
  EXPECT_FALSE(hasVisibleCharacter(std::string(" \0x", 3)));
  // A label shows "NaN\0tail" as "NaN".
  EXPECT_TRUE(spellsNoNumber(std::string("NaN\0tail", 8)));
  EXPECT_EQ(shownText(str(std::string("NaN\0tail", 8))), "");
}

TEST(Values, NilValueLeavesTheKeyOutButNilElementRaises) {
  Id missing;
  auto d = dict({{"a", 1}, {"b", missing}});
  EXPECT_EQ(d->count(), 1u);
  EXPECT_THROW(array({1, missing}), Exception);
  // A null C string (an unset environment variable, say) is nil too.
  const char* unset = nullptr;
  EXPECT_EQ(dict({{"a", unset}, {"b", 1}})->count(), 1u);
  EXPECT_EQ(mutableDict({{"a", unset}})->count(), 0u);
  EXPECT_THROW(array({unset}), Exception);
}

TEST(Values, ArrayIndexLookups) {
  Id a = array({"x", 2.5, true});
  EXPECT_EQ(describe(a[0]), "x");
  EXPECT_EQ(describe(a[1]), "2.5");
  EXPECT_EQ(describe(a[2]), "1");
  EXPECT_EQ(a[3], nullptr);
  EXPECT_EQ(a[-1], nullptr);
}

}  // namespace
}  // namespace kit
