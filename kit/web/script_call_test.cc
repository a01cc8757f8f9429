// Reading the scripts clients evaluate: callbacks with JSON arguments,
// escapes, several calls, and the syntax errors a page would throw (an
// unescaped quote or line break inside the argument).

#include <gtest/gtest.h>

#include "kit/foundation/values.h"
#include "kit/web/script_call.h"

namespace {

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
