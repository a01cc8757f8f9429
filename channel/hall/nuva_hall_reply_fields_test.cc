// Every text of the game server's hall replies that the hall shows, fed
// each value a reply may put in a text's place (collections, flags,
// numbers, blanks, characters that draw nothing, the texts of a missing
// value and of a number that is none): the notice, the rules and the spin
// counts, the prize cells' counts ("×n") and their tips, the draw pop-ups'
// captions, the goods card's texts and button titles, and the goods card's
// refusal toast. A label shows what a label shows of the value, a text on a
// plate or a toast what a message reads of it; nothing reads "<null>",
// "(null)", "NaN" or a flag's "1".

#include <gtest/gtest.h>

#include <algorithm>

#include "channel/core/nuva_data_format.h"
#include "channel/hall/nuva_infiniter_item.h"
#include "channel/hall/nuva_resource_hall_view.h"
#include "channel/hall/nuva_turn_cell_view.h"
#include "channel/hall/nuva_turn_gift_pop_view.h"
#include "channel/hall/testing/hall_fixture.h"
#include "kit/foundation/json_serialization.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/base/testing/shown_texts.h"

namespace {

kit::Id parsed(const std::string& json) {
  return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json), 0);
}

// "×n" for a count that shows, nothing for one that does not.
std::string times(const std::string& count) { return count.empty() ? "" : "×" + count; }

class HallReplyFields : public HallFixture {};

TEST_F(HallReplyFields, TheWheelsNoticeRulesCountsAndTipsShowEachShapeByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    SCOPED_TRACE(v.json);
    const std::string prize = R"({"is_super":"0","icon":"","name":)" + v.json + R"(,"amount":)" + v.json + "}";
    auto hall = NUVAResourceHallView::init();
    window->addSubview(hall);
    hall->setUserInfo(userInfo());
    hall->setResponseData(kit::as<kit::Dictionary>(parsed(
        R"({"status":"200","data":{"list":[],"rule_content":)" + v.json + R"(,"notice":)" + v.json + "}}")));
    hall->takeWelfareAnswer(parsed(R"({"status":"200","data":{"active_title":)" + v.json + R"(,"active_rule":)" +
                                   v.json + R"(,"user_welfare_nums":)" + v.json + R"(,"items":[)" + prize + "," +
                                   prize + R"(,{"is_super":"1","icon":"","name":)" + v.json + R"(,"amount":)" +
                                   v.json + "}]}}"));
    hall->takeSuperWelfareAnswer(parsed(R"({"status":"200","data":{"active_title":)" + v.json +
                                        R"(,"active_rule":)" + v.json + R"(,"user_superwelfare_nums":)" + v.json +
                                        R"(,"use_superwelfare_nums":"1","select_extra_items":{"icon":"","name":)" +
                                        v.json + R"(,"nums":"10"},"items":[)" + prize + "]}}"));
    EXPECT_EQ(hall->noticeLabel()->text(), v.label);
    EXPECT_EQ(hall->welfareLabel()->text(), v.label);
    EXPECT_EQ(hall->superwelfareLabel()->text(), v.label);
    hall->Clickrebtn(hall->rebtn1());
    EXPECT_EQ(hall->descTextView()->text(), v.label);
    hall->Clickrebtn(hall->rebtn2());
    // Title and rule, a line apart when both show.
    EXPECT_EQ(hall->descTextView()->text(), v.label.empty() ? "" : v.label + "\n" + v.label);

    ASSERT_EQ(hall->welfarecellArray().size(), 2u);
    ASSERT_EQ(hall->superwelfarecellArray().size(), 1u);
    for (const auto& cells : {hall->welfarecellArray(), hall->superwelfarecellArray()}) {
      for (const auto& cell : cells) {
        EXPECT_EQ(cell->num()->text(), times(v.label));
        // A prize's tip sits on a dark plate: a name that reads nothing
        // shows no tip.
        cell->tapCellView();
        ASSERT_EQ(cell->tipsArray().size(), v.message.empty() ? 0u : 1u);
        if (!v.message.empty()) EXPECT_EQ(cell->tipsArray()[0]->text(), v.message);
      }
    }
    hall->tapCenterImg(hall->turnTableImg()->viewWithTag(NUVAResourceHall::kWelfareCentreTag));
    ASSERT_EQ(hall->tipsArray().size(), v.message.empty() ? 0u : 1u);
    if (!v.message.empty()) EXPECT_EQ(hall->tipsArray()[0]->text(), v.message);
    hall->tapCenterImg(hall->superturnTableImg()->viewWithTag(NUVAResourceHall::kSuperCentreTag));
    ASSERT_EQ(hall->tipsArray().size(), v.message.empty() ? 0u : 1u);
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{});
    hall->removeFromSuperview();
  }
}

