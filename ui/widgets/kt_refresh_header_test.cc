// The refresh headers driven as a player pulls a table: the trigger point,
// the refresh on release with its inset and callbacks, the inset while the
// player scrolls a refreshing list, the end of a refresh with the stored
// time, the last-updated line, the arrow and spinner, the image sequences,
// and the header in a rendered picture.

#include <gtest/gtest.h>

#include <cmath>

#include "kit/foundation/date.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/render.h"
#include "ui/widgets/kt_refresh_gif_header.h"
#include "ui/widgets/kt_refresh_normal_header.h"
#include "ui/widgets/kt_refresh_test_support.h"
#include "ui/widgets/ui_label_kt_refresh.h"
#include "ui/widgets/ui_scroll_view_kt_refresh.h"

namespace {

using refresh_test::RefreshTest;
using Slots = UIScrollViewKTRefresh;

class RefreshHeader : public RefreshTest {
 protected:
  void SetUp() override {
    RefreshTest::SetUp();
    header = KTRefreshNormalHeader::headerWithRefreshingBlock([this] { refreshes.push_back(now()); });
    Slots::setKT_header(*table, header);
    window->layoutIfNeeded();
  }
  // Pulls to `offsetY`, lets go and lets the spring-back start.
  void pullAndRelease(double offsetY) {
    fingerDown();
    moveTo(offsetY);
    fingerUp();
    advance(0.02);
  }
  // A picture of a still image `height` points tall.
  static kit::Ref<kit::Image> picture(double height) {
    kit::beginImageContext({10, height}, false, 1.0);
    kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
    kit::endImageContext();
    return image;
  }
  void store(double wall) {
    kit::UserDefaults::standardUserDefaults()->setObject(kit::Date::dateWithTimeIntervalSince1970(wall),
                                                         KTRefreshHeaderLastUpdatedTimeKey);
  }

