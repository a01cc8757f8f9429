// Blur effect views in pictures: what lies behind one is blurred within its
// bounds and nowhere else (within its rounded corners, too), also under a
// translucent effect view (as the channel's covers use it), inside a
// translucent group and over a see-through picture; the blur reaches as
// far in points at every scale; the pictures agree with the reference
// drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/render_reference.h"
#include "kit/ui/visual_effect_view.h"
#include "kit/ui/window.h"

namespace kit {
namespace {

int luma(const Pixel& p) { return (p.r * 3 + p.g * 6 + p.b) / 10; }

// The spread of brightness along a row of a picture, from x0 to x1 (pixels).
int spread(const Bitmap& b, size_t y, size_t x0, size_t x1) {
  int lo = 255, hi = 0;
  for (size_t x = x0; x < x1; ++x) {
    lo = std::min(lo, luma(b.pixelAt(x, y)));
    hi = std::max(hi, luma(b.pixelAt(x, y)));
  }
  return hi - lo;
}

// Black and white stripes, `width` points each: a page's sharp edges.
void addStripes(View& host, const Rect& area, double width) {
  for (double x = area.minX(); x < area.maxX(); x += 2 * width) {
    auto stripe = View::make(Rect{x, area.minY(), width, area.height()});
    stripe->setBackgroundColor(Color::whiteColor());
    host.addSubview(stripe);
  }
}

class VisualEffectViewTest : public ::testing::Test {
 protected:
  DeviceProfileScope profile{DeviceProfile::phone667x375()};

