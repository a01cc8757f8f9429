// Query strings from parameter objects: ordering, nesting and escaping.
#include "net/query_string.h"

#include <gtest/gtest.h>

#include "kit/foundation/set.h"
#include "kit/foundation/values.h"

namespace {

TEST(QueryString, FlattensInKeyOrderWithBrackets) {
  EXPECT_EQ(SDPQueryStringFromParameters(kit::dict({{"b", 1}, {"a", 2}})), "a=2&b=1");
  EXPECT_EQ(SDPQueryStringFromParameters(kit::dict({{"a", kit::dict({{"y", 1}, {"x", 2}})}})), "a%5Bx%5D=2&a%5By%5D=1");
  EXPECT_EQ(SDPQueryStringFromParameters(kit::dict({{"b", kit::array({1, 2})}})), "b%5B%5D=1&b%5B%5D=2");
  EXPECT_EQ(SDPQueryStringFromParameters(kit::dict({{"a", kit::null()}})), "a");
  EXPECT_EQ(SDPQueryStringFromParameters(kit::dict({{"s", kit::Set::make({kit::str("z"), kit::str("c")})}})),
            "s=c&s=z");
  EXPECT_EQ(SDPQueryStringFromParameters(kit::dict({{"m", kit::array({kit::dict({{"k", true}})})}})),
            "m%5B%5D%5Bk%5D=1");
  EXPECT_EQ(SDPQueryStringFromParameters(kit::dict()), "");
}

TEST(QueryString, KeysSortByPlainComparisonOfTheirText) {
  // Upper case sorts before lower case; "10" before "9".
  EXPECT_EQ(SDPQueryStringFromParameters(kit::dict({{"b", 1}, {"B", 2}, {"9", 3}, {"10", 4}})), "10=4&9=3&B=2&b=1");
}

TEST(QueryString, EscapesWhatWouldChangeTheQuery) {
  EXPECT_EQ(SDPQueryStringFromParameters(kit::dict({{"q", "a b+c&d=e/f?g#h[i]@j:k,l;m$n!o'p(q)r*s"}})),
            "q=a%20b%2Bc%26d%3De/f?g%23h%5Bi%5D%40j%3Ak%2Cl%3Bm%24n%21o%27p%28q%29r%2As");
  EXPECT_EQ(SDPQueryStringFromParameters(kit::dict({{"名", "玩家"}})), "%E5%90%8D=%E7%8E%A9%E5%AE%B6");
}

TEST(QueryString, LongTextKeepsEmojiAcrossTheBatchBoundaryWhole) {
  std::string text(49, 'a');
  text += "😀👍🏽x";  // the first emoji straddles units 49 and 50
  auto escaped = SDPPercentEscapedStringFromString(kit::String(text));
  EXPECT_EQ(escaped, std::string(49, 'a') + "%F0%9F%98%80%F0%9F%91%8D%F0%9F%8F%BDx");
  std::string many;
  for (int i = 0; i < 60; ++i) many += "😀";
  std::string expected;
  for (int i = 0; i < 60; ++i) expected += "%F0%9F%98%80";
  EXPECT_EQ(SDPPercentEscapedStringFromString(kit::String(many)), expected);
  EXPECT_EQ(SDPPercentEscapedStringFromString(kit::String("")), "");
}

TEST(QueryString, PairsEncodeAloneOrWithValue) {
  EXPECT_EQ(SDPQueryStringPair(kit::str("k"), nullptr).URLEncodedStringValue(), "k");
  EXPECT_EQ(SDPQueryStringPair(kit::str("k"), kit::num(2.5)).URLEncodedStringValue(), "k=2.5");
  EXPECT_EQ(SDPQueryStringPair(kit::str("a b"), kit::str("")).URLEncodedStringValue(), "a%20b=");
}

}  // namespace
