// The pay sheet: its amounts, opening and refusing orders, the pay ways the
// server offers (and replies it must survive), the coupon picker and what a
// chosen coupon does to the amounts.
#include "platform/account/kt_new_pay_vc.h"

#include <gtest/gtest.h>

#include <optional>

#include "kit/ui/render.h"
#include "kit/ui/device_profile.h"
#include "platform/account/kt_base_nav.h"
#include "platform/account/kt_coupons_vc.h"
#include "platform/account/testing/kt_pay_sheet_fixture.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }
std::string calc(const char* a, const char* b, const char* way) {
  return d(KTNewPayVC::calculateMoney(kit::str(a), kit::str(b), way));
}

TEST(PaySheetAmounts, DecimalsCutToTwoPlacesAndCoinsRoundedUpExactly) {
  EXPECT_EQ(calc("9.99", "0.850000", "*"), "8.49") << "8.4915 cut, not rounded";
  EXPECT_EQ(calc("10", "12", "-"), "-2");
  EXPECT_EQ(calc("10", "1.000000", "*"), "10");
  EXPECT_EQ(calc(".", "1.000000", "*"), "NaN");
  EXPECT_EQ(calc("10", "1", "+"), "(null)");
  EXPECT_EQ(d(KTNewPayVC::calculateMoney(nullptr, kit::str("1"), "*")), "NaN");

  auto coins = [](const char* yuan) { return KTNewPayVC::coinsOf(kit::str(yuan)); };
  EXPECT_EQ(coins("6.5"), 65);
  EXPECT_EQ(coins("5.85"), 59);
  EXPECT_EQ(coins("1.1"), 11);
  EXPECT_EQ(coins("0.01"), 1);
  EXPECT_EQ(coins("0"), 0);
  // An order's coins are its amount's, however large: no binary rounding.
  EXPECT_EQ(coins("1677721.7"), 16777217) << "single precision makes 16777218";
  EXPECT_EQ(coins("16777216.1"), 167772161);
  EXPECT_EQ(coins("214748364.7"), 2147483647);
  EXPECT_EQ(coins("214748364.71"), 0) << "more coins than an int holds";
  // No number, or none an int holds: no coins rather than undefined.
  EXPECT_EQ(coins("NaN"), 0);
  EXPECT_EQ(coins("abc"), 0);
  EXPECT_EQ(coins("1e12"), 0);
  EXPECT_EQ(coins("-1e300"), 0);
  EXPECT_EQ(KTNewPayVC::coinsOf(nullptr), 0);
}

TEST(PaySheetAmounts, AnOrderAmountIsOneTheDecimalsHoldExactlyWithItsCents) {
  auto accepted = [](const std::string& money) { return KTNewPayVC::isOrderAmount(kit::str(money)); };
  const std::string nines36 = std::string(36, '9');
  // 38 digits, 36 of them before the point: held exactly, and so is every
  // amount to pay cut to cents from it.
  EXPECT_TRUE(accepted(nines36 + ".99"));
  EXPECT_TRUE(accepted(nines36));
  EXPECT_TRUE(accepted("1." + std::string(36, '0') + "1"));
  EXPECT_TRUE(accepted("." + std::string(37, '0') + "5"));
  // Zeros before the first whole digit and after the last fraction digit
  // are no digits of the amount.
  EXPECT_TRUE(accepted(std::string(60, '0') + "6." + std::string(60, '0')));
  // One digit over: the decimal would drop it, or an amount to pay made
  // from it would lose its cents or fall out of the decimal's range.
  EXPECT_FALSE(accepted(std::string(40, '9'))) << "read as 9999...9900";
  EXPECT_FALSE(accepted(std::string(38, '9')));
  EXPECT_FALSE(accepted(std::string(37, '9') + ".9"));
  EXPECT_FALSE(accepted("1" + std::string(36, '0')));
  EXPECT_FALSE(accepted("1." + std::string(37, '0') + "1"));
  EXPECT_FALSE(accepted(nines36 + ".991"));
  EXPECT_FALSE(accepted("." + std::string(38, '0') + "5"));
  EXPECT_FALSE(accepted("0." + std::string(130, '0') + "1"));
}

