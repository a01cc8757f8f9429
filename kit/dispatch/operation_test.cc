// Operations and operation queues: dependencies, concurrency limits,
// asynchronous operations and their states, cancellation and waiting.
#include "kit/dispatch/operation_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kit/dispatch/semaphore.h"
#include "kit/dispatch/thread.h"
#include "kit/foundation/exception.h"
#include "kit/testing/run_until.h"

namespace kit {
namespace {

TEST(OperationTest, DependenciesOrderOperationsAcrossQueues) {
  auto first = OperationQueue::create("first");
  auto second = OperationQueue::create("second");
  std::mutex mutex;
  std::vector<std::string> order;
  auto step = [&](std::string name) {
    return BlockOperation::create([&, name] {
      std::lock_guard lock(mutex);
      order.push_back(name);
    });
  };
  auto download = step("download");
  auto parse = step("parse");
  auto save = step("save");
  auto show = step("show");
  parse->addDependency(download);
  save->addDependency(parse);
  show->addDependency(parse);
  show->addDependency(save);
  EXPECT_FALSE(show->isReady());
  // Added in reverse, on two queues: only the dependencies decide.
  OperationQueue::main().addOperation(show);
  second->addOperation(save);
  first->addOperation(parse);
  second->addOperation(download);
  ASSERT_TRUE(test::runUntil([&] { return show->isFinished(); }));
  EXPECT_EQ(order, (std::vector<std::string>{"download", "parse", "save", "show"}));
  EXPECT_TRUE(show->isReady());
}

TEST(OperationTest, MaxConcurrentOperationCountIsNeverExceeded) {
  auto queue = OperationQueue::create("limited");
  queue->setMaxConcurrentOperationCount(2);
  std::atomic<int> active{0}, highest{0}, finished{0};
  auto gate = Semaphore::create(0);
  for (int i = 0; i < 8; ++i) {
    queue->addOperationWithBlock([&] {
      const int now = active.fetch_add(1) + 1;
      int seen = highest.load();
      while (now > seen && !highest.compare_exchange_weak(seen, now)) {
      }
      gate->wait(10.0);
      active.fetch_sub(1);
      ++finished;
    });
  }
  ASSERT_TRUE(test::runUntil([&] { return active == 2; }));
  EXPECT_EQ(queue->operationCount(), 8u);
  for (int i = 0; i < 8; ++i) gate->signal();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(finished.load(), 8);
  EXPECT_EQ(highest.load(), 2);
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(OperationTest, SerialQueueRunsByPriorityThenOrderAdded) {
  auto queue = OperationQueue::create("priorities");
  queue->setMaxConcurrentOperationCount(1);
  queue->setSuspended(true);
  std::vector<std::string> order;
  auto add = [&](std::string name, Operation::QueuePriority priority) {
    auto op = BlockOperation::create([&, name] { order.push_back(name); });
    op->setQueuePriority(priority);
    queue->addOperation(op);
  };
  add("normal 1", Operation::QueuePriority::Normal);
  add("low", Operation::QueuePriority::Low);
  add("high", Operation::QueuePriority::High);
  add("normal 2", Operation::QueuePriority::Normal);
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(order, (std::vector<std::string>{"high", "normal 1", "normal 2", "low"}));
}

TEST(OperationTest, APriorityChangedWhileWaitingCountsAndDependenciesHoldBack) {
  auto queue = OperationQueue::create("changes");
  queue->setMaxConcurrentOperationCount(1);
  queue->setSuspended(true);
  std::vector<std::string> order;
  auto add = [&](std::string name) {
    auto op = BlockOperation::create([&, name] { order.push_back(name); });
    queue->addOperation(op);
    return op;
  };
  auto first = add("first");
  auto raised = add("raised");
  auto held = add("held");
  auto last = add("last");
  raised->setQueuePriority(Operation::QueuePriority::VeryHigh);
  // Ready when added, then made to wait for the last one.
  held->addDependency(last);
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(order, (std::vector<std::string>{"raised", "first", "last", "held"}));
  EXPECT_EQ(queue->operationCount(), 0u);
}

// Starting and finishing an operation cost the same however many wait: a
// hundred thousand blocks (as many page messages answered on the main queue
// at once) drain in a few seconds, where a scan of the waiting ones per
// start took minutes.
TEST(OperationTest, AHundredThousandBlocksDrainInSecondsOnTheMainAndASerialQueue) {
  constexpr int kBlocks = 100000;
  auto serial = OperationQueue::create("serial");
  serial->setMaxConcurrentOperationCount(1);
  for (OperationQueue* queue : {&OperationQueue::main(), serial.get()}) {
    std::atomic<int> ran{0};
    std::atomic<bool> inOrder{true};
    for (int i = 0; i < kBlocks; ++i) {
      queue->addOperationWithBlock([&, i] {
        if (ran.fetch_add(1) != i) inOrder = false;
      });
    }
    EXPECT_TRUE(test::runUntil([&] { return ran.load() == kBlocks; }, 30)) << queue->name() << ": " << ran.load();
    EXPECT_TRUE(inOrder) << queue->name();
    EXPECT_TRUE(test::runUntil([&] { return queue->operationCount() == 0; })) << queue->name();
  }
}

// An asynchronous operation: it starts a request and finishes later, from
// another thread.
class RequestOperation : public Operation {
 public:
  explicit RequestOperation(Ref<Semaphore> reply) : reply_(std::move(reply)) {}
  bool isAsynchronous() const override { return true; }
  void start() override {
    if (isCancelled()) {
      setFinished(true);
      return;
    }
    setExecuting(true);
    auto self = selfAs<RequestOperation>();
    Queue::global().async([self] {
      self->reply_->wait(10.0);
      self->setExecuting(false);
      self->setFinished(true);
    });
  }

 private:
  Ref<Semaphore> reply_;
};

TEST(OperationTest, AsynchronousOperationStaysExecutingUntilItFinishes) {
  auto reply = Semaphore::create(0);
  auto request = std::make_shared<RequestOperation>(reply);
  std::mutex mutex;
  std::vector<std::string> changes;
  request->addStateObserver([&](Operation& op, const std::string& key) {
    std::lock_guard lock(mutex);
    if (key == "isExecuting") changes.push_back(op.isExecuting() ? "executing" : "not executing");
    if (key == "isFinished") changes.push_back("finished");
  });
  std::atomic<bool> completed{false};
  request->setCompletionBlock([&] { completed = true; });
  auto queue = OperationQueue::create("async");
  auto after = BlockOperation::create([] {});
  after->addDependency(request);
  queue->addOperation(request);
  queue->addOperation(after);
  ASSERT_TRUE(test::runUntil([&] { return request->isExecuting(); }));
  EXPECT_FALSE(after->isReady());
  EXPECT_FALSE(request->isFinished());
  reply->signal();
  ASSERT_TRUE(test::runUntil([&] { return after->isFinished() && completed; }));
  std::lock_guard lock(mutex);
  EXPECT_EQ(changes, (std::vector<std::string>{"executing", "not executing", "finished"}));
}

TEST(OperationTest, CancelAllOperationsFinishesThemWithoutRunning) {
  auto queue = OperationQueue::create("cancelled");
  auto gate = Semaphore::create(0);
  std::atomic<int> ran{0};
  auto blocker = BlockOperation::create([&] { gate->wait(10.0); });
  std::vector<Ref<Operation>> waiting;
  for (int i = 0; i < 5; ++i) {
    auto op = BlockOperation::create([&] { ++ran; });
    op->addDependency(blocker);
    waiting.push_back(op);
  }
  std::vector<std::string> cancelKeys;
  waiting[0]->addStateObserver([&](Operation&, const std::string& key) {
    if (key == "isCancelled" || key == "isReady") cancelKeys.push_back(key);
  });
  queue->addOperation(blocker);
  queue->addOperations(waiting, false);
  ASSERT_TRUE(test::runUntil([&] { return blocker->isExecuting(); }));
  queue->cancelAllOperations();
  // Cancelled operations are ready at once and leave the queue unrun, even
  // though the operation they depend on is still running (it goes on: its
  // work decides what cancelling means).
  ASSERT_TRUE(test::runUntil([&] {
    return std::all_of(waiting.begin(), waiting.end(), [](const Ref<Operation>& op) { return op->isFinished(); });
  }));
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(cancelKeys, (std::vector<std::string>{"isCancelled", "isReady"}));
  EXPECT_TRUE(blocker->isCancelled());
  EXPECT_TRUE(blocker->isExecuting());
  gate->signal();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(blocker->isFinished());
  EXPECT_EQ(cancelKeys.size(), 2u);  // a finished operation is not made ready again
}

TEST(OperationTest, MainOperationQueueRunsOnTheMainThreadOneAtATime) {
  std::vector<int> order;
  std::atomic<bool> offMain{false};
  for (int i = 0; i < 10; ++i) {
    OperationQueue::main().addOperationWithBlock([&, i] {
      if (!Thread::isMainThread()) offMain = true;
      EXPECT_EQ(OperationQueue::current().get(), &OperationQueue::main());
      order.push_back(i);
    });
  }
  EXPECT_THROW(OperationQueue::main().waitUntilAllOperationsAreFinished(), Exception);
  ASSERT_TRUE(test::runUntil([&] { return order.size() == 10; }));
  EXPECT_FALSE(offMain.load());
  for (int i = 0; i < 10; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(OperationQueue::current(), nullptr);
}

TEST(OperationTest, MisuseRaises) {
  auto queue = OperationQueue::create();
  auto op = BlockOperation::create([] {});
  queue->addOperation(op);
  EXPECT_THROW(queue->addOperation(op), Exception);
  op->waitUntilFinished();
  EXPECT_THROW(op->start(), Exception);
  EXPECT_THROW(op->addExecutionBlock([] {}), Exception);

  auto dependent = BlockOperation::create([] {});
  dependent->addDependency(BlockOperation::create([] {}));
  EXPECT_THROW(dependent->start(), Exception);  // not ready

  // Waiting for the queue from one of its own operations.
  std::atomic<int> raised{-1};
  queue->addOperationWithBlock([&] {
    try {
      queue->waitUntilAllOperationsAreFinished();
      raised = 0;
    } catch (const Exception&) {
      raised = 1;
    }
  });
  ASSERT_TRUE(test::runUntil([&] { return raised != -1; }));
  EXPECT_EQ(raised.load(), 1);
}

TEST(OperationTest, BlockOperationRunsAllItsBlocksBeforeFinishing) {
  std::atomic<int> ran{0};
  auto op = BlockOperation::create([&] { ++ran; });
  for (int i = 0; i < 5; ++i) op->addExecutionBlock([&] { ++ran; });
  EXPECT_EQ(op->executionBlockCount(), 6u);
  auto queue = OperationQueue::create();
  queue->addOperations({op}, true);
  EXPECT_EQ(ran.load(), 6);
  EXPECT_TRUE(op->isFinished());
}

}  // namespace
}  // namespace kit

namespace kit {
namespace {

TEST(OperationTest, AnIdleQueueRunsABlockHereAsOneOfItsOperations) {
  auto queue = OperationQueue::create("here");
  queue->setMaxConcurrentOperationCount(1);
  const auto caller = std::this_thread::get_id();
  std::thread::id ranOn;
  size_t countInside = 0;
  Ref<OperationQueue> currentInside;
  auto added = Semaphore::create(0);
  bool addedRanInside = true;
  ASSERT_TRUE(queue->runBlockHereIfIdle([&] {
    ranOn = std::this_thread::get_id();
    countInside = queue->operationCount();
    currentInside = OperationQueue::current();
    // Added while the block runs: the serial queue starts it after.
    queue->addOperationWithBlock([&] { added->signal(); });
    addedRanInside = added->wait(0.05);
  }));
  EXPECT_EQ(ranOn, caller);
  EXPECT_EQ(countInside, 1u);
  EXPECT_EQ(currentInside, queue);
  EXPECT_EQ(OperationQueue::current(), nullptr);
  ASSERT_TRUE(added->wait(10.0));
  EXPECT_FALSE(addedRanInside);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(OperationTest, ABusySuspendedOrOtherwiseRunQueueDoesNotRunABlockHere) {
  auto queue = OperationQueue::create("busy");
  queue->setMaxConcurrentOperationCount(1);
  auto gate = Semaphore::create(0);
  auto blocker = queue->addOperationWithBlock([&] { gate->wait(10.0); });
  bool ran = false;
  EXPECT_FALSE(queue->runBlockHereIfIdle([&] { ran = true; }));
  gate->signal();
  queue->waitUntilAllOperationsAreFinished();

  queue->setSuspended(true);
  EXPECT_FALSE(queue->runBlockHereIfIdle([&] { ran = true; }));
  queue->setSuspended(false);

  // A queue on the main queue runs its operations on the main thread only.
  EXPECT_FALSE(OperationQueue::main().runBlockHereIfIdle([&] { ran = true; }));
  auto serial = Queue::serial("underlying");
  queue->setUnderlyingQueue(serial);
  EXPECT_FALSE(queue->runBlockHereIfIdle([&] { ran = true; }));
  EXPECT_FALSE(ran);
  EXPECT_EQ(queue->operationCount(), 0u);
}

// While a block runs here, another thread waiting for the queue to empty
// waits for the block too.
TEST(OperationTest, WaitingForTheQueueWaitsForABlockRunHere) {
  auto queue = OperationQueue::create("waited");
  auto started = Semaphore::create(0), release = Semaphore::create(0);
  std::atomic<bool> blockDone{false}, waitReturned{false}, doneBeforeWaitReturned{false};
  std::thread runner([&] {
    queue->runBlockHereIfIdle([&] {
      started->signal();
      release->wait(10.0);
      blockDone = true;
    });
  });
  ASSERT_TRUE(started->wait(10.0));
  std::thread waiter([&] {
    queue->waitUntilAllOperationsAreFinished();
    doneBeforeWaitReturned = blockDone.load();
    waitReturned = true;
  });
  EXPECT_FALSE(waitReturned.load());
  release->signal();
  runner.join();
  waiter.join();
  EXPECT_TRUE(doneBeforeWaitReturned.load());
}

TEST(OperationTest, ASerialQueuesBlocksRunOneAfterAnotherOnOneWorkerForARun) {
  constexpr int kBlocks = 200;
  auto queue = OperationQueue::create("one worker");
  queue->setMaxConcurrentOperationCount(1);
  queue->setSuspended(true);
  std::vector<std::thread::id> ranOn;
  std::vector<int> order;
  for (int i = 0; i < kBlocks; ++i) {
    queue->addOperationWithBlock([&, i] {
      ranOn.push_back(std::this_thread::get_id());
      order.push_back(i);
    });
  }
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  ASSERT_EQ(order.size(), static_cast<size_t>(kBlocks));
  for (int i = 0; i < kBlocks; ++i) EXPECT_EQ(order[i], i);
  // The worker that ran the first keeps the next 64, then lets go.
  for (int i = 1; i <= 64; ++i) EXPECT_EQ(ranOn[i], ranOn[0]) << "block " << i;
  EXPECT_NE(ranOn[0], std::this_thread::get_id());
}

// Finishes through the inherited start(), then waits for the queue's next
// operation to run before it returns.
class FinishThenWait : public Operation {
 public:
  explicit FinishThenWait(Ref<Semaphore> nextRan) : nextRan_(std::move(nextRan)) {}
  void start() override {
    Operation::start();
    sawNext = nextRan_->wait(10.0);
  }
  std::atomic<bool> sawNext{false};

 private:
  Ref<Semaphore> nextRan_;
};

TEST(OperationTest, WorkAfterAnOperationFinishesDoesNotHoldUpTheQueuesNextOne) {
  auto queue = OperationQueue::create("finish then wait");
  queue->setMaxConcurrentOperationCount(1);
  {
    // A subclass's start() that goes on after the inherited one.
    auto nextRan = Semaphore::create(0);
    auto first = std::make_shared<FinishThenWait>(nextRan);
    queue->addOperation(first);
    queue->addOperationWithBlock([nextRan] { nextRan->signal(); });
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(test::runUntil([&] { return first->sawNext.load(); }, 15));
  }
  {
    // A completion block, which runs after the queue hears of the finish.
    auto nextRan = Semaphore::create(0);
    std::atomic<bool> sawNext{false};
    auto first = BlockOperation::create([] {});
    first->setCompletionBlock([&sawNext, nextRan] { sawNext = nextRan->wait(10.0); });
    queue->addOperation(first);
    queue->addOperationWithBlock([nextRan] { nextRan->signal(); });
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(test::runUntil([&] { return sawNext.load(); }, 15));
  }
}

}  // namespace
}  // namespace kit
