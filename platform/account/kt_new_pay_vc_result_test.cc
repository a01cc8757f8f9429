// The pay sheet's results once an order is settled: the first paid result
// (the wallet's success naming the order, the platform's answer to the
// polling) is final, later results for the order change nothing on screen,
// the game hears the outcome once, and nothing comes back over the game
// while the sheet closes; an order number the wallet writes as a float
// names no order, so its success goes to the platform and its cancel or
// failure is another order's. Once the platform is asked, the wallet's
// cancel or failure of the order leaves the outcome to it; a paid sheet's
// pay button stays off.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "kit/foundation/notification_center.h"
#include "kit/net/url_session_task.h"
#include "kit/ui/application.h"
#include "net/session_task_notifications.h"
#include "payvendor/pay/wallet_pay_sdk.h"
#include "platform/account/kt_pay_plug.h"
#include "platform/account/testing/kt_pay_sheet_fixture.h"

namespace {

class PaySheetResult : public PaySheetTest {
 protected:
  void SetUp() override {
    PaySheetTest::SetUp();
    // The wallet app only records what it is asked to pay; the test hands
    // its answers to the plug as the facade would.
    kit::Application::shared()->installApplication(WalletPaySDK::kDefaultWalletScheme,
                                                   [this](const std::string& url) { walletOpened.push_back(url); });
    completed = kit::NotificationCenter::defaultCenter()->addObserverForName(
        SDPManagerTaskCompletedNotification, nullptr, [this](const kit::Ref<kit::Notification>& note) {
          auto task = kit::as<kit::URLSessionTask>(note->object());
          auto url = task && task->originalRequest() ? task->originalRequest()->URL() : nullptr;
          if (url) answered.push_back(kit::describe(url->absoluteString()));
        });
  }
  void TearDown() override {
    kit::NotificationCenter::defaultCenter()->removeObserver(completed);
    plug->setBlock(nullptr);
    PaySheetTest::TearDown();
  }
  // How many answers from this test's server at the endpoint the sheet has
  // been handed (the completion notice follows the reply's block); a
  // request an earlier test left out ends against its own server.
  size_t answersFrom(const std::string& endpoint) const {
    return std::count_if(answered.begin(), answered.end(), [&](const std::string& url) {
      return url.starts_with(server->origin() + "/") && url.ends_with("/" + endpoint);
    });
  }

  // Opens a sheet for 6 with the wallet app as its first pay way, presses
  // pay and waits until the wallet is asked.
  kit::Ref<KTNewPayVC> payInWallet(std::vector<sim::PlatformPayWay> ways = {{"5", "way", ""}}) {
    platform->setPayWays(std::move(ways));
    auto sheet = open("6");
    if (sheet) pressPay(*sheet);
    return sheet;
  }
  // Presses pay on a wallet sheet and waits until the wallet is asked.
  void pressPay(KTNewPayVC& sheet) {
    const size_t asked = walletOpened.size();
    kit::test::tap(sheet.payBtn());
    EXPECT_FALSE(sheet.payBtn()->isEnabled());
    EXPECT_TRUE(kit::test::runUntil([&] { return walletOpened.size() == asked + 1; }));
  }
  // The platform's answer to an app order: the signed order of `number`.
  static sim::PlatformAPIReply signedOrder(const std::string& number) {
    return sim::PlatformAPIReply::json(
        kit::dict({{"z", "1"}, {"c", R"(partner="10001"&out_trade_no=")" + number + R"("&sign="s")"}}));
  }
  // Moves the clock on by a poll interval and waits until the poll it sends
  // is answered.
  void nextPoll() {
    const size_t answers = answersFrom(KTNewPayVC::kResultEndpoint);
    clock.advance(KTNewPayVC::PollInterval);
    EXPECT_TRUE(kit::test::runUntil([&] { return answersFrom(KTNewPayVC::kResultEndpoint) == answers + 1; }));
  }
  void cancelWhileThePlatformIsAsked(bool pollOnItsWay);
  std::string placedOrder() const { return platform->orders().empty() ? "" : platform->orders().back().orderNumber; }
  // The wallet's answer with the JSON text `result`.
  void answer(const char* status, const std::string& result) {
    plug->setWalletPayResultDic(kit::dict({{"resultStatus", status}, {"memo", "m"}, {"result", result}}));
  }
  static std::string naming(const std::string& order) { return R"({"out_trade_no":")" + order + R"("})"; }
  bool noticeShown(KTNewPayVC& sheet) { return sheet.coverView()->superview() == window; }
  std::string status(KTNewPayVC& sheet) { return sheet.noticeView()->statusL()->text(); }
  size_t polls() const { return server->requestsTo(KTNewPayVC::kResultEndpoint).size(); }

