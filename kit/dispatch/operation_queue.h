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
#include <mutex>
#include <string>
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
    uint64_t order = 0;
    bool started = false;
  };

  void pump();
  void operationFinished(Operation* operation);
  void run(const Ref<Operation>& operation);

  mutable std::mutex mutex_;
  std::condition_variable emptied_;
  std::vector<Entry> entries_;
  std::string name_;
  Ref<Queue> underlying_;
  long maxConcurrent_;
  size_t executing_ = 0;
  uint64_t nextOrder_ = 0;
  bool suspended_ = false;
};

}  // namespace kit
