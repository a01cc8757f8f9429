// Reading strings from bytes and writing them back, per encoding.

#include "kit/foundation/string_encoding.h"

#include <gtest/gtest.h>

namespace kit {
namespace {

std::string read(std::string_view bytes, StringEncoding encoding) {
  auto s = stringWithBytes(bytes, encoding);
  return s ? s->utf8() : "<nil>";
}

std::string write(std::string_view utf8, StringEncoding encoding, bool lossy = false) {
  auto b = bytesUsingEncoding(*str(utf8), encoding, lossy);
  return b ? *b : "<nil>";
}

TEST(StringEncoding, GB18030BothDirections) {
  EXPECT_EQ(write("中文", StringEncoding::GB18030), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(write("a😀", StringEncoding::GB18030), "a\x94\x39\xFC\x36");  // four-byte form
  EXPECT_EQ(read("\xD6\xD0\xCE\xC4", StringEncoding::GB18030), "中文");
  EXPECT_EQ(read("a\x94\x39\xFC\x36", StringEncoding::GB18030), "a😀");
  EXPECT_EQ(read("", StringEncoding::GB18030), "");
  // Truncated and invalid sequences give nil.
  EXPECT_EQ(read("\xD6", StringEncoding::GB18030), "<nil>");
  EXPECT_EQ(read("\xD6\xD0\xCE", StringEncoding::GB18030), "<nil>");
  EXPECT_EQ(read("\x81\x30\x81", StringEncoding::GB18030), "<nil>");
  EXPECT_EQ(read("\xFF\xFF", StringEncoding::GB18030), "<nil>");
  // Every character round-trips, including the supplementary planes.
  std::string all = "领取成功 €£¥ ÀÉ ㄅ 가 😀 𠀀";
  EXPECT_EQ(read(write(all, StringEncoding::GB18030), StringEncoding::GB18030), all);
}

TEST(StringEncoding, UTF8IsStrict) {
  EXPECT_EQ(read("h\xC3\xA9", StringEncoding::UTF8), "hé");
  EXPECT_EQ(read("\xC3", StringEncoding::UTF8), "<nil>");
  EXPECT_EQ(read("\xC0\xAF", StringEncoding::UTF8), "<nil>");       // overlong
  EXPECT_EQ(read("\xED\xA0\x80", StringEncoding::UTF8), "<nil>");   // surrogate
  EXPECT_EQ(read("\xF4\x90\x80\x80", StringEncoding::UTF8), "<nil>");  // beyond U+10FFFF
  auto lone = String::fromUTF16(u"x\xD800");
  EXPECT_FALSE(bytesUsingEncoding(*lone, StringEncoding::UTF8));
  EXPECT_EQ(*bytesUsingEncoding(*lone, StringEncoding::UTF8, true), "x\xEF\xBF\xBD");
  EXPECT_EQ(dataUsingEncoding(*lone, StringEncoding::UTF8), nullptr);
}

TEST(StringEncoding, UTF16WithAndWithoutByteOrderMark) {
  using std::string_literals::operator""s;
  EXPECT_EQ(read("\xFF\xFE" "a\0=\xD8\0\xDE"s, StringEncoding::UTF16), "a😀");
  EXPECT_EQ(read("\xFE\xFF\0a\xD8=\xDE\0"s, StringEncoding::UTF16), "a😀");
  EXPECT_EQ(read("\0a\0b"s, StringEncoding::UTF16), "ab");  // no mark: big-endian
  EXPECT_EQ(read("a\0b\0"s, StringEncoding::UTF16LittleEndian), "ab");
  EXPECT_EQ(read("\0a\0b"s, StringEncoding::UTF16BigEndian), "ab");
  EXPECT_EQ(read("\0a\0"s, StringEncoding::UTF16BigEndian), "<nil>");  // odd length
  // A mark read in an explicit byte order stays in the text.
  EXPECT_EQ(str(read("\xFF\xFE" "a\0"s, StringEncoding::UTF16LittleEndian))->length(), 2u);

  EXPECT_EQ(write("a😀", StringEncoding::UTF16), "\xFF\xFE" "a\0=\xD8\0\xDE"s);
  EXPECT_EQ(write("a😀", StringEncoding::UTF16BigEndian), "\0a\xD8=\xDE\0"s);
  EXPECT_EQ(write("a", StringEncoding::UTF16LittleEndian), "a\0"s);
  EXPECT_EQ(lengthOfBytesUsingEncoding(*str("a😀"), StringEncoding::UTF16), 6u);
  // A lone surrogate reads and writes as the unit it is.
  auto lone = stringWithBytes("\0\xD8" "a\0"s, StringEncoding::UTF16LittleEndian);
  ASSERT_TRUE(lone);
  EXPECT_EQ(lone->utf16(), u"\xD800" u"a");
  EXPECT_EQ(*bytesUsingEncoding(*lone, StringEncoding::UTF16LittleEndian), "\0\xD8" "a\0"s);
}

TEST(StringEncoding, ASCIIAndLatin1) {
  EXPECT_EQ(read("abc", StringEncoding::ASCII), "abc");
  EXPECT_EQ(read("caf\xE9", StringEncoding::ASCII), "<nil>");
  EXPECT_EQ(read("caf\xE9", StringEncoding::ISOLatin1), "café");
  EXPECT_EQ(write("café", StringEncoding::ISOLatin1), "caf\xE9");
  EXPECT_EQ(write("café", StringEncoding::ASCII), "<nil>");
  EXPECT_EQ(write("café 中", StringEncoding::ASCII, true), "caf? ?");
  EXPECT_EQ(write("中", StringEncoding::ISOLatin1), "<nil>");

  EXPECT_TRUE(canBeConvertedToEncoding(*str("Game/1.0 (iPhone)"), StringEncoding::ASCII));
  EXPECT_FALSE(canBeConvertedToEncoding(*str("游戏/1.0"), StringEncoding::ASCII));
  EXPECT_EQ(lengthOfBytesUsingEncoding(*str("游戏"), StringEncoding::UTF8), 6u);
  EXPECT_EQ(lengthOfBytesUsingEncoding(*str("游戏"), StringEncoding::GB18030), 4u);
  EXPECT_EQ(lengthOfBytesUsingEncoding(*str("游戏"), StringEncoding::ASCII), 0u);
}

TEST(StringEncoding, DataSpellings) {
  auto data = dataUsingEncoding(*str("中"), StringEncoding::GB18030);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->toString(), "\xD6\xD0");
  auto back = stringWithData(*data, StringEncoding::GB18030);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->utf8(), "中");
  EXPECT_EQ(stringWithData(*Data::make("\xFF"), StringEncoding::UTF8), nullptr);
}

}  // namespace
}  // namespace kit
