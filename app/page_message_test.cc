// The script bridge's texts: reading page messages, the role and order
// texts for the core, and answers that reach the page exactly as written.

#include "app/page_message.h"

#include <gtest/gtest.h>

#include "data/json/json_text.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/web/script_call.h"

namespace {

// The text the page function receives from an answer script, read by the
// page driver's script reader as an engine reads it; nullopt when the
// script is not one call with one text argument (a text that broke out).
std::optional<std::string> receivedByThePage(const std::string& script) {
  kit::ScriptCallParse parse = kit::parseScriptCalls(script);
  if (!parse.ok() || parse.calls.size() != 1 || parse.calls[0].function != "CallbackFromIOS" ||
      parse.calls[0].arguments.size() != 1)
    return std::nullopt;
  return parse.calls[0].firstString();
}

TEST(PageMessage, ReadsActionAndFieldsWithNullAsUnset) {
  auto message = PageMessage::parse(kit::str(R"({"action":"pay","data":{"money":6.5,"remark":null,"good_name":"月卡"}})"));
  EXPECT_EQ(message.action()->utf8(), "pay");
  EXPECT_EQ(message.field("money")->utf8(), "6.5");
  EXPECT_EQ(message.field("remark")->utf8(), "(null)");
  EXPECT_EQ(message.field("missing")->utf8(), "(null)");
  EXPECT_EQ(message.field("good_name")->utf8(), "月卡");

  for (const char* junk : {"", "not json", "[1,2]", "\"text\"", R"({"action":{"x":1}})"}) {
    auto parsed = PageMessage::parse(kit::str(junk));
    EXPECT_NE(parsed.action()->utf8(), "pay") << junk;
    EXPECT_EQ(parsed.field("role_id")->utf8(), "(null)") << junk;
  }
  EXPECT_EQ(PageMessage::parse(nullptr).action()->utf8(), "(null)");
}

TEST(PageMessage, RoleTextsNeedTheirFourFieldsAndCarryTheDefaults) {
  auto full = PageMessage::parse(kit::str(
      R"({"action":"uploadGameRoleInfo","data":{"role_id":"10086","service_id":3,"service_name":"青龙","role_name":"凌霄"}})"));
  auto text = full.roleJSON(kit::str("99"));
  ASSERT_TRUE(text);
  kit::Id role = objectFromJSONString(*text);
  EXPECT_EQ(kit::describe(role["super_user_id"]), "99");
  EXPECT_EQ(kit::describe(role["service_id"]), "3");
  EXPECT_EQ(kit::describe(role["role_level"]), "(null)");
  EXPECT_EQ(kit::describe(role["power_value"]), "(null)");
  EXPECT_EQ(kit::describe(role["money"]), "金币");
  EXPECT_EQ(kit::describe(role["describe"]), "");
  EXPECT_EQ(kit::describe(role["experience"]), "");
  EXPECT_NE(text->utf8().find('\n'), std::string::npos);  // pretty-printed

  EXPECT_FALSE(full.roleJSON(nullptr) == nullptr);  // the user is left out, not required here
  for (const char* dropped :
       {R"({"data":{"role_id":null,"service_id":"3","service_name":"a","role_name":"b"}})",
        R"J({"data":{"role_id":"(null)","service_id":"3","service_name":"a","role_name":"b"}})J",
        R"({"data":{"role_id":"1","service_id":"","service_name":"a","role_name":"b"}})",
        R"({"data":{"role_id":"1","service_id":"3","role_name":"b"}})"}) {
    EXPECT_EQ(PageMessage::parse(kit::str(dropped)).roleJSON(kit::str("99")), nullptr) << dropped;
  }
}

TEST(PageMessage, OrderTextsPassEveryFieldThrough) {
  auto message = PageMessage::parse(kit::str(R"({"data":{"money":"6.00","good_name":"月 卡","good_id":60}})"));
  kit::Id order = objectFromJSONString(*message.orderJSON(nullptr));
  EXPECT_EQ(kit::describe(order["money"]), "6.00");
  EXPECT_EQ(kit::describe(order["good_name"]), "月 卡");
  EXPECT_EQ(kit::describe(order["good_id"]), "60");
  EXPECT_EQ(kit::describe(order["remark"]), "(null)");
  EXPECT_EQ(order["super_user_id"], nullptr);
}

TEST(PageMessage, UnreadableMessagesMatchNothingAndLeaveOneLogLineWithTheReason) {
  struct Case {
    kit::Id body;
    const char* reason;
  };
  const Case cases[] = {
      {kit::str(R"({"action":"pay","data":{"money":123456789012345678901234567890}})"),
       "'123456789012345678901234567890' exceeded the maximum value"},
      {kit::str(R"({"action":"pay","data":{"money":-9223372036854775809}})"),
       "'-9223372036854775809' exceeded the minimum value"},
      {kit::str(R"({"action":"login","data":{"n":1e999}})"), "'1e999' could not be represented as a 'double'"},
      {kit::str(R"({"action":"login",)"), "Reached the end of the buffer"},
      {kit::str("login"), "Unexpected token"},
      {nullptr, "no body"},
  };
  for (const Case& c : cases) {
    kit::test::LogCapture logs;
    auto message = PageMessage::parse(c.body);
    EXPECT_EQ(message.object(), nullptr);
    EXPECT_EQ(message.action()->utf8(), "(null)");
    ASSERT_EQ(logs.count(), 1u) << kit::describe(c.body);
    EXPECT_TRUE(logs.contains("eventComplete: message not read")) << logs.messages()[0];
    EXPECT_TRUE(logs.contains(c.reason)) << logs.messages()[0];
  }
  // The largest integers the codec holds, and a message that reads, log nothing.
  kit::test::LogCapture logs;
  auto message = PageMessage::parse(
      kit::str(R"({"action":"pay","data":{"money":18446744073709551615,"n":-9223372036854775808,"d":1e308}})"));
  EXPECT_EQ(message.action()->utf8(), "pay");
  EXPECT_EQ(message.field("money")->utf8(), "18446744073709551615");
  EXPECT_EQ(logs.count(), 0u);
}

TEST(PageMessage, AnswersReachThePageAsWrittenWithInvalidUTF8ReplacedOncePerSequence) {
  const std::string hostile = std::string("凌'霄\\\n\r\t\xE2\x80\xA8\xE2\x80\xA9 nul[") + '\0' + "] end";
  struct Case {
    std::string sent;
    std::string received;
  };
  const Case cases[] = {
      {"G-'); alert(1); //", "G-'); alert(1); //"},
      {hostile, hostile},
      // Truncated, overlong, beyond U+10FFFF, a stray continuation byte and
      // bytes that start nothing: each ill-formed sequence reads as one U+FFFD.
      {"a\xE2\x82" "b\xC0\xAF" "c\xF0\x9F\x98\xFF" "d\xF4\x90\x80\x80" "e\x80" "f\xE2\x82",
       "a\uFFFD" "b\uFFFD\uFFFD" "c\uFFFD\uFFFD" "d\uFFFD\uFFFD\uFFFD\uFFFD" "e\uFFFD" "f\uFFFD"},
      {"月\xE6\x9C卡", "月\uFFFD卡"},
  };
  for (const Case& c : cases) {
    auto message = kit::dict({{"action", "payNotify"}, {"data", kit::dict({{"cp_order", c.sent}})}});
    const std::string script = PageMessage::callbackScript(message)->utf8();
    EXPECT_TRUE(kit::isValidUTF8(script)) << script;
    auto received = receivedByThePage(script);
    ASSERT_TRUE(received) << script;
    // As the page's JSON.parse reads it.
    kit::Id parsed = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(*received));
    EXPECT_EQ(kit::describe(parsed["action"]), "payNotify");
    EXPECT_EQ(kit::describe(parsed["data"]["cp_order"]), c.received) << script;
  }
  EXPECT_EQ(PageMessage::callbackScript(nullptr)->utf8(), "CallbackFromIOS('{}')");
}

}  // namespace
