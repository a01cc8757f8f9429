// The play-time countdown on the virtual clock: who is counted, the
// deadline already past, the ten-second ticks with their online-time
// reports and the overlay at the end, a stalled process and a sleeping
// machine, logout, and a new login replacing the countdown.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/format.h"
#include "platform/account/kt_game_over_view.h"
#include "platform/account/kt_login_api.h"
#include "platform/testing/login_out_stand_in.h"
#include "platform/usercenter/cxr_helper_btn.h"
#include "platform/usercenter/usercenter_test_fixture.h"

namespace {

constexpr double Start = 1700000000;  // the virtual wall clock at the start

class Countdown : public UserCentreTest {
 protected:
  void SetUp() override {
    UserCentreTest::SetUp();
    clock = std::make_unique<kit::VirtualClock>(Start);
    ball = CXRHelperBtn::shared();
    ball->create();
    CXRHelperBtnPort::install(CXRHelperBtn::sharedPort());
  }
  void TearDown() override {
    ball.reset();
    UserCentreTest::TearDown();
    clock.reset();
  }

  // A login of a minor with `seconds` of play left.
  static kit::Ref<LoginResult> minor(double seconds, const char* rzStatus = "2") {
    auto result = kit::make<LoginResult>();
    result->setIsMustRZ(true);
    result->setRzStatus(kit::str(rzStatus));
    result->setLmitTime(kit::str(kit::formatString("%.0f", (kit::Clock::wallNow() + seconds) * 1000)));
    return result;
  }
  void login(const kit::Ref<LoginResult>& result) {
    ball->setLoginData(result);
    ball->startTimer();
  }
  size_t uploads() const { return server->requestsTo("login/setTime").size(); }
  size_t overlays() const { return kit::test::findViewsOfType<KTGameOverView>(*window).size(); }
  // The reports that reached the server before a marker report sent now:
  // what the countdown sent, whatever was still on its way.
  size_t reportsBeforeMarker() {
    const size_t before = uploads();
    KTLoginAPI::doUploadUserOlineTime();
    EXPECT_TRUE(kit::test::runUntil([&] { return uploads() > before; }));
    return uploads() - 1;
  }

