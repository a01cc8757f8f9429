// A lane without a queue runs its events on the posting thread: in order,
// one at a time, never one inside another, and a batch waits for its end.
#include "kit/net/event_lane.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace kit::netdetail {
namespace {

TEST(EventLaneOnPostingThread, RunsEachEventAtOnceAndOneWithinAnotherAfterIt) {
  auto lane = std::make_shared<EventLane>(nullptr, false);
  std::vector<std::string> order;
  lane->post([&] {
    order.push_back("first begins");
    // Posted from inside an event: it waits for the event to end.
    lane->post([&] { order.push_back("inner"); });
    order.push_back("first ends");
  });
  EXPECT_EQ(order, (std::vector<std::string>{"first begins", "first ends", "inner"}));
  lane->post([&] { order.push_back("second"); });
  EXPECT_EQ(order.back(), "second");
}

TEST(EventLaneOnPostingThread, ABatchRunsAtItsEndInOrder) {
  auto lane = std::make_shared<EventLane>(nullptr, false);
  std::vector<int> ran;
  lane->beginBatch();
  for (int i = 0; i < 5; ++i) lane->post([&ran, i] { ran.push_back(i); });
  EXPECT_TRUE(ran.empty());
  lane->endBatch();
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(EventLaneOnPostingThread, ThreadsPostingTogetherNeverOverlapAndKeepTheirOrder) {
  auto lane = std::make_shared<EventLane>(nullptr, false);
  constexpr int kThreads = 4, kEach = 500;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::mutex mutex;
  std::vector<std::vector<int>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        lane->post([&, t, i] {
          if (inside.fetch_add(1) != 0) overlapped = true;
          {
            std::lock_guard lock(mutex);
            seen[t].push_back(i);
          }
          inside.fetch_sub(1);
        });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_FALSE(overlapped);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<size_t>(kEach)) << "thread " << t;
    for (int i = 0; i < kEach; ++i) ASSERT_EQ(seen[t][i], i) << "thread " << t;
  }
}

}  // namespace
}  // namespace kit::netdetail
