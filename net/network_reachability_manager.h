// Watching whether a host, an address or the network in general can be
// reached, and through which kind of interface. The platform's flags become
// one of four statuses; every change updates the manager's status, calls
// its status callback and posts the reachability-change notification, all
// on the main queue.
//
// Nothing in the client starts monitoring; a manager stays at "not
// determined" (-1) until a caller does.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "kit/net/network_reachability.h"

enum class SDPNetworkReachabilityStatus : int64_t {
  Unknown = -1,
  NotReachable = 0,
  ReachableViaWWAN = 1,
  ReachableViaWiFi = 2,
};

// Posted with no object and {status item: status as a number}.
inline constexpr const char* SDPNetworkingReachabilityDidChangeNotification = "com.sdp.networking.reachability.change";
inline constexpr const char* SDPNetworkingReachabilityNotificationStatusItem =
    "SDPNetworkingReachabilityNotificationStatusItem";

// The status the platform's flags mean.
SDPNetworkReachabilityStatus SDPNetworkReachabilityStatusForFlags(uint32_t flags);
// "Unknown", "Not Reachable", "Reachable via WWAN" or "Reachable via WiFi",
// from the "SDPNetworking" string table.
std::string SDPStringFromNetworkReachabilityStatus(SDPNetworkReachabilityStatus status);

class SDPNetworkReachabilityManager : public kit::Object {
 public:
  using StatusBlock = std::function<void(SDPNetworkReachabilityStatus status)>;

  // One manager for the process, made by manager() on first use.
  static kit::Ref<SDPNetworkReachabilityManager> sharedManager();
  // Nil for an empty host name.
  static kit::Ref<SDPNetworkReachabilityManager> managerForDomain(std::string_view domain);
  // Nil for an address that is neither IPv4 nor IPv6.
  static kit::Ref<SDPNetworkReachabilityManager> managerForAddress(const sockaddr* address);
  // Watches 0.0.0.0: whether there is a network at all.
  static kit::Ref<SDPNetworkReachabilityManager> manager();
  // Nil without a reachability object.
  static kit::Ref<SDPNetworkReachabilityManager> initWithReachability(kit::Ref<kit::NetworkReachability> reachability);
  // A manager always needs a reachability object: this gives none.
  static kit::Ref<SDPNetworkReachabilityManager> init() { return nullptr; }

  explicit SDPNetworkReachabilityManager(kit::Ref<kit::NetworkReachability> reachability);
  ~SDPNetworkReachabilityManager() override;

  const kit::Ref<kit::NetworkReachability>& networkReachability() const { return reachability_; }
  SDPNetworkReachabilityStatus networkReachabilityStatus() const { return status_.load(); }
  bool isReachable() const { return isReachableViaWWAN() || isReachableViaWiFi(); }
  bool isReachableViaWWAN() const { return status_ == SDPNetworkReachabilityStatus::ReachableViaWWAN; }
  bool isReachableViaWiFi() const { return status_ == SDPNetworkReachabilityStatus::ReachableViaWiFi; }
  std::string localizedNetworkReachabilityStatusString() const {
    return SDPStringFromNetworkReachabilityStatus(status_);
  }

  void setReachabilityStatusChangeBlock(StatusBlock block);

  // Delivers the current status once (read on a background queue) and then
  // every change, until stopMonitoring.
  void startMonitoring();
  // No more deliveries, including one still on its way from an earlier
  // startMonitoring.
  void stopMonitoring();

 private:
  // Hands a status to the manager (when it still exists and is still
  // monitoring in that generation) and posts the notification, on the main
  // queue.
  static void deliver(const kit::Weak<SDPNetworkReachabilityManager>& weak, uint32_t flags, uint64_t generation);

  kit::Ref<kit::NetworkReachability> reachability_;
  std::atomic<SDPNetworkReachabilityStatus> status_{SDPNetworkReachabilityStatus::Unknown};
  std::mutex mutex_;
  StatusBlock block_;
  // Bumped by every start and stop; a delivery of another generation is
  // dropped.
  std::atomic<uint64_t> generation_{0};
};
