// The pay sheet's order flow against the platform service: what each pay
// style orders, the web pay page and its return, the result notice and its
// buttons, the result polling on the virtual clock, and closing.
#include <gtest/gtest.h>

#include "kit/ui/application.h"
#include "kit/ui/render.h"
#include "payvendor/pay/wallet_pay_sdk.h"
#include "platform/account/kt_coupons_cell.h"
#include "platform/account/kt_coupons_vc.h"
#include "platform/account/kt_pay_plug.h"
#include "platform/account/testing/kt_pay_sheet_fixture.h"
#include "platform/account/kt_web_pay_vc.h"
#include "platform/account/tolmix_sdk.h"
#include "sim/wallet_app.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

class PaySheetOrder : public PaySheetTest {
 protected:
  // Opens a sheet with one pay way listed.
  kit::Ref<KTNewPayVC> openWith(const char* code, const char* money) {
    platform->setPayWays({{code, "way", ""}});
    return open(money);
  }
  // Presses pay and waits for the order's request.
  void pay(KTNewPayVC& sheet, const std::string& endpoint) {
    const size_t before = server->requestsTo(endpoint).size();
    kit::test::tap(sheet.payBtn());
    EXPECT_FALSE(sheet.payBtn()->isEnabled());
    EXPECT_TRUE(waitForCalls(endpoint, before + 1));
  }
  kit::Ref<KTWebPayVC> webPage(KTNewPayVC& sheet) {
    kit::Ref<KTWebPayVC> page;
    kit::test::runUntil([&] {
      page = std::dynamic_pointer_cast<KTWebPayVC>(nav(sheet)->viewControllers().back());
      return page != nullptr;
    });
    settle();
    return page;
  }
  // Opens the coupon picker from the sheet and taps the coupon named
  // `name`, as the player does.
  void chooseCoupon(KTNewPayVC& sheet, const std::string& name) {
    const size_t asked = server->requestsTo(KTCouponsVC::kEndpoint).size();
    kit::test::tap(sheet.couponsBtn());
    auto picker = std::dynamic_pointer_cast<KTCouponsVC>(sheet.presentedViewController());
    ASSERT_TRUE(picker) << name;
    settle();
    ASSERT_TRUE(waitForCalls(KTCouponsVC::kEndpoint, asked + 1));
    kit::Ref<KTCouponsCell> chosen;
    ASSERT_TRUE(kit::test::runUntil([&] {
      for (const auto& cell : picker->tableView()->visibleCells()) {
        auto coupon = std::dynamic_pointer_cast<KTCouponsCell>(cell);
        if (coupon && coupon->nameL()->text() == name) chosen = coupon;
      }
      return chosen != nullptr;
    })) << name;
    ASSERT_TRUE(kit::test::tap(chosen->btn())) << name;
    settle();
    EXPECT_FALSE(sheet.presentedViewController()) << name;
  }
  bool noticeShown(KTNewPayVC& sheet) { return sheet.coverView()->superview() == window; }
  size_t polls() const { return server->requestsTo(KTNewPayVC::kResultEndpoint).size(); }
  // Advances the virtual clock by `seconds` and lets the polls it sends arrive.
  void wait(double seconds, size_t expected) {
    clock.advance(seconds);
    EXPECT_TRUE(kit::test::runUntil([&] { return polls() >= expected; })) << polls() << " of " << expected;
  }
};

TEST_F(PaySheetOrder, CoinOrdersPayInWholeCoinsAndCloseTheSheet) {
  auto sheet = openWith("1", "6.5");
  ASSERT_TRUE(sheet);
  ASSERT_EQ(sheet->payStyle(), 3u);
  pay(*sheet, "Ttbpaynew/ttbnew");
  auto sent = sentTo("Ttbpaynew/ttbnew");
  EXPECT_EQ(d(sent["p"]), "65");
  EXPECT_EQ(d(sent["b"]), "65");
  EXPECT_EQ(d(sent["xx"]), "1.00");
  EXPECT_EQ(d(sent["x"]), "R7");
  EXPECT_EQ(d(sent["h"]), "S2");
  EXPECT_EQ(d(sent["k"]), "元宝");
  EXPECT_EQ(d(sent["l"]), "60元宝");
  EXPECT_EQ(d(sent["y"]), "ORDER-1");
  ASSERT_TRUE(kit::test::runUntil([&] { return !heard.empty(); }));
  EXPECT_TRUE(heard[0].starts_with("success|")) << heard[0];
  EXPECT_TRUE(heard[0].ends_with("|6.5")) << heard[0];
  EXPECT_EQ(platform->account("player01")->platformCoins, 55);
  settle();
  EXPECT_FALSE(game->presentedViewController());
  EXPECT_FALSE(KTNewPayVC::openSheet());
  EXPECT_EQ(ballCalls("show"), 1);
}