  kit::Ref<KTRefreshNormalHeader> header;
  std::vector<double> refreshes;
};

TEST_F(RefreshHeader, TurnsPullingOnlyBeyondItsHeightAndBackAtIt) {
  EXPECT_EQ(header->frame(), (kit::Rect{0, -54, TableW, 54}));
  fingerDown();
  moveTo(-54);
  EXPECT_EQ(header->state(), KTRefreshState::Idle);
  EXPECT_EQ(header->stateLabel()->text(), "Pull down to refresh");
  moveTo(-55);
  EXPECT_EQ(header->state(), KTRefreshState::Pulling);
  EXPECT_EQ(header->stateLabel()->text(), "Let go to refresh");
  advance(0.25);
  const kit::AffineTransform turned = kit::AffineTransform::makeRotation(KTRefreshArrowRotation);
  EXPECT_NEAR(header->arrowView()->transform().a, turned.a, 1e-12);
  EXPECT_NEAR(header->arrowView()->transform().b, turned.b, 1e-12);
  EXPECT_LT(header->arrowView()->transform().b, 0);  // just short of a half turn, not a whole one
  moveTo(-54);
  EXPECT_EQ(header->state(), KTRefreshState::Idle);
  advance(0.25);
  EXPECT_EQ(header->arrowView()->transform(), kit::AffineTransform::identity());
  fingerUp();
  advance(1);
  EXPECT_EQ(header->state(), KTRefreshState::Idle);
  EXPECT_TRUE(refreshes.empty());
}

TEST_F(RefreshHeader, ReleasedWhilePullingHoldsTheListOpenThenRunsTheCallbacks) {
  const double released = now() + 0.02;
  pullAndRelease(-80);
  EXPECT_EQ(header->state(), KTRefreshState::Refreshing);
  EXPECT_EQ(header->stateLabel()->text(), "Refreshing...");
  EXPECT_TRUE(header->loadingView()->isAnimating());
  EXPECT_TRUE(header->arrowView()->isHidden());
  advance(0.2);
  EXPECT_TRUE(refreshes.empty());
  advance(0.1);
  ASSERT_EQ(refreshes.size(), 1u);
  EXPECT_NEAR(refreshes[0] - released, 0.25, 0.02);
  EXPECT_EQ(table->contentInset().top, 54);
  EXPECT_EQ(table->contentOffset().y, -54);
  advance(2);
  EXPECT_EQ(table->contentOffset().y, -54);
  EXPECT_EQ(refreshes.size(), 1u);

  // The header is on screen above the first row, its text in grey.
  EXPECT_EQ(kit::test::frameInWindow(*header), (kit::Rect{0, TableY, TableW, 54}));
  auto shot = kit::render(*window);
  const double scale = static_cast<double>(shot->width()) / window->bounds().size.width;
  int inked = 0;
  for (double y = TableY; y < TableY + 54; y += 0.5) {
    for (double x = 0; x < TableW; x += 0.5) {
      const kit::Pixel p = shot->pixelAt(static_cast<size_t>(x * scale), static_cast<size_t>(y * scale));
      if (p.a > 0 && p.r < 160 && std::abs(p.r - p.g) < 12 && std::abs(p.g - p.b) < 12) ++inked;
    }
  }
  EXPECT_GT(inked, 50);
  kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/refresh_header_refreshing.png");
}

TEST_F(RefreshHeader, ReleasedWhileIdleStaysIdleAndThePercentFallsWithTheBounce) {
  fingerDown();
  moveTo(-40);
  EXPECT_NEAR(header->pullingPercent(), 40.0 / 54, 1e-12);
  fingerUp();
  double last = header->pullingPercent();
  for (int i = 0; i < 30; ++i) {
    advance(1.0 / 60);
    EXPECT_LE(header->pullingPercent(), last);
    last = header->pullingPercent();
  }
  EXPECT_EQ(header->state(), KTRefreshState::Idle);
  EXPECT_EQ(header->pullingPercent(), 0.0);
  EXPECT_TRUE(refreshes.empty());
}

TEST_F(RefreshHeader, ARefreshingListGivesBackTheInsetAsItScrollsAndEndingClosesIt) {
  header->setAutomaticallyChangeAlpha(true);
  bool ended = false;
  pullAndRelease(-80);
  advance(0.3);
  fingerDown(false);
  moveTo(-20);
  EXPECT_EQ(table->contentInset().top, 20);
  EXPECT_EQ(header->insetTDelta(), -20);
  moveTo(30);
  EXPECT_EQ(table->contentInset().top, 0);  // never below the recorded inset
  fingerUp();
  advance(1);
  fingerDown();
  moveTo(-90);
  EXPECT_EQ(table->contentInset().top, 54);  // never above it + 54
  EXPECT_EQ(header->state(), KTRefreshState::Refreshing);
  fingerUp();
  advance(1);

  header->endRefreshingWithCompletionBlock([&] { ended = true; });
  EXPECT_EQ(header->state(), KTRefreshState::Refreshing);  // ends on a later main-queue turn
  settle();
  EXPECT_EQ(header->state(), KTRefreshState::Idle);
  EXPECT_EQ(table->contentInset().top, 0);
  EXPECT_EQ(table->contentOffset().y, 0);
  EXPECT_EQ(header->alpha(), 0.0);
  EXPECT_TRUE(header->loadingView()->isAnimating());  // the spinner fades first
  EXPECT_EQ(header->arrowView()->transform(), kit::AffineTransform::identity());
  advance(0.39);
  EXPECT_FALSE(ended);
  advance(0.02);
  EXPECT_TRUE(ended);
  EXPECT_EQ(header->pullingPercent(), 0.0);
  EXPECT_FALSE(header->loadingView()->isAnimating());
  EXPECT_FALSE(header->arrowView()->isHidden());
  EXPECT_EQ(header->loadingView()->alpha(), 1.0);
}

TEST_F(RefreshHeader, APullPastItsHeightAndBackAfterARefreshEndedIsNoEndOfARefresh) {
  pullAndRelease(-80);
  advance(0.3);
  ASSERT_EQ(refreshes.size(), 1u);
  int ends = 0;
  header->endRefreshingWithCompletionBlock([&] { ++ends; });
  settle();
  advance(1);
  ASSERT_EQ(ends, 1);
  auto stored = [] {
    auto date = kit::as<kit::Date>(
        kit::UserDefaults::standardUserDefaults()->objectForKey(KTRefreshHeaderLastUpdatedTimeKey));
    return date ? date->timeIntervalSince1970() : -1;
  };
  const double endedAt = stored();
  ASSERT_GT(endedAt, 0);

  advance(60);
  fingerDown();
  moveTo(-80);
  EXPECT_EQ(header->state(), KTRefreshState::Pulling);
  moveTo(-40);
  EXPECT_EQ(header->state(), KTRefreshState::Idle);
  fingerUp();
  advance(2);
  EXPECT_EQ(header->state(), KTRefreshState::Idle);
  EXPECT_EQ(stored(), endedAt);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(table->contentInset().top, 0);
  EXPECT_EQ(table->contentOffset().y, 0);
  EXPECT_EQ(refreshes.size(), 1u);
}

TEST_F(RefreshHeader, TheLastUpdatedLineShowsTheStoredDate) {
  EXPECT_EQ(header->lastUpdatedTimeLabel()->text(), "Updated: not yet");
  EXPECT_FALSE(header->lastUpdatedTime());

  header->beginRefreshing();
  advance(0.3);
  header->endRefreshing();
  settle();
  auto stored = header->lastUpdatedTime();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->timeIntervalSince1970(), refresh_test::wallTime(2026, 3, 15, 10, 30) + 0.3);
  EXPECT_EQ(header->lastUpdatedTimeLabel()->text(), "Updated: Today 10:30");