  kit::Ref<KTPayPlug> plug = KTPayPlug::sharedInstance();
  std::vector<std::string> walletOpened;
  kit::Id completed;
  std::vector<std::string> answered;
};

TEST_F(PaySheetResult, TheWalletsSuccessIsFinalForItsOrder) {
  auto sheet = payInWallet();
  ASSERT_TRUE(sheet);
  const std::string order = placedOrder();
  answer("9000", naming(order));
  ASSERT_TRUE(noticeShown(*sheet));
  EXPECT_EQ(status(*sheet), KTPayPlug::kPaidStatus);

  // The same order's cancel and failure, named or not, and a success the
  // plug cannot confirm: the notice keeps saying paid and asks nobody.
  answer("6001", naming(order));
  answer("4000", naming(order));
  answer("6001", "");
  answer("9000", naming(order + "1"));
  EXPECT_TRUE(noticeShown(*sheet));
  EXPECT_EQ(status(*sheet), KTPayPlug::kPaidStatus);
  EXPECT_EQ(kit::describe(sheet->noticeView()->payStatus()), KTPayPlug::kPaidStatus);
  EXPECT_FALSE(sheet->noticeView()->payError());
  EXPECT_FALSE(sheet->timer());
  EXPECT_EQ(polls(), 0u);

  kit::test::tap(sheet->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"success|充值成功|6"});
}

TEST_F(PaySheetResult, APollAnsweredAfterTheWalletsSuccessChangesNothing) {
  auto sheet = payInWallet();
  ASSERT_TRUE(sheet);
  const std::string order = placedOrder();
  ASSERT_TRUE(platform->markPaid(order));
  server->holdAnswers(KTNewPayVC::kResultEndpoint);
  // A success naming no order starts the polling; the wallet's own success
  // comes while the platform's answer is on its way.
  answer("9000", "");
  clock.settle();
  ASSERT_TRUE(kit::test::runUntil([&] { return polls() == 1; }));
  answer("9000", naming(order));
  EXPECT_EQ(status(*sheet), KTPayPlug::kPaidStatus);
  server->releaseAnswers(KTNewPayVC::kResultEndpoint);
  ASSERT_TRUE(kit::test::runUntil([&] { return answersFrom(KTNewPayVC::kResultEndpoint) == 1; }));
  EXPECT_EQ(status(*sheet), KTPayPlug::kPaidStatus);
  EXPECT_EQ(kit::describe(sheet->noticeView()->payStatus()), KTPayPlug::kPaidStatus);

  kit::test::tap(sheet->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"success|充值成功|6"});
}

TEST_F(PaySheetResult, ThePlatformsPaidAnswerIsFinalForTheOrder) {
  auto sheet = payInWallet();
  ASSERT_TRUE(sheet);
  const std::string order = placedOrder();
  // A success that names no order: the platform is asked, and says paid.
  ASSERT_TRUE(platform->markPaid(order));
  answer("9000", "");
  ASSERT_TRUE(noticeShown(*sheet));
  clock.settle();
  ASSERT_TRUE(kit::test::runUntil([&] { return status(*sheet) == KTNewPayVC::kPaid; }));
  EXPECT_FALSE(sheet->timer());
  const size_t asked = polls();

  // The order's own cancel, a second unconfirmed success and a return from
  // a web page leave it paid: no "支付中..." again and no new polling.
  answer("6001", naming(order));
  answer("9000", "");
  sheet->webPayReturned(nullptr);
  clock.advance(KTNewPayVC::PollInterval * 2);
  EXPECT_EQ(status(*sheet), KTNewPayVC::kPaid);
  EXPECT_FALSE(sheet->noticeView()->payError());
  EXPECT_FALSE(sheet->timer());
  EXPECT_EQ(polls(), asked);

  kit::test::tap(sheet->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"success|支付成功|6"});
}

