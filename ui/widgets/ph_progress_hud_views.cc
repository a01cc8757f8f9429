// The platform progress HUD's panel, progress views and button. See
// ph_progress_hud_views.h.
#include "ui/widgets/ph_progress_hud_views.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "kit/dispatch/thread_check.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/path.h"

namespace {

bool sameColor(const kit::Ref<kit::Color>& a, const kit::Ref<kit::Color>& b) {
  if (!a || !b) return a == b;
  return kit::isEqual(a, b);
}

// Stores `color` in `slot` and asks the view to draw again, unless the slot
// already holds an equal colour.
void setDrawnColor(kit::View& view, kit::Ref<kit::Color>& slot, kit::Ref<kit::Color> color) {
  KIT_CHECK_MAIN_THREAD();
  if (sameColor(slot, color)) return;
  slot = std::move(color);
  view.setNeedsDisplay();
}

// A horizontal capsule: a rectangle with half-circle ends of `radius`.
kit::Ref<kit::Path> capsule(const kit::Rect& rect, double radius) {
  return kit::Path::withRoundedRect(rect, kit::RectCornerAllCorners, {radius, radius});
}

}  // namespace

// ---- PHBackgroundView ------------------------------------------------------

PHBackgroundView::PHBackgroundView(const kit::Rect& frame)
    : kit::View(frame), color_(kit::Color::white(0.8, 0.6)) {
  setClipsToBounds(true);
  updateForBackgroundStyle();
}

void PHBackgroundView::setStyle(long style) {
  KIT_CHECK_MAIN_THREAD();
  if (style_ == style) return;
  style_ = style;
  updateForBackgroundStyle();
}

void PHBackgroundView::setColor(kit::Ref<kit::Color> color) {
  KIT_CHECK_MAIN_THREAD();
  if (sameColor(color_, color)) return;
  color_ = std::move(color);
  setBackgroundColor(color_);
}

void PHBackgroundView::updateForBackgroundStyle() {
  if (style_ == PHProgressHUDBackgroundStyleBlur) {
    if (!effectView_) {
      effectView_ = kit::VisualEffectView::make(kit::BlurEffect::withStyle(kit::BlurEffectStyle::Light), bounds());
      effectView_->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
      addSubview(effectView_);
    }
    setBackgroundColor(color_);
    layer()->setAllowsGroupOpacity(false);
  } else {
    if (effectView_) effectView_->removeFromSuperview();
    effectView_ = nullptr;
    setBackgroundColor(color_);
  }
}

// ---- PHRoundProgressView ---------------------------------------------------

PHRoundProgressView::PHRoundProgressView(const kit::Rect& frame)
    : kit::View(frame),
      progressTintColor_(kit::Color::white(1.0, 1.0)),
      backgroundTintColor_(kit::Color::white(1.0, 0.1)) {
  setBackgroundColor(kit::Color::clearColor());
  setOpaque(false);
}

void PHRoundProgressView::setProgress(float progress) {
  KIT_CHECK_MAIN_THREAD();
  if (progress_ == progress) return;
  progress_ = progress;
  setNeedsDisplay();
}

void PHRoundProgressView::setProgressTintColor(kit::Ref<kit::Color> color) {
  setDrawnColor(*this, progressTintColor_, std::move(color));
}

void PHRoundProgressView::setBackgroundTintColor(kit::Ref<kit::Color> color) {
  setDrawnColor(*this, backgroundTintColor_, std::move(color));
}

void PHRoundProgressView::setAnnular(bool annular) {
  KIT_CHECK_MAIN_THREAD();
  if (annular_ == annular) return;
  annular_ = annular;
  setNeedsDisplay();
}

