// Internal: whether a thread that has just run out of work should spin a
// little before it blocks. Spinning saves a thread wake when the next piece
// of work comes within the window (an answer on loopback, a request that
// follows closely on the last one), and wastes the processor for the whole
// window when it does not (a caller busy for a while before its next
// request). The thread tells the policy how long each wait really was, spun
// or blocked, and spins only while recent waits have been short enough for
// spinning to pay off, as adaptive mutexes do.
//
// How long a spin may last depends on what a wake costs, and that differs
// by machines a hundredfold: a few microseconds on a bare processor, tens
// in a virtual machine, where waking an idle processor goes through the
// hypervisor. WakeLatency measures it where the thread runs.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>

namespace kit::netdetail {

class AdaptiveLinger {
 public:
  using Clock = std::chrono::steady_clock;

  // `missWeight`: how many waits within the window one longer wait
  // outweighs. 1 spins while more than half the waits end within the
  // window; 3 only while more than three in four do, for a spin that
  // saves less than a miss wastes.
  explicit AdaptiveLinger(std::chrono::nanoseconds window, int missWeight = 1)
      : window_(window.count()), missWeight_(missWeight) {}

  // The longest spin.
  std::chrono::nanoseconds window() const { return std::chrono::nanoseconds(window_.load(std::memory_order_relaxed)); }
  // Waits recorded from now on are told apart by the new window.
  void setWindow(std::chrono::nanoseconds window) { window_.store(window.count(), std::memory_order_relaxed); }

  // Whether the next wait should start with a spin: recent waits ended
  // within the window more often than not. A new policy spins.
  bool worthSpinning() const { return score_.load(std::memory_order_relaxed) >= 0; }

  // How long a wait lasted, from running out of work to the next work
  // arriving, whether the thread spun or blocked meanwhile.
  void record(std::chrono::nanoseconds wait) {
    const int step = wait <= window() ? 1 : -missWeight_;
    const int score = score_.load(std::memory_order_relaxed);
    score_.store(std::clamp(score + step, -kLimit, kLimit), std::memory_order_relaxed);
  }

 private:
  // How far the score runs either way: a long run of one kind of wait needs
  // this many of the other kind to change the decision, so one odd wait
  // does not.
  static constexpr int kLimit = 4;
  std::atomic<std::chrono::nanoseconds::rep> window_;
  const int missWeight_;
  // Recorded by one thread at a time (the waiting thread, or the one that
  // ends the wait under the owner's lock); read by the waiting thread.
  std::atomic<int> score_{0};
};

// How long a blocked thread takes to run again once woken, from the waker's
// call to the thread's return from its wait: the median of the last few
// wakes, so that a wake that found the processor busy for a while, or one
// that raced with the wait ending on its own, does not move it. Recorded
// and read by one thread at a time.
class WakeLatency {
 public:
  explicit WakeLatency(std::chrono::nanoseconds initial) { samples_.fill(initial); }

  void record(std::chrono::nanoseconds latency) {
    samples_[next_] = std::max(latency, std::chrono::nanoseconds(0));
    next_ = (next_ + 1) % kSamples;
  }

  std::chrono::nanoseconds median() const {
    auto sorted = samples_;
    std::nth_element(sorted.begin(), sorted.begin() + kSamples / 2, sorted.end());
    return sorted[kSamples / 2];
  }

 private:
  static constexpr size_t kSamples = 15;
  std::array<std::chrono::nanoseconds, kSamples> samples_;
  size_t next_ = 0;
};

}  // namespace kit::netdetail
