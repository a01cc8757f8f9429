// Percent-encoding against the platform's URL character sets, decoding, and
// the older escaping with a choice of encoding.

#include "kit/foundation/percent_encoding.h"

#include <gtest/gtest.h>

namespace kit {
namespace {

std::string encoded(std::string_view text, const Ref<CharacterSet>& allowed) {
  auto out = stringByAddingPercentEncodingWithAllowedCharacters(text, *allowed);
  return out ? out->utf8() : "<nil>";
}

std::string decoded(std::string_view text) {
  auto out = stringByRemovingPercentEncoding(text);
  return out ? out->utf8() : "<nil>";
}

TEST(PercentEncoding, QuerySetMinusDelimitersEscapesFormValues) {
  auto allowed = CharacterSet::urlQueryAllowed()->removing(":#[]@!$&'()*+,;=");
  EXPECT_EQ(encoded("a b+c&d=e/f?g", allowed), "a%20b%2Bc%26d%3De/f?g");
  EXPECT_EQ(encoded("领取", allowed), "%E9%A2%86%E5%8F%96");
  EXPECT_EQ(encoded("100%", allowed), "100%25");
  EXPECT_EQ(encoded("", allowed), "");
}

TEST(PercentEncoding, PlatformURLSetsKeepTheirCharacters) {
  const std::string ascii = [] {
    std::string s;
    for (char c = 0x20; c < 0x7F; ++c) s += c;
    return s;
  }();
  // Each set keeps letters, digits, "-._~" and its own extras; all else
  // (including "%") is escaped.
  EXPECT_EQ(encoded(ascii, CharacterSet::urlQueryAllowed()),
            "%20!%22%23$%25&'()*+,-./0123456789:;%3C=%3E?@ABCDEFGHIJKLMNOPQRSTUVWXYZ%5B%5C%5D%5E_%60"
            "abcdefghijklmnopqrstuvwxyz%7B%7C%7D~");
  EXPECT_EQ(encoded(ascii, CharacterSet::urlFragmentAllowed()), encoded(ascii, CharacterSet::urlQueryAllowed()));
  EXPECT_EQ(encoded(ascii, CharacterSet::urlPathAllowed()),
            "%20!%22%23$%25&'()*+,-./0123456789:;%3C=%3E%3F@ABCDEFGHIJKLMNOPQRSTUVWXYZ%5B%5C%5D%5E_%60"
            "abcdefghijklmnopqrstuvwxyz%7B%7C%7D~");
  EXPECT_EQ(encoded(ascii, CharacterSet::urlHostAllowed()),
            "%20!%22%23$%25&'()*+,-.%2F0123456789:;%3C=%3E%3F%40ABCDEFGHIJKLMNOPQRSTUVWXYZ[%5C]%5E_%60"
            "abcdefghijklmnopqrstuvwxyz%7B%7C%7D~");
  EXPECT_EQ(encoded(ascii, CharacterSet::urlUserAllowed()),
            "%20!%22%23$%25&'()*+,-.%2F0123456789%3A;%3C=%3E%3F%40ABCDEFGHIJKLMNOPQRSTUVWXYZ%5B%5C%5D%5E_%60"
            "abcdefghijklmnopqrstuvwxyz%7B%7C%7D~");
  EXPECT_EQ(encoded(ascii, CharacterSet::urlPasswordAllowed()), encoded(ascii, CharacterSet::urlUserAllowed()));
  // One query value: only the unreserved characters and the parentheses
  // stay, so "(null)" and ids pass and "&", "=", "+" cannot split it.
  EXPECT_EQ(encoded(ascii, CharacterSet::urlQueryValueAllowed()),
            "%20%21%22%23%24%25%26%27()%2A%2B%2C-.%2F0123456789%3A%3B%3C%3D%3E%3F%40ABCDEFGHIJKLMNOPQRSTUVWXYZ"
            "%5B%5C%5D%5E_%60abcdefghijklmnopqrstuvwxyz%7B%7C%7D~");
  EXPECT_EQ(encoded("3&game_id=7", CharacterSet::urlQueryValueAllowed()), "3%26game_id%3D7");
  EXPECT_EQ(encoded("(null)", CharacterSet::urlQueryValueAllowed()), "(null)");
  // Control characters are escaped too.
  EXPECT_EQ(encoded(std::string_view("\0\t\x7f", 3), CharacterSet::urlQueryAllowed()), "%00%09%7F");
}

TEST(PercentEncoding, NonASCIIAllowedCharactersAreStillEncoded) {
  // Only the 7-bit members of the set count.
  auto everything = CharacterSet::fromRange(0, 0x110000);
  EXPECT_EQ(encoded("é😀", everything), "%C3%A9%F0%9F%98%80");
  EXPECT_EQ(encoded("a-b", everything), "a-b");
}

TEST(PercentEncoding, LoneSurrogateCannotBeEncoded) {
  auto lone = String::fromUTF16(u"a\xD83D" u"b");
  ASSERT_TRUE(hasLoneSurrogate(lone->utf8()));
  EXPECT_EQ(stringByAddingPercentEncodingWithAllowedCharacters(*lone, *CharacterSet::urlQueryAllowed()), nullptr);
  // Half of a pair cut off by a substring is a lone surrogate as well.
  auto half = str("x😀")->substringToIndex(2);
  EXPECT_EQ(stringByAddingPercentEncodingWithAllowedCharacters(*half, *CharacterSet::alphanumerics()), nullptr);
  auto whole = str("x😀");
  EXPECT_EQ(stringByAddingPercentEncodingWithAllowedCharacters(*whole, *CharacterSet::alphanumerics())->utf8(),
            "x%F0%9F%98%80");
}

TEST(PercentEncoding, RemovingEscapes) {
  EXPECT_EQ(decoded("a%20b%2Bc%26d"), "a b+c&d");
  EXPECT_EQ(decoded("%e9%a2%86%E5%8F%96"), "领取");
  EXPECT_EQ(decoded("plain+text"), "plain+text");  // "+" is not a space here
  EXPECT_EQ(decoded("领取%21"), "领取!");
  EXPECT_EQ(decoded("%00"), std::string("\0", 1));
  EXPECT_EQ(decoded(""), "");
  EXPECT_EQ(decoded("%252F"), "%2F");  // one level only
}

TEST(PercentEncoding, RemovingRefusesMalformedEscapesAndNonUTF8) {
  for (const char* bad : {"%", "abc%", "%2", "%zz", "%g0", "a%2-", "%FF", "%C3", "%C3%28", "%ED%A0%80", "%C0%AF",
                          "%E9%A2", "%E9%A2x%86"}) {
    EXPECT_EQ(stringByRemovingPercentEncoding(bad), nullptr) << bad;
  }
  // An escaped lead byte cannot be completed by a literal character.
  EXPECT_EQ(stringByRemovingPercentEncoding("%C3é"), nullptr);
}

TEST(PercentEncoding, RoundTripsAnyText) {
  const char* samples[] = {"", "a b", "%", "领取成功", "😀 e\u0301", "?&=#[]@", "\x01\x7f"};
  for (const char* s : samples) {
    auto e = stringByAddingPercentEncodingWithAllowedCharacters(s, *CharacterSet::urlPathAllowed());
    ASSERT_TRUE(e) << s;
    EXPECT_EQ(decoded(e->utf8()), s);
  }
}

TEST(PercentEncoding, OlderEscapingWithLeftAloneAndExtraCharacters) {
  // Characters that cannot stand in a URL are escaped; legal ones stay.
  auto out = stringByAddingPercentEscapes(*str("http://a.b/视频 1.mp4?x=[1]#f%20"), "!$&'()*+,-./:;=?@_~%#[]", "");
  ASSERT_TRUE(out);
  EXPECT_EQ(out->utf8(), "http://a.b/%E8%A7%86%E9%A2%91%201.mp4?x=[1]#f%20");

  // With nothing left alone, "%", "#" and brackets are escaped too.
  EXPECT_EQ(stringByAddingPercentEscapes(*str("a%#[]\"<>^`{|}\\"), "", "")->utf8(),
            "a%25%23%5B%5D%22%3C%3E%5E%60%7B%7C%7D%5C");

  // Extra characters to escape, with non-ASCII text as GB 18030 bytes.
  auto gb = stringByAddingPercentEscapes(*str("中 a&b:/~"), "", ":/?#[]@!$ &'()*+,;=\"<>%{}|\\^~`",
                                         StringEncoding::GB18030);
  ASSERT_TRUE(gb);
  EXPECT_EQ(gb->utf8(), "%D6%D0%20a%26b%3A%2F%7E");

  // A lone surrogate has no bytes in any encoding.
  EXPECT_EQ(stringByAddingPercentEscapes(*String::fromUTF16(u"\xDC00"), "", ""), nullptr);
}

}  // namespace
}  // namespace kit
