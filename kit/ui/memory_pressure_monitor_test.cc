// The memory-pressure monitor: a report on the watched descriptor becomes
// the application's memory warning on the main thread, reports that come
// together are merged, a stopped or released monitor delivers nothing, a
// source that goes away stops the watch; the system's sources are found
// from the process's cgroup files and asked in order (driven here through
// a folder that stands for /proc and /sys/fs/cgroup).
#include "kit/ui/memory_pressure_monitor.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <thread>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/notification_center.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "kit/ui/application.h"

namespace kit {
namespace {

// Counts the application's memory warnings and whether each came on the
// main thread.
class WarningCounter {
 public:
  WarningCounter() {
    observer_ = NotificationCenter::defaultCenter()->addObserverForName(
        ApplicationDidReceiveMemoryWarningNotification, nullptr, [this](const Ref<Notification>&) {
          ++count;
          if (!RunLoop::isMainThread()) offMain = true;
        });
  }
  ~WarningCounter() { NotificationCenter::defaultCenter()->removeObserver(observer_); }

  std::atomic<int> count{0};
  std::atomic<bool> offMain{false};

 private:
  Id observer_;
};

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Lets the main queue run what is already on it, so that a delivery that
// should not happen would have happened.
void drainMainQueue() {
  bool reached = false;
  Queue::main().async([&] { reached = true; });
  ASSERT_TRUE(test::runUntil([&] { return reached; }));
}

TEST(MemoryPressureMonitor, AReportBecomesTheApplicationsMemoryWarningOnTheMainThreadAndReportsTogetherMerge) {
  WarningCounter warnings;
  const int event = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  ASSERT_GE(event, 0);
  const int writer = ::dup(event);
  auto monitor = MemoryPressureMonitor::startWatching(event, POLLIN, "test eventfd");
  ASSERT_TRUE(monitor);
  EXPECT_EQ(monitor->source(), "test eventfd");
  EXPECT_TRUE(monitor->isWatching());

  ::eventfd_write(writer, 1);
  ASSERT_TRUE(test::runUntil([&] { return warnings.count == 1; }));
  EXPECT_EQ(monitor->warningsDelivered(), 1u);

  // Five reports while the main thread is busy: at most one warning waits
  // for it, and at least one comes.
  for (int i = 0; i < 5; ++i) ::eventfd_write(writer, 1);
  ASSERT_TRUE(test::runUntil([&] { return warnings.count >= 2; }));
  drainMainQueue();
  EXPECT_LE(warnings.count, 6);
  EXPECT_EQ(static_cast<int>(monitor->warningsDelivered()), warnings.count.load());
  EXPECT_FALSE(warnings.offMain);

  // Stopped: reports are no longer heard.
  monitor->stop();
  EXPECT_FALSE(monitor->isWatching());
  const int before = warnings.count;
  ::eventfd_write(writer, 1);
  drainMainQueue();
  EXPECT_EQ(warnings.count, before);
  ::close(writer);
}

// The bytes a pipe holds, read through a descriptor of its read end.
int pendingBytes(int reader) {
  int bytes = 0;
  return ::ioctl(reader, FIONREAD, &bytes) == 0 ? bytes : -1;
}

// Waits, without running the main thread's loop, until `condition` holds:
// what the monitor's thread does meanwhile cannot be delivered yet.
bool waitOffTheMainLoop(const std::function<bool()>& condition) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::yield();
  }
  return true;
}

