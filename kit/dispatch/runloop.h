// kit::RunLoop: the event loop of one thread. It runs in a mode and on each
// pass performs, in this order, the blocks handed to it, the signalled
// sources and the timers that are due, all of them only when registered for
// the mode it runs in (or for the common modes, when that mode is one of
// them). The main thread's run loop drives the main queue, timers, delayed
// performs, display links and animation completions.
//
// Every thread has one, created when first asked for (RunLoop::current()).
// A run loop is run only by its own thread; everything else (adding timers
// and sources, performing blocks, delayed performs, cancelling them, waking
// it, stopping it) may be called from any thread.
//
// Delayed performs are the platform's performSelector:withObject:afterDelay:
// keyed by target, name and argument:
//
//   kit::RunLoop::main().performAfter(this, "hideHud", nullptr, 1.0, [this] { hideHud(); });
//   kit::RunLoop::main().cancelPreviousPerformRequests(this, "hideHud", nullptr);
//
// The target is held weakly: when it is gone by the time the call falls due,
// the call is dropped, so a callback may capture the target's raw pointer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/clock_detail.h"
#include "kit/foundation/object.h"

namespace kit {

class Timer;
class RunLoopSource;

// Something a run loop's thread may watch while it waits, besides the loop's
// own work: a descriptor that turns readable when the watcher has work for
// that thread. The loop asks before each wait and reports after it, on its
// own thread, holding none of its locks; a watcher does its work in
// endWait() (which may add blocks, timers and sources to the loop). Used
// only on the real clock.
class RunLoopWaitWatch {
 public:
  virtual ~RunLoopWaitWatch() = default;
  // A descriptor to wait on in this wait as well, or -1.
  virtual int beginWait() = 0;
  // The wait that beginWait() returned a descriptor for ended; `ready`: the
  // descriptor turned readable.
  virtual void endWait(bool ready) = 0;
};

// The platform's mode names.
inline constexpr const char* DefaultRunLoopMode = "kCFRunLoopDefaultMode";
inline constexpr const char* CommonRunLoopModes = "kCFRunLoopCommonModes";
inline constexpr const char* TrackingRunLoopMode = "UITrackingRunLoopMode";

class RunLoop : public Object, public detail::ClockClient {
 public:
  enum class RunResult {
    HandledSource,  // the pass handled a block, a source or a timer
    TimedOut,       // nothing was handled before the time-out
    Stopped,        // stop() was called
  };

  // The main thread's run loop. The main thread is the process's first
  // thread unless another was declared before this was first called.
  static RunLoop& main();
  // The calling thread's run loop.
  static RunLoop& current();
  static bool isMainThread();
  // Makes the calling thread the main thread. Call it at start-up, before
  // the main run loop is first asked for; raises otherwise.
  static void declareMainThread();

  // Use main() / current().
  explicit RunLoop(std::thread::id owner);
  ~RunLoop() override;

  std::string description() const override;

  // ---- Modes
  // The mode of the innermost run in progress, "" when not running.
  std::string currentMode() const;
  bool isRunning() const;
  // Adds a mode to the set that CommonRunLoopModes stands for (initially
  // the default and the tracking modes).
  void addCommonMode(const std::string& mode);

  // ---- Timers and sources
  // Registers a timer in a mode; a timer belongs to one run loop (adding it
  // to another raises) but may be in several of its modes.
  void addTimer(const Ref<Timer>& timer, const std::string& mode = DefaultRunLoopMode);
  bool containsTimer(const Ref<Timer>& timer, const std::string& mode) const;
  void addSource(const Ref<RunLoopSource>& source, const std::string& mode = DefaultRunLoopMode);
  void removeSource(const Ref<RunLoopSource>& source);

  // ---- Blocks and delayed performs
  // Performs a block on the next pass in one of the modes, and wakes the
  // loop.
  void perform(std::function<void()> block, const std::string& mode = CommonRunLoopModes);
  // Calls `call` after `delay` seconds on a pass in one of `modes`, keyed by
  // target, name and argument for cancelling.
  void performAfter(const Object* target, const std::string& name, Id argument, double delay,
                    std::function<void()> call,
                    const std::vector<std::string>& modes = {DefaultRunLoopMode});
  // Cancels every pending perform of the target, or those whose name and
  // argument (compared with isEqual, nil matching nil) match.
  void cancelPreviousPerformRequests(const Object* target);
  void cancelPreviousPerformRequests(const Object* target, const std::string& name, const Id& argument);
  size_t pendingPerformCount(const Object* target) const;

