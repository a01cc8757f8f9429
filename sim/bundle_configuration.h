// The simulator writes the client's configuration into an application
// bundle: the addresses of the services it runs go into the bundle's list of
// service hosts (ClientConfiguration::kServiceHostsResource, that is
// "ServiceHosts.plist"), which the client reads below its overrides, its
// environment and its services file (see config/client_configuration.h).
//
//   auto api = sim::PlatformAPIServer::start();
//   sim::ScopedBundleConfiguration configuration(api->configurationEntries());
//   ... the client now talks to the simulator ...
#pragma once

#include <string>

#include "kit/foundation/dictionary.h"

namespace sim {

// Merges `entries` into the service list of the bundle folder (made when
// missing) and has the client read its configuration again. False when the
// file cannot be written.
bool writeBundleConfiguration(const std::string& bundleDirectory, const kit::Ref<kit::Dictionary>& entries);

// A fresh bundle folder under the temporary directory whose service list
// holds `entries`, made the main bundle while the object exists; the folder
// is removed and the main bundle restored afterwards.
class ScopedBundleConfiguration {
 public:
  explicit ScopedBundleConfiguration(const kit::Ref<kit::Dictionary>& entries);
  ~ScopedBundleConfiguration();
  ScopedBundleConfiguration(const ScopedBundleConfiguration&) = delete;
  ScopedBundleConfiguration& operator=(const ScopedBundleConfiguration&) = delete;

  const std::string& bundleDirectory() const { return directory_; }

 private:
  std::string directory_;
};

}  // namespace sim
