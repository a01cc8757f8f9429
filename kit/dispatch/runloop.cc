// The run loop: per-thread instances, passes over blocks, sources and
// timers, waiting on kit::Clock, and delayed performs.
#include "kit/dispatch/runloop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <sstream>

#include "kit/dispatch/guard.h"
#include "kit/dispatch/timer.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/no_destructor.h"

namespace kit {
namespace {

std::atomic<std::thread::id> g_mainThread{};

std::thread::id mainThreadId() {
  // Read on every main-thread check: a plain load once the thread is known.
  if (std::thread::id known = g_mainThread.load(std::memory_order_acquire); known != std::thread::id{}) return known;
  std::thread::id expected{};
  // The first caller records itself; static initialisation below makes that
  // the process's first thread.
  g_mainThread.compare_exchange_strong(expected, std::this_thread::get_id());
  return g_mainThread.load();
}

[[maybe_unused]] const bool g_mainThreadRecorded = (mainThreadId(), true);

std::atomic<RunLoop*> g_mainLoop{nullptr};

}  // namespace

struct RunLoop::PerformKey {
  const Object* target = nullptr;
  Weak<Object> weakTarget;
  bool heldWeakly = false;
  std::string name;
  Id argument;

  bool targetIs(const Object* other) const {
    return target == other && !(heldWeakly && weakTarget.expired());
  }
};

struct RunLoop::TimerEntry {
  Ref<Timer> timer;
  std::vector<std::string> modes;
  std::shared_ptr<PerformKey> perform;
  uint64_t sequence = 0;
};

struct RunLoop::SourceEntry {
  Ref<RunLoopSource> source;
  std::vector<std::string> modes;
};

// ---- Instances --------------------------------------------------------------

RunLoop& RunLoop::main() {
  // Lives for the whole process: tasks may reach it during exit.
  static NoDestructor<Ref<RunLoop>> holder([] {
    auto created = std::make_shared<RunLoop>(mainThreadId());
    detail::addClockClient(created);
    g_mainLoop.store(created.get());
    return created;
  }());
  return **holder;
}

RunLoop& RunLoop::current() {
  if (isMainThread()) return main();
  thread_local Ref<RunLoop> loop = [] {
    auto created = std::make_shared<RunLoop>(std::this_thread::get_id());
    detail::addClockClient(created);
    return created;
  }();
  return *loop;
}

bool RunLoop::isMainThread() { return std::this_thread::get_id() == mainThreadId(); }

void RunLoop::declareMainThread() {
  RunLoop* existing = g_mainLoop.load();
  if (existing && existing->owner_ != std::this_thread::get_id()) {
    raise(InternalInconsistencyException,
          "RunLoop::declareMainThread called after the main run loop was created on another thread");
  }
  g_mainThread.store(std::this_thread::get_id());
}

RunLoop::RunLoop(std::thread::id owner)
    : owner_(owner), commonModes_{DefaultRunLoopMode, TrackingRunLoopMode} {}

RunLoop::~RunLoop() {
  if (wakeFd_ >= 0) close(wakeFd_);
}

std::string RunLoop::description() const {
  std::ostringstream text;
  text << "<RunLoop " << (g_mainLoop.load() == this ? "main" : "thread") << " " << owner_ << ">";
  return text.str();
}

// ---- Modes ------------------------------------------------------------------

std::string RunLoop::currentMode() const {
  std::lock_guard lock(mutex_);
  return modeStack_.empty() ? std::string() : modeStack_.back();
}

bool RunLoop::isRunning() const {
  std::lock_guard lock(mutex_);
  return !modeStack_.empty();
}

void RunLoop::addCommonMode(const std::string& mode) {
  {
    std::lock_guard lock(mutex_);
    commonModes_.insert(mode);
    wakeRequested_ = true;
  }
  signal();
}

bool RunLoop::modeMatches(const std::vector<std::string>& modes, const std::string& mode) const {
  for (const auto& m : modes) {
    if (m == mode) return true;
    if (m == CommonRunLoopModes && commonModes_.count(mode)) return true;
  }
  return false;
}

// ---- Timers and sources -------------------------------------------------------

void RunLoop::addTimer(const Ref<Timer>& timer, const std::string& mode) {
  if (!timer) return;
  {
    std::lock_guard timerLock(timer->mutex_);
    auto owner = timer->loop_.lock();
    if (owner && owner.get() != this) {
      raise(InvalidArgumentException, "a timer can be added to one run loop only");
    }
    if (!timer->valid_) return;
    timer->loop_ = selfAs<RunLoop>();
  }
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(timers_.begin(), timers_.end(), [&](const TimerEntry& e) { return e.timer == timer; });
    if (it == timers_.end()) {
      timers_.push_back(TimerEntry{timer, {mode}, nullptr, timerSequence_++});
    } else if (std::find(it->modes.begin(), it->modes.end(), mode) == it->modes.end()) {
      it->modes.push_back(mode);
    }
    ++timerGeneration_;
    wakeRequested_ = true;
  }
  signal();
}