  std::unique_ptr<kit::VirtualClock> clock;
  kit::Ref<CXRHelperBtn> ball;
};

TEST_F(Countdown, OnlyMinorsUnderTheRulesAreCounted) {
  login(minor(600, "1"));
  EXPECT_FALSE(ball->timer());
  auto adult = minor(600);
  adult->setIsMustRZ(false);
  login(adult);
  EXPECT_FALSE(ball->timer());
  clock->advance(700);
  EXPECT_EQ(overlays(), 0u);
  EXPECT_EQ(reportsBeforeMarker(), 0u);
}

TEST_F(Countdown, ADeadlinePastOrMissingShowsTheOverlayAtOnce) {
  login(minor(-5));
  EXPECT_EQ(overlays(), 1u);
  EXPECT_FALSE(ball->timer());
  auto missing = minor(600);
  missing->setLmitTime(nullptr);
  login(missing);
  EXPECT_EQ(overlays(), 2u);
  EXPECT_FALSE(ball->timer());
  auto garbage = minor(600);
  garbage->setLmitTime(kit::str("soon"));
  login(garbage);
  EXPECT_EQ(overlays(), 3u);
  clock->advance(30);
  EXPECT_EQ(reportsBeforeMarker(), 0u);
}

TEST_F(Countdown, NinetyFiveSecondsEndAtTheEleventhTickWithOneReport) {
  login(minor(95));
  ASSERT_TRUE(ball->timer());
  for (int tick = 1; tick <= 9; ++tick) {
    clock->advance(10);
    EXPECT_EQ(overlays(), 0u) << "tick at " << tick * 10 << " s";
  }
  clock->advance(10);  // 100 s: the count is at or below zero
  EXPECT_EQ(overlays(), 1u);
  ASSERT_TRUE(kit::test::runUntil([&] { return uploads() == 1; }));
  auto report = sentTo("login/setTime");
  EXPECT_EQ(keysOf(report), "g,n");
  EXPECT_EQ(kit::describe(kit::as<kit::Dictionary>(report)->objectForKey("n")), "player01");
  EXPECT_EQ(kit::describe(kit::as<kit::Dictionary>(report)->objectForKey("g")), "1001");
  EXPECT_TRUE(ball->timer()->isCancelled());
  clock->advance(100);
  EXPECT_EQ(overlays(), 1u);
  EXPECT_EQ(reportsBeforeMarker(), 1u) << "the final report only, no periodic one";
}

TEST_F(Countdown, TwoHoursReportEvery900SecondsThenAtTheEnd) {
  login(minor(7200));
  size_t expected = 0;
  for (int step = 1; step < 720; ++step) {
    clock->advance(10);
    if (step % 90 == 0) {
      ++expected;
      ASSERT_TRUE(kit::test::runUntil([&] { return uploads() == expected; })) << "report at " << step * 10 << " s";
    }
  }
  EXPECT_EQ(uploads(), 7u) << "900, 1800, ..., 6300 s";
  EXPECT_EQ(overlays(), 0u);
  clock->advance(10);  // 7200 s: the tick that finds the count at zero
  EXPECT_EQ(overlays(), 1u);
  ASSERT_TRUE(kit::test::runUntil([&] { return uploads() == 8u; }));
}

TEST_F(Countdown, AStallOrASleepDoesNotPushTheLimitBack) {
  // The process stops for 30 s with 25 s left: its missed ticks come in
  // one call, which finds the deadline past.
  login(minor(25));
  clock->stall(30);
  EXPECT_EQ(overlays(), 1u) << "at 30 s, the first tick past the deadline";
  ASSERT_TRUE(kit::test::runUntil([&] { return uploads() == 1u; })) << "the final report";

  // The machine sleeps for an hour with ten minutes left: no tick runs
  // while it sleeps, and the first one after it ends the play.
  login(minor(600));
  clock->advance(10);
  clock->sleep(3600);
  EXPECT_EQ(overlays(), 1u);
  clock->advance(10);
  EXPECT_EQ(overlays(), 2u);
  ASSERT_TRUE(kit::test::runUntil([&] { return uploads() == 2u; })) << "the final report";

  // A stall over two report times sends one report, and the schedule goes
  // on from the next one.
  login(minor(7200));
  clock->stall(2000);
  ASSERT_TRUE(kit::test::runUntil([&] { return uploads() == 3u; })) << "one report after the stall";
  clock->advance(690);
  EXPECT_EQ(reportsBeforeMarker(), 3u) << "none more before 2700 s";
  clock->advance(10);
  ASSERT_TRUE(kit::test::runUntil([&] { return uploads() == 5u; })) << "the report at 2700 s";
  EXPECT_EQ(overlays(), 2u);
}

TEST_F(Countdown, WorkOfAReplacedCountdownIsDropped) {
  login(minor(25));
  auto first = ball->timer();  // kept alive: only the replacement tells it apart
  first->suspend();
  clock->advance(30);
  // The last tick decides on a global queue, cancels its timer and queues
  // the overlay for the main queue; the main queue is held (the run loop
  // runs in a mode that does not serve it) until that tick has returned,
  // which the timer's cancel handler, run after it, tells.
  auto tickEnded = std::make_shared<std::atomic<bool>>(false);
  first->setCancelHandler([tickEnded] { tickEnded->store(true); });
  first->resume();
  ASSERT_TRUE(kit::test::runUntil([&] { return tickEnded->load(); }, 60, "held"));
  EXPECT_TRUE(first->isCancelled());
  EXPECT_GT(kit::Queue::main().pendingTaskCount(), 0u) << "the overlay waits on the main queue";
  // A new login replaces the countdown before the queued work runs.
  login(minor(7200));
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(overlays(), 0u);
  EXPECT_EQ(reportsBeforeMarker(), 0u);
}

TEST_F(Countdown, LogoutStopsTheCount) {
  login(minor(7200));
  clock->advance(300);
  loginOutBallStandIn();
  EXPECT_FALSE(ball->timer());
  for (int step = 0; step < 700; ++step) clock->advance(10);
  EXPECT_EQ(reportsBeforeMarker(), 0u);
  EXPECT_EQ(overlays(), 0u);
}

TEST_F(Countdown, ANewLoginReplacesTheCountdown) {
  login(minor(7200));
  auto first = ball->timer();
  clock->advance(300);
  login(minor(2000));
  EXPECT_TRUE(first->isCancelled());
  ASSERT_TRUE(ball->timer());
  EXPECT_NE(ball->timer(), first);
  // 900 s after the first login: the first countdown would report here.
  clock->advance(600);
  EXPECT_EQ(reportsBeforeMarker(), 0u);
  clock->advance(300);  // 900 s after the second login
  ASSERT_TRUE(kit::test::runUntil([&] { return uploads() == 2u; })) << "the marker and the report";
  clock->advance(1090);  // 1990 s after the second login
  EXPECT_EQ(overlays(), 0u);
  clock->advance(20);
  EXPECT_EQ(overlays(), 1u) << "at the new deadline, not the old one";
}

}  // namespace