TEST_F(HallReplyFields, TheDrawPopUpsCaptionEachShapeByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    SCOPED_TRACE(v.json);
    // "name*amount" of what reads: the name as a message, the amount as
    // a label's text.
    const std::string caption = v.message + (kit::hasVisibleCharacter(v.label) ? "*" + v.label : "");
    auto prize = NUVATurnTableModel::withValues(parsed(R"({"name":)" + v.json + R"(,"amount":)" + v.json + "}"));
    auto one = NUVATurnOneGiftPopView::init();
    one->setName(kit::str(NUVADataFormat::prizeCaption(prize->name(), prize->amount())));
    EXPECT_EQ(one->nameLabel()->text(), caption);
    auto five = NUVATurnFiveGiftPopView::init();
    five->setProp_listArray(kit::as<kit::Array>(parsed(R"([{"name":)" + v.json + R"(,"amount":)" + v.json + "}]")));
    const auto texts = shown::textsIn(*five);
    EXPECT_NE(std::find(texts.begin(), texts.end(), caption), texts.end());
    EXPECT_EQ(shown::unreadableTextsIn(*one), std::vector<std::string>{});
    EXPECT_EQ(shown::unreadableTextsIn(*five), std::vector<std::string>{});
  }
}

TEST_F(HallReplyFields, TheGoodsCardShowsEachShapeByTheRule) {
  for (const shown::Shape& v : shown::shapes()) {
    SCOPED_TRACE(v.json);
    const std::string texts = R"("title":)" + v.json + R"(,"content":)" + v.json + R"(,"game_coin":)" + v.json +
                              R"(,"money":)" + v.json + R"(,"welfare_nums":)" + v.json +
                              R"(,"super_welfare_nums":)" + v.json;
    for (const char* bought : {"0", "1"}) {
      auto card = NUVAInfiniterItem::init();
      card->setFrame({0, 0, 162, 260});
      card->setUserInfo(userInfo());
      card->setModel(NUVAInfiniterModel::withValues(
          parsed(R"({"id":"5",)" + texts + R"(,"is_buy":")" + bought +
                 R"(","is_coin":"0","is_welfare":"0","is_superwelfare":"0"})")));
      EXPECT_EQ(card->title()->text(), v.label);
      EXPECT_EQ(card->contentLabel()->text(), v.label);
      EXPECT_EQ(card->gameCoin()->text(), v.label);
      if (std::string(bought) == "0") {
        EXPECT_EQ(card->buyBtn()->currentTitle(), v.label + "元购买");
      } else {
        EXPECT_EQ(card->coinBtn()->currentTitle(), "领取" + v.label);
        EXPECT_EQ(card->welfareBtn()->currentTitle(), "领取福利转盘×" + v.label);
        EXPECT_EQ(card->superwelfareBtn()->currentTitle(), "领取超级转盘×" + v.label);
      }
      EXPECT_EQ(shown::unreadableTextsIn(*card), std::vector<std::string>{});
    }
  }
}

TEST_F(HallReplyFields, AClaimRefusedWithoutAReadableMessageShowsNoToast) {
  auto card = NUVAInfiniterItem::init();
  card->setFrame({0, 0, 162, 260});
  card->setUserInfo(userInfo());
  card->setModel(NUVAInfiniterModel::withValues(
      parsed(R"({"id":"5","title":"金币","game_coin":"1000","is_buy":"1","is_coin":"0"})")));
  window->addSubview(card);
  size_t sent = 0;
  for (const std::string& message : shown::unreadableMessages()) {
    game.queueReply("infiniteres/getcoin", R"({"status":"500","msg":)" + message + "}");
    card->coinBtnClick();
    ASSERT_TRUE(waitForRequests("infiniteres/getcoin", ++sent)) << message;
  }
  for (const shown::Shape& v : shown::shapes()) {
    if (!v.message.empty()) continue;
    game.queueReply("infiniteres/getcoin", R"({"status":"500","msg":)" + v.json + "}");
    card->coinBtnClick();
    ASSERT_TRUE(waitForRequests("infiniteres/getcoin", ++sent)) << v.json;
  }
  // Then one with its message: toasts come in order, so once it shows, any
  // toast of the refusals before would have shown too.
  game.queueReply("infiniteres/getcoin", R"({"status":"500","msg":"今日已领取"})");
  card->coinBtnClick();
  ASSERT_TRUE(waitForHUD(1));
  drainMain();
  EXPECT_EQ(hudSoFar(), std::vector<std::string>{"今日已领取"});
}

}  // namespace