bool RunLoop::containsTimer(const Ref<Timer>& timer, const std::string& mode) const {
  std::lock_guard lock(mutex_);
  for (const auto& e : timers_) {
    if (e.timer == timer) return modeMatches(e.modes, mode);
  }
  return false;
}

void RunLoop::removeTimer(const Timer* timer) {
  std::vector<TimerEntry> removed;
  {
    std::lock_guard lock(mutex_);
    auto it = std::stable_partition(timers_.begin(), timers_.end(),
                                    [&](const TimerEntry& e) { return e.timer.get() != timer; });
    std::move(it, timers_.end(), std::back_inserter(removed));
    timers_.erase(it, timers_.end());
    ++timerGeneration_;
  }
  // `removed` is destroyed here, outside the lock: a timer's callback may
  // own objects whose destructors use this run loop.
}

void RunLoop::timerChanged() {
  {
    std::lock_guard lock(mutex_);
    ++timerGeneration_;
    wakeRequested_ = true;
  }
  signal();
}

void RunLoop::addSource(const Ref<RunLoopSource>& source, const std::string& mode) {
  if (!source) return;
  {
    std::lock_guard sourceLock(source->mutex_);
    auto owner = source->loop_.lock();
    if (owner && owner.get() != this) raise(InvalidArgumentException, "a source can be added to one run loop only");
    if (!source->valid_) return;
    source->loop_ = selfAs<RunLoop>();
  }
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(sources_.begin(), sources_.end(),
                           [&](const SourceEntry& e) { return e.source == source; });
    if (it == sources_.end()) {
      sources_.push_back(SourceEntry{source, {mode}});
    } else if (std::find(it->modes.begin(), it->modes.end(), mode) == it->modes.end()) {
      it->modes.push_back(mode);
    }
    wakeRequested_ = true;
  }
  signal();
}

void RunLoop::removeSource(const Ref<RunLoopSource>& source) {
  std::vector<SourceEntry> removed;
  {
    std::lock_guard lock(mutex_);
    auto it = std::stable_partition(sources_.begin(), sources_.end(),
                                    [&](const SourceEntry& e) { return e.source != source; });
    std::move(it, sources_.end(), std::back_inserter(removed));
    sources_.erase(it, sources_.end());
  }
}

// ---- Blocks and delayed performs -------------------------------------------------

void RunLoop::perform(std::function<void()> block, const std::string& mode) {
  if (!block) return;
  auto carried = detail::carryFlight(std::move(block));
  {
    std::lock_guard lock(mutex_);
    blocks_.push_back(Block{mode, std::move(carried)});
    wakeRequested_ = true;
  }
  signal();
}

