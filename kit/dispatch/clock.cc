// The clock: real and virtual time, the registry of deadline holders,
// flights, timed waits, and the virtual clock's stepping advance.
#include "kit/dispatch/clock.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "kit/dispatch/clock_detail.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/date.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"

namespace kit {
namespace {

double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Monotonic time that includes the time the machine slept.
double bootSeconds() {
#ifdef CLOCK_BOOTTIME
  timespec now{};
  if (clock_gettime(CLOCK_BOOTTIME, &now) == 0) return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
#endif
  return steadySeconds();
}

double systemSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Where monotonic time starts in every process: the real clock reads this
// when first read, and a virtual clock installed then starts a whole second
// after it. Time is the same on every machine, however long it has been up.
constexpr double kRealClockOrigin = 1000;

struct ClockState {
  std::atomic<bool> isVirtual{false};
  std::atomic<double> virtualNow{0};
  // Virtual wall time is virtualWallBase + (virtualNow - virtualNowBase) +
  // virtualSlept; virtual boot time is virtualNow + virtualBootBase +
  // virtualSlept.
  std::atomic<double> virtualWallBase{0};
  std::atomic<double> virtualNowBase{0};
  std::atomic<double> virtualBootBase{0};
  std::atomic<double> virtualSlept{0};
  // Real monotonic time is steady_clock + offset; the offset grows when a
  // virtual clock that ran ahead is removed, so that time never goes back.
  std::atomic<double> offset{kRealClockOrigin - steadySeconds()};
  // Real boot time is the system's boot time + bootOffset; it starts where
  // monotonic time starts and grows the same way when a virtual clock goes.
  std::atomic<double> bootOffset{kRealClockOrigin - bootSeconds()};
  std::atomic<bool> advancing{false};
  // The foundation's date clocks, handed back when the virtual clock goes.
  WallClockSource previousWall;
  MediaTimeSource previousMedia;
};

ClockState& state() {
  static NoDestructor<ClockState> s;
  return *s;
}

// ---- Clock clients --------------------------------------------------------

struct Clients {
  std::mutex mutex;
  std::vector<std::weak_ptr<detail::ClockClient>> list;
};

Clients& clients() {
  static NoDestructor<Clients> c;
  return *c;
}

std::vector<std::shared_ptr<detail::ClockClient>> liveClients() {
  std::vector<std::shared_ptr<detail::ClockClient>> live;
  std::lock_guard lock(clients().mutex);
  auto& list = clients().list;
  for (auto it = list.begin(); it != list.end();) {
    if (auto client = it->lock()) {
      live.push_back(std::move(client));
      ++it;
    } else {
      it = list.erase(it);
    }
  }
  return live;
}

void notifyClockChanged() {
  for (auto& client : liveClients()) client->clockChanged();
  detail::notifyClockWaiters(0, true);
}

// ---- Flight tracking --------------------------------------------------------

// Flights in the air (high 32 bits) and, of those, flights parked in a wait
// on the clock (low 32 bits), in one word so that they are read together.
std::atomic<uint64_t> g_flights{0};
constexpr uint64_t kOneFlight = uint64_t{1} << 32;
constexpr uint64_t kOneParked = 1;

// Left to the end of the process: worker threads may land flights during
// exit.
struct Landing {
  std::mutex mutex;
  std::condition_variable cv;
};
Landing& landing() {
  static NoDestructor<Landing> l;
  return *l;
}
std::atomic<int> g_advanceWaiting{0};
std::atomic<bool> g_advanceOnMain{false};

thread_local detail::Flight* t_flight = nullptr;

bool allLanded() {
  const uint64_t word = g_flights.load();
  return (word >> 32) == (word & 0xffffffffu);
}

// Wakes an advance waiting for flights once they have all landed.
void flightsChanged() {
  if (g_advanceWaiting.load() == 0 || !allLanded()) return;
  {
    std::lock_guard lock(landing().mutex);
    landing().cv.notify_all();
  }
  if (g_advanceOnMain.load()) RunLoop::main().wakeUp();
}

void park() { g_flights.fetch_add(kOneParked); flightsChanged(); }
void unpark() { g_flights.fetch_sub(kOneParked); }

// ---- Waiters --------------------------------------------------------------

struct WaitRecord {
  std::weak_ptr<detail::ClockWaitable> owner;
  const detail::ClockWaitable* ownerAddress = nullptr;
  double deadline = Forever;
  std::atomic<bool> parked{false};
};

struct Waiters {
  std::mutex mutex;
  std::vector<std::shared_ptr<WaitRecord>> list;
};

Waiters& waiters() {
  static NoDestructor<Waiters> w;
  return *w;
}

constexpr auto kQuiescenceLimit = std::chrono::seconds(10);
constexpr int kMaxRoundsPerInstant = 10000;

// Waits until every flight has landed or is parked on the clock. On the main
// thread the main run loop is run meanwhile (it is what lands flights bound
// for the main queue and main timers). True when the main run loop handled
// something.
bool waitForLanding() {
  const auto limit = std::chrono::steady_clock::now() + kQuiescenceLimit;
  bool handled = false;
  g_advanceWaiting.fetch_add(1);
  if (RunLoop::isMainThread()) {
    g_advanceOnMain.store(true);
    RunLoop& loop = RunLoop::main();
    std::string mode = loop.currentMode();
    if (mode.empty()) mode = DefaultRunLoopMode;
    for (;;) {
      if (loop.runOnceWithRealTimeout(mode, std::chrono::steady_clock::duration::zero()) ==
          RunLoop::RunResult::HandledSource) {
        handled = true;
        continue;
      }
      if (allLanded()) break;
      const auto now = std::chrono::steady_clock::now();
      if (now >= limit) {
        log("VirtualClock: work started by the clock did not finish within %d s; moving on",
            static_cast<int>(kQuiescenceLimit.count()));
        break;
      }
      if (loop.runOnceWithRealTimeout(mode, limit - now) == RunLoop::RunResult::HandledSource) handled = true;
    }
    g_advanceOnMain.store(false);
  } else {
    std::unique_lock lock(landing().mutex);
    if (!landing().cv.wait_until(lock, limit, allLanded)) {
      log("VirtualClock: work started by the clock did not finish within %d s; moving on",
          static_cast<int>(kQuiescenceLimit.count()));
    }
  }
  g_advanceWaiting.fetch_sub(1);
  return handled;
}

// Starts everything due at `now`, and what that starts, until nothing more
// is due at this instant.
void settleAt(double now) {
  for (int round = 0; round < kMaxRoundsPerInstant; ++round) {
    bool fired = false;
    for (auto& client : liveClients()) fired = client->fireDue(now) || fired;
    const bool handled = waitForLanding();
    if (!fired && !handled) return;
  }
  log("VirtualClock: work keeps falling due at %.6f; moving on", now);
}

double nextStepAfter(double time) {
  double next = detail::nextWaiterDeadlineAfter(time);
  for (auto& client : liveClients()) next = std::min(next, client->nextDeadlineAfter(time));
  return next;
}

// A deadline this close past the time an advance moves to counts as
// reached: the sum of a few steps (0.2 + 0.2) can round to a hair before the
// deadline that one step (0.4) gives, and the work due then must still run.
// A nanosecond, or a few units in the last place where the clock reads
// so high that a nanosecond is finer than a double can tell.
double sameInstantTolerance(double time) {
  const double ulp = std::nextafter(std::fabs(time), Forever) - std::fabs(time);
  return std::max(1e-9, 4 * ulp);
}

void setVirtualNow(double time) {
  state().virtualNow.store(time);
}

// Moves virtual time forward to `time` without starting anything.
void moveVirtualTo(double time) {
  const double from = state().virtualNow.load();
  if (time <= from) return;
  setVirtualNow(time);
  // Run loops waiting for a date and the scheduler's thread re-read the
  // clock; timed waits that reached their deadline end.
  for (auto& client : liveClients()) client->clockChanged();
  detail::notifyClockWaiters(time, false);
}

// Marks an advance in progress for its scope; raises when one already is.
class AdvanceScope {
 public:
  explicit AdvanceScope(const char* what) {
    if (state().advancing.exchange(true)) {
      raise(InternalInconsistencyException, std::string("VirtualClock::") + what +
                                                " called while the clock is advancing");
    }
  }
  ~AdvanceScope() { state().advancing.store(false); }
  AdvanceScope(const AdvanceScope&) = delete;
  AdvanceScope& operator=(const AdvanceScope&) = delete;
};

}  // namespace

// ---- Clock ------------------------------------------------------------------

double Clock::now() {
  if (state().isVirtual.load(std::memory_order_acquire)) return state().virtualNow.load();
  return steadySeconds() + state().offset.load();
}

double Clock::bootNow() {
  if (state().isVirtual.load(std::memory_order_acquire)) {
    return state().virtualNow.load() + state().virtualBootBase.load() + state().virtualSlept.load();
  }
  return bootSeconds() + state().bootOffset.load();
}

double Clock::wallNow() {
  if (state().isVirtual.load(std::memory_order_acquire)) {
    return state().virtualWallBase.load() + (state().virtualNow.load() - state().virtualNowBase.load()) +
           state().virtualSlept.load();
  }
  return systemSeconds();
}

bool Clock::isVirtual() { return state().isVirtual.load(std::memory_order_acquire); }

std::chrono::steady_clock::time_point Clock::realDeadline(double deadline) {
  using std::chrono::steady_clock;
  if (isVirtual() || deadline >= Forever) return steady_clock::time_point::max();
  const double fromEpoch = deadline - state().offset.load();
  if (fromEpoch <= 0) return steady_clock::time_point{};
  if (fromEpoch > 1e9) return steady_clock::time_point::max();
  return steady_clock::time_point(
      std::chrono::duration_cast<steady_clock::duration>(std::chrono::duration<double>(fromEpoch)));
}

// ---- VirtualClock -------------------------------------------------------------

VirtualClock::VirtualClock() : VirtualClock(systemSeconds()) {}

// A whole second to start from: the process's real clock starts at the
// same reading everywhere, so the first virtual clock of a test program
// starts at the same time on every machine.
VirtualClock::VirtualClock(double wallStart) : VirtualClock(wallStart, std::ceil(Clock::now())) {}

VirtualClock::VirtualClock(double wallStart, double start) {
  if (state().isVirtual.load()) raise(InternalInconsistencyException, "a virtual clock is already installed");
  state().virtualNow.store(start);
  state().virtualNowBase.store(start);
  state().virtualWallBase.store(wallStart);
  // Boot time goes on from the next whole second of the real one, so that
  // spans measured on it are as exact as those of monotonic time.
  state().virtualBootBase.store(std::ceil(Clock::bootNow()) - start);
  state().virtualSlept.store(0);
  state().isVirtual.store(true, std::memory_order_release);
  // Dates and media time follow the virtual clock too.
  state().previousWall = setWallClockSource([] { return Clock::wallNow(); });
  state().previousMedia = setMediaTimeSource([] { return Clock::now(); });
  notifyClockChanged();
}

VirtualClock::~VirtualClock() {
  const double reached = state().virtualNow.load();
  const double offset = std::max(state().offset.load(), reached - steadySeconds());
  state().offset.store(offset);
  const double bootReached = reached + state().virtualBootBase.load() + state().virtualSlept.load();
  state().bootOffset.store(std::max(state().bootOffset.load(), bootReached - bootSeconds()));
  state().isVirtual.store(false, std::memory_order_release);
  setWallClockSource(std::move(state().previousWall));
  setMediaTimeSource(std::move(state().previousMedia));
  notifyClockChanged();
}

double VirtualClock::now() const { return state().virtualNow.load(); }
double VirtualClock::wallNow() const { return Clock::wallNow(); }

void VirtualClock::advance(double seconds) { advanceTo(now() + std::max(seconds, 0.0)); }

void VirtualClock::advanceTo(double target) {
  AdvanceScope advancing("advance");
  settleAt(now());
  const double reach = target + sameInstantTolerance(target);
  for (;;) {
    const double next = nextStepAfter(now());
    if (next > reach) break;
    moveVirtualTo(next);
    settleAt(next);
  }
  moveVirtualTo(target);
  settleAt(now());
}

void VirtualClock::stall(double seconds) {
  AdvanceScope advancing("stall");
  settleAt(now());
  moveVirtualTo(now() + std::max(seconds, 0.0));
  settleAt(now());
}

void VirtualClock::sleep(double seconds) {
  AdvanceScope advancing("sleep");
  settleAt(now());
  state().virtualSlept.fetch_add(std::max(seconds, 0.0));
  settleAt(now());
}

namespace detail {

void addClockClient(const std::shared_ptr<ClockClient>& client) {
  std::lock_guard lock(clients().mutex);
  clients().list.push_back(client);
}

// ---- Flights ------------------------------------------------------------------

Flight::Flight() { g_flights.fetch_add(kOneFlight); }

Flight::~Flight() {
  g_flights.fetch_sub(kOneFlight);
  flightsChanged();
}

FlightRef startFlight() { return Clock::isVirtual() ? std::make_shared<Flight>() : nullptr; }

FlightRef childFlight() { return t_flight ? std::make_shared<Flight>() : nullptr; }

bool hasCurrentFlight() { return t_flight != nullptr; }

FlightScope::FlightScope(FlightRef flight) : flight_(std::move(flight)), saved_(t_flight) {
  if (flight_) t_flight = flight_.get();
}

FlightScope::~FlightScope() {
  t_flight = saved_;
  flight_.reset();
}

std::function<void()> carryFlight(std::function<void()> task) {
  if (!t_flight) return task;
  return [flight = childFlight(), task = std::move(task)]() mutable {
    FlightScope scope(std::move(flight));
    task();
  };
}

// ---- Timed waits ----------------------------------------------------------------

bool ClockWaitable::waitUntil(std::unique_lock<std::mutex>& lock, double deadline,
                              const std::function<bool()>& ready) {
  auto record = std::make_shared<WaitRecord>();
  record->owner = weak_from_this();
  record->ownerAddress = this;
  record->deadline = deadline;
  const bool flying = t_flight != nullptr;
  {
    std::lock_guard listLock(waiters().mutex);
    waiters().list.push_back(record);
  }
  bool result;
  for (;;) {
    if (ready()) {
      result = true;
      break;
    }
    if (Clock::now() >= deadline) {
      result = false;
      break;
    }
    // A waiting flight does not hold up an advance: it waits for the clock.
    if (flying && !record->parked.exchange(true)) park();
    const auto real = Clock::realDeadline(deadline);
    if (real == std::chrono::steady_clock::time_point::max()) {
      cv_.wait(lock);
    } else {
      cv_.wait_until(lock, real);
    }
  }
  if (record->parked.exchange(false)) unpark();
  {
    std::lock_guard listLock(waiters().mutex);
    auto& list = waiters().list;
    list.erase(std::remove(list.begin(), list.end(), record), list.end());
  }
  return result;
}

void ClockWaitable::notifyAll() {
  {
    // Woken flights count as running again from here, before they are
    // scheduled, so an advance cannot slip past them.
    std::lock_guard listLock(waiters().mutex);
    for (auto& record : waiters().list) {
      if (record->ownerAddress == this && record->parked.exchange(false)) unpark();
    }
  }
  cv_.notify_all();
}

void notifyClockWaiters(double now, bool all) {
  std::vector<std::shared_ptr<ClockWaitable>> owners;
  {
    std::lock_guard listLock(waiters().mutex);
    for (auto& record : waiters().list) {
      if (!all && record->deadline > now) continue;
      if (record->parked.exchange(false)) unpark();
      if (auto owner = record->owner.lock()) owners.push_back(std::move(owner));
    }
  }
  for (auto& owner : owners) {
    std::lock_guard lock(owner->mutex);
    owner->cv_.notify_all();
  }
}

double nextWaiterDeadlineAfter(double time) {
  std::lock_guard listLock(waiters().mutex);
  double next = Forever;
  for (auto& record : waiters().list) {
    if (record->deadline > time) next = std::min(next, record->deadline);
  }
  return next;
}

}  // namespace detail
}  // namespace kit
