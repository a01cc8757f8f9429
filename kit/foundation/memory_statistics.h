// The device's memory as a budget sees it: physical memory and the memory
// free for new allocations, read from Linux (sysinfo and /proc/meminfo's
// MemAvailable) in place of the host's page statistics. Tests install a
// source of their own.
#pragma once

#include <functional>

namespace kit {

struct MemoryStatistics {
  long long physicalBytes = 0;
  // -1 when it cannot be read.
  long long freeBytes = -1;
};

using MemoryStatisticsSource = std::function<MemoryStatistics()>;

// From the installed source, else from the system.
MemoryStatistics currentMemoryStatistics();
// Replaces the source; nullptr restores the system's.
void setMemoryStatisticsSource(MemoryStatisticsSource source);

}  // namespace kit