  // ---- Running (the owning thread only; raises elsewhere)
  // One pass; when it handles nothing, waits up to `timeout` seconds of
  // kit::Clock for something to handle and makes one more pass.
  RunResult runOnce(const std::string& mode = DefaultRunLoopMode, double timeout = 0);
  // The same, with the wait bounded by real time, whatever the clock.
  RunResult runOnceWithRealTimeout(const std::string& mode, std::chrono::steady_clock::duration timeout);
  // Runs until the clock reaches `date` or stop() is called (at least one
  // pass, also for a date already past).
  void runUntilDate(double date, const std::string& mode = DefaultRunLoopMode);
  // Runs until `condition` holds or `timeout` clock seconds pass; returns
  // the condition.
  bool runUntil(const std::function<bool()>& condition, double timeout,
                const std::string& mode = DefaultRunLoopMode);
  // Runs in the default mode until stop() is called.
  void run();
  // Runs passes in the default mode until `finished` answers true, looked at
  // after each pass (wakeUp() ends a wait); stop() ends only the pass in
  // progress. A thread's own loop.
  void runUntilFinished(const std::function<bool()>& finished);
  // Makes the innermost run in progress (or the next one) return.
  void stop();
  // Ends a wait in progress so that the loop makes another pass.
  void wakeUp();
  bool isWaiting() const;
  // Adds a watcher asked at each of this loop's waits for as long as it
  // lives (held weakly).
  void addWaitWatch(std::weak_ptr<RunLoopWaitWatch> watch);

  // detail::ClockClient
  double nextDeadlineAfter(double time) override;
  bool fireDue(double now) override;
  void clockChanged() override { wakeUp(); }

 private:
  friend class Timer;
  struct TimerEntry;
  struct PerformKey;
  struct SourceEntry;
  struct Block {
    std::string mode;
    std::function<void()> fn;
  };

  void checkOwner(const char* what) const;
  bool modeMatches(const std::vector<std::string>& modes, const std::string& mode) const;
  RunResult runOnceUntil(const std::string& mode, double clockDeadline,
                         std::chrono::steady_clock::time_point realLimit);
  bool runPass(const std::string& mode);
  // Marks a run of several passes: between them the loop still counts as
  // running, so a virtual clock's advance hands it timers that fall due
  // then. What is handed when the run ends is let go.
  class MultiPassRun;
  bool performBlocks(const std::string& mode);
  bool performSources(const std::string& mode);
  bool fireTimers(const std::string& mode);
  bool hasWorkLocked(const std::string& mode) const;
  double wakeDeadlineLocked(const std::string& mode) const;
  // Wakes a waiting loop, on the condition variable or its descriptor.
  void signal();
  // A wait until `real` that the watchers take part in: false when none
  // had a descriptor to give (the loop then waits as usual). Called and
  // returns with `lock` held; lets it go meanwhile, so that the caller
  // looks at its work again either way.
  bool waitWithWatches(std::unique_lock<std::mutex>& lock, const std::string& mode,
                       std::chrono::steady_clock::time_point real);
  void removeTimer(const Timer* timer);
  void timerChanged();
  void cancelPerforms(const std::function<bool(const PerformKey&)>& matches);

  const std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<TimerEntry> timers_;
  std::vector<SourceEntry> sources_;
  std::vector<Block> blocks_;
  std::set<std::string> commonModes_;
  std::vector<std::string> modeStack_;
  int multiPassRuns_ = 0;
  std::vector<detail::FlightRef> handedFlights_;
  uint64_t timerGeneration_ = 0;
  uint64_t handedGeneration_ = ~uint64_t{0};
  uint64_t timerSequence_ = 0;
  int stopRequests_ = 0;
  bool wakeRequested_ = false;
  bool waiting_ = false;
  // Watchers of the loop's waits, and the descriptor that wakes a wait
  // on descriptors (made with the first watcher; -1 before).
  std::vector<std::weak_ptr<RunLoopWaitWatch>> waitWatches_;
  int wakeFd_ = -1;
  std::atomic<bool> fdWaiting_{false};
};

// A source signalled by hand: signal() marks it ready and wakes its run
// loop, which calls its perform callback on the next pass in one of the
// source's modes. A source is never performed re-entrantly: a run loop run
// from inside its callback skips it.
class RunLoopSource : public Object {
 public:
  static Ref<RunLoopSource> create(std::function<void()> perform);
  explicit RunLoopSource(std::function<void()> perform);

  // Marks the source ready and wakes its run loop.
  void signal();
  bool isSignalled() const { return signalled_.load(std::memory_order_acquire); }
  // Removes the source from its run loop for good.
  void invalidate();
  bool isValid() const { return valid_.load(); }

 private:
  friend class RunLoop;
  std::function<void()> perform_;
  std::atomic<bool> signalled_{false};
  std::atomic<bool> valid_{true};
  std::atomic<bool> performing_{false};
  std::mutex mutex_;
  Weak<RunLoop> loop_;
};

}  // namespace kit
