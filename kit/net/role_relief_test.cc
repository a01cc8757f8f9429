// The role changes hands only when code run away holds its thread past the
// limit; the thread that lost it learns so and can take it back in turn.
#include "kit/net/role_relief.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "kit/net/testing/recording_delegate.h"

namespace kit::netdetail {
namespace {

using namespace std::chrono_literals;
using test::Latch;

TEST(RoleRelief, CodeThatReturnsWithinTheLimitKeepsTheRole) {
  // A limit no run here comes near, however loaded the machine.
  RoleRelief relief(std::chrono::seconds(30));
  relief.claim();
  std::promise<bool> stoodBy;
  std::thread standIn([&] { stoodBy.set_value(relief.standBy()); });
  int ran = 0;
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(relief.runAway([&] { ++ran; }));
  EXPECT_EQ(ran, 100);
  EXPECT_TRUE(relief.holdsRole());
  relief.stop();
  EXPECT_FALSE(stoodBy.get_future().get());
  standIn.join();
  EXPECT_EQ(relief.takeOvers(), 0u);
}

TEST(RoleRelief, CodeHeldPastTheLimitLosesTheRoleWhichComesBackTheSameWay) {
  RoleRelief relief(1ms);
  relief.claim();
  Latch tookOver, released;
  std::thread second([&] {
    ASSERT_TRUE(relief.standBy());
    EXPECT_TRUE(relief.holdsRole());
    tookOver.open();
    // Now the holder: its own code holds it until the first thread has
    // taken the role back.
    EXPECT_FALSE(relief.runAway([&] { ASSERT_TRUE(released.wait()); }));
    EXPECT_FALSE(relief.holdsRole());
  });
  // The code waits for the take-over, which only the limit brings.
  EXPECT_FALSE(relief.runAway([&] { ASSERT_TRUE(tookOver.wait()); }));
  EXPECT_FALSE(relief.holdsRole());
  ASSERT_TRUE(relief.standBy());
  EXPECT_TRUE(relief.holdsRole());
  released.open();
  second.join();
  EXPECT_EQ(relief.takeOvers(), 2u);
  relief.stop();
  EXPECT_FALSE(relief.standBy());
}

TEST(RoleRelief, AStandInAsleepAfterQuietLooksWakesForTheNextRunAndTakesOver) {
  RoleRelief relief(1ms);
  relief.claim();
  std::promise<bool> stoodBy;
  std::thread standIn([&] { stoodBy.set_value(relief.standBy()); });
  // Quick runs, then none: the stand-in looks, finds nothing and sleeps.
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(relief.runAway([] {}));
  const auto giveUp = std::chrono::steady_clock::now() + 10s;
  while (!relief.standByAsleep() && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
  EXPECT_TRUE(relief.standByAsleep());
  auto result = stoodBy.get_future();
  // A run that waits for the take-over wakes it, asleep or not.
  EXPECT_FALSE(relief.runAway([&] { result.wait(); }));
  EXPECT_TRUE(result.get());
  standIn.join();
  EXPECT_FALSE(relief.holdsRole());
}

}  // namespace
}  // namespace kit::netdetail
