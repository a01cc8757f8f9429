// The refresh kit's resources: the texts per preferred language (chosen
// once per process, so each language runs in a process of its own), the
// application's table overriding the kit's, missing keys, the bundle inside
// or outside VIROV.bundle, the labels' font and colour, and the arrow drawn
// in the state text's colour.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "kit/graphics/bitmap.h"
#include "kit/ui/font.h"
#include "kit/ui/render.h"
#include "ui/widgets/kt_refresh_footer.h"
#include "ui/widgets/kt_refresh_normal_header.h"
#include "ui/widgets/kt_refresh_test_support.h"
#include "ui/widgets/ns_bundle_kt_refresh.h"
#include "ui/widgets/ui_scroll_view_kt_refresh.h"

namespace {

using refresh_test::RefreshTest;
using Texts = NSBundleKTRefresh;

// Runs `check` in a fresh process (the language and the bundle are chosen
// once per process) and expects it to hold there. That process ends at
// once, without the test's tear-down or its static destructors: it removes
// the bundles and the defaults file it made first.
void inOwnProcess(const std::function<bool()>& check) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const bool held = check();
        refresh_test::removeProcessBundles();
        refresh_test::removeDefaultsFile(kit::UserDefaults::standardPath());
        std::_Exit(held ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

bool idleTextIs(const std::string& language, const std::string& expected) {
  kit::Bundle::setPreferredLanguages({language});
  const std::string text = Texts::KT_localizedStringForKey(KTRefreshHeaderIdleText);
  if (text != expected) std::fprintf(stderr, "%s gave \"%s\"\n", language.c_str(), text.c_str());
  // The choice is held: a later change of preference does not move it.
  kit::Bundle::setPreferredLanguages({"en"});
  return text == expected && Texts::KT_localizedStringForKey(KTRefreshHeaderIdleText) == expected;
}

using RefreshTexts = RefreshTest;

TEST_F(RefreshTexts, EachPreferredLanguagePicksItsTable) {
  inOwnProcess([] { return idleTextIs("en-US", "Pull down to refresh"); });
  inOwnProcess([] { return idleTextIs("zh-Hans-CN", "下拉即可刷新"); });
  inOwnProcess([] { return idleTextIs("zh-Hant-TW", "下拉即可重新整理"); });
  inOwnProcess([] { return idleTextIs("fr-FR", "Pull down to refresh"); });
  EXPECT_EQ(Texts::languageForPreferredLanguage("zh"), "zh-Hant");
  EXPECT_EQ(Texts::languageForPreferredLanguage("zh-HK"), "zh-Hant");
  EXPECT_EQ(Texts::languageForPreferredLanguage(""), "en");
}

TEST_F(RefreshTexts, TheApplicationsTableWinsAndAMissingKeyShowsItself) {
  EXPECT_EQ(Texts::KT_localizedStringForKey(refresh_test::kOverriddenKey), refresh_test::kOverriddenText);
  EXPECT_EQ(Texts::KT_localizedStringForKey("KTRefreshNoSuchText"), "KTRefreshNoSuchText");
  EXPECT_EQ(Texts::KT_localizedStringForKey("KTRefreshNoSuchText", "fallback"), "fallback");
  EXPECT_EQ(Texts::KT_localizedStringForKey(KTRefreshHeaderLastTimeText), "Updated: ");
}

TEST_F(RefreshTexts, TheBundleSitsInsideVirovWhenTheApplicationHasIt) {
  inOwnProcess([] {
    kit::Bundle::setMainBundlePath(refresh_test::processBundle(false));
    auto outside = Texts::KT_refreshBundle();
    return outside && outside->bundlePath() == refresh_test::processBundle(false) + "/KTRefresh.bundle" &&
           Texts::KT_localizedStringForKey(KTRefreshAutoFooterIdleText) == "Tap or pull up to load more" &&
           Texts::KT_arrowImage();
  });
  // No refresh bundle at all: the texts are their keys, the arrow is empty.
  inOwnProcess([] {
    const auto empty = std::filesystem::temp_directory_path() / ("refresh-empty-" + std::to_string(getpid()));
    std::filesystem::create_directories(empty);
    kit::Bundle::setMainBundlePath(empty.string());
    auto header = KTRefreshNormalHeader::make();
    const bool ok = !Texts::KT_refreshBundle() && header->stateLabel()->text() == KTRefreshHeaderIdleText &&
                    !header->arrowView()->image();
    std::filesystem::remove_all(empty);
    return ok;
  });
  // Here, after the other processes: the bundle is chosen once per process.
  auto bundle = Texts::KT_refreshBundle();
  ASSERT_TRUE(bundle);
  EXPECT_TRUE(bundle->bundlePath().ends_with("/VIROV.bundle/KTRefresh.bundle"));
}

TEST_F(RefreshTexts, LabelsAreBoldGreyAndTheArrowTakesTheirColour) {
  auto header = KTRefreshNormalHeader::make();
  auto footer = KTRefreshAutoNormalFooter::make();
  for (const auto& label : {header->stateLabel(), header->lastUpdatedTimeLabel(), footer->stateLabel()}) {
    EXPECT_EQ(label->font()->pointSize(), 14);
    EXPECT_TRUE(label->font()->isEqual(*kit::Font::boldSystemFont(14)));
    EXPECT_TRUE(label->textColor()->isEqual(*kit::Color::rgba(90 / 255.0, 90 / 255.0, 90 / 255.0, 1)));
  }
  auto arrow = Texts::KT_arrowImage();
  ASSERT_TRUE(arrow);
  EXPECT_EQ(arrow->renderingMode(), kit::ImageRenderingMode::AlwaysTemplate);
  EXPECT_EQ(arrow->size(), (kit::Size{15, 40}));
  EXPECT_EQ(arrow->scale(), 2);

  UIScrollViewKTRefresh::setKT_header(*table, header);
  fingerDown();
  moveTo(-54);
  window->layoutIfNeeded();
  const kit::Rect arrowFrame = kit::test::frameInWindow(*header->arrowView());
  auto shot = kit::render(*window);
  const double scale = static_cast<double>(shot->width()) / window->bounds().size.width;
  const kit::Pixel shaft = shot->pixelAt(static_cast<size_t>(arrowFrame.midX() * scale),
                                         static_cast<size_t>(arrowFrame.midY() * scale));
  EXPECT_NEAR(shaft.r, 90, 3);
  EXPECT_NEAR(shaft.g, 90, 3);
  EXPECT_NEAR(shaft.b, 90, 3);
  // Beside the shaft the table shows through.
  const kit::Pixel beside = shot->pixelAt(static_cast<size_t>((arrowFrame.maxX() + 2) * scale),
                                          static_cast<size_t>(arrowFrame.midY() * scale));
  EXPECT_GT(beside.r, 240);
  fingerUp();
}

}  // namespace

namespace {

// A temporary folder for a process of its own: the test process makes it
// and points TMPDIR at it, and the process started for the test, which
// runs this test's set-up and body again, finds it through the variables
// it inherits.
constexpr const char* kOwnFolderVariable = "KT_REFRESH_TEST_OWN_TMPDIR";

// In its own process, the test's bundles, its defaults file and their lock
// are made in a folder of the test's own: that folder is empty once the
// process has ended.
TEST(RefreshOwnProcess, LeavesNothingInTheTemporaryFolder) {
  std::string folder;
  std::string savedTmp;
  bool hadTmp = false;
  const bool parent = std::getenv(kOwnFolderVariable) == nullptr;
  if (parent) {
    folder = (std::filesystem::temp_directory_path() / ("refresh-own-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(folder);
    if (const char* tmp = std::getenv("TMPDIR")) {
      hadTmp = true;
      savedTmp = tmp;
    }
    ::setenv("TMPDIR", folder.c_str(), 1);
    ::setenv(kOwnFolderVariable, folder.c_str(), 1);
  }
  // What a test of the fixture makes on its way in (its process's bundle
  // and a defaults file), then both bundles and the defaults written under
  // their lock.
  inOwnProcess([] {
    kit::Bundle::setMainBundlePath(refresh_test::processBundle());
    kit::UserDefaults::setStandardPath(
        (std::filesystem::temp_directory_path() / ("refresh-defaults-" + std::to_string(getpid()) + ".plist"))
            .string());
    kit::Bundle::setMainBundlePath(refresh_test::processBundle(false));
    auto defaults = kit::UserDefaults::standardUserDefaults();
    defaults->setObject(kit::str("1"), "refresh.own");
    return defaults->synchronize() && Texts::KT_refreshBundle() != nullptr;
  });
  if (!parent) return;
  ::unsetenv(kOwnFolderVariable);
  if (hadTmp) ::setenv("TMPDIR", savedTmp.c_str(), 1);
  else ::unsetenv("TMPDIR");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) left.push_back(entry.path().filename());
  EXPECT_TRUE(left.empty()) << left.size() << " left, first " << (left.empty() ? "" : left.front());
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
