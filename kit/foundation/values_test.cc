// Reading a reply the way product code does: literals, lookups that never
// throw, "%@" texts and the "is set" test.

#include <gtest/gtest.h>

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

  // Mutable texts from a reply read the same.
  EXPECT_EQ(shownText(MutableString::make("x")), "x");
  EXPECT_EQ(readableText(MutableString::make("\n")), "");
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
