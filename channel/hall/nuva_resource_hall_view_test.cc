// The resource hall as a player meets it: its layout on notched, narrow and
// portrait phones, the tabs, the goods cards, closing on an order from any
// thread; the prize wheels on the virtual clock (ring geometry, debounced
// draws, the highlight's steps, one draw at a time, the result pop-ups, the
// centre tip) and the super wheel's progress bar and extra prize.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

#include "channel/hall/nuva_resource_hall_view.h"
#include "channel/hall/nuva_turn_gift_pop_view.h"
#include "channel/hall/testing/hall_fixture.h"
#include "kit/foundation/json_serialization.h"
#include "kit/ui/screen.h"
#include "kit/ui/ui_test_driver.h"

namespace {

kit::Ref<kit::Dictionary> answerOf(const std::string& json) {
  return kit::as<kit::Dictionary>(kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json), 0));
}

std::string goodsList(int count) {
  std::string list;
  for (int i = 0; i < count; ++i) {
    if (i) list += ",";
    list += R"({"id":")" + std::to_string(501 + i) + R"(","title":"金币","money":"6","is_buy":"0"})";
  }
  return R"({"status":"200","data":{"list":[)" + list + R"(],"rule_content":"规则","notice":"公告"}})";
}

template <typename Hall>
class HallTest : public HallFixture {
 protected:
  using HallFixture::HallFixture;

  kit::Ref<Hall> open(const std::string& goods = goodsList(4)) {
    auto hall = Hall::init();
    hall->setUserInfo(userInfo());
    hall->setResponseData(answerOf(goods));
    hall->show();
    return hall;
  }
  // Waits for both wheels' first answers.
  void waitForWheels(const kit::Ref<NUVAResourceHall>& hall) {
    ASSERT_TRUE(kit::test::runUntil(
        [&] { return !hall->welfarecellArray().empty() && !hall->superwelfarecellArray().empty(); }));
  }
  static long selectedCell(const std::vector<kit::Ref<NUVATurnCellView>>& cells) {
    long selected = -1;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (cells[i]->selectBtn()->isSelected()) {
        if (selected >= 0) return -2;  // more than one
        selected = static_cast<long>(i);
      }
    }
    return selected;
  }
  template <typename PopUp>
  std::vector<kit::Ref<PopUp>> popUpsShown() {
    return kit::test::findViewsOfType<PopUp>(*window);
  }
};

class NotchedHall : public HallTest<NUVAResourceHallView> {
 protected:
  NotchedHall() : HallTest(kit::DeviceProfile::notched812x375()) {}
};

TEST_F(NotchedHall, LaysOutBesideTheNotchWithFourCardsAndAsksBothWheels) {
  auto hall = open(R"({"status":"200","data":)" + game.sampleHallGoods() + "}");
  EXPECT_EQ(hall->frame(), (kit::Rect{0, 0, 812, 375}));
  EXPECT_EQ(hall->logo()->frame().minX(), 37);
  EXPECT_EQ(hall->closeButton()->frame().minX(), 718);
  EXPECT_EQ(hall->rebtn1()->frame(), (kit::Rect{67, 94, 100, 36}));
  EXPECT_EQ(hall->rebtn3()->frame(), (kit::Rect{67, 176, 100, 36}));
  EXPECT_EQ(hall->initerView()->frame(), (kit::Rect{177, 84, 635, 291}));
  EXPECT_EQ(hall->welfareView()->frame(), hall->initerView()->frame());
  ASSERT_EQ(hall->cards().size(), 4u);
  const double xs[] = {33.5, 175.5, 317.5, 459.5};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(hall->cards()[i]->frame(), (kit::Rect{xs[i], 0, 140, 290}));
  EXPECT_EQ(hall->noticeLabel()->text(), "资源大厅开放中");
  EXPECT_EQ(hall->descTextView()->text(), "每个资源每日限购一次，购买后领取金币和转盘次数。");
  // Both wheels are asked at once, whichever tab is shown.
  ASSERT_TRUE(waitForRequests("infiniteres/welfareturntable", 1));
  ASSERT_TRUE(waitForRequests("infiniteres/superwelfareturntable", 1));
  EXPECT_EQ(game.requestsTo("infiniteres/welfareturntable")[0].query, "game_id=1001&role_id=r1&server_id=3");
  waitForWheels(hall);
  ASSERT_TRUE(kit::test::runUntil([&] { return hall->cards()[0]->prop_img()->image() != nullptr; }));
  picture("hall_goods");
}

TEST_F(NotchedHall, TheGamePageLiesBlurredUnderItsCover) {
  auto page = layStripedPage();
  auto hall = open();
  const double scale = kit::Screen::main()->scale();
  auto shown = kit::render(*window, scale);
  ASSERT_TRUE(shown);
  // Left of the tabs only the cover lies over the page.
  const kit::Rect band{8, 20, 40, 335};
  EXPECT_LE(stripeContrast(*shown, scale, band), 8);
  EXPECT_GE(stripeContrast(*kit::render(*page, scale), scale, band), 200) << "the page itself is sharp";
  picture("hall_over_a_page");
}

