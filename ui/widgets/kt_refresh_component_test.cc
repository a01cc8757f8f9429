// The refresh component and the scroll-view slots as a list uses them:
// starting a refresh in and out of a window, which change notices reach a
// hidden or non-interactive component, the header and footer slots, the
// data count, the order of the callbacks, and the alpha following the pull.

#include <gtest/gtest.h>

#include "kit/graphics/bitmap.h"
#include "kit/ui/animation.h"
#include "kit/ui/collection_view.h"
#include "kit/ui/collection_view_layout.h"
#include "kit/ui/render.h"
#include "kit/ui/text_measure.h"
#include "ui/widgets/kt_refresh_footer.h"
#include "ui/widgets/kt_refresh_normal_header.h"
#include "ui/widgets/kt_refresh_test_support.h"
#include "ui/widgets/ui_label_kt_refresh.h"
#include "ui/widgets/ui_scroll_view_kt_refresh.h"

namespace {

using refresh_test::RefreshTest;
using Slots = UIScrollViewKTRefresh;

// Counts the change notices that reach the hooks.
class CountingComponent : public KTRefreshHeader {
 public:
  using KTRefreshHeader::KTRefreshHeader;
  KT_REFRESH_FACTORIES(CountingComponent, header)
  int sizes = 0, offsets = 0, pans = 0;

