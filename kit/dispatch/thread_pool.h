// The worker threads behind the global queues: jobs are taken highest
// priority first. The pool starts threads as work arrives and none is idle
// (so a job that blocks waiting for another job does not starve it), up to a
// limit, and lets threads beyond the core count go after a while idle.
// Internal to kit/dispatch.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "kit/foundation/no_destructor.h"

namespace kit::detail {

class ThreadPool {
 public:
  static constexpr int kPriorities = 4;  // 0 is the highest

  static ThreadPool& shared();

  void submit(int priority, std::function<void()> job);
  size_t threadCount() const;

 private:
  friend class NoDestructor<ThreadPool>;
  ThreadPool();
  void workerMain();

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_[kPriorities];
  size_t pending_ = 0;
  size_t threads_ = 0;
  size_t idle_ = 0;
  const size_t coreThreads_;
  const size_t maxThreads_;
};

}  // namespace kit::detail