TEST_F(PaySheetResult, NothingComesBackOverTheGameWhileTheSheetCloses) {
  auto sheet = payInWallet();
  ASSERT_TRUE(sheet);
  const std::string order = placedOrder();
  answer("9000", naming(order));
  kit::test::tap(sheet->noticeView()->goToGameButton());
  ASSERT_FALSE(sheet->coverView()->superview());
  ASSERT_TRUE(KTNewPayVC::openSheet()) << "still closing";
  // A second success, and a cancel, arrive while the sheet goes.
  answer("9000", naming(order));
  answer("6001", naming(order));
  EXPECT_FALSE(sheet->coverView()->superview());
  settle();
  EXPECT_FALSE(KTNewPayVC::openSheet());
  EXPECT_FALSE(sheet->coverView()->superview());
  EXPECT_EQ(heard, std::vector<std::string>{"success|充值成功|6"});
  sheet.reset();
  plug->setBlock(nullptr);

  // The player leaves with the back button while the wallet is open: its
  // success, arriving as the sheet goes, shows nothing and tells nobody.
  heard.clear();
  walletOpened.clear();
  sheet = payInWallet();
  ASSERT_TRUE(sheet);
  sheet->popAction();
  answer("9000", naming(placedOrder()));
  EXPECT_FALSE(sheet->coverView()->superview());
  settle();
  EXPECT_FALSE(sheet->coverView()->superview());
  EXPECT_TRUE(heard.empty());
  sheet.reset();

  // So does the platform's word that an order needs no payment, when it
  // comes after the player left with the back button.
  platform->setPayWays({{"6", "way", ""}});
  sheet = open("6");
  ASSERT_TRUE(sheet);
  server->holdAnswers("wxh5/h5pay");
  server->enqueue("wxh5/h5pay", sim::PlatformAPIReply::scrambled(kit::dict({{"code", "11"}, {"msg", "m"}})));
  kit::test::tap(sheet->payBtn());
  ASSERT_TRUE(kit::test::runUntil([&] { return !server->requestsTo("wxh5/h5pay").empty(); }));
  sheet->popAction();
  server->releaseAnswers("wxh5/h5pay");
  ASSERT_TRUE(kit::test::runUntil([&] { return answersFrom("wxh5/h5pay") == 1; }));
  EXPECT_FALSE(sheet->coverView()->superview());
  settle();
  EXPECT_FALSE(sheet->coverView()->superview());
  EXPECT_TRUE(heard.empty());
}

