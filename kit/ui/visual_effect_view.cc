// Blur effect views: the blur of what lies behind (drawn by rendering, see
// Layer::backdropBlur), the tint of the effect's style over it, and the
// content view.
#include "kit/ui/visual_effect_view.h"

namespace kit {

VisualEffectView::VisualEffectView(Ref<BlurEffect> effect, const Rect& frame) : View(frame), effect_(std::move(effect)) {
  tint_ = View::make(bounds());
  tint_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  tint_->setUserInteractionEnabled(false);
  addSubview(tint_);
  contentView_ = View::make(bounds());
  contentView_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  addSubview(contentView_);
  applyTint();
}

void VisualEffectView::setEffect(Ref<BlurEffect> effect) {
  effect_ = std::move(effect);
  applyTint();
}

namespace {
// The blur's standard deviation, in points: enough to smear a game page's
// buttons and text into colour.
constexpr double kBackdropBlur = 10;
}  // namespace

void VisualEffectView::applyTint() {
  if (!effect_) {
    layer()->setBackdropBlur(0);
    tint_->setBackgroundColor(nullptr);
    return;
  }
  layer()->setBackdropBlur(kBackdropBlur);
  switch (effect_->style) {
    case BlurEffectStyle::Dark: tint_->setBackgroundColor(Color::white(0.11, 0.73)); break;
    case BlurEffectStyle::ExtraLight: tint_->setBackgroundColor(Color::white(0.97, 0.82)); break;
    default: tint_->setBackgroundColor(Color::white(0.97, 0.6)); break;
  }
}

}  // namespace kit
