// Dispatch queues: the main queue as a source of the main run loop, global
// queues on the thread pool, and private serial and concurrent queues with
// barriers, sync, suspension and queue-specific values.
#include "kit/dispatch/queue.h"

#include <array>
#include <algorithm>
#include <exception>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/clock_detail.h"
#include "kit/dispatch/guard.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/scheduler.h"
#include "kit/dispatch/thread_pool.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/no_destructor.h"

namespace kit {
namespace {

// The queues whose tasks are running on this thread, with whether the task
// runs exclusively (serial queue or barrier): a chain of the running tasks'
// scopes on the stack, innermost first. A plain pointer, so that a thread
// holds no heap memory and no destructor of its own for it: a worker thread
// that ends while the process exits leaves nothing behind.
struct RunningScope {
  RunningScope(Queue* running, bool isExclusive) : queue(running), exclusive(isExclusive), outer(innermost) {
    innermost = this;
  }
  ~RunningScope() { innermost = outer; }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

  Queue* const queue;
  const bool exclusive;
  RunningScope* const outer;
  static thread_local RunningScope* innermost;
};
thread_local RunningScope* RunningScope::innermost = nullptr;

std::atomic<int> g_activityWatchers{0};

void noteActivity() {
  if (g_activityWatchers.load(std::memory_order_relaxed) > 0) RunLoop::main().wakeUp();
}

const char* priorityName(Queue::Priority priority) {
  switch (priority) {
    case Queue::Priority::High: return "high";
    case Queue::Priority::Default: return "default";
    case Queue::Priority::Low: return "low";
    case Queue::Priority::Background: return "background";
  }
  return "default";
}

}  // namespace

struct Queue::SyncGate {
  std::mutex mutex;
  std::condition_variable cv;
  bool granted = false;
  bool done = false;
  const Task* task = nullptr;
  std::exception_ptr error;
};

// ---- Queues -------------------------------------------------------------------

Queue& Queue::main() {
  // Lives for the whole process, like the main run loop that drains it.
  static NoDestructor<Ref<Queue>> holder([] {
    auto created = std::make_shared<Queue>(Kind::Main, "kit.main-thread", Priority::High);
    Queue* queue = created.get();
    queue->mainSource_ = RunLoopSource::create([queue] { queue->drainMain(); });
    RunLoop::main().addSource(queue->mainSource_, CommonRunLoopModes);
    return created;
  }());
  return **holder;
}

Queue& Queue::global(Priority priority) {
  static NoDestructor<std::array<Ref<Queue>, 4>> queues([] {
    std::array<Ref<Queue>, 4> created;
    for (int i = 0; i < 4; ++i) {
      const auto p = static_cast<Priority>(i);
      created[i] = std::make_shared<Queue>(Kind::Global, std::string("kit.global.") + priorityName(p), p);
    }
    return created;
  }());
  return *(*queues)[static_cast<int>(priority)];
}

Ref<Queue> Queue::serial(std::string label) {
  return std::make_shared<Queue>(Kind::Serial, std::move(label), Priority::Default);
}

Ref<Queue> Queue::concurrent(std::string label) {
  return std::make_shared<Queue>(Kind::Concurrent, std::move(label), Priority::Default);
}

Ref<Queue> Queue::current() {
  if (auto* running = RunningScope::innermost) return running->queue->selfAs<Queue>();
  return RunLoop::isMainThread() ? main().selfAs<Queue>() : global().selfAs<Queue>();
}

Queue::Queue(Kind kind, std::string label, Priority priority)
    : kind_(kind), label_(std::move(label)), priority_(priority) {}

Queue::~Queue() = default;

std::string Queue::description() const {
  static const char* kinds[] = {"main", "global", "serial", "concurrent"};
  return "<Queue " + label_ + " (" + kinds[static_cast<int>(kind_)] + ")>";
}

bool Queue::isCurrent() const {
  if (auto* running = RunningScope::innermost) return running->queue == this;
  return kind_ == Kind::Main && RunLoop::isMainThread();
}

// ---- async ------------------------------------------------------------------------

void Queue::async(Task task) {
  if (!task) return;
  enqueue(Item{detail::carryFlight(std::move(task)), false, nullptr});
}

void Queue::barrierAsync(Task task) {
  if (!task) return;
  enqueue(Item{detail::carryFlight(std::move(task)), kind_ == Kind::Concurrent, nullptr});
}

void Queue::after(double seconds, Task task) {
  if (!task) return;
  auto self = selfAs<Queue>();
  detail::DelayScheduler::shared().schedule(Clock::now() + std::max(seconds, 0.0), 0,
                                            [self, task = std::move(task)]() mutable {
                                              self->async(std::move(task));
                                            });
}

size_t Queue::pendingTaskCount() const {
  if (kind_ != Kind::Main) return pending_.load();
  std::lock_guard lock(mutex_);
  return items_.size() + drainRemaining_.load();
}

void Queue::enqueue(Item item) {
  if (kind_ != Kind::Main) pending_.fetch_add(1);
  switch (kind_) {
    case Kind::Main: {
      {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
      }
      mainSource_->signal();
      return;
    }
    case Kind::Global: {
      detail::ThreadPool::shared().submit(static_cast<int>(priority_), [this, task = std::move(item.task)] {
        {
          RunningScope running(this, false);
          detail::runGuarded(task, label_);
        }
        pending_.fetch_sub(1);
        noteActivity();
      });
      return;
    }
    case Kind::Serial:
    case Kind::Concurrent: {
      std::vector<Item> ready;
      {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
        pumpLocked(ready);
      }
      launch(ready);
      return;
    }
  }
}

// Takes the items that may start now, in order: a plain task while no
// exclusive one runs, an exclusive one (serial queue task, barrier) once
// nothing runs.
void Queue::pumpLocked(std::vector<Item>& ready) {
  if (suspendCount_ > 0) return;
  while (!items_.empty()) {
    Item& head = items_.front();
    if (exclusive(head)) {
      if (running_ > 0 || exclusiveRunning_) return;
      exclusiveRunning_ = true;
      ready.push_back(std::move(head));
      items_.pop_front();
      return;
    }
    if (exclusiveRunning_) return;
    ++running_;
    ready.push_back(std::move(head));
    items_.pop_front();
  }
}

void Queue::launch(std::vector<Item>& items) {
  for (auto& item : items) {
    if (item.gate) {
      // Notified under the lock: the gate lives on the waiter's stack and
      // goes as soon as the waiter sees the flag.
      std::lock_guard lock(item.gate->mutex);
      item.gate->granted = true;
      item.gate->cv.notify_all();
      continue;
    }
    auto self = selfAs<Queue>();
    detail::ThreadPool::shared().submit(static_cast<int>(priority_),
                                        [self, item = std::move(item)]() mutable {
                                          self->runOnWorker(std::move(item));
                                        });
  }
}

void Queue::runOnWorker(Item item) {
  const bool isExclusive = exclusive(item);
  // A serial queue keeps its worker for a run of plain tasks, which saves a
  // hand-over per task; it lets go after a while so others get a turn.
  for (int batch = 0;; ++batch) {
    {
      RunningScope running(this, isExclusive);
      detail::runGuarded(item.task, label_);
    }
    item.task = nullptr;
    pending_.fetch_sub(1);
    if (kind_ != Kind::Serial || batch >= 64) break;
    std::lock_guard lock(mutex_);
    if (suspendCount_ > 0 || items_.empty() || items_.front().gate) break;
    item = std::move(items_.front());
    items_.pop_front();
  }
  finished(isExclusive);
}

void Queue::finished(bool isExclusive) {
  std::vector<Item> ready;
  {
    std::lock_guard lock(mutex_);
    if (isExclusive) {
      exclusiveRunning_ = false;
    } else {
      --running_;
    }
    pumpLocked(ready);
  }
  launch(ready);
  noteActivity();
}

// ---- sync ---------------------------------------------------------------------------

void Queue::checkSyncDeadlock(bool isExclusive) const {
  if (kind_ == Kind::Main && RunLoop::isMainThread()) {
    raise(InternalInconsistencyException,
          "Queue::sync onto the main queue from the main thread would deadlock: the main thread drains that "
          "queue");
  }
  if (kind_ == Kind::Global) return;
  for (const RunningScope* running = RunningScope::innermost; running; running = running->outer) {
    if (running->queue != this) continue;
    if (kind_ == Kind::Serial || isExclusive || running->exclusive) {
      raise(InternalInconsistencyException,
            "Queue::sync onto queue '" + label_ + "' from a task running on it would deadlock");
    }
  }
}

void Queue::syncTask(bool barrier, const Task& task) {
  const bool isExclusive = kind_ == Kind::Serial || (kind_ == Kind::Concurrent && barrier);
  checkSyncDeadlock(isExclusive);

  if (kind_ == Kind::Global) {
    pending_.fetch_add(1);
    struct Done {
      Queue* queue;
      ~Done() { queue->pending_.fetch_sub(1); }
    } done{this};
    RunningScope running(this, false);
    task();
    return;
  }

  SyncGate gate;
  gate.task = &task;
  if (kind_ == Kind::Main) {
    enqueue(Item{nullptr, false, &gate});
    std::unique_lock lock(gate.mutex);
    gate.cv.wait(lock, [&] { return gate.done; });
    if (gate.error) std::rethrow_exception(gate.error);
    return;
  }

  enqueue(Item{nullptr, barrier && kind_ == Kind::Concurrent, &gate});
  {
    std::unique_lock lock(gate.mutex);
    gate.cv.wait(lock, [&] { return gate.granted; });
  }
  std::exception_ptr error;
  {
    RunningScope running(this, isExclusive);
    try {
      task();
    } catch (...) {
      error = std::current_exception();
    }
  }
  pending_.fetch_sub(1);
  finished(isExclusive);
  if (error) std::rethrow_exception(error);
}

// ---- The main queue ---------------------------------------------------------------------

void Queue::drainMain() {
  // Only what was queued when the drain began: a task posted by one of these
  // runs on a later pass, after the run loop's other work.
  std::deque<Item> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(items_);
    drainRemaining_.store(batch.size(), std::memory_order_relaxed);
  }
  RunningScope running(this, true);
  size_t remaining = batch.size();
  for (auto& item : batch) {
    if (item.gate) {
      SyncGate* gate = item.gate;
      try {
        (*gate->task)();
      } catch (...) {
        gate->error = std::current_exception();
      }
      std::lock_guard lock(gate->mutex);
      gate->done = true;
      gate->cv.notify_all();
    } else {
      detail::runGuarded(item.task, label_);
      item.task = nullptr;
    }
    drainRemaining_.store(--remaining, std::memory_order_relaxed);
  }
}