TEST_F(PaySheetResult, AFloatOrderNumberNamesNoOrderAndGoesToThePlatform) {
  // The platform signs order ...328; the wallet's successes name ...329 as
  // floats, which round to ...328.
  auto signedOrder = [] {
    return sim::PlatformAPIReply::json(
        kit::dict({{"z", "1"}, {"c", R"(partner="10001"&out_trade_no="17967837306853328"&sign="s")"}}));
  };
  for (const char* result : {R"({"out_trade_no":1.7967837306853329e16})", R"({"out_trade_no":17967837306853329.0})"}) {
    heard.clear();
    walletOpened.clear();
    server->enqueue("WalletPayapp/apppayios", signedOrder());
    // The platform knows nothing paid.
    server->enqueue(KTNewPayVC::kResultEndpoint, sim::PlatformAPIReply::scrambled(kit::dict({{"z", "0"}})));
    auto sheet = payInWallet();
    ASSERT_TRUE(sheet) << result;
    const size_t asked = polls();
    answer("9000", result);
    ASSERT_TRUE(noticeShown(*sheet)) << result;
    EXPECT_EQ(status(*sheet), KTNewPayVC::kPaying) << result;
    ASSERT_TRUE(sheet->noticeView()->payError()) << result;
    clock.settle();
    EXPECT_TRUE(kit::test::runUntil([&] { return polls() == asked + 1; })) << result;
    EXPECT_EQ(status(*sheet), KTNewPayVC::kPaying) << result;
    kit::test::tap(sheet->noticeView()->goToGameButton());
    EXPECT_EQ(heard, std::vector<std::string>{"failure|支付失败|1|6"}) << result;
    settle();
    ASSERT_FALSE(KTNewPayVC::openSheet()) << result;
  }

  // A large integer written exactly names its order.
  heard.clear();
  walletOpened.clear();
  server->enqueue("WalletPayapp/apppayios", signedOrder());
  auto sheet = payInWallet();
  ASSERT_TRUE(sheet);
  const size_t asked = polls();
  answer("9000", R"({"out_trade_no":17967837306853328})");
  EXPECT_EQ(status(*sheet), KTPayPlug::kPaidStatus);
  EXPECT_EQ(polls(), asked);
  kit::test::tap(sheet->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"success|充值成功|6"});
}

// The wallet's success names no order: the platform is asked, and its first
// answer says unpaid. Then the wallet's cancel and failure of the order
// arrive, between two polls or while the next one is on its way, and the
// platform holds the order paid. Either way the platform's answer is the
// outcome: the cancel neither stops the polling nor shows or tells anything.
void PaySheetResult::cancelWhileThePlatformIsAsked(bool pollOnItsWay) {
  auto sheet = payInWallet();
  ASSERT_TRUE(sheet);
  const std::string order = placedOrder();
  answer("9000", "");
  ASSERT_EQ(status(*sheet), KTNewPayVC::kPaying);
  clock.settle();
  ASSERT_TRUE(kit::test::runUntil([&] { return answersFrom(KTNewPayVC::kResultEndpoint) == 1; }));
  ASSERT_EQ(status(*sheet), KTNewPayVC::kPaying);
  if (pollOnItsWay) {
    // The platform chooses its answer as the poll arrives: paid, held.
    ASSERT_TRUE(platform->markPaid(order));
    server->holdAnswers(KTNewPayVC::kResultEndpoint);
    clock.advance(KTNewPayVC::PollInterval);
    ASSERT_TRUE(kit::test::runUntil([&] { return polls() == 2; }));
  }
  answer("4000", naming(order));
  answer("6001", "");
  answer("6001", naming(order));
  EXPECT_EQ(status(*sheet), KTNewPayVC::kPaying);
  EXPECT_TRUE(heard.empty());
  ASSERT_TRUE(sheet->timer()) << "the polling goes on";
  if (pollOnItsWay) {
    server->releaseAnswers(KTNewPayVC::kResultEndpoint);
  } else {
    ASSERT_TRUE(platform->markPaid(order));
    nextPoll();
  }
  ASSERT_TRUE(kit::test::runUntil([&] { return status(*sheet) == KTNewPayVC::kPaid; }));
  EXPECT_FALSE(sheet->timer());
  EXPECT_FALSE(sheet->noticeView()->payError());
  kit::test::tap(sheet->noticeView()->goToGameButton());
  settle();
  EXPECT_FALSE(KTNewPayVC::openSheet());
  EXPECT_EQ(heard, std::vector<std::string>{"success|支付成功|6"});
}

TEST_F(PaySheetResult, ACancelBetweenPollsLeavesTheUnconfirmedSuccessToThePlatform) {
  cancelWhileThePlatformIsAsked(false);
}

TEST_F(PaySheetResult, ACancelWhileAPollIsOnItsWayLeavesTheUnconfirmedSuccessToThePlatform) {
  cancelWhileThePlatformIsAsked(true);
}