class LandscapeHall : public HallTest<NUVAResourceHallView> {};

TEST_F(LandscapeHall, ANarrowScreenTakesTheSmallMargin) {
  auto hall = open();
  EXPECT_EQ(hall->rebtn1()->frame(), (kit::Rect{5, 94, 90, 36}));
  EXPECT_EQ(hall->initerView()->frame(), (kit::Rect{105, 84, 562, 291}));
  EXPECT_EQ(hall->cards()[0]->frame().minX(), -3);
  EXPECT_EQ(hall->rulesPanel()->frame(), (kit::Rect{5, 217, 90, 153}));
}

TEST_F(LandscapeHall, TabsSwitchPanelsPicturesAndRules) {
  auto hall = open();
  EXPECT_FALSE(hall->initerView()->isHidden());
  EXPECT_TRUE(hall->welfareView()->isHidden());
  EXPECT_TRUE(shows(hall->rebtn1()->backgroundImage(kit::ControlStateNormal), "rebtn1sel"));
  waitForWheels(hall);

  ASSERT_TRUE(kit::test::tap(hall->rebtn2()));
  EXPECT_TRUE(hall->initerView()->isHidden());
  EXPECT_FALSE(hall->welfareView()->isHidden());
  EXPECT_TRUE(hall->superwelfareView()->isHidden());
  EXPECT_TRUE(shows(hall->rebtn1()->backgroundImage(kit::ControlStateNormal), "rebtn1"));
  EXPECT_TRUE(shows(hall->rebtn2()->backgroundImage(kit::ControlStateNormal), "rebtn2sel"));
  EXPECT_EQ(hall->descTextView()->text(), "福利转盘\n每次抽奖消耗一次福利转盘次数。");

  ASSERT_TRUE(kit::test::tap(hall->rebtn3()));
  EXPECT_FALSE(hall->superwelfareView()->isHidden());
  EXPECT_TRUE(shows(hall->rebtn3()->backgroundImage(kit::ControlStateNormal), "rebtn3sel"));
  EXPECT_EQ(hall->descTextView()->text(), "超级转盘\n每抽一次积累进度，满进度可领取至尊奖励。");
  picture("hall_super_wheel");

  hall->Clickrebtn(hall->closeButton());  // not a tab
  EXPECT_FALSE(hall->superwelfareView()->isHidden());
  hall->Clickrebtn(hall->rebtn1());
  EXPECT_EQ(hall->descTextView()->text(), "规则");
}

TEST_F(LandscapeHall, AnOrderFromAnyThreadClosesItOnceAndEmptyGoodsShowNothing) {
  auto hall = open();
  auto cover = hall->coverView();
  std::thread([] {
    kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAResourcePAYNotification, kit::dict({}));
  }).join();
  EXPECT_EQ(hall->superview(), window);
  drainMain();
  EXPECT_FALSE(hall->superview());
  EXPECT_FALSE(cover->superview());
  int closes = 0;
  hall->setCloseBlock([&] { ++closes; });
  kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAResourcePAYNotification, kit::dict({}));
  drainMain();
  EXPECT_EQ(closes, 0);

  for (const char* goods : {R"({"status":"500","data":{"list":[{"id":"1"}],"notice":"x"}})",
                            R"({"status":"200","data":{}})", R"({"status":200,"data":[]})"}) {
    auto empty = open(goods);
    EXPECT_TRUE(empty->cards().empty()) << goods;
    EXPECT_EQ(empty->noticeLabel()->text(), "") << goods;
    EXPECT_EQ(empty->descTextView()->text(), "") << goods << ": an unset rule shows no text";
    empty->closeClick();
    drainMain();
  }
  auto numeric = open(R"({"status":200,"data":{"list":[{"id":"1","is_buy":0}]}})");
  EXPECT_EQ(numeric->cards().size(), 1u);
  EXPECT_EQ(numeric->descTextView()->text(), "");
}

