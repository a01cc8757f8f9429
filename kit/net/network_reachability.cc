// Reachability flags from getifaddrs, a watcher thread that notices
// interface changes, and delivery on run loops.
#include "kit/net/network_reachability.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <vector>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(NetworkReachability, Object, "SCNetworkReachability") {}

namespace {

bool isLoopback(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    auto* in = reinterpret_cast<const sockaddr_in*>(&address);
    return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
  }
  if (address.ss_family == AF_INET6) {
    auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
    return IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr);
  }
  return false;
}

bool isCellularInterface(const char* name) {
  for (const char* prefix : {"wwan", "rmnet", "ppp", "pdp_ip", "ccmni"}) {
    if (std::strncmp(name, prefix, std::strlen(prefix)) == 0) return true;
  }
  return false;
}

// The registry of scheduled objects, the flags source and the watcher
// thread that polls the interfaces while anything is scheduled.
struct Registry {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<Weak<NetworkReachability>> scheduled;
  NetworkReachability::FlagsSource source;
  std::thread watcher;
  bool stopping = false;
  std::string lastSnapshot;

  ~Registry() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    cv.notify_all();
    if (watcher.joinable()) watcher.join();
  }
};

Registry& registry() {
  // Never destroyed: an object unscheduled while the process ends (or the
  // watcher itself) still finds it.
  static NoDestructor<Registry> instance;
  return *instance;
}

// A description of the usable interfaces, to notice changes.
std::string interfaceSnapshot() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {};
  std::vector<std::string> lines;
  for (ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
    if (!ifa->ifa_addr || !(ifa->ifa_flags & IFF_UP)) continue;
    int family = ifa->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    char text[INET6_ADDRSTRLEN] = {0};
    const void* raw = family == AF_INET ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(ifa->ifa_addr)->sin_addr)
                                        : static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(ifa->ifa_addr)->sin6_addr);
    inet_ntop(family, raw, text, sizeof text);
    lines.push_back(std::string(ifa->ifa_name) + " " + text + " " + std::to_string(ifa->ifa_flags & IFF_RUNNING));
  }
  freeifaddrs(list);
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

void startWatcherLocked(Registry& r) {
  if (r.watcher.joinable()) return;
  r.lastSnapshot = interfaceSnapshot();
  r.watcher = std::thread([&r] {
    std::unique_lock lock(r.mutex);
    while (!r.stopping) {
      r.cv.wait_for(lock, std::chrono::seconds(2), [&] { return r.stopping; });
      if (r.stopping) return;
      if (r.source) continue;  // injected flags change only when announced
      lock.unlock();
      std::string now = interfaceSnapshot();
      lock.lock();
      if (now != r.lastSnapshot) {
        r.lastSnapshot = now;
        lock.unlock();
        NetworkReachability::flagsChanged();
        lock.lock();
      }
    }
  });
}

}  // namespace

Ref<NetworkReachability> NetworkReachability::createWithName(std::string_view host) {
  if (host.empty()) return nullptr;
  Target target;
  target.host = std::string(host);
  return std::make_shared<NetworkReachability>(std::move(target));
}

Ref<NetworkReachability> NetworkReachability::createWithAddress(const sockaddr* address) {
  if (!address || (address->sa_family != AF_INET && address->sa_family != AF_INET6)) return nullptr;
  Target target;
  sockaddr_storage storage{};
  std::memcpy(&storage, address, address->sa_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
  target.address = storage;
  return std::make_shared<NetworkReachability>(std::move(target));
}

NetworkReachability::NetworkReachability(Target target) : target_(std::move(target)) {}

NetworkReachability::~NetworkReachability() = default;

uint32_t NetworkReachability::interfaceFlags(const Target& target) {
  if (target.address && isLoopback(*target.address)) {
    return ReachabilityReachable | ReachabilityIsLocalAddress | ReachabilityIsDirect;
  }
  if (target.host && (*target.host == "localhost" || target.host->starts_with("127."))) {
    return ReachabilityReachable | ReachabilityIsLocalAddress | ReachabilityIsDirect;
  }
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return 0;
  bool other = false, cellular = false;
  for (ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
    if (!ifa->ifa_addr || !(ifa->ifa_flags & IFF_UP) || !(ifa->ifa_flags & IFF_RUNNING)) continue;
    if (ifa->ifa_flags & IFF_LOOPBACK) continue;
    int family = ifa->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    if (isCellularInterface(ifa->ifa_name)) {
      cellular = true;
    } else {
      other = true;
    }
  }
  freeifaddrs(list);
  if (other) return ReachabilityReachable;
  if (cellular) return ReachabilityReachable | ReachabilityIsWWAN;
  return 0;
}

bool NetworkReachability::getFlags(uint32_t* flags) const {
  if (!flags) return false;
  NetworkReachability::FlagsSource source;
  {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    source = r.source;
  }
  *flags = source ? source(target_) : interfaceFlags(target_);
  return true;
}

bool NetworkReachability::setCallback(Callback callback) {
  std::lock_guard lock(mutex_);
  callback_ = std::move(callback);
  return true;
}

bool NetworkReachability::scheduleWithRunLoop(RunLoop& runLoop) {
  {
    std::lock_guard lock(mutex_);
    if (runLoop_) return false;
    runLoop_ = &runLoop;
    lastDelivered_.reset();
    uint32_t flags = 0;
    if (getFlags(&flags)) lastDelivered_ = flags;
  }
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.scheduled, [](const Weak<NetworkReachability>& w) { return w.expired(); });
  r.scheduled.push_back(std::static_pointer_cast<NetworkReachability>(self()));
  startWatcherLocked(r);
  return true;
}

bool NetworkReachability::unscheduleFromRunLoop() {
  {
    std::lock_guard lock(mutex_);
    if (!runLoop_) return false;
    runLoop_ = nullptr;
  }
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.scheduled, [this](const Weak<NetworkReachability>& w) {
    auto p = w.lock();
    return !p || p.get() == this;
  });
  return true;
}

void NetworkReachability::setFlagsSource(FlagsSource source) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.source = std::move(source);
}

void NetworkReachability::flagsChanged() {
  std::vector<Ref<NetworkReachability>> targets;
  {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    for (const auto& w : r.scheduled) {
      if (auto p = w.lock()) targets.push_back(p);
    }
  }
  for (const auto& t : targets) t->check();
}

void NetworkReachability::check() {
  uint32_t flags = 0;
  if (!getFlags(&flags)) return;
  RunLoop* loop;
  {
    std::lock_guard lock(mutex_);
    if (!runLoop_ || lastDelivered_ == flags) return;
    lastDelivered_ = flags;
    loop = runLoop_;
  }
  Weak<NetworkReachability> weak = std::static_pointer_cast<NetworkReachability>(self());
  loop->perform(
      [weak, flags] {
        auto self = weak.lock();
        if (!self) return;
        Callback callback;
        {
          std::lock_guard lock(self->mutex_);
          if (!self->runLoop_) return;
          callback = self->callback_;
        }
        if (callback) callback(*self, flags);
      },
      CommonRunLoopModes);
}

}  // namespace kit
