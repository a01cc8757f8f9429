// The memory-pressure monitor. See memory_pressure_monitor.h.
#include "kit/ui/memory_pressure_monitor.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "kit/dispatch/queue.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/log.h"
#include "kit/ui/application.h"

namespace kit {

namespace {

// The system's files are small; anything longer is not what it claims.
constexpr size_t kMaxSystemFileBytes = 1 << 20;

std::mutex refusalMutex;
std::string refusal;

std::mutex defaultsMutex;
std::optional<MemoryPressureMonitor::SystemFiles> defaultFiles;

std::string readSmallFile(const std::string& path) {
  auto data = dataWithContentsOfFile(path, nullptr, kMaxSystemFileBytes);
  return data ? data->toString() : std::string();
}

std::string errnoText(int error) { return std::strerror(error); }

Unexpected systemError(const std::string& what, const std::string& path, int error) {
  return unexpected(POSIXErrorDomain, error, what + " " + path + ": " + errnoText(error));
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t from = 0;
  while (from <= text.size()) {
    size_t to = text.find(separator, from);
    if (to == std::string_view::npos) to = text.size();
    parts.push_back(text.substr(from, to - from));
    from = to + 1;
  }
  return parts;
}

// Mount points and roots in mountinfo write space, tab, newline and
// backslash as three octal digits after a backslash.
std::string unescapeOctal(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

// The folder of a cgroup `path` in a hierarchy mounted at `mountPoint`
// showing `root`: the part of the path under the root, below the mount
// point. Empty when the path lies outside what the mount shows.
std::string folderIn(const std::string& mountPoint, const std::string& root, std::string_view path) {
  if (mountPoint.empty() || path.empty() || path.front() != '/') return {};
  std::string_view rest = path;
  if (root != "/") {
    if (!rest.starts_with(root) || (rest.size() > root.size() && rest[root.size()] != '/')) return {};
    rest.remove_prefix(root.size());
  }
  // Nothing climbs out of the mount.
  for (std::string_view part : split(rest, '/')) {
    if (part == "..") return {};
  }
  std::string folder = mountPoint;
  while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  if (!rest.empty()) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    folder += rest;
  }
  return folder;
}

}  // namespace

MemoryPressureMonitor::CgroupFolders MemoryPressureMonitor::cgroupFolders(std::string_view cgroupText,
                                                                          std::string_view mountInfoText) {
  // /proc/self/cgroup: "hierarchy-ID:controller-list:path", one per line;
  // the v2 hierarchy is "0::path".
  std::string_view unifiedPath, memoryPath;
  for (std::string_view line : split(cgroupText, '\n')) {
    const size_t first = line.find(':');
    const size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view id = line.substr(0, first);
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    const std::string_view path = line.substr(second + 1);
    if (id == "0" && controllers.empty()) {
      unifiedPath = path;
      continue;
    }
    for (std::string_view controller : split(controllers, ',')) {
      if (controller == "memory") memoryPath = path;
    }
  }

  // /proc/self/mountinfo: "ID parent major:minor root mount-point options
  // [optional fields] - type source super-options".
  CgroupFolders folders;
  for (std::string_view line : split(mountInfoText, '\n')) {
    const size_t dash = line.find(" - ");
    if (dash == std::string_view::npos) continue;
    const std::vector<std::string_view> before = split(line.substr(0, dash), ' ');
    const std::vector<std::string_view> after = split(line.substr(dash + 3), ' ');
    if (before.size() < 5 || after.size() < 3) continue;
    const std::string root = unescapeOctal(before[3]);
    const std::string mountPoint = unescapeOctal(before[4]);
    const std::string_view type = after[0];
    if (type == "cgroup2" && folders.unified.empty() && !unifiedPath.empty()) {
      folders.unified = folderIn(mountPoint, root, unifiedPath);
    } else if (type == "cgroup" && folders.memory.empty() && !memoryPath.empty()) {
      for (std::string_view option : split(after[2], ',')) {
        if (option == "memory") folders.memory = folderIn(mountPoint, root, memoryPath);
      }
    }
  }
  return folders;
}

Expected<int> MemoryPressureMonitor::openTrigger(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return systemError("cannot open", path, errno);
  const std::string trigger =
      "some " + std::to_string(PressureStallMicroseconds) + " " + std::to_string(PressureWindowMicroseconds);
  // The terminating NUL is part of what the kernel reads.
  if (::write(fd, trigger.c_str(), trigger.size() + 1) < 0) {
    const int error = errno;
    ::close(fd);
    return systemError("cannot set a trigger on", path, error);
  }
  return fd;
}

Expected<int> MemoryPressureMonitor::registerLevelEvent(const std::string& folder) {
  const std::string levelPath = folder + "/memory.pressure_level";
  const std::string controlPath = folder + "/cgroup.event_control";
  const int level = ::open(levelPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (level < 0) return systemError("cannot open", levelPath, errno);
  const int event = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (event < 0) {
    const int error = errno;
    ::close(level);
    return systemError("cannot make an eventfd for", levelPath, error);
  }
  const int control = ::open(controlPath.c_str(), O_WRONLY | O_CLOEXEC);
  int error = control < 0 ? errno : 0;
  if (control >= 0) {
    const std::string request = std::to_string(event) + " " + std::to_string(level) + " medium";
    if (::write(control, request.c_str(), request.size()) < 0) error = errno;
    ::close(control);
  }
  // The registration keeps what it needs of the level file.
  ::close(level);
  if (error != 0) {
    ::close(event);
    return systemError("cannot register with", controlPath, error);
  }
  return event;
}

Ref<MemoryPressureMonitor> MemoryPressureMonitor::startWatchingSystem() {
  return startWatchingSystem(defaultSystemFiles());
}

MemoryPressureMonitor::SystemFiles MemoryPressureMonitor::defaultSystemFiles() {
  std::lock_guard lock(defaultsMutex);
  return defaultFiles ? *defaultFiles : SystemFiles();
}

void MemoryPressureMonitor::setDefaultSystemFiles(SystemFiles files) {
  std::lock_guard lock(defaultsMutex);
  defaultFiles = std::move(files);
}

Ref<MemoryPressureMonitor> MemoryPressureMonitor::startWatchingSystem(const SystemFiles& files) {
  const CgroupFolders folders = cgroupFolders(readSmallFile(files.cgroup), readSmallFile(files.mountInfo));
  std::vector<std::string> refusals;
  auto refuse = [&](const char* source, const std::string& why) { refusals.push_back(std::string(source) + ": " + why); };

  Ref<MemoryPressureMonitor> monitor;
  if (folders.unified.empty()) {
    refuse("cgroup v2", "no cgroup v2 folder");
  } else if (auto fd = openTrigger(folders.unified + "/memory.pressure")) {
    monitor = startWatching(*fd, POLLPRI, "cgroup " + folders.unified + "/memory.pressure");
  } else {
    refuse("cgroup v2", fd.error()->localizedDescription());
  }
  if (!monitor) {
    if (folders.memory.empty()) {
      refuse("cgroup v1", "no memory cgroup folder");
    } else if (auto fd = registerLevelEvent(folders.memory)) {
      monitor = startWatching(*fd, POLLIN, "cgroup " + folders.memory + "/memory.pressure_level");
    } else {
      refuse("cgroup v1", fd.error()->localizedDescription());
    }
  }
  if (!monitor) {
    if (auto fd = openTrigger(files.pressure)) {
      monitor = startWatching(*fd, POLLPRI, "system " + files.pressure);
    } else {
      refuse("system", fd.error()->localizedDescription());
    }
  }
  std::string why;
  for (const auto& text : refusals) why += (why.empty() ? "" : "; ") + text;
  std::lock_guard lock(refusalMutex);
  refusal = monitor ? std::string() : why;
  return monitor;
}

std::string MemoryPressureMonitor::lastRefusal() {
  std::lock_guard lock(refusalMutex);
  return refusal;
}

Ref<MemoryPressureMonitor> MemoryPressureMonitor::startWatching(int descriptor, short events, std::string source,
                                                                std::function<void()> onPressure) {
  if (descriptor < 0) return nullptr;
  auto monitor =
      std::make_shared<MemoryPressureMonitor>(Passkey{}, descriptor, events, std::move(source), std::move(onPressure));
  if (monitor->wake_ < 0) return nullptr;
  monitor->weakThis_ = monitor;
  monitor->thread_ = std::thread([raw = monitor.get()] { raw->watch(); });
  return monitor;
}

MemoryPressureMonitor::MemoryPressureMonitor(Passkey, int descriptor, short events, std::string source,
                                             std::function<void()> onPressure)
    : descriptor_(descriptor),
      events_(events),
      source_(std::move(source)),
      onPressure_(onPressure ? std::move(onPressure) : [] { Application::shared()->receiveMemoryWarning(); }),
      wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

MemoryPressureMonitor::~MemoryPressureMonitor() {
  stop();
  if (wake_ >= 0) ::close(wake_);
  ::close(descriptor_);
}

void MemoryPressureMonitor::stop() {
  if (stopped_.exchange(true)) return;
  if (wake_ >= 0) ::eventfd_write(wake_, 1);
  if (thread_.joinable()) thread_.join();
  watching_ = false;
}

void MemoryPressureMonitor::watch() {
  pollfd watched[2] = {{descriptor_, events_, 0}, {wake_, POLLIN, 0}};
  while (!stopped_.load()) {
    watched[0].revents = watched[1].revents = 0;
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (watched[1].revents != 0) break;
    const short ready = watched[0].revents;
    if (ready & POLLIN) {
      // An eventfd's count (or what a pipe holds) is read back, so that the
      // next report wakes the thread again.
      uint8_t buffer[64];
      while (::read(descriptor_, buffer, sizeof buffer) > 0) {
      }
    }
    if (ready & events_) {
      report();
    } else if (ready & (POLLERR | POLLHUP | POLLNVAL)) {
      // The source is gone (its cgroup was removed): nothing will report.
      log("memory pressure: %s stopped reporting", source_);
      break;
    }
  }
  watching_ = false;
}

void MemoryPressureMonitor::report() {
  // One warning waits for the main thread at a time; reports meanwhile are
  // merged into it. A monitor let go or stopped by then delivers nothing.
  if (pending_.exchange(true)) return;
  Queue::main().async([weak = weakThis_] {
    auto self = weak.lock();
    if (!self) return;
    self->pending_ = false;
    if (self->stopped_.load()) return;
    ++self->delivered_;
    self->onPressure_();
  });
}

}  // namespace kit