TEST_F(LandscapeHall, WhatTheServerLeftUnsetShowsNoText) {
  // Not shown, so no wheel has answered: the wheel tabs have no rules yet.
  auto hall = NUVAResourceHallView::init();
  hall->setUserInfo(userInfo());
  hall->setResponseData(answerOf(R"({"status":"200","data":{"list":[],"notice":null}})"));
  EXPECT_EQ(hall->noticeLabel()->text(), "");
  EXPECT_EQ(hall->descTextView()->text(), "");
  for (const auto& tab : {hall->rebtn2(), hall->rebtn3()}) {
    hall->Clickrebtn(tab);
    EXPECT_EQ(hall->descTextView()->text(), "") << "an unset rule shows no text";
  }

  // Wheels without counts, a rule without its title, a centre prize without
  // a name.
  hall->takeWelfareAnswer(answerOf(
      R"({"status":"200","data":{"active_rule":"每次消耗一次","items":[{"is_super":"0","name":null},{"is_super":"1"}]}})"));
  hall->takeSuperWelfareAnswer(answerOf(R"({"status":"200","data":{"active_title":null,"items":[]}})"));
  EXPECT_EQ(hall->welfareLabel()->text(), "");
  EXPECT_EQ(hall->superwelfareLabel()->text(), "");
  EXPECT_EQ(hall->descTextView()->text(), "");
  hall->Clickrebtn(hall->rebtn2());
  EXPECT_EQ(hall->descTextView()->text(), "每次消耗一次");
  ASSERT_EQ(hall->welfarecellArray().size(), 1u);
  EXPECT_EQ(hall->welfarecellArray()[0]->num()->text(), "");
  hall->tapCenterImg(hall->turnTableImg()->viewWithTag(NUVAResourceHall::kWelfareCentreTag));
  EXPECT_TRUE(hall->tipsArray().empty()) << "a prize without a name has no tip";

  // Draw answers with no readable message (an HTML page or an empty body
  // read as nothing, a refusal without "msg") end the draw without a toast.
  for (const kit::Id& answer : {kit::Id(), kit::Id(answerOf(R"({"status":"500"})")),
                                kit::Id(answerOf(R"({"status":"403","msg":null})"))}) {
    hall->takeDrawAnswer(answer, false, false);
    EXPECT_FALSE(hall->isDrawing());
  }
  drainMain();
  EXPECT_TRUE(hudSoFar().empty());
}

class PortraitHall : public HallTest<NUVAVerResourceHallView> {
 protected:
  PortraitHall() : HallTest(kit::DeviceProfile::phone375x667()) {}
};

TEST_F(PortraitHall, LaysOutTabsAboveAGridOfCardsWithTheRulesBelow) {
  auto hall = open(goodsList(5));
  EXPECT_EQ(hall->rebtn1()->frame(), (kit::Rect{0, 104, 125, 50}));
  EXPECT_EQ(hall->rebtn2()->frame().minX(), 125);
  EXPECT_EQ(hall->rebtn3()->frame().minX(), 250);
  EXPECT_EQ(hall->noticeLabel()->frame().minY(), 154);
  EXPECT_EQ(hall->initerView()->frame(), (kit::Rect{0, 179, 375, 488}));
  ASSERT_EQ(hall->cards().size(), 5u);
  const kit::Point at[] = {{17, 0}, {196, 0}, {17, 260}, {196, 260}};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(hall->cards()[i]->frame(), (kit::Rect{at[i].x, at[i].y, 162, 260}));
  EXPECT_TRUE(hall->cards()[4]->frame().isEmpty());
  EXPECT_EQ(hall->redescImage()->frame(), (kit::Rect{5, 520, 365, 75}));
  EXPECT_EQ(kit::as<kit::ScrollView>(hall->initerView())->contentSize(), (kit::Size{375, 600}));
  EXPECT_EQ(hall->redescTextView()->text(), "规则");
  EXPECT_TRUE(hall->descImage()->isHidden());
  ASSERT_TRUE(kit::test::tap(hall->rebtn2()));
  EXPECT_FALSE(hall->descImage()->isHidden());
  EXPECT_TRUE(hall->redescImage()->isHidden());

  for (int count : {0, 1, 2}) {
    auto few = open(goodsList(count));
    EXPECT_EQ(few->redescImage()->frame(), (kit::Rect{5, 488 - 75, 365, 75})) << count;
    EXPECT_EQ(kit::as<kit::ScrollView>(few->initerView())->contentSize(), (kit::Size{375, 667 - 154})) << count;
  }
}

class NotchedPortraitHall : public HallTest<NUVAVerResourceHallView> {
 protected:
  NotchedPortraitHall() : HallTest(kit::DeviceProfile::notched375x812()) {}
};

TEST_F(NotchedPortraitHall, MovesEverything32Down) {
  auto hall = open(goodsList(2));
  EXPECT_EQ(hall->rebtn1()->frame().minY(), 136);
  EXPECT_EQ(hall->noticeLabel()->frame().minY(), 186);
  EXPECT_EQ(hall->initerView()->frame(), (kit::Rect{0, 211, 375, 601}));
  EXPECT_EQ(kit::as<kit::ScrollView>(hall->initerView())->contentSize(), (kit::Size{375, 812 - 32 - 154}));
}

// ---- The welfare wheel ------------------------------------------------------------------------

using WelfareWheel = LandscapeHall;

