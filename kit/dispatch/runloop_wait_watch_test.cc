// A run loop's waits watched from outside: a watcher's descriptor turning
// readable wakes the wait and the watcher hears it was ready; other work
// ending the wait tells the watcher it was not; a watcher with nothing to
// watch, or gone, leaves the loop waiting as usual.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "kit/dispatch/runloop.h"
#include "kit/testing/run_until.h"

namespace kit {
namespace {

// Offers the read end of a pipe. A ready wait drains it and hands the loop
// a block, as a watcher with work for the loop's thread does.
class PipeWatch : public RunLoopWaitWatch {
 public:
  PipeWatch() {
    if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) fds_[0] = fds_[1] = -1;
  }
  ~PipeWatch() override {
    close(fds_[0]);
    close(fds_[1]);
  }
  int beginWait() override { return offering ? fds_[0] : -1; }
  void endWait(bool ready) override {
    {
      std::lock_guard lock(mutex);
      ends.push_back(ready);
    }
    if (!ready) return;
    char byte;
    while (read(fds_[0], &byte, 1) == 1) {
    }
    RunLoop::main().perform([this] { ++handled; });
  }
  void poke() const { ASSERT_EQ(write(fds_[1], "x", 1), 1); }
  std::vector<bool> endsSoFar() {
    std::lock_guard lock(mutex);
    return ends;
  }

  std::atomic<bool> offering{true};
  std::atomic<int> handled{0};

 private:
  int fds_[2];
  std::mutex mutex;
  std::vector<bool> ends;
};

// Runs `act` on another thread once the main loop waits.
std::thread onceWaiting(std::function<void()> act) {
  return std::thread([act = std::move(act)] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!RunLoop::main().isWaiting() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    act();
  });
}

TEST(RunLoopWaitWatch, AReadyDescriptorWakesTheWaitAndOtherWorkEndsItNotReady) {
  auto watch = std::make_shared<PipeWatch>();
  RunLoop::main().addWaitWatch(watch);

  auto poker = onceWaiting([&] { watch->poke(); });
  EXPECT_TRUE(test::runUntil([&] { return watch->handled.load() == 1; }));
  poker.join();
  ASSERT_FALSE(watch->endsSoFar().empty());
  EXPECT_TRUE(watch->endsSoFar().back());

  // A block from another thread ends a wait on the descriptor too.
  std::atomic<bool> performed{false};
  auto performer = onceWaiting([&] { RunLoop::main().perform([&] { performed = true; }); });
  EXPECT_TRUE(test::runUntil([&] { return performed.load(); }));
  performer.join();
  EXPECT_FALSE(watch->endsSoFar().back());
  EXPECT_EQ(watch->handled.load(), 1);
}

TEST(RunLoopWaitWatch, AWatcherWithNothingToWatchOrGoneLeavesTheWaitAsItWas) {
  auto watch = std::make_shared<PipeWatch>();
  watch->offering = false;
  RunLoop::main().addWaitWatch(watch);
  // The time-out still ends a wait, and the watcher is not told of one it
  // took no part in.
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(test::runUntil([] { return false; }, 0.05));
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
  EXPECT_TRUE(watch->endsSoFar().empty());

  std::weak_ptr<PipeWatch> weak = watch;
  watch.reset();
  EXPECT_TRUE(weak.expired());
  std::atomic<bool> performed{false};
  auto performer = onceWaiting([&] { RunLoop::main().perform([&] { performed = true; }); });
  EXPECT_TRUE(test::runUntil([&] { return performed.load(); }));
  performer.join();
}

}  // namespace
}  // namespace kit
