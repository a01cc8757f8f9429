// Task throughput of the main queue drained by the main run loop, against a
// plain mutex + condition variable task queue, in the same run: tasks
// posted and run on one thread, and tasks posted from a worker while the
// main thread runs them; and 100,000 blocks added at once to the main
// operation queue and to a serial one, which must cost no more per block
// than a few (starting one does not look at the others that wait). Prints
// the throughput ratios at the end.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"

namespace {

constexpr int kTasks = 10000;
// Blocks added at once to an operation queue before it drains them.
constexpr int kBlocks = 100000;

// The peer: the simplest thread-safe task queue.
class CondvarQueue {
 public:
  void post(std::function<void()> task) {
    {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    cv_.notify_one();
  }
  // Runs tasks until `done` holds, waiting when there are none.
  void runUntil(const std::function<bool()>& done) {
    while (!done()) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return !tasks_.empty(); });
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> tasks_;
};

void runMainLoopUntil(const std::function<bool()>& done) {
  while (!done()) kit::RunLoop::main().runOnce(kit::DefaultRunLoopMode, 1.0);
}

void BM_MainQueue_SameThread(benchmark::State& state) {
  int ran = 0;
  for (auto _ : state) {
    ran = 0;
    for (int i = 0; i < kTasks; ++i) kit::Queue::main().async([&ran] { ++ran; });
    runMainLoopUntil([&] { return ran == kTasks; });
  }
  state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(BM_MainQueue_SameThread)->Unit(benchmark::kMillisecond);

void BM_CondvarQueue_SameThread(benchmark::State& state) {
  CondvarQueue queue;
  int ran = 0;
  for (auto _ : state) {
    ran = 0;
    for (int i = 0; i < kTasks; ++i) queue.post([&ran] { ++ran; });
    queue.runUntil([&] { return ran == kTasks; });
  }
  state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(BM_CondvarQueue_SameThread)->Unit(benchmark::kMillisecond);

void BM_MainQueue_FromWorker(benchmark::State& state) {
  std::atomic<int> ran{0};
  for (auto _ : state) {
    ran = 0;
    std::thread producer([&] {
      for (int i = 0; i < kTasks; ++i) {
        kit::Queue::main().async([&ran] { ran.fetch_add(1, std::memory_order_relaxed); });
      }
    });
    runMainLoopUntil([&] { return ran.load() == kTasks; });
    producer.join();
  }
  state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(BM_MainQueue_FromWorker)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CondvarQueue_FromWorker(benchmark::State& state) {
  CondvarQueue queue;
  std::atomic<int> ran{0};
  for (auto _ : state) {
    ran = 0;
    std::thread producer([&] {
      for (int i = 0; i < kTasks; ++i) queue.post([&ran] { ran.fetch_add(1, std::memory_order_relaxed); });
    });
    queue.runUntil([&] { return ran.load() == kTasks; });
    producer.join();
  }
  state.SetItemsProcessed(state.iterations() * kTasks);
}
BENCHMARK(BM_CondvarQueue_FromWorker)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MainOperationQueue_Blocks(benchmark::State& state) {
  int ran = 0;
  for (auto _ : state) {
    ran = 0;
    for (int i = 0; i < kBlocks; ++i) kit::OperationQueue::main().addOperationWithBlock([&ran] { ++ran; });
    runMainLoopUntil([&] { return ran == kBlocks; });
  }
  state.SetItemsProcessed(state.iterations() * kBlocks);
}
BENCHMARK(BM_MainOperationQueue_Blocks)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SerialOperationQueue_Blocks(benchmark::State& state) {
  auto queue = kit::OperationQueue::create("bench.serial");
  queue->setMaxConcurrentOperationCount(1);
  std::atomic<int> ran{0};
  for (auto _ : state) {
    ran = 0;
    for (int i = 0; i < kBlocks; ++i) {
      queue->addOperationWithBlock([&ran] { ran.fetch_add(1, std::memory_order_relaxed); });
    }
    queue->waitUntilAllOperationsAreFinished();
  }
  state.SetItemsProcessed(state.iterations() * kBlocks);
}
BENCHMARK(BM_SerialOperationQueue_Blocks)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: the same blocks through the plain queue, run on a worker.
void BM_CondvarQueue_Blocks(benchmark::State& state) {
  CondvarQueue queue;
  std::atomic<int> ran{0};
  for (auto _ : state) {
    ran = 0;
    std::thread consumer([&] { queue.runUntil([&] { return ran.load() == kBlocks; }); });
    for (int i = 0; i < kBlocks; ++i) queue.post([&ran] { ran.fetch_add(1, std::memory_order_relaxed); });
    consumer.join();
  }
  state.SetItemsProcessed(state.iterations() * kBlocks);
}
BENCHMARK(BM_CondvarQueue_Blocks)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's throughput for the ratios.
void printRatio(const bench::RecordingReporter& reporter, const char* label, const std::string& ours,
                const std::string& peer) {
  const double a = reporter.counter(ours, "items_per_second"), b = reporter.counter(peer, "items_per_second");
  if (a <= 0 || b <= 0) return;
  std::printf("%-40s main queue %.2f M tasks/s, mutex+condvar %.2f M tasks/s, ratio %.2f\n", label, a / 1e6,
              b / 1e6, a / b);
}

}  // namespace

int main(int argc, char** argv) {
  kit::RunLoop::declareMainThread();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nThroughput, main queue / mutex+condvar queue:\n");
  printRatio(reporter, "posted and run on the main thread:", "BM_MainQueue_SameThread",
             "BM_CondvarQueue_SameThread");
  printRatio(reporter, "posted from a worker:", "BM_MainQueue_FromWorker/real_time",
             "BM_CondvarQueue_FromWorker/real_time");
  // Time per task, main queue over the plain queue. Goal: at most half again.
  auto secondsPerTask = [&](const char* name) {
    const double rate = reporter.counter(name, "items_per_second");
    return rate > 0 ? 1 / rate : 0;
  };
  bench::reportRatio("main_queue_same_thread/condvar_queue", secondsPerTask("BM_MainQueue_SameThread"),
                     secondsPerTask("BM_CondvarQueue_SameThread"), 1.5);
  bench::reportRatio("main_queue_from_worker/condvar_queue", secondsPerTask("BM_MainQueue_FromWorker/real_time"),
                     secondsPerTask("BM_CondvarQueue_FromWorker/real_time"), 1.5);
  // An operation is an object with states, observers and a hop through a
  // dispatch queue: tens of bare tasks, but the same however many wait (a
  // queue that looked at every waiting operation per start took minutes for
  // these 100,000, thousands of times the peer).
  bench::reportRatio("main_operation_queue_100k/condvar_queue",
                     secondsPerTask("BM_MainOperationQueue_Blocks/real_time"),
                     secondsPerTask("BM_CondvarQueue_Blocks/real_time"), 100);
  bench::reportRatio("serial_operation_queue_100k/condvar_queue",
                     secondsPerTask("BM_SerialOperationQueue_Blocks/real_time"),
                     secondsPerTask("BM_CondvarQueue_Blocks/real_time"), 100);
  benchmark::Shutdown();
  return 0;
}
