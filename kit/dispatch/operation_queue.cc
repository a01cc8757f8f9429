// Operation queues: choosing the next ready operation, concurrency limits,
// and waiting for operations to finish.
#include "kit/dispatch/operation_queue.h"

#include <algorithm>
#include <thread>
#include <typeinfo>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/no_destructor.h"

namespace kit {
namespace {

thread_local OperationQueue* t_currentQueue = nullptr;

struct CurrentQueueScope {
  explicit CurrentQueueScope(OperationQueue* queue) : saved(t_currentQueue) { t_currentQueue = queue; }
  ~CurrentQueueScope() { t_currentQueue = saved; }
  OperationQueue* saved;
};

size_t defaultWidth() { return std::max<size_t>(2, std::thread::hardware_concurrency()); }

// Operations a worker runs in a row that way before it lets go, so that the
// global queue's other work gets a turn (as a serial dispatch queue does).
constexpr int kOperationsPerWorkerRun = 64;

}  // namespace

struct OperationQueue::RunFrame {
  OperationQueue* queue;
  const Operation* running = nullptr;
  Ref<Operation> next;  // started by the queue, for this thread to run
  int left = 0;         // operations it may still be handed
  RunFrame* outer = nullptr;
};

thread_local OperationQueue::RunFrame* OperationQueue::runFrame_ = nullptr;

OperationQueue& OperationQueue::main() {
  static NoDestructor<Ref<OperationQueue>> holder(
      std::make_shared<OperationQueue>("kit.main-operation-queue", Queue::main().selfAs<Queue>(), 1));
  return **holder;
}

Ref<OperationQueue> OperationQueue::create(std::string name) {
  return std::make_shared<OperationQueue>(std::move(name), Queue::global().selfAs<Queue>(),
                                          DefaultMaxConcurrentOperationCount);
}

Ref<OperationQueue> OperationQueue::current() {
  return t_currentQueue ? t_currentQueue->selfAs<OperationQueue>() : nullptr;
}

OperationQueue::OperationQueue(std::string name, Ref<Queue> underlying, long maxConcurrent)
    : name_(std::move(name)), underlying_(std::move(underlying)), maxConcurrent_(maxConcurrent) {}

std::string OperationQueue::description() const { return "<OperationQueue " + name() + ">"; }

void OperationQueue::addOperation(const Ref<Operation>& operation) {
  if (!operation) return;
  enqueue(operation, false);
  pump();
}

bool OperationQueue::enqueue(const Ref<Operation>& operation, bool startHereIfIdle) {
  {
    std::lock_guard lock(operation->mutex_);
    if (operation->enqueued_) {
      raise(InvalidArgumentException, "-[OperationQueue addOperation:]: operation is already enqueued on a queue");
    }
    if (operation->executing_ || operation->finished_) {
      raise(InvalidArgumentException,
            "-[OperationQueue addOperation:]: operation is executing or finished and cannot be enqueued");
    }
    operation->enqueued_ = true;
  }
  Weak<OperationQueue> weakQueue = selfAs<OperationQueue>();
  const uint64_t observer = operation->addStateObserver([weakQueue](Operation& op, const std::string& key) {
    auto queue = weakQueue.lock();
    if (!queue) return;
    if (key == "isFinished") {
      queue->operationFinished(&op);
    } else if (key == "isReady" || key == "queuePriority") {
      queue->operationChanged(&op);
    }
  });
  std::lock_guard lock(mutex_);
  const uint64_t order = nextOrder_++;
  Entry& entry = entries_.emplace(order, Entry{operation, observer}).first->second;
  orderOf_.emplace(operation.get(), order);
  if (startHereIfIdle && entries_.size() == 1 && idleLocked() && operation->isReady()) {
    entry.started = true;
    ++executing_;
    return true;
  }
  fileLocked(order, entry);
  return false;
}

bool OperationQueue::idleLocked() const {
  return !suspended_ && executing_ == 0 && maxConcurrent_ != 0 && underlying_.get() == &Queue::global();
}

bool OperationQueue::runBlockHereIfIdle(std::function<void()> block) {
  {
    std::lock_guard lock(mutex_);
    if (!entries_.empty() || !idleLocked()) return false;
  }
  auto operation = BlockOperation::create(std::move(block));
  if (enqueue(operation, true)) {
    run(operation, false);
  } else {
    // The queue took other work meanwhile: the block waits its turn.
    pump();
  }
  return true;
}

Ref<BlockOperation> OperationQueue::addOperationWithBlock(std::function<void()> block) {
  auto operation = BlockOperation::create(std::move(block));
  addOperation(operation);
  return operation;
}

void OperationQueue::addOperations(const std::vector<Ref<Operation>>& operations, bool waitUntilFinished) {
  for (const auto& operation : operations) addOperation(operation);
  if (!waitUntilFinished) return;
  for (const auto& operation : operations) operation->waitUntilFinished();
}

std::vector<Ref<Operation>> OperationQueue::operations() const {
  std::lock_guard lock(mutex_);
  std::vector<Ref<Operation>> list;
  list.reserve(entries_.size());
  for (const auto& [order, entry] : entries_) list.push_back(entry.operation);
  return list;
}

size_t OperationQueue::operationCount() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

long OperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard lock(mutex_);
  return maxConcurrent_;
}

void OperationQueue::setMaxConcurrentOperationCount(long count) {
  {
    std::lock_guard lock(mutex_);
    maxConcurrent_ = count;
  }
  pump();
}

bool OperationQueue::isSuspended() const {
  std::lock_guard lock(mutex_);
  return suspended_;
}

