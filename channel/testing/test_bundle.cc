// A temporary main bundle. See test_bundle.h.

#include "channel/testing/test_bundle.h"

#include <filesystem>
#include <random>

#include "kit/foundation/bundle.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"

TestBundle::TestBundle(std::optional<std::string> gameId, std::string bundleIdentifier) {
  std::random_device random;
  auto base = std::filesystem::temp_directory_path() / ("channel-bundle-" + std::to_string(random()));
  std::filesystem::create_directories(base);
  path_ = base.string();
  kit::writePropertyListToFile(kit::dict({{"CFBundleIdentifier", bundleIdentifier}, {"CFBundleName", "星河远征"}}),
                               path_ + "/Info.plist");
  if (gameId) kit::writePropertyListToFile(kit::dict({{"game_id", *gameId}}), path_ + "/NUVAPLIST.plist");
  kit::Bundle::setMainBundlePath(path_);
}

TestBundle::~TestBundle() {
  kit::Bundle::setMainBundlePath("");
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
