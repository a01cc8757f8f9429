// The delay scheduler: one thread that holds every deadline of the queues
// (after calls, timer sources) and hands the work on when it falls due.
// Under a virtual clock an advance fires the due entries itself, in due
// order, so that the time they see is exact. Internal to kit/dispatch.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kit/dispatch/clock_detail.h"

namespace kit::detail {

class DelayScheduler : public ClockClient {
 public:
  using Handle = uint64_t;

  static DelayScheduler& shared();

  // Calls `fire` once kit::Clock reaches `due`, or up to `leeway` seconds
  // later when that lets several entries share one wake-up. `fire` runs on
  // the scheduler's thread (or the thread advancing a virtual clock) and
  // should only hand work on, such as posting it to a queue.
  Handle schedule(double due, double leeway, std::function<void()> fire);
  // False when the entry already fired or was cancelled.
  bool cancel(Handle handle);
  size_t pendingCount() const;

  double nextDeadlineAfter(double time) override;
  bool fireDue(double now) override;
  void clockChanged() override;

 private:
  struct Entry {
    double leeway = 0;
    std::function<void()> fire;
    FlightRef flight;
  };
  using Key = std::pair<double, Handle>;

  DelayScheduler() = default;
  void threadMain();
  std::vector<Entry> takeDueLocked(double now);
  static void run(std::vector<Entry>& due);

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::map<Key, Entry> entries_;
  std::unordered_map<Handle, double> dueOf_;
  Handle nextHandle_ = 1;
  bool threadStarted_ = false;
  bool changed_ = false;
};

}  // namespace kit::detail