void RunLoop::performAfter(const Object* target, const std::string& name, Id argument, double delay,
                           std::function<void()> call, const std::vector<std::string>& modes) {
  if (!call) return;
  auto key = std::make_shared<PerformKey>();
  key->target = target;
  if (target) {
    key->weakTarget = const_cast<Object*>(target)->weak_from_this();
    key->heldWeakly = !key->weakTarget.expired();
  }
  key->name = name;
  key->argument = std::move(argument);
  auto timer = std::make_shared<Timer>(std::max(delay, 0.0), false,
                                       [key, call = std::move(call)](Timer&) {
                                         if (!key->heldWeakly) {
                                           call();
                                           return;
                                         }
                                         // Keep the target alive for the call; drop the
                                         // call when the target is gone.
                                         if (auto alive = key->weakTarget.lock()) call();
                                       });
  {
    std::lock_guard timerLock(timer->mutex_);
    timer->loop_ = selfAs<RunLoop>();
  }
  {
    std::lock_guard lock(mutex_);
    timers_.push_back(TimerEntry{timer, modes.empty() ? std::vector<std::string>{DefaultRunLoopMode} : modes, key,
                                 timerSequence_++});
    ++timerGeneration_;
    wakeRequested_ = true;
  }
  signal();
}

void RunLoop::cancelPerforms(const std::function<bool(const PerformKey&)>& matches) {
  std::vector<TimerEntry> removed;
  {
    std::lock_guard lock(mutex_);
    auto it = std::stable_partition(timers_.begin(), timers_.end(), [&](const TimerEntry& e) {
      return !(e.perform && matches(*e.perform));
    });
    std::move(it, timers_.end(), std::back_inserter(removed));
    timers_.erase(it, timers_.end());
    ++timerGeneration_;
  }
  for (auto& e : removed) {
    e.timer->valid_ = false;
    e.timer->takeCallback();
  }
}

void RunLoop::cancelPreviousPerformRequests(const Object* target) {
  cancelPerforms([&](const PerformKey& key) { return key.targetIs(target); });
}

void RunLoop::cancelPreviousPerformRequests(const Object* target, const std::string& name, const Id& argument) {
  cancelPerforms([&](const PerformKey& key) {
    return key.targetIs(target) && key.name == name && kit::isEqual(key.argument, argument);
  });
}

size_t RunLoop::pendingPerformCount(const Object* target) const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::count_if(timers_.begin(), timers_.end(), [&](const TimerEntry& e) {
    return e.perform && e.perform->targetIs(target) && e.timer->isValid();
  }));
}

// ---- Running ------------------------------------------------------------------

void RunLoop::checkOwner(const char* what) const {
  if (std::this_thread::get_id() != owner_) {
    raise(InternalInconsistencyException, std::string(what) + ": a run loop can only be run by its own thread");
  }
}

RunLoop::RunResult RunLoop::runOnce(const std::string& mode, double timeout) {
  const double deadline = timeout >= Forever ? Forever : Clock::now() + std::max(timeout, 0.0);
  return runOnceUntil(mode, deadline, std::chrono::steady_clock::time_point::max());
}

RunLoop::RunResult RunLoop::runOnceWithRealTimeout(const std::string& mode,
                                                    std::chrono::steady_clock::duration timeout) {
  const auto now = std::chrono::steady_clock::now();
  const auto limit = timeout >= std::chrono::steady_clock::time_point::max() - now
                         ? std::chrono::steady_clock::time_point::max()
                         : now + timeout;
  return runOnceUntil(mode, Forever, limit);
}

class RunLoop::MultiPassRun {
 public:
  explicit MultiPassRun(RunLoop& loop) : loop_(loop) {
    std::lock_guard lock(loop_.mutex_);
    ++loop_.multiPassRuns_;
  }
  ~MultiPassRun() {
    std::vector<detail::FlightRef> unused;
    {
      std::lock_guard lock(loop_.mutex_);
      if (--loop_.multiPassRuns_ == 0 && loop_.modeStack_.empty()) unused.swap(loop_.handedFlights_);
    }
  }
  MultiPassRun(const MultiPassRun&) = delete;
  MultiPassRun& operator=(const MultiPassRun&) = delete;

