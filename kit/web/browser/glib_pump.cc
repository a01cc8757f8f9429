// GLib's main context run by kit's main run loop. See glib_pump.h.
#include "kit/web/browser/glib_pump.h"

#include <glib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/log.h"

namespace kit {

static_assert(sizeof(GPollFD) == sizeof(pollfd) && offsetof(GPollFD, revents) == offsetof(pollfd, revents),
              "GPollFD is laid out as pollfd");

GLibPump& GLibPump::shared() {
  KIT_CHECK_MAIN_THREAD();
  static NoDestructor<GLibPump> pump;
  return *pump;
}

GLibPump::GLibPump() : context_(g_main_context_default()) {
  // The main thread owns the context from now on: GLib then wakes the
  // poller (through the context's wake-up descriptor) whenever another
  // thread adds a source.
  if (!g_main_context_acquire(context_)) log("GLibPump: another thread owns GLib's main context");
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  source_ = RunLoopSource::create([this] { pump(); });
  RunLoop::main().addSource(source_, CommonRunLoopModes);
  RunLoop::main().addSource(source_, WaitMode);
  poller_ = std::thread([this] { pollerMain(); });
  poller_.detach();
  source_->signal();
}

void GLibPump::poke() { source_->signal(); }

bool GLibPump::waitUntil(const std::function<bool()>& done, double seconds) {
  KIT_CHECK_MAIN_THREAD();
  if (dispatching_) {
    // GLib's own dispatch cannot be run again from inside it.
    log("GLibPump: a wait from inside GLib's dispatch cannot see GLib's events; not waiting");
    return done();
  }
  const auto limit = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
  poke();
  while (!done()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= limit) return done();
    RunLoop::main().runOnceWithRealTimeout(WaitMode, limit - now);
  }
  return true;
}

void GLibPump::pump() {
  if (dispatching_) return;
  disarmPoller();
  if (cycleOpen_) {
    // Fresh readiness for the descriptors of the open cycle, then GLib's
    // check and dispatch.
    poll(reinterpret_cast<pollfd*>(fds_.data()), fds_.size(), 0);
    g_main_context_check(context_, maxPriority_, reinterpret_cast<GPollFD*>(fds_.data()), static_cast<gint>(fds_.size()));
    cycleOpen_ = false;
    dispatching_ = true;
    g_main_context_dispatch(context_);
    dispatching_ = false;
  }
  // The next cycle.
  const bool readyNow = g_main_context_prepare(context_, &maxPriority_);
  gint timeout = -1;
  if (fds_.size() < 8) fds_.resize(8);
  for (;;) {
    const gint needed = g_main_context_query(context_, maxPriority_, &timeout,
                                             reinterpret_cast<GPollFD*>(fds_.data()), static_cast<gint>(fds_.size()));
    if (needed <= static_cast<gint>(fds_.size())) {
      fds_.resize(static_cast<size_t>(needed));
      break;
    }
    fds_.resize(static_cast<size_t>(needed));
  }
  cycleOpen_ = true;
  if (readyNow || timeout == 0) {
    // Something is due already: dispatch it on the next pass.
    source_->signal();
    return;
  }
  std::lock_guard lock(mutex_);
  armedFds_ = fds_;
  armedTimeout_ = timeout;
  armed_ = true;
  cv_.notify_all();
}

void GLibPump::disarmPoller() {
  std::unique_lock lock(mutex_);
  if (polling_) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
    cv_.wait(lock, [this] { return !polling_; });
  }
  armed_ = false;
}

void GLibPump::pollerMain() {
  std::vector<pollfd> fds;
  for (;;) {
    int timeout;
    {
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [this] { return armed_; });
      fds.assign(reinterpret_cast<const pollfd*>(armedFds_.data()),
                 reinterpret_cast<const pollfd*>(armedFds_.data()) + armedFds_.size());
      timeout = armedTimeout_;
      // A wake-up written for an earlier cycle is stale: the main thread
      // writes one only while `polling_` is set.
      uint64_t stale;
      [[maybe_unused]] ssize_t drained = read(wakeFd_, &stale, sizeof stale);
      polling_ = true;
    }
    fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    int result;
    do {
      result = poll(fds.data(), fds.size(), timeout);
    } while (result < 0 && errno == EINTR);
    const bool interrupted = fds.back().revents & POLLIN;
    {
      std::lock_guard lock(mutex_);
      polling_ = false;
      armed_ = false;
      cv_.notify_all();
    }
    // A descriptor is ready or the time-out came due: the main thread
    // dispatches on its next pass. (An interruption came from the main
    // thread, which is pumping already.)
    if (!interrupted) source_->signal();
  }
}

}  // namespace kit
