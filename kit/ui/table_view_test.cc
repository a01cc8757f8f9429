// Table views: only the rows in sight become cells, cells are reused as the
// list scrolls, taps select rows through the delegate, and sections,
// headers, footers and heights give the rows their places.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "kit/foundation/exception.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/color_space.h"
#include "kit/graphics/pixel_format.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/scroll_test_driver.h"
#include "kit/ui/table_view.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace {

using kit::IndexPath;

kit::Ref<kit::Image> solidImage() {
  std::vector<uint8_t> rgba(4 * 4 * 4, 200);
  kit::PixelFormat format;
  format.colorSpace = kit::ColorSpace::deviceRGB();
  format.bitmapInfo = kit::makeBitmapInfo(kit::AlphaInfo::Last);
  return kit::Image::withBitmap(kit::Bitmap::create(4, 4, format, 0, rgba), 1);
}

class CountingCell : public kit::TableViewCell {
 public:
  using TableViewCell::TableViewCell;
  int reuses = 0;
  void prepareForReuse() override { ++reuses; }
};

// A list of `rows` rows that shows an icon on row 0 only, the way product
// code clears what a reused cell still shows.
class ListSource : public kit::TableViewDataSource, public kit::TableViewDelegate {
 public:
  explicit ListSource(long rows) : rows(rows) {}
  long rows;
  long sections = 1;
  int cellsAsked = 0;
  std::set<kit::TableViewCell*> distinctCells;
  std::vector<IndexPath> selected, deselected;
  std::optional<IndexPath> redirect;
  bool refuse = false;
  kit::Ref<kit::Image> icon = solidImage();

  long numberOfSectionsInTableView(kit::TableView&) override { return sections; }
  long numberOfRowsInSection(kit::TableView&, long) override { return rows; }
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const IndexPath& path) override {
    ++cellsAsked;
    auto cell = table.dequeueReusableCellWithIdentifier("row", path);
    distinctCells.insert(cell.get());
    cell->textLabel()->setText("row " + std::to_string(path.row));
    cell->imageView()->setImage(path.row == 0 ? icon : nullptr);
    return cell;
  }
  std::optional<IndexPath> willSelectRowAtIndexPath(kit::TableView&, const IndexPath& path) override {
    if (refuse) return std::nullopt;
    return redirect ? redirect : path;
  }
  void didSelectRowAtIndexPath(kit::TableView&, const IndexPath& path) override { selected.push_back(path); }
  void didDeselectRowAtIndexPath(kit::TableView&, const IndexPath& path) override { deselected.push_back(path); }
};

class TableViewTest : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    window = kit::Window::make();
    window->makeKeyAndVisible();
    table = kit::TableView::make(kit::Rect{0, 64, 375, 300});
    table->registerClass<CountingCell>("row");
    window->addSubview(table);
  }
  void TearDown() override {
    window.reset();
    kit::Application::shared()->reset();
    VirtualClockTest::TearDown();
  }
  std::vector<long> visibleRows() {
    std::vector<long> rows;
    for (const auto& p : table->indexPathsForVisibleRows()) rows.push_back(p.row);
    return rows;
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;
  kit::Ref<kit::TableView> table;
};

