// Every text of the game server's store replies that the store's rows,
// tiles and pop-ups show, fed each value a reply may put in a text's place
// (collections, flags, numbers, blanks, characters that draw nothing, the
// texts of a missing value and of a number that is none): a reward tile's
// count and name, a reward caption ("name*amount"), the time and level
// packs' names and prices, the level pop-up's tiles, the free-video card's
// game and the reward dialog's tiles, and the vouchers tab's daily gift. A
// label shows what a label shows of the value; a name on a caption or a
// text on a plate reads as a message; nothing reads "<null>", "(null)",
// "NaN" or a flag's "1". (The GM and VIP hub take shown::notTexts() in
// nuva_store_shown_text_test.cc.)

#include <gtest/gtest.h>

#include <algorithm>

#include "channel/core/nuva_lucky_player_item.h"
#include "channel/core/nuva_store_records.h"
#include "channel/store/nuva_fix_btn.h"
#include "channel/store/nuva_free_vedio_view.h"
#include "channel/store/nuva_gift_cell.h"
#include "channel/store/nuva_level_cell.h"
#include "channel/store/nuva_level_pop_view.h"
#include "channel/store/nuva_store_pack_records.h"
#include "channel/store/nuva_vedio_gift_view.h"
#include "channel/store/nuva_voucher_view.h"
#include "channel/store/testing/store_fixture.h"
#include "kit/foundation/json_serialization.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/base/testing/shown_texts.h"

namespace {

kit::Id parsed(const std::string& json) {
  return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json), kit::JSONReadingMutableContainers);
}

// `json` as the text of a JSON string (for items sent as JSON text).
std::string quoted(const std::string& json) {
  std::string text = "\"";
  for (char c : json) text += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  return text + "\"";
}

// A reward item whose name and amount are both `v`.
std::string item(const shown::Shape& v) {
  return R"({"mid":"1","icon":"","name":)" + v.json + R"(,"amount":)" + v.json + "}";
}

// The caption of that item: the name as a message, the count as a label
// with its "*" only when the label draws something (never a lone "*").
std::string caption(const shown::Shape& v) {
  return v.message + (kit::hasVisibleCharacter(v.label) ? "*" + v.label : "");
}

bool showsText(kit::View& root, const std::string& text) {
  const auto texts = shown::textsIn(root);
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class StoreReplyFields : public StoreFixture {
 protected:
  // Takes what the pop-ups put on the window (cover and card) off it.
  void clearWindow() {
    for (const auto& view : std::vector<kit::Ref<kit::View>>(window->subviews())) {
      if (view != window->rootViewController()->view()) view->removeFromSuperview();
    }
  }
};

TEST_F(StoreReplyFields, RewardTilesAndPackRowsShowEachShapeByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    SCOPED_TRACE(v.json);
    auto tile = NUVAFixBtn::init({0, 0, 60, 60});
    tile->setModel(NUVAFixedGiftModel::withValues(parsed(item(v))));
    EXPECT_EQ(tile->num()->text(), v.label);
    EXPECT_EQ(tile->name()->text(), v.label);

    auto reward = NUVALuckyPlayerItem::init();
    reward->setModel(NUVAFixedGiftModel::withValues(parsed(item(v))));
    EXPECT_EQ(reward->name()->text(), caption(v));

    auto level = NUVALevelCell::make(kit::TableViewCellStyle::Default, "cell{length = 2, path = 0 - 0}");
    level->setFrame({10, 40, 567, 60});
    window->addSubview(level);
    level->setUserInfo(userInfo());
    level->setModel(NUVALevelModel::withValues(parsed(R"({"good_id":"3","good_name":)" + v.json + R"(,"money":)" +
                                                      v.json + R"(,"is_buy":"0","items":)" +
                                                      quoted("[" + item(v) + "]") + "}")));
    EXPECT_EQ(level->nameLabel()->text(), v.label);
    EXPECT_EQ(level->buyBtn()->currentTitle(), v.label + "元购买");
    ASSERT_EQ(level->tiles().size(), 1u);
    EXPECT_EQ(level->tiles()[0]->num()->text(), v.label);

    auto pack = NUVAGiftCell::make(kit::TableViewCellStyle::Default, "cell{length = 2, path = 0 - 0}");
    pack->setFrame({10, 40, 567, 60});
    window->addSubview(pack);
    pack->setUserInfo(userInfo());
    pack->setModel(NUVATimeStoreModel::withValues(
        parsed(R"({"good_id":"7","gift_name":)" + v.json + R"(,"gift_money":"6","is_all_fixed":"2","is_buy":"0",)" +
               R"("optional_num":"0","fixed_gift":[)" + item(v) + R"(],"optional_gift":[]})")));
    EXPECT_EQ(pack->nameLabel()->text(), v.label);
    ASSERT_FALSE(pack->tiles().empty());
    EXPECT_EQ(pack->tiles()[0]->num()->text(), v.label);

    EXPECT_EQ(shown::unreadableTextsIn(*tile), std::vector<std::string>{});
    EXPECT_EQ(shown::unreadableTextsIn(*reward), std::vector<std::string>{});
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{});
    level->removeFromSuperview();
    pack->removeFromSuperview();
    drainMain();
  }
}

TEST_F(StoreReplyFields, PopUpsAndTheDailyGiftShowEachShapeByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    SCOPED_TRACE(v.json);
    auto level = NUVALevelPopView::init();
    level->setItems(kit::str("[" + item(v) + "]"));
    level->show();
    ASSERT_EQ(level->tiles().size(), 1u);
    EXPECT_TRUE(v.label.empty() || showsText(*level->tiles()[0], v.label));
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{});
    clearWindow();

    auto offer = kit::as<kit::Dictionary>(parsed(R"({"is_get":"0","video_time":"15","game_name":)" + v.json +
                                                 R"(,"game_desc":)" + v.json + R"(,"items":)" +
                                                 quoted("[" + item(v) + "]") + "}"));
    ASSERT_TRUE(offer);
    auto video = NUVAFreeVedioView::init();
    video->setPlayerDic(offer);
    video->setUserInfo(userInfo());
    video->show();
    EXPECT_EQ(video->name()->text(), v.label);
    EXPECT_EQ(video->desc()->text(), v.label);
    ASSERT_EQ(video->dicArray()->count(), 1u);
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{});
    video->closeClick();
    drainMain();

    auto dialog = NUVAVedioGiftView::init();
    dialog->setDicArray(kit::as<kit::Array>(parsed("[" + item(v) + "]")));
    dialog->setUserInfo(userInfo());
    dialog->show();
    ASSERT_EQ(dialog->tiles().size(), 1u);
    EXPECT_EQ(dialog->tiles()[0]->name()->text(), caption(v));
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{});
    clearWindow();

    // The daily gift's "title-content" sits on a plate: of the parts that
    // read as messages.
    auto tab = NUVAVoucherView::init();
    tab->setFrame(window->bounds());
    tab->setUserInfo(userInfo());
    window->addSubview(tab);
    tab->setPlayerDic(kit::as<kit::Dictionary>(
        parsed(R"({"title":)" + v.json + R"(,"content":"登录即领","items":[)" + item(v) + "]}")));
    EXPECT_EQ(tab->titleLabel()->text(), v.message.empty() ? "登录即领" : v.message + "-登录即领");
    EXPECT_TRUE(showsText(*tab->itemView(), caption(v)));
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{});
    tab->removeFromSuperview();
    drainMain();
  }
}

}  // namespace
