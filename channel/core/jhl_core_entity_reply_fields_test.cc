// The lucky-player card's texts from the channel server's reward answer,
// fed each value a reply may put in a text's place (collections, flags,
// numbers, blanks, characters that draw nothing, the texts of a missing
// value and of a number that is none): a title that shows nothing visible
// hides the card's plate, a number shows as its text, and a reward's name
// on its tile reads as a message; nothing reads "<null>", "(null)", "NaN"
// or a flag's "1". (The refusals' toasts and the launch notice take the
// same values in jhl_core_entity_shown_text_test.cc.)

#include <gtest/gtest.h>

#include "channel/core/nuva_lucky_player_item.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/json_serialization.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/base/testing/shown_texts.h"

namespace {

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
    // The amount with its "*" only when it draws something: never a lone
    // "*" over blanks.
    EXPECT_EQ(tiles[0]->name()->text(), v.message + (kit::hasVisibleCharacter(v.label) ? "*" + v.label : ""));
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{});
    clearWindow();
  }
}

}  // namespace
