// Scroll views driven by touches: pulls and drags report every offset with
// the dragging state, the pan state is observable, release settles on the
// virtual clock (spring-back, paging, flicks), and animated offsets end
// with their delegate event.

#include <gtest/gtest.h>

#include <vector>

#include "kit/foundation/exception.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/scroll_test_driver.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/table_view.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace {

using kit::Point;

struct RecordingDelegate : kit::ScrollViewDelegate {
  std::vector<std::string> events;
  std::vector<Point> scrolled;
  void scrollViewDidScroll(kit::ScrollView& v) override { scrolled.push_back(v.contentOffset()); }
  void scrollViewWillBeginDragging(kit::ScrollView&) override { events.push_back("willBeginDragging"); }
  void scrollViewDidEndDragging(kit::ScrollView&, bool decelerate) override {
    events.push_back(decelerate ? "didEndDragging(decelerate)" : "didEndDragging");
  }
  void scrollViewWillBeginDecelerating(kit::ScrollView&) override { events.push_back("willBeginDecelerating"); }
  void scrollViewDidEndDecelerating(kit::ScrollView&) override { events.push_back("didEndDecelerating"); }
  void scrollViewDidEndScrollingAnimation(kit::ScrollView&) override { events.push_back("didEndScrollingAnimation"); }
};

class ScrollViewTest : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    window = kit::Window::make();
    window->makeKeyAndVisible();
    scroll = kit::ScrollView::make(kit::Rect{0, 100, 375, 300});
    window->addSubview(scroll);
    delegate = std::make_shared<RecordingDelegate>();
    scroll->setDelegate(delegate);
  }
  void TearDown() override {
    window.reset();
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;
  kit::Ref<kit::ScrollView> scroll;
  std::shared_ptr<RecordingDelegate> delegate;
};

TEST_F(ScrollViewTest, PullReportsEveryOffsetWhileDraggingThenPanEndsAndSpringsBack) {
  scroll->setContentSize({375, 1000});
  struct Seen {
    double y;
    bool dragging;
  };
  std::vector<Seen> offsets;
  std::vector<std::pair<long, long>> panStates;
  size_t offsetsAtPanEnd = 0;
  auto observer = std::make_shared<kit::Object>();
  scroll->addObserver(observer, "contentOffset", [&](const kit::KeyValueChange& change) {
    EXPECT_EQ(change.oldValue<Point>().y, offsets.empty() ? 0 : offsets.back().y);
    offsets.push_back({change.newValue<Point>().y, scroll->isDragging()});
  });
  scroll->panGestureRecognizer()->addObserver(observer, "state", [&](const kit::KeyValueChange& change) {
    panStates.emplace_back(change.oldValue<long>(), change.newValue<long>());
    if (change.newValue<long>() == static_cast<long>(kit::GestureRecognizerState::Ended))
      offsetsAtPanEnd = offsets.size();
  });

  ASSERT_TRUE(kit::test::pull(*scroll, 80));
  ASSERT_GE(offsets.size(), 80u);
  for (int i = 0; i < 80; ++i) {
    EXPECT_EQ(offsets[static_cast<size_t>(i)].y, -(i + 1)) << i;
    EXPECT_TRUE(offsets[static_cast<size_t>(i)].dragging) << i;
  }
  EXPECT_EQ(offsetsAtPanEnd, 80u) << "the pan ends after the last dragged offset";
  ASSERT_FALSE(panStates.empty());
  EXPECT_EQ(panStates.front().second, static_cast<long>(kit::GestureRecognizerState::Began));
  EXPECT_FALSE(scroll->isDragging());
  EXPECT_TRUE(scroll->isDecelerating());

  // The spring-back runs on the clock, outside the drag.
  advance(kit::ScrollView::BounceDuration);
  EXPECT_EQ(scroll->contentOffset(), (Point{0, 0}));
  EXPECT_FALSE(scroll->isDecelerating());
  for (size_t i = 80; i < offsets.size(); ++i) EXPECT_FALSE(offsets[i].dragging);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"willBeginDragging", "didEndDragging(decelerate)",
                                                        "willBeginDecelerating", "didEndDecelerating"}));
  // The recognizer went back to possible after the touch ended.
  EXPECT_EQ(panStates.back().second, static_cast<long>(kit::GestureRecognizerState::Possible));
}

