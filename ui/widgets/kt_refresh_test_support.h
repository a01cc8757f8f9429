// Test support for the pull-to-refresh tests (header only, used by the
// *_test.cc files of this folder): a main bundle for the whole process
// holding the shipped refresh bundle and an application string table that
// overrides one text, a user-defaults file per test, a virtual clock whose
// wall time starts at a fixed local date, a window with a table of rows,
// and a finger that pulls the table one point per event.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/calendar.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/table_view.h"
#include "kit/ui/table_view_cell.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace refresh_test {

// The text the application's own table gives one key.
inline constexpr const char* kOverriddenKey = "KTRefreshBackFooterNoMoreDataText";
inline constexpr const char* kOverriddenText = "Nothing further (app)";

// A folder for the process: Info.plist, VIROV.bundle/KTRefresh.bundle copied
// from the source tree, and Localizable.strings overriding one key. With
// `withVirov` false the refresh bundle sits at the top as KTRefresh.bundle.
// Made on first use; removed when the process ends normally, or by
// removeProcessBundles().
class ProcessBundle {
 public:
  explicit ProcessBundle(bool virov) {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path() / ("refresh-bundle-" + std::to_string(random()));
    std::filesystem::create_directories(base);
    path_ = base.string();
    kit::writePropertyListToFile(kit::dict({{"CFBundleIdentifier", "com.example.refresh"}}), path_ + "/Info.plist");
    const auto target = virov ? base / "VIROV.bundle" / "KTRefresh.bundle" : base / "KTRefresh.bundle";
    std::filesystem::create_directories(target);
    std::filesystem::copy(std::filesystem::path(REFRESH_RESOURCES_DIR) / "VIROV.bundle" / "KTRefresh.bundle", target,
                          std::filesystem::copy_options::recursive);
    std::ofstream(base / "Localizable.strings") << "\"" << kOverriddenKey << "\" = \"" << kOverriddenText << "\";\n";
  }
  ~ProcessBundle() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ProcessBundle(const ProcessBundle&) = delete;
  ProcessBundle& operator=(const ProcessBundle&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The process's two bundles, with and without VIROV.bundle.
inline std::unique_ptr<ProcessBundle>& processBundleSlot(bool withVirov) {
  static std::unique_ptr<ProcessBundle> inside, outside;
  return withVirov ? inside : outside;
}

inline std::string processBundle(bool withVirov = true) {
  auto& slot = processBundleSlot(withVirov);
  if (!slot) slot = std::make_unique<ProcessBundle>(withVirov);
  return slot->path();
}

// Removes the process's bundles, for a process that ends without running
// its static destructors (a death test's child, which ends by _Exit).
inline void removeProcessBundles() {
  processBundleSlot(true).reset();
  processBundleSlot(false).reset();
}

// Removes a user-defaults file and the lock file the defaults make beside it.
inline void removeDefaultsFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  std::filesystem::remove(path + ".lock", ignored);
}

// The wall time of a local civil date.
inline double wallTime(long year, long month, long day, long hour, long minute) {
  kit::DateComponents c;
  c.year = year;
  c.month = month;
  c.day = day;
  c.hour = hour;
  c.minute = minute;
  c.second = 0;
  return kit::Calendar::calendarWithIdentifier(kit::CalendarIdentifierGregorian)
      ->dateFromComponents(c)
      ->timeIntervalSince1970();
}

// Rows per section; sections may be empty.
class Rows : public kit::TableViewDataSource {
 public:
  std::vector<long> sections{20};
  long numberOfSectionsInTableView(kit::TableView&) override { return static_cast<long>(sections.size()); }
  long numberOfRowsInSection(kit::TableView&, long section) override { return sections[section]; }
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView&, const kit::IndexPath&) override {
    return kit::TableViewCell::make();
  }
};

// The clock stands at 2026-03-15 10:30 local time; the window holds a
// table 375 x 400 at y 100 (no safe area reaches it), 44-point rows.
class RefreshTest : public ::testing::Test {
 protected:
  static constexpr double TableY = 100, TableW = 375, TableH = 400, RowH = 44;

  void SetUp() override {
    kit::Bundle::setMainBundlePath(processBundle());
    kit::Bundle::setPreferredLanguages({"en-US"});
    defaultsPath_ = (std::filesystem::temp_directory_path() /
                     ("refresh-defaults-" + std::to_string(std::random_device{}()) + ".plist"))
                        .string();
    kit::UserDefaults::setStandardPath(defaultsPath_);
    clock_ = std::make_unique<kit::VirtualClock>(wallTime(2026, 3, 15, 10, 30));
    window = kit::Window::make();
    window->makeKeyAndVisible();
    rows = std::make_shared<Rows>();
    table = kit::TableView::make(kit::Rect{0, TableY, TableW, TableH});
    table->setRowHeight(RowH);
    table->setDataSource(rows);
    window->addSubview(table);
    table->reloadData();
    window->layoutIfNeeded();
  }
  void TearDown() override {
    window.reset();
    table.reset();
    kit::Application::shared()->reset();
    clock_.reset();
    kit::UserDefaults::setStandardPath("");
    removeDefaultsFile(defaultsPath_);
  }

  void advance(double seconds) { clock_->advance(seconds); }
  void settle() { clock_->settle(); }
  double now() const { return clock_->now(); }

  // A finger on the table: put down at its centre and moved past the pan's
  // start distance (downwards to pull, upwards to push), then moved point
  // by point until the content offset reads `offsetY`, then lifted.
  void fingerDown(bool downwards = true) {
    start_ = {TableW / 2, TableY + TableH / 2};
    fingerY_ = start_.y;
    kit::test::touchDown(*window, start_);
    for (int i = 1; i <= static_cast<int>(kit::PanGestureRecognizer::Hysteresis); ++i) {
      fingerY_ += downwards ? 1 : -1;
      kit::test::touchMove(*window, {start_.x, fingerY_});
    }
  }
  void moveTo(double offsetY) {
    for (int guard = 0; table->contentOffset().y != offsetY && guard < 5000; ++guard) {
      fingerY_ += table->contentOffset().y > offsetY ? 1 : -1;
      kit::test::touchMove(*window, {start_.x, fingerY_});
    }
    ASSERT_EQ(table->contentOffset().y, offsetY);
  }
  void fingerUp() { kit::test::touchUp(*window, {start_.x, fingerY_}); }

  std::unique_ptr<kit::VirtualClock> clock_;
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;
  kit::Ref<kit::TableView> table;
  std::shared_ptr<Rows> rows;

 private:
  std::string defaultsPath_;
  kit::Point start_;
  double fingerY_ = 0;
};

}  // namespace refresh_test
