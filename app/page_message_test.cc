// The script bridge's texts: reading page messages, the role and order
// texts for the core, and answers that reach the page exactly as written.

#include "app/page_message.h"

#include <gtest/gtest.h>

#include "data/json/json_text.h"
#include "kit/foundation/values.h"

namespace {

// What a JavaScript engine makes of the body of a single-quoted literal
// (the escapes the bridge writes, and no raw quote or line break).
std::optional<std::string> evaluateLiteralBody(const std::string& body) {
  std::string out;
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c == '\'' || c == '\n' || c == '\r') return std::nullopt;  // would end the literal
    if (body.compare(i, 3, "\xE2\x80\xA8") == 0 || body.compare(i, 3, "\xE2\x80\xA9") == 0) return std::nullopt;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= body.size()) return std::nullopt;
    switch (body[i]) {
      case '\\': out += '\\'; break;
      case '\'': out += '\''; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 'u':
        if (body.compare(i + 1, 4, "2028") == 0) out += "\xE2\x80\xA8";
        else if (body.compare(i + 1, 4, "2029") == 0) out += "\xE2\x80\xA9";
        else return std::nullopt;
        i += 4;
        break;
      default: out += body[i];  // an escape JavaScript reads as the character itself
    }
  }
  return out;
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

TEST(PageMessage, AnswersReachThePageExactlyAsWritten) {
  auto message = kit::dict({{"action", "payNotify"},
                            {"data", kit::dict({{"cp_order", "G-'); alert(1); //"},
                                                {"role_name", "凌'霄\\\n\r\xE2\x80\xA8\xE2\x80\xA9" "end"}})}});
  auto script = PageMessage::callbackScript(message)->utf8();
  ASSERT_TRUE(script.starts_with("CallbackFromIOS('"));
  ASSERT_TRUE(script.ends_with("')"));
  std::string body = script.substr(17, script.size() - 19);
  auto received = evaluateLiteralBody(body);
  ASSERT_TRUE(received) << script;
  kit::Id parsed = objectFromJSONString(*kit::str(*received));
  EXPECT_EQ(kit::describe(parsed["data"]["cp_order"]), "G-'); alert(1); //");
  EXPECT_EQ(kit::describe(parsed["data"]["role_name"]), "凌'霄\\\n\r\xE2\x80\xA8\xE2\x80\xA9" "end");
  EXPECT_EQ(kit::describe(parsed["action"]), "payNotify");
}

}  // namespace
