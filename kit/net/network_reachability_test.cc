// Reachability flags: from the interfaces, from an injected source, and
// change callbacks on the main run loop.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <sys/un.h>

#include <atomic>

#include "kit/dispatch/runloop.h"
#include "kit/net/network_reachability.h"
#include "kit/testing/run_until.h"

namespace kit {
namespace {

sockaddr_in ipv4(const char* text) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  inet_pton(AF_INET, text, &addr.sin_addr);
  return addr;
}

struct InjectedFlags {
  std::atomic<uint32_t> flags{ReachabilityReachable};
  InjectedFlags() {
    NetworkReachability::setFlagsSource([this](const NetworkReachability::Target&) { return flags.load(); });
  }
  ~InjectedFlags() { NetworkReachability::setFlagsSource(nullptr); }
};

TEST(NetworkReachability, FactoriesRejectWhatCannotBeWatched) {
  EXPECT_FALSE(NetworkReachability::createWithName(""));
  sockaddr_un local{};
  local.sun_family = AF_UNIX;
  EXPECT_FALSE(NetworkReachability::createWithAddress(reinterpret_cast<sockaddr*>(&local)));
  auto zero = ipv4("0.0.0.0");
  auto general = NetworkReachability::createWithAddress(reinterpret_cast<sockaddr*>(&zero));
  ASSERT_TRUE(general);
  uint32_t flags = 0xffffffff;
  EXPECT_TRUE(general->getFlags(&flags));
  EXPECT_EQ(flags & ~(ReachabilityReachable | ReachabilityIsWWAN), 0u) << "interfaces give reachable, maybe WWAN";
}

TEST(NetworkReachability, LoopbackIsLocalAndDirect) {
  auto loop = ipv4("127.0.0.1");
  auto reachability = NetworkReachability::createWithAddress(reinterpret_cast<sockaddr*>(&loop));
  uint32_t flags = 0;
  ASSERT_TRUE(reachability->getFlags(&flags));
  EXPECT_EQ(flags, ReachabilityReachable | ReachabilityIsLocalAddress | ReachabilityIsDirect);
  uint32_t byName = 0;
  NetworkReachability::createWithName("localhost")->getFlags(&byName);
  EXPECT_EQ(byName, flags);
}

TEST(NetworkReachability, ChangesArriveOnTheMainRunLoopOnlyWhenFlagsDiffer) {
  InjectedFlags injected;
  auto reachability = NetworkReachability::createWithName("api.example.test");
  std::vector<uint32_t> seen;
  bool onMain = true;
  reachability->setCallback([&](NetworkReachability&, uint32_t flags) {
    seen.push_back(flags);
    onMain = onMain && RunLoop::isMainThread();
  });
  ASSERT_TRUE(reachability->scheduleWithRunLoop(RunLoop::main()));
  EXPECT_FALSE(reachability->scheduleWithRunLoop(RunLoop::main())) << "one run loop at a time";
  NetworkReachability::flagsChanged();  // same flags: nothing to say
  injected.flags = ReachabilityReachable | ReachabilityIsWWAN;
  NetworkReachability::flagsChanged();
  EXPECT_TRUE(seen.empty()) << "delivered by the run loop, not by the caller";
  ASSERT_TRUE(test::runUntil([&] { return !seen.empty(); }));
  injected.flags = 0;
  NetworkReachability::flagsChanged();
  ASSERT_TRUE(test::runUntil([&] { return seen.size() == 2; }));
  EXPECT_EQ(seen, (std::vector<uint32_t>{ReachabilityReachable | ReachabilityIsWWAN, 0u}));
  EXPECT_TRUE(onMain);
  ASSERT_TRUE(reachability->unscheduleFromRunLoop());
  injected.flags = ReachabilityReachable;
  NetworkReachability::flagsChanged();
  RunLoop::main().runOnce(DefaultRunLoopMode, 0);
  EXPECT_EQ(seen.size(), 2u) << "no callback once unscheduled";
}

}  // namespace
}  // namespace kit