TEST_F(WelfareWheel, EightPrizesStandRoundTheDiscWithTheCentreInTheMiddle) {
  auto hall = open();
  waitForWheels(hall);
  const auto& cells = hall->welfarecellArray();
  ASSERT_EQ(cells.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(cells[i]->layer()->anchorPoint(), (kit::Point{0.5, 1}));
    EXPECT_EQ(cells[i]->layer()->position(), (kit::Point{133, 133}));
    const double angle = static_cast<double>(i) * std::numbers::pi / 4 + std::numbers::pi / 8;
    EXPECT_EQ(cells[i]->layer()->transform(), kit::Transform3D::makeRotation(angle, 0, 0, 1)) << i;
  }
  EXPECT_EQ(selectedCell(cells), 0);
  auto centre = hall->turnTableImg()->viewWithTag(NUVAResourceHall::kWelfareCentreTag);
  ASSERT_TRUE(centre);
  EXPECT_EQ(centre->frame(), (kit::Rect{103, 103, 60, 60}));
  EXPECT_EQ(kit::describe(hall->centerObj()->name()), "神兽");
  EXPECT_EQ(hall->welfareLabel()->text(), "10");
  EXPECT_EQ(hall->welfarerule()->utf8(), "福利转盘\n每次抽奖消耗一次福利转盘次数。");

  // A reply without a centre prize keeps the last one for the tip.
  hall->takeWelfareAnswer(answerOf(
      R"({"status":"200","data":{"items":[{"name":"金币","amount":"1","is_super":"0"}],"user_welfare_nums":3}})"));
  EXPECT_EQ(hall->welfarecellArray().size(), 1u);
  EXPECT_EQ(kit::describe(hall->centerObj()->name()), "神兽");
  EXPECT_EQ(hall->welfareLabel()->text(), "3");
  // Not "200", or no data: nothing changes.
  hall->takeWelfareAnswer(answerOf(R"({"status":"500","data":{"items":[]}})"));
  hall->takeWelfareAnswer(answerOf(R"({"status":"200","data":{}})"));
  EXPECT_EQ(hall->welfarecellArray().size(), 1u);
}

TEST_F(WelfareWheel, TheCentreTipNamesTheCentrePrizeForASecond) {
  auto hall = open();
  waitForWheels(hall);
  ASSERT_TRUE(kit::test::tap(hall->rebtn2()));
  auto centre = hall->turnTableImg()->viewWithTag(NUVAResourceHall::kWelfareCentreTag);
  hall->tapCenterImg(centre);
  ASSERT_EQ(hall->tipsArray().size(), 1u);
  auto tip = hall->tipsArray()[0];
  EXPECT_EQ(tip->text(), "神兽");
  EXPECT_EQ(tip->superview(), hall->welfareView());
  const kit::Point origin = centre->convertRectToView(centre->bounds(), nullptr).origin;
  EXPECT_EQ(tip->frame().origin, (kit::Point{origin.x - 80, origin.y - 20}));
  advance(0.5);
  hall->tapCenterImg(centre);
  EXPECT_FALSE(tip->superview());
  auto second = hall->tipsArray()[0];
  advance(0.5);
  EXPECT_FALSE(second->superview());

  auto superCentre = hall->superturnTableImg()->viewWithTag(NUVAResourceHall::kSuperCentreTag);
  ASSERT_TRUE(superCentre);
  hall->tapCenterImg(superCentre);
  EXPECT_EQ(hall->tipsArray()[0]->text(), "至尊神兽");
  EXPECT_EQ(hall->tipsArray()[0]->superview(), hall->superwelfareView());
}

TEST_F(WelfareWheel, ABurstOfTapsDrawsOnceASecondAfterTheLastAndTheRingSteps) {
  auto hall = open();
  waitForWheels(hall);
  ASSERT_TRUE(kit::test::tap(hall->rebtn2()));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(kit::test::tap(hall->clickOneButton()));
    advance(0.4);
  }
  // 1.2 s after the first tap, 0.4 s after the last: no draw has gone out
  // (a draw marks the wheels busy the moment it is sent).
  EXPECT_FALSE(hall->isDrawing());
  advance(0.6);
  ASSERT_TRUE(waitForRequests("infiniteres/getwelfareturntable", 1));
  EXPECT_EQ(game.requestsTo("infiniteres/getwelfareturntable")[0].query,
            "game_id=1001&role_id=r1&server_id=3&nums=1");
  ASSERT_TRUE(kit::test::runUntil([&] { return hall->prop_listArray()->count() == 1; }));
  // Draws on either wheel wait for this one.
  hall->clickFive();
  hall->superclickOne();
  const auto cells = hall->welfarecellArray();
  for (long step = 1; step <= 8; ++step) {
    advance(0.08);
    EXPECT_EQ(selectedCell(cells), step % 8) << step;
  }
  ASSERT_TRUE(kit::test::runUntil([&] { return !popUpsShown<NUVATurnOneGiftPopView>().empty(); }));
  auto popUp = popUpsShown<NUVATurnOneGiftPopView>()[0];
  EXPECT_EQ(kit::describe(popUp->name()), "钻石*20");
  EXPECT_FALSE(hall->isDrawing());
  // The wheel reloads with cell 0 highlighted.
  ASSERT_TRUE(waitForRequests("infiniteres/welfareturntable", 2));
  ASSERT_TRUE(kit::test::runUntil([&] { return hall->welfarecellArray() != cells; }));
  EXPECT_EQ(selectedCell(hall->welfarecellArray()), 0);
  EXPECT_EQ(hall->welfareLabel()->text(), "9");
  // The taps during the spin were dropped: a draw would have gone out by
  // now and would still be on its way or spinning.
  advance(2);
  EXPECT_FALSE(hall->isDrawing());
  EXPECT_EQ(game.requestsTo("infiniteres/getwelfareturntable").size(), 1u);
  EXPECT_TRUE(game.requestsTo("infiniteres/getsuperwelfareturntable").empty());
  picture("hall_one_draw_result");
}

