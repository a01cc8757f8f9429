// The HUD's progress ring. See nuva_progress_animated_view.h.

#include "ui/widgets/nuva_progress_animated_view.h"

#include <numbers>

#include "kit/ui/screen.h"

namespace {
constexpr double kPi = std::numbers::pi;
}

void NUVAProgressAnimatedView::willMoveToSuperview(kit::View* newSuperview) {
  if (!newSuperview) {
    dropAnimatedLayer();
  } else {
    layoutAnimatedLayer();
  }
}

void NUVAProgressAnimatedView::layoutAnimatedLayer() {
  auto ring = ringAnimatedLayer();
  if (!ring->superlayer()) layer()->addSublayer(ring);
  kit::Rect b = bounds();
  ring->setPosition({b.width() / 2, b.height() / 2});
}

void NUVAProgressAnimatedView::dropAnimatedLayer() {
  if (layer_) layer_->removeFromSuperlayer();
  layer_ = nullptr;
}

kit::Ref<kit::ShapeLayer> NUVAProgressAnimatedView::ringAnimatedLayer() {
  if (layer_) return layer_;
  double c = radius_ + strokeThickness_ / 2 + 5;
  auto ring = kit::ShapeLayer::make();
  ring->setContentsScale(kit::Screen::main()->scale());
  ring->setFrame({0, 0, c * 2, c * 2});
  ring->setFillColor(kit::Color::clearColor());
  ring->setStrokeColor(strokeColor_);
  ring->setLineWidth(strokeThickness_);
  ring->setLineCap(kit::LineCapRound);
  ring->setLineJoin(kit::LineJoinBevel);
  ring->setPath(kit::Path::withArc({c, c}, radius_, -kPi / 2, kPi * 3 / 2, true));
  layer_ = ring;
  return layer_;
}

void NUVAProgressAnimatedView::setFrame(const kit::Rect& frame) {
  if (frame == this->frame()) return;
  kit::View::setFrame(frame);
  if (superview()) layoutAnimatedLayer();
}

void NUVAProgressAnimatedView::setRadius(double radius) {
  if (radius == radius_) return;
  radius_ = radius;
  dropAnimatedLayer();
  if (superview()) layoutAnimatedLayer();
}

void NUVAProgressAnimatedView::setStrokeColor(kit::Ref<kit::Color> color) {
  strokeColor_ = std::move(color);
  if (layer_) layer_->setStrokeColor(strokeColor_);
}

void NUVAProgressAnimatedView::setStrokeThickness(double thickness) {
  strokeThickness_ = thickness;
  if (layer_) layer_->setLineWidth(strokeThickness_);
}

void NUVAProgressAnimatedView::setStrokeEnd(double strokeEnd) {
  strokeEnd_ = strokeEnd;
  if (layer_) layer_->setStrokeEnd(strokeEnd_);
}

kit::Size NUVAProgressAnimatedView::sizeThatFits(kit::Size) const {
  double c = radius_ + strokeThickness_ / 2 + 5;
  return {c * 2, c * 2};
}