  // The same day number of an earlier month or year is not today.
  auto fresh = [&] {
    auto other = KTRefreshStateHeader::make();
    return other->lastUpdatedTimeLabel()->text();
  };
  store(refresh_test::wallTime(2026, 2, 15, 9, 5));
  EXPECT_EQ(fresh(), "Updated: 02-15 09:05");
  store(refresh_test::wallTime(2025, 3, 15, 9, 5));
  EXPECT_EQ(fresh(), "Updated: 2025-03-15 09:05");
  store(refresh_test::wallTime(2026, 3, 15, 0, 0));
  EXPECT_EQ(fresh(), "Updated: Today 00:00");

  // A key of its own, and a text block.
  header->setLastUpdatedTimeKey("OtherListLastUpdated");
  EXPECT_EQ(header->lastUpdatedTimeLabel()->text(), "Updated: not yet");
  header->setLastUpdatedTimeText([](const kit::Ref<kit::Date>& date) { return date ? "dated" : "never"; });
  header->setLastUpdatedTimeKey(KTRefreshHeaderLastUpdatedTimeKey);
  EXPECT_EQ(header->lastUpdatedTimeLabel()->text(), "dated");
}

TEST_F(RefreshHeader, ArrowAndSpinnerSitLeftOfTheWiderTextInTheLabelsColour) {
  window->layoutIfNeeded();
  const double stateWidth = UILabelKTRefresh::KT_textWith(*header->stateLabel());
  const double timeWidth = UILabelKTRefresh::KT_textWith(*header->lastUpdatedTimeLabel());
  const double centerX = TableW / 2 - (std::max(stateWidth, timeWidth) / 2 + 25);
  EXPECT_EQ(header->arrowView()->center(), (kit::Point{centerX, 27}));
  EXPECT_EQ(header->arrowView()->frame().size, (kit::Size{15, 40}));
  EXPECT_EQ(header->loadingView()->center(), (kit::Point{centerX, 27}));
  EXPECT_TRUE(header->arrowView()->tintColor()->isEqual(*header->stateLabel()->textColor()));
  EXPECT_EQ(header->stateLabel()->frame(), (kit::Rect{0, 0, TableW, 27}));
  EXPECT_EQ(header->lastUpdatedTimeLabel()->frame(), (kit::Rect{0, 27, TableW, 27}));

  // Without the time line the state text takes the whole header.
  header->lastUpdatedTimeLabel()->setHidden(true);
  header->setNeedsLayout();
  window->layoutIfNeeded();
  EXPECT_EQ(header->stateLabel()->frame(), (kit::Rect{0, 0, TableW, 54}));
  EXPECT_EQ(header->arrowView()->center().x, TableW / 2 - (stateWidth / 2 + 25));

  // A new spinner style makes a new spinner; the old one leaves.
  auto old = header->loadingView();
  header->setActivityIndicatorViewStyle(kit::ActivityIndicatorStyle::WhiteLarge);
  EXPECT_FALSE(old->superview());
  EXPECT_EQ(header->loadingView()->style(), kit::ActivityIndicatorStyle::WhiteLarge);
}

TEST_F(RefreshHeader, GifHeaderPlaysItsImagesAndFollowsThePullWhileIdle) {
  auto gif = KTRefreshGifHeader::make();
  Slots::setKT_header(*table, gif);
  EXPECT_FALSE(header->superview());
  const std::vector<kit::Ref<kit::Image>> idle{picture(70), picture(20), picture(20)};
  gif->setImages(idle, KTRefreshState::Idle);
  EXPECT_DOUBLE_EQ(gif->stateDurations().at(KTRefreshState::Idle), 0.3);
  EXPECT_EQ(gif->frame().size.height, 70);
  const std::vector<kit::Ref<kit::Image>> spin{picture(10), picture(10)};
  gif->setImages(spin, 0.6, KTRefreshState::Refreshing);
  gif->setImages({picture(10)}, KTRefreshState::Pulling);
  window->layoutIfNeeded();
  EXPECT_EQ(gif->frame().origin.y, -70);
  EXPECT_EQ(gif->gifView()->contentMode(), kit::ContentMode::Right);

  fingerDown();
  moveTo(-35);
  EXPECT_EQ(gif->gifView()->image(), idle[1]);  // floor(3 x 0.5)
  moveTo(-70);
  EXPECT_EQ(gif->gifView()->image(), idle[2]);  // the last at a full pull
  moveTo(-71);
  EXPECT_EQ(gif->state(), KTRefreshState::Pulling);
  EXPECT_EQ(gif->gifView()->image(), gif->stateImages().at(KTRefreshState::Pulling).back());
  fingerUp();
  advance(0.02);
  EXPECT_EQ(gif->state(), KTRefreshState::Refreshing);
  EXPECT_TRUE(gif->gifView()->isAnimating());
  EXPECT_EQ(gif->gifView()->animationDuration(), 0.6);
  gif->endRefreshing();
  settle();
  EXPECT_FALSE(gif->gifView()->isAnimating());
  // A pull beyond the images or below zero shows the first or last.
  gif->setPullingPercent(-0.5);
  EXPECT_EQ(gif->gifView()->image(), idle[0]);
}

}  // namespace
