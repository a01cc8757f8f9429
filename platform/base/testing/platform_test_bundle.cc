// A temporary main bundle and defaults file for the platform tests. See
// platform_test_bundle.h.
#include "platform/base/testing/platform_test_bundle.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "kit/foundation/bundle.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/pixel_format.h"
#include "kit/graphics/type_identifiers.h"
#include "platform/base/share_vale.h"

PlatformTestBundle::PlatformTestBundle(Options options) {
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path() / ("platform-bundle-" + std::to_string(random()));
  std::filesystem::create_directories(base);
  path_ = base.string();
  kit::writePropertyListToFile(kit::dict({{"CFBundleIdentifier", "com.example.platform"}}), path_ + "/Info.plist");
  if (options.ktPlist) {
    writeKTPlist(kit::dict({{"TOLMIX_APPID", "10001"},
                            {"TOLMIX_GAMEID", "1001"},
                            {"TOLMIX_APPKEY", "k1"},
                            {"TOLMIX_AGENT", "agent7"}}));
  }
  if (options.resourceBundle) addFile("VIROV.bundle/KT_nav_back.png", solidPNG(20, 20, kArrowRed, kArrowGreen, kArrowBlue));
  kit::Bundle::setMainBundlePath(path_);
  kit::UserDefaults::setStandardPath(defaultsPath());
  ShareVale::distroyInstance();
}

PlatformTestBundle::~PlatformTestBundle() {
  ShareVale::distroyInstance();
  kit::UserDefaults::setStandardPath("");
  kit::Bundle::setMainBundlePath("");
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
  std::filesystem::remove(defaultsPath(), ignored);
  // The defaults lock their file through a file of their own beside it.
  std::filesystem::remove(defaultsPath() + ".lock", ignored);
}

void PlatformTestBundle::writeKTPlist(const kit::Ref<kit::Dictionary>& contents) const {
  kit::writePropertyListToFile(contents, path_ + "/KT.plist");
}

void PlatformTestBundle::removeKTPlist() const {
  std::error_code ignored;
  std::filesystem::remove(path_ + "/KT.plist", ignored);
}

void PlatformTestBundle::makeChannelFolder() const {
  std::filesystem::create_directories(std::filesystem::path(path_) / "KTAppInfo" / "Channel");
}

void PlatformTestBundle::addChannelEntry(const std::string& entry) const {
  makeChannelFolder();
  std::ofstream(std::filesystem::path(path_) / "KTAppInfo" / "Channel" / entry) << "";
}

bool PlatformTestBundle::addFile(const std::string& relativePath, std::span<const uint8_t> bytes) const {
  const std::filesystem::path file = std::filesystem::path(path_) / relativePath;
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<uint8_t> PlatformTestBundle::solidPNG(size_t width, size_t height, uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> pixels(width * height * 4);
  for (size_t i = 0; i < pixels.size(); i += 4) {
    pixels[i] = r;
    pixels[i + 1] = g;
    pixels[i + 2] = b;
    pixels[i + 3] = 255;
  }
  auto bitmap = kit::Bitmap::create(width, height, kit::PixelFormat::rgba8(), 0, std::move(pixels));
  auto png = kit::ImageDestination::create(kit::UTType::PNG, 1);
  png->addImage(bitmap);
  if (!png->finalize()) return {};
  return png->data();
}

void PlatformTestBundle::reloadUserDefaults() { kit::UserDefaults::resetStandardUserDefaults(); }