TEST_F(WelfareWheel, FiveCellsEndOnThreeAndOneAndAFiveDrawShowsItsTiles) {
  auto hall = open();
  waitForWheels(hall);
  std::string five = R"({"status":"200","data":{"items":[)";
  for (int i = 0; i < 5; ++i) five += std::string(i ? "," : "") + R"({"name":"p","amount":"1","is_super":"0"})";
  five += R"(],"user_welfare_nums":"9"}})";
  hall->takeWelfareAnswer(answerOf(five));
  ASSERT_EQ(hall->welfarecellArray().size(), 5u);
  const auto cells = hall->welfarecellArray();
  game.queueReply("infiniteres/welfareturntable", R"({"status":"500"})");  // the reload keeps the five
  hall->clickOne();
  advance(1.0);
  ASSERT_TRUE(kit::test::runUntil([&] { return hall->isDrawing() && hall->prop_listArray()->count() == 1; }));
  for (int i = 0; i < 8; ++i) advance(0.08);
  EXPECT_EQ(selectedCell(cells), 3);
  ASSERT_TRUE(kit::test::runUntil([&] { return !hall->isDrawing(); }));

  game.queueReply("infiniteres/welfareturntable", R"({"status":"500"})");
  cells[3]->selectBtn()->setSelected(false);
  cells[0]->selectBtn()->setSelected(true);
  hall->clickFive();
  advance(1.0);
  ASSERT_TRUE(kit::test::runUntil([&] { return hall->prop_listArray()->count() == 5; }));
  EXPECT_EQ(game.requestsTo("infiniteres/getwelfareturntable")[1].field("nums"), "5");
  for (int i = 0; i < 16; ++i) advance(0.05);
  EXPECT_EQ(selectedCell(cells), 1);
  ASSERT_TRUE(kit::test::runUntil([&] { return !popUpsShown<NUVATurnFiveGiftPopView>().empty(); }));
  EXPECT_EQ(popUpsShown<NUVATurnFiveGiftPopView>()[0]->tiles().size(), 5u);
}

TEST_F(WelfareWheel, RefusedDrawsSpinNothingAndEmptyDataShowsNoEarlierPrizes) {
  auto hall = open();
  waitForWheels(hall);
  // A draw whose request fails frees the wheels for the next one.
  game.setFault("infiniteres/getwelfareturntable", sim::RouteFault::CloseConnection);
  hall->clickOne();
  advance(1.0);
  ASSERT_TRUE(waitForRequests("infiniteres/getwelfareturntable", 1));
  ASSERT_TRUE(kit::test::runUntil([&] { return !hall->isDrawing(); }));
  EXPECT_TRUE(hudSoFar().empty());
  game.setFault("infiniteres/getwelfareturntable", sim::RouteFault::None);

  game.queueReply("infiniteres/getwelfareturntable", R"({"status":"500","msg":"次数不足"})");
  hall->clickOne();
  advance(1.0);
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudSoFar()[0], "次数不足");
  EXPECT_EQ(game.requestsTo("infiniteres/getwelfareturntable").size(), 2u);
  ASSERT_TRUE(kit::test::runUntil([&] { return !hall->isDrawing(); }));
  advance(1.0);
  EXPECT_EQ(selectedCell(hall->welfarecellArray()), 0);

  // A real draw, then one answered "200" without data: no pop-up of the
  // earlier prizes.
  hall->takeDrawAnswer(answerOf(R"({"status":"200","data":{"prop_list":[{"name":"金币","amount":"9"}]}})"), false,
                       false);
  // A second answer during the spin starts no second one.
  hall->takeDrawAnswer(answerOf(R"({"status":"200","data":{"prop_list":[]}})"), false, true);
  EXPECT_EQ(hall->prop_listArray()->count(), 1u);
  for (int i = 0; i < 8; ++i) advance(0.08);
  ASSERT_TRUE(kit::test::runUntil([&] { return popUpsShown<NUVATurnOneGiftPopView>().size() == 1; }));
  hall->takeDrawAnswer(answerOf(R"({"status":"200","data":{}})"), false, false);
  EXPECT_EQ(hall->prop_listArray()->count(), 0u);
  for (int i = 0; i < 8; ++i) advance(0.08);
  ASSERT_TRUE(kit::test::runUntil([&] { return !hall->isDrawing(); }));
  drainMain();
  EXPECT_EQ(popUpsShown<NUVATurnOneGiftPopView>().size(), 1u);
}

