// Reachability statuses from flags, and monitoring with injected flags.
#include "net/network_reachability_manager.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <atomic>
#include <thread>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"

namespace {

using Status = SDPNetworkReachabilityStatus;

// Flags the reachability objects report while it exists.
class InjectedFlags {
 public:
  explicit InjectedFlags(uint32_t flags) : flags_(std::make_shared<std::atomic<uint32_t>>(flags)) {
    auto flagsRef = flags_;
    kit::NetworkReachability::setFlagsSource(
        [flagsRef](const kit::NetworkReachability::Target&) { return flagsRef->load(); });
  }
  ~InjectedFlags() { kit::NetworkReachability::setFlagsSource(nullptr); }
  void change(uint32_t flags) {
    flags_->store(flags);
    kit::NetworkReachability::flagsChanged();
  }

 private:
  std::shared_ptr<std::atomic<uint32_t>> flags_;
};

TEST(NetworkReachabilityManager, StatusFromFlags) {
  using namespace kit;
  EXPECT_EQ(SDPNetworkReachabilityStatusForFlags(0), Status::NotReachable);
  EXPECT_EQ(SDPNetworkReachabilityStatusForFlags(ReachabilityReachable), Status::ReachableViaWiFi);
  EXPECT_EQ(SDPNetworkReachabilityStatusForFlags(ReachabilityReachable | ReachabilityIsWWAN), Status::ReachableViaWWAN);
  EXPECT_EQ(SDPNetworkReachabilityStatusForFlags(ReachabilityReachable | ReachabilityConnectionRequired),
            Status::NotReachable);
  EXPECT_EQ(SDPNetworkReachabilityStatusForFlags(ReachabilityReachable | ReachabilityConnectionRequired |
                                                 ReachabilityConnectionOnDemand),
            Status::ReachableViaWiFi);
  EXPECT_EQ(SDPNetworkReachabilityStatusForFlags(ReachabilityReachable | ReachabilityConnectionRequired |
                                                 ReachabilityConnectionOnTraffic),
            Status::ReachableViaWiFi);
  EXPECT_EQ(SDPNetworkReachabilityStatusForFlags(ReachabilityReachable | ReachabilityConnectionRequired |
                                                 ReachabilityConnectionOnDemand | ReachabilityInterventionRequired),
            Status::NotReachable);
  EXPECT_EQ(SDPNetworkReachabilityStatusForFlags(ReachabilityIsWWAN), Status::NotReachable);
}

TEST(NetworkReachabilityManager, NewManagerIsUndetermined) {
  auto manager = SDPNetworkReachabilityManager::manager();
  ASSERT_TRUE(manager);
  EXPECT_EQ(manager->networkReachabilityStatus(), Status::Unknown);
  EXPECT_FALSE(manager->isReachable());
  EXPECT_EQ(manager->localizedNetworkReachabilityStatusString(), "Unknown");
  EXPECT_FALSE(SDPNetworkReachabilityManager::init());
  EXPECT_FALSE(SDPNetworkReachabilityManager::managerForDomain(""));
  EXPECT_TRUE(SDPNetworkReachabilityManager::managerForDomain("example.com"));
  EXPECT_EQ(SDPNetworkReachabilityManager::sharedManager(), SDPNetworkReachabilityManager::sharedManager());
  EXPECT_EQ(SDPStringFromNetworkReachabilityStatus(static_cast<Status>(7)), "Unknown");
}

TEST(NetworkReachabilityManager, MonitoringDeliversOnTheMainQueue) {
  InjectedFlags flags(kit::ReachabilityReachable);
  auto manager = SDPNetworkReachabilityManager::manager();
  std::vector<Status> seen;
  manager->setReachabilityStatusChangeBlock([&](Status status) {
    EXPECT_TRUE(kit::RunLoop::isMainThread());
    seen.push_back(status);
  });
  std::vector<long long> posted;
  auto token = kit::NotificationCenter::defaultCenter()->addObserverForName(
      SDPNetworkingReachabilityDidChangeNotification, nullptr, [&](const kit::Ref<kit::Notification>& n) {
        EXPECT_TRUE(kit::RunLoop::isMainThread());
        posted.push_back(
            kit::as<kit::Number>(n->userInfo()->objectForKey(SDPNetworkingReachabilityNotificationStatusItem))
                ->longLongValue());
      });

  manager->startMonitoring();
  ASSERT_TRUE(kit::test::runUntil([&] { return !seen.empty(); }));
  EXPECT_EQ(seen.front(), Status::ReachableViaWiFi);
  EXPECT_EQ(manager->networkReachabilityStatus(), Status::ReachableViaWiFi);
  EXPECT_TRUE(manager->isReachableViaWiFi());
  EXPECT_EQ(manager->localizedNetworkReachabilityStatusString(), "Reachable via WiFi");

  flags.change(kit::ReachabilityReachable | kit::ReachabilityIsWWAN);
  ASSERT_TRUE(kit::test::runUntil([&] { return manager->isReachableViaWWAN(); }));
  ASSERT_TRUE(kit::test::runUntil([&] { return !posted.empty() && posted.back() == 1; }));
  EXPECT_EQ(seen.back(), Status::ReachableViaWWAN);

  manager->stopMonitoring();
  size_t before = seen.size();
  size_t postedBefore = posted.size();
  flags.change(0);
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  kit::RunLoop::main().runOnce(kit::DefaultRunLoopMode, 0);
  EXPECT_EQ(seen.size(), before);
  EXPECT_EQ(posted.size(), postedBefore);
  EXPECT_EQ(manager->networkReachabilityStatus(), Status::ReachableViaWWAN);
  kit::NotificationCenter::defaultCenter()->removeObserver(token);
}

TEST(NetworkReachabilityManager, StopRightAfterStartDropsTheFirstQuery) {
  InjectedFlags flags(kit::ReachabilityReachable);
  auto manager = SDPNetworkReachabilityManager::manager();
  int calls = 0;
  manager->setReachabilityStatusChangeBlock([&](Status) { ++calls; });
  manager->startMonitoring();
  manager->stopMonitoring();
  ASSERT_TRUE(kit::test::drain(kit::Queue::global(kit::Queue::Priority::Background)));
  ASSERT_TRUE(kit::test::drain(kit::Queue::main()));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(manager->networkReachabilityStatus(), Status::Unknown);
}

}  // namespace
