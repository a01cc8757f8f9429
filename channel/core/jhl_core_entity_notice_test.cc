// The init request and the launch notice against the simulated SDK server:
// what "init" carries, which answers show the notice card on the key window
// and which show nothing.

#include <gtest/gtest.h>

#include "channel/core/vanu_notice_view.h"
#include "channel/testing/core_road_fixture.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/ui_test_driver.h"

namespace {

class CoreNotice : public CoreRoadFixture {
 protected:
  void SetUp() override {
    CoreRoadFixture::SetUp();
    // The launch's own "init" (no notice) is answered first.
    ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("launch notice:"); }));
  }
  std::vector<kit::Ref<VANUNoticeView>> notices() const {
    return kit::test::findViewsOfType<VANUNoticeView>(*window);
  }
  // Sends "init" again and waits until its answer was handled.
  void askForNotice() {
    logs.clear();
    core->nvSetNoticeView();
    ASSERT_TRUE(kit::test::runUntil([&] { return logs.contains("launch notice:") || !notices().empty(); }));
    drainMain();
  }
  static sim::ChannelSDKServer::Notice notice(std::string type, std::string title, std::string content) {
    sim::ChannelSDKServer::Notice n;
    n.type = std::move(type);
    n.title = std::move(title);
    n.content = std::move(content);
    return n;
  }

  kit::test::LogCapture logs;
};

TEST_F(CoreNotice, LaunchSendsInitWithPlatformGameAndSystem) {
  ASSERT_TRUE(kit::test::runUntil([&] { return !server.requestsTo("init").empty(); }));
  auto init = server.requestsTo("init")[0];
  EXPECT_EQ(init.method, "POST");
  EXPECT_EQ(init.field("platform_id"), "256");
  EXPECT_EQ(init.field("game_id"), "1001");
  EXPECT_EQ(init.field("os_type"), "2");
  EXPECT_EQ(init.fields.size(), 3u);
}

TEST_F(CoreNotice, ANoticeWithATitleShowsTheCardOnTheKeyWindow) {
  server.setNotice(notice("1", "T", "今晚22点停服维护"));
  askForNotice();
  ASSERT_EQ(notices().size(), 1u);
  auto card = notices()[0];
  EXPECT_EQ(kit::describe(card->notice_title()), "T");
  EXPECT_EQ(kit::describe(card->notice_type()), "1");
  EXPECT_EQ(kit::describe(card->notice_content()), "今晚22点停服维护");
  EXPECT_EQ(kit::describe(card->notice_url()), "");
  ASSERT_TRUE(card->coverView());
  card->sureBtnClick();
  EXPECT_TRUE(notices().empty());
}

TEST_F(CoreNotice, MissingValuesReachTheCardAsNullText) {
  server.setReply("init", R"({"code":200,"data":{"notice_data":{"notice_title":"公告","notice_type":1}}})");
  askForNotice();
  ASSERT_EQ(notices().size(), 1u);
  EXPECT_EQ(kit::describe(notices()[0]->notice_url()), "(null)");
  EXPECT_EQ(kit::describe(notices()[0]->notice_content()), "(null)");
  EXPECT_EQ(kit::describe(notices()[0]->notice_type()), "1");
}

TEST_F(CoreNotice, AnswersThatShowNothing) {
  const char* replies[] = {
      R"({"code":"200","data":{"notice_data":{"notice_title":"","notice_content":"很长的公告内容"}}})",
      R"j({"code":"200","data":{"notice_data":{"notice_title":"(null)","notice_content":"x"}}})j",
      R"({"code":"200","data":{"notice_data":{"notice_title":null,"notice_content":"x"}}})",
      R"({"code":"500","data":{"notice_data":{"notice_title":"T","notice_content":"x","notice_type":"1"}}})",
      R"({"code":"200","data":{"notice_data":{}}})",
      R"({"code":"200","data":{"notice_data":"T"}})",
      R"({"code":"200","data":[]})",
      R"(["200"])",
  };
  for (const char* reply : replies) {
    server.setReply("init", reply);
    askForNotice();
    EXPECT_TRUE(notices().empty()) << reply;
  }
  // A failed request shows nothing either (the HUD says why).
  server.setReply("init", "");
  server.setFault("init", sim::RouteFault::CloseConnection);
  core->nvSetNoticeView();
  ASSERT_TRUE(waitForHUD(1));
  drainMain();
  EXPECT_TRUE(notices().empty());
}

}  // namespace