 private:
  RunLoop& loop_;
};

void RunLoop::runUntilDate(double date, const std::string& mode) {
  MultiPassRun running(*this);
  // At least one pass, also for a date already past.
  do {
    if (runOnceUntil(mode, date, std::chrono::steady_clock::time_point::max()) == RunResult::Stopped) return;
  } while (Clock::now() < date);
}

bool RunLoop::runUntil(const std::function<bool()>& condition, double timeout, const std::string& mode) {
  MultiPassRun running(*this);
  const double deadline = timeout >= Forever ? Forever : Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() >= deadline) return condition();
    if (runOnceUntil(mode, deadline, std::chrono::steady_clock::time_point::max()) == RunResult::Stopped) {
      return condition();
    }
  }
  return true;
}

void RunLoop::runUntilFinished(const std::function<bool()>& finished) {
  MultiPassRun running(*this);
  while (!finished()) runOnceUntil(DefaultRunLoopMode, Forever, std::chrono::steady_clock::time_point::max());
}

void RunLoop::run() {
  MultiPassRun running(*this);
  while (runOnceUntil(DefaultRunLoopMode, Forever, std::chrono::steady_clock::time_point::max()) !=
         RunResult::Stopped) {
  }
}

void RunLoop::stop() {
  {
    std::lock_guard lock(mutex_);
    stopRequests_ = 1;
  }
  signal();
}

void RunLoop::wakeUp() {
  {
    std::lock_guard lock(mutex_);
    wakeRequested_ = true;
  }
  signal();
}

void RunLoop::signal() {
  cv_.notify_all();
  if (fdWaiting_.load()) eventfd_write(wakeFd_, 1);
}

void RunLoop::addWaitWatch(std::weak_ptr<RunLoopWaitWatch> watch) {
  std::lock_guard lock(mutex_);
  if (wakeFd_ < 0) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) return;
  }
  waitWatches_.push_back(std::move(watch));
}

bool RunLoop::waitWithWatches(std::unique_lock<std::mutex>& lock, const std::string& mode,
                              std::chrono::steady_clock::time_point real) {
  std::vector<std::shared_ptr<RunLoopWaitWatch>> live;
  for (auto it = waitWatches_.begin(); it != waitWatches_.end();) {
    if (auto watch = it->lock()) {
      live.push_back(std::move(watch));
      ++it;
    } else {
      it = waitWatches_.erase(it);
    }
  }
  if (live.empty()) return false;
  lock.unlock();
  std::vector<pollfd> fds{{wakeFd_, POLLIN, 0}};
  std::vector<RunLoopWaitWatch*> watching;
  for (const auto& watch : live) {
    const int fd = watch->beginWait();
    if (fd < 0) continue;
    fds.push_back({fd, POLLIN, 0});
    watching.push_back(watch.get());
  }
  auto endWaits = [&](size_t readyFrom) {
    for (size_t i = 0; i < watching.size(); ++i) {
      watching[i]->endWait(i >= readyFrom && (fds[i + 1].revents & (POLLIN | POLLERR | POLLHUP)) != 0);
    }
  };
  lock.lock();
  if (watching.empty()) return false;
  // Work that came while the watchers were asked ends the wait at once; a
  // post from now on finds fdWaiting_ set and writes the descriptor.
  if (stopRequests_ != 0 || wakeRequested_ || hasWorkLocked(mode)) {
    lock.unlock();
    endWaits(watching.size());
    lock.lock();
    return true;
  }
  fdWaiting_.store(true);
  waiting_ = true;
  lock.unlock();
  timespec timeout{};
  timespec* limit = nullptr;
  if (real != std::chrono::steady_clock::time_point::max()) {
    const auto left = std::max(real - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    timeout.tv_sec = static_cast<time_t>(seconds.count());
    timeout.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count());
    limit = &timeout;
  }
  if (ppoll(fds.data(), fds.size(), limit, nullptr) < 0) {
    for (auto& fd : fds) fd.revents = 0;
  }
  fdWaiting_.store(false);
  if (fds[0].revents & POLLIN) {
    eventfd_t drained;
    eventfd_read(wakeFd_, &drained);
  }
  lock.lock();
  waiting_ = false;
  lock.unlock();
  endWaits(0);
  lock.lock();
  return true;
}

