// Internal: whether a thread that has just run out of work should spin a
// little before it blocks. Spinning saves a thread wake when the next piece
// of work comes within the window (an answer on loopback, a request that
// follows closely on the last one), and wastes the processor for the whole
// window when it does not (a caller busy for a while before its next
// request). The thread tells the policy how long each wait really was, spun
// or blocked, and spins only while recent waits have been short enough for
// spinning to pay off, as adaptive mutexes do.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>

namespace kit::netdetail {

class AdaptiveLinger {
 public:
  using Clock = std::chrono::steady_clock;

  explicit AdaptiveLinger(std::chrono::nanoseconds window) : window_(window) {}

  // The longest spin.
  std::chrono::nanoseconds window() const { return window_; }

  // Whether the next wait should start with a spin: recent waits ended
  // within the window more often than not. A new policy spins.
  bool worthSpinning() const { return score_.load(std::memory_order_relaxed) >= 0; }

  // How long a wait lasted, from running out of work to the next work
  // arriving, whether the thread spun or blocked meanwhile.
  void record(std::chrono::nanoseconds wait) {
    const int step = wait <= window_ ? 1 : -1;
    const int score = score_.load(std::memory_order_relaxed);
    score_.store(std::clamp(score + step, -kLimit, kLimit), std::memory_order_relaxed);
  }

 private:
  // How far the score runs either way: a long run of one kind of wait needs
  // this many of the other kind to change the decision, so one odd wait
  // does not.
  static constexpr int kLimit = 4;
  const std::chrono::nanoseconds window_;
  // Recorded by one thread at a time (the waiting thread, or the one that
  // ends the wait under the owner's lock); read by the waiting thread.
  std::atomic<int> score_{0};
};

}  // namespace kit::netdetail
