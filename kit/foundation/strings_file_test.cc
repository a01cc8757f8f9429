// The strings-file reader: the format's escapes, comments and encodings,
// and malformed files reported with their line.

#include "kit/foundation/strings_file.h"

#include <gtest/gtest.h>

#include "kit/foundation/values.h"

namespace kit {
namespace {

std::string utf16(std::u16string_view text, bool littleEndian, bool bom) {
  std::string out;
  if (bom) out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t u : text) {
    char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    out += littleEndian ? lo : hi;
    out += littleEndian ? hi : lo;
  }
  return out;
}

TEST(StringsFile, ReadsTheFormat) {
  const char* text = R"(/* Login screen */
"login.title" = "账号登录";
// a line comment
"escapes" = "tab\there \"quoted\" back\\slash\nnew line \U9886\u53d6 \UD83D\UDE00 \101";
unquoted_key = "value";
"spread"
   =
   "across lines" ;
"alone";
"dup" = "first";
"dup" = "second";
"multi /* not a comment */" = "line
break";
)";
  Ref<Error> error;
  Ref<Dictionary> table = StringsFile::parseText(text, &error);
  ASSERT_TRUE(table) << describe(error);
  Id t = table;
  EXPECT_EQ(describe(t["login.title"]), "账号登录");
  EXPECT_EQ(describe(t["escapes"]), "tab\there \"quoted\" back\\slash\nnew line 领取 😀 A");
  EXPECT_EQ(describe(t["unquoted_key"]), "value");
  EXPECT_EQ(describe(t["spread"]), "across lines");
  EXPECT_EQ(describe(t["alone"]), "alone");
  EXPECT_EQ(describe(t["dup"]), "second");
  EXPECT_EQ(describe(t["multi /* not a comment */"]), "line\nbreak");
  EXPECT_EQ(table->count(), 7u);
  EXPECT_EQ(StringsFile::parseText("  /* only a comment */ \n")->count(), 0u);
}

TEST(StringsFile, DecodesUTF16AndUTF8WithByteOrderMarks) {
  std::u16string text = u"\"greeting\" = \"你好\";\n";
  for (bool le : {true, false}) {
    for (bool bom : {true, false}) {
      Ref<Dictionary> table = StringsFile::parse(Data::make(utf16(text, le, bom)));
      ASSERT_TRUE(table) << le << bom;
      EXPECT_EQ(describe(table->objectForKey(std::string_view("greeting"))), "你好");
    }
  }
  Ref<Dictionary> bomUTF8 = StringsFile::parse(Data::make("\xEF\xBB\xBF\"k\" = \"v\";"));
  ASSERT_TRUE(bomUTF8);
  EXPECT_EQ(describe(bomUTF8->objectForKey(std::string_view("k"))), "v");
  Ref<Error> error;
  EXPECT_EQ(StringsFile::parse(Data::make("\"k\" = \"\xff\";"), &error), nullptr);
  EXPECT_TRUE(error);
}

TEST(StringsFile, MalformedFilesNameTheLine) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"\"a\" = \"b\";\n\"c\" = \"d\"\n\"e\" = \"f\";", "line 3: expected ';' after the value of \"c\""},
      {"\"a\" \"b\";", "line 1: expected '=' or ';' after the key \"a\""},
      {"\"a\" = \"b\";\n/* open", "line 2: a comment is not closed"},
      {"\n\n\"a\" = \"never closed;", "line 3: a quoted string is not closed"},
      {"\"a\" = ;", "line 1: expected a value, found ';'"},
      {"\"a\" =", "expected a value before the end of the file"},
      {"\"a\" = \"\\U12\";", "four hex digits"},
      {"= \"b\";", "expected a key, found '='"},
  };
  for (const Case& c : cases) {
    Ref<Error> error;
    EXPECT_EQ(StringsFile::parseText(c.text, &error), nullptr) << c.text;
    ASSERT_TRUE(error) << c.text;
    EXPECT_EQ(error->code(), 3840);
    std::string detail = describe(error->userInfo()->objectForKey(std::string_view("NSDebugDescription")));
    EXPECT_NE(detail.find(c.expected), std::string::npos) << detail;
  }
}

}  // namespace
}  // namespace kit