bool RunLoop::isWaiting() const {
  std::lock_guard lock(mutex_);
  return waiting_;
}

RunLoop::RunResult RunLoop::runOnceUntil(const std::string& mode, double clockDeadline,
                                         std::chrono::steady_clock::time_point realLimit) {
  checkOwner("RunLoop::runOnce");
  {
    std::lock_guard lock(mutex_);
    modeStack_.push_back(mode);
  }
  struct PopMode {
    RunLoop* loop;
    ~PopMode() {
      std::lock_guard lock(loop->mutex_);
      loop->modeStack_.pop_back();
    }
  } popMode{this};

  auto takeStop = [this] {
    std::lock_guard lock(mutex_);
    if (stopRequests_ == 0) return false;
    stopRequests_ = 0;
    return true;
  };
  if (takeStop()) return RunResult::Stopped;

  bool handled = runPass(mode);
  if (!handled) {
    {
      std::unique_lock lock(mutex_);
      bool askWatches = !Clock::isVirtual();
      while (stopRequests_ == 0 && !wakeRequested_ && !hasWorkLocked(mode)) {
        const double wake = std::min(wakeDeadlineLocked(mode), clockDeadline);
        if (Clock::now() >= wake) break;
        const auto real = std::min(Clock::realDeadline(wake), realLimit);
        if (std::chrono::steady_clock::now() >= real) break;
        if (askWatches && !waitWatches_.empty()) {
          // Looked at again either way: the lock was let go meanwhile.
          if (!waitWithWatches(lock, mode, real)) askWatches = false;
          continue;
        }
        waiting_ = true;
        if (real == std::chrono::steady_clock::time_point::max()) {
          cv_.wait(lock);
        } else {
          cv_.wait_until(lock, real);
        }
        waiting_ = false;
      }
      wakeRequested_ = false;
    }
    handled = runPass(mode);
  }
  if (takeStop()) return RunResult::Stopped;
  return handled ? RunResult::HandledSource : RunResult::TimedOut;
}

bool RunLoop::hasWorkLocked(const std::string& mode) const {
  for (const auto& b : blocks_) {
    if (modeMatches({b.mode}, mode)) return true;
  }
  for (const auto& s : sources_) {
    if (s.source->isSignalled() && !s.source->performing_.load() && modeMatches(s.modes, mode)) return true;
  }
  return !handedFlights_.empty();
}

double RunLoop::wakeDeadlineLocked(const std::string& mode) const {
  double earliest = Forever;
  for (const auto& e : timers_) {
    if (!e.timer->isValid() || !modeMatches(e.modes, mode)) continue;
    std::lock_guard timerLock(e.timer->mutex_);
    earliest = std::min(earliest, e.timer->fireDate_ + e.timer->tolerance_);
  }
  return earliest;
}

bool RunLoop::runPass(const std::string& mode) {
  std::vector<detail::FlightRef> handed;
  {
    std::lock_guard lock(mutex_);
    handed.swap(handedFlights_);
  }
  // Under a virtual clock, what a pass starts is followed until it lands, so
  // that an advance waits for it.
  detail::FlightRef passFlight = handed.empty() ? detail::startFlight() : handed.back();
  detail::FlightScope scope(std::move(passFlight));
  bool handled = performBlocks(mode);
  handled = performSources(mode) || handled;
  handled = fireTimers(mode) || handled;
  return handled;
}

bool RunLoop::performBlocks(const std::string& mode) {
  std::vector<Block> ready;
  {
    std::lock_guard lock(mutex_);
    if (blocks_.empty()) return false;
    auto it = std::stable_partition(blocks_.begin(), blocks_.end(),
                                    [&](const Block& b) { return !modeMatches({b.mode}, mode); });
    std::move(it, blocks_.end(), std::back_inserter(ready));
    blocks_.erase(it, blocks_.end());
  }
  for (auto& block : ready) detail::runGuarded(block.fn, "a run loop block");
  return !ready.empty();
}

