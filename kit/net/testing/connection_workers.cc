// The test server's growing worker pool. See connection_workers.h.
#include "kit/net/testing/connection_workers.h"

namespace kit::test {

ConnectionWorkers::ConnectionWorkers(std::function<void()> accepted) : accepted_(std::move(accepted)) {}

ConnectionWorkers::~ConnectionWorkers() { shutdown(); }

void ConnectionWorkers::enqueue(std::function<void()> connection) {
  if (accepted_) accepted_();
  std::lock_guard lock(mutex_);
  waiting_.push_back(std::move(connection));
  // Every waiting connection needs a worker of its own: a busy worker may
  // stay busy for the whole keep-alive time-out.
  if (waiting_.size() > idle_ && workers_.size() < kMaxWorkers) {
    workers_.emplace_back([this] { work(); });
  } else {
    ready_.notify_one();
  }
}

void ConnectionWorkers::shutdown() {
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    shuttingDown_ = true;
    workers.swap(workers_);
  }
  ready_.notify_all();
  for (auto& worker : workers) worker.join();
}

size_t ConnectionWorkers::workerCount() const {
  std::lock_guard lock(mutex_);
  return workers_.size();
}

void ConnectionWorkers::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    ready_.wait(lock, [&] { return !waiting_.empty() || shuttingDown_; });
    --idle_;
    // The waiting connections are served even when shutting down: serving
    // is what closes their sockets.
    if (waiting_.empty()) return;
    auto connection = std::move(waiting_.front());
    waiting_.pop_front();
    lock.unlock();
    connection();
    lock.lock();
  }
}

}  // namespace kit::test
