// What the system can refuse the key-value storage for a while, for its
// tests: every descriptor (under a low limit, for the whole process), and
// the permission override root has (for the calling thread), so that file
// modes hold for a test run as root too.
#pragma once

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace kvtest {

// Root passes every permission check (CAP_DAC_OVERRIDE, and reads by
// CAP_DAC_READ_SEARCH): while this lives the calling thread has neither in
// effect, so that the file modes hold for it too.
class FileModesHold {
 public:
  FileModesHold() {
    if (::geteuid() != 0) {
      holding_ = true;
      return;
    }
    if (::syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) lowered[cap / 32].effective &= ~(1u << (cap % 32));
    dropped_ = holding_ = ::syscall(SYS_capset, &header_, lowered) == 0;
  }
  ~FileModesHold() {
    if (dropped_) ::syscall(SYS_capset, &header_, saved_);
  }
  FileModesHold(const FileModesHold&) = delete;
  FileModesHold& operator=(const FileModesHold&) = delete;
  bool holding() const { return holding_; }

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2] = {};
  bool dropped_ = false;
  bool holding_ = false;
};

// Every descriptor taken (under a low limit) while it lives; the limit
// goes back after.
class DescriptorsTaken {
 public:
  DescriptorsTaken() {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit low = saved_;
    low.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 64);
    ::setrlimit(RLIMIT_NOFILE, &low);
    for (int fd; (fd = ::dup(STDIN_FILENO)) >= 0;) taken_.push_back(fd);
  }
  ~DescriptorsTaken() {
    for (int fd : taken_) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved_);
  }
  DescriptorsTaken(const DescriptorsTaken&) = delete;
  DescriptorsTaken& operator=(const DescriptorsTaken&) = delete;

 private:
  rlimit saved_{};
  std::vector<int> taken_;
};

}  // namespace kvtest
