// Internal: a thread's role (the network thread's: the one thread that may
// touch a session's transfers) kept going while its holder runs code that
// may not return promptly, such as a caller's completion handler.
//
// The holder runs such code through runAway(). A second thread stands by
// meanwhile; should the code hold the thread past the limit, it takes the
// role over and carries on the work. The first thread, once the code
// returns, learns that it lost the role and stands by in turn. So code that
// blocks, even on something that needs the role's own work (another request
// of the same session), delays that work by about the limit and no more.
//
// Standing by costs a timed wait every limit while code runs away now and
// then, and nothing once it has not for a while.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace kit::netdetail {

class RoleRelief {
 public:
  using Clock = std::chrono::steady_clock;

  explicit RoleRelief(Clock::duration limit) : limit_(limit) {}
  RoleRelief(const RoleRelief&) = delete;
  RoleRelief& operator=(const RoleRelief&) = delete;

  // The calling thread takes the role (the first holder, before any other
  // thread stands by).
  void claim() { holder_.store(std::this_thread::get_id(), std::memory_order_release); }
  bool holdsRole() const { return holder_.load(std::memory_order_acquire) == std::this_thread::get_id(); }

  // The holder: runs `code`. Returns whether the thread still holds the role
  // afterwards; if not, it must leave the role's work alone and stand by.
  bool runAway(const std::function<void()>& code);

  // A thread without the role: waits until it takes the role over (true),
  // or until stop() (false).
  bool standBy();

  // No take-over from now on; a thread standing by returns false.
  void stop();

  // For tests: how many times the role was taken over, and whether a
  // thread standing by sleeps until the next run.
  uint64_t takeOvers() const;
  bool standByAsleep() const;

 private:
  // Quiet looks (no code run away since the last) before a standing-by
  // thread sleeps until the next run.
  static constexpr int kQuietLooks = 8;

  const Clock::duration limit_;
  std::atomic<std::thread::id> holder_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  // The latest run, and whether it goes on.
  bool away_ = false;
  Clock::time_point awaySince_;
  uint64_t runs_ = 0;
  bool asleep_ = false;  // the stand-by sleeps until the next run
  bool stopped_ = false;
  uint64_t takeOvers_ = 0;
};

}  // namespace kit::netdetail
