// The refresh footers driven as a player scrolls a table: the auto footer's
// inset, trigger and delayed callback, short lists, no more data, hiding
// and showing, the tappable text, the user-centre set-up, and the back
// footer pulled past the end of a short list.

#include <gtest/gtest.h>

#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/render.h"
#include "ui/widgets/kt_refresh_back_footer.h"
#include "ui/widgets/kt_refresh_footer.h"
#include "ui/widgets/kt_refresh_test_support.h"
#include "ui/widgets/ui_label_kt_refresh.h"
#include "ui/widgets/ui_scroll_view_kt_refresh.h"

namespace {

using refresh_test::RefreshTest;
using Slots = UIScrollViewKTRefresh;

// 20 rows of 44 points: the content is 880 tall in a 400-point table.
constexpr double ContentH = 880;

class RefreshFooter : public RefreshTest {
 protected:
  template <class T>
  kit::Ref<T> attach() {
    auto footer = T::footerWithRefreshingBlock([this] { loads.push_back(now()); });
    Slots::setKT_footer(*table, footer);
    window->layoutIfNeeded();
    return footer;
  }
  void shortList() {
    rows->sections = {3};
    table->reloadData();
    window->layoutIfNeeded();
  }
  std::vector<double> loads;
};

TEST_F(RefreshFooter, AutoFooterLoadsWhenItsWholeHeightIsInViewWhileScrollingDown) {
  auto footer = attach<KTRefreshAutoNormalFooter>();
  EXPECT_EQ(table->contentInset().bottom, 44);
  EXPECT_EQ(footer->frame(), (kit::Rect{0, ContentH, TableW, 44}));
  EXPECT_EQ(footer->stateLabel()->text(), "Tap or pull up to load more");
  // The trigger: content 880 - view 400 + footer 44 x 1.0 + inset 44 - 44.
  fingerDown(false);
  moveTo(523);
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);
  moveTo(524);
  EXPECT_EQ(footer->state(), KTRefreshState::Refreshing);
  const double started = now();
  EXPECT_EQ(footer->stateLabel()->text(), "Loading more...");
  EXPECT_TRUE(footer->loadingView()->isAnimating());
  fingerUp();
  advance(0.49);
  EXPECT_TRUE(loads.empty());
  advance(0.02);
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_NEAR(loads[0] - started, 0.5, 1e-9);
  bool ended = false;
  footer->endRefreshingWithCompletionBlock([&] { ended = true; });
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);
  EXPECT_TRUE(ended);
  EXPECT_FALSE(footer->loadingView()->isAnimating());

  // More rows came; scrolling back up from near the end never loads.
  rows->sections = {30};
  table->reloadData();
  EXPECT_EQ(footer->frame().origin.y, 30 * 44);
  footer->setAutomaticallyRefresh(false);
  table->setContentOffset({0, 30 * 44 - 400 + 44});
  footer->setAutomaticallyRefresh(true);
  fingerDown(true);
  moveTo(30 * 44 - 400);
  fingerUp();
  advance(1);
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);
  EXPECT_EQ(loads.size(), 1u);
}

TEST_F(RefreshFooter, AutoFooterOnAShortListLoadsWhenADragEndsNotWhileDragging) {
  shortList();
  auto footer = attach<KTRefreshAutoNormalFooter>();
  EXPECT_EQ(footer->frame().origin.y, 3 * 44);
  // A pull down released above the top does not load.
  fingerDown(true);
  moveTo(-30);
  fingerUp();
  advance(1);
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);
  fingerDown(false);
  moveTo(40);
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);
  fingerUp();
  EXPECT_EQ(footer->state(), KTRefreshState::Refreshing);
  advance(0.5);
  EXPECT_EQ(loads.size(), 1u);
}

