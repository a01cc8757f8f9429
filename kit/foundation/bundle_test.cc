// Bundles over a real directory: resource lookup (top level, subfolders,
// localized folders), Info.plist, localized strings with their fallbacks,
// and how the main bundle is found.

#include "kit/foundation/bundle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/temp_directory.h"

namespace kit {
namespace {

namespace fs = std::filesystem;

// Sets or clears environment variables for one test and puts them back.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(std::initializer_list<const char*> names) {
    for (const char* n : names) {
      const char* v = std::getenv(n);
      saved_.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
      unsetenv(n);
    }
  }
  ~ScopedEnvironment() {
    for (const auto& [n, v] : saved_) {
      if (v) setenv(n.c_str(), v->c_str(), 1);
      else unsetenv(n.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class BundleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(writePropertyListToFile(dict({{"CFBundleIdentifier", "com.example.game"},
                                              {"CFBundleDevelopmentRegion", "en"},
                                              {"Servers", array({"http://127.0.0.1:1/"})}}),
                                        dir_ + "/Info.plist"));
    write("en.lproj/Localizable.strings", "\"login\" = \"Log in\";\n\"only.en\" = \"English only\";\n");
    write("zh-Hans.lproj/Localizable.strings", "\"login\" = \"登录\";\n");
    write("zh-Hans.lproj/Menu.strings", "\"open\" = \"打开\";\n");
    write("zh-Hans.lproj/banner.png", "localized");
    write("Localizable.strings", "\"top\" = \"from the top\";\n");
    write("images/ball.png", "png");
    write("images/aa.png", "png");
    write("config.json", "{}");
    fs::create_directories(dir_ + "/Assets.bundle");
    Bundle::setPreferredLanguages({"zh-CN", "en"});
  }
  void TearDown() override {
    Bundle::setPreferredLanguages({});
    Bundle::setMainBundlePath("");
  }
  void write(const std::string& name, const std::string& text) {
    fs::path p = fs::path(dir_) / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }

  test::TempDirectory temp_{"kit-bundle"};
  const std::string& dir_ = temp_.path();
};

TEST_F(BundleTest, FindsResources) {
  EXPECT_EQ(Bundle::bundleWithPath(dir_ + "/nope"), nullptr);
  EXPECT_EQ(Bundle::bundleWithPath(dir_ + "/config.json"), nullptr);  // not a directory
  Ref<Bundle> bundle = Bundle::bundleWithPath(dir_);
  ASSERT_TRUE(bundle);
  EXPECT_EQ(Bundle::bundleWithPath(dir_ + "/"), bundle);  // one object per folder

  EXPECT_EQ(describe(bundle->pathForResource("config", "json")), dir_ + "/config.json");
  EXPECT_EQ(describe(bundle->pathForResource("config.json", "")), dir_ + "/config.json");
  EXPECT_EQ(describe(bundle->pathForResource("config", ".json")), dir_ + "/config.json");
  EXPECT_EQ(describe(bundle->pathForResource("ball", "png", "images")), dir_ + "/images/ball.png");
  EXPECT_EQ(describe(bundle->pathForResource("", "png", "images")), dir_ + "/images/aa.png");
  EXPECT_EQ(describe(bundle->pathForResource("Assets", "bundle")), dir_ + "/Assets.bundle");
  // Only in a localized folder.
  EXPECT_EQ(describe(bundle->pathForResource("banner", "png")), dir_ + "/zh-Hans.lproj/banner.png");
  EXPECT_EQ(bundle->pathForResource("missing", "png"), nullptr);
  EXPECT_EQ(bundle->pathForResource("ball", "png"), nullptr);  // it is in a subfolder
  EXPECT_EQ(describe(bundle->URLForResource("ball", "png", "images")), "file://" + dir_ + "/images/ball.png");
  // Nothing outside the bundle is reachable.
  write("Inner.bundle/x.txt", "x");
  Ref<Bundle> inner = Bundle::bundleWithPath(dir_ + "/Inner.bundle");
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->pathForResource("../config", "json"), nullptr);
  EXPECT_EQ(inner->pathForResource("config", "json", ".."), nullptr);
  EXPECT_EQ(inner->pathForResource("config", "json", "/"), nullptr);

  Ref<Array> pngs = bundle->pathsForResourcesOfType("png", "images");
  ASSERT_EQ(pngs->count(), 2u);
  EXPECT_EQ(describe(pngs->objectAtIndex(0)), dir_ + "/images/aa.png");
  EXPECT_EQ(describe(pngs->objectAtIndex(1)), dir_ + "/images/ball.png");
}

TEST_F(BundleTest, InfoDictionary) {
  Ref<Bundle> bundle = Bundle::bundleWithPath(dir_);
  ASSERT_TRUE(bundle);
  EXPECT_EQ(describe(bundle->bundleIdentifier()), "com.example.game");
  EXPECT_EQ(describe(bundle->objectForInfoDictionaryKey("Servers")[0]), "http://127.0.0.1:1/");
  EXPECT_EQ(bundle->objectForInfoDictionaryKey("Missing"), nullptr);

  // A bundle whose Info.plist is malformed reads as having none, and says so.
  write("Broken.bundle/Info.plist", "<plist><dict><key>a</key>");
  Ref<Bundle> broken = Bundle::bundleWithPath(dir_ + "/Broken.bundle");
  ASSERT_TRUE(broken);
  test::LogCapture logs;
  EXPECT_TRUE(broken->infoDictionary()->empty());
  EXPECT_EQ(broken->bundleIdentifier(), nullptr);
  EXPECT_TRUE(logs.contains("Broken.bundle/Info.plist is not a dictionary property list"));
}

TEST_F(BundleTest, LocalizedStringsFollowTheLanguagesAndFallBack) {
  Ref<Bundle> bundle = Bundle::bundleWithPath(dir_);
  ASSERT_TRUE(bundle);
  EXPECT_TRUE(isEqual(bundle->localizations(), array({"en", "zh-Hans"})));
  EXPECT_TRUE(isEqual(bundle->preferredLocalizations(), array({"zh-Hans", "en"})));

  EXPECT_EQ(describe(bundle->localizedStringForKey("login")), "登录");
  EXPECT_EQ(describe(bundle->localizedStringForKey("only.en")), "English only");  // next language
  EXPECT_EQ(describe(bundle->localizedStringForKey("top")), "from the top");     // non-localized table
  EXPECT_EQ(describe(bundle->localizedStringForKey("open", "", "Menu")), "打开");
  EXPECT_EQ(describe(bundle->localizedStringForKey("missing", "Fallback")), "Fallback");
  EXPECT_EQ(describe(bundle->localizedStringForKey("missing")), "missing");
  EXPECT_EQ(describe(bundle->localizedStringForKey("login", "", "NoSuchTable")), "login");

  Bundle::setPreferredLanguages({"fr-FR"});  // not available: the development region
  EXPECT_EQ(describe(bundle->localizedStringForKey("login")), "Log in");
  Bundle::setPreferredLanguages({"zh-Hans-CN"});
  EXPECT_EQ(describe(bundle->localizedStringForKey("login")), "登录");
  Bundle::setPreferredLanguages({"zh_TW"});  // traditional Chinese is not there
  EXPECT_EQ(describe(bundle->localizedStringForKey("login")), "Log in");

  // A malformed strings file gives no entries, not a failure, and is logged.
  write("en.lproj/Broken.strings", "\"a\" = ");
  test::LogCapture logs;
  EXPECT_EQ(describe(bundle->localizedStringForKey("a", "", "Broken")), "a");
  EXPECT_TRUE(logs.contains("Broken.strings: Strings file is malformed at line 1"));
}

TEST_F(BundleTest, MainBundleLocation) {
  Bundle::setMainBundlePath(dir_);
  EXPECT_EQ(Bundle::main()->bundlePath(), dir_);
  EXPECT_EQ(describe(localizedString("login")), "登录");

  Bundle::setMainBundlePath("");
  ScopedEnvironment env({"KIT_MAIN_BUNDLE"});
  setenv("KIT_MAIN_BUNDLE", (dir_ + "/Assets.bundle").c_str(), 1);
  EXPECT_EQ(Bundle::main()->bundlePath(), dir_ + "/Assets.bundle");
  unsetenv("KIT_MAIN_BUNDLE");

  // The default: "resources" next to the executable, even when it is missing.
  Ref<Bundle> fallback = Bundle::main();
  ASSERT_TRUE(fallback);
  EXPECT_TRUE(fallback->bundlePath().ends_with("/resources"));
  EXPECT_EQ(fallback->pathForResource("anything", "png"), nullptr);
}

TEST(BundleLanguages, ComeFromTheEnvironment) {
  ScopedEnvironment env({"KIT_LANGUAGES", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"});
  Bundle::setPreferredLanguages({});
  setenv("KIT_LANGUAGES", "zh-Hans,en", 1);
  EXPECT_EQ(Bundle::preferredLanguages(), (std::vector<std::string>{"zh-Hans", "en"}));
  unsetenv("KIT_LANGUAGES");
  setenv("LANGUAGE", "zh_CN:en_US", 1);
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(Bundle::preferredLanguages(), (std::vector<std::string>{"zh-CN", "en-US", "de-DE"}));
  unsetenv("LANGUAGE");
  setenv("LANG", "C", 1);
  EXPECT_EQ(Bundle::preferredLanguages(), (std::vector<std::string>{"en"}));
  Bundle::setPreferredLanguages({"ja"});
  EXPECT_EQ(Bundle::preferredLanguages(), (std::vector<std::string>{"ja"}));
  Bundle::setPreferredLanguages({});
}

}  // namespace
}  // namespace kit
