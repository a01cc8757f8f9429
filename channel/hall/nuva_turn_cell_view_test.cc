// The prize cell (amount, highlight, name tip on the virtual clock) and the
// draw-result pop-ups (the one-draw name plate, the five-draw tiles in both
// forms, closing without a request).

#include <gtest/gtest.h>

#include <cmath>

#include "channel/hall/nuva_hall_support.h"
#include "channel/hall/nuva_turn_cell_view.h"
#include "channel/hall/nuva_turn_gift_pop_view.h"
#include "channel/hall/testing/hall_fixture.h"
#include "kit/ui/font.h"
#include "kit/ui/ui_test_driver.h"

namespace {

class PrizeCell : public HallFixture {
 protected:
  kit::Ref<NUVATurnCellView> cellAt(const kit::Rect& frame, const char* name) {
    if (!face) {
      face = kit::View::make({100, 100, 400, 250});
      window->addSubview(face);
    }
    auto cell = NUVATurnCellView::initWithFrame(frame);
    cell->setModel(NUVATurnTableModel::withValues(
        kit::dict({{"name", name}, {"amount", "5"}, {"icon", game.itemIconURL(2)}})));
    face->addSubview(cell);
    return cell;
  }
  std::vector<kit::Ref<kit::Label>> tipsOnFace() const {
    std::vector<kit::Ref<kit::Label>> tips;
    for (const auto& view : face->subviews()) {
      if (auto label = kit::as<kit::Label>(view)) tips.push_back(label);
    }
    return tips;
  }
  kit::Ref<kit::View> face;
};

TEST_F(PrizeCell, ShowsTheAmountWithAShadowAndHighlightsThroughItsButton) {
  auto cell = cellAt({50, 50, 80, 133}, "钻石");
  EXPECT_EQ(cell->num()->text(), "×5");
  EXPECT_EQ(cell->num()->frame(), (kit::Rect{0, 70, 80, 12}));
  EXPECT_EQ(cell->num()->layer()->shadowRadius(), 1);
  EXPECT_EQ(cell->num()->layer()->shadowOffset(), (kit::Size{-1, 1}));
  EXPECT_EQ(cell->selectBtn()->frame(), (kit::Rect{-2, 20, 85, 75}));
  EXPECT_TRUE(shows(cell->selectBtn()->backgroundImage(kit::ControlStateSelected), "turnablechoose"));
  EXPECT_FALSE(cell->selectBtn()->isSelected());
  ASSERT_TRUE(kit::test::runUntil([&] { return cell->icon()->image() != nullptr; }));
}

TEST_F(PrizeCell, ATipStandsAtMostASecondAndTheSecondTapReplacesTheFirst) {
  auto cell = cellAt({50, 50, 80, 133}, "钻石");
  ASSERT_TRUE(kit::test::tap(cell->selectBtn()));
  auto first = tipsOnFace();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0]->text(), "钻石");
  // The button's window origin is (148, 170); landscape: 160 left, 20 up.
  EXPECT_EQ(first[0]->frame().origin, (kit::Point{-12, 150}));

  advance(0.5);
  ASSERT_TRUE(kit::test::tap(cell->selectBtn()));
  auto second = tipsOnFace();
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(second[0], first[0]);
  // The first tap's second is over: it takes the second tip too.
  advance(0.5);
  EXPECT_TRUE(tipsOnFace().empty());

  // Tips of two cells stand side by side.
  auto other = cellAt({200, 50, 80, 133}, "金币");
  ASSERT_TRUE(kit::test::tap(cell->selectBtn()));
  ASSERT_TRUE(kit::test::tap(other->selectBtn()));
  EXPECT_EQ(tipsOnFace().size(), 2u);
  advance(1.0);
  EXPECT_TRUE(tipsOnFace().empty());
}

TEST_F(PrizeCell, APrizeWithoutANameHasNoTipAndOneWithoutAnAmountNoSign) {
  auto face = kit::View::make({100, 100, 400, 250});
  window->addSubview(face);
  auto cell = NUVATurnCellView::initWithFrame({50, 50, 80, 133});
  cell->setModel(NUVATurnTableModel::withValues(kit::dict({{"name", kit::null()}})));
  face->addSubview(cell);
  EXPECT_EQ(cell->num()->text(), "");
  ASSERT_TRUE(kit::test::tap(cell->selectBtn()));
  for (const auto& view : face->subviews()) EXPECT_FALSE(kit::as<kit::Label>(view)) << "no tip";
}

class PortraitPrizeCell : public PrizeCell {
 protected:
  void SetUp() override {
    PrizeCell::SetUp();
    kit::Application::shared()->setStatusBarOrientation(kit::InterfaceOrientation::Portrait);
  }
};