TEST_F(TableViewTest, OnlyVisibleRowsBecomeCellsAndScrolledOutCellsAreReused) {
  auto source = std::make_shared<ListSource>(100);
  table->setDataSource(source);
  table->setDelegate(source);
  window->layoutIfNeeded();

  EXPECT_EQ(table->contentSize(), (kit::Size{375, 4400}));
  // 300 points of 44-point rows: rows 0 to 6, the last one cut.
  EXPECT_EQ(visibleRows(), (std::vector<long>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(source->cellsAsked, 7);
  auto first = std::static_pointer_cast<CountingCell>(table->cellForRowAtIndexPath({0, 0}));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->frame(), (kit::Rect{0, 0, 375, 44}));
  EXPECT_EQ(first->imageView()->image(), source->icon);
  EXPECT_EQ(first->textLabel()->text(), "row 0");
  EXPECT_TRUE(kit::test::findLabel(*window, "row 6"));
  EXPECT_FALSE(kit::test::findLabel(*window, "row 7"));

  // Ten rows further down, rows 10 to 16 show, in reused cells.
  ASSERT_TRUE(kit::test::scroll(*table, 0, 440));
  EXPECT_EQ(visibleRows(), (std::vector<long>{10, 11, 12, 13, 14, 15, 16}));
  EXPECT_LE(source->distinctCells.size(), 9u);
  EXPECT_EQ(first->superview().get(), table.get()) << "the first cell came back for another row";
  EXPECT_GE(first->reuses, 1);
  auto path = table->indexPathForCell(*first);
  ASSERT_TRUE(path);
  EXPECT_GE(path->row, 10);
  EXPECT_EQ(first->textLabel()->text(), "row " + std::to_string(path->row));
  EXPECT_FALSE(first->imageView()->image()) << "the data source cleared the old image";

  // Scrolling through the whole list keeps the number of cells small.
  for (int i = 0; i < 9; ++i) ASSERT_TRUE(kit::test::scroll(*table, 0, 440));
  advance(kit::ScrollView::BounceDuration);
  EXPECT_EQ(table->contentOffset().y, 4100);
  EXPECT_EQ(visibleRows().back(), 99);
  EXPECT_LE(source->distinctCells.size(), 9u);
  EXPECT_EQ(table->subviews().size(), table->visibleCells().size());
}

TEST_F(TableViewTest, SelectingRowFiveReachesTheDelegateWithItsIndexPath) {
  auto source = std::make_shared<ListSource>(100);
  table->setDataSource(source);
  table->setDelegate(source);
  window->layoutIfNeeded();

  ASSERT_TRUE(kit::test::selectRow(*table, IndexPath::forRow(5, 0)));
  ASSERT_EQ(source->selected.size(), 1u);
  EXPECT_EQ(source->selected[0].section, 0);
  EXPECT_EQ(source->selected[0].row, 5);
  EXPECT_EQ(table->indexPathForSelectedRow(), IndexPath::forRow(5, 0));
  EXPECT_TRUE(table->cellForRowAtIndexPath({0, 5})->isSelected());

  // A row out of sight is scrolled to first, and the old one deselected.
  ASSERT_TRUE(kit::test::selectRow(*table, IndexPath::forRow(40, 0)));
  EXPECT_EQ(source->selected.back(), IndexPath::forRow(40, 0));
  EXPECT_EQ(source->deselected, std::vector<IndexPath>{IndexPath::forRow(5, 0)});
  EXPECT_GT(table->contentOffset().y, 0);
  EXPECT_FALSE(kit::test::selectRow(*table, IndexPath::forRow(100, 0)));

  // The delegate may refuse or redirect a selection.
  source->refuse = true;
  ASSERT_TRUE(kit::test::selectRow(*table, IndexPath::forRow(41, 0)));
  EXPECT_EQ(source->selected.size(), 2u);
  source->refuse = false;
  source->redirect = IndexPath::forRow(42, 0);
  ASSERT_TRUE(kit::test::selectRow(*table, IndexPath::forRow(41, 0)));
  EXPECT_EQ(source->selected.back(), IndexPath::forRow(42, 0));

  // Deselecting from code does not tell the delegate.
  table->deselectRowAtIndexPath(IndexPath::forRow(42, 0), true);
  EXPECT_FALSE(table->indexPathForSelectedRow());
  EXPECT_EQ(source->deselected.size(), 2u);
}

TEST_F(TableViewTest, AFingerThatDragsScrollsWithoutSelecting) {
  auto source = std::make_shared<ListSource>(100);
  table->setDataSource(source);
  table->setDelegate(source);
  window->layoutIfNeeded();
  auto cell = table->cellForRowAtIndexPath({0, 3});
  const kit::Rect f = kit::test::frameInWindow(*cell);
  kit::test::touchDown(*window, {f.midX(), f.midY()});
  EXPECT_TRUE(cell->isHighlighted());
  for (int i = 1; i <= 30; ++i) kit::test::touchMove(*window, {f.midX(), f.midY() - i});
  EXPECT_FALSE(cell->isHighlighted()) << "the scroll took the touch";
  kit::test::touchUp(*window, {f.midX(), f.midY() - 30});
  EXPECT_TRUE(source->selected.empty());
  EXPECT_EQ(table->contentOffset().y, 20);

  // With selection off a tap does nothing.
  table->setAllowsSelection(false);
  ASSERT_TRUE(kit::test::tap(table->visibleCells().front()));
  EXPECT_TRUE(source->selected.empty());
}

TEST_F(TableViewTest, MultipleSelectionTogglesRows) {
  auto source = std::make_shared<ListSource>(10);
  table->setDataSource(source);
  table->setDelegate(source);
  table->setAllowsMultipleSelection(true);
  ASSERT_TRUE(kit::test::selectRow(*table, {0, 1}));
  ASSERT_TRUE(kit::test::selectRow(*table, {0, 3}));
  EXPECT_EQ(table->indexPathsForSelectedRows(), (std::vector<IndexPath>{{0, 1}, {0, 3}}));
  ASSERT_TRUE(kit::test::selectRow(*table, {0, 1}));
  EXPECT_EQ(table->indexPathsForSelectedRows(), (std::vector<IndexPath>{{0, 3}}));
  EXPECT_EQ(source->deselected, (std::vector<IndexPath>{{0, 1}}));
}

class SectionedSource : public kit::TableViewDataSource, public kit::TableViewDelegate {
 public:
  long numberOfSectionsInTableView(kit::TableView&) override { return 2; }
  long numberOfRowsInSection(kit::TableView&, long section) override { return section == 0 ? 1 : 3; }
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const IndexPath& path) override {
    auto cell = table.dequeueReusableCellWithIdentifier(path.section == 0 ? "head" : "row");
    if (!cell)
      cell = kit::TableViewCell::make(kit::TableViewCellStyle::Subtitle, path.section == 0 ? "head" : "row");
    cell->textLabel()->setText(path.section == 0 ? "market" : "offer");
    return cell;
  }
  std::optional<std::string> titleForHeaderInSection(kit::TableView&, long section) override {
    if (section == 1) return "offers";
    return std::nullopt;
  }
  std::optional<double> heightForRowAtIndexPath(kit::TableView&, const IndexPath& path) override {
    return path.section == 0 ? 82.0 : 125.0;
  }
};