// Reports heard one at a time while the main thread is busy: the first
// waits for it and the others merge into that one warning. A report heard
// before stop() is dropped with the later ones.
TEST(MemoryPressureMonitor, ReportsHeardWhileAWarningWaitsMergeIntoItAndStopDropsAWaitingOne) {
  std::atomic<int> calls{0};
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
  const int reader = ::dup(ends[0]);
  auto monitor = MemoryPressureMonitor::startWatching(ends[0], POLLIN, "merging", [&] { ++calls; });
  ASSERT_TRUE(monitor);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(::write(ends[1], "x", 1), 1);
    ASSERT_TRUE(waitOffTheMainLoop([&] { return pendingBytes(reader) == 0; })) << "report " << i << " never read";
  }
  // The writer goes: the watch ends once the last report is handled.
  ::close(ends[1]);
  ASSERT_TRUE(waitOffTheMainLoop([&] { return !monitor->isWatching(); }));
  EXPECT_EQ(calls, 0) << "delivered off the main thread";
  drainMainQueue();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(monitor->warningsDelivered(), 1u);

  // A report heard, its warning waiting for the main thread, then stop().
  ASSERT_EQ(::pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
  const int secondReader = ::dup(ends[0]);
  auto stopped = MemoryPressureMonitor::startWatching(ends[0], POLLIN, "stopped", [&] { ++calls; });
  ASSERT_TRUE(stopped);
  ASSERT_EQ(::write(ends[1], "x", 1), 1);
  ASSERT_TRUE(waitOffTheMainLoop([&] { return pendingBytes(secondReader) == 0; }));
  stopped->stop();  // waits for the thread, which has sent the warning on
  drainMainQueue();
  EXPECT_EQ(calls, 1) << "a warning was delivered after stop()";
  EXPECT_EQ(stopped->warningsDelivered(), 0u);
  for (int fd : {reader, secondReader, ends[1]}) ::close(fd);
}

TEST(MemoryPressureMonitor, AReleasedMonitorDeliversNothingAndASourceThatGoesAwayEndsTheWatch) {
  WarningCounter warnings;
  std::atomic<int> calls{0};
  const int event = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  const int writer = ::dup(event);
  auto monitor = MemoryPressureMonitor::startWatching(event, POLLIN, "released", [&] { ++calls; });
  ASSERT_TRUE(monitor);
  ::eventfd_write(writer, 1);
  // Let go before the main thread ran the delivery (or after: either way
  // the handler runs at most once and the application hears nothing).
  monitor.reset();
  drainMainQueue();
  EXPECT_LE(calls, 1);
  EXPECT_EQ(warnings.count, 0) << "a handler of its own replaces the application's warning";
  ::close(writer);

  // A pipe whose writer closes: the watch ends and says so.
  int pipeEnds[2];
  ASSERT_EQ(::pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC), 0);
  auto pipeWatch = MemoryPressureMonitor::startWatching(pipeEnds[0], POLLIN, "pipe", [&] { ++calls; });
  ASSERT_TRUE(pipeWatch);
  ::close(pipeEnds[1]);
  ASSERT_TRUE(test::runUntil([&] { return !pipeWatch->isWatching(); }));
  EXPECT_FALSE(MemoryPressureMonitor::startWatching(-1, POLLIN, "none"));
}

TEST(MemoryPressureMonitor, CgroupFoldersComeFromTheProcessesCgroupsAndTheirMounts) {
  const std::string mounts =
      "22 1 0:20 / /proc rw - proc proc rw\n"
      "30 23 0:27 / /sys/fs/cgroup/unified rw,nosuid - cgroup2 cgroup2 rw\n"
      "35 31 0:32 / /sys/fs/cgroup/mem\\040ory rw,relatime - cgroup cgroup rw,memory\n";
  auto folders = MemoryPressureMonitor::cgroupFolders("4:memory:/app\n0::/user.slice/game\n", mounts);
  EXPECT_EQ(folders.unified, "/sys/fs/cgroup/unified/user.slice/game");
  EXPECT_EQ(folders.memory, "/sys/fs/cgroup/mem ory/app");

  // A controller listed with others; a cgroup namespace that shows only
  // the process's own part of the hierarchy.
  folders = MemoryPressureMonitor::cgroupFolders(
      "5:cpu,memory:/box/app\n0::/\n",
      "35 31 0:32 /box /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n"
      "30 23 0:27 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n");
  EXPECT_EQ(folders.memory, "/sys/fs/cgroup/memory/app");
  EXPECT_EQ(folders.unified, "/sys/fs/cgroup");

  // Paths outside the mount, climbing out of it, or no hierarchy at all.
  folders = MemoryPressureMonitor::cgroupFolders(
      "4:memory:/elsewhere\n0::/../etc\n",
      "35 31 0:32 /box /m rw - cgroup cgroup rw,memory\n30 23 0:27 / /u rw - cgroup2 cgroup2 rw\n");
  EXPECT_EQ(folders.memory, "");
  EXPECT_EQ(folders.unified, "");
  // A path that only begins with the mount's root text lies outside it.
  folders = MemoryPressureMonitor::cgroupFolders(
      "4:memory:/boxy/app\n0::/boxy\n",
      "35 31 0:32 /box /m rw - cgroup cgroup rw,memory\n30 23 0:27 /box /u rw - cgroup2 cgroup2 rw\n");
  EXPECT_EQ(folders.memory, "");
  EXPECT_EQ(folders.unified, "");
  folders = MemoryPressureMonitor::cgroupFolders("garbage\n::\n", "no dash here\n1 2 - cgroup2\n");
  EXPECT_EQ(folders.memory, "");
  EXPECT_EQ(folders.unified, "");
}

class MemoryPressureSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.cgroup = dir.file("proc/self/cgroup");
    files.mountInfo = dir.file("proc/self/mountinfo");
    files.pressure = dir.file("proc/pressure/memory");
    writeFile(files.cgroup, "4:memory:/app\n0::/game\n");
    writeFile(files.mountInfo, "30 23 0:27 / " + dir.file("cgroup2") + " rw - cgroup2 cgroup2 rw\n" +
                                   "35 31 0:32 / " + dir.file("memory") + " rw - cgroup cgroup rw,memory\n");
  }

  test::TempDirectory dir{"memory-pressure"};
  MemoryPressureMonitor::SystemFiles files;
};

TEST_F(MemoryPressureSystemTest, TheCgroupsPressureStallTriggerComesFirst) {
  writeFile(dir.file("cgroup2/game/memory.pressure"), "");
  writeFile(files.pressure, "");
  auto monitor = MemoryPressureMonitor::startWatchingSystem(files);
  ASSERT_TRUE(monitor) << MemoryPressureMonitor::lastRefusal();
  EXPECT_EQ(monitor->source(), "cgroup " + dir.file("cgroup2/game") + "/memory.pressure");
  EXPECT_EQ(readAll(dir.file("cgroup2/game/memory.pressure")), std::string("some 200000 2000000\0", 20));
  EXPECT_EQ(readAll(files.pressure), "") << "the system's trigger is not set as well";
}

TEST_F(MemoryPressureSystemTest, WithoutItTheMemoryCgroupsLevelEventReportsAsAWarning) {
  WarningCounter warnings;
  writeFile(dir.file("memory/app/memory.pressure_level"), "");
  writeFile(dir.file("memory/app/cgroup.event_control"), "");
  auto monitor = MemoryPressureMonitor::startWatchingSystem(files);
  ASSERT_TRUE(monitor) << MemoryPressureMonitor::lastRefusal();
  EXPECT_EQ(monitor->source(), "cgroup " + dir.file("memory/app") + "/memory.pressure_level");

  // "<eventfd> <level file> medium", as the kernel takes a registration;
  // the eventfd is the monitor's, in this process: the test plays the
  // kernel and signals it.
  std::istringstream registration(readAll(dir.file("memory/app/cgroup.event_control")));
  int event = -1, level = -1;
  std::string threshold;
  registration >> event >> level >> threshold;
  EXPECT_EQ(threshold, "medium");
  ASSERT_GE(event, 0);
  ::eventfd_write(event, 1);
  ASSERT_TRUE(test::runUntil([&] { return warnings.count == 1; }));
  EXPECT_FALSE(warnings.offMain);
}

TEST_F(MemoryPressureSystemTest, TheSystemsTriggerIsTheLastResortAndNoSourceSaysWhyForEach) {
  writeFile(files.pressure, "");
  auto monitor = MemoryPressureMonitor::startWatchingSystem(files);
  ASSERT_TRUE(monitor) << MemoryPressureMonitor::lastRefusal();
  EXPECT_EQ(monitor->source(), "system " + files.pressure);
  EXPECT_EQ(readAll(files.pressure), std::string("some 200000 2000000\0", 20));
  monitor.reset();

  std::filesystem::remove(files.pressure);
  EXPECT_FALSE(MemoryPressureMonitor::startWatchingSystem(files));
  const std::string why = MemoryPressureMonitor::lastRefusal();
  EXPECT_NE(why.find("cgroup v2: cannot open " + dir.file("cgroup2/game") + "/memory.pressure"), std::string::npos)
      << why;
  EXPECT_NE(why.find("cgroup v1: cannot open " + dir.file("memory/app") + "/memory.pressure_level"),
            std::string::npos)
      << why;
  EXPECT_NE(why.find("system: cannot open " + files.pressure), std::string::npos) << why;
}

}  // namespace
}  // namespace kit
