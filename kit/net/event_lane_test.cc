// A lane without a queue runs its events on the posting thread: in order,
// one at a time, never one inside another, and a batch waits for its end.
// A lane whose delegate returns promptly runs a pass's batch there too,
// as its queue's operation, when the queue is idle.
#include "kit/net/event_lane.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/semaphore.h"

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


// A delegate that says it returns promptly: a batch ending a pass runs on
// the posting (network) thread when the queue is idle, as the queue's own
// operation; anything a caller's code may block in goes to the queue.
class EventLaneRunHere : public ::testing::Test {
 protected:
  struct Seen {
    std::thread::id thread;
    bool queueCurrent;
  };

  // Runs one batch on a thread of its own, as the network thread would,
  // and answers that thread's id.
  std::thread::id batchOnAThread(const std::function<void()>& posts, bool passEnds = true) {
    std::thread::id id;
    std::thread thread([&] {
      id = std::this_thread::get_id();
      lane->beginBatch();
      posts();
      lane->endBatch(passEnds);
    });
    thread.join();
    return id;
  }

  void record(int n, EventLane::Reach reach = EventLane::Reach::DelegateOnly) {
    lane->post(
        [this, n] {
          std::lock_guard lock(mutex);
          seen[n] = Seen{std::this_thread::get_id(), OperationQueue::current() == queue};
          done->signal();
        },
        reach);
  }

  void waitFor(int events) {
    for (int i = 0; i < events; ++i) ASSERT_TRUE(done->wait(10.0));
    queue->waitUntilAllOperationsAreFinished();
  }

  Ref<OperationQueue> queue = makeSerialOperationQueue("lane.caller");
  std::atomic<bool> prompt{true};
  std::shared_ptr<EventLane> lane = std::make_shared<EventLane>(queue, false, [this] { return prompt.load(); });
  Ref<Semaphore> done = Semaphore::create(0);
  std::mutex mutex;
  std::map<int, Seen> seen;
};

TEST_F(EventLaneRunHere, DelegateEventsEndingAPassRunOnThePostingThreadAsTheQueuesOperation) {
  const auto network = batchOnAThread([&] {
    record(0);
    record(1);
  });
  waitFor(2);
  for (int n : {0, 1}) {
    EXPECT_EQ(seen[n].thread, network) << n;
    EXPECT_TRUE(seen[n].queueCurrent) << n;
  }
}

TEST_F(EventLaneRunHere, CallerEventsADelegateThatMayBlockOrABatchMidPassGoToTheQueue) {
  auto expectOnTheQueue = [&](std::thread::id network, const char* what) {
    for (auto& [n, s] : seen) {
      EXPECT_NE(s.thread, network) << what << " " << n;
      EXPECT_TRUE(s.queueCurrent) << what << " " << n;
    }
    seen.clear();
  };
  auto network = batchOnAThread([&] {
    record(0);
    record(1, EventLane::Reach::Caller);
  });
  waitFor(2);
  expectOnTheQueue(network, "caller event");

  network = batchOnAThread([&] { record(0); }, /*passEnds=*/false);
  waitFor(1);
  expectOnTheQueue(network, "mid-pass batch");

  prompt = false;
  network = batchOnAThread([&] { record(0); });
  waitFor(1);
  expectOnTheQueue(network, "delegate that may block");

  prompt = true;
  queue->setSuspended(true);
  network = batchOnAThread([&] { record(0); });
  EXPECT_TRUE(seen.empty());
  queue->setSuspended(false);
  waitFor(1);
  expectOnTheQueue(network, "suspended queue");
}

// A caller's event posted while delegate events run here waits for the
// queue's worker, after them.
TEST_F(EventLaneRunHere, ACallerEventPostedMeanwhileStopsTheRunHereAndGoesToTheQueueInOrder) {
  std::vector<int> order;
  const auto network = batchOnAThread([&] {
    lane->post(
        [&] {
          order.push_back(0);
          record(1, EventLane::Reach::Caller);
          lane->post([&] { order.push_back(2); }, EventLane::Reach::DelegateOnly);
        },
        EventLane::Reach::DelegateOnly);
  });
  waitFor(1);
  EXPECT_EQ(order, (std::vector<int>{0, 2}));
  EXPECT_NE(seen[1].thread, network);
  EXPECT_TRUE(seen[1].queueCurrent);
}

}  // namespace
}  // namespace kit::netdetail
