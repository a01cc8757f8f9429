// kit::MemoryPressureMonitor: turns the system's reports of memory pressure
// into the application's memory warning (Application::receiveMemoryWarning,
// on the main thread), as the platform sends it when memory runs low.
//
// Linux reports pressure on a descriptor that a thread of the monitor's
// own waits on. The system is asked in this order, and the first that
// takes the request is watched:
//
//   the process's cgroup (v2)   a pressure-stall trigger written to its
//                               "memory.pressure"; the descriptor turns
//                               POLLPRI when tasks stalled on memory for
//                               PressureStallMicroseconds of a window of
//                               PressureWindowMicroseconds
//   the process's cgroup (v1)   an eventfd registered through
//                               "cgroup.event_control" for the "medium"
//                               level of "memory.pressure_level"; it turns
//                               readable
//   the whole system            the same trigger on "/proc/pressure/memory"
//
// Reports that come while a warning waits for the main thread are merged
// into it. A pressure-stall trigger reports at most once per window.
//
//   auto monitor = kit::MemoryPressureMonitor::startWatchingSystem();
//   if (!monitor) kit::log("%s", kit::MemoryPressureMonitor::lastRefusal());
//
// Tests watch a descriptor of their own (an eventfd they write to), or
// point the system's files at a folder of their own.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "kit/foundation/expected.h"
#include "kit/foundation/object.h"

namespace kit {

class MemoryPressureMonitor : public Object {
  struct Passkey {};

 public:
  // The pressure-stall trigger: stalls of 200 ms within 2 s (windows of
  // whole 2 s are what the kernel lets an unprivileged process ask for).
  static constexpr long PressureStallMicroseconds = 200000;
  static constexpr long PressureWindowMicroseconds = 2000000;

  // Where the system's answers are read; tests point them elsewhere.
  struct SystemFiles {
    std::string cgroup = "/proc/self/cgroup";
    std::string mountInfo = "/proc/self/mountinfo";
    std::string pressure = "/proc/pressure/memory";
  };

  // The process's cgroup folders, from /proc/self/cgroup and
  // /proc/self/mountinfo: empty when the hierarchy is not mounted or the
  // process is in none.
  struct CgroupFolders {
    std::string unified;  // cgroup v2
    std::string memory;   // the v1 memory controller
  };
  static CgroupFolders cgroupFolders(std::string_view cgroupText, std::string_view mountInfoText);

  // Watches the first source above that takes the request; nil when none
  // does (lastRefusal() then says why, for each). Without files given, the
  // default ones (the system's, unless a test set others).
  static Ref<MemoryPressureMonitor> startWatchingSystem();
  static Ref<MemoryPressureMonitor> startWatchingSystem(const SystemFiles& files);
  static std::string lastRefusal();
  static SystemFiles defaultSystemFiles();
  static void setDefaultSystemFiles(SystemFiles files);

  // Watches `descriptor` (the monitor owns it and closes it) for `events`
  // (POLLPRI for a pressure-stall trigger, POLLIN for an eventfd, whose
  // count is read back). Every report calls `onPressure` on the main
  // thread; the default sends the application its memory warning.
  static Ref<MemoryPressureMonitor> startWatching(int descriptor, short events, std::string source,
                                                  std::function<void()> onPressure = {});

  MemoryPressureMonitor(Passkey, int descriptor, short events, std::string source, std::function<void()> onPressure);
  ~MemoryPressureMonitor() override;

  // What is watched, as the log says it ("cgroup /sys/fs/cgroup/app/memory.pressure").
  const std::string& source() const { return source_; }
  // Warnings delivered on the main thread so far.
  size_t warningsDelivered() const { return delivered_.load(); }
  // Whether the source still reports (it stops when its descriptor fails,
  // as when its cgroup is removed).
  bool isWatching() const { return watching_.load(); }
  // Stops watching and waits for the thread; later reports are dropped.
  void stop();

 private:
  static Expected<int> openTrigger(const std::string& path);
  static Expected<int> registerLevelEvent(const std::string& folder);
  void watch();
  void report();

  const int descriptor_;
  const short events_;
  const std::string source_;
  const std::function<void()> onPressure_;
  int wake_ = -1;
  Weak<MemoryPressureMonitor> weakThis_;
  std::thread thread_;
  std::atomic<bool> watching_{true};
  std::atomic<bool> stopped_{false};
  std::atomic<bool> pending_{false};
  std::atomic<size_t> delivered_{0};
};

}  // namespace kit
