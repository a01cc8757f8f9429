// The platform tests' temporary bundle cleans up after itself: once it goes,
// nothing it made is left in the temporary folder, the lock file the user
// defaults make beside their file included.
#include "platform/base/testing/platform_test_bundle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "platform/base/share_vale.h"

namespace {

namespace fs = std::filesystem;

TEST(PlatformTestBundleCleanUp, LeavesNothingBehindTheDefaultsLockIncluded) {
  std::string folder, defaults;
  {
    PlatformTestBundle bundle;
    folder = bundle.path();
    defaults = bundle.defaultsPath();
    bundle.addFile("VIROV.bundle/extra/picture.png", PlatformTestBundle::solidPNG(2, 2, 1, 2, 3));
    ShareVale::sharedInstance()->setSuHomeCount(3);
    auto standard = kit::UserDefaults::standardUserDefaults();
    standard->setObject(kit::str("v"), "platform.cleanup");
    ASSERT_TRUE(standard->synchronize());
    ASSERT_TRUE(fs::exists(defaults));
    ASSERT_TRUE(fs::exists(defaults + ".lock")) << "the defaults lock their file through one beside it";
  }
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(fs::exists(defaults));
  EXPECT_FALSE(fs::exists(defaults + ".lock"));
}

}  // namespace