class PaySheet : public PaySheetTest {};

TEST_F(PaySheet, AnAmountThatIsNoNumberOpensNothing) {
  order("abc");
  settle();
  EXPECT_TRUE(toastShown(KTNewPayVC::kBadAmount));
  EXPECT_FALSE(game->presentedViewController());
  EXPECT_FALSE(KTNewPayVC::openSheet());
  EXPECT_EQ(ballCalls("hide"), 0);
  EXPECT_TRUE(heard.empty());
}

TEST_F(PaySheet, OpensFullScreenOverTheGameAndShowsThePayWaysOffered) {
  platform->setPayWays({{"1", "平台币", ""}, {"2", "钱包支付", ""}, {"4", "代金券", ""}});
  ShareVale::sharedInstance()->setPtbValue(kit::str("7"));
  order("6.5");
  EXPECT_EQ(ballCalls("hide"), 1);
  auto sheet = KTNewPayVC::openSheet();
  ASSERT_TRUE(sheet);
  // The HUD covers the top window while the pay ways load.
  ASSERT_TRUE(sheet->hud());
  EXPECT_EQ(sheet->hud()->superview(), window);
  EXPECT_TRUE(kit::Color::white(0, 0.1)->isEqual(*sheet->hud()->backgroundView()->color()));
  settle();
  auto nav = std::dynamic_pointer_cast<KTBaseNav>(game->presentedViewController());
  ASSERT_TRUE(nav);
  EXPECT_EQ(nav->modalPresentationStyle(), kit::ModalPresentationStyle::FullScreen);
  EXPECT_EQ(nav->viewControllers().front(), sheet);
  ASSERT_TRUE(waitForCalls(KTNewPayVC::kPayWaysEndpoint, 1));
  auto sent = sentTo(KTNewPayVC::kPayWaysEndpoint);
  EXPECT_EQ(keysOf(sent), "b,bb,os,z,zz");
  EXPECT_EQ(d(sent["zz"]), "player01");
  EXPECT_EQ(d(sent["z"]), "10001");
  EXPECT_EQ(d(sent["b"]), "1001");
  EXPECT_EQ(d(sent["bb"]), d(ShareVale::sharedInstance()->chanelid()));
  EXPECT_EQ(d(sent["os"]), "ios");
  ASSERT_TRUE(kit::test::runUntil([&] { return sheet->hud()->hasFinished(); }));

  EXPECT_TRUE(kit::test::findLabel(*nav->navigationBar(), KTNewPayVC::kTitle));
  EXPECT_EQ(sheet->productNameL()->text(), "元宝");
  EXPECT_EQ(sheet->moneyL()->text(), "6.5元");
  auto runs = sheet->moneyL()->attributedText()->runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].attributes.strikethroughStyle, kit::UnderlineStyleSingle);
  EXPECT_EQ(runs[0].range.length, sheet->moneyL()->attributedText()->length());
  EXPECT_EQ(sheet->infoLeft()->constant(), 15);
  EXPECT_EQ(sheet->typeLeft()->constant(), 15);

  // First way "1": the coin row, in coins.
  EXPECT_EQ(sheet->firstSelected(), 1u);
  EXPECT_EQ(sheet->payStyle(), 3u);
  EXPECT_TRUE(sheet->ptbIconBtn()->isSelected());
  EXPECT_EQ(sheet->realMoneyL()->text(), "65平台币");
  EXPECT_EQ(sheet->discountL()->text(), "（10.0折）") << "no discount stays 1.0";
  EXPECT_EQ(sheet->remainPtbL()->text(), "（余额:120平台币）");
  EXPECT_EQ(sheet->remainDjqL()->text(), "（余额:12.50元）");
  EXPECT_EQ(d(ShareVale::sharedInstance()->ptbValue()), "120");
  EXPECT_EQ(sheet->ptbViewH()->constant(), KTNewPayVC::RowH);
  EXPECT_EQ(sheet->walletPayViewH()->constant(), KTNewPayVC::RowH);
  EXPECT_EQ(sheet->djqViewH()->constant(), KTNewPayVC::RowH);
  for (auto& hidden : {sheet->wxViewH(), sheet->GFWalletPayViewH(), sheet->GFWxViewH()}) {
    EXPECT_EQ(hidden->constant(), 0);
  }
  kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/pay_sheet.png");

  // Another row by tap; the vouchers style drops the discount label.
  kit::test::tap(sheet->djqIconBtn());
  EXPECT_EQ(sheet->payStyle(), 4u);
  EXPECT_EQ(sheet->realMoneyL()->text(), "6.5元");
  EXPECT_EQ(sheet->discountL()->text(), "");
  EXPECT_FALSE(sheet->ptbIconBtn()->isSelected());
  EXPECT_TRUE(logs.contains("代金券支付"));
}