TEST_F(PortraitPrizeCell, PlacesTheTipAboveTheButton) {
  auto cell = cellAt({50, 50, 80, 133}, "钻石");
  ASSERT_TRUE(kit::test::tap(cell->selectBtn()));
  auto tips = tipsOnFace();
  ASSERT_EQ(tips.size(), 1u);
  EXPECT_EQ(tips[0]->frame().origin, (kit::Point{128, 10}));
}

// ---- Pop-ups ------------------------------------------------------------------------------------

using DrawPopUp = HallFixture;

TEST_F(DrawPopUp, OneDrawPlateFitsTheNameUpToTheBox) {
  auto popUp = NUVATurnOneGiftPopView::init();
  popUp->setName(kit::str("钻石*20"));
  popUp->setIconUrl(kit::str(game.itemIconURL(3)));
  popUp->show();
  EXPECT_EQ(popUp->frame(), (kit::Rect{205.5, 87.5, 256, 200}));
  const double w = std::ceil(NUVAHallSupport::measure("钻石*20", kit::Font::systemFont(10), 200).width) + 1;
  ASSERT_LT(w, 200);
  EXPECT_EQ(popUp->nameLabel()->frame().width(), w + 18);
  EXPECT_EQ(popUp->nameLabel()->frame().minX(), (228 - (w + 18)) / 2);
  EXPECT_EQ(popUp->nameLabel()->frame().minY(), 94);
  ASSERT_TRUE(kit::test::runUntil([&] { return !shows(popUp->iconImg()->image(), "onegifticonbg"); }));
  picture("hall_one_draw");

  auto wide = NUVATurnOneGiftPopView::init();
  wide->setName(kit::str(std::string(150, 'l') + "*1"));
  EXPECT_EQ(wide->nameLabel()->frame().width(), 218);
  EXPECT_EQ(wide->nameLabel()->frame().minX(), 5);
  EXPECT_GT(wide->nameLabel()->frame().height(), 20);

  // Get and close both close on the next main-queue turn, and send nothing.
  const size_t requests = game.requests().size();
  auto cover = popUp->coverView();
  ASSERT_TRUE(kit::test::tap(popUp->getButton()));
  EXPECT_EQ(popUp->superview(), window);
  drainMain();
  EXPECT_FALSE(popUp->superview());
  EXPECT_FALSE(cover->superview());
  wide->show();
  wide->closeClick();
  drainMain();
  EXPECT_FALSE(wide->superview());
  EXPECT_EQ(game.requests().size(), requests);
}

kit::Ref<kit::Array> prizes(const sim::ChannelGameServer& game, int count) {
  auto list = kit::MutableArray::make();
  for (int i = 0; i < count; ++i) {
    list->addObject(kit::dict({{"name", "金币"}, {"amount", std::to_string(i + 1)}, {"icon", game.itemIconURL(i + 1)}}));
  }
  return list;
}

TEST_F(DrawPopUp, FiveDrawTilesStandInOneRowInLandscape) {
  auto popUp = NUVATurnFiveGiftPopView::init();
  popUp->setProp_listArray(prizes(game, 5));
  popUp->show();
  EXPECT_EQ(popUp->frame().size, (kit::Size{506, 275}));
  ASSERT_EQ(popUp->tiles().size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(popUp->tiles()[i]->frame(), (kit::Rect{48 + 80.0 * static_cast<double>(i), 60, 62, 180}));
  }
  EXPECT_TRUE(kit::test::findLabel(*popUp->tiles()[4], "金币*5"));
  EXPECT_EQ(popUp->getButton()->frame(), (kit::Rect{164, 220, 150, 52}));
}

TEST_F(DrawPopUp, FiveDrawTilesStandInTwoRowsInPortraitAndAnEmptyListShowsNone) {
  auto popUp = NUVAVETurnFiveGiftPopView::init();
  popUp->setProp_listArray(prizes(game, 5));
  const kit::Point expected[] = {{94, 40}, {192, 40}, {45, 130}, {137, 130}, {229, 130}};
  ASSERT_EQ(popUp->tiles().size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(popUp->tiles()[i]->frame().origin, expected[i]);
  EXPECT_EQ(popUp->getButton()->frame(), (kit::Rect{88, 261, 150, 52}));

  auto empty = NUVAVETurnFiveGiftPopView::init();
  empty->setProp_listArray(kit::array({}));
  empty->show();
  EXPECT_TRUE(empty->tiles().empty());
  EXPECT_EQ(empty->subviews().size(), 3u);  // background, close, get
}

}  // namespace