TEST_F(PaySheetResult, ACancelAfterThePlatformsSilenceChangesNothing) {
  auto sheet = payInWallet();
  ASSERT_TRUE(sheet);
  const std::string order = placedOrder();
  answer("9000", "");
  clock.settle();
  ASSERT_TRUE(kit::test::runUntil([&] { return answersFrom(KTNewPayVC::kResultEndpoint) == 1; }));
  // Thirty more unpaid answers, and the tick after the last ends the polling.
  for (int poll = 2; poll <= 31; ++poll) nextPoll();
  clock.advance(KTNewPayVC::PollInterval);
  ASSERT_TRUE(kit::test::runUntil([&] { return !sheet->timer(); }));
  ASSERT_EQ(polls(), 31u);

  // The wallet's cancel and failure come after: the platform's silence is
  // the outcome.
  answer("6001", naming(order));
  answer("4000", "");
  EXPECT_EQ(status(*sheet), KTNewPayVC::kPaying);
  EXPECT_EQ(kit::describe(sheet->noticeView()->payStatus()), KTNewPayVC::kUnpaid);
  kit::test::tap(sheet->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"failure|支付失败|1|6"});
}

TEST_F(PaySheetResult, APollAnsweredAfterTheWalletsCancelShowedChangesNothing) {
  auto sheet = payInWallet();
  ASSERT_TRUE(sheet);
  const std::string order = placedOrder();
  // A polling the sheet was asked to start; its first answer, paid, is held
  // while the wallet's cancel of the order shows.
  ASSERT_TRUE(platform->markPaid(order));
  server->holdAnswers(KTNewPayVC::kResultEndpoint);
  sheet->resume();
  clock.settle();
  ASSERT_TRUE(kit::test::runUntil([&] { return polls() == 1; }));
  answer("6001", naming(order));
  ASSERT_TRUE(noticeShown(*sheet));
  EXPECT_EQ(status(*sheet), KTPayPlug::kCancelledStatus);
  EXPECT_FALSE(sheet->timer());
  server->releaseAnswers(KTNewPayVC::kResultEndpoint);
  ASSERT_TRUE(kit::test::runUntil([&] { return answersFrom(KTNewPayVC::kResultEndpoint) == 1; }));
  EXPECT_EQ(status(*sheet), KTPayPlug::kCancelledStatus);
  kit::test::tap(sheet->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"failure|取消充值|1|6"});
}

TEST_F(PaySheetResult, ACancelOrFailureWhoseOrderNumberNamesNoOrderIsAnotherOrders) {
  // The platform signs order ...330; the wallet's results carry order
  // numbers that are no text and no integer written exactly.
  const std::string awaited = "17967837306853330";
  server->enqueue("WalletPayapp/apppayios", signedOrder(awaited));
  auto sheet = payInWallet();
  ASSERT_TRUE(sheet);
  for (const char* number : {"1.7967837306853328e16", "1e3", "1000.0", "123456789012345678901234567890",
                             "18446744073709551616", "true", "false", "null"}) {
    for (const char* code : {"6001", "4000"}) {
      const std::string name = std::string(code) + " " + number;
      answer(code, std::string(R"({"out_trade_no":)") + number + "}");
      EXPECT_TRUE(heard.empty()) << name;
      ASSERT_FALSE(noticeShown(*sheet)) << name;
      ASSERT_TRUE(sheet->payBtn()->isEnabled()) << name;
      server->enqueue("WalletPayapp/apppayios", signedOrder(awaited));
      pressPay(*sheet);
    }
  }
  EXPECT_EQ(polls(), 0u);
  // Only a result without an order number is the awaited order's.
  answer("6001", R"({"total_fee":"6"})");
  ASSERT_TRUE(noticeShown(*sheet));
  EXPECT_EQ(status(*sheet), KTPayPlug::kCancelledStatus);
  kit::test::tap(sheet->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"failure|取消充值|1|6"});
}