TEST_F(PaySheetOrder, ARefusedCoinOrderKeepsTheSheetOpenForAnotherTry) {
  auto sheet = openWith("1", "60");
  ASSERT_TRUE(sheet);
  pay(*sheet, "Ttbpaynew/ttbnew");
  ASSERT_TRUE(kit::test::runUntil([&] { return !heard.empty(); }));
  EXPECT_TRUE(heard[0].starts_with("failure|")) << heard[0];
  EXPECT_TRUE(heard[0].ends_with("|60")) << heard[0];
  EXPECT_TRUE(sheet->payBtn()->isEnabled());
  EXPECT_EQ(KTNewPayVC::openSheet(), sheet);
  // Every attempt is heard.
  pay(*sheet, "Ttbpaynew/ttbnew");
  ASSERT_TRUE(kit::test::runUntil([&] { return heard.size() == 2; }));
}

TEST_F(PaySheetOrder, VoucherOrdersSendTheAmountAfterTheCoupon) {
  // The discount leaves vouchers alone: 8 after the coupon, not 6.4.
  platform->setDiscount("0.8");
  auto sheet = openWith("4", "10");
  ASSERT_TRUE(sheet);
  sheet->couponChosen(
      KTCouponsModel::initWithDictionary(kit::dict({{"cid", "57"}, {"pay_money", "10"}, {"coupon_money", "2"}})));
  EXPECT_EQ(d(sheet->order().realMoney), "6.4");
  EXPECT_EQ(sheet->realMoneyL()->text(), "8元");
  pay(*sheet, "Ttbpaynew/djqpay");
  auto sent = sentTo("Ttbpaynew/djqpay");
  EXPECT_EQ(d(sent["p"]), "10");
  EXPECT_EQ(d(sent["b"]), "8");
  EXPECT_EQ(d(sent["cid"]), "57");
  EXPECT_FALSE(sent["xx"]) << "no discount on vouchers";
  ASSERT_TRUE(kit::test::runUntil([&] { return !heard.empty(); }));
  EXPECT_TRUE(heard[0].starts_with("success|")) << heard[0];
}

TEST_F(PaySheetOrder, H5PaymentGoesThroughTheWebPageAndThePolling) {
  auto sheet = openWith("2", "6");
  ASSERT_TRUE(sheet);
  pay(*sheet, "H5pay/pay");
  auto sent = sentTo("H5pay/pay");
  EXPECT_EQ(d(sent["z"]), "qb");
  EXPECT_EQ(d(sent["xx"]), "1.00");
  EXPECT_EQ(d(sent["p"]), "6");
  EXPECT_EQ(d(sent["d"]), "R7");
  EXPECT_EQ(d(sent["n"]), "ORDER-1");
  EXPECT_FALSE(d(sent["x"]).empty()) << "a fresh order number";
  auto page = webPage(*sheet);
  ASSERT_TRUE(page);
  EXPECT_FALSE(page->isGFWXH5());
  EXPECT_FALSE(d(page->url()).empty());
  EXPECT_EQ(page->titlelable()->text(), "钱包支付");

  // The player comes back: the page goes, the notice and the polling come.
  page->cancelBtnClick();
  settle();
  EXPECT_TRUE(sheet->payBtn()->isEnabled());
  EXPECT_EQ(nav(*sheet)->viewControllers().size(), 1u);
  ASSERT_TRUE(noticeShown(*sheet));
  EXPECT_TRUE(kit::Color::white(0, 0.2)->isEqual(*sheet->coverView()->backgroundColor()));
  EXPECT_EQ(sheet->noticeView()->statusL()->text(), KTNewPayVC::kPaying);
  ASSERT_TRUE(sheet->noticeView()->payError());
  EXPECT_EQ(sheet->noticeView()->payError()->domain(), "支付失败");
  EXPECT_EQ(sheet->noticeView()->payError()->code(), 1);
  wait(0, 1);
  EXPECT_EQ(keysOf(sentTo(KTNewPayVC::kResultEndpoint)), "z");
  EXPECT_EQ(d(sentTo(KTNewPayVC::kResultEndpoint)["z"]), "player01");
  kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/pay_sheet_paying.png");

  // Paid: the next answer says so and the polling stops.
  ASSERT_TRUE(platform->markPaid(platform->orders().back().orderNumber));
  wait(2, 2);
  ASSERT_TRUE(kit::test::runUntil([&] { return !sheet->timer(); }));
  EXPECT_EQ(sheet->noticeView()->statusL()->text(), KTNewPayVC::kPaid);
  EXPECT_FALSE(sheet->noticeView()->payError());
  // A paid order cannot be paid again, the page's return notwithstanding.
  EXPECT_FALSE(sheet->payBtn()->isEnabled());
  sheet->webPayReturned(nullptr);
  EXPECT_FALSE(sheet->payBtn()->isEnabled());
  clock.advance(10);
  kit::test::runUntil([] { return false; }, 0.05);
  EXPECT_EQ(polls(), 2u);

  // Go-to-game: cover gone, the whole sheet dismissed, success.
  kit::test::tap(sheet->noticeView()->goToGameButton());
  EXPECT_FALSE(sheet->coverView()->superview());
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0], "success|支付成功|6");
  settle();
  EXPECT_FALSE(game->presentedViewController());
}

