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
