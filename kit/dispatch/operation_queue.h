// kit::OperationQueue: runs operations when they are ready, highest queue
// priority first and then in the order added, at most
// maxConcurrentOperationCount at a time, on an underlying dispatch queue.
//
// OperationQueue::main() is serial and runs on the main queue. Private
// queues run on the default global queue unless given another.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kit/dispatch/operation.h"
#include "kit/dispatch/queue.h"

namespace kit {

class OperationQueue : public Object {
 public:
  // Let the queue decide (it runs as many as there are worker threads).
  static constexpr long DefaultMaxConcurrentOperationCount = -1;

  static OperationQueue& main();
  static Ref<OperationQueue> create(std::string name = "");
  // The queue of the operation running on this thread, or nil.
  static Ref<OperationQueue> current();

  OperationQueue(std::string name, Ref<Queue> underlying, long maxConcurrent);
  std::string description() const override;

  // Raises when the operation is already in a queue, executing or finished.
  void addOperation(const Ref<Operation>& operation);
  Ref<BlockOperation> addOperationWithBlock(std::function<void()> block);
  void addOperations(const std::vector<Ref<Operation>>& operations, bool waitUntilFinished);
  // Runs `block` as one of the queue's operations on the calling thread,
  // before returning, when the queue could start it at once on a worker of
  // the shared global queue: its underlying queue is that queue, it is not
  // suspended and holds no other operation. While it runs it is the queue's
  // operation like any other (counted, waited for; the queue is current).
  // Answers false, having taken nothing, when the queue is not idle; should
  // it stop being idle while the block is taken in, the block waits its
  // turn like an added operation (and the answer is true).
  bool runBlockHereIfIdle(std::function<void()> block);

  // The operations not yet finished, in the order added.
  std::vector<Ref<Operation>> operations() const;
  size_t operationCount() const;

  long maxConcurrentOperationCount() const;
  void setMaxConcurrentOperationCount(long count);
  bool isSuspended() const;
  void setSuspended(bool suspended);
  std::string name() const;
  void setName(std::string name);
  Ref<Queue> underlyingQueue() const;
  void setUnderlyingQueue(Ref<Queue> queue);

  void cancelAllOperations();
  // Blocks until every operation added so far has finished. Raises where it
  // could only deadlock: on the main thread for the main operation queue,
  // or inside one of this queue's own operations.
  void waitUntilAllOperationsAreFinished();

 private:
  struct Entry {
    Ref<Operation> operation;
    uint64_t observer = 0;
    int priority = 0;  // as it stood when the entry joined ready_
    bool started = false;
    bool inReady = false;
  };
  // Orders ready operations: highest priority first, then first added.
  using ReadyKey = std::pair<int, uint64_t>;  // (-priority, order)

  // Takes the operation in (raising as addOperation does) and files it to
  // start in its turn; or, asked to and when the queue is idle, marks it
  // started for the caller to run. True in that case.
  bool enqueue(const Ref<Operation>& operation, bool startHereIfIdle);
  // With mutex_ held: not suspended, nothing running, and an operation
  // would start at once on a worker of the global queue.
  bool idleLocked() const;
  // What run() is doing on this thread.
  struct RunFrame;
  static thread_local RunFrame* runFrame_;
  // Starts ready operations while the limit allows. With `handOver`, the
  // first goes to the run on this thread (see run()) instead of a worker.
  void pump(bool handOver = false);
  void operationFinished(Operation* operation);
  // The operation's readiness or priority may have changed.
  void operationChanged(Operation* operation);
  // Runs the operation on this thread. With `keepWorker` (a worker of the
  // global queue running it), a block operation without a completion block
  // hands this thread the next operation the queue starts as it finishes,
  // which runs here as soon as start() returns, without waking another
  // worker: a serial queue's blocks run one after another that way, for a
  // while.
  void run(Ref<Operation> operation, bool keepWorker);
  // With mutex_ held: puts a waiting entry in ready_ when it is ready.
  void fileLocked(uint64_t order, Entry& entry);

  mutable std::mutex mutex_;
  std::condition_variable emptied_;
  // Every operation not yet finished, by the order added; starting and
  // finishing one costs a lookup, however many wait.
  std::map<uint64_t, Entry> entries_;
  std::unordered_map<const Operation*, uint64_t> orderOf_;
  // The entries not started that are ready to start, best first. Entries
  // that wait on dependencies join when their operation says it is ready.
  std::set<ReadyKey> ready_;
  std::string name_;
  Ref<Queue> underlying_;
  long maxConcurrent_;
  size_t executing_ = 0;
  uint64_t nextOrder_ = 0;
  bool suspended_ = false;
};

}  // namespace kit