TEST_F(PaySheet, MarginsWidenOnANotchedLandscapeScreen) {
  kit::DeviceProfileScope landscape{kit::DeviceProfile::notched812x375()};
  window = kit::Window::make();
  window->makeKeyAndVisible();
  window->setRootViewController(game);
  auto sheet = open("6");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->infoLeft()->constant(), 30);
  EXPECT_EQ(sheet->typeLeft()->constant(), 30);
}

TEST_F(PaySheet, TheFirstWayTheServerListsIsSelected) {
  auto sheet = open("9.99");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->payStyle(), 2u) << "the service lists WalletPay H5 first";
  // A flag of the other path changes only with a reply that lists its way.
  struct Case {
    const char* first;
    unsigned long style;
    bool walletTwo, wxTwo;
  } cases[] = {{"3", 1, false, false}, {"31", 5, true, false}, {"32", 6, true, true}, {"1", 3, true, true}};
  for (const auto& c : cases) {
    sheet->handlePayWaysReply(json(std::string(R"({"code":"1","ttb":"0","djq":0,"discount":0,"data":[{"z":")") +
                                   c.first + R"("}]})"));
    EXPECT_EQ(sheet->payStyle(), c.style) << c.first;
    EXPECT_EQ(sheet->isWalletPayTwo(), c.walletTwo) << c.first;
    EXPECT_EQ(sheet->isWxpayTwo(), c.wxTwo) << c.first;
  }
}

TEST_F(PaySheet, TheServersDiscountSetsTheAmountToPay) {
  platform->setDiscount("0.85");
  auto sheet = open("9.99");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->discountL()->text(), "（8.5折）");
  EXPECT_EQ(sheet->realMoneyL()->text(), "8.49元");
  EXPECT_EQ(d(sheet->order().realMoney), "8.49");
}

TEST_F(PaySheet, RepliesWithoutUsablePayWays) {
  // Not delivered: WalletPay H5, every row kept.
  server->setFault(KTNewPayVC::kPayWaysEndpoint, sim::RouteFault::CloseConnection);
  auto sheet = open("6");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->payStyle(), 2u);
  EXPECT_TRUE(sheet->walletPayIconBtn()->isSelected());
  EXPECT_EQ(sheet->GFWxViewH()->constant(), KTNewPayVC::RowH);

  // "djq" null: only the HUD goes.
  sheet->remainPtbL()->setText("before");
  sheet->handlePayWaysReply(json(R"({"code":"1","djq":null,"ttb":"9","data":[{"z":"1"}]})"));
  EXPECT_EQ(sheet->remainPtbL()->text(), "before");
  EXPECT_EQ(sheet->payStyle(), 2u);
  EXPECT_EQ(sheet->ptbViewH()->constant(), KTNewPayVC::RowH);

  // An empty reply: WalletPay H5.
  kit::test::tap(sheet->ptbIconBtn());
  sheet->handlePayWaysReply(json("{}"));
  EXPECT_EQ(sheet->payStyle(), 2u);

  // "data" not a list: a toast, WalletPay H5.
  kit::test::tap(sheet->ptbIconBtn());
  sheet->handlePayWaysReply(json(R"({"code":"1","data":{"z":"1"},"djq":1})"));
  EXPECT_TRUE(toastShown(KTNewPayVC::kBadData));
  EXPECT_EQ(sheet->payStyle(), 2u);
}

