// Reachability, standing in for the platform's network-reachability
// service: flags telling whether a host name, an address or the network in
// general can be reached and how, read from the host's interfaces
// (getifaddrs), and a callback on a run loop when they change.
//
// Where the flags come from can be replaced (tests inject flags and then
// announce a change with flagsChanged()).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "kit/foundation/object.h"

namespace kit {

class RunLoop;

// The platform's flag bits.
enum NetworkReachabilityFlags : uint32_t {
  ReachabilityTransientConnection = 1u << 0,
  ReachabilityReachable = 1u << 1,
  ReachabilityConnectionRequired = 1u << 2,
  ReachabilityConnectionOnTraffic = 1u << 3,
  ReachabilityInterventionRequired = 1u << 4,
  ReachabilityConnectionOnDemand = 1u << 5,
  ReachabilityIsLocalAddress = 1u << 16,
  ReachabilityIsDirect = 1u << 17,
  ReachabilityIsWWAN = 1u << 18,
};

class NetworkReachability : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // What the reachability object watches.
  struct Target {
    std::optional<std::string> host;         // a host name
    std::optional<sockaddr_storage> address;  // or an address
  };
  using Callback = std::function<void(NetworkReachability& reachability, uint32_t flags)>;
  using FlagsSource = std::function<uint32_t(const Target& target)>;

  // nil for an empty name.
  static Ref<NetworkReachability> createWithName(std::string_view host);
  // nil for an address that is not IPv4 or IPv6.
  static Ref<NetworkReachability> createWithAddress(const sockaddr* address);

  explicit NetworkReachability(Target target);
  ~NetworkReachability() override;

  const Target& target() const { return target_; }
  // The current flags; false when they cannot be read.
  bool getFlags(uint32_t* flags) const;
  // Replaces the callback (nil removes it).
  bool setCallback(Callback callback);
  // Delivers flag changes on `runLoop` (in its common modes) until
  // unscheduled. One run loop at a time.
  bool scheduleWithRunLoop(RunLoop& runLoop);
  bool unscheduleFromRunLoop();

  // The process-wide source of flags; nil restores the interfaces.
  static void setFlagsSource(FlagsSource source);
  // Every scheduled object reads its flags again now and calls its callback
  // (on its run loop) when they differ from the last ones delivered.
  static void flagsChanged();
  // Flags from the host's interfaces (what the default source reads).
  static uint32_t interfaceFlags(const Target& target);

 private:
  void check();

  Target target_;
  mutable std::mutex mutex_;
  Callback callback_;
  RunLoop* runLoop_ = nullptr;
  std::optional<uint32_t> lastDelivered_;
};

}  // namespace kit
