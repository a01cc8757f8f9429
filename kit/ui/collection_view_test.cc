// Collection views with the flow layout: lines of items with spacing and
// insets in both scroll directions, headers and footers, cells in sight
// only, reuse, and selection by taps.

#include <gtest/gtest.h>

#include <set>

#include "kit/foundation/exception.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/collection_view.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/label.h"
#include "kit/ui/scroll_test_driver.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace {

using kit::IndexPath;
using kit::Rect;

class TileCell : public kit::CollectionViewCell {
 public:
  explicit TileCell(const Rect& frame = {}) : CollectionViewCell(frame) {
    label = kit::Label::make();
    contentView()->addSubview(label);
  }
  kit::Ref<kit::Label> label;
  int reuses = 0;
  void prepareForReuse() override { ++reuses; }
};

class Header : public kit::CollectionReusableView {};

class GridSource : public kit::CollectionViewDataSource, public kit::CollectionViewDelegateFlowLayout {
 public:
  std::vector<long> counts{7};
  std::set<kit::CollectionViewCell*> distinct;
  std::vector<IndexPath> selected;
  std::optional<kit::Size> wide;  // the size of item 0 when set
  bool refuseSelection = false;

  long numberOfSectionsInCollectionView(kit::CollectionView&) override { return static_cast<long>(counts.size()); }
  long numberOfItemsInSection(kit::CollectionView&, long section) override {
    return counts[static_cast<size_t>(section)];
  }
  kit::Ref<kit::CollectionViewCell> cellForItemAtIndexPath(kit::CollectionView& view, const IndexPath& path) override {
    auto cell = std::static_pointer_cast<TileCell>(view.dequeueReusableCellWithReuseIdentifier("tile", path));
    distinct.insert(cell.get());
    cell->label->setText(std::to_string(path.section) + ":" + std::to_string(path.item()));
    return cell;
  }
  kit::Ref<kit::CollectionReusableView> viewForSupplementaryElementOfKind(kit::CollectionView& view,
                                                                         const std::string& kind,
                                                                         const IndexPath& path) override {
    return view.dequeueReusableSupplementaryViewOfKind(kind, "header", path);
  }
  std::optional<kit::Size> sizeForItemAtIndexPath(kit::CollectionView&, kit::CollectionViewLayout&,
                                                  const IndexPath& path) override {
    if (wide && path.item() == 0) return wide;
    return std::nullopt;
  }
  bool shouldSelectItemAtIndexPath(kit::CollectionView&, const IndexPath&) override { return !refuseSelection; }
  void didSelectItemAtIndexPath(kit::CollectionView&, const IndexPath& path) override { selected.push_back(path); }
};

class CollectionViewTest : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    window = kit::Window::make();
    window->makeKeyAndVisible();
    layout = kit::CollectionViewFlowLayout::make();
    layout->itemSize = {80, 100};
    layout->minimumInteritemSpacing = 10;
    layout->minimumLineSpacing = 20;
    layout->sectionInset = {10, 15, 10, 15};
    grid = kit::CollectionView::make(Rect{0, 0, 300, 400}, layout);
    grid->registerClass<TileCell>("tile");
    grid->registerSupplementaryFactory(kit::CollectionElementKindSectionHeader, "header",
                                       [](const std::string&) { return kit::make<Header>(); });
    source = std::make_shared<GridSource>();
    grid->setDataSource(source);
    grid->setDelegate(source);
    window->addSubview(grid);
  }
  void TearDown() override {
    window.reset();
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }
  Rect frameOf(long item, long section = 0) {
    auto a = grid->layoutAttributesForItemAtIndexPath(IndexPath::forItem(item, section));
    return a ? a->frame : Rect::null();
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;
  kit::Ref<kit::CollectionViewFlowLayout> layout;
  kit::Ref<kit::CollectionView> grid;
  std::shared_ptr<GridSource> source;
};

