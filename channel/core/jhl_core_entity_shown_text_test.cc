// What the channel core shows when the SDK server's answers put a list, a
// list holding null, a dictionary, a flag, a number or blanks where a text
// belongs: a refused server entry, role report or order toasts the server
// error text, as a refusal without a message does; such a value is no
// channel user, token or role id; and the launch notice's card reads no
// "<null>", "(...)" or "{...}".

#include <gtest/gtest.h>

#include "channel/core/vanu_notice_view.h"
#include "channel/testing/core_road_fixture.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/base/testing/shown_texts.h"

namespace {

// What the HUD shows for a refusal it cannot read.
constexpr const char* kServerError = "服务器异常！";

class CoreShownText : public CoreRoadFixture {
 protected:
  // The texts the HUD showed for one refusal of `route`, made by `ask`.
  std::vector<std::string> refusalShown(const std::string& route, const std::string& message,
                                        const std::function<void()>& ask) {
    hudTexts.clear();
    server.setReply(route, R"({"code":"403","msg":)" + message + "}");
    const size_t before = server.requestsTo(route).size();
    ask();
    EXPECT_TRUE(kit::test::runUntil([&] { return server.requestsTo(route).size() > before; })) << message;
    EXPECT_TRUE(waitForHUD(1)) << message;
    drainMain();
    return hudTexts;
  }
};

TEST_F(CoreShownText, RefusalsWithoutAReadableMessageToastTheServerError) {
  logIn();
  reportRole();
  for (const std::string& message : shown::unreadableMessages()) {
    const std::vector<std::string> expected{kServerError};
    EXPECT_EQ(refusalShown("login/enter", message,
                           [&] { core->nuva_canEnterGameWithServiceID(kit::str("4"), kit::str("白虎")); }),
              expected)
        << message;
    EXPECT_EQ(refusalShown("role/index", message, [&] { core->nuva_superRoleUpdate(roleJSON()); }), expected)
        << message;
    EXPECT_EQ(refusalShown("order/index", message, [&] { core->nuva_superOrder(orderJSON()); }), expected)
        << message;
  }
  // The role refused each time is not taken; a readable refusal still
  // shows the server's words.
  EXPECT_EQ(kit::describe(core->roleid()), "r1");
  EXPECT_EQ(refusalShown("role/index", R"(" 角色已封禁 ")", [&] { core->nuva_superRoleUpdate(roleJSON()); }),
            std::vector<std::string>{" 角色已封禁 "});
}

TEST_F(CoreShownText, ListsDictionariesAndFlagsAreNoUsersTokensOrRoles) {
  logIn();
  reportRole();
  const std::string userBefore = kit::describe(core->super_user_id()), tokenBefore = kit::describe(core->token());
  for (const std::string& v : shown::notTexts()) {
    for (const std::string& reply : {R"({"code":"200","data":{"super_user_id":)" + v + R"(,"token":"abcdefgh"}})",
                                     R"({"code":"200","data":{"super_user_id":"12","token":)" + v + "}}"}) {
      server.setReply("login/index", reply);
      kit::test::LogCapture logs;
      core->nuva_lightLoginStart();
      ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("channel login refused"); })) << reply;
      EXPECT_EQ(kit::describe(core->super_user_id()), userBefore) << reply;
      EXPECT_EQ(kit::describe(core->token()), tokenBefore) << reply;
    }
    // A report the server took without a role id it could name.
    hudTexts.clear();
    server.setReply("role/index", R"({"code":"200","msg":"上报成功","data":{"role_id":)" + v + "}}");
    core->nuva_superRoleUpdate(roleJSON({{"role_id", "20000"}}));
    ASSERT_TRUE(waitForHUD(1)) << v;
    drainMain();
    EXPECT_EQ(hudTexts, std::vector<std::string>{"上报成功"}) << v;
    EXPECT_EQ(kit::describe(core->roleid()), "r1") << v;
  }
}

class CoreShownNotice : public CoreShownText {
 protected:
  void SetUp() override {
    CoreShownText::SetUp();
    // The launch's own "init" (no notice) is answered first.
    ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("launch notice:"); }));
  }
  std::vector<kit::Ref<VANUNoticeView>> notices() const {
    return kit::test::findViewsOfType<VANUNoticeView>(*window);
  }
  // Answers "init" with the notice and waits until the answer was handled.
  void askForNotice(const std::string& notice) {
    for (const auto& card : notices()) card->sureBtnClick();
    server.setReply("init", R"({"code":"200","data":{"notice_data":)" + notice + "}}");
    logs.clear();
    core->nvSetNoticeView();
    ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("launch notice:") || !notices().empty(); }));
    drainMain();
    window->layoutIfNeeded();
  }

  kit::test::LogCapture logs;
};

TEST_F(CoreShownNotice, ANoticeShowsNoCollectionsOrNulls) {
  for (const std::string& v : shown::notTexts()) {
    // A title that is no text shows no card.
    askForNotice(R"({"notice_title":)" + v + R"(,"notice_type":"1","notice_content":"x"})");
    EXPECT_TRUE(notices().empty()) << v;

    // The text form and the link form, their body and link text not texts.
    for (const std::string& type : {R"("1")", R"("3")"}) {
      askForNotice(R"({"notice_title":"公告","notice_type":)" + type + R"(,"notice_content":)" + v +
                   R"(,"notice_url":)" + v + "}");
      ASSERT_EQ(notices().size(), 1u) << v;
      EXPECT_EQ(notices()[0]->titleView()->text(), "公告");
      EXPECT_EQ(notices()[0]->textView()->text(), "") << v;
      EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{}) << v;
    }
    // A link document (JSON in the content's text) whose parts are not
    // texts.
    std::string inText;
    for (char c : v) inText += c == '"' ? std::string("\\\"") : std::string(1, c);
    const std::string document = R"({\"content\":)" + inText + R"(,\"url_content\":)" + inText + "}";
    askForNotice(R"({"notice_title":"公告","notice_type":"3","notice_content":")" + document + R"("})");
    ASSERT_EQ(notices().size(), 1u) << document;
    EXPECT_EQ(notices()[0]->textView()->text(), "") << document;
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{}) << document;
  }
}

TEST_F(CoreShownNotice, TheTitleAndBodyShowEachShapeByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    SCOPED_TRACE(v.json);
    // A title that shows nothing visible opens no card, as a missing one;
    // a number shows as its text.
    const bool titled = !v.message.empty() || v.json == "0" || v.json == "7.5";
    askForNotice(R"({"notice_title":)" + v.json + R"(,"notice_type":"1","notice_content":"今晚维护"})");
    ASSERT_EQ(notices().size(), titled ? 1u : 0u);
    if (titled) EXPECT_EQ(notices()[0]->titleView()->text(), v.label);

    askForNotice(R"({"notice_title":"公告","notice_type":"1","notice_content":)" + v.json + "}");
    ASSERT_EQ(notices().size(), 1u);
    EXPECT_EQ(notices()[0]->textView()->text(), v.label);
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{});
  }
}

}  // namespace
