#include "kit/net/role_relief.h"

namespace kit::netdetail {

bool RoleRelief::runAway(const std::function<void()>& code) {
  uint64_t run;
  {
    std::lock_guard lock(mutex_);
    run = ++runs_;
    away_ = true;
    awaySince_ = Clock::now();
    if (asleep_) {
      asleep_ = false;
      wake_.notify_one();
    }
  }
  code();
  std::lock_guard lock(mutex_);
  // A thread that lost the role may come back while the new holder is away
  // in turn: only the latest run is watched.
  if (runs_ == run) away_ = false;
  return holdsRole();
}

bool RoleRelief::standBy() {
  std::unique_lock lock(mutex_);
  uint64_t runsSeen = runs_;
  int quietLooks = 0;
  for (;;) {
    if (stopped_) return false;
    if (away_) {
      const auto due = awaySince_ + limit_;
      if (Clock::now() < due) {
        // Whether this run or a later one: the look is at its own due time.
        wake_.wait_until(lock, due);
        continue;
      }
      ++takeOvers_;
      holder_.store(std::this_thread::get_id(), std::memory_order_release);
      return true;
    }
    quietLooks = runs_ == runsSeen ? quietLooks + 1 : 0;
    runsSeen = runs_;
    if (quietLooks < kQuietLooks) {
      wake_.wait_for(lock, limit_);
      continue;
    }
    asleep_ = true;
    wake_.wait(lock, [&] { return !asleep_ || stopped_; });
    quietLooks = 0;
    runsSeen = runs_;
  }
}

void RoleRelief::stop() {
  std::lock_guard lock(mutex_);
  stopped_ = true;
  asleep_ = false;
  wake_.notify_all();
}

uint64_t RoleRelief::takeOvers() const {
  std::lock_guard lock(mutex_);
  return takeOvers_;
}

bool RoleRelief::standByAsleep() const {
  std::lock_guard lock(mutex_);
  return asleep_;
}

}  // namespace kit::netdetail
