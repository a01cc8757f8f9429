// A small real disk for the storage's tests: an 8 MiB tmpfs mounted in a
// mount namespace of the test process's own, so that no other process sees
// it and it goes with the process. Each call answers the reason when the
// system does not allow it (no privilege, no namespaces), empty on success.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace kvtest {

inline constexpr int64_t SmallDiskBytes = 8 << 20;

inline std::string failedCall(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

// Gives this process a mount namespace of its own, whose mounts no other
// process sees; the reason when the system does not allow it.
inline std::string enterOwnMountNamespace() {
  if (::unshare(CLONE_NEWNS) != 0) return failedCall("unshare(CLONE_NEWNS)");
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return failedCall("making / private");
  return {};
}

// Mounts a tmpfs of SmallDiskBytes at `path` (made here); the reason when
// it cannot.
inline std::string mountSmallDisk(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0) return failedCall("mkdir");
  const std::string options = "size=" + std::to_string(SmallDiskBytes);
  if (::mount("kv-test", path.c_str(), "tmpfs", 0, options.c_str()) != 0) return failedCall("mount -t tmpfs");
  return {};
}

}  // namespace kvtest