TEST_F(PaySheet, ARefusalSelectsNothingAndPayDoesNothing) {
  server->enqueue(KTNewPayVC::kPayWaysEndpoint,
                  sim::PlatformAPIReply::scrambled(kit::dict({{"code", "0"}, {"msg", "维护中"}})));
  auto sheet = open("6");
  ASSERT_TRUE(sheet);
  EXPECT_TRUE(toastShown("维护中"));
  EXPECT_EQ(sheet->payStyle(), 0u);
  EXPECT_FALSE(sheet->selectedIconBtn());
  kit::test::tap(sheet->payBtn());
  EXPECT_TRUE(sheet->payBtn()->isEnabled()) << "no style, no order";
}

TEST_F(PaySheet, ARefusalWithoutReadableWordsShowsNoToast) {
  for (const char* msg : {R"(" ")", R"("\n")", "0", "false", "[null]", R"({"a":"b"})"}) {
    SCOPED_TRACE(msg);
    server->enqueue(KTNewPayVC::kPayWaysEndpoint,
                    sim::PlatformAPIReply::scrambled(json(std::string(R"({"code":"0","msg":)") + msg + "}")));
    auto sheet = open("6");
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->payStyle(), 0u) << "the refusal has been handled";
    for (const char* shown : {" ", "\n", "0", "false", "(\n    \"<null>\"\n)", "{\n    a = b;\n}"})
      EXPECT_FALSE(toastShown(shown)) << "toast: \"" << shown << "\"";
    sheet->popAction();
    settle();
  }
}

TEST_F(PaySheet, AReplyAfterTheSheetClosedIsIgnored) {
  server->setFault(KTNewPayVC::kPayWaysEndpoint, sim::RouteFault::Delay);
  order("6");
  settle();
  kit::Weak<KTNewPayVC> weak = KTNewPayVC::openSheet();
  ASSERT_TRUE(weak.lock());
  weak.lock()->popAction();
  settle();
  EXPECT_FALSE(game->presentedViewController());
  EXPECT_FALSE(KTNewPayVC::openSheet());
  EXPECT_TRUE(kit::test::runUntil([&] { return !weak.lock(); })) << "nothing holds a closed sheet";
  EXPECT_EQ(ballCalls("show"), 1);
  EXPECT_TRUE(heard.empty()) << "closing before a result tells neither block";
}

TEST_F(PaySheet, ACouponFromThePickerLowersTheAmounts) {
  platform->setDiscount("0.8");
  auto sheet = open("10");
  ASSERT_TRUE(sheet);
  kit::test::tap(sheet->couponsBtn());
  auto picker = std::dynamic_pointer_cast<KTCouponsVC>(sheet->presentedViewController());
  ASSERT_TRUE(picker);
  EXPECT_EQ(picker->modalTransitionStyle(), kit::ModalTransitionStyle::CrossDissolve);
  EXPECT_EQ(d(picker->money()), "10") << "the order amount, not the amount to pay (8)";
  settle();
  ASSERT_TRUE(waitForCalls(KTCouponsVC::kEndpoint, 1));
  EXPECT_EQ(d(sentTo(KTCouponsVC::kEndpoint)["mm"]), "10");
  ASSERT_TRUE(kit::test::runUntil([&] { return picker->dataSource()->count() == 2; }));

  // 12 off 10 at 0.8: nothing after the coupon, nothing to pay.
  auto big = kit::as<KTCouponsModel>(picker->dataSource()->objectAtIndex(1));
  auto small = kit::as<KTCouponsModel>(picker->dataSource()->objectAtIndex(0));
  picker->doCancel();
  settle();
  sheet->couponChosen(big);
  EXPECT_EQ(sheet->couponsBtn()->titleLabel()->text(), "满5减12");
  EXPECT_EQ(d(sheet->order().cid), "58");
  EXPECT_EQ(d(sheet->order().couponMoney), "0");
  EXPECT_EQ(d(sheet->order().realMoney), "0");
  EXPECT_EQ(sheet->realMoneyL()->text(), "0元");
  kit::test::tap(sheet->ptbIconBtn());
  EXPECT_EQ(sheet->realMoneyL()->text(), "0平台币");
  const std::string before = sheet->realMoneyL()->text();
  sheet->doPtbPay();
  EXPECT_EQ(sheet->realMoneyL()->text(), before) << "the selected row again changes nothing";

  // 2 off: 8 after the coupon, 6.4 to pay; vouchers show the 8.
  sheet->couponChosen(small);
  EXPECT_EQ(sheet->realMoneyL()->text(), "64平台币");
  kit::test::tap(sheet->djqIconBtn());
  EXPECT_EQ(sheet->realMoneyL()->text(), "8元");
  EXPECT_EQ(sheet->discountL()->text(), "");

  // A coupon value that is no number: refused, the chosen coupon stays.
  auto bad = KTCouponsModel::initWithDictionary(kit::dict({{"cid", "9"}, {"pay_money", "1"}, {"coupon_money", "abc"}}));
  kit::test::tap(sheet->ptbIconBtn());
  sheet->couponChosen(bad);
  EXPECT_EQ(sheet->realMoneyL()->text(), "64平台币");
  EXPECT_EQ(d(sheet->order().cid), "57");
  EXPECT_TRUE(kit::test::findLabel(*sheet->view(), KTNewPayVC::kBadAmount));

  // Closing forgets the coupon and the amounts it made.
  sheet->popAction();
  EXPECT_FALSE(sheet->order().cid);
  EXPECT_FALSE(sheet->order().couponMoney);
  EXPECT_FALSE(sheet->order().realMoney);
  EXPECT_EQ(d(sheet->order().money), "10");
}

