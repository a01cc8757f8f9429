// The linger policy: spin while waits have lately been short, block while
// they have been long, and change its mind only after a run of the other
// kind; the spin as long as a wake lately cost.
#include "kit/net/adaptive_linger.h"

#include <gtest/gtest.h>

#include "kit/net/transfer_engine.h"

namespace kit::netdetail {
namespace {

using std::chrono::microseconds;

TEST(AdaptiveLingerTest, SpinsUntilWaitsProveLongerThanTheWindow) {
  AdaptiveLinger policy(microseconds(150));
  EXPECT_TRUE(policy.worthSpinning());
  // A caller that works 300 µs between requests: the first long wait
  // already stops the spinning.
  policy.record(microseconds(300));
  EXPECT_FALSE(policy.worthSpinning());
  for (int i = 0; i < 100; ++i) policy.record(microseconds(300));
  EXPECT_FALSE(policy.worthSpinning());
}

TEST(AdaptiveLingerTest, ShortWaitsBringTheSpinBackAfterARun) {
  AdaptiveLinger policy(microseconds(150));
  for (int i = 0; i < 100; ++i) policy.record(microseconds(400));
  // However long the run of long waits, a bounded run of short ones turns
  // the spin back on; a single short one does not.
  policy.record(microseconds(20));
  EXPECT_FALSE(policy.worthSpinning());
  int shortWaits = 1;
  while (!policy.worthSpinning() && shortWaits < 100) {
    policy.record(microseconds(20));
    ++shortWaits;
  }
  EXPECT_TRUE(policy.worthSpinning());
  EXPECT_LE(shortWaits, 8);
}

TEST(AdaptiveLingerTest, OneOddWaitDoesNotStopASpinThatPays) {
  AdaptiveLinger policy(microseconds(150));
  for (int i = 0; i < 10; ++i) policy.record(microseconds(30));
  policy.record(microseconds(5000));
  EXPECT_TRUE(policy.worthSpinning());
  // A wait exactly as long as the window still counts as caught.
  AdaptiveLinger edge(microseconds(150));
  edge.record(microseconds(150));
  EXPECT_TRUE(edge.worthSpinning());
  EXPECT_EQ(edge.window(), microseconds(150));
}

TEST(AdaptiveLingerTest, ANewWindowSortsTheWaitsRecordedAfterIt) {
  AdaptiveLinger policy(microseconds(100));
  policy.record(microseconds(120));
  EXPECT_FALSE(policy.worthSpinning());
  policy.setWindow(microseconds(150));
  EXPECT_EQ(policy.window(), microseconds(150));
  policy.record(microseconds(120));
  policy.record(microseconds(120));
  EXPECT_TRUE(policy.worthSpinning());
}

TEST(AdaptiveLingerTest, AHeavierMissKeepsSpinningOnlyWhileNearlyEveryWaitIsCaught) {
  // Two waits in three caught: enough for an even policy, not for one
  // that weighs a miss as three catches.
  AdaptiveLinger even(microseconds(100)), strict(microseconds(100), 3);
  for (int i = 0; i < 30; ++i) {
    const auto wait = i % 3 == 2 ? microseconds(400) : microseconds(20);
    even.record(wait);
    strict.record(wait);
  }
  EXPECT_TRUE(even.worthSpinning());
  EXPECT_FALSE(strict.worthSpinning());
  // Seven in eight caught: the strict one spins again.
  for (int i = 0; i < 32; ++i) strict.record(i % 8 == 7 ? microseconds(400) : microseconds(20));
  EXPECT_TRUE(strict.worthSpinning());
}

TEST(WakeLatencyTest, FollowsMostRecentWakesAndNotTheOddOne) {
  WakeLatency latency(microseconds(25));
  EXPECT_EQ(latency.median(), microseconds(25));
  // Seven of fifteen are not yet most of them.
  for (int i = 0; i < 7; ++i) latency.record(microseconds(40));
  EXPECT_EQ(latency.median(), microseconds(25));
  latency.record(microseconds(40));
  EXPECT_EQ(latency.median(), microseconds(40));
  // A wake that found the processor taken for milliseconds, or one that
  // raced with the wait ending (a stamp after the return), moves nothing.
  latency.record(microseconds(5000));
  latency.record(microseconds(-3));
  EXPECT_EQ(latency.median(), microseconds(40));
  // Older wakes give way: the machine got faster.
  for (int i = 0; i < 15; ++i) latency.record(microseconds(6));
  EXPECT_EQ(latency.median(), microseconds(6));
}

TEST(WakeLatencyTest, TheEnginesWindowIsTwiceAWakeWithinBounds) {
  EXPECT_EQ(TransferEngine::lingerWindow(microseconds(40)), microseconds(80));
  EXPECT_EQ(TransferEngine::lingerWindow(TransferEngine::kFirstWakeLatency), microseconds(50));
  EXPECT_EQ(TransferEngine::lingerWindow(microseconds(1)), TransferEngine::kShortestLinger);
  EXPECT_EQ(TransferEngine::lingerWindow(microseconds(900)), TransferEngine::kLongestLinger);
}

}  // namespace
}  // namespace kit::netdetail