TEST_F(PaySheetOrder, PollingAsksThirtyOneTimesOverSixtySecondsAndAReturnRestartsIt) {
  auto sheet = openWith("3", "6");
  ASSERT_TRUE(sheet);
  pay(*sheet, "H5pay/pay");
  EXPECT_EQ(d(sentTo("H5pay/pay")["z"]), "wx");
  auto page = webPage(*sheet);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->titlelable()->text(), "微信支付");
  page->cancelBtnClick();
  wait(0, 1);
  // Twenty seconds, a poll interval at a time: the polls travel over a real
  // socket, and one still on its way when a single leap passed its ten-second
  // time-out would be lost.
  for (size_t poll = 2; poll <= 11; ++poll) wait(2, poll);
  // A second return starts the count again, without a second timer.
  sheet->webPayReturned(nullptr);
  wait(0, 12);
  for (int i = 0; i < 30; ++i) wait(2, 13 + static_cast<size_t>(i));
  EXPECT_EQ(polls(), 42u) << "31 requests after the second return, over 60 seconds";
  clock.advance(2);
  kit::test::runUntil([] { return false; }, 0.05);
  EXPECT_FALSE(sheet->timer()) << "gone at the tick after the last request";
  clock.advance(10);
  kit::test::runUntil([] { return false; }, 0.05);
  EXPECT_EQ(polls(), 42u);

  // Unpaid: go-to-game reports the failure with code 1.
  kit::test::tap(sheet->noticeView()->goToGameButton());
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0], "failure|支付失败|1|6");
}

TEST_F(PaySheetOrder, AClosedSheetPollsNoMore) {
  auto sheet = openWith("2", "6");
  ASSERT_TRUE(sheet);
  sheet->webPayReturned(nullptr);
  wait(0, 1);
  kit::Weak<KTNewPayVC> weak = sheet;
  kit::test::tap(sheet->noticeView()->goToApplyButton());
  EXPECT_EQ(heard.size(), 1u);
  auto app = kit::Application::shared();
  ASSERT_FALSE(app->openedURLs().empty());
  EXPECT_EQ(app->openedURLs().back(),
            server->origin() + "/cdcloud/welcome/box?ag=" + d(ShareVale::sharedInstance()->chanelid()));
  sheet.reset();
  settle();
  ASSERT_TRUE(kit::test::runUntil([&] { return !weak.lock(); }));
  clock.advance(10);
  kit::test::runUntil([] { return false; }, 0.05);
  EXPECT_EQ(polls(), 1u);
}

TEST_F(PaySheetOrder, ANothingToPayAnswerShowsThePaidNotice) {
  auto sheet = openWith("6", "6");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->payStyle(), 6u);
  server->enqueue("wxh5/h5pay", sim::PlatformAPIReply::scrambled(kit::dict({{"code", "11"}, {"msg", "m"}})));
  pay(*sheet, "wxh5/h5pay");
  ASSERT_TRUE(kit::test::runUntil([&] { return noticeShown(*sheet); }));
  EXPECT_EQ(sheet->noticeView()->statusL()->text(), KTNewPayVC::kPaid);
  EXPECT_FALSE(sheet->payBtn()->isEnabled()) << "nothing is left to pay";
  EXPECT_TRUE(heard.empty());
  kit::test::tap(sheet->noticeView()->goToGameButton());
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0], "success|支付成功|6");
}