// ---- Suspension and specifics ------------------------------------------------------------

void Queue::suspend() {
  if (kind_ == Kind::Main || kind_ == Kind::Global) return;
  std::lock_guard lock(mutex_);
  ++suspendCount_;
}

void Queue::resume() {
  if (kind_ == Kind::Main || kind_ == Kind::Global) return;
  std::vector<Item> ready;
  {
    std::lock_guard lock(mutex_);
    if (suspendCount_ == 0) raise(InternalInconsistencyException, "Queue::resume without a matching suspend");
    if (--suspendCount_ == 0) pumpLocked(ready);
  }
  launch(ready);
}

void Queue::setSpecific(const void* key, Id value) {
  std::lock_guard lock(mutex_);
  if (value) {
    specifics_[key] = std::move(value);
  } else {
    specifics_.erase(key);
  }
}

Id Queue::specific(const void* key) const {
  std::lock_guard lock(mutex_);
  auto it = specifics_.find(key);
  return it == specifics_.end() ? nullptr : it->second;
}

Id Queue::currentSpecific(const void* key) {
  auto queue = current();
  if (Id value = queue->specific(key)) return value;
  // A private queue runs on the global queue of its priority.
  if (queue->kind_ == Kind::Serial || queue->kind_ == Kind::Concurrent) return global(queue->priority_).specific(key);
  return nullptr;
}

// ---- Activity watch --------------------------------------------------------------------------

QueueActivityWatch::QueueActivityWatch() { g_activityWatchers.fetch_add(1); }
QueueActivityWatch::~QueueActivityWatch() { g_activityWatchers.fetch_sub(1); }

}  // namespace kit
