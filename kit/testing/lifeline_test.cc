// The lifeline between a test's recording object and the callbacks it hands
// out: a call after the object went does nothing, a call under way on
// another thread holds the object's end back until it returns, and a moved
// object hears the calls of the callbacks handed out before the move.
#include "kit/testing/lifeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

namespace kit::test {
namespace {

struct Tally {
  int total = 0;
  std::function<void(int)> adder() {
    return lifeline.bind([](Tally& self, int n) { self.total += n; });
  }
  Tally() = default;
  Tally(Tally&& other) : total(other.total), lifeline(*this, std::move(other.lifeline)) {}
  Lifeline<Tally> lifeline{*this};
};

TEST(Lifeline, ACallAfterTheOwnerWentDoesNothing) {
  std::function<void(int)> late;
  {
    Tally tally;
    late = tally.adder();
    late(2);
    EXPECT_EQ(tally.total, 2);
  }
  late(3);  // on freed memory, were the tally reached
}

TEST(Lifeline, TheOwnersEndWaitsForACallUnderWayOnAnotherThread) {
  std::promise<void> entered, mayLeave;
  std::atomic<bool> left{false};
  auto tally = std::make_unique<Tally>();
  auto slow = tally->lifeline.bind([&](Tally& self) {
    entered.set_value();
    mayLeave.get_future().wait();
    self.total = 1;
    left = true;
  });
  std::thread caller(slow);
  entered.get_future().wait();
  auto ending = std::async(std::launch::async, [&] {
    tally.reset();
    return left.load();
  });
  EXPECT_EQ(ending.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout)
      << "the tally went while a call was writing into it";
  mayLeave.set_value();
  EXPECT_TRUE(ending.get()) << "the call had returned when the tally went";
  caller.join();
}

TEST(Lifeline, AMovedOwnerHearsTheCallbacksHandedOutBefore) {
  Tally first;
  auto add = first.adder();
  Tally moved(std::move(first));
  add(4);
  EXPECT_EQ(moved.total, 4);
  EXPECT_EQ(first.total, 0);
  first.adder()(5);
  EXPECT_EQ(first.total, 0) << "a moved-from owner hands out callbacks that reach nobody";
  EXPECT_EQ(moved.total, 4);
}

}  // namespace
}  // namespace kit::test