TEST_F(PaySheetOrder, OtherOrderFailuresAreShownAndHeardEachTime) {
  auto sheet = openWith("32", "6");
  ASSERT_TRUE(sheet);
  server->enqueue("Wxh5other/h5pay", sim::PlatformAPIReply::scrambled(kit::dict({{"code", 0}, {"msg", "暂停"}})));
  pay(*sheet, "Wxh5other/h5pay");
  ASSERT_TRUE(kit::test::runUntil([&] { return !heard.empty(); }));
  EXPECT_EQ(heard[0], "failure|无法通知服务器|3|6");
  EXPECT_TRUE(kit::test::findLabel(*sheet->view(), "暂停")) << "the toast is in the sheet";
  EXPECT_TRUE(sheet->payBtn()->isEnabled());
  // The official page: its own flag and title.
  pay(*sheet, "Wxh5other/h5pay");
  auto page = webPage(*sheet);
  ASSERT_TRUE(page);
  EXPECT_TRUE(page->isGFWXH5());
  EXPECT_EQ(page->titlelable()->text(), "微信支付");
}

TEST_F(PaySheetOrder, AppPaymentShowsThePlugsResultWithoutPolling) {
  std::vector<std::string> walletOpened;
  kit::Application::shared()->installApplication(WalletPaySDK::kDefaultWalletScheme,
                                                 [&](const std::string& url) { walletOpened.push_back(url); });
  auto sheet = openWith("31", "6");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->payStyle(), 5u);
  pay(*sheet, "WalletPayappother/apppayios");
  ASSERT_TRUE(kit::test::runUntil([&] { return !walletOpened.empty(); }));
  auto plug = KTPayPlug::sharedInstance();
  ASSERT_TRUE(plug->walletPayInfo());
  EXPECT_FALSE(d(plug->walletPayInfo()->signStr()).empty());
  EXPECT_EQ(plug->payWay(), KTPayWayWalletPayApp);

  plug->setWalletPayResultDic(kit::dict({{"resultStatus", "6001"}, {"memo", "用户取消"}, {"result", ""}}));
  ASSERT_TRUE(noticeShown(*sheet));
  EXPECT_EQ(sheet->noticeView()->statusL()->text(), KTPayPlug::kCancelledStatus);
  EXPECT_TRUE(sheet->noticeView()->payError());
  const std::string paid = R"({"out_trade_no":")" + platform->orders().back().orderNumber + R"("})";
  plug->setWalletPayResultDic(kit::dict({{"resultStatus", "9000"}, {"memo", ""}, {"result", paid}}));
  EXPECT_EQ(sheet->noticeView()->statusL()->text(), KTPayPlug::kPaidStatus);
  EXPECT_FALSE(sheet->noticeView()->payError());
  EXPECT_EQ(polls(), 0u);
  kit::test::tap(sheet->noticeView()->goToGameButton());
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0], "success|充值成功|6");
  plug->setBlock(nullptr);
}

TEST_F(PaySheetOrder, AWalletSuccessForAnEarlierOrderIsNoSuccessOfTheCurrentOne) {
  // The wallet pays what it is asked to; its returns reach the client only
  // when the test opens them through the facade.
  sim::WalletApp wallet(*platform);
  wallet.install();
  auto first = openWith("5", "6");
  ASSERT_TRUE(first);
  pay(*first, "WalletPayapp/apppayios");
  ASSERT_TRUE(kit::test::runUntil([&] { return wallet.returnURLs().size() == 1; }));
  const std::string orderA = platform->orders().back().orderNumber;
  // The player leaves A's sheet with its back button and buys for 30.
  first->popAction();
  settle();
  first.reset();
  auto second = open("30");
  ASSERT_TRUE(second);
  pay(*second, "WalletPayapp/apppayios");
  ASSERT_TRUE(kit::test::runUntil([&] { return wallet.returnURLs().size() == 2; }));
  const std::string orderB = platform->orders().back().orderNumber;
  ASSERT_NE(orderA, orderB);

  // A's "9000" comes back late: kept, logged once, and no success of B's:
  // B's notice waits for the platform, which knows B is paid.
  auto app = kit::Application::shared();
  const size_t asked = polls();
  TolmixSDK::openURL(*app, wallet.returnURLs()[0], kit::Dictionary::make());
  EXPECT_EQ(d(kit::Id(KTPayPlug::sharedInstance()->walletPayResultDic())["resultStatus"]), "9000");
  ASSERT_TRUE(noticeShown(*second));
  EXPECT_EQ(second->noticeView()->statusL()->text(), KTNewPayVC::kPaying);
  EXPECT_TRUE(heard.empty());
  const auto lines = logs.lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& line) { return line.find(orderA) != std::string::npos; }),
            1);
  wait(0, asked + 1);
  ASSERT_TRUE(kit::test::runUntil([&] { return second->noticeView()->statusL()->text() == KTNewPayVC::kPaid; }));

  // B's own return finds B paid already: the platform's answer stands.
  TolmixSDK::openURL(*app, wallet.returnURLs()[1], kit::Dictionary::make());
  ASSERT_TRUE(noticeShown(*second));
  EXPECT_EQ(second->noticeView()->statusL()->text(), KTNewPayVC::kPaid);
  kit::test::tap(second->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"success|支付成功|30"});
  EXPECT_TRUE(platform->order(orderB)->paid);
  KTPayPlug::sharedInstance()->setBlock(nullptr);
}