TEST_F(PaySheet, WhileThePayWaysLoadTheHUDCoversTheSheetAndALateAnswerKeepsTheCoupon) {
  server->setFault(KTNewPayVC::kPayWaysEndpoint, sim::RouteFault::Delay);
  order("10");
  settle();
  auto sheet = KTNewPayVC::openSheet();
  ASSERT_TRUE(sheet);
  ASSERT_TRUE(sheet->hud());
  ASSERT_FALSE(window->subviews().empty());
  EXPECT_EQ(window->subviews().back(), sheet->hud()) << "over the presented sheet";
  kit::test::tap(sheet->couponsBtn());
  EXPECT_FALSE(sheet->presentedViewController()) << "the HUD takes the tap";

  // A coupon and a row chosen before the pay ways come stay in the price
  // the answer sets, and the row keeps its unit.
  sheet->couponChosen(
      KTCouponsModel::initWithDictionary(kit::dict({{"cid", "57"}, {"pay_money", "10"}, {"coupon_money", "2"}})));
  EXPECT_EQ(sheet->realMoneyL()->text(), "8元");
  sheet->doPtbPay();
  sheet->handlePayWaysReply(
      json(R"({"code":"1","ttb":"120","djq":0,"discount":"0.8","data":[{"z":"1"},{"z":"4"}]})"));
  EXPECT_EQ(d(sheet->order().cid), "57");
  EXPECT_EQ(d(sheet->order().couponMoney), "8");
  EXPECT_EQ(d(sheet->order().realMoney), "6.4");
  EXPECT_EQ(sheet->payStyle(), 3u);
  EXPECT_EQ(sheet->realMoneyL()->text(), "64平台币");
  EXPECT_EQ(sheet->discountL()->text(), "（8.0折）");
  sheet->doDjqPay();
  EXPECT_EQ(sheet->realMoneyL()->text(), "8元");
  EXPECT_EQ(sheet->discountL()->text(), "") << "vouchers show no discount";

  // What goes out is what the sheet shows.
  sheet->doPtbPay();
  ASSERT_TRUE(sheet->hud()->hasFinished());
  kit::test::tap(sheet->payBtn());
  ASSERT_TRUE(waitForCalls("Ttbpaynew/ttbnew", 1));
  auto sent = sentTo("Ttbpaynew/ttbnew");
  EXPECT_EQ(d(sent["p"]), "100");
  EXPECT_EQ(d(sent["b"]), "64");
  EXPECT_EQ(d(sent["xx"]), "0.80");
  EXPECT_EQ(d(sent["cid"]), "57");
}