TEST_F(TableViewTest, SectionsHeadersFootersAndHeightsPlaceTheRows) {
  auto source = std::make_shared<SectionedSource>();
  auto header = kit::View::make(kit::Rect{0, 0, 10, 30});
  table->setTableHeaderView(header);
  table->setDataSource(source);
  table->setDelegate(source);
  table->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
  table->setContentInset({0, 0, 8, 0});
  window->layoutIfNeeded();

  EXPECT_EQ(header->frame(), (kit::Rect{0, 0, 375, 30}));
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 0}), (kit::Rect{0, 30, 375, 82}));
  // A titled header in a plain table is 28 points; untitled ones take none.
  EXPECT_EQ(table->rectForHeaderInSection(0).height(), 0);
  EXPECT_EQ(table->rectForHeaderInSection(1), (kit::Rect{0, 112, 375, 28}));
  EXPECT_EQ(table->rectForRowAtIndexPath({1, 0}), (kit::Rect{0, 140, 375, 125}));
  EXPECT_EQ(table->contentSize().height, 30 + 82 + 28 + 3 * 125);
  EXPECT_EQ(table->indexPathForRowAtPoint({10, 150}), IndexPath::forRow(0, 1));
  EXPECT_FALSE(table->indexPathForRowAtPoint({10, 120}));
  EXPECT_TRUE(kit::test::findLabel(*window, "offers"));
  for (auto& cell : table->visibleCells()) EXPECT_TRUE(cell->separatorView()->isHidden());

  // Sections in a grouped table get their default header and footer space.
  auto grouped = kit::TableView::make(kit::Rect{0, 0, 375, 600}, kit::TableViewStyle::Grouped);
  grouped->setDataSource(source);
  grouped->setDelegate(source);
  EXPECT_EQ(grouped->rectForRowAtIndexPath({0, 0}).minY(), 18);
  EXPECT_EQ(grouped->rectForHeaderInSection(1).height(), 38);
  EXPECT_EQ(grouped->numberOfRowsInSection(1), 3);
  EXPECT_EQ(grouped->numberOfRowsInSection(5), 0);
}

TEST_F(TableViewTest, ReloadReturnsCellsAndKeepsTheOffsetWithinTheContent) {
  auto source = std::make_shared<ListSource>(100);
  table->setDataSource(source);
  table->setDelegate(source);
  window->layoutIfNeeded();
  table->setContentOffset({0, 2000});
  ASSERT_EQ(visibleRows().front(), 45);
  table->selectRowAtIndexPath({0, 46}, false, kit::TableViewScrollPosition::None);

  source->rows = 10;
  table->reloadData();
  EXPECT_EQ(table->contentSize().height, 440);
  EXPECT_EQ(table->contentOffset().y, 140);
  EXPECT_EQ(visibleRows(), (std::vector<long>{3, 4, 5, 6, 7, 8, 9}));
  EXPECT_FALSE(table->indexPathForSelectedRow()) << "a reload forgets the selection";

  source->rows = 0;
  table->reloadData();
  EXPECT_TRUE(table->visibleCells().empty());
  EXPECT_EQ(table->contentOffset().y, 0);
}