TEST_F(CollectionViewTest, FlowLayoutFillsLinesSpreadingFullOnesAndKeepingTheLastAtTheMinimumGap) {
  window->layoutIfNeeded();
  // 270 points across: three 80-point items with 15-point gaps per full line.
  EXPECT_EQ(frameOf(0), (Rect{15, 10, 80, 100}));
  EXPECT_EQ(frameOf(1), (Rect{110, 10, 80, 100}));
  EXPECT_EQ(frameOf(2), (Rect{205, 10, 80, 100}));
  EXPECT_EQ(frameOf(3), (Rect{15, 130, 80, 100}));
  // The last line keeps the minimum gap from the leading edge.
  EXPECT_EQ(frameOf(6), (Rect{15, 250, 80, 100}));
  EXPECT_EQ(grid->contentSize(), (kit::Size{300, 10 + 3 * 100 + 2 * 20 + 10}));

  // A wide first item takes a line of its own, centred; smaller items share
  // a line, centred across it.
  source->wide = kit::Size{200, 50};
  grid->reloadData();
  EXPECT_EQ(frameOf(0), (Rect{50, 10, 200, 50}));
  EXPECT_EQ(frameOf(1).minY(), 80);

  // Horizontal scrolling fills columns and grows to the right.
  source->wide.reset();
  layout->scrollDirection = kit::CollectionViewScrollDirection::Horizontal;
  layout->sectionInset = {0, 0, 0, 0};
  layout->minimumInteritemSpacing = 0;
  layout->invalidateLayout();
  window->layoutIfNeeded();
  EXPECT_EQ(frameOf(0), (Rect{0, 0, 80, 100}));
  EXPECT_EQ(frameOf(1), (Rect{0, 100, 80, 100}));
  EXPECT_EQ(frameOf(4), (Rect{100, 0, 80, 100}));
  EXPECT_EQ(grid->contentSize(), (kit::Size{180, 400}));
}

TEST_F(CollectionViewTest, HeadersAndSectionsFollowEachOther) {
  source->counts = {2, 4};
  layout->headerReferenceSize = {0, 30};
  window->layoutIfNeeded();
  EXPECT_EQ(frameOf(0, 0), (Rect{15, 40, 80, 100}));
  // Section 1 starts after section 0's bottom inset, with its own header.
  EXPECT_EQ(frameOf(0, 1), (Rect{15, 30 + 10 + 100 + 10 + 30 + 10, 80, 100}));
  auto header = grid->supplementaryViewForElementKind(kit::CollectionElementKindSectionHeader, IndexPath::forItem(0, 1));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->frame(), (Rect{0, 150, 300, 30}));
  EXPECT_EQ(grid->numberOfItemsInSection(1), 4);
  EXPECT_EQ(grid->indexPathForItemAtPoint({120, 200}), IndexPath::forItem(1, 1));
  EXPECT_FALSE(grid->indexPathForItemAtPoint({100, 200}));
}

TEST_F(CollectionViewTest, OnlyItemsInSightAreCellsAndTheyAreReused) {
  source->counts = {60};
  window->layoutIfNeeded();
  // Lines at 10, 130, 250, 370: four lines of three are in sight.
  EXPECT_EQ(grid->visibleCells().size(), 12u);
  EXPECT_TRUE(kit::test::findLabel(*window, "0:11"));
  EXPECT_FALSE(kit::test::findLabel(*window, "0:12"));
  auto first = std::static_pointer_cast<TileCell>(grid->cellForItemAtIndexPath({0, 0}));
  ASSERT_TRUE(first);

  ASSERT_TRUE(kit::test::scroll(*grid, 0, 600));
  auto paths = grid->indexPathsForVisibleItems();
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths.front().item(), 15);
  EXPECT_LE(source->distinct.size(), 18u);
  EXPECT_GE(first->reuses, 1);
  EXPECT_TRUE(grid->indexPathForCell(*first).has_value());
}

TEST_F(CollectionViewTest, TapsSelectThroughTheDelegate) {
  window->layoutIfNeeded();
  ASSERT_TRUE(kit::test::selectItem(*grid, IndexPath::forItem(4, 0)));
  EXPECT_EQ(source->selected, std::vector<IndexPath>{IndexPath::forItem(4, 0)});
  EXPECT_TRUE(grid->cellForItemAtIndexPath({0, 4})->isSelected());
  ASSERT_TRUE(kit::test::selectItem(*grid, IndexPath::forItem(5, 0)));
  EXPECT_FALSE(grid->cellForItemAtIndexPath({0, 4})->isSelected());
  EXPECT_EQ(grid->indexPathsForSelectedItems(), std::vector<IndexPath>{IndexPath::forItem(5, 0)});
  source->refuseSelection = true;
  ASSERT_TRUE(kit::test::selectItem(*grid, IndexPath::forItem(6, 0)));
  EXPECT_EQ(source->selected.size(), 2u);
  EXPECT_FALSE(kit::test::selectItem(*grid, IndexPath::forItem(7, 0)));

  // Unregistered identifiers raise, as on the platform.
  try {
    grid->dequeueReusableCellWithReuseIdentifier("nothing", {});
    ADD_FAILURE() << "an unregistered identifier must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), kit::InternalInconsistencyException);
  }
}

}  // namespace