TEST_F(RefreshFooter, NoMoreDataStopsLoadingUntilResetAndHidingGivesTheInsetBack) {
  auto footer = attach<KTRefreshAutoNormalFooter>();
  footer->endRefreshingWithNoMoreData();
  EXPECT_EQ(footer->state(), KTRefreshState::NoMoreData);
  EXPECT_EQ(footer->stateLabel()->text(), "That is everything");
  fingerDown(false);
  moveTo(600);
  fingerUp();
  advance(1);
  EXPECT_EQ(footer->state(), KTRefreshState::NoMoreData);
  EXPECT_TRUE(loads.empty());
  footer->resetNoMoreData();
  EXPECT_EQ(footer->stateLabel()->text(), "Tap or pull up to load more");
  footer->noticeNoMoreData();
  footer->endRefreshing();
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);

  // Hidden while loading: the inset goes back, the load does not start.
  footer->beginRefreshing();
  footer->setHidden(true);
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);
  EXPECT_EQ(table->contentInset().bottom, 0);
  footer->setHidden(true);
  EXPECT_EQ(table->contentInset().bottom, 0);
  advance(1);
  EXPECT_TRUE(loads.empty());
  rows->sections = {25};
  table->reloadData();
  footer->setHidden(false);
  EXPECT_EQ(table->contentInset().bottom, 44);
  EXPECT_EQ(footer->frame().origin.y, 25 * 44);
  footer->removeFromSuperview();
  EXPECT_EQ(table->contentInset().bottom, 0);
}

TEST_F(RefreshFooter, StateFooterTextTapAndTheSpinnerBesideOrCentred) {
  auto footer = attach<KTRefreshAutoNormalFooter>();
  const double textWidth = UILabelKTRefresh::KT_textWith(*footer->stateLabel());
  EXPECT_EQ(footer->loadingView()->center(), (kit::Point{TableW / 2 - textWidth / 2 - 25, 22}));
  EXPECT_EQ(footer->stateLabel()->frame(), (kit::Rect{0, 0, TableW, 44}));

  footer->endRefreshingWithNoMoreData();
  table->setContentOffset({0, ContentH + 44 - TableH});
  window->layoutIfNeeded();
  ASSERT_TRUE(kit::test::tap(footer->stateLabel()));
  EXPECT_EQ(footer->state(), KTRefreshState::NoMoreData);  // a tap loads only from Idle
  footer->resetNoMoreData();
  ASSERT_TRUE(kit::test::tap(footer->stateLabel()));
  EXPECT_EQ(footer->state(), KTRefreshState::Refreshing);
  footer->endRefreshing();

  footer->setRefreshingTitleHidden(true);
  footer->beginRefreshing();
  EXPECT_EQ(footer->stateLabel()->text(), "");
  footer->setNeedsLayout();
  window->layoutIfNeeded();
  EXPECT_EQ(footer->loadingView()->center(), (kit::Point{TableW / 2, 22}));
}

TEST_F(RefreshFooter, TheUserCentreSetUpShowsNothingUntilShownThenLoadsAtTheBottomEdge) {
  auto footer = KTRefreshAutoNormalFooter::footerWithRefreshingBlock([this] { loads.push_back(now()); });
  footer->setTriggerAutomaticallyRefreshPercent(0.0);
  footer->setHidden(true);
  footer->setTitle("", KTRefreshState::NoMoreData);
  Slots::setKT_footer(*table, footer);
  EXPECT_EQ(table->contentInset().bottom, 0);
  table->setContentOffset({0, ContentH - TableH});
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);

  table->setContentOffset({0, 0});
  footer->setHidden(false);
  EXPECT_EQ(table->contentInset().bottom, 44);
  fingerDown(false);
  moveTo(ContentH - TableH - 1);
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);
  moveTo(ContentH - TableH);  // the footer's top meets the bottom of the view
  EXPECT_EQ(footer->state(), KTRefreshState::Refreshing);
  fingerUp();
  advance(0.5);
  EXPECT_EQ(loads.size(), 1u);
  footer->endRefreshingWithNoMoreData();
  EXPECT_EQ(footer->stateLabel()->text(), "");
}

