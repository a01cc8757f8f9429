// Writing and reading the scripts clients evaluate: texts that come back
// from a written call exactly as sent, bytes that are not UTF-8 replaced as
// the WHATWG decoder counts them (checked against ICU's decoder, which
// counts the same way), callbacks with JSON arguments, escapes, several
// calls, and the syntax errors a page would throw (an unescaped quote or
// line break inside the argument).

#include <gtest/gtest.h>
#include <unicode/ustring.h>

#include "kit/foundation/string.h"
#include "kit/foundation/values.h"
#include "kit/web/script_call.h"

namespace {

// ICU's reading of bytes as UTF-8 with U+FFFD for each ill-formed
// sequence; a lone surrogate in kit's 3-byte form is taken as its unit.
std::u16string icuReading(std::string_view bytes) {
  std::u16string out;
  auto convert = [&](std::string_view piece) {
    if (piece.empty()) return;
    std::u16string units(piece.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(units.data()), static_cast<int32_t>(units.size()), &length,
                         piece.data(), static_cast<int32_t>(piece.size()), 0xFFFD, nullptr, &status);
    EXPECT_TRUE(U_SUCCESS(status));
    out.append(units, 0, static_cast<size_t>(length));
  };
  size_t start = 0;
  for (size_t i = 0; i + 2 < bytes.size(); ++i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    if (b(i) == 0xED && b(i + 1) >= 0xA0 && b(i + 1) <= 0xBF && (b(i + 2) & 0xC0) == 0x80) {
      convert(bytes.substr(start, i - start));
      out += static_cast<char16_t>(0xD000 | ((b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F));
      start = i + 3;
      i += 2;
    }
  }
  convert(bytes.substr(start));
  return out;
}

// The text the page function gets from a call written by scriptCall.
std::optional<std::u16string> readBack(const std::string& script) {
  kit::ScriptCallParse parse = kit::parseScriptCalls(script);
  if (!parse.ok() || parse.calls.size() != 1 || parse.calls[0].arguments.size() != 1) return std::nullopt;
  auto text = parse.calls[0].firstString();
  if (!text) return std::nullopt;
  return kit::utf8ToUTF16(*text);
}

TEST(ScriptLiteral, InvalidUTF8IsReplacedOncePerIllFormedSequence) {
  struct Case {
    std::string bytes;
    std::string replaced;
  };
  const Case cases[] = {
      // The example of the Unicode standard's table of maximal subparts.
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       "a\uFFFD\uFFFD\uFFFD" "b\uFFFD" "c\uFFFD\uFFFD" "d"},
      {"\xE2\x82", "\uFFFD"},
      {"\xE2\x82" "A", "\uFFFD" "A"},
      {"\xC0\xAF", "\uFFFD\uFFFD"},                          // overlong "/"
      {"\xE0\x80\xAF", "\uFFFD\uFFFD\uFFFD"},                // overlong "/"
      {"\xF0\x8F\xBF\xBF", "\uFFFD\uFFFD\uFFFD\uFFFD"},        // overlong U+FFFF
      {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},        // beyond U+10FFFF
      {"\xF8\x88\x80\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xFE\xFF", "\uFFFD\uFFFD"},
      {"\xED\xA0", "\uFFFD\uFFFD"},                          // half a surrogate
      {"\xF0\x9F\x98", "\uFFFD"},
      // Well-formed text at the edges of the ranges stays as it is.
      {"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
       "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      {"月卡 \U0001F600", "月卡 \U0001F600"},
      // A lone surrogate as kit::String holds it is text.
      {"a\xED\xA0\xBD" "b", "a\xED\xA0\xBD" "b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kit::replacingInvalidUTF8(c.bytes), c.replaced) << c.bytes;
    EXPECT_EQ(kit::utf8ToUTF16(c.replaced), icuReading(c.bytes)) << c.bytes;
  }

  // Every short sequence of bytes around the edges of the ranges reads as
  // ICU reads it.
  const unsigned char edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF,
                                 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
  size_t differing = 0;
  for (unsigned char a : edges)
    for (unsigned char b : edges)
      for (unsigned char c : edges)
        for (unsigned char d : edges) {
          const std::string bytes{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                                  static_cast<char>(d)};
          if (kit::utf8ToUTF16(kit::replacingInvalidUTF8(bytes)) != icuReading(bytes) && ++differing < 5)
            ADD_FAILURE() << std::hex << int(a) << " " << int(b) << " " << int(c) << " " << int(d);
        }
  EXPECT_EQ(differing, 0u);
}

TEST(ScriptLiteral, EveryTextComesBackFromTheCallAsSent) {
  std::string controls;
  for (char c = 0; c < 0x20; ++c) controls += c;
  const std::string texts[] = {
      "",
      "O'Neil said \"hi\"",
      "back\\slash \\' \\\\ \\n \\u0041 \\x41",
      "');alert(1);('",
      "line\xE2\x80\xA8separator\xE2\x80\xA9paragraph\nnewline\rreturn",
      controls + "\x7F",
      "凌霄 \U0001F600 </script>",
      "lone \xED\xA0\xBD high, \xED\xB0\x80 low, a pair \xED\xA0\xBD\xED\xB8\x80",
  };
  for (const std::string& text : texts) {
    const std::string script = kit::scriptCall("CallbackFromIOS", text);
    EXPECT_TRUE(kit::isValidUTF8(script)) << script;
    EXPECT_EQ(script.find_first_of("\n\r"), std::string::npos) << script;
    EXPECT_EQ(script.find('\0'), std::string::npos) << script;
    EXPECT_EQ(kit::parseScriptCalls(script).calls.at(0).function, "CallbackFromIOS");
    EXPECT_EQ(readBack(script), kit::utf8ToUTF16(text)) << script;
  }
  EXPECT_EQ(kit::scriptCall("f", "it's\n"), R"(f('it\'s\n'))");
  EXPECT_EQ(kit::javaScriptStringLiteral("\xED\xA0\xBD\x01"), R"('\uD83D\x01')");

  // Bytes that are not UTF-8 come back replaced, and the script holds none.
  const std::string broken = "a\xE2\x82'\xC0\xAF\xFF";
  const std::string script = kit::scriptCall("f", broken);
  EXPECT_EQ(script, "f('a\uFFFD\\'\uFFFD\uFFFD\uFFFD')");
  EXPECT_EQ(readBack(script), kit::utf8ToUTF16(kit::replacingInvalidUTF8(broken)));
}

TEST(ScriptCall, RawBytesThatAreNotUTF8ReadAsBrowsersDecodeThem) {
  // A script that carries such bytes itself (not one scriptCall wrote).
  auto parse = kit::parseScriptCalls("f('\xE2\x82|\xF0\x9F\x98|\xC0\xAF')");
  ASSERT_TRUE(parse.ok()) << parse.error;
  EXPECT_EQ(kit::describe(parse.calls[0].arguments[0]), "\uFFFD|\uFFFD|\uFFFD\uFFFD");
}

TEST(ScriptCall, CallbacksDecodeToTheirJSON) {
  auto decoded = kit::decodeCallbackArguments(
      R"(CallbackFromIOS('{"action":"loginNotify","data":{"super_user_id":"42","token":"t"}}'))");
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->size(), 1u);
  kit::Id reply = (*decoded)[0];
  EXPECT_EQ(kit::describe(reply["action"]), "loginNotify");
  EXPECT_EQ(kit::describe(reply["data"]["super_user_id"]), "42");

  decoded = kit::decodeCallbackArguments(
      "CallbackFromIOS(\"{\\\"action\\\":\\\"goPay\\\"}\");\n  CallbackFromIOS('{\"action\":\"clientlogout\"}') ;");
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->size(), 2u);
  EXPECT_EQ(kit::describe((*decoded)[0]["action"]), "goPay");
  EXPECT_EQ(kit::describe((*decoded)[1]["action"]), "clientlogout");
  // Other functions and argument shapes are not callbacks.
  decoded = kit::decodeCallbackArguments("other('x'); CallbackFromIOS(1, 2); CallbackFromIOS('not json')");
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->size(), 1u);
  EXPECT_EQ(kit::describe((*decoded)[0]), "not json");
}

