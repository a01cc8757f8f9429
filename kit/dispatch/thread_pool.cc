// The global queues' worker threads.
#include "kit/dispatch/thread_pool.h"
#include "kit/foundation/no_destructor.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace kit::detail {
namespace {
constexpr auto kIdleExit = std::chrono::seconds(10);
}

ThreadPool& ThreadPool::shared() {
  static NoDestructor<ThreadPool> pool;  // its threads outlive static destruction
  return *pool;
}

ThreadPool::ThreadPool()
    : coreThreads_(std::max<size_t>(2, std::thread::hardware_concurrency())), maxThreads_(64) {}

size_t ThreadPool::threadCount() const {
  std::lock_guard lock(mutex_);
  return threads_;
}

void ThreadPool::submit(int priority, std::function<void()> job) {
  priority = std::clamp(priority, 0, kPriorities - 1);
  bool spawn = false;
  {
    std::lock_guard lock(mutex_);
    jobs_[priority].push_back(std::move(job));
    ++pending_;
    if (idle_ < pending_ && threads_ < maxThreads_) {
      ++threads_;
      spawn = true;
    }
  }
  if (spawn) {
    std::thread([this] {
      pthread_setname_np(pthread_self(), "kit.worker");
      workerMain();
    }).detach();
  } else {
    cv_.notify_one();
  }
}

void ThreadPool::workerMain() {
  std::unique_lock lock(mutex_);
  for (;;) {
    while (pending_ == 0) {
      ++idle_;
      const bool woke = cv_.wait_for(lock, kIdleExit, [&] { return pending_ > 0; });
      --idle_;
      if (!woke && threads_ > coreThreads_) {
        --threads_;
        return;
      }
    }
    std::function<void()> job;
    for (auto& jobs : jobs_) {
      if (!jobs.empty()) {
        job = std::move(jobs.front());
        jobs.pop_front();
        break;
      }
    }
    --pending_;
    lock.unlock();
    job();
    job = nullptr;  // captured state is released before the next wait
    lock.lock();
  }
}

}  // namespace kit::detail