TEST_F(WelfareWheel, ADrawAnsweredAfterTheHallClosedStillSpinsAndShowsItsPrizes) {
  auto hall = open();
  waitForWheels(hall);
  ASSERT_TRUE(kit::test::tap(hall->closeButton()));
  drainMain();
  ASSERT_FALSE(hall->superview());
  // The draw is on its way when nothing holds the closed hall any more.
  hall->sendDraw(false, true);
  kit::Weak<NUVAResourceHall> weak = hall;
  hall.reset();
  ASSERT_TRUE(waitForRequests("infiniteres/getwelfareturntable", 1));
  ASSERT_TRUE(kit::test::runUntil([&] {
    auto alive = weak.lock();
    return alive && alive->prop_listArray()->count() == 5;
  })) << "the answer of a spent draw is handled";
  for (int i = 0; i < 16; ++i) advance(0.05);
  ASSERT_TRUE(kit::test::runUntil([&] { return !popUpsShown<NUVATurnFiveGiftPopView>().empty(); }));
  auto popUp = popUpsShown<NUVATurnFiveGiftPopView>()[0];
  EXPECT_EQ(popUp->superview(), window) << "over the game";
  EXPECT_EQ(popUp->tiles().size(), 5u);
  // Once the spin is over nothing keeps the hall.
  ASSERT_TRUE(waitForRequests("infiniteres/welfareturntable", 2));
  EXPECT_TRUE(kit::test::runUntil([&] { return weak.expired(); }));
}

TEST_F(WelfareWheel, ADrawTappedAndClosedOnItsWayIsHeldOnlyByItsAnswer) {
  auto hall = open();
  waitForWheels(hall);
  // The server answers the draw once the hall is closed.
  game.holdAnswers("infiniteres/getwelfareturntable");
  ASSERT_TRUE(kit::test::tap(hall->rebtn2()));
  ASSERT_TRUE(kit::test::tap(hall->clickFiveButton()));
  clock->advance(1.0);
  ASSERT_TRUE(waitForRequests("infiniteres/getwelfareturntable", 1));
  EXPECT_EQ(game.requestsTo("infiniteres/getwelfareturntable")[0].field("nums"), "5");
  ASSERT_TRUE(hall->isDrawing());
  ASSERT_TRUE(kit::test::tap(hall->closeButton()));
  // From here the test holds nothing of the hall, as the program after a
  // close: only what the draw itself keeps.
  kit::Weak<NUVAResourceHall> weak = hall;
  hall.reset();
  drainMain();
  if (auto closed = weak.lock()) {
    ASSERT_FALSE(closed->superview());
  }
  game.releaseAnswers("infiniteres/getwelfareturntable");
  // The answer's prizes are taken (or nothing holds the hall any more)
  // before kit's clock moves the spin on.
  ASSERT_TRUE(kit::test::runUntil([&] {
    auto held = weak.lock();
    return !held || held->prop_listArray()->count() == 5;
  }));
  for (int i = 0; i < 40 && popUpsShown<NUVATurnFiveGiftPopView>().empty(); ++i) advance(0.05);
  ASSERT_TRUE(kit::test::runUntil([&] { return !popUpsShown<NUVATurnFiveGiftPopView>().empty(); }))
      << "the spent draw's prizes are shown";
  EXPECT_EQ(popUpsShown<NUVATurnFiveGiftPopView>()[0]->tiles().size(), 5u);
  EXPECT_TRUE(kit::test::runUntil([&] { return weak.expired(); }));
}

TEST_F(WelfareWheel, OneDrawAtATimeAcrossBothWheels) {
  auto hall = open();
  waitForWheels(hall);
  // Each button has its own debounce: the welfare and the super wheel
  // tapped half a second apart both reach the draw; the second waits.
  hall->clickOne();
  advance(0.5);
  hall->superclickOne();
  advance(0.5);
  ASSERT_TRUE(hall->isDrawing());
  advance(0.5);
  // And the draw itself, asked again while one is on its way.
  hall->sendDraw(true, true);
  hall->sendDraw(false, false);
  ASSERT_TRUE(waitForRequests("infiniteres/getwelfareturntable", 1));
  // The answer's prize is taken before kit's clock moves the spin on.
  ASSERT_TRUE(kit::test::runUntil([&] { return hall->prop_listArray()->count() == 1; }));
  for (int i = 0; i < 20 && popUpsShown<NUVATurnOneGiftPopView>().empty(); ++i) advance(0.08);
  ASSERT_TRUE(kit::test::runUntil([&] { return !popUpsShown<NUVATurnOneGiftPopView>().empty(); }));
  // The wheel reloads after the spin, long after any second draw would have
  // gone out.
  ASSERT_TRUE(waitForRequests("infiniteres/welfareturntable", 2));
  EXPECT_EQ(game.requestsTo("infiniteres/getwelfareturntable").size(), 1u);
  EXPECT_TRUE(game.requestsTo("infiniteres/getsuperwelfareturntable").empty());
  EXPECT_FALSE(hall->isDrawing());
}