TEST_F(ScrollViewTest, AHeaderThatHoldsTheListOpenEndsTheSpringBack) {
  scroll->setContentSize({375, 1000});
  scroll->setAlwaysBounceVertical(true);
  // What a refresh header does: released beyond its height, it opens the
  // top inset and holds the content there.
  bool refreshing = false;
  scroll->addObserver(nullptr, "contentOffset", [&](const kit::KeyValueChange& change) {
    if (refreshing || scroll->isDragging() || change.newValue<Point>().y >= -54) return;
    refreshing = true;
    kit::View::animate(0.25, [&] {
      scroll->setContentInset({54, 0, 0, 0});
      scroll->setContentOffset({0, -54});
    });
  });
  ASSERT_TRUE(kit::test::pull(*scroll, 80));
  advance(1);
  EXPECT_TRUE(refreshing);
  EXPECT_EQ(scroll->contentOffset().y, -54);
  EXPECT_FALSE(scroll->isDecelerating());
  EXPECT_EQ(delegate->events.back(), "didEndDecelerating");
  // Ending the refresh closes the inset; the content goes back to the top.
  scroll->setContentInset({0, 0, 0, 0});
  scroll->setContentOffset({0, 0});
  EXPECT_EQ(scroll->minimumContentOffset().y, 0);
}

TEST_F(ScrollViewTest, AnimatedOffsetEndsWithItsEventAfterItsDuration) {
  scroll->setContentSize({375, 2000});
  scroll->setContentOffset({0, 500}, true);
  EXPECT_EQ(scroll->contentOffset(), (Point{0, 0}));
  advance(kit::ScrollView::AnimationDuration / 2);
  const double halfway = scroll->contentOffset().y;
  EXPECT_GT(halfway, 0);
  EXPECT_LT(halfway, 500);
  EXPECT_TRUE(delegate->events.empty());
  advance(kit::ScrollView::AnimationDuration / 2);
  EXPECT_EQ(scroll->contentOffset(), (Point{0, 500}));
  EXPECT_EQ(delegate->events, std::vector<std::string>{"didEndScrollingAnimation"});
  // Every step went through didScroll, in order.
  ASSERT_GT(delegate->scrolled.size(), 3u);
  for (size_t i = 1; i < delegate->scrolled.size(); ++i)
    EXPECT_GE(delegate->scrolled[i].y, delegate->scrolled[i - 1].y);

  // A plain offset change in the middle of an animation stops it.
  scroll->setContentOffset({0, 0}, true);
  advance(0.1);
  scroll->setContentOffset({0, 42});
  advance(1);
  EXPECT_EQ(scroll->contentOffset(), (Point{0, 42}));
  EXPECT_EQ(delegate->events.size(), 1u);
}

