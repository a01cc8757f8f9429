// The status HUD's drawing layers: spinner and ring sizes, their shape
// layers' life with the superview and the radius, the ring's stroke end in
// pixels, and the radial backdrop's colour at and beyond its radius.

#include <gtest/gtest.h>

#include "kit/graphics/bitmap.h"
#include "kit/ui/render.h"
#include "ui/widgets/nuva_indefinite_animated_view.h"
#include "ui/widgets/nuva_progress_animated_view.h"
#include "ui/widgets/nuva_radial_gradient_layer.h"

namespace {

TEST(HUDLayers, SpinnerAndRingFitTheirRadiusAndThickness) {
  auto spinner = NUVAIndefiniteAnimatedView::make();
  spinner->setRadius(18);
  spinner->setStrokeThickness(2);
  EXPECT_EQ(spinner->sizeThatFits({}), (kit::Size{48, 48}));
  auto ring = NUVAProgressAnimatedView::make();
  ring->setRadius(24);
  ring->setStrokeThickness(2);
  EXPECT_EQ(ring->sizeThatFits({}), (kit::Size{60, 60}));
}

TEST(HUDLayers, ShapeLayersLiveWhileInASuperviewAndFollowTheRadius) {
  auto host = kit::View::make({0, 0, 100, 100});
  auto spinner = NUVAIndefiniteAnimatedView::make({0, 0, 48, 48});
  spinner->setRadius(18);
  spinner->setStrokeThickness(2);
  host->addSubview(spinner);
  auto first = spinner->currentAnimatedLayer();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->superlayer().get(), spinner->layer().get());
  EXPECT_TRUE(first->animationForKey("progress"));
  ASSERT_TRUE(first->mask());
  EXPECT_TRUE(first->mask()->animationForKey("rotate"));

  spinner->setRadius(18);  // unchanged: the running layer stays
  EXPECT_EQ(spinner->currentAnimatedLayer(), first);
  spinner->setRadius(24);  // rebuilt at once with the new radius
  ASSERT_TRUE(spinner->currentAnimatedLayer());
  EXPECT_NE(spinner->currentAnimatedLayer(), first);
  EXPECT_EQ(spinner->currentAnimatedLayer()->bounds().size, (kit::Size{60, 60}));

  spinner->removeFromSuperview();
  EXPECT_FALSE(spinner->currentAnimatedLayer());
}

TEST(HUDLayers, RingStrokeEndDrawsNothingAtZeroAndTheWholeRingAtOne) {
  auto ring = NUVAProgressAnimatedView::make({0, 0, 60, 60});
  ring->setRadius(24);
  ring->setStrokeThickness(4);
  ring->setStrokeColor(kit::Color::blackColor());
  auto host = kit::View::make({0, 0, 60, 60});
  host->addSubview(ring);
  // A ring layer starts full until the first stroke end is set.
  EXPECT_DOUBLE_EQ(ring->currentAnimatedLayer()->strokeEnd(), 1.0);

  ring->setStrokeEnd(0);
  auto empty = kit::render(*host, 1);
  // The left-most point of the circle (x = 30 - 24).
  EXPECT_EQ(empty->pixelAt(6, 30).a, 0);

  ring->setStrokeEnd(1);
  auto full = kit::render(*host, 1);
  EXPECT_GT(full->pixelAt(6, 30).a, 200);
  EXPECT_GT(full->pixelAt(54, 30).a, 200);
  EXPECT_EQ(full->pixelAt(30, 30).a, 0);  // the middle stays clear
}

TEST(HUDLayers, RadialBackdropReachesItsEndColourAtTheSmallerSide) {
  auto layer = NUVARadialGradientLayer::make();
  layer->setBounds({0, 0, 300, 500});
  layer->setGradientCenter({150, 250});
  layer->setNeedsDisplay();
  auto picture = kit::renderLayer(*layer, 1);
  ASSERT_TRUE(picture);
  auto centre = picture->pixelAt(150, 250);
  EXPECT_LE(centre.a, 2);
  // 300 from the centre and beyond: black at alpha 0.75.
  auto far = picture->pixelAt(150, 0);  // 250 away: not yet at the end
  EXPECT_LT(far.a, 191);
  EXPECT_GT(far.a, 100);
  auto corner = picture->pixelAt(0, 0);  // about 292 away
  EXPECT_NEAR(corner.a, 191, 8);
  EXPECT_EQ(corner.r, 0);
}

}  // namespace