bool RunLoop::performSources(const std::string& mode) {
  std::vector<Ref<RunLoopSource>> ready;
  {
    std::lock_guard lock(mutex_);
    for (const auto& s : sources_) {
      if (s.source->isSignalled() && !s.source->performing_.load() && modeMatches(s.modes, mode)) {
        ready.push_back(s.source);
      }
    }
  }
  bool handled = false;
  for (auto& source : ready) {
    if (!source->isValid() || source->performing_.exchange(true)) continue;
    if (source->signalled_.exchange(false)) {
      handled = true;
      detail::runGuarded(source->perform_, "a run loop source");
    }
    source->performing_.store(false);
  }
  return handled;
}

bool RunLoop::fireTimers(const std::string& mode) {
  const double now = Clock::now();
  struct Due {
    double date;
    uint64_t sequence;
    Ref<Timer> timer;
  };
  std::vector<Due> due;
  {
    std::lock_guard lock(mutex_);
    for (const auto& e : timers_) {
      if (!e.timer->isValid() || !modeMatches(e.modes, mode)) continue;
      const double date = e.timer->fireDate();
      if (date <= now) due.push_back(Due{date, e.sequence, e.timer});
    }
  }
  std::sort(due.begin(), due.end(), [](const Due& a, const Due& b) {
    return a.date != b.date ? a.date < b.date : a.sequence < b.sequence;
  });
  bool handled = false;
  for (auto& d : due) handled = d.timer->fireFromLoop(now) || handled;
  return handled;
}

// ---- Virtual clock ------------------------------------------------------------

double RunLoop::nextDeadlineAfter(double time) {
  std::lock_guard lock(mutex_);
  double next = Forever;
  for (const auto& e : timers_) {
    if (!e.timer->isValid()) continue;
    const double date = e.timer->fireDate();
    if (date > time) next = std::min(next, date);
  }
  return next;
}

bool RunLoop::fireDue(double now) {
  // An advance on the main thread runs the main run loop itself.
  if (g_mainLoop.load() == this && isMainThread()) return false;
  {
    std::lock_guard lock(mutex_);
    if ((modeStack_.empty() && multiPassRuns_ == 0) || handedGeneration_ == timerGeneration_) return false;
    const bool anyDue = std::any_of(timers_.begin(), timers_.end(), [&](const TimerEntry& e) {
      return e.timer->isValid() && e.timer->fireDate() <= now;
    });
    if (!anyDue) return false;
    handedGeneration_ = timerGeneration_;
    handedFlights_.push_back(detail::startFlight());
    wakeRequested_ = true;
  }
  signal();
  return true;
}

// ---- RunLoopSource ------------------------------------------------------------

Ref<RunLoopSource> RunLoopSource::create(std::function<void()> perform) {
  return std::make_shared<RunLoopSource>(std::move(perform));
}

RunLoopSource::RunLoopSource(std::function<void()> perform) : perform_(std::move(perform)) {}

void RunLoopSource::signal() {
  // Already pending: the loop will see it. (The plain load first saves a
  // locked exchange on the common path of many signals per pass.)
  if (signalled_.load(std::memory_order_acquire) || signalled_.exchange(true, std::memory_order_acq_rel)) return;
  Ref<RunLoop> loop;
  {
    std::lock_guard lock(mutex_);
    loop = loop_.lock();
  }
  if (loop) loop->wakeUp();
}

void RunLoopSource::invalidate() {
  valid_ = false;
  Ref<RunLoop> loop;
  {
    std::lock_guard lock(mutex_);
    loop = loop_.lock();
  }
  if (loop) loop->removeSource(std::static_pointer_cast<RunLoopSource>(self()));
}

}  // namespace kit
