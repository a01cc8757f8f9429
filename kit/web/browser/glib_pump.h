// kit::GLibPump: how GLib's main context (where GTK and WebKit deliver
// their events) runs inside kit's main run loop.
//
// The direction is kit's loop dispatching GLib: kit::RunLoop::main() stays
// the one loop of the main thread (its blocks, timers and the virtual clock
// work as everywhere else), and GLib's default main context is one of its
// sources. The main thread owns the context for good and runs GLib's
// prepare, query, check and dispatch steps itself, on the passes of the run
// loop; while the run loop waits, a small poller thread waits on the file
// descriptors and the time-out that the last query gave, and signals the
// source when one of them is ready. GLib wakes that poller through its own
// wake-up descriptor when another thread (WebKit's I/O threads) adds work;
// work added on the main thread is seen because every call into GTK or
// WebKit ends with poke(), which makes the next pass query again.
//
// GLib's timers keep real time: a virtual clock moves kit's timers only,
// and a page's own timers run at the wall clock's pace.
//
// The source runs in the common modes and in WaitMode, the mode a caller
// that must wait for the page (a synchronous script) runs the loop in, so
// that nothing but GLib's events is handled meanwhile.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/no_destructor.h"

typedef struct _GMainContext GMainContext;

namespace kit {

class GLibPump {
 public:
  // The run loop mode that runs GLib's events and nothing else.
  static constexpr const char* WaitMode = "kit.GLibPumpWaitMode";

  // The pump of the main thread, started on first use (main thread only).
  static GLibPump& shared();

  // Asks for a pass over GLib's sources on the next run loop pass: call it
  // after calling into GTK or WebKit.
  void poke();
  // Runs the main run loop in WaitMode until `done` holds or `seconds` of
  // real time pass; returns `done()`.
  bool waitUntil(const std::function<bool()>& done, double seconds);

  GLibPump(const GLibPump&) = delete;
  GLibPump& operator=(const GLibPump&) = delete;

 private:
  friend class NoDestructor<GLibPump>;
  GLibPump();
  // Main thread: finishes the cycle in flight (check and dispatch), opens
  // the next (prepare and query) and hands its descriptors to the poller.
  void pump();
  void disarmPoller();
  void pollerMain();

  GMainContext* context_ = nullptr;
  Ref<RunLoopSource> source_;
  // The open cycle (main thread only).
  struct PollFd {
    int fd;
    unsigned short events, revents;
  };
  std::vector<PollFd> fds_;
  int maxPriority_ = 0;
  bool cycleOpen_ = false;
  bool dispatching_ = false;
  // Shared with the poller.
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<PollFd> armedFds_;
  int armedTimeout_ = -1;
  bool armed_ = false;
  bool polling_ = false;
  int wakeFd_ = -1;
  std::thread poller_;
};

}  // namespace kit