TEST_F(TableViewTest, DequeueNeedsARegistrationAndNibsMakeCells) {
  EXPECT_FALSE(table->dequeueReusableCellWithIdentifier("nothing"));
  try {
    table->dequeueReusableCellWithIdentifier("nothing", IndexPath{});
    ADD_FAILURE() << "an unregistered identifier must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), kit::InternalInconsistencyException);
  }
  kit::SceneRegistry::shared().registerNib("KaifuCell", [](const kit::Id&) -> std::vector<kit::Id> {
    auto cell = kit::make<kit::TableViewCell>(kit::Rect{0, 0, 300, 44});
    auto label = kit::Label::make(kit::Rect{10, 0, 100, 44});
    label->setTag(7);
    cell->contentView()->addSubview(label);
    return {cell};
  });
  table->registerNib("KaifuCell", "KaifuCell");
  auto cell = table->dequeueReusableCellWithIdentifier("KaifuCell", IndexPath{});
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->reuseIdentifier(), "KaifuCell");
  EXPECT_TRUE(cell->viewWithTag(7));
  kit::SceneRegistry::shared().removeNib("KaifuCell");
}

class NilSource : public kit::TableViewDataSource {
 public:
  long numberOfRowsInSection(kit::TableView&, long) override { return 3; }
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView&, const IndexPath& path) override {
    if (path.row == 1) return nullptr;
    return kit::TableViewCell::make();
  }
};

TEST_F(TableViewTest, ARowWithoutACellIsLeftEmpty) {
  auto source = std::make_shared<NilSource>();
  table->setDataSource(source);
  window->layoutIfNeeded();
  EXPECT_EQ(visibleRows(), (std::vector<long>{0, 2}));
}

class ListController : public kit::ViewController, public kit::TableViewDataSource, public kit::TableViewDelegate {
 public:
  kit::Ref<kit::TableView> list;
  void viewDidLoad() override {
    list = kit::TableView::make(view()->bounds());
    list->registerClass<kit::TableViewCell>("row");
    list->setDataSource(weakSelf<ListController>());
    list->setDelegate(weakSelf<ListController>());
    view()->addSubview(list);
  }
  long numberOfRowsInSection(kit::TableView&, long) override { return 20; }
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& t, const IndexPath& p) override {
    return t.dequeueReusableCellWithIdentifier("row", p);
  }
};

TEST_F(TableViewTest, AControllerThatFeedsItsTableIsReleased) {
  kit::Weak<ListController> weak;
  {
    auto controller = kit::make<ListController>();
    weak = controller;
    window->setRootViewController(controller);
    window->layoutIfNeeded();
    ASSERT_TRUE(kit::test::selectRow(*controller->list, {0, 2}));
    ASSERT_TRUE(kit::test::scroll(*controller->list, 0, 200, kit::test::Release::Fling));
    window->setRootViewController(nullptr);
  }
  advance(3);
  EXPECT_TRUE(weak.expired());
}

}  // namespace

namespace {

// What the player sees of a scrolled list: the rows in sight, drawn where
// the offset puts them, with their separators.
TEST_F(TableViewTest, ScrolledRowsAreDrawnWhereTheOffsetPutsThem) {
  auto source = std::make_shared<ListSource>(100);
  table->setDataSource(source);
  table->setSeparatorColor(kit::Color::redColor());
  table->setSeparatorInset({0, 0, 0, 0});
  window->layoutIfNeeded();
  table->setContentOffset({0, 22});
  auto picture = kit::render(*window, 2);
  ASSERT_TRUE(picture);
  // Row 0 ends at content y 44: its half-point separator shows at window
  // y 64 + 44 - 22 - 0.5, one pixel at scale 2.
  EXPECT_EQ(picture->pixelAt(200, 2 * (64 + 22) - 1), (kit::Pixel{255, 0, 0, 255}));
  // The middle of row 1 is plain cell white; above the table is the window's black.
  EXPECT_EQ(picture->pixelAt(600, 2 * (64 + 44)), (kit::Pixel{255, 255, 255, 255}));
  EXPECT_EQ(picture->pixelAt(600, 2 * 30), (kit::Pixel{0, 0, 0, 255}));
#ifdef KIT_UI_ARTIFACT_DIR
  EXPECT_TRUE(kit::writePNG(*picture, std::string(KIT_UI_ARTIFACT_DIR) + "/table_scrolled.png"));
#endif
}

}  // namespace
