// A gtest fixture that installs a virtual clock for the test's duration:
// delays, timers and time-outs then move only when the test advances the
// clock, and fire in order as it does, without real waiting.
//
//   class CountdownTest : public kit::test::VirtualClockTest {};
//   TEST_F(CountdownTest, EndsAfterTenSeconds) {
//     start();
//     advance(10.0);
//     EXPECT_TRUE(finished);
//   }
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "kit/dispatch/clock.h"

namespace kit::test {

class VirtualClockTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  VirtualClock& clock() { return *clock_; }
  // Clock::now() when the test began.
  double startTime() const { return start_; }
  // Seconds of virtual time since the test began.
  double elapsed() const { return clock_->now() - start_; }
  void advance(double seconds) { clock_->advance(seconds); }

 private:
  std::unique_ptr<VirtualClock> clock_;
  double start_ = 0;
};

}  // namespace kit::test