TEST_F(PaySheetOrder, AnOrderGoesOutOnlyForAnAmountTheSheetCanStandBehind) {
  auto sheet = openWith("1", "12");
  ASSERT_TRUE(sheet);
  ASSERT_EQ(sheet->realMoneyL()->text(), "120平台币");
  auto coupon = [](const char* cid, const char* value) {
    return KTCouponsModel::initWithDictionary(kit::dict({{"cid", cid}, {"pay_money", "1"}, {"coupon_money", value}}));
  };
  // Presses pay where no order may go out: the toast, no block, pay stays.
  auto refused = [&](const std::string& why) {
    kit::test::tap(sheet->payBtn());
    EXPECT_TRUE(sheet->payBtn()->isEnabled()) << why;
    EXPECT_TRUE(kit::test::findLabel(*sheet->view(), KTNewPayVC::kBadAmount)) << why;
    EXPECT_TRUE(heard.empty()) << why;
  };

  // A coupon whose value is no number is refused, not read as a free order.
  for (const char* value : {"abc", "", "-5", "NaN"}) {
    sheet->couponChosen(coupon("9", value));
    EXPECT_FALSE(sheet->order().cid) << value;
    EXPECT_EQ(sheet->realMoneyL()->text(), "120平台币") << value;
    EXPECT_EQ(d(sheet->order().couponMoney), "12") << value;
  }
  EXPECT_TRUE(kit::test::findLabel(*sheet->view(), KTNewPayVC::kBadAmount));

  // Discounts out of (0, 1], and one that brings the amount to nothing.
  for (const char* discount : {"-0.5", "5", "0.0000001", "1.01"}) {
    for (const char* way : {"1", "2"}) {
      sheet->handlePayWaysReply(json(std::string(R"({"code":"1","ttb":"120","djq":0,"discount":)") + discount +
                                     R"(,"data":[{"z":")" + way + R"("}]})"));
      refused(std::string(discount) + " way " + way);
    }
  }
  // A whole-order coupon may make the order free; a discount may not.
  sheet->handlePayWaysReply(json(R"({"code":"1","ttb":"120","djq":0,"discount":"1","data":[{"z":"1"}]})"));
  sheet->couponChosen(coupon("58", "15"));
  EXPECT_EQ(sheet->realMoneyL()->text(), "0平台币");
  sheet->couponChosen(coupon("57", "2"));
  EXPECT_EQ(sheet->realMoneyL()->text(), "100平台币");
  pay(*sheet, "Ttbpaynew/ttbnew");
  auto sent = sentTo("Ttbpaynew/ttbnew");
  EXPECT_EQ(d(sent["p"]), "120");
  EXPECT_EQ(d(sent["b"]), "100");
  EXPECT_EQ(d(sent["xx"]), "1.00");
  EXPECT_EQ(d(sent["cid"]), "57");
  ASSERT_TRUE(kit::test::runUntil([&] { return !heard.empty(); }));
  EXPECT_TRUE(heard[0].starts_with("success|")) << heard[0];
  EXPECT_EQ(platform->account("player01")->platformCoins, 20);
  EXPECT_EQ(server->requestsTo("Ttbpaynew/ttbnew").size(), 1u) << "the refused presses sent nothing";
  EXPECT_EQ(server->requestsTo("H5pay/pay").size(), 0u);
}

