// The not-open placard on notched landscape and portrait phones and a
// plain portrait one, the image crop of the progress bar, and the hall's records as the
// server fills them.

#include <gtest/gtest.h>

#include "channel/hall/nuva_hall_records.h"
#include "channel/hall/nuva_hall_support.h"
#include "channel/hall/nuva_not_open_view.h"
#include "channel/hall/testing/hall_fixture.h"
#include "kit/foundation/json_serialization.h"
#include "kit/graphics/bitmap.h"
#include "kit/ui/screen.h"
#include "kit/ui/ui_test_driver.h"

namespace {

class NotchedPlacard : public HallFixture {
 protected:
  NotchedPlacard() : HallFixture(kit::DeviceProfile::notched812x375()) {}
};

TEST_F(NotchedPlacard, SitsRightOfTheNotchAndClosesWithItsCover) {
  auto placard = NUVANotOpenView::init();
  placard->show();
  EXPECT_EQ(placard->frame(), (kit::Rect{0, 0, 812, 375}));
  EXPECT_EQ(placard->background()->frame(), (kit::Rect{32, 0, 780, 375}));
  EXPECT_EQ(placard->logo()->frame().minX(), 37);
  EXPECT_EQ(placard->closeButton()->frame(), (kit::Rect{695, 25, 32, 32}));
  EXPECT_TRUE(shows(placard->background()->image(), "noopen"));
  ASSERT_TRUE(placard->coverView());
  EXPECT_EQ(placard->coverView()->superview(), window);
  picture("hall_not_open");

  auto cover = placard->coverView();
  ASSERT_TRUE(kit::test::tap(placard->closeButton()));
  // At once, without a main-queue turn.
  EXPECT_FALSE(placard->superview());
  EXPECT_FALSE(cover->superview());
}

TEST_F(NotchedPlacard, TheGamePageBesideItLiesBlurredUnderTheCover) {
  auto page = layStripedPage();
  auto placard = NUVANotOpenView::init();
  placard->show();
  const double scale = kit::Screen::main()->scale();
  auto picture = kit::render(*window, scale);
  ASSERT_TRUE(picture);
  // The strip left of the placard shows only the cover over the page: the
  // stripes smeared into one dim grey, not sharp lines seen through a tint.
  EXPECT_LE(stripeContrast(*picture, scale, {6, 20, 20, 335}), 8);
  EXPECT_GE(stripeContrast(*kit::render(*page, scale), scale, {6, 20, 20, 335}), 200) << "the page itself is sharp";
}

class PortraitPlacard : public HallFixture {
 protected:
  PortraitPlacard() : HallFixture(kit::DeviceProfile::phone375x667()) {}
};

TEST_F(PortraitPlacard, UsesThePortraitPictures) {
  auto placard = NUVANotOpenView::init();
  placard->show();
  EXPECT_EQ(placard->background()->frame(), (kit::Rect{0, 0, 375, 667}));
  EXPECT_EQ(placard->logo()->frame(), (kit::Rect{12.5, 20, 350, 74}));
  EXPECT_EQ(placard->closeButton()->frame(), (kit::Rect{325, 25, 32, 32}));
  EXPECT_TRUE(shows(placard->background()->image(), "vernoopen"));
  EXPECT_TRUE(shows(placard->logo()->image(), "verresourcelogo"));
}

class NotchedPortraitPlacard : public HallFixture {
 protected:
  NotchedPortraitPlacard() : HallFixture(kit::DeviceProfile::notched375x812()) {}
};

TEST_F(NotchedPortraitPlacard, StartsBelowTheNotch) {
  auto placard = NUVANotOpenView::init();
  placard->show();
  EXPECT_EQ(placard->background()->frame(), (kit::Rect{0, 32, 375, 780}));
  EXPECT_EQ(placard->logo()->frame(), (kit::Rect{12.5, 52, 350, 74}));
  EXPECT_EQ(placard->closeButton()->frame(), (kit::Rect{325, 57, 32, 32}));
}

// A bitmap whose pixel (x, y) has red x and green y.
kit::Ref<kit::Image> gradientImage(int width, int height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width * height * 4));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &pixels[static_cast<size_t>((y * width + x) * 4)];
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = 0;
      p[3] = 255;
    }
  }
  return kit::Image::withBitmap(kit::make<kit::Bitmap>(width, height, kit::PixelFormat::rgba8(),
                                                       static_cast<size_t>(width * 4), std::move(pixels)),
                                1.0);
}

TEST_F(PortraitPlacard, CropTakesThreePixelsAPointAndKeepsWithinTheBitmap) {
  auto image = gradientImage(120, 150);
  auto cut = NUVAInterceptionWithRect(image, {0, 0, 10, 40});
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->bitmap()->width(), 30u);
  EXPECT_EQ(cut->bitmap()->height(), 120u);
  // The screen's scale (2), not the factor 3.
  EXPECT_EQ(cut->size(), (kit::Size{15, 60}));

  // Past the edge: only what lies in the bitmap.
  auto edge = NUVAInterceptionWithRect(image, {30, 40, 20, 20});
  ASSERT_TRUE(edge);
  EXPECT_EQ(edge->bitmap()->width(), 30u);
  EXPECT_EQ(edge->bitmap()->height(), 30u);

  EXPECT_FALSE(NUVAInterceptionWithRect(image, {0, 0, 0, 40}));
  EXPECT_FALSE(NUVAInterceptionWithRect(image, {100, 100, 10, 10}));
  EXPECT_FALSE(NUVAInterceptionWithRect(nullptr, {0, 0, 10, 10}));
  // The bar's own picture, whole: 618 x 120 pixels make 206 x 40 points.
  auto bar = NUVAInterceptionWithRect(NUVALightImage("turnprocess"), {0, 0, 206, 40});
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->bitmap()->width(), 618u);
  EXPECT_EQ(bar->bitmap()->height(), 120u);
}

TEST(HallRecords, IdFillsListidAndUnknownKeysAreIgnored) {
  auto values = kit::JSONSerialization::JSONObjectWithData(
      kit::Data::make(R"({"id":5,"title":"金币","money":"6","is_buy":0,"colour":"red"})"), 0);
  auto goods = NUVAInfiniterModel::withValues(values);
  EXPECT_EQ(kit::describe(goods->listid()), "5");
  EXPECT_EQ(kit::describe(goods->is_buy()), "0");
  EXPECT_EQ(kit::describe(goods->is_coin()), "(null)");
  auto prize = NUVATurnTableModel::withValues(kit::dict({{"id", "7"}, {"name", "钻石"}, {"nums", "10"}}));
  EXPECT_EQ(kit::describe(prize->name()), "钻石");
  EXPECT_EQ(kit::describe(prize->mid()), "(null)");
  EXPECT_EQ(kit::describe(NUVATurnTableModel::withValues(kit::str("x"))->name()), "(null)");
}

}  // namespace