TEST_F(WelfareWheel, ARefusalWithoutAReadableMessageShowsNoToast) {
  auto hall = open();
  waitForWheels(hall);
  // Refusals the player cannot read: no body, HTML, no "msg", an unset or
  // empty one.
  const char* unreadable[] = {"", "<html>busy</html>", R"({"status":"500"})", R"({"status":"403","msg":null})",
                              R"({"status":"403","msg":""})"};
  size_t sent = 0;
  for (const char* reply : unreadable) {
    game.queueReply("infiniteres/getwelfareturntable", reply);
    hall->clickOne();
    advance(1.0);
    ASSERT_TRUE(waitForRequests("infiniteres/getwelfareturntable", ++sent)) << reply;
    ASSERT_TRUE(kit::test::runUntil([&] { return !hall->isDrawing(); })) << reply;
  }
  // Then one with its message: toasts come in order, so once it shows,
  // any toast of the ones before would have shown too.
  game.queueReply("infiniteres/getwelfareturntable", R"({"status":"500","msg":"次数不足"})");
  hall->clickOne();
  advance(1.0);
  ASSERT_TRUE(waitForHUD(1));
  drainMain();
  EXPECT_EQ(hudSoFar(), std::vector<std::string>{"次数不足"});
}

TEST_F(WelfareWheel, AWheelWithoutRingCellsSpinsItsStepsWithoutACrash) {
  auto hall = open();
  waitForWheels(hall);
  hall->takeWelfareAnswer(answerOf(R"({"status":"200","data":{"items":[],"user_welfare_nums":"1"}})"));
  ASSERT_TRUE(hall->welfarecellArray().empty());
  game.queueReply("infiniteres/welfareturntable", R"({"status":"500"})");
  hall->takeDrawAnswer(answerOf(R"({"status":"200","data":{"prop_list":[{"name":"金币","amount":"1"}]}})"), false,
                       false);
  for (int i = 0; i < 8; ++i) advance(0.08);
  ASSERT_TRUE(kit::test::runUntil([&] { return !hall->isDrawing(); }));
}

// ---- The super wheel and its bar --------------------------------------------------------------

using SuperWheel = LandscapeHall;

TEST_F(SuperWheel, TheBarFillsByTheSpinsUsedAndAFullBarPulsesAndClaims) {
  auto hall = open();
  EXPECT_EQ(hall->processView()->frame().width(), 190);  // before the first answer
  EXPECT_TRUE(hall->processIcon()->isUserInteractionEnabled());
  waitForWheels(hall);
  // Every item is a ring cell, also one marked as the centre.
  EXPECT_EQ(hall->superwelfarecellArray().size(), 8u);
  EXPECT_NEAR(hall->processView()->frame().width(), 61.8, 1e-4);
  EXPECT_EQ(hall->processView()->frame().height(), 40);
  EXPECT_FALSE(hall->processIcon()->isUserInteractionEnabled());
  EXPECT_FALSE(hall->processIcon()->layer()->hasAnimations());
  ASSERT_TRUE(hall->processView()->image());

  hall->takeSuperWelfareAnswer(answerOf(
      R"({"status":"200","data":{"items":[{"name":"a","is_super":"1"}],"select_extra_items":{"name":"至尊神兽","nums":"10"},)"
      R"("user_superwelfare_nums":"0","use_superwelfare_nums":"13"}})"));
  EXPECT_EQ(hall->superwelfarecellArray().size(), 1u);
  EXPECT_EQ(hall->processView()->frame().width(), 206) << "over-full stops at the end of the bar";
  EXPECT_TRUE(hall->processIcon()->isUserInteractionEnabled());
  auto animations = hall->processIcon()->layer()->allAnimations();
  ASSERT_EQ(animations.size(), 1u);
  auto pulse = kit::as<kit::BasicAnimation>(animations[0]);
  ASSERT_TRUE(pulse);
  EXPECT_EQ(pulse->keyPath(), "opacity");
  EXPECT_EQ(std::get<double>(pulse->fromValue()), 1.0);
  EXPECT_EQ(std::get<double>(pulse->toValue()), 0.0);
  EXPECT_TRUE(pulse->autoreverses());
  EXPECT_EQ(pulse->duration(), 0.5);
  EXPECT_EQ(pulse->repeatCount(), 3.4028234663852886e38);
  EXPECT_FALSE(pulse->isRemovedOnCompletion());
  EXPECT_EQ(pulse->fillMode(), kit::FillMode::Forwards);

  // The server's own state: 3 of 10 used, so the claim is refused; with 10
  // used it gives the prize and the reload draws the bar anew.
  game.setSuperWheel(R"({"items":[{"name":"a","is_super":"0"}],"select_extra_items":{"name":"至尊神兽","nums":"10"},)"
                     R"("user_superwelfare_nums":"0","use_superwelfare_nums":"12"})");
  hall->tapProcessIcon();
  ASSERT_TRUE(waitForRequests("infiniteres/getsuperprop", 1));
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudSoFar()[0], "领取成功");
  EXPECT_EQ(game.extraPrizesGiven(), 1);
  ASSERT_TRUE(kit::test::runUntil([&] { return hall->processView()->frame().width() < 206; }));
  EXPECT_NEAR(hall->processView()->frame().width(), 41.2, 1e-4);
  EXPECT_FALSE(hall->processIcon()->layer()->hasAnimations());
  EXPECT_FALSE(hall->processIcon()->isUserInteractionEnabled());
}

