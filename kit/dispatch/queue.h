// kit::Queue: dispatch queues.
//
// - Queue::main(): serial, drained by the main run loop (in the common
//   modes), so its tasks run on the main thread between run loop events. A
//   task posted to it from one of its own tasks runs after the current one;
//   its tasks never nest, even when a task runs the run loop.
// - Queue::global(priority): concurrent, on the shared worker threads; jobs
//   of a higher priority are started first.
// - Queue::serial(label) / Queue::concurrent(label): private queues on the
//   worker threads. Serial queues run one task at a time in order;
//   concurrent queues run tasks side by side except barriers, which run
//   alone after everything before them and before anything after them.
//
// async never blocks. sync runs the task and returns when it has run: on the
// calling thread for private and global queues, on the main thread for the
// main queue. A sync that could only deadlock (onto the main queue from the
// main thread, onto a serial queue from its own task) raises kit::Exception
// with InternalInconsistencyException instead. Exceptions thrown by a sync
// task reach the caller; those escaping an async task are logged.
//
// Product code reads:
//
//   kit::Queue::main().async([weak = weakSelf()] {
//     if (auto self = weak.lock()) self->reload();
//   });
//   kit::Queue::global().after(1.0, [] { ... });
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "kit/foundation/object.h"

namespace kit {

class RunLoopSource;

class Queue : public Object {
 public:
  using Task = std::function<void()>;
  enum class Priority { High, Default, Low, Background };
  enum class Kind { Main, Global, Serial, Concurrent };

  static Queue& main();
  static Queue& global(Priority priority = Priority::Default);
  static Ref<Queue> serial(std::string label);
  static Ref<Queue> concurrent(std::string label);
  // The queue of the task running on this thread; outside any task, the
  // main queue on the main thread and the default global queue elsewhere.
  static Ref<Queue> current();

  // Use the factories.
  Queue(Kind kind, std::string label, Priority priority);
  ~Queue() override;
  std::string description() const override;

  const std::string& label() const { return label_; }
  Kind kind() const { return kind_; }
  bool isMain() const { return kind_ == Kind::Main; }
  bool isSerial() const { return kind_ == Kind::Main || kind_ == Kind::Serial; }
  Priority priority() const { return priority_; }
  // True inside a task of this queue (for the main queue: also anywhere on
  // the main thread outside other queues' tasks).
  bool isCurrent() const;

  void async(Task task);
  // Runs `task` after `seconds` on kit::Clock.
  void after(double seconds, Task task);
  // On a concurrent queue, runs alone; elsewhere the same as async.
  void barrierAsync(Task task);

  template <class F>
  auto sync(F&& fn) -> std::invoke_result_t<F&> {
    return syncWith(false, std::forward<F>(fn));
  }
  template <class F>
  auto barrierSync(F&& fn) -> std::invoke_result_t<F&> {
    return syncWith(true, std::forward<F>(fn));
  }

  // Suspends starting new tasks of a private queue (counted; resume() once
  // per suspend()). No effect on the main and global queues.
  void suspend();
  void resume();

  // Queue-specific values: a value stored on a queue, looked up from code
  // running on it (or on a private queue whose global queue holds it).
  void setSpecific(const void* key, Id value);
  Id specific(const void* key) const;
  static Id currentSpecific(const void* key);

  // Tasks queued or running (diagnostics and tests).
  size_t pendingTaskCount() const;

 private:
  struct SyncGate;
  struct Item {
    Task task;
    bool barrier = false;
    SyncGate* gate = nullptr;
  };

  template <class F>
  auto syncWith(bool barrier, F&& fn) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    if constexpr (std::is_void_v<R>) {
      syncTask(barrier, Task(std::ref(fn)));
    } else {
      std::optional<R> result;
      syncTask(barrier, [&] { result.emplace(fn()); });
      return std::move(*result);
    }
  }

  void syncTask(bool barrier, const Task& task);
  void enqueue(Item item);
  void pumpLocked(std::vector<Item>& launch);
  void launch(std::vector<Item>& items);
  void runOnWorker(Item item);
  void finished(bool exclusive);
  void drainMain();
  void checkSyncDeadlock(bool exclusive) const;
  bool exclusive(const Item& item) const { return kind_ == Kind::Serial || item.barrier; }

  const Kind kind_;
  const std::string label_;
  const Priority priority_;
  mutable std::mutex mutex_;
  std::deque<Item> items_;
  size_t running_ = 0;
  bool exclusiveRunning_ = false;
  int suspendCount_ = 0;
  std::atomic<size_t> pending_{0};         // worker queues
  std::atomic<size_t> drainRemaining_{0};  // main queue: tasks of the batch being drained
  std::unordered_map<const void*, Id> specifics_;
  Ref<RunLoopSource> mainSource_;
};

// While one exists, every task finishing on a worker queue wakes the main
// run loop, so that a loop run until some condition holds notices
// conditions set by workers at once.
class QueueActivityWatch {
 public:
  QueueActivityWatch();
  ~QueueActivityWatch();
  QueueActivityWatch(const QueueActivityWatch&) = delete;
  QueueActivityWatch& operator=(const QueueActivityWatch&) = delete;
};

}  // namespace kit