TEST_F(PaySheetOrder, AWalletSuccessThatDoesNotNameTheOrderExactlyIsCheckedWithThePlatform) {
  // The wallet pays what it is asked to; its returns reach the client only
  // when the test opens them through the facade.
  sim::WalletApp wallet(*platform);
  wallet.install();
  auto app = kit::Application::shared();
  // Opens a sheet for `money` and pays with the wallet app: the sheet, the
  // wallet's return URL and the order's number.
  struct Payment {
    kit::Ref<KTNewPayVC> sheet;
    std::string returnURL, order;
  };
  auto payInWallet = [&](const char* money) {
    Payment payment{openWith("5", money), "", ""};
    if (!payment.sheet) return payment;
    const size_t returns = wallet.returnURLs().size();
    pay(*payment.sheet, "WalletPayapp/apppayios");
    EXPECT_TRUE(kit::test::runUntil([&] { return wallet.returnURLs().size() == returns + 1; }));
    payment.returnURL = wallet.returnURLs().back();
    payment.order = platform->orders().back().orderNumber;
    return payment;
  };
  using Form = sim::WalletApp::ResultForm;
  for (Form form : {Form::OtherCase, Form::Nested, Form::NotJSON, Form::Blanks, Form::LeadingZero}) {
    const std::string name = "form " + std::to_string(static_cast<int>(form));
    wallet.setResultForm(form);
    // Order A is paid in the wallet; its success comes back late, after
    // the player left A's sheet and started B's payment.
    wallet.setAnswer("9000");
    Payment a = payInWallet("6");
    ASSERT_TRUE(a.sheet) << name;
    ASSERT_TRUE(platform->order(a.order)->paid) << name;
    a.sheet->popAction();
    settle();
    a.sheet.reset();
    wallet.setAnswer("6001");
    Payment b = payInWallet("30");
    auto second = b.sheet;
    ASSERT_TRUE(second) << name;
    const size_t asked = polls();

    // A's success is no success of B's: B's notice waits for the platform.
    TolmixSDK::openURL(*app, a.returnURL, kit::Dictionary::make());
    ASSERT_TRUE(noticeShown(*second)) << name;
    EXPECT_EQ(second->noticeView()->statusL()->text(), KTNewPayVC::kPaying) << name;
    ASSERT_TRUE(second->noticeView()->payError()) << name;
    EXPECT_EQ(second->noticeView()->payError()->domain(), KTNewPayVC::kUnpaid) << name;
    EXPECT_TRUE(heard.empty()) << name;
    // The platform says B is unpaid, poll after poll.
    wait(0, asked + 1);
    wait(KTNewPayVC::PollInterval, asked + 2);
    EXPECT_EQ(keysOf(sentTo(KTNewPayVC::kResultEndpoint)), "z") << name;
    EXPECT_EQ(second->noticeView()->statusL()->text(), KTNewPayVC::kPaying) << name;
    EXPECT_FALSE(platform->order(b.order)->paid) << name;
    // B's own cancel, which names no order, comes while the platform is
    // asked: the platform decides, so the polling goes on and the notice
    // still says paying; leaving before it answers is leaving unpaid.
    TolmixSDK::openURL(*app, b.returnURL, kit::Dictionary::make());
    EXPECT_EQ(second->noticeView()->statusL()->text(), KTNewPayVC::kPaying) << name;
    EXPECT_TRUE(second->timer()) << name;
    EXPECT_TRUE(heard.empty()) << name;
    kit::test::tap(second->noticeView()->goToGameButton());
    EXPECT_EQ(heard, std::vector<std::string>{"failure|支付失败|1|30"}) << name;
    heard.clear();
    settle();
    second.reset();
    b.sheet.reset();
    ASSERT_FALSE(KTNewPayVC::openSheet()) << name;

    // C's own success in the same form: the platform says C is paid.
    wallet.setAnswer("9000");
    Payment c = payInWallet("12");
    auto third = c.sheet;
    ASSERT_TRUE(third) << name;
    TolmixSDK::openURL(*app, c.returnURL, kit::Dictionary::make());
    EXPECT_EQ(third->noticeView()->statusL()->text(), KTNewPayVC::kPaying) << name;
    ASSERT_TRUE(kit::test::runUntil([&] { return third->noticeView()->statusL()->text() == KTNewPayVC::kPaid; }))
        << name;
    EXPECT_FALSE(third->noticeView()->payError()) << name;
    kit::test::tap(third->noticeView()->goToGameButton());
    EXPECT_EQ(heard, std::vector<std::string>{"success|支付成功|12"}) << name;
    EXPECT_TRUE(platform->order(c.order)->paid) << name;
    heard.clear();
    settle();
    third.reset();
    c.sheet.reset();
    ASSERT_FALSE(KTNewPayVC::openSheet()) << name;
  }

  // A success that names the sheet's own order needs no check.
  wallet.setResultForm(Form::JSON);
  Payment own = payInWallet("8");
  auto sheet = own.sheet;
  ASSERT_TRUE(sheet);
  const size_t asked = polls();
  TolmixSDK::openURL(*app, own.returnURL, kit::Dictionary::make());
  EXPECT_EQ(sheet->noticeView()->statusL()->text(), KTPayPlug::kPaidStatus);
  EXPECT_FALSE(sheet->timer());
  kit::test::tap(sheet->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"success|充值成功|8"});
  EXPECT_EQ(polls(), asked);
  KTPayPlug::sharedInstance()->setBlock(nullptr);
}

