// Fuzzes the reading of /proc/self/cgroup and /proc/self/mountinfo that
// finds the process's cgroup folders for the memory-pressure monitor: the
// input is the cgroup text, a NUL, then the mount table. A cgroup path
// never makes a folder climb out of its mount point: when the mount table
// names no ".." (plainly or escaped), no folder holds one.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kit/ui/memory_pressure_monitor.h"

namespace {

void check(bool condition) {
  if (!condition) abort();
}

// Whether a component of the folder is "..".
bool climbs(const std::string& folder) {
  size_t from = 0;
  while (from <= folder.size()) {
    size_t to = folder.find('/', from);
    if (to == std::string::npos) to = folder.size();
    if (folder.compare(from, to - from, "..") == 0) return true;
    from = to + 1;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string_view cgroup = input.substr(0, nul);
  const std::string_view mounts = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
  const auto folders = kit::MemoryPressureMonitor::cgroupFolders(cgroup, mounts);
  if (mounts.find("..") == std::string_view::npos && mounts.find('\\') == std::string_view::npos) {
    check(!climbs(folders.unified));
    check(!climbs(folders.memory));
  }
  return 0;
}
