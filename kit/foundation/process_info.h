// Facts about the running process and the machine: name, identifier,
// arguments, environment, host, operating system, memory, processors,
// uptime, and unique strings.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "kit/foundation/array.h"
#include "kit/foundation/date.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"

namespace kit {

struct OperatingSystemVersion {
  long majorVersion = 0;
  long minorVersion = 0;
  long patchVersion = 0;
};

class ProcessInfo : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<ProcessInfo> processInfo();

  // The program's file name, unless a name was set.
  std::string processName() const;
  void setProcessName(std::string name);
  int processIdentifier() const;
  // The command line, program first.
  Ref<Array> arguments() const;
  // A snapshot of the environment as string keys and values.
  Ref<Dictionary> environment() const;
  std::string hostName() const;
  // "Version 6.1.0 (Linux 6.1.0-18-amd64)"
  std::string operatingSystemVersionString() const;
  OperatingSystemVersion operatingSystemVersion() const;
  bool isOperatingSystemAtLeastVersion(OperatingSystemVersion version) const;
  // The hardware identifier the system reports, such as "x86_64".
  std::string machine() const;
  unsigned long long physicalMemory() const;
  unsigned processorCount() const;
  // Processors this process may run on.
  unsigned activeProcessorCount() const;
  // Seconds since an arbitrary start, on the same clock as mediaTime().
  TimeInterval systemUptime() const { return mediaTime(); }
  // Different on every call, across processes and machines:
  // "<UUID>-<pid>-<counter in 16 hex digits>".
  std::string globallyUniqueString() const;

 private:
  mutable std::mutex mutex_;
  std::string name_;
};

}  // namespace kit