TEST_F(PaySheetResult, APaidSheetsPayButtonStaysOff) {
  auto sheet = payInWallet();
  ASSERT_TRUE(sheet);
  const std::string order = placedOrder();
  // A success the wallet cannot confirm; another order's cancel brings pay
  // back while the platform is asked; then the platform says paid.
  answer("9000", "");
  clock.settle();
  ASSERT_TRUE(kit::test::runUntil([&] { return answersFrom(KTNewPayVC::kResultEndpoint) == 1; }));
  answer("6001", naming(order + "1"));
  ASSERT_TRUE(sheet->payBtn()->isEnabled());
  ASSERT_TRUE(platform->markPaid(order));
  nextPoll();
  ASSERT_EQ(status(*sheet), KTNewPayVC::kPaid);
  EXPECT_FALSE(sheet->payBtn()->isEnabled());

  // A web pay page coming back and another order's cancel leave it off.
  sheet->webPayReturned(nullptr);
  EXPECT_FALSE(sheet->payBtn()->isEnabled());
  answer("6001", naming(order + "2"));
  EXPECT_FALSE(sheet->payBtn()->isEnabled());
  EXPECT_EQ(status(*sheet), KTNewPayVC::kPaid);
  EXPECT_FALSE(sheet->timer());
  kit::test::tap(sheet->noticeView()->goToGameButton());
  EXPECT_EQ(heard, std::vector<std::string>{"success|支付成功|6"});
}

TEST_F(PaySheetResult, AnOrderOutWhenAnEarlierPaymentIsConfirmedPaysNothingMore) {
  struct Case {
    const char* name;
    bool coins;
    std::optional<sim::PlatformAPIReply> reply;  // none: the platform's own
  };
  const Case cases[] = {
      {"wallet order placed", false, std::nullopt},
      {"wallet order refused", false, sim::PlatformAPIReply::json(kit::dict({{"z", "0"}, {"b", "暂停"}}))},
      {"coin order paid", true, std::nullopt},
      {"coin order refused", true, sim::PlatformAPIReply::scrambled(kit::dict({{"z", "0"}, {"c", "暂停"}}))},
  };
  for (const Case& c : cases) {
    heard.clear();
    walletOpened.clear();
    // Order A is in the wallet; another order's cancel brings pay back, and
    // the player orders again.
    auto sheet = payInWallet({{"5", "way", ""}, {"1", "way", ""}});
    ASSERT_TRUE(sheet) << c.name;
    const std::string orderA = placedOrder();
    answer("6001", naming(orderA + "1"));
    ASSERT_TRUE(sheet->payBtn()->isEnabled()) << c.name;
    if (c.coins) kit::test::tap(sheet->ptbIconBtn());
    const std::string endpoint = c.coins ? "Ttbpaynew/ttbnew" : "WalletPayapp/apppayios";
    if (c.reply) server->enqueue(endpoint, *c.reply);
    server->holdAnswers(endpoint);
    const size_t sent = server->requestsTo(endpoint).size();
    const size_t answered = answersFrom(endpoint);
    kit::test::tap(sheet->payBtn());
    ASSERT_TRUE(waitForCalls(endpoint, sent + 1)) << c.name;
    // A's success comes back while the new order is out: paid.
    answer("9000", naming(orderA));
    ASSERT_EQ(status(*sheet), KTPayPlug::kPaidStatus) << c.name;
    server->releaseAnswers(endpoint);
    ASSERT_TRUE(kit::test::runUntil([&] { return answersFrom(endpoint) == answered + 1; })) << c.name;

    // The new order's answer pays nothing more, shows and tells nothing.
    EXPECT_EQ(walletOpened.size(), 1u) << c.name;
    EXPECT_FALSE(sheet->payBtn()->isEnabled()) << c.name;
    EXPECT_FALSE(kit::test::findLabel(*sheet->view(), "暂停")) << c.name;
    EXPECT_TRUE(heard.empty()) << c.name;
    EXPECT_TRUE(noticeShown(*sheet)) << c.name;
    EXPECT_EQ(status(*sheet), KTPayPlug::kPaidStatus) << c.name;
    kit::test::tap(sheet->noticeView()->goToGameButton());
    EXPECT_EQ(heard, std::vector<std::string>{"success|充值成功|6"}) << c.name;
    settle();
    ASSERT_FALSE(KTNewPayVC::openSheet()) << c.name;
    plug->setBlock(nullptr);
  }
}

}  // namespace