 protected:
  void scrollViewContentSizeDidChange(const kit::KeyValueChange&) override { ++sizes; }
  void scrollViewContentOffsetDidChange(const kit::KeyValueChange&) override { ++offsets; }
  void scrollViewPanStateDidChange(const kit::KeyValueChange&) override { ++pans; }
};

class ListOwner : public kit::Object {
 public:
  std::vector<std::string>* log = nullptr;
  void loadFirstPage(KTRefreshComponent& component) {
    log->push_back(component.state() == KTRefreshState::Refreshing ? "action(refreshing)" : "action");
  }
};
class Stranger : public kit::Object {};

using RefreshComponent = RefreshTest;

TEST_F(RefreshComponent, BeginRefreshingOutsideAWindowWaitsForTheFirstDrawInsideItStartsAtOnce) {
  auto scroll = kit::ScrollView::make(kit::Rect{0, 0, 375, 300});
  auto header = KTRefreshNormalHeader::make();
  Slots::setKT_header(*scroll, header);
  header->beginRefreshing();
  EXPECT_EQ(header->state(), KTRefreshState::WillRefresh);
  EXPECT_TRUE(header->isRefreshing());
  settle();
  EXPECT_EQ(header->state(), KTRefreshState::WillRefresh);
  window->addSubview(scroll);
  kit::render(*window);
  EXPECT_EQ(header->state(), KTRefreshState::Refreshing);

  auto inWindow = KTRefreshNormalHeader::make();
  Slots::setKT_header(*table, inWindow);
  inWindow->setAlpha(0.0);
  inWindow->beginRefreshing();
  EXPECT_EQ(inWindow->state(), KTRefreshState::Refreshing);
  EXPECT_EQ(inWindow->alpha(), 1.0);
  EXPECT_EQ(inWindow->pullingPercent(), 1.0);
  auto fade = inWindow->layer()->animationForKey("opacity");
  ASSERT_TRUE(fade);
  EXPECT_DOUBLE_EQ(fade->duration(), 0.25);
}

TEST_F(RefreshComponent, HiddenComponentsHearOnlySizeChangesNonInteractiveOnesNothing) {
  auto component = CountingComponent::make();
  Slots::setKT_header(*table, component);
  auto drag = [&] {
    fingerDown(false);
    moveTo(30);
    fingerUp();
    advance(1);
  };
  drag();
  EXPECT_GT(component->offsets, 0);
  EXPECT_GT(component->pans, 0);
  component->offsets = component->pans = component->sizes = 0;

  component->setHidden(true);
  table->setContentSize({375, 2000});
  drag();
  EXPECT_EQ(component->sizes, 1);
  EXPECT_EQ(component->offsets, 0);
  EXPECT_EQ(component->pans, 0);

  component->setHidden(false);
  component->setUserInteractionEnabled(false);
  table->setContentSize({375, 3000});
  drag();
  EXPECT_EQ(component->sizes, 1);
  EXPECT_EQ(component->offsets, 0);
  EXPECT_EQ(component->pans, 0);
}

TEST_F(RefreshComponent, SlotsKeepOneComponentAtTheBackAndRemovalStopsObservation) {
  auto first = CountingComponent::make();
  Slots::setKT_header(*table, first);
  const size_t subviews = table->subviews().size();
  Slots::setKT_header(*table, first);
  EXPECT_EQ(table->subviews().size(), subviews);
  EXPECT_EQ(table->subviews().front(), first);
  EXPECT_EQ(first->frame().size.width, TableW);
  EXPECT_TRUE(table->alwaysBounceVertical());

  auto second = CountingComponent::make();
  Slots::setHeader(*table, second);
  EXPECT_FALSE(first->superview());
  EXPECT_EQ(table->subviews().front(), second);
  EXPECT_EQ(Slots::KT_header(*table), second);

  table->setContentOffset({0, 10});
  EXPECT_EQ(first->offsets, 0);
  EXPECT_EQ(second->offsets, 1);

  // The slot does not keep its component: the subview list does.
  auto footer = KTRefreshAutoFooter::make();
  Slots::setKT_footer(*table, footer);
  kit::Weak<KTRefreshFooter> weakFooter = footer;
  footer->removeFromSuperview();
  footer.reset();
  EXPECT_TRUE(weakFooter.expired());
  EXPECT_FALSE(Slots::KT_footer(*table));
}

class Items : public kit::CollectionViewDataSource {
 public:
  long numberOfSectionsInCollectionView(kit::CollectionView&) override { return 3; }
  long numberOfItemsInSection(kit::CollectionView&, long section) override { return section + 2; }
  kit::Ref<kit::CollectionViewCell> cellForItemAtIndexPath(kit::CollectionView&, const kit::IndexPath&) override {
    return kit::CollectionViewCell::make();
  }
};

TEST_F(RefreshComponent, DataCountSumsRowsOrItemsOfEverySection) {
  EXPECT_EQ(Slots::KT_totalDataCount(*kit::ScrollView::make()), 0);
  rows->sections = {};
  table->reloadData();
  EXPECT_EQ(Slots::KT_totalDataCount(*table), 0);
  rows->sections = {3, 0, 4};
  long reported = -1;
  Slots::setKT_reloadDataBlock(*table, [&](long count) { reported = count; });
  table->reloadData();
  EXPECT_EQ(reported, -1);  // the table's own reload runs no block
  UITableViewKTRefresh::KT_reloadData(*table);
  EXPECT_EQ(reported, 7);

  auto items = std::make_shared<Items>();
  auto grid = kit::CollectionView::make(kit::Rect{0, 0, 375, 300}, kit::CollectionViewFlowLayout::make());
  grid->setDataSource(items);
  EXPECT_EQ(Slots::KT_totalDataCount(*grid), 2 + 3 + 4);
}

TEST_F(RefreshComponent, CallbacksRunLaterInOrderAndATargetWithoutTheActionIsSkipped) {
  std::vector<std::string> log;
  auto owner = kit::make<ListOwner>();
  owner->log = &log;
  auto header = KTRefreshNormalHeader::headerWithRefreshingTarget(owner, KTRefreshSelector(&ListOwner::loadFirstPage));
  header->setRefreshingBlock([&] { log.push_back("block"); });
  header->setBeginRefreshingCompletionBlock([&] { log.push_back("begin completion"); });
  Slots::setKT_header(*table, header);
  header->executeRefreshingCallback();
  EXPECT_TRUE(log.empty());
  settle();
  EXPECT_EQ(log, (std::vector<std::string>{"block", "action", "begin completion"}));

  log.clear();
  auto stranger = kit::make<Stranger>();
  header->setRefreshingTarget(stranger, KTRefreshSelector(&ListOwner::loadFirstPage));
  header->executeRefreshingCallback();
  settle();
  EXPECT_EQ(log, (std::vector<std::string>{"block", "begin completion"}));

  // A target that is gone is skipped the same way.
  log.clear();
  header->setRefreshingTarget(owner, KTRefreshSelector(&ListOwner::loadFirstPage));
  owner.reset();
  header->executeRefreshingCallback();
  settle();
  EXPECT_EQ(log, (std::vector<std::string>{"block", "begin completion"}));
}

TEST_F(RefreshComponent, AlphaFollowsThePullAndStaysWhileRefreshing) {
  auto header = KTRefreshNormalHeader::make();
  Slots::setKT_header(*table, header);
  header->setAutomaticallyChangeAlpha(true);
  EXPECT_EQ(header->alpha(), 0.0);
  EXPECT_TRUE(header->isAutoChangeAlpha());
  fingerDown();
  moveTo(-27);
  EXPECT_DOUBLE_EQ(header->alpha(), 0.5);
  moveTo(-60);
  fingerUp();
  advance(0.02);  // the first step of the spring-back sees the release
  EXPECT_EQ(header->state(), KTRefreshState::Refreshing);
  EXPECT_EQ(header->alpha(), 1.0);
  header->setPullingPercent(0.2);
  EXPECT_EQ(header->alpha(), 1.0);
  header->setAutoChangeAlpha(false);
  EXPECT_EQ(header->alpha(), 1.0);
}

TEST_F(RefreshComponent, LabelsMeasureTheirTextOnOneLine) {
  auto label = UILabelKTRefresh::KT_label();
  EXPECT_EQ(UILabelKTRefresh::KT_textWith(*label), 0.0);
  label->setText("Pull down to refresh");
  kit::TextAttributes attributes;
  attributes.font = label->font();
  const double oneLine = kit::sizeWithAttributes("Pull down to refresh", attributes).width;
  EXPECT_GT(UILabelKTRefresh::KT_textWith(*label), 100.0);
  EXPECT_NEAR(UILabelKTRefresh::KT_textWith(*label), oneLine, 0.5);
  EXPECT_EQ(label->textAlignment(), kit::TextAlignment::Center);
  EXPECT_EQ(label->autoresizingMask(), kit::AutoresizingFlexibleWidth);
}

}  // namespace
