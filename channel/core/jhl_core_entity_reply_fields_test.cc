// Every text of the channel servers' replies that the channel core's cards
// show, fed each value a reply may put in a text's place (collections,
// flags, numbers, blanks, characters that draw nothing, the texts of a
// missing value and of a number that is none): the launch notice's title
// and body, and the lucky-player card's title and reward captions. A label
// shows what a label shows of the value; a title that shows nothing
// visible opens no notice and hides the lucky card's plate; a reward's name
// on its tile reads as a message; nothing reads "<null>", "(null)", "NaN" or a flag's
// "1". (The refusals' toasts take shown::unreadableMessages() in
// jhl_core_entity_shown_text_test.cc.)

#include <gtest/gtest.h>

#include "channel/core/nuva_lucky_player_item.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/vanu_notice_view.h"
#include "channel/testing/core_road_fixture.h"
#include "channel/testing/shown_texts.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/json_serialization.h"
#include "kit/testing/log_capture.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/ui_test_driver.h"

namespace {

class CoreReplyFields : public CoreRoadFixture {
 protected:
  void SetUp() override {
    CoreRoadFixture::SetUp();
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

TEST_F(CoreReplyFields, TheNoticesTitleAndBodyShowEachShapeByTheRule) {
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

// The lucky-player cards with the application bundle's artwork.
class LuckyCardReplyFields : public ::testing::Test {
 protected:
  void SetUp() override {
    kit::Bundle::setMainBundlePath(CHANNEL_RESOURCES_DIR);
    kit::Application::shared()->reset();
    window = kit::Window::make();
    window->setRootViewController(kit::make<kit::ViewController>());
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    window = nullptr;
    kit::Application::shared()->reset();
    kit::Bundle::setMainBundlePath("");
  }

  // Takes what the cards put on the window (cover and card) off it.
  void clearWindow() {
    for (const auto& view : std::vector<kit::Ref<kit::View>>(window->subviews())) {
      if (view != window->rootViewController()->view()) view->removeFromSuperview();
    }
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone667x375()};
  kit::Ref<kit::Window> window;
};

TEST_F(LuckyCardReplyFields, TheTitleAndTheRewardCaptionsShowEachShapeByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    SCOPED_TRACE(v.json);
    auto data = kit::as<kit::Dictionary>(kit::JSONSerialization::JSONObjectWithData(
        kit::Data::make(R"({"title":)" + v.json + R"(,"items":[{"mid":"9","icon":"","name":)" + v.json +
                        R"(,"amount":)" + v.json + "}]}"),
        0));
    ASSERT_TRUE(data);
    auto card = NUVALuckyPlayerView::init();
    card->setPlayerDic(data);
    card->setType(kit::str("luck"));
    card->show();
    // The title's plate shows only with something visible on it; a number
    // shows as its text.
    const bool titled = !v.message.empty() || v.json == "0" || v.json == "7.5";
    EXPECT_EQ(card->titleLabel()->isHidden(), !titled);
    EXPECT_EQ(card->titleLabel()->text(), titled ? v.label : "");
    std::vector<kit::Ref<NUVALuckyPlayerItem>> tiles;
    for (const auto& view : card->subviews()) {
      if (auto tile = kit::as<NUVALuckyPlayerItem>(view)) tiles.push_back(tile);
    }
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0]->name()->text(), v.message + (v.label.empty() ? "" : "*" + v.label));
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{});
    clearWindow();
  }
}

}  // namespace