TEST_F(ScrollViewTest, PagingSnapsToTheNearestPageOrTurnsOneOnAFlick) {
  scroll->setContentSize({375 * 3, 0});
  scroll->setPagingEnabled(true);
  // A slow drag of a third of a page springs back to the first page.
  ASSERT_TRUE(kit::test::scroll(*scroll, 120, 0));
  EXPECT_EQ(scroll->contentOffset().x, 120);
  advance(kit::ScrollView::AnimationDuration);
  EXPECT_EQ(scroll->contentOffset().x, 0);
  EXPECT_EQ(delegate->events.back(), "didEndDecelerating");

  // A flick of the same length turns to the second page, and only one page.
  delegate->events.clear();
  ASSERT_TRUE(kit::test::scroll(*scroll, 120, 0, kit::test::Release::Fling));
  advance(kit::ScrollView::AnimationDuration);
  EXPECT_EQ(scroll->contentOffset().x, 375);
  EXPECT_EQ(delegate->events.back(), "didEndDecelerating");
  ASSERT_TRUE(kit::test::scroll(*scroll, 300, 0, kit::test::Release::Fling));
  advance(kit::ScrollView::AnimationDuration);
  EXPECT_EQ(scroll->contentOffset().x, 750);
  // The last page does not go further.
  ASSERT_TRUE(kit::test::scroll(*scroll, 200, 0, kit::test::Release::Fling));
  advance(kit::ScrollView::BounceDuration);
  EXPECT_EQ(scroll->contentOffset().x, 750);
  // A vertical drag does not move a content that only scrolls sideways.
  ASSERT_TRUE(kit::test::scroll(*scroll, 0, 100));
  EXPECT_EQ(scroll->contentOffset(), (Point{750, 0}));
}

TEST_F(ScrollViewTest, FlickDeceleratesWithinTheContent) {
  scroll->setContentSize({375, 5000});
  ASSERT_TRUE(kit::test::scroll(*scroll, 0, 100, kit::test::Release::Fling));
  EXPECT_EQ(scroll->contentOffset().y, 100);
  EXPECT_TRUE(scroll->isDecelerating());
  advance(2.0);
  EXPECT_GT(scroll->contentOffset().y, 200);
  EXPECT_LE(scroll->contentOffset().y, scroll->maximumContentOffset().y);
  EXPECT_FALSE(scroll->isDecelerating());
  EXPECT_EQ(delegate->events.back(), "didEndDecelerating");

  // A finger put down on decelerating content stops it there.
  ASSERT_TRUE(kit::test::scroll(*scroll, 0, 100, kit::test::Release::Fling));
  advance(0.05);
  const double stopped = scroll->contentOffset().y;
  kit::test::touchDown(*window, {100, 200});
  kit::test::touchUp(*window, {100, 200});
  advance(2.0);
  EXPECT_EQ(scroll->contentOffset().y, stopped);
}

TEST_F(ScrollViewTest, DisabledScrollingShortContentAndNoBounceKeepTheOffset) {
  scroll->setContentSize({375, 1000});
  scroll->setScrollEnabled(false);
  ASSERT_TRUE(kit::test::scroll(*scroll, 0, 50));
  EXPECT_EQ(scroll->contentOffset(), (Point{0, 0}));
  EXPECT_TRUE(delegate->events.empty());

  // Content shorter than the view does not move unless told to bounce.
  scroll->setScrollEnabled(true);
  scroll->setContentSize({375, 100});
  ASSERT_TRUE(kit::test::pull(*scroll, 50));
  EXPECT_EQ(scroll->contentOffset(), (Point{0, 0}));
  scroll->setAlwaysBounceVertical(true);
  ASSERT_TRUE(kit::test::pull(*scroll, 50));
  EXPECT_EQ(scroll->contentOffset().y, -50);
  advance(kit::ScrollView::BounceDuration);
  EXPECT_EQ(scroll->contentOffset().y, 0);

  // Without bouncing the content stops at its edges.
  scroll->setContentSize({375, 1000});
  scroll->setBounces(false);
  ASSERT_TRUE(kit::test::pull(*scroll, 50));
  EXPECT_EQ(scroll->contentOffset().y, 0);
  ASSERT_TRUE(kit::test::scroll(*scroll, 0, 900));
  EXPECT_EQ(scroll->contentOffset().y, 700);
}