void OperationQueue::setSuspended(bool suspended) {
  {
    std::lock_guard lock(mutex_);
    suspended_ = suspended;
  }
  pump();
}

std::string OperationQueue::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

void OperationQueue::setName(std::string name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

Ref<Queue> OperationQueue::underlyingQueue() const {
  std::lock_guard lock(mutex_);
  return underlying_;
}

void OperationQueue::setUnderlyingQueue(Ref<Queue> queue) {
  if (!queue) return;
  std::lock_guard lock(mutex_);
  underlying_ = std::move(queue);
}

void OperationQueue::cancelAllOperations() {
  for (auto& operation : operations()) operation->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
  std::unique_lock lock(mutex_);
  if (entries_.empty()) return;
  if (underlying_->isMain() && RunLoop::isMainThread()) {
    raise(InternalInconsistencyException,
          "waitUntilAllOperationsAreFinished on the main operation queue from the main thread would deadlock");
  }
  if (t_currentQueue == this) {
    raise(InternalInconsistencyException,
          "waitUntilAllOperationsAreFinished from inside one of the queue's own operations would deadlock");
  }
  emptied_.wait(lock, [&] { return entries_.empty(); });
}

void OperationQueue::fileLocked(uint64_t order, Entry& entry) {
  if (entry.started || entry.inReady || !entry.operation->isReady()) return;
  entry.priority = static_cast<int>(entry.operation->queuePriority());
  entry.inReady = true;
  ready_.insert(ReadyKey{-entry.priority, order});
}

void OperationQueue::operationChanged(Operation* operation) {
  {
    std::lock_guard lock(mutex_);
    auto found = orderOf_.find(operation);
    if (found == orderOf_.end()) return;
    const uint64_t order = found->second;
    Entry& entry = entries_.at(order);
    // Filed again under its present priority and readiness.
    if (entry.inReady) {
      ready_.erase(ReadyKey{-entry.priority, order});
      entry.inReady = false;
    }
    fileLocked(order, entry);
  }
  pump();
}

// Starts ready operations while the limit allows: highest priority first,
// then in the order added. Cancelled operations are ready at once, so that
// they finish and leave the queue.
void OperationQueue::pump(bool handOver) {
  std::vector<Ref<Operation>> starting;
  Ref<Queue> underlying;
  {
    std::lock_guard lock(mutex_);
    if (suspended_) return;
    const size_t limit = maxConcurrent_ < 0 ? defaultWidth() : static_cast<size_t>(maxConcurrent_);
    underlying = underlying_;
    handOver = handOver && underlying_.get() == &Queue::global();
    while (executing_ < limit && !ready_.empty()) {
      const uint64_t order = ready_.begin()->second;
      ready_.erase(ready_.begin());
      Entry& entry = entries_.at(order);
      entry.inReady = false;
      // A dependency added since it was filed: it waits to be ready again.
      if (!entry.operation->isReady()) continue;
      entry.started = true;
      ++executing_;
      starting.push_back(entry.operation);
    }
  }
  auto it = starting.begin();
  if (handOver && it != starting.end()) {
    runFrame_->next = std::move(*it++);
    --runFrame_->left;
  }
  auto self = selfAs<OperationQueue>();
  for (; it != starting.end(); ++it) {
    underlying->async([self, operation = std::move(*it)] { self->run(operation, true); });
  }
}

void OperationQueue::run(Ref<Operation> operation, bool keepWorker) {
  CurrentQueueScope scope(this);
  RunFrame frame{this, nullptr, nullptr, keepWorker ? kOperationsPerWorkerRun : 0, runFrame_};
  runFrame_ = &frame;
  struct Leave {
    RunFrame& frame;
    ~Leave() {
      runFrame_ = frame.outer;
      // Left by a raise: the operation handed over runs on a worker.
      if (frame.next) {
        auto self = frame.queue->selfAs<OperationQueue>();
        self->underlyingQueue()->async([self, operation = std::move(frame.next)] { self->run(operation, true); });
      }
    }
  } leave{frame};
  while (operation) {
    // Only a plain block operation is known to return from start() at once
    // once it has finished: a subclass's start() may go on after the
    // inherited one, even to wait for the queue's next operation.
    const Operation& running = *operation;
    frame.running = typeid(running) == typeid(BlockOperation) ? &running : nullptr;
    try {
      if (!operation->isFinished() && !operation->isExecuting()) operation->start();
    } catch (const Exception&) {
      // start() raised (a subclass broke the state rules): finish it here so
      // that the queue does not wait for it forever.
      operation->setFinished(true);
      throw;
    }
    operation = std::move(frame.next);
    frame.next = nullptr;
  }
}

void OperationQueue::operationFinished(Operation* operation) {
  Ref<Operation> finished;
  uint64_t observer = 0;
  {
    std::lock_guard lock(mutex_);
    auto found = orderOf_.find(operation);
    if (found == orderOf_.end()) return;
    auto it = entries_.find(found->second);
    orderOf_.erase(found);
    Entry& entry = it->second;
    if (entry.started) --executing_;
    if (entry.inReady) ready_.erase(ReadyKey{-entry.priority, it->first});
    finished = std::move(entry.operation);
    observer = entry.observer;
    entries_.erase(it);
    if (entries_.empty()) emptied_.notify_all();
  }
  finished->removeStateObserver(observer);
  // The block operation this thread's run() is running, at the end of its
  // start() with no completion block to follow: the next one can wait for
  // that to return.
  const RunFrame* frame = runFrame_;
  pump(frame && frame->queue == this && frame->running == operation && frame->left > 0 && !frame->next &&
       Operation::finishingAtEndOfStart() == operation);
}

}  // namespace kit