TEST_F(PaySheet, ASecondOrderWhileASheetIsOpenIsRefusedAndChangesNothing) {
  auto sheet = open("6");
  ASSERT_TRUE(sheet);
  KTNewPayVC::loadToPayVCWithroleid(kit::str("R8"), kit::str("S3"), kit::str("30"), kit::str("ORDER-2"),
                                    kit::str("礼包"), kit::str("礼包"), success(), failure());
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0], "failure|支付进行中|-1|30");
  EXPECT_EQ(ballCalls("hide"), 1);
  EXPECT_EQ(KTNewPayVC::openSheet(), sheet);
  EXPECT_EQ(d(sheet->order().money), "6");
  EXPECT_EQ(d(sheet->order().cpExtend), "ORDER-1");
  EXPECT_EQ(d(sheet->order().roleId), "R7");
}

TEST_F(PaySheet, ABalanceThePayWaysAnswerLeavesOutShowsNoBalanceText) {
  // No "ttb" at all, "ttb" null, a list, an empty or a blank text: the coin
  // row shows no balance rather than the text of a value nobody set; a
  // voucher balance too large for a number shows none either. A balance
  // that is there shows.
  struct Case {
    const char* balances;
    const char* coins;
    const char* vouchers;
  } cases[] = {{R"("djq":"3.5")", "", "（余额:3.50元）"},
               {R"("ttb":null,"djq":"3.5")", "", "（余额:3.50元）"},
               {R"("ttb":[null],"djq":"3.5")", "", "（余额:3.50元）"},
               {R"("ttb":"","djq":"3.5")", "", "（余额:3.50元）"},
               {R"("ttb":" \t\n","djq":"3.5")", "", "（余额:3.50元）"},
               {R"("ttb":"\u3000","djq":"3.5")", "", "（余额:3.50元）"},
               {R"("ttb":0,"djq":"1e999")", "（余额:0平台币）", ""},
               {R"("ttb":"120","djq":2)", "（余额:120平台币）", "（余额:2.00元）"}};
  for (const auto& c : cases) {
    const std::string reply =
        std::string(R"({"code":"1","msg":"","discount":1,"data":[{"z":"1"},{"z":"2"}],)") + c.balances + "}";
    server->enqueue(KTNewPayVC::kPayWaysEndpoint, sim::PlatformAPIReply::scrambled(json(reply)));
    auto sheet = open("6");
    ASSERT_TRUE(sheet) << reply;
    EXPECT_EQ(sheet->payStyle(), 3u) << reply;
    EXPECT_EQ(sheet->remainPtbL()->text(), c.coins) << reply;
    EXPECT_EQ(sheet->remainDjqL()->text(), c.vouchers) << reply;
    EXPECT_EQ(unsetTextsShown(), std::vector<std::string>{}) << reply;
    sheet->popAction();
    settle();
    ASSERT_FALSE(KTNewPayVC::openSheet());
  }
}

TEST_F(PaySheet, ACoinBalanceShowsOnlyWhenItFitsTheRow) {
  // Fifteen whole digits show, as do as many after the point; a balance
  // longer either side (a fraction of 100 000 digits, say) shows none
  // rather than a label of its whole length.
  const std::string fifteen = "123456789012345";
  const std::string longFraction = "1." + std::string(100000, '5');
  struct Case {
    std::string coins;
    std::string shown;
  } cases[] = {{fifteen, "（余额:" + fifteen + "平台币）"},
               {fifteen + ".5", "（余额:" + fifteen + ".5平台币）"},
               {"0." + fifteen, "（余额:0." + fifteen + "平台币）"},
               {fifteen + "6", ""},
               {"0." + fifteen + "6", ""},
               {longFraction, ""}};
  for (const auto& c : cases) {
    const std::string reply = R"({"code":"1","msg":"","discount":1,"data":[{"z":"1"}],"djq":0,"ttb":")" + c.coins +
                              "\"}";
    server->enqueue(KTNewPayVC::kPayWaysEndpoint, sim::PlatformAPIReply::scrambled(json(reply)));
    auto sheet = open("6");
    ASSERT_TRUE(sheet) << c.coins.substr(0, 40);
    EXPECT_EQ(sheet->remainPtbL()->text(), c.shown) << c.coins.substr(0, 40);
    sheet->popAction();
    settle();
    ASSERT_FALSE(KTNewPayVC::openSheet());
  }
}