TEST_F(SuperWheel, ATargetOfNothingGivesAnEmptyFiniteBar) {
  auto hall = open();
  waitForWheels(hall);
  for (const char* extra : {R"({"nums":0})", R"({"nums":"x"})", R"({})", R"("none")"}) {
    hall->takeSuperWelfareAnswer(answerOf(std::string(R"({"status":"200","data":{"select_extra_items":)") + extra +
                                          R"(,"use_superwelfare_nums":"5"}})"));
    EXPECT_EQ(hall->processView()->frame().width(), 0) << extra;
    EXPECT_FALSE(hall->processView()->image()) << extra;
    EXPECT_FALSE(hall->processIcon()->isUserInteractionEnabled()) << extra;
  }
}

class PortraitSuperWheel : public HallTest<NUVAVerResourceHallView> {
 protected:
  PortraitSuperWheel() : HallTest(kit::DeviceProfile::phone375x667()) {}
};

TEST_F(PortraitSuperWheel, FillsDownwards) {
  auto hall = open();
  EXPECT_EQ(hall->processView()->frame(), (kit::Rect{0, 0, 40, 190}));
  waitForWheels(hall);
  EXPECT_NEAR(hall->processView()->frame().height(), 61.8, 1e-4);
  EXPECT_EQ(hall->processView()->frame().width(), 40);
  EXPECT_EQ(hall->superturnTableImg()->frame(), (kit::Rect{(375 - 266) / 2.0 + 10, 30, 266, 266}));
  EXPECT_EQ(hall->clickOneButton()->frame(), (kit::Rect{65.75, 311, 112, 34}));
  EXPECT_EQ(hall->clickFiveButton()->frame().minX(), 65.75 + 112 + 30);

  // The centre tip stands 60 above the centre's window origin.
  auto centre = hall->superturnTableImg()->viewWithTag(NUVAResourceHall::kSuperCentreTag);
  ASSERT_TRUE(centre);
  hall->tapCenterImg(centre);
  const kit::Point origin = centre->convertRectToView(centre->bounds(), nullptr).origin;
  ASSERT_EQ(hall->tipsArray().size(), 1u);
  EXPECT_EQ(hall->tipsArray()[0]->frame().origin, (kit::Point{origin.x, origin.y - 60}));
}

TEST_F(PortraitSuperWheel, AFiveDrawStepsTheSuperCellsAndShowsThePortraitPopUp) {
  auto hall = open();
  waitForWheels(hall);
  ASSERT_TRUE(kit::test::tap(hall->rebtn3()));
  ASSERT_TRUE(kit::test::tap(hall->superclickFiveButton()));
  advance(1.0);
  ASSERT_TRUE(waitForRequests("infiniteres/getsuperwelfareturntable", 1));
  EXPECT_EQ(game.requestsTo("infiniteres/getsuperwelfareturntable")[0].field("nums"), "5");
  ASSERT_TRUE(kit::test::runUntil([&] { return hall->prop_listArray()->count() == 5; }));
  const auto cells = hall->superwelfarecellArray();
  ASSERT_EQ(cells.size(), 8u);
  for (long step = 1; step <= 16; ++step) {
    advance(0.05);
    EXPECT_EQ(selectedCell(cells), step % 8) << step;
    EXPECT_EQ(selectedCell(hall->welfarecellArray()), 0) << "the welfare ring stands still";
  }
  ASSERT_TRUE(kit::test::runUntil([&] { return !popUpsShown<NUVAVETurnFiveGiftPopView>().empty(); }));
  EXPECT_TRUE(popUpsShown<NUVATurnFiveGiftPopView>().empty());
  auto popUp = popUpsShown<NUVAVETurnFiveGiftPopView>()[0];
  EXPECT_EQ(popUp->frame().size, (kit::Size{354, 316}));
  ASSERT_EQ(popUp->tiles().size(), 5u);
  EXPECT_EQ(popUp->tiles()[1]->frame().origin, (kit::Point{192, 40}));
  EXPECT_EQ(popUp->tiles()[2]->frame().origin, (kit::Point{45, 130}));
  // The super wheel reloads; the welfare wheel is not asked again.
  ASSERT_TRUE(waitForRequests("infiniteres/superwelfareturntable", 2));
  EXPECT_EQ(game.requestsTo("infiniteres/welfareturntable").size(), 1u);
  EXPECT_FALSE(hall->isDrawing());
}

}  // namespace