TEST_F(PaySheetOrder, AnotherOrdersCancelLetsThePlayerPayAgain) {
  // The wallet names the order of every answer; its returns reach the
  // client only when the test opens them through the facade.
  sim::WalletApp wallet(*platform);
  wallet.install();
  wallet.setNamesUnpaidOrders(true);
  wallet.setAnswer("6001");
  auto app = kit::Application::shared();
  auto first = openWith("5", "6");
  ASSERT_TRUE(first);
  pay(*first, "WalletPayapp/apppayios");
  ASSERT_TRUE(kit::test::runUntil([&] { return wallet.returnURLs().size() == 1; }));
  // The player leaves A's sheet with its back button and buys for 30.
  first->popAction();
  settle();
  first.reset();
  auto second = open("30");
  ASSERT_TRUE(second);
  const size_t asked = polls();
  using Form = sim::WalletApp::ResultForm;
  for (Form form : {Form::JSON, Form::Blanks, Form::LeadingZero}) {
    const std::string name = "form " + std::to_string(static_cast<int>(form));
    wallet.setResultForm(form);
    const size_t returns = wallet.returnURLs().size();
    pay(*second, "WalletPayapp/apppayios");
    ASSERT_TRUE(kit::test::runUntil([&] { return wallet.returnURLs().size() == returns + 1; })) << name;
    EXPECT_FALSE(second->payBtn()->isEnabled()) << name;
    // A's cancel comes back late, or this order's own in another spelling:
    // the order is still open, and pay can be pressed again.
    TolmixSDK::openURL(*app, wallet.returnURLs()[form == Form::JSON ? 0 : returns], kit::Dictionary::make());
    EXPECT_TRUE(second->payBtn()->isEnabled()) << name;
    EXPECT_FALSE(noticeShown(*second)) << name;
    EXPECT_TRUE(heard.empty()) << name;
  }
  EXPECT_EQ(polls(), asked);
  // The order's own cancel, named as it was placed, is shown.
  wallet.setResultForm(Form::JSON);
  const size_t returns = wallet.returnURLs().size();
  pay(*second, "WalletPayapp/apppayios");
  ASSERT_TRUE(kit::test::runUntil([&] { return wallet.returnURLs().size() == returns + 1; }));
  TolmixSDK::openURL(*app, wallet.returnURLs().back(), kit::Dictionary::make());
  ASSERT_TRUE(noticeShown(*second));
  EXPECT_EQ(second->noticeView()->statusL()->text(), KTPayPlug::kCancelledStatus);
  kit::test::tap(second->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"failure|取消充值|1|30"});
  KTPayPlug::sharedInstance()->setBlock(nullptr);
}

TEST_F(PaySheetOrder, AnOrderGoesOutForTheSumTheSheetShowsOrIsRefusedAtTheEntry) {
  // Forty nines: the decimal keeps 38 digits, and the sheet would send
  // p=9999...9999 with b=9999...9900. Refused as a malformed amount is.
  for (const std::string& money : {std::string(40, '9'), std::string(37, '9') + ".9"}) {
    order(money.c_str());
    settle();
    EXPECT_TRUE(toastShown(KTNewPayVC::kBadAmount)) << money;
    EXPECT_FALSE(game->presentedViewController()) << money;
    EXPECT_FALSE(KTNewPayVC::openSheet()) << money;
  }
  EXPECT_TRUE(heard.empty());
  EXPECT_EQ(server->requestsTo(KTNewPayVC::kPayWaysEndpoint).size(), 0u);

  // The largest amount with cents that is held exactly goes out as shown.
  const std::string largest = std::string(36, '9') + ".99";
  auto sheet = openWith("2", largest.c_str());
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->moneyL()->text(), largest + "元");
  EXPECT_EQ(sheet->realMoneyL()->text(), largest + "元");
  pay(*sheet, "H5pay/pay");
  EXPECT_EQ(d(sentTo("H5pay/pay")["p"]), largest);
  EXPECT_EQ(d(sentTo("H5pay/pay")["b"]), largest);
  sheet->popAction();
  settle();
  ASSERT_FALSE(KTNewPayVC::openSheet());

  // At a discount, 36 whole digits leave the cents of the amount to pay:
  // (10^35 + 0.99) × 0.85 is 85 × 10^33 + 0.8415, cut to 0.84.
  platform->setDiscount("0.85");
  const std::string discounted = "1" + std::string(35, '0') + ".99";
  sheet = openWith("2", discounted.c_str());
  ASSERT_TRUE(sheet);
  const std::string due = "85" + std::string(33, '0') + ".84";
  EXPECT_EQ(sheet->realMoneyL()->text(), due + "元");
  pay(*sheet, "H5pay/pay");
  EXPECT_EQ(d(sentTo("H5pay/pay")["p"]), discounted);
  EXPECT_EQ(d(sentTo("H5pay/pay")["b"]), due);
}

