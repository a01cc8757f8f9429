// The delay scheduler's thread and its virtual-clock stepping.
#include "kit/dispatch/scheduler.h"

#include <algorithm>
#include <limits>
#include <thread>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/guard.h"
#include "kit/foundation/no_destructor.h"

namespace kit::detail {

DelayScheduler& DelayScheduler::shared() {
  // Lives for the whole process; its thread never exits.
  static NoDestructor<std::shared_ptr<DelayScheduler>> holder([] {
    std::shared_ptr<DelayScheduler> created(new DelayScheduler());
    addClockClient(created);
    return created;
  }());
  return **holder;
}

DelayScheduler::Handle DelayScheduler::schedule(double due, double leeway, std::function<void()> fire) {
  Handle handle;
  {
    std::lock_guard lock(mutex_);
    handle = nextHandle_++;
    entries_.emplace(Key{due, handle}, Entry{std::max(leeway, 0.0), std::move(fire), nullptr});
    dueOf_.emplace(handle, due);
    changed_ = true;
    if (!threadStarted_) {
      threadStarted_ = true;
      std::thread([this] { threadMain(); }).detach();
    }
  }
  cv_.notify_all();
  return handle;
}

bool DelayScheduler::cancel(Handle handle) {
  std::function<void()> dropped;  // destroyed outside the lock
  std::lock_guard lock(mutex_);
  auto it = dueOf_.find(handle);
  if (it == dueOf_.end()) return false;
  auto entry = entries_.find(Key{it->second, handle});
  if (entry != entries_.end()) {
    dropped = std::move(entry->second.fire);
    entries_.erase(entry);
  }
  dueOf_.erase(it);
  return true;
}

size_t DelayScheduler::pendingCount() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::vector<DelayScheduler::Entry> DelayScheduler::takeDueLocked(double now) {
  std::vector<Entry> due;
  while (!entries_.empty() && entries_.begin()->first.first <= now) {
    auto node = entries_.extract(entries_.begin());
    dueOf_.erase(node.key().second);
    // Taken under the lock, so that an advance that finds nothing left to
    // fire still sees these flights in the air.
    node.mapped().flight = startFlight();
    due.push_back(std::move(node.mapped()));
  }
  return due;
}

void DelayScheduler::run(std::vector<Entry>& due) {
  for (auto& entry : due) {
    FlightScope scope(std::move(entry.flight));
    runGuarded(entry.fire, "a delayed call");
    entry.fire = nullptr;
  }
}

void DelayScheduler::threadMain() {
  std::unique_lock lock(mutex_);
  for (;;) {
    auto due = takeDueLocked(Clock::now());
    if (!due.empty()) {
      lock.unlock();
      run(due);
      due.clear();
      lock.lock();
      continue;
    }
    double wake = Forever;
    for (const auto& [key, entry] : entries_) wake = std::min(wake, key.first + entry.leeway);
    changed_ = false;
    const auto real = Clock::realDeadline(wake);
    if (real == std::chrono::steady_clock::time_point::max()) {
      cv_.wait(lock, [&] { return changed_; });
    } else {
      cv_.wait_until(lock, real, [&] { return changed_; });
    }
  }
}

double DelayScheduler::nextDeadlineAfter(double time) {
  std::lock_guard lock(mutex_);
  auto it = entries_.upper_bound(Key{time, std::numeric_limits<Handle>::max()});
  return it == entries_.end() ? Forever : it->first.first;
}

bool DelayScheduler::fireDue(double now) {
  std::vector<Entry> due;
  {
    std::lock_guard lock(mutex_);
    due = takeDueLocked(now);
  }
  run(due);
  return !due.empty();
}

void DelayScheduler::clockChanged() {
  {
    std::lock_guard lock(mutex_);
    changed_ = true;
  }
  cv_.notify_all();
}

}  // namespace kit::detail
