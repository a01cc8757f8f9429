// The linger policy: spin while waits have lately been short, block while
// they have been long, and change its mind only after a run of the other
// kind.
#include "kit/net/adaptive_linger.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kit::netdetail