TEST_F(PaySheet, AnOrderAmountMadeOfPointsOnlyIsRefusedAtTheEntry) {
  for (const char* money : {".", "..", "1.2.3"}) {
    order(money);
    settle();
    EXPECT_TRUE(toastShown(KTNewPayVC::kBadAmount)) << money;
    EXPECT_FALSE(game->presentedViewController()) << money;
    EXPECT_FALSE(KTNewPayVC::openSheet()) << money;
    EXPECT_EQ(unsetTextsShown(), std::vector<std::string>{}) << money;
  }
  EXPECT_EQ(ballCalls("hide"), 0);
  EXPECT_TRUE(heard.empty());
  // Half a yuan written without its 0 is an amount.
  auto sheet = open(".5");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->moneyL()->text(), ".5元");
  EXPECT_EQ(sheet->realMoneyL()->text(), "0.5元");
  EXPECT_EQ(unsetTextsShown(), std::vector<std::string>{});
}

// The middle of a row's radio circle, in the window, and the circle's tap
// target.
struct Circle {
  double centerX;
  kit::Rect target;
};
Circle circleOf(const kit::Ref<kit::Button>& icon) {
  auto title = icon->titleLabel();
  const kit::Rect glyph = kit::test::frameInWindow(*title);
  return {glyph.origin.x + glyph.size.width / 2, kit::test::frameInWindow(*icon)};
}

TEST_F(PaySheet, TheRadioCirclesOfEveryRowStandInOneColumn) {
  // Rows with a balance (coins, vouchers) and without, each way selected in
  // turn, and a second sheet that lists fewer ways.
  platform->setPayWays({{"2", "钱包", ""}, {"5", "钱包APP", ""}, {"3", "微信", ""}, {"6", "微信官方", ""},
                        {"1", "平台币", ""}, {"4", "代金券", ""}});
  std::optional<double> column;
  auto checkColumn = [&](KTNewPayVC& sheet, const std::string& when) {
    window->layoutIfNeeded();
    const std::pair<const char*, kit::Ref<kit::Button>> rows[] = {
        {"wallet", sheet.walletPayIconBtn()}, {"wallet app", sheet.GFWalletPayIconBtn()},
        {"wx", sheet.wxIconBtn()},            {"official wx", sheet.GFWxIconBtn()},
        {"coins", sheet.ptbIconBtn()},        {"vouchers", sheet.djqIconBtn()}};
    int seen = 0;
    for (const auto& [name, icon] : rows) {
      if (icon->superview()->bounds().size.height == 0) continue;
      ++seen;
      const Circle circle = circleOf(icon);
      if (!column) column = circle.centerX;
      EXPECT_NEAR(circle.centerX, *column, 0.01) << name << ", " << when;
      EXPECT_EQ(circle.target.size.width, 30) << name << ", " << when;
      EXPECT_NEAR(circle.target.origin.x + circle.target.size.width / 2, *column, 0.01) << name << ", " << when;
    }
    return seen;
  };
  auto sheet = open("6");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(checkColumn(*sheet, "first load"), 6);
  for (auto icon : {sheet->ptbIconBtn(), sheet->wxIconBtn(), sheet->djqIconBtn(), sheet->GFWalletPayIconBtn()}) {
    kit::test::tap(icon);
    ASSERT_TRUE(icon->isSelected());
    checkColumn(*sheet, "after a tap");
  }
  sheet->popAction();
  settle();

  platform->setPayWays({{"1", "平台币", ""}, {"6", "微信官方", ""}, {"4", "代金券", ""}});
  platform->updateAccount("player01", [](sim::PlatformAccount& account) { account.platformCoins = 123456789; });
  sheet = open("6");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->remainPtbL()->text(), "（余额:123456789平台币）");
  EXPECT_EQ(checkColumn(*sheet, "second load"), 3);
}

}  // namespace
