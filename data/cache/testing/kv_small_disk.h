// A small real disk for the storage's tests: a tmpfs (8 MiB unless told
// otherwise, with as few inodes as asked) mounted in a mount namespace of
// the test process's own, so that no other process sees it and it goes
// with the process; and another program on that disk (DiskHog), which
// takes its free bytes or its free inodes and gives them back. Each call
// that sets up answers the reason when the system does not allow it (no
// privilege, no namespaces), empty on success.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

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

// Mounts a tmpfs of `bytes` at `path` (made here), with at most `inodes`
// files and folders when that is above 0; the reason when it cannot.
inline std::string mountSmallDisk(const std::string& path, int64_t bytes = SmallDiskBytes, int64_t inodes = 0) {
  if (::mkdir(path.c_str(), 0700) != 0) return failedCall("mkdir");
  std::string options = "size=" + std::to_string(bytes);
  if (inodes > 0) options += ",nr_inodes=" + std::to_string(inodes);
  if (::mount("kv-test", path.c_str(), "tmpfs", 0, options.c_str()) != 0) return failedCall("mount -t tmpfs");
  return {};
}

// Unmounts what is mounted at `path` (when anything is) as it goes, on
// every way out of a test, a failed assertion too, so that the folder the
// disk was mounted on can be removed.
class UnmountAtEnd {
 public:
  explicit UnmountAtEnd(std::string path) : path_(std::move(path)) {}
  ~UnmountAtEnd() { ::umount2(path_.c_str(), MNT_DETACH); }
  UnmountAtEnd(const UnmountAtEnd&) = delete;
  UnmountAtEnd& operator=(const UnmountAtEnd&) = delete;

 private:
  const std::string path_;
};

// The free bytes and inodes of the disk that holds `path` (-1 when unknown).
inline int64_t freeBytesAt(const std::string& path) {
  struct statvfs status {};
  if (::statvfs(path.c_str(), &status) != 0) return -1;
  return static_cast<int64_t>(status.f_bavail) * static_cast<int64_t>(status.f_frsize);
}
inline int64_t freeInodesAt(const std::string& path) {
  struct statvfs status {};
  if (::statvfs(path.c_str(), &status) != 0) return -1;
  return static_cast<int64_t>(status.f_favail);
}

// Another program on a disk: it takes the free bytes (with one file) or
// the free inodes (with empty files) in a folder of its own, until told to
// give them back or destroyed.
class DiskHog {
 public:
  // `folder` is made here, on the disk to take from.
  explicit DiskHog(std::string folder) : folder_(std::move(folder)) { ::mkdir(folder_.c_str(), 0700); }
  ~DiskHog() {
    release();
    ::rmdir(folder_.c_str());
  }
  DiskHog(const DiskHog&) = delete;
  DiskHog& operator=(const DiskHog&) = delete;

  // Takes every free byte but `leave`; true when the disk then has no more
  // than that free.
  bool takeBytes(int64_t leave = 0) {
    const int64_t take = freeBytesAt(folder_) - leave;
    if (take <= 0) return true;
    const std::string path = folder_ + "/bytes" + std::to_string(files_++);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool taken = ::posix_fallocate(fd, 0, static_cast<off_t>(take)) == 0;
    ::close(fd);
    return taken && freeBytesAt(folder_) <= leave;
  }

  // Takes every free inode but `leave`; true when the disk then has no
  // more than that free.
  bool takeInodes(int64_t leave = 0) {
    for (int64_t free = freeInodesAt(folder_); free > leave; --free) {
      const std::string path = folder_ + "/inode" + std::to_string(files_++);
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
      if (fd < 0) break;
      ::close(fd);
    }
    return freeInodesAt(folder_) <= leave;
  }

  // Gives back everything taken.
  void release() {
    for (int64_t n = 0; n < files_; ++n) {
      ::unlink((folder_ + "/bytes" + std::to_string(n)).c_str());
      ::unlink((folder_ + "/inode" + std::to_string(n)).c_str());
    }
    files_ = 0;
  }
  bool holding() const { return files_ > 0; }

 private:
  const std::string folder_;
  int64_t files_ = 0;
};

}  // namespace kvtest
