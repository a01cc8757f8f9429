// The simulator writes the client's configuration: the addresses of the
// services it runs go into the application bundle's service list
// ("ServiceHosts.plist"), where the client reads its remote addresses from.
//
//   auto api = sim::PlatformAPIServer::start();
//   sim::ScopedBundleConfiguration configuration(api->configurationEntries());
//   ... the client now talks to the simulator ...
#pragma once

#include <string>

#include "kit/foundation/dictionary.h"

namespace sim {

// Merges `entries` into the service list of the bundle folder (made when
// missing). False when the file cannot be written.
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