TEST_F(ScrollViewTest, InsetsBoundTheOffsetsAndFollowTheAdjustmentBehaviour) {
  kit::DeviceProfileScope notched{kit::DeviceProfile::notched375x812()};
  auto full = kit::ScrollView::make(kit::Rect{0, 0, 375, 812});
  window->setFrame(kit::Rect{0, 0, 375, 812});
  window->addSubview(full);
  full->setContentSize({375, 2000});
  full->setContentInset({10, 0, 20, 0});
  const kit::EdgeInsets safe = full->safeAreaInsets();
  ASSERT_GT(safe.top, 0);
  EXPECT_EQ(full->adjustedContentInset().top, 10 + safe.top);
  EXPECT_EQ(full->minimumContentOffset().y, -(10 + safe.top));
  full->setContentInsetAdjustmentBehavior(kit::ScrollViewContentInsetAdjustmentBehavior::Never);
  EXPECT_EQ(full->adjustedContentInset(), (kit::EdgeInsets{10, 0, 20, 0}));
  EXPECT_EQ(full->maximumContentOffset().y, 2000 + 20 - 812);

  std::vector<kit::EdgeInsets> seen;
  full->addObserver(nullptr, "contentInset",
                    [&](const kit::KeyValueChange& c) { seen.push_back(c.newValue<kit::EdgeInsets>()); });
  full->setContentInset({64, 0, 0, 0});
  full->setContentInset({64, 0, 0, 0});
  EXPECT_EQ(seen, std::vector<kit::EdgeInsets>{(kit::EdgeInsets{64, 0, 0, 0})});
}

TEST_F(ScrollViewTest, ObserversAreHeldWeaklyAndRemovingTwiceRaises) {
  std::vector<kit::Size> sizes;
  auto observer = std::make_shared<kit::Object>();
  scroll->addObserver(observer, "contentSize", [&](const kit::KeyValueChange& c) {
    sizes.push_back(c.oldValue<kit::Size>());
    sizes.push_back(c.newValue<kit::Size>());
  });
  scroll->setContentSize({375, 500});
  EXPECT_EQ(sizes, (std::vector<kit::Size>{{0, 0}, {375, 500}}));
  scroll->removeObserver(observer.get(), "contentSize");
  scroll->setContentSize({375, 600});
  EXPECT_EQ(sizes.size(), 2u);
  try {
    scroll->removeObserver(observer.get(), "contentSize");
    ADD_FAILURE() << "a second removal must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), kit::RangeException);
  }

  // An observer that has gone is no longer called.
  int calls = 0;
  {
    auto shortLived = std::make_shared<kit::Object>();
    scroll->addObserver(shortLived, "contentOffset", [&](const kit::KeyValueChange&) { ++calls; });
    scroll->setContentOffset({0, 10});
  }
  scroll->setContentOffset({0, 20});
  EXPECT_EQ(calls, 1);
}

// A list page inside a horizontally paged container: vertical drags move
// the list, sideways drags turn the page.
class ListPage : public kit::TableViewDataSource {
 public:
  long numberOfRowsInSection(kit::TableView&, long) override { return 50; }
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& t, const kit::IndexPath&) override {
    return t.dequeueReusableCellWithIdentifier("row", {});
  }
};

TEST_F(ScrollViewTest, NestedScrollViewsEachTakeTheirOwnAxis) {
  scroll->setContentSize({375 * 2, 300});
  scroll->setPagingEnabled(true);
  auto list = kit::TableView::make(kit::Rect{0, 0, 375, 300});
  list->registerClass<kit::TableViewCell>("row");
  auto source = std::make_shared<ListPage>();
  list->setDataSource(source);
  scroll->addSubview(list);
  window->layoutIfNeeded();

  ASSERT_TRUE(kit::test::scroll(*scroll, 0, 200));
  EXPECT_EQ(list->contentOffset().y, 200);
  EXPECT_EQ(scroll->contentOffset().x, 0);
  ASSERT_TRUE(kit::test::scroll(*scroll, 250, 0, kit::test::Release::Fling));
  advance(kit::ScrollView::AnimationDuration);
  EXPECT_EQ(scroll->contentOffset().x, 375);
  EXPECT_EQ(list->contentOffset().y, 200);
}

}  // namespace
