// Process and machine facts from the C library, uname and /proc.

#include "kit/foundation/process_info.h"

#include <sched.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"
#include "kit/foundation/uuid.h"

extern char** environ;

namespace kit {

KIT_DEFINE_CLASS_NAMED(ProcessInfo, Object, "NSProcessInfo") {}

namespace {

utsname systemName() {
  utsname u{};
  uname(&u);
  return u;
}

// The NUL-separated command line of this process.
std::vector<std::string> commandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    parts.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace

Ref<ProcessInfo> ProcessInfo::processInfo() {
  static NoDestructor<Ref<ProcessInfo>> info(std::make_shared<ProcessInfo>());  // lives for the process
  return *info;
}

std::string ProcessInfo::processName() const {
  {
    std::lock_guard lock(mutex_);
    if (!name_.empty()) return name_;
  }
  auto args = commandLine();
  if (!args.empty() && !args[0].empty()) {
    const std::string& program = args[0];
    size_t slash = program.rfind('/');
    return slash == std::string::npos ? program : program.substr(slash + 1);
  }
  std::ifstream in("/proc/self/comm");
  std::string comm;
  std::getline(in, comm);
  return comm;
}

void ProcessInfo::setProcessName(std::string name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

int ProcessInfo::processIdentifier() const { return static_cast<int>(getpid()); }

Ref<Array> ProcessInfo::arguments() const {
  std::vector<Id> out;
  for (const std::string& arg : commandLine()) out.push_back(String::make(arg));
  return Array::make(std::move(out));
}

Ref<Dictionary> ProcessInfo::environment() const {
  auto out = MutableDictionary::make();
  for (char** e = environ; e && *e; ++e) {
    std::string_view entry(*e);
    size_t eq = entry.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    out->setObject(String::make(entry.substr(eq + 1)), entry.substr(0, eq));
  }
  return std::static_pointer_cast<Dictionary>(Id(out->copy()));
}

std::string ProcessInfo::hostName() const {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

std::string ProcessInfo::operatingSystemVersionString() const {
  utsname u = systemName();
  OperatingSystemVersion v = operatingSystemVersion();
  return "Version " + std::to_string(v.majorVersion) + "." + std::to_string(v.minorVersion) + "." +
         std::to_string(v.patchVersion) + " (" + u.sysname + " " + u.release + ")";
}

OperatingSystemVersion ProcessInfo::operatingSystemVersion() const {
  utsname u = systemName();
  OperatingSystemVersion v;
  long* fields[] = {&v.majorVersion, &v.minorVersion, &v.patchVersion};
  const char* p = u.release;
  for (long* field : fields) {
    long value = 0;
    bool any = false;
    while (*p >= '0' && *p <= '9') {
      value = value * 10 + (*p++ - '0');
      any = true;
      if (value > 1'000'000) break;
    }
    if (!any) break;
    *field = value;
    if (*p != '.') break;
    ++p;
  }
  return v;
}

bool ProcessInfo::isOperatingSystemAtLeastVersion(OperatingSystemVersion version) const {
  OperatingSystemVersion v = operatingSystemVersion();
  if (v.majorVersion != version.majorVersion) return v.majorVersion > version.majorVersion;
  if (v.minorVersion != version.minorVersion) return v.minorVersion > version.minorVersion;
  return v.patchVersion >= version.patchVersion;
}

std::string ProcessInfo::machine() const { return systemName().machine; }

unsigned long long ProcessInfo::physicalMemory() const {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize);
}

unsigned ProcessInfo::processorCount() const {
  const long n = sysconf(_SC_NPROCESSORS_CONF);
  return n > 0 ? static_cast<unsigned>(n) : 1;
}

unsigned ProcessInfo::activeProcessorCount() const {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n);
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

std::string ProcessInfo::globallyUniqueString() const {
  static std::atomic<uint64_t> counter{0};
  char tail[64];
  std::snprintf(tail, sizeof tail, "-%d-%016llX", processIdentifier(),
                static_cast<unsigned long long>(counter.fetch_add(1) + 1));
  return makeUUIDString() + tail;
}

}  // namespace kit
