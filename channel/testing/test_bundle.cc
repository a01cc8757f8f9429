// A temporary main bundle. See test_bundle.h.

#include "channel/testing/test_bundle.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "kit/foundation/bundle.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/pixel_format.h"
#include "kit/graphics/type_identifiers.h"

TestBundle::TestBundle(std::optional<std::string> gameId, std::string bundleIdentifier) {
  std::random_device random;
  auto base = std::filesystem::temp_directory_path() / ("channel-bundle-" + std::to_string(random()));
  std::filesystem::create_directories(base);
  path_ = base.string();
  kit::writePropertyListToFile(kit::dict({{"CFBundleIdentifier", bundleIdentifier}, {"CFBundleName", "星河远征"}}),
                               path_ + "/Info.plist");
  if (gameId) kit::writePropertyListToFile(kit::dict({{"game_id", *gameId}}), path_ + "/NUVAPLIST.plist");
  // A small splash picture, so screens that show it have one.
  auto splash = kit::Bitmap::create(4, 4, kit::PixelFormat::rgba8(), 0, std::vector<uint8_t>(4 * 4 * 4, 180));
  auto png = kit::ImageDestination::create(kit::UTType::PNG, 1);
  png->addImage(splash);
  if (png->finalize()) {
    std::ofstream(path_ + "/yxjkbg.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png->data().data()), static_cast<std::streamsize>(png->data().size()));
  }
  kit::Bundle::setMainBundlePath(path_);
}

bool TestBundle::addFile(const std::string& relativePath, std::span<const uint8_t> bytes) const {
  const std::filesystem::path file = std::filesystem::path(path_) / relativePath;
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

TestBundle::~TestBundle() {
  kit::Bundle::setMainBundlePath("");
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