TEST_F(RefreshFooter, BackFooterOnAShortListHoldsTheMissingHeightWhileLoading) {
  shortList();
  auto footer = attach<KTRefreshBackNormalFooter>();
  EXPECT_EQ(footer->frame(), (kit::Rect{0, TableH, TableW, 44}));  // the bottom of the visible area
  EXPECT_EQ(footer->happenOffsetY(), 0);
  EXPECT_EQ(footer->heightForContentBreakView(), 3 * 44 - TableH);
  fingerDown(false);
  moveTo(44);
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);
  EXPECT_EQ(footer->stateLabel()->text(), "Pull up to load more");
  moveTo(45);
  EXPECT_EQ(footer->state(), KTRefreshState::Pulling);
  advance(0.25);
  EXPECT_EQ(footer->arrowView()->transform(), kit::AffineTransform::identity());  // upright while Pulling
  moveTo(44);
  advance(0.25);
  EXPECT_EQ(footer->arrowView()->transform(), kit::AffineTransform::makeRotation(KTRefreshArrowRotation));
  moveTo(60);
  fingerUp();
  advance(0.02);
  EXPECT_EQ(footer->state(), KTRefreshState::Refreshing);
  EXPECT_EQ(footer->stateLabel()->text(), "Loading more...");
  EXPECT_TRUE(footer->arrowView()->isHidden());
  // The footer's height plus the height the short content leaves empty.
  EXPECT_EQ(table->contentInset().bottom, 44 + (TableH - 3 * 44));
  EXPECT_EQ(table->contentOffset().y, 44);
  EXPECT_EQ(footer->lastBottomDelta(), 44 + (TableH - 3 * 44));
  EXPECT_EQ(footer->lastRefreshCount(), 3);
  advance(0.3);
  EXPECT_EQ(loads.size(), 1u);
  EXPECT_EQ(kit::test::frameInWindow(*footer).origin.y, TableY + TableH - 44);
  kit::writePNG(*window, std::string(KIT_UI_ARTIFACT_DIR) + "/refresh_back_footer_loading.png");

  bool ended = false;
  footer->endRefreshingWithCompletionBlock([&] { ended = true; });
  EXPECT_EQ(footer->state(), KTRefreshState::Refreshing);  // on the next main-queue turn
  settle();
  EXPECT_EQ(footer->state(), KTRefreshState::Idle);
  EXPECT_EQ(table->contentInset().bottom, 0);
  EXPECT_EQ(table->contentOffset().y, 0);
  advance(0.39);
  EXPECT_FALSE(ended);
  advance(0.02);
  EXPECT_TRUE(ended);
  EXPECT_FALSE(footer->arrowView()->isHidden());
  EXPECT_FALSE(footer->loadingView()->isAnimating());

  footer->endRefreshingWithNoMoreData();
  settle();
  EXPECT_EQ(footer->state(), KTRefreshState::NoMoreData);
  EXPECT_EQ(footer->stateLabel()->text(), refresh_test::kOverriddenText);
}

TEST_F(RefreshFooter, AutoFooterRunsOneCallbackPerLoadAtItsOwnPause) {
  auto footer = attach<KTRefreshAutoNormalFooter>();
  // A load ended and started again within the pause: only the second load
  // calls back, half a second after it began.
  const double first = now();
  footer->beginRefreshing();
  settle();
  ASSERT_EQ(footer->state(), KTRefreshState::Refreshing);
  advance(0.2);
  footer->endRefreshing();
  settle();
  ASSERT_EQ(footer->state(), KTRefreshState::Idle);
  const double second = now();
  footer->beginRefreshing();
  settle();
  advance(0.31);
  EXPECT_TRUE(loads.empty());
  advance(0.2);
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_NEAR(loads[0] - second, 0.5, 1e-9);
  EXPECT_GT(loads[0] - first, 0.6);
  advance(1);
  EXPECT_EQ(loads.size(), 1u);

  // The same through hiding and showing.
  footer->endRefreshing();
  settle();
  loads.clear();
  footer->beginRefreshing();
  settle();
  advance(0.2);
  footer->setHidden(true);
  footer->setHidden(false);
  const double shown = now();
  footer->beginRefreshing();
  settle();
  advance(2);
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_NEAR(loads[0] - shown, 0.5, 1e-9);
}

