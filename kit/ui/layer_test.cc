// Layers: geometry from bounds, position, anchor point and transform; the
// sublayer tree and conversion between layers; transforms and timing
// curves; keyframe and additive animations.
#include <gtest/gtest.h>

#include <cmath>

#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/layer.h"
#include "kit/ui/transform3d.h"

namespace kit {
namespace {

TEST(LayerTest, FrameComesFromBoundsPositionAnchorAndTransform) {
  auto layer = Layer::make();
  layer->setFrame({10, 20, 100, 50});
  EXPECT_EQ(layer->position(), (Point{60, 45}));
  EXPECT_EQ(layer->bounds(), (Rect{0, 0, 100, 50}));
  layer->setAnchorPoint({0, 0.5});
  EXPECT_EQ(layer->frame(), (Rect{60, 20, 100, 50})) << "moving the anchor moves the frame";
  layer->setPosition({0, 25});
  EXPECT_EQ(layer->frame(), (Rect{0, 0, 100, 50}));
  layer->setTransform(Transform3D::makeScale(2, 1, 1));
  EXPECT_EQ(layer->frame(), (Rect{0, 0, 200, 50})) << "scaling about a left anchor grows rightwards";
  layer->setTransform(Transform3D::makeRotation(M_PI / 2, 0, 0, 1));
  const Rect turned = layer->frame();
  EXPECT_NEAR(turned.width(), 50, 1e-9);
  EXPECT_NEAR(turned.height(), 100, 1e-9);
}

TEST(LayerTest, TreeConversionAndHitTesting) {
  auto root = Layer::make();
  root->setFrame({0, 0, 300, 300});
  auto a = Layer::make();
  a->setFrame({100, 100, 100, 100});
  auto b = Layer::make();
  b->setFrame({10, 10, 20, 20});
  root->addSublayer(a);
  a->addSublayer(b);
  EXPECT_EQ(b->convertPointToLayer({0, 0}, root.get()), (Point{110, 110}));
  EXPECT_EQ(root->convertPointToLayer({110, 110}, b.get()), (Point{0, 0}));
  EXPECT_EQ(b->superlayer(), a);
  EXPECT_EQ(root->hitTest({115, 115}), b);
  EXPECT_EQ(root->hitTest({150, 150}), a);
  a->setMasksToBounds(true);
  b->setFrame({90, 90, 50, 50});
  EXPECT_EQ(root->hitTest({195, 195}), b);
  EXPECT_EQ(root->hitTest({220, 220}), root) << "masked out of its superlayer";
  b->setHidden(true);
  EXPECT_EQ(root->hitTest({195, 195}), a);

  auto c = Layer::make();
  root->insertSublayerAt(c, 0);
  root->insertSublayerAbove(a, c.get());
  EXPECT_EQ(root->sublayers(), (std::vector<Ref<Layer>>{c, a}));
  root->insertSublayerBelow(a, c.get());
  EXPECT_EQ(root->sublayers(), (std::vector<Ref<Layer>>{a, c}));
  auto d = Layer::make();
  root->replaceSublayer(c.get(), d);
  EXPECT_EQ(root->sublayers(), (std::vector<Ref<Layer>>{a, d}));
  EXPECT_EQ(c->superlayer(), nullptr);
  a->addSublayer(d);  // moves it
  EXPECT_EQ(root->sublayers().size(), 1u);
  EXPECT_EQ(d->indexInSuperlayer(), 1);
}

TEST(Transform3DTest, ConcatInvertAndAffineParts) {
  const Transform3D t = Transform3D::makeTranslation(10, 20, 0);
  const Transform3D s = Transform3D::makeScale(2, 3, 1);
  // concat applies the first, then the second.
  EXPECT_EQ(t.concat(s).apply({1, 1}), (Point{22, 63}));
  EXPECT_EQ(s.concat(t).apply({1, 1}), (Point{12, 23}));
  const Transform3D r = Transform3D::makeRotation(M_PI / 3, 0, 0, 1).concat(t);
  const Point p = r.inverted().apply(r.apply({5, 7}));
  EXPECT_NEAR(p.x, 5, 1e-9);
  EXPECT_NEAR(p.y, 7, 1e-9);
  EXPECT_TRUE(r.isAffine());
  EXPECT_FALSE(Transform3D::makeRotation(0.3, 1, 0, 0).isAffine());
  const AffineTransform a = AffineTransform::makeScale(2, 2).concat(AffineTransform::makeTranslation(3, 4));
  EXPECT_EQ(Transform3D::fromAffine(a).affine(), a);
  EXPECT_EQ(Transform3D::makeScale(0, 0, 0).inverted(), Transform3D::makeScale(0, 0, 0)) << "singular stays";
  EXPECT_TRUE(Transform3D::makeRotation(1, 0, 0, 0).isIdentity());
}

TEST(TimingTest, CurvesAndAnimationProgress) {
  const TimingFunction linear = TimingFunction::named(TimingLinear);
  const TimingFunction easeIn = TimingFunction::named(TimingEaseIn);
  const TimingFunction easeInOut = TimingFunction::named(TimingEaseInEaseOut);
  EXPECT_DOUBLE_EQ(linear.evaluate(0.3), 0.3);
  EXPECT_LT(easeIn.evaluate(0.3), 0.3);
  EXPECT_NEAR(easeInOut.evaluate(0.5), 0.5, 1e-6);
  EXPECT_DOUBLE_EQ(easeIn.evaluate(1), 1);
  EXPECT_EQ(TimingFunction::named("nonsense").name(), TimingLinear);

  auto a = BasicAnimation::withKeyPath("opacity");
  a->setDuration(1);
  a->setAutoreverses(true);
  a->setRepeatCount(2);
  EXPECT_DOUBLE_EQ(a->activeDuration(), 4);
  EXPECT_DOUBLE_EQ(a->progressAt(0.5), 0.5);
  EXPECT_DOUBLE_EQ(a->progressAt(1.5), 0.5) << "on the way back";
  EXPECT_DOUBLE_EQ(a->progressAt(2.25), 0.25);
  EXPECT_EQ(a->progressAt(5), -1) << "removed after its end without fill";
  EXPECT_EQ(a->progressAt(-1), -1);
  a->setFillMode(FillMode::Both);
  EXPECT_DOUBLE_EQ(a->progressAt(-1), 0);
  a->setSpeed(2);
  EXPECT_DOUBLE_EQ(a->activeDuration(), 2);
  a->setRepeatCount(HUGE_VAL);
  EXPECT_TRUE(std::isinf(a->activeDuration()));
}

class LayerAnimationTest : public test::VirtualClockTest {};

TEST_F(LayerAnimationTest, KeyframesAdditiveAndCopiesOnAdd) {
  auto layer = Layer::make();
  layer->setFrame({0, 0, 10, 10});
  auto frames = KeyframeAnimation::withKeyPath("position.x");
  frames->setValues({0.0, 100.0, 50.0});
  frames->setKeyTimes({0, 0.8, 1});
  frames->setDuration(1);
  layer->addAnimation(frames, "shake");
  advance(0.4);
  EXPECT_NEAR(layer->presentationDouble("position.x"), 50, 1e-9);
  advance(0.5);
  EXPECT_NEAR(layer->presentationDouble("position.x"), 75, 1e-9);
  // The layer keeps a copy: changing the original afterwards changes nothing.
  frames->setValues({7.0});
  EXPECT_NEAR(layer->presentationDouble("position.x"), 75, 1e-9);

  auto nudge = BasicAnimation::withKeyPath("opacity");
  nudge->setByValue(-0.5);
  nudge->setDuration(1);
  nudge->setTimingFunction(TimingLinear);
  layer->addAnimation(nudge, "nudge");
  advance(0.5);
  EXPECT_NEAR(layer->presentationDouble("opacity"), 0.75, 1e-9);
  auto rotate = BasicAnimation::withKeyPath("transform.rotation.z");
  rotate->setFromValue(0.0);
  rotate->setToValue(M_PI);
  rotate->setDuration(1);
  rotate->setTimingFunction(TimingLinear);
  layer->addAnimation(rotate, "rotate");
  advance(0.5);
  const Transform3D t = layer->presentationTransform();
  EXPECT_NEAR(t.m11, 0, 1e-9);
  EXPECT_NEAR(t.m12, 1, 1e-9);
  EXPECT_TRUE(layer->transform().isIdentity());
}

}  // namespace
}  // namespace kit
