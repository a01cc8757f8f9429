// Operations: states, dependencies, completion and observation.
#include "kit/dispatch/operation.h"

#include <algorithm>

#include "kit/dispatch/group.h"
#include "kit/dispatch/guard.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"

namespace kit {
namespace {
thread_local const Operation* t_finishingAtEndOfStart = nullptr;
}  // namespace

Operation::Operation() = default;
Operation::~Operation() = default;

std::string Operation::description() const {
  std::lock_guard lock(mutex_);
  return formatString("<Operation %p%s%s isFinished=%s isCancelled=%s isExecuting=%s>",
                      static_cast<const void*>(this), name_.empty() ? "" : " ", name_, finished_ ? "YES" : "NO",
                      cancelled_ ? "YES" : "NO", executing_ ? "YES" : "NO");
}

void Operation::start() {
  {
    std::lock_guard lock(mutex_);
    if (executing_ || finished_) {
      raise(InvalidArgumentException, "-[Operation start]: receiver is already executing or finished");
    }
  }
  if (!isReady()) raise(InvalidArgumentException, "-[Operation start]: receiver is not yet ready to execute");
  if (isCancelled()) {
    finish(true);
    return;
  }
  setExecuting(true);
  detail::runGuarded([this] { main(); }, "an operation");
  setExecuting(false);
  finish(true);
}

void Operation::cancel() {
  {
    std::lock_guard lock(mutex_);
    if (cancelled_ || finished_) return;
    cancelled_ = true;
  }
  notify("isCancelled");
  notify("isReady");
}

bool Operation::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

bool Operation::isExecuting() const {
  std::lock_guard lock(mutex_);
  return executing_;
}

bool Operation::isFinished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

bool Operation::isReady() const {
  std::vector<Ref<Operation>> dependencies;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return true;
    dependencies = dependencies_;
  }
  return std::all_of(dependencies.begin(), dependencies.end(),
                     [](const Ref<Operation>& d) { return d->isFinished(); });
}

void Operation::addDependency(const Ref<Operation>& operation) {
  if (!operation || operation.get() == this) return;
  {
    std::lock_guard lock(mutex_);
    if (executing_ || finished_) return;
    if (std::find(dependencies_.begin(), dependencies_.end(), operation) != dependencies_.end()) return;
    dependencies_.push_back(operation);
  }
  {
    std::lock_guard lock(operation->mutex_);
    operation->dependents_.push_back(selfAs<Operation>());
  }
  notify("isReady");
}

void Operation::removeDependency(const Ref<Operation>& operation) {
  {
    std::lock_guard lock(mutex_);
    auto it = std::find(dependencies_.begin(), dependencies_.end(), operation);
    if (it == dependencies_.end()) return;
    dependencies_.erase(it);
  }
  notify("isReady");
}

std::vector<Ref<Operation>> Operation::dependencies() const {
  std::lock_guard lock(mutex_);
  return dependencies_;
}

void Operation::setCompletionBlock(std::function<void()> block) {
  std::lock_guard lock(mutex_);
  completion_ = std::move(block);
}

Operation::QueuePriority Operation::queuePriority() const {
  std::lock_guard lock(mutex_);
  return priority_;
}

void Operation::setQueuePriority(QueuePriority priority) {
  {
    std::lock_guard lock(mutex_);
    if (priority_ == priority) return;
    priority_ = priority;
  }
  // A queue holding the operation files it again under its new priority.
  notify("queuePriority");
}

std::string Operation::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

void Operation::setName(std::string name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

void Operation::waitUntilFinished() {
  std::unique_lock lock(mutex_);
  finishedCv_.wait(lock, [&] { return finished_; });
}

uint64_t Operation::addStateObserver(StateObserver observer) {
  std::lock_guard lock(mutex_);
  const uint64_t token = nextObserver_++;
  observers_.emplace_back(token, std::make_shared<StateObserver>(std::move(observer)));
  return token;
}

void Operation::removeStateObserver(uint64_t token) {
  std::shared_ptr<StateObserver> removed;  // released after the lock
  std::lock_guard lock(mutex_);
  auto it = std::find_if(observers_.begin(), observers_.end(), [&](const auto& o) { return o.first == token; });
  if (it == observers_.end()) return;
  removed = std::move(it->second);
  observers_.erase(it);
}

void Operation::notify(const std::string& key) {
  std::vector<std::shared_ptr<StateObserver>> observers;
  {
    std::lock_guard lock(mutex_);
    for (auto& [token, observer] : observers_) observers.push_back(observer);
  }
  // Observers may drop the last outside reference to this operation.
  auto keepAlive = self();
  for (auto& observer : observers) (*observer)(*this, key);
}

void Operation::setExecuting(bool executing) {
  {
    std::lock_guard lock(mutex_);
    if (executing_ == executing) return;
    executing_ = executing;
  }
  notify("isExecuting");
}

void Operation::setFinished(bool finished) {
  if (finished) finish(false);  // an operation does not come back from finished
}

const Operation* Operation::finishingAtEndOfStart() { return t_finishingAtEndOfStart; }

void Operation::finish(bool atEndOfStart) {
  std::function<void()> completion;
  std::vector<Weak<Operation>> dependents;
  {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    finished_ = true;
    completion = std::move(completion_);
    completion_ = nullptr;
    dependents.swap(dependents_);
  }
  auto keepAlive = self();
  finishedCv_.notify_all();
  {
    struct Mark {
      const Operation* saved = t_finishingAtEndOfStart;
      ~Mark() { t_finishingAtEndOfStart = saved; }
    } mark;
    t_finishingAtEndOfStart = atEndOfStart && !completion ? this : nullptr;
    notify("isFinished");
  }
  if (completion) detail::runGuarded(completion, "an operation's completion block");
  for (auto& weak : dependents) {
    if (auto dependent = weak.lock()) dependent->dependencyFinished();
  }
}

void Operation::dependencyFinished() {
  if (!isFinished() && isReady()) notify("isReady");
}

// ---- BlockOperation ------------------------------------------------------------------

Ref<BlockOperation> BlockOperation::create(std::function<void()> block) {
  auto operation = std::make_shared<BlockOperation>();
  if (block) operation->addExecutionBlock(std::move(block));
  return operation;
}

void BlockOperation::addExecutionBlock(std::function<void()> block) {
  if (isExecuting() || isFinished()) {
    raise(InvalidArgumentException,
          "-[BlockOperation addExecutionBlock:]: blocks cannot be added after the operation has started executing "
          "or finished");
  }
  std::lock_guard lock(blocksMutex_);
  blocks_.push_back(std::move(block));
}

size_t BlockOperation::executionBlockCount() const {
  std::lock_guard lock(blocksMutex_);
  return blocks_.size();
}

void BlockOperation::main() {
  std::vector<std::function<void()>> blocks;
  {
    std::lock_guard lock(blocksMutex_);
    blocks = blocks_;
  }
  if (blocks.empty()) return;
  auto group = Group::create();
  for (size_t i = 1; i < blocks.size(); ++i) group->async(Queue::global(), blocks[i]);
  detail::runGuarded(blocks[0], "a block operation");
  group->wait();
}

}  // namespace kit
