// The device's memory from the system, or from an installed source. See
// memory_statistics.h.
#include "kit/foundation/memory_statistics.h"
#include "kit/foundation/no_destructor.h"

#include <sys/sysinfo.h>

#include <fstream>
#include <mutex>
#include <string>

namespace kit {

namespace {

std::mutex& sourceMutex() {
  static NoDestructor<std::mutex> mutex;
  return *mutex;
}

MemoryStatisticsSource& installedSource() {
  static NoDestructor<MemoryStatisticsSource> source;
  return *source;
}

// MemAvailable counts reclaimable caches as the platform's free pages do
// not quite, but it is what a new allocation can have without swapping.
long long availableFromMeminfo() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  long long kib = 0;
  std::string unit;
  while (in >> key >> kib) {
    std::getline(in, unit);
    if (key == "MemAvailable:") return kib * 1024;
  }
  return -1;
}

MemoryStatistics systemStatistics() {
  MemoryStatistics stats;
  struct sysinfo info {};
  if (sysinfo(&info) == 0) {
    stats.physicalBytes = static_cast<long long>(info.totalram) * info.mem_unit;
    stats.freeBytes = static_cast<long long>(info.freeram) * info.mem_unit;
  }
  const long long available = availableFromMeminfo();
  if (available >= 0) stats.freeBytes = available;
  return stats;
}

}  // namespace

MemoryStatistics currentMemoryStatistics() {
  MemoryStatisticsSource source;
  {
    std::lock_guard lock(sourceMutex());
    source = installedSource();
  }
  return source ? source() : systemStatistics();
}

void setMemoryStatisticsSource(MemoryStatisticsSource source) {
  std::lock_guard lock(sourceMutex());
  installedSource() = std::move(source);
}

}  // namespace kit