void PHRoundProgressView::drawRect(const kit::Rect&) {
  auto context = kit::currentContext();
  if (!context) return;
  const kit::Rect all = bounds();
  const kit::Point center{all.midX(), all.midY()};
  const double start = -std::numbers::pi / 2;
  const double end = start + progress_ * 2 * std::numbers::pi;

  if (annular_) {
    const double lineWidth = 2.0;
    const double radius = (all.width() - lineWidth) / 2;
    context->setLineWidth(lineWidth);
    context->setLineCap(kit::LineCap::Butt);
    context->setStrokeColor(backgroundTintColor_ ? backgroundTintColor_ : kit::Color::clearColor());
    context->beginPath();
    context->addPath(*kit::Path::withArc(center, radius, start, 3 * std::numbers::pi / 2, true));
    context->strokePath();
    context->setLineCap(kit::LineCap::Square);
    context->setStrokeColor(progressTintColor_ ? progressTintColor_ : kit::Color::clearColor());
    context->beginPath();
    context->addPath(*kit::Path::withArc(center, radius, start, end, true));
    context->strokePath();
    return;
  }

  const double lineWidth = 2.0;
  context->setLineWidth(lineWidth);
  context->setStrokeColor(progressTintColor_ ? progressTintColor_ : kit::Color::clearColor());
  context->strokeEllipseInRect(kit::insetRect(all, {lineWidth / 2, lineWidth / 2, lineWidth / 2, lineWidth / 2}));

  const double arcWidth = lineWidth * 2;
  context->setLineWidth(arcWidth);
  context->setLineCap(kit::LineCap::Butt);
  context->beginPath();
  context->addPath(*kit::Path::withArc(center, all.width() / 2 - arcWidth / 2, start, end, true));
  // The arc replaces what lies under it, so a translucent tint does not
  // add up over the outline.
  context->setBlendMode(kit::BlendMode::Copy);
  context->strokePath();
  context->setBlendMode(kit::BlendMode::Normal);
}

// ---- PHBarProgressView -----------------------------------------------------

PHBarProgressView::PHBarProgressView(const kit::Rect& frame)
    : kit::View(frame),
      lineColor_(kit::Color::whiteColor()),
      progressColor_(kit::Color::whiteColor()),
      progressRemainingColor_(kit::Color::clearColor()) {
  setBackgroundColor(kit::Color::clearColor());
  setOpaque(false);
}

void PHBarProgressView::setProgress(float progress) {
  KIT_CHECK_MAIN_THREAD();
  if (progress_ == progress) return;
  progress_ = progress;
  setNeedsDisplay();
}

void PHBarProgressView::setLineColor(kit::Ref<kit::Color> color) {
  setDrawnColor(*this, lineColor_, std::move(color));
}

void PHBarProgressView::setProgressColor(kit::Ref<kit::Color> color) {
  setDrawnColor(*this, progressColor_, std::move(color));
}

void PHBarProgressView::setProgressRemainingColor(kit::Ref<kit::Color> color) {
  setDrawnColor(*this, progressRemainingColor_, std::move(color));
}

void PHBarProgressView::drawRect(const kit::Rect&) {
  auto context = kit::currentContext();
  if (!context) return;
  const kit::Rect all = bounds();
  const double radius = std::max(0.0, all.height() / 2 - 2);

  auto outer = capsule(kit::insetRect(all, {2, 2, 2, 2}), radius);
  context->setLineWidth(2);
  if (progressRemainingColor_) {
    context->setFillColor(progressRemainingColor_);
    context->beginPath();
    context->addPath(*outer);
    context->fillPath();
  }
  if (lineColor_) {
    context->setStrokeColor(lineColor_);
    context->beginPath();
    context->addPath(*outer);
    context->strokePath();
  }

  // The inner capsule, up to the amount: a part of the left cap, the left
  // cap and the body, or all of that and a part of the right cap.
  const double amount = progress_ * all.width();
  if (amount <= 0 || !progressColor_) return;
  context->saveGState();
  context->clipToRect({0, 0, amount, all.height()});
  context->setFillColor(progressColor_);
  context->beginPath();
  context->addPath(*capsule(kit::insetRect(all, {4, 4, 4, 4}), std::max(0.0, radius - 2)));
  context->fillPath();
  context->restoreGState();
}

// ---- PHProgressHUDRoundedButton --------------------------------------------

PHProgressHUDRoundedButton::PHProgressHUDRoundedButton(const kit::Rect& frame) : kit::Button(frame) {
  layer()->setBorderWidth(1.0);
}

kit::Size PHProgressHUDRoundedButton::intrinsicContentSize() const {
  if (!hasActions()) return {0, 0};
  const kit::Size natural = kit::Button::intrinsicContentSize();
  return {natural.width + 20, natural.height};
}

void PHProgressHUDRoundedButton::layoutSubviews() {
  kit::Button::layoutSubviews();
  layer()->setCornerRadius(std::ceil(bounds().height() / 2));
}

void PHProgressHUDRoundedButton::setTitleColor(kit::Ref<kit::Color> color, unsigned state) {
  KIT_CHECK_MAIN_THREAD();
  kit::Button::setTitleColor(color, state);
  layer()->setBorderColor(color);
  setHighlighted(isHighlighted());
}

void PHProgressHUDRoundedButton::setHighlighted(bool highlighted) {
  kit::Button::setHighlighted(highlighted);
  auto base = titleColor(kit::ControlStateSelected);
  setBackgroundColor(highlighted && base ? base->withAlpha(0.1) : kit::Color::clearColor());
}
