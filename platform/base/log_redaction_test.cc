// Secrets masked for the logs: the keys that count as secret, replies and
// bodies as values (nested, in lists, with null values), and texts that
// carry a secret as a query, as JSON or as a description.

#include "platform/base/log_redaction.h"

#include <gtest/gtest.h>

#include "kit/foundation/format.h"
#include "kit/foundation/values.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

TEST(LogRedaction, SecretKeysAreTokensPasswordsAndSessions) {
  for (const char* key : {"token", "Token", "access_token", "serviceToken", "password", "passWord", "passwd", "pwd",
                          "KT_pwd", "urserPwd", "session_id", "sid", "KT_sid"}) {
    EXPECT_TRUE(LogRedaction::isSecretKey(key)) << key;
  }
  for (const char* key : {"uid", "super_user_id", "sign", "side", "sidebar", "msg", "code", "b", "c", ""}) {
    EXPECT_FALSE(LogRedaction::isSecretKey(key)) << key;
  }
}

TEST(LogRedaction, RepliesAndBodiesKeepEverythingButTheirSecrets) {
  // The channel login's answer.
  auto reply = kit::dict({{"code", 200},
                          {"msg", "登录成功"},
                          {"data", kit::dict({{"super_user_id", "SU1"}, {"token", "tok-secret"}})},
                          {"list", kit::array({kit::dict({{"password", "pw-secret"}}), "plain"})},
                          {"pwd", kit::Null::null()}});
  kit::Id masked = LogRedaction::redacted(reply);
  const std::string text = d(masked);
  EXPECT_EQ(text.find("tok-secret"), std::string::npos) << text;
  EXPECT_EQ(text.find("pw-secret"), std::string::npos) << text;
  EXPECT_EQ(d(masked["data"]["token"]), "***");
  EXPECT_EQ(d(masked["data"]["super_user_id"]), "SU1");
  EXPECT_EQ(d(kit::as<kit::Array>(masked["list"])->objectAtIndex(0)["password"]), "***");
  EXPECT_EQ(d(kit::as<kit::Array>(masked["list"])->objectAtIndex(1)), "plain");
  EXPECT_EQ(d(masked["msg"]), "登录成功");
  EXPECT_EQ(d(masked["code"]), "200");
  EXPECT_TRUE(kit::isKind<kit::Null>(masked["pwd"])) << "nothing to hide";
  EXPECT_EQ(d(kit::Id(reply)["data"]["token"]), "tok-secret") << "the value itself is not touched";
  EXPECT_EQ(kit::as<kit::Dictionary>(masked)->keys().size(), 5u);

  // Without secrets the value comes back as it is; nil and numbers too.
  auto clean = kit::dict({{"code", "1"}, {"data", kit::array({1, 2})}});
  EXPECT_EQ(LogRedaction::redacted(clean), kit::Id(clean));
  EXPECT_EQ(LogRedaction::redacted(nullptr), nullptr);
  EXPECT_EQ(d(LogRedaction::redacted(kit::num(7))), "7");

  // A body kept as text.
  EXPECT_EQ(d(LogRedaction::redacted(kit::str(R"({"token":"abc","uid":"7"})"))), R"({"token":"***","uid":"7"})");
}

TEST(LogRedaction, TextsLoseTheValuesOfSecretKeysInEveryForm) {
  EXPECT_EQ(LogRedaction::redactedText("https://h/p?uid=1&token=abc123&x=2"), "https://h/p?uid=1&token=***&x=2");
  EXPECT_EQ(LogRedaction::redactedText("{\"token\": \"a\\\"b\", \"pwd\":42}"), "{\"token\": \"***\", \"pwd\":***}");
  EXPECT_EQ(LogRedaction::redactedText("{\n\ttoken = tok1;\n\tuid = 3;\n}"), "{\n\ttoken = ***;\n\tuid = 3;\n}");
  EXPECT_EQ(LogRedaction::redactedText("password: hunter2"), "password: ***");
  EXPECT_EQ(LogRedaction::redactedText("'passwd'='x y'"), "'passwd'='***'");
  // A nested value keeps its shape; its own secrets go.
  EXPECT_EQ(LogRedaction::redactedText("session = {\n token = t;\n}"), "session = {\n token = ***;\n}");
  // A key without a value, an unterminated quote, and words that only
  // mention a secret.
  EXPECT_EQ(LogRedaction::redactedText("token="), "token=");
  EXPECT_EQ(LogRedaction::redactedText("token=\"abc"), "token=\"***");
  EXPECT_EQ(LogRedaction::redactedText("no token here, 密码 shown"), "no token here, 密码 shown");
  EXPECT_EQ(LogRedaction::redactedText(""), "");
  // A logged description of a whole reply.
  const std::string line = kit::formatString("reply: %@", kit::dict({{"token", "zzz"}, {"msg", "ok"}}));
  EXPECT_EQ(LogRedaction::redactedText(line).find("zzz"), std::string::npos) << line;
}

}  // namespace
