// The HUD's flat spinner. See nuva_indefinite_animated_view.h.

#include "ui/widgets/nuva_indefinite_animated_view.h"

#include <cmath>
#include <numbers>

#include "kit/ui/animation.h"
#include "kit/ui/screen.h"

namespace {
constexpr double kPi = std::numbers::pi;
}

void NUVAIndefiniteAnimatedView::willMoveToSuperview(kit::View* newSuperview) {
  if (!newSuperview) {
    dropAnimatedLayer();
  } else {
    layoutAnimatedLayer();
  }
}

void NUVAIndefiniteAnimatedView::layoutAnimatedLayer() {
  auto shape = indefiniteAnimatedLayer();
  if (!shape->superlayer()) layer()->addSublayer(shape);
  kit::Rect b = bounds();
  shape->setPosition({b.width() / 2, b.height() / 2});
}

void NUVAIndefiniteAnimatedView::dropAnimatedLayer() {
  if (layer_) layer_->removeFromSuperlayer();
  layer_ = nullptr;
}

kit::Ref<kit::ShapeLayer> NUVAIndefiniteAnimatedView::indefiniteAnimatedLayer() {
  if (layer_) return layer_;
  double c = radius_ + strokeThickness_ / 2 + 5;
  auto shape = kit::ShapeLayer::make();
  shape->setContentsScale(kit::Screen::main()->scale());
  shape->setFrame({0, 0, c * 2, c * 2});
  shape->setFillColor(kit::Color::clearColor());
  shape->setStrokeColor(strokeColor_);
  shape->setLineWidth(strokeThickness_);
  shape->setLineCap(kit::LineCapRound);
  shape->setLineJoin(kit::LineJoinBevel);
  shape->setPath(kit::Path::withArc({c, c}, radius_, kPi * 3 / 2, kPi / 2 + kPi * 5, true));

  // The mask turns once a second; the arc shows where it is opaque, so it
  // is filled.
  auto mask = kit::Layer::make();
  mask->setFrame(shape->bounds());
  mask->setBackgroundColor(kit::Color::blackColor());
  shape->setMask(mask);

  auto rotation = kit::BasicAnimation::withKeyPath("transform.rotation");
  rotation->setFromValue(mask->presentationDouble("transform.rotation"));
  rotation->setToValue(kPi * 2);
  rotation->setDuration(1.0);
  rotation->setTimingFunction("linear");
  rotation->setRemovedOnCompletion(false);
  rotation->setRepeatCount(HUGE_VAL);
  rotation->setFillMode(kit::FillMode::Forwards);
  rotation->setAutoreverses(false);
  mask->addAnimation(rotation, "rotate");

  auto strokeStart = kit::BasicAnimation::withKeyPath("strokeStart");
  strokeStart->setFromValue(0.015);
  strokeStart->setToValue(0.515);
  auto strokeEnd = kit::BasicAnimation::withKeyPath("strokeEnd");
  strokeEnd->setFromValue(0.485);
  strokeEnd->setToValue(0.985);
  auto group = kit::AnimationGroup::make();
  group->setDuration(1.0);
  group->setRepeatCount(HUGE_VAL);
  group->setRemovedOnCompletion(false);
  group->setTimingFunction("linear");
  group->setAnimations({strokeStart, strokeEnd});
  shape->addAnimation(group, "progress");

  layer_ = shape;
  return layer_;
}

void NUVAIndefiniteAnimatedView::setFrame(const kit::Rect& frame) {
  if (frame == this->frame()) return;
  kit::View::setFrame(frame);
  if (superview()) layoutAnimatedLayer();
}

void NUVAIndefiniteAnimatedView::setRadius(double radius) {
  if (radius == radius_) return;
  radius_ = radius;
  dropAnimatedLayer();
  if (superview()) layoutAnimatedLayer();
}

void NUVAIndefiniteAnimatedView::setStrokeColor(kit::Ref<kit::Color> color) {
  strokeColor_ = std::move(color);
  if (layer_) layer_->setStrokeColor(strokeColor_);
}

void NUVAIndefiniteAnimatedView::setStrokeThickness(double thickness) {
  strokeThickness_ = thickness;
  if (layer_) layer_->setLineWidth(strokeThickness_);
}

kit::Size NUVAIndefiniteAnimatedView::sizeThatFits(kit::Size) const {
  double c = radius_ + strokeThickness_ / 2 + 5;
  return {c * 2, c * 2};
}