TEST_F(PaySheetOrder, AnOrderThatACouponPaysWhollyGoesOutForNothing) {
  auto sheet = openWith("2", "10");
  ASSERT_TRUE(sheet);
  sheet->couponChosen(
      KTCouponsModel::initWithDictionary(kit::dict({{"cid", "58"}, {"pay_money", "5"}, {"coupon_money", "12"}})));
  EXPECT_EQ(sheet->realMoneyL()->text(), "0元");
  pay(*sheet, "H5pay/pay");
  auto sent = sentTo("H5pay/pay");
  EXPECT_EQ(d(sent["p"]), "10");
  EXPECT_EQ(d(sent["b"]), "0");
  EXPECT_EQ(d(sent["cid"]), "58");
  ASSERT_TRUE(kit::test::runUntil([&] { return noticeShown(*sheet); })) << "the server's 11: nothing to pay";
  EXPECT_EQ(sheet->noticeView()->statusL()->text(), KTNewPayVC::kPaid);
}

TEST_F(PaySheetOrder, ACouponThatLeavesLessThanACentChargesACent) {
  platform->updateAccount("player01", [](sim::PlatformAccount& account) {
    account.coupons = {{"60", "满12减11.991", "12", "11.991"},
                       {"61", "满12减11.999", "12", "11.999"},
                       {"62", "满12减12", "12", "12"}};
  });
  platform->setPayWays({{"1", "平台币", ""}, {"2", "钱包", ""}, {"4", "代金券", ""}});

  // Coins: 0.009 and 0.001 yuan left are a cent, one coin; the platform
  // takes it.
  long coins = 120;
  for (const char* name : {"满12减11.991", "满12减11.999"}) {
    auto sheet = open("12");
    ASSERT_TRUE(sheet);
    chooseCoupon(*sheet, name);
    EXPECT_EQ(d(sheet->order().couponMoney), "0.01") << name;
    EXPECT_EQ(sheet->realMoneyL()->text(), "1平台币") << name;
    pay(*sheet, "Ttbpaynew/ttbnew");
    auto sent = sentTo("Ttbpaynew/ttbnew");
    EXPECT_EQ(d(sent["p"]), "120") << name;
    EXPECT_EQ(d(sent["b"]), "1") << name;
    ASSERT_TRUE(kit::test::runUntil([&] { return heard.size() == 1; })) << name;
    EXPECT_TRUE(heard[0].starts_with("success|")) << heard[0];
    EXPECT_EQ(platform->account("player01")->platformCoins, --coins) << name;
    heard.clear();
    settle();
    ASSERT_FALSE(KTNewPayVC::openSheet()) << "a paid coin order closes the sheet";
  }

  // A coupon worth the whole price still makes the order free.
  auto sheet = open("12");
  ASSERT_TRUE(sheet);
  chooseCoupon(*sheet, "满12减12");
  EXPECT_EQ(sheet->realMoneyL()->text(), "0平台币");
  pay(*sheet, "Ttbpaynew/ttbnew");
  EXPECT_EQ(d(sentTo("Ttbpaynew/ttbnew")["b"]), "0");
  ASSERT_TRUE(kit::test::runUntil([&] { return heard.size() == 1; }));
  EXPECT_TRUE(heard[0].starts_with("success|")) << heard[0];
  EXPECT_EQ(platform->account("player01")->platformCoins, coins);
  heard.clear();
  settle();
  ASSERT_FALSE(KTNewPayVC::openSheet());

  // The web cashier and vouchers: a cent, and the order waits for its payment.
  sheet = open("12");
  ASSERT_TRUE(sheet);
  chooseCoupon(*sheet, "满12减11.991");
  kit::test::tap(sheet->walletPayIconBtn());
  EXPECT_EQ(sheet->realMoneyL()->text(), "0.01元");
  kit::test::tap(sheet->djqIconBtn());
  EXPECT_EQ(sheet->realMoneyL()->text(), "0.01元");
  kit::test::tap(sheet->walletPayIconBtn());
  pay(*sheet, "H5pay/pay");
  EXPECT_EQ(d(sentTo("H5pay/pay")["b"]), "0.01");
  ASSERT_TRUE(webPage(*sheet)) << "a cent to pay on the cashier page";
  ASSERT_FALSE(platform->orders().empty());
  EXPECT_FALSE(platform->orders().back().paid);
  EXPECT_EQ(platform->orders().back().realMoney, "0.01");
}

}  // namespace