  // A window of stripes under a dimming cover whose left half holds a dark
  // blur at alpha 0.4.
  Ref<Window> coveredStripes() {
    auto window = Window::make();
    window->setBackgroundColor(Color::blackColor());
    addStripes(*window, window->bounds(), 4);
    auto cover = View::make(window->bounds());
    cover->setBackgroundColor(Color::white(0, 0.5));
    auto blur = VisualEffectView::make(BlurEffect::withStyle(BlurEffectStyle::Dark), Rect{0, 0, 300, 375});
    blur->setAlpha(0.4);
    cover->addSubview(blur);
    coverBlur = blur;
    window->addSubview(cover);
    return window;
  }
  Ref<VisualEffectView> coverBlur;
};

TEST_F(VisualEffectViewTest, BlursWhatLiesBehindItWithinItsBoundsOnly) {
  auto window = coveredStripes();
  auto picture = render(*window, 2);
  ASSERT_TRUE(picture);
  // Inside, well away from the edges, the stripes are smeared into one
  // grey; outside they stay as sharp as the cover leaves them.
  for (size_t y : {100u, 375u, 650u}) {
    EXPECT_LE(spread(*picture, y, 100, 500), 6) << "row " << y;
    EXPECT_GE(spread(*picture, y, 700, 1300), 120) << "row " << y;
  }
  // The grey is the stripes' mean, dimmed by the cover and the tint: not
  // black, not the white stripes.
  const int grey = luma(picture->pixelAt(300, 375));
  EXPECT_GT(grey, 25);
  EXPECT_LT(grey, 90);
  std::string error;
  EXPECT_TRUE(writePNG(*picture, std::string(KIT_UI_ARTIFACT_DIR) + "/blur_cover.png", &error)) << error;
}

TEST_F(VisualEffectViewTest, AgreesWithTheReferenceDrawing) {
  auto window = coveredStripes();
  auto fast = render(*window, 2), reference = renderReference(*window, 2);
  ASSERT_TRUE(fast && reference);
  ASSERT_EQ(fast->width(), reference->width());
  int worst = 0;
  for (size_t y = 0; y < fast->height(); y += 3) {
    for (size_t x = 0; x < fast->width(); x += 3) {
      const Pixel a = fast->pixelAt(x, y), b = reference->pixelAt(x, y);
      worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
    }
  }
  EXPECT_LE(worst, 2);
}

TEST_F(VisualEffectViewTest, InsideATranslucentGroupBlursInPlace) {
  auto window = Window::make();
  window->setBackgroundColor(Color::blackColor());
  // A translucent card (drawn through a group of its own size): black on
  // its left half, white on its right, with a blur over all of it.
  auto card = View::make(Rect{200, 100, 200, 100});
  card->setAlpha(0.9);
  auto white = View::make(Rect{100, 0, 100, 100});
  white->setBackgroundColor(Color::whiteColor());
  card->addSubview(white);
  auto blur = VisualEffectView::make(BlurEffect::withStyle(BlurEffectStyle::Dark), card->bounds());
  card->addSubview(blur);
  window->addSubview(card);
  auto picture = render(*window, 2);
  ASSERT_TRUE(picture);
  // The edge is soft, and where it was: half way up the ramp at its place.
  const int dark = luma(picture->pixelAt(420, 200)), light = luma(picture->pixelAt(780, 200));
  const int middle = luma(picture->pixelAt(600, 200));
  EXPECT_GT(light - dark, 60);
  EXPECT_NEAR(middle, (dark + light) / 2, 8);
  EXPECT_GT(luma(picture->pixelAt(590, 200)), dark + 10) << "the edge is blurred";
  EXPECT_LT(luma(picture->pixelAt(610, 200)), light - 10) << "the edge is blurred";
  // Nothing outside the card.
  EXPECT_EQ(picture->pixelAt(390, 200), (Pixel{0, 0, 0, 255}));
}

TEST_F(VisualEffectViewTest, WithoutAnEffectNothingIsBlurred) {
  auto window = coveredStripes();
  coverBlur->setEffect(nullptr);
  auto picture = render(*window, 2);
  EXPECT_GE(spread(*picture, 375, 100, 500), 120);
}

// A rounded blur (its layer's corners rounded and clipped, as a card's
// are) blurs within its rounded shape only: in its corners, outside the
// rounding, the stripes behind stay as sharp as they are.
TEST_F(VisualEffectViewTest, ARoundedBlurLeavesItsCornersUntouched) {
  auto window = Window::make();
  window->setBackgroundColor(Color::blackColor());
  addStripes(*window, window->bounds(), 4);
  auto blur = VisualEffectView::make(BlurEffect::withStyle(BlurEffectStyle::Dark), Rect{100, 100, 300, 200});
  blur->layer()->setCornerRadius(40);
  blur->setClipsToBounds(true);
  window->addSubview(blur);
  auto picture = render(*window, 2);
  ASSERT_TRUE(picture);
  // Two points below the top edge the rounding starts 12.5 points in from
  // either side; within the rounded shape the row is one grey.
  for (size_t y : {204u, 596u}) {
    EXPECT_GE(spread(*picture, y, 200, 244), 200) << "left corner, row " << y;
    EXPECT_GE(spread(*picture, y, 756, 800), 200) << "right corner, row " << y;
    EXPECT_LE(spread(*picture, y, 300, 700), 6) << "row " << y;
  }
}

// The blur's reach is in points: a picture at scale 2 shows the same soft
// edge as one at scale 1, twice as many pixels wide.
TEST_F(VisualEffectViewTest, TheBlurReachesAsFarInPointsAtEveryScale) {
  auto window = Window::make();
  window->setBackgroundColor(Color::blackColor());
  auto white = View::make(Rect{333, 0, 334, 375});
  white->setBackgroundColor(Color::whiteColor());
  window->addSubview(white);
  window->addSubview(VisualEffectView::make(BlurEffect::withStyle(BlurEffectStyle::Light), window->bounds()));
  auto one = render(*window, 1), two = render(*window, 2);
  ASSERT_TRUE(one && two);
  // Across the edge at 333 points, from deep black to deep white.
  const int dark = luma(one->pixelAt(233, 187)), light = luma(one->pixelAt(433, 187));
  EXPECT_GT(light - dark, 80);
  for (int offset : {-25, -15, -8, -4, 4, 8, 15, 25}) {
    const size_t x = static_cast<size_t>(333 + offset);
    const int atOne = luma(one->pixelAt(x, 187)), atTwo = luma(two->pixelAt(2 * x, 374));
    EXPECT_NEAR(atOne, atTwo, 4) << offset << " points from the edge";
    EXPECT_GT(atOne, dark + (offset < 0 ? 0 : 2)) << offset << " points from the edge";
    EXPECT_LT(atOne, light - (offset > 0 ? 0 : 2)) << offset << " points from the edge";
  }
}

// Drawn over a see-through picture (a view rendered on its own), the blur
// keeps what is see-through see-through: only the tint covers it, and a
// white square's blur spreads into it as a translucent glow.
TEST_F(VisualEffectViewTest, OnASeeThroughPictureWhatIsSeeThroughStaysSo) {
  auto host = View::make(Rect{0, 0, 400, 200});
  auto white = View::make(Rect{0, 0, 200, 200});
  white->setBackgroundColor(Color::whiteColor());
  host->addSubview(white);
  host->addSubview(VisualEffectView::make(BlurEffect::withStyle(BlurEffectStyle::Dark), host->bounds()));
  auto picture = render(*host, 2);
  ASSERT_TRUE(picture);
  // Far from the square: the dark tint alone, at its own alpha (0.73).
  const Pixel far = picture->pixelAt(780, 200);
  EXPECT_NEAR(far.a, 186, 3);
  EXPECT_NEAR(luma(far), 28, 3);
  // Over the square: opaque, the tint over white.
  EXPECT_EQ(picture->pixelAt(100, 200).a, 255);
  // Just past its edge, the glow: more opaque than the tint alone, less
  // than the square.
  const Pixel glow = picture->pixelAt(420, 200);
  EXPECT_GT(glow.a, far.a + 10);
  EXPECT_LT(glow.a, 250);
}

}  // namespace
}  // namespace kit
