// kit::Operation: a unit of work with the platform's states (ready,
// executing, finished, cancelled), dependencies on other operations, a
// completion block and a queue priority. kit::BlockOperation runs blocks.
//
// A synchronous operation runs main() inside start(). An asynchronous one
// overrides isAsynchronous() and start(): it calls setExecuting(true) when
// it begins and setFinished(true) (after setExecuting(false)) whenever its
// work completes, on any thread.
//
// Every state change is reported to state observers with the platform's key
// ("isReady", "isExecuting", "isFinished", "isCancelled", "queuePriority")
// after the change, on the thread that made it; operation queues use this,
// and so can key-value observing.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kit/foundation/object.h"

namespace kit {

class OperationQueue;

class Operation : public Object {
 public:
  enum class QueuePriority { VeryLow = -8, Low = -4, Normal = 0, High = 4, VeryHigh = 8 };
  using StateObserver = std::function<void(Operation& operation, const std::string& key)>;

  Operation();
  ~Operation() override;
  std::string description() const override;

  // Runs the operation on the calling thread. A cancelled operation goes
  // straight to finished. Raises when it is not ready, already executing or
  // finished.
  virtual void start();
  // The work of a synchronous operation.
  virtual void main() {}
  virtual bool isAsynchronous() const { return false; }

  // Marks the operation cancelled; the work itself checks isCancelled().
  // A cancelled operation is ready whatever its dependencies.
  void cancel();
  bool isCancelled() const;
  bool isExecuting() const;
  bool isFinished() const;
  bool isReady() const;

  // An operation becomes ready once all its dependencies have finished.
  void addDependency(const Ref<Operation>& operation);
  void removeDependency(const Ref<Operation>& operation);
  std::vector<Ref<Operation>> dependencies() const;

  // Runs once after the operation finishes, on the thread that finished it.
  void setCompletionBlock(std::function<void()> block);
  QueuePriority queuePriority() const;
  void setQueuePriority(QueuePriority priority);
  std::string name() const;
  void setName(std::string name);

  // Blocks until the operation has finished.
  void waitUntilFinished();

  uint64_t addStateObserver(StateObserver observer);
  void removeStateObserver(uint64_t token);

 protected:
  // State changes for subclasses that override start(); each notifies the
  // observers. Finishing runs the completion block, wakes waiters and
  // readies dependent operations.
  void setExecuting(bool executing);
  void setFinished(bool finished);

 private:
  friend class OperationQueue;
  void notify(const std::string& key);
  void dependencyFinished();
  // Finishes. `atEndOfStart`: called by start() itself, which returns once
  // the news is out.
  void finish(bool atEndOfStart);
  // The operation finishing on this thread at the end of its own start(),
  // with no completion block to run once its queue has heard of it (only
  // the dependents' news follows); else null.
  static const Operation* finishingAtEndOfStart();

  mutable std::mutex mutex_;
  std::condition_variable finishedCv_;
  bool cancelled_ = false;
  bool executing_ = false;
  bool finished_ = false;
  bool enqueued_ = false;
  std::vector<Ref<Operation>> dependencies_;
  std::vector<Weak<Operation>> dependents_;
  std::function<void()> completion_;
  std::vector<std::pair<uint64_t, std::shared_ptr<StateObserver>>> observers_;
  uint64_t nextObserver_ = 1;
  QueuePriority priority_ = QueuePriority::Normal;
  std::string name_;
};

// Runs its blocks: one on the thread running the operation, the others at
// the same time on a global queue; it finishes when all have returned.
class BlockOperation : public Operation {
 public:
  static Ref<BlockOperation> create(std::function<void()> block);

  // Raises once the operation is executing or finished.
  void addExecutionBlock(std::function<void()> block);
  size_t executionBlockCount() const;
  void main() override;

 private:
  mutable std::mutex blocksMutex_;
  std::vector<std::function<void()>> blocks_;
};

}  // namespace kit
