// Reachability monitoring on the platform's reachability objects.
#include "net/network_reachability_manager.h"

#include <netinet/in.h>

#include <cstring>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "net/networking_errors.h"

SDPNetworkReachabilityStatus SDPNetworkReachabilityStatusForFlags(uint32_t flags) {
  const bool reachable = flags & kit::ReachabilityReachable;
  const bool needsConnection = flags & kit::ReachabilityConnectionRequired;
  const bool canConnectAutomatically =
      (flags & kit::ReachabilityConnectionOnDemand) || (flags & kit::ReachabilityConnectionOnTraffic);
  const bool canConnectWithoutUser = canConnectAutomatically && !(flags & kit::ReachabilityInterventionRequired);
  const bool networkReachable = reachable && (!needsConnection || canConnectWithoutUser);
  if (!networkReachable) return SDPNetworkReachabilityStatus::NotReachable;
  if (flags & kit::ReachabilityIsWWAN) return SDPNetworkReachabilityStatus::ReachableViaWWAN;
  return SDPNetworkReachabilityStatus::ReachableViaWiFi;
}

std::string SDPStringFromNetworkReachabilityStatus(SDPNetworkReachabilityStatus status) {
  switch (status) {
    case SDPNetworkReachabilityStatus::NotReachable: return SDPLocalizedText("Not Reachable");
    case SDPNetworkReachabilityStatus::ReachableViaWWAN: return SDPLocalizedText("Reachable via WWAN");
    case SDPNetworkReachabilityStatus::ReachableViaWiFi: return SDPLocalizedText("Reachable via WiFi");
    default: return SDPLocalizedText("Unknown");
  }
}

kit::Ref<SDPNetworkReachabilityManager> SDPNetworkReachabilityManager::sharedManager() {
  static const kit::NoDestructor<kit::Ref<SDPNetworkReachabilityManager>> shared(manager());
  return *shared;
}

kit::Ref<SDPNetworkReachabilityManager> SDPNetworkReachabilityManager::managerForDomain(std::string_view domain) {
  return initWithReachability(kit::NetworkReachability::createWithName(domain));
}

kit::Ref<SDPNetworkReachabilityManager> SDPNetworkReachabilityManager::managerForAddress(const sockaddr* address) {
  return initWithReachability(kit::NetworkReachability::createWithAddress(address));
}

kit::Ref<SDPNetworkReachabilityManager> SDPNetworkReachabilityManager::manager() {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  return managerForAddress(reinterpret_cast<const sockaddr*>(&address));
}

kit::Ref<SDPNetworkReachabilityManager> SDPNetworkReachabilityManager::initWithReachability(
    kit::Ref<kit::NetworkReachability> reachability) {
  if (!reachability) return nullptr;
  return kit::make<SDPNetworkReachabilityManager>(std::move(reachability));
}

SDPNetworkReachabilityManager::SDPNetworkReachabilityManager(kit::Ref<kit::NetworkReachability> reachability)
    : reachability_(std::move(reachability)) {}

SDPNetworkReachabilityManager::~SDPNetworkReachabilityManager() {
  ++generation_;
  if (reachability_) {
    reachability_->unscheduleFromRunLoop();
    reachability_->setCallback(nullptr);
  }
}

void SDPNetworkReachabilityManager::setReachabilityStatusChangeBlock(StatusBlock block) {
  std::lock_guard lock(mutex_);
  block_ = std::move(block);
}

void SDPNetworkReachabilityManager::stopMonitoring() {
  ++generation_;
  if (reachability_) reachability_->unscheduleFromRunLoop();
}

void SDPNetworkReachabilityManager::startMonitoring() {
  stopMonitoring();
  if (!reachability_) return;
  const uint64_t generation = generation_.load();
  kit::Weak<SDPNetworkReachabilityManager> weak = weakSelf<SDPNetworkReachabilityManager>();
  reachability_->setCallback(
      [weak, generation](kit::NetworkReachability&, uint32_t flags) { deliver(weak, flags, generation); });
  reachability_->scheduleWithRunLoop(kit::RunLoop::main());

  kit::Ref<kit::NetworkReachability> reachability = reachability_;
  kit::Queue::global(kit::Queue::Priority::Background).async([weak, reachability, generation] {
    uint32_t flags = 0;
    if (reachability->getFlags(&flags)) deliver(weak, flags, generation);
  });
}

void SDPNetworkReachabilityManager::deliver(const kit::Weak<SDPNetworkReachabilityManager>& weak, uint32_t flags,
                                            uint64_t generation) {
  const auto status = SDPNetworkReachabilityStatusForFlags(flags);
  kit::Queue::main().async([weak, status, generation] {
    if (auto self = weak.lock()) {
      if (self->generation_.load() != generation) return;
      self->status_ = status;
      StatusBlock block;
      {
        std::lock_guard lock(self->mutex_);
        block = self->block_;
      }
      if (block) block(status);
    }
    kit::NotificationCenter::defaultCenter()->postNotificationName(
        SDPNetworkingReachabilityDidChangeNotification, nullptr,
        kit::dict({{SDPNetworkingReachabilityNotificationStatusItem, static_cast<long long>(status)}}));
  });
}
