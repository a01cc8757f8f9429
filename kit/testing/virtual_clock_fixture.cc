// The virtual clock fixture.
#include "kit/testing/virtual_clock_fixture.h"

namespace kit::test {

void VirtualClockTest::SetUp() {
  clock_ = std::make_unique<VirtualClock>();
  start_ = clock_->now();
}

void VirtualClockTest::TearDown() { clock_.reset(); }

}  // namespace kit::test
