// Writing the client's configuration into a bundle's service list.
#include "sim/bundle_configuration.h"

#include "config/client_configuration.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/uuid.h"

namespace sim {

bool writeBundleConfiguration(const std::string& bundleDirectory, const kit::Ref<kit::Dictionary>& entries) {
  auto files = kit::FileManager::defaultManager();
  if (!files->createDirectoryAtPath(bundleDirectory, true)) return false;
  std::string path = bundleDirectory + "/" + ClientConfiguration::kServiceHostsResource + ".plist";
  auto info = kit::MutableDictionary::make();
  if (auto existing = kit::dictionaryWithContentsOfFile(path)) info->addEntriesFromDictionary(*existing);
  if (entries) info->addEntriesFromDictionary(*entries);
  bool written = kit::writePropertyListToFile(info, path);
  ClientConfiguration::shared().reload();
  return written;
}

ScopedBundleConfiguration::ScopedBundleConfiguration(const kit::Ref<kit::Dictionary>& entries) {
  directory_ = kit::temporaryDirectory()->utf8() + "/sim-bundle-" + kit::UUID::make()->UUIDString();
  writeBundleConfiguration(directory_, entries);
  kit::Bundle::setMainBundlePath(directory_);
}

ScopedBundleConfiguration::~ScopedBundleConfiguration() {
  kit::Bundle::setMainBundlePath("");
  kit::FileManager::defaultManager()->removeItemAtPath(directory_);
}

}  // namespace sim