TEST(ScriptCall, EscapesReadAsAnEngineReadsThem) {
  auto parse = kit::parseScriptCalls(R"(f('a\'b\\c\n\u4f60\x41\u{1F600}', "d\"e", -1.5e2, true, null, undefined))");
  ASSERT_TRUE(parse.ok()) << parse.error;
  ASSERT_EQ(parse.calls.size(), 1u);
  const auto& args = parse.calls[0].arguments;
  ASSERT_EQ(args.size(), 6u);
  EXPECT_EQ(kit::describe(args[0]), "a'b\\c\n你A\U0001F600");
  EXPECT_EQ(kit::describe(args[1]), "d\"e");
  EXPECT_EQ(kit::describe(args[2]), "-150");
  EXPECT_EQ(args[3], kit::Number::yes());
  EXPECT_TRUE(kit::isKind<kit::Null>(args[4]));
  EXPECT_FALSE(args[5]);
  EXPECT_EQ(kit::parseScriptCalls("window.bridge.call('x') // done").calls[0].function, "window.bridge.call");
  EXPECT_TRUE(kit::parseScriptCalls("  ;;  ").ok());
}

TEST(ScriptCall, BrokenQuotesAndStrayCodeAreSyntaxErrors) {
  // A JSON value holding a single quote, put into the call unescaped.
  auto parse = kit::parseScriptCalls(R"(CallbackFromIOS('{"name":"O'Brien"}'))");
  EXPECT_FALSE(parse.ok());
  EXPECT_NE(parse.error.find("SyntaxError"), std::string::npos);
  EXPECT_FALSE(kit::decodeCallbackArguments(R"(CallbackFromIOS('{"a":"x'y"}'))"));
  // A raw line break inside the literal.
  EXPECT_FALSE(kit::parseScriptCalls("CallbackFromIOS('{\"a\":\"1\n2\"}')").ok());
  EXPECT_FALSE(kit::parseScriptCalls("CallbackFromIOS('x'").ok());
  EXPECT_FALSE(kit::parseScriptCalls("alert(document.cookie)").ok());
  EXPECT_FALSE(kit::parseScriptCalls("f('a') g('b')").ok());
  EXPECT_FALSE(kit::parseScriptCalls("f('\\u12')").ok());
  EXPECT_FALSE(kit::parseScriptCalls("f('\\01')").ok());
  EXPECT_FALSE(kit::parseScriptCalls("/* open").ok());
}

}  // namespace