TEST_F(RefreshFooter, BackFooterStartedAgainWhileItsEndFadesKeepsItsSpinner) {
  auto footer = attach<KTRefreshBackNormalFooter>();
  footer->beginRefreshing();
  settle();
  ASSERT_EQ(footer->state(), KTRefreshState::Refreshing);
  footer->endRefreshing();
  settle();
  ASSERT_EQ(footer->state(), KTRefreshState::Idle);
  advance(0.1);
  footer->beginRefreshing();
  settle();
  ASSERT_EQ(footer->state(), KTRefreshState::Refreshing);
  advance(1);  // the end's fade is long over
  EXPECT_EQ(footer->state(), KTRefreshState::Refreshing);
  EXPECT_TRUE(footer->loadingView()->isAnimating());
  EXPECT_EQ(footer->loadingView()->alpha(), 1.0);
  EXPECT_TRUE(footer->arrowView()->isHidden());
}

TEST_F(RefreshFooter, ABlockThatReplacesItselfKeepsItsCapturesWhileItRuns) {
  // Each block replaces itself, then reads what it captured: a block run in
  // place would read freed memory here.
  std::vector<std::string> seen;
  auto back = attach<KTRefreshBackNormalFooter>();
  KTRefreshComponent* component = back.get();
  auto replacing = [&seen, component](std::string name, auto setter) {
    auto text = std::make_shared<std::string>(std::move(name));
    return [&seen, component, setter, text] {
      (component->*setter)([] {});
      seen.push_back(*text);
    };
  };
  back->setRefreshingBlock(replacing("refreshing", &KTRefreshComponent::setRefreshingBlock));
  back->setBeginRefreshingCompletionBlock(
      replacing("begun", &KTRefreshComponent::setBeginRefreshingCompletionBlock));
  back->setEndRefreshingCompletionBlock(replacing("ended", &KTRefreshComponent::setEndRefreshingCompletionBlock));
  back->beginRefreshing();
  advance(1);
  back->endRefreshing();
  settle();
  advance(1);
  EXPECT_EQ(seen, (std::vector<std::string>{"refreshing", "begun", "ended"}));

  seen.clear();
  auto autoFooter = attach<KTRefreshAutoNormalFooter>();
  component = autoFooter.get();
  autoFooter->setEndRefreshingCompletionBlock(
      replacing("auto ended", &KTRefreshComponent::setEndRefreshingCompletionBlock));
  autoFooter->beginRefreshing();
  settle();
  autoFooter->endRefreshing();
  settle();
  EXPECT_EQ(seen, (std::vector<std::string>{"auto ended"}));
}

TEST_F(RefreshFooter, GifFootersShowTheirSequences) {
  auto image = [](double height) {
    kit::beginImageContext({10, height}, false, 1.0);
    kit::Ref<kit::Image> picture = kit::imageFromCurrentImageContext();
    kit::endImageContext();
    return picture;
  };
  auto autoGif = attach<KTRefreshAutoGifFooter>();
  autoGif->setImages({image(50), image(50)}, KTRefreshState::Refreshing);
  EXPECT_EQ(autoGif->frame().size.height, 50);
  EXPECT_DOUBLE_EQ(autoGif->sequences().stateDurations.at(KTRefreshState::Refreshing), 0.2);
  autoGif->beginRefreshing();
  EXPECT_FALSE(autoGif->gifView()->isHidden());
  EXPECT_TRUE(autoGif->gifView()->isAnimating());
  autoGif->endRefreshing();
  EXPECT_TRUE(autoGif->gifView()->isHidden());
  EXPECT_FALSE(autoGif->gifView()->isAnimating());

  shortList();
  auto backGif = attach<KTRefreshBackGifFooter>();
  const std::vector<kit::Ref<kit::Image>> idle{image(10), image(10), image(10), image(10)};
  backGif->setImages(idle, KTRefreshState::Idle);
  fingerDown(false);
  moveTo(33);
  EXPECT_EQ(backGif->gifView()->image(), idle[3]);  // floor(4 x 0.75)
  moveTo(11);
  EXPECT_EQ(backGif->gifView()->image(), idle[1]);
  fingerUp();
  advance(1);
  backGif->endRefreshingWithNoMoreData();
  settle();
  EXPECT_TRUE(backGif->gifView()->isHidden());
}

}  // namespace
