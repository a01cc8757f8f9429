// Dispatch timers: schedule on the virtual clock, cancel, suspend and
// resume, merging of fires, and handlers that never overlap.
#include "kit/dispatch/timer_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

#include "kit/foundation/exception.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace kit {
namespace {

class TimerSourceTest : public test::VirtualClockTest {};

TEST_F(TimerSourceTest, OneSecondTimerStartedAtZeroFiresEverySecondUntilCancelled) {
  std::vector<double> fires;
  bool cancelled = false;
  auto timer = TimerSource::create(Queue::main());
  timer->setTimer(0, 1.0);
  timer->setEventHandler([&] { fires.push_back(elapsed()); });
  timer->setCancelHandler([&] { cancelled = true; });
  timer->resume();
  clock().settle();  // what is due at t=0
  EXPECT_EQ(fires, (std::vector<double>{0.0}));
  advance(1.0);
  advance(1.0);
  advance(2.5);
  EXPECT_EQ(fires, (std::vector<double>{0.0, 1.0, 2.0, 3.0, 4.0}));
  timer->cancel();
  advance(10.0);
  EXPECT_EQ(fires.size(), 5u);
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(timer->isCancelled());
}

TEST_F(TimerSourceTest, CreatedSuspendedAndOneShotWithoutInterval) {
  int fires = 0;
  auto timer = TimerSource::create(Queue::main());
  timer->setTimer(2.0, Forever);
  timer->setEventHandler([&] { ++fires; });
  advance(5.0);
  EXPECT_EQ(fires, 0);  // never resumed
  timer->setTimer(2.0, Forever);
  timer->resume();
  advance(1.0);
  EXPECT_EQ(fires, 0);
  advance(1.0);
  EXPECT_EQ(fires, 1);
  advance(10.0);
  EXPECT_EQ(fires, 1);
  EXPECT_THROW(timer->resume(), Exception);  // not suspended
}

TEST_F(TimerSourceTest, FiresWhileSuspendedAreMergedIntoOneCallOnResume) {
  std::vector<unsigned long> data;
  auto queue = Queue::serial("timer-queue");
  Ref<TimerSource> timer = TimerSource::create(*queue);
  timer->setTimer(1.0, 1.0);
  timer->setEventHandler([&] { data.push_back(timer->data()); });
  timer->resume();
  advance(2.0);
  timer->suspend();
  advance(3.0);  // fires due at 3, 4, 5 wait for resume
  timer->resume();
  ASSERT_TRUE(test::runUntil([&] { return queue->sync([&] { return data.size(); }) == 3; }));
  EXPECT_EQ(queue->sync([&] { return data; }), (std::vector<unsigned long>{1, 1, 3}));
  timer->cancel();
}

TEST_F(TimerSourceTest, CancelWhileTheHandlerRunsDeliversTheCancelHandlerAfterIt) {
  std::vector<std::string> events;
  Ref<TimerSource> timer = TimerSource::create(Queue::main());
  timer->setTimer(1.0, 1.0);
  timer->setEventHandler([&] {
    events.push_back("handler begins");
    timer->cancel();
    events.push_back("handler ends");
  });
  timer->setCancelHandler([&] { events.push_back("cancel handler"); });
  timer->resume();
  advance(3.0);
  EXPECT_EQ(events, (std::vector<std::string>{"handler begins", "handler ends", "cancel handler"}));
}

TEST_F(TimerSourceTest, CancelReleasesHandlersSoTheyMayCaptureTheirOwner) {
  auto owner = std::make_shared<int>(1);
  Weak<int> weakOwner = owner;
  auto timer = TimerSource::create(Queue::main());
  timer->setTimer(1.0, 1.0);
  timer->setEventHandler([owner] {});
  timer->setCancelHandler([owner] {});
  timer->resume();
  owner.reset();
  advance(2.0);
  EXPECT_FALSE(weakOwner.expired());
  timer->cancel();
  clock().settle();
  EXPECT_TRUE(weakOwner.expired());
}

TEST(TimerSourceRealTime, HandlerNeverRunsConcurrentlyWithItself) {
  // A 1 ms timer on a concurrent queue whose handler takes longer than the
  // interval: fires pile up while it runs and are merged, never overlapped.
  auto queue = Queue::concurrent("busy-timer");
  std::atomic<int> active{0}, calls{0};
  std::atomic<bool> overlapped{false};
  std::atomic<unsigned long> mergedFires{0};
  Ref<TimerSource> timer = TimerSource::create(*queue);
  timer->setTimer(0, 0.001);
  timer->setEventHandler([&] {
    if (active.fetch_add(1) != 0) overlapped = true;
    mergedFires += timer->data() > 1 ? 1 : 0;
    // Work that outlasts the interval.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3);
    while (std::chrono::steady_clock::now() < until) {
    }
    active.fetch_sub(1);
    ++calls;
  });
  timer->resume();
  ASSERT_TRUE(test::runUntil([&] { return calls >= 20; }));
  timer->cancel();
  EXPECT_FALSE(overlapped.load());
  EXPECT_GT(mergedFires.load(), 0u);
  ASSERT_TRUE(test::drain(*queue));
}

}  // namespace
}  // namespace kit
