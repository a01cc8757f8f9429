// The hall as a player sees it when the game server puts a list, a list
// holding null, a dictionary or a flag where a text belongs, or a message
// of blanks, a number or a collection in a refused draw: the goods cards,
// the notice, the rules, the spin counts, the prize cells, their tips, the
// one-draw pop-up and the draw's toast read no "<null>", "(...)" or "{...}";
// an unreadable refusal shows no toast, as one without a message does.

#include <gtest/gtest.h>

#include "channel/hall/nuva_resource_hall_view.h"
#include "channel/hall/nuva_turn_gift_pop_view.h"
#include "channel/hall/testing/hall_fixture.h"
#include "kit/foundation/json_serialization.h"
#include "kit/ui/ui_test_driver.h"
#include "platform/base/testing/shown_texts.h"

namespace {

kit::Ref<kit::Dictionary> answerOf(const std::string& json) {
  return kit::as<kit::Dictionary>(kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json), 0));
}

class HallShownText : public HallFixture {
 protected:
  // The hall, its wheels answered with `v` in every text of theirs.
  kit::Ref<NUVAResourceHallView> openWith(const std::string& v) {
    const std::string prize = R"({"is_super":"0","name":)" + v + R"(,"amount":)" + v + "}";
    game.queueReply("infiniteres/welfareturntable",
                    R"({"status":"200","data":{"active_title":)" + v + R"(,"active_rule":)" + v +
                        R"(,"user_welfare_nums":)" + v + R"(,"items":[)" + prize + "," + prize +
                        R"(,{"is_super":"1","name":)" + v + R"(,"amount":)" + v + "}]}}");
    game.queueReply("infiniteres/superwelfareturntable",
                    R"({"status":"200","data":{"active_title":)" + v + R"(,"active_rule":)" + v +
                        R"(,"user_superwelfare_nums":)" + v + R"(,"use_superwelfare_nums":)" + v +
                        R"(,"select_extra_items":{"name":)" + v + R"(,"nums":"10"},"items":[)" + prize + "]}}");
    auto hall = NUVAResourceHallView::init();
    hall->setUserInfo(userInfo());
    hall->setResponseData(answerOf(
        R"({"status":"200","data":{"list":[{"id":"501","title":)" + v + R"(,"content":)" + v +
        R"(,"game_coin":)" + v + R"(,"money":"6","welfare_nums":)" + v + R"(,"super_welfare_nums":)" + v +
        R"(,"is_buy":"0"}],"rule_content":)" + v + R"(,"notice":)" + v + "}}"));
    hall->show();
    EXPECT_TRUE(kit::test::runUntil(
        [&] { return hall->welfarecellArray().size() == 2 && hall->superwelfarecellArray().size() == 1; }))
        << v;
    drainMain();
    return hall;
  }
};

TEST_F(HallShownText, CollectionsAndFlagsInTheHallsRepliesShowNothing) {
  for (const std::string& v : shown::notTexts()) {
    auto hall = openWith(v);
    EXPECT_EQ(hall->noticeLabel()->text(), "") << v;
    EXPECT_EQ(hall->welfareLabel()->text(), "") << v;
    EXPECT_EQ(hall->superwelfareLabel()->text(), "") << v;
    for (const auto& tab : {hall->rebtn1(), hall->rebtn3(), hall->rebtn2()}) {  // the welfare wheel last
      ASSERT_TRUE(kit::test::tap(tab)) << v;
      EXPECT_EQ(hall->descTextView()->text(), "") << v << ": an unset rule shows no text";
    }
    for (const auto& cell : hall->welfarecellArray()) EXPECT_EQ(cell->num()->text(), "") << v;
    // The centre prize's tip.
    hall->tapCenterImg(hall->turnTableImg()->viewWithTag(NUVAResourceHall::kWelfareCentreTag));
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{}) << v;

    // A draw that wins a prize of those texts: its pop-up shows no caption.
    game.queueReply("infiniteres/getwelfareturntable",
                    R"({"status":"200","data":{"prop_list":[{"name":)" + v + R"(,"amount":)" + v + "}]}}");
    ASSERT_TRUE(kit::test::tap(hall->clickOneButton())) << v;
    advance(1.0);
    ASSERT_TRUE(kit::test::runUntil([&] { return hall->isDrawing() && hall->prop_listArray()->count() == 1; })) << v;
    for (int i = 0; i < 12 && hall->isDrawing(); ++i) advance(0.08);
    ASSERT_TRUE(kit::test::runUntil(
        [&] { return !kit::test::findViewsOfType<NUVATurnOneGiftPopView>(*window).empty(); }))
        << v;
    for (const auto& popUp : kit::test::findViewsOfType<NUVATurnOneGiftPopView>(*window)) {
      EXPECT_EQ(popUp->nameLabel()->text(), "") << v;
      popUp->removeFromSuperview();
    }
    EXPECT_EQ(shown::unreadableTextsIn(*window), std::vector<std::string>{}) << v;
    hall->closeClick();
    // The spin's end reloaded the wheel: that request is answered before
    // the next hall queues its replies, or it would take the next one's.
    ASSERT_TRUE(sharedSessionAnswered()) << v;
  }
  EXPECT_TRUE(hudSoFar().empty());
}

TEST_F(HallShownText, ARefusedDrawWithoutAReadableMessageShowsNoToast) {
  auto hall = openWith(R"("x")");
  ASSERT_TRUE(kit::test::tap(hall->rebtn2()));
  size_t sent = 0;
  for (const std::string& message : shown::unreadableMessages()) {
    game.queueReply("infiniteres/getwelfareturntable", R"({"status":"500","msg":)" + message + "}");
    ASSERT_TRUE(kit::test::tap(hall->clickOneButton())) << message;
    advance(1.0);
    ASSERT_TRUE(waitForRequests("infiniteres/getwelfareturntable", ++sent)) << message;
    ASSERT_TRUE(kit::test::runUntil([&] { return !hall->isDrawing(); })) << message;
  }
  // Then one with its message: toasts come in order, so once it shows, any
  // toast of the ones before would have shown too.
  game.queueReply("infiniteres/getwelfareturntable", R"({"status":"500","msg":"次数不足"})");
  ASSERT_TRUE(kit::test::tap(hall->clickOneButton()));
  advance(1.0);
  ASSERT_TRUE(waitForHUD(1));
  drainMain();
  EXPECT_EQ(hudSoFar(), std::vector<std::string>{"次数不足"});
}

}  // namespace
