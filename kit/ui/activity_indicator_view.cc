// The spinner's state and drawing.
#include "kit/ui/activity_indicator_view.h"

#include <cairo.h>

#include <cmath>

#include "kit/dispatch/clock.h"
#include "kit/ui/canvas.h"
#include "kit/ui/canvas_drawing.h"

namespace kit {

namespace {
bool isLarge(ActivityIndicatorStyle s) {
  return s == ActivityIndicatorStyle::WhiteLarge || s == ActivityIndicatorStyle::Large;
}
}  // namespace

ActivityIndicatorView::ActivityIndicatorView(ActivityIndicatorStyle style) : style_(style) {
  const Size s = sizeThatFits({});
  setFrame({0, 0, s.width, s.height});
  setUserInteractionEnabled(false);
  setHidden(true);
}

void ActivityIndicatorView::setStyle(ActivityIndicatorStyle s) {
  style_ = s;
  setNeedsDisplay();
}

Ref<Color> ActivityIndicatorView::color() const {
  if (color_) return color_;
  return style_ == ActivityIndicatorStyle::Gray || style_ == ActivityIndicatorStyle::Medium ||
                 style_ == ActivityIndicatorStyle::Large
             ? Color::grayColor()
             : Color::whiteColor();
}

void ActivityIndicatorView::setHidesWhenStopped(bool v) {
  hidesWhenStopped_ = v;
  if (!animating_) setHidden(v);
}

void ActivityIndicatorView::startAnimating() {
  if (animating_) return;
  animating_ = true;
  start_ = Clock::now();
  setHidden(false);
}

void ActivityIndicatorView::stopAnimating() {
  animating_ = false;
  if (hidesWhenStopped_) setHidden(true);
}

Size ActivityIndicatorView::sizeThatFits(Size) const { return isLarge(style_) ? Size{37, 37} : Size{20, 20}; }

bool ActivityIndicatorView::drawContent(Canvas& canvas) {
  cairo_t* cr = canvas.cairo();
  const Rect b = bounds();
  const double r = std::min(b.width(), b.height()) / 2;
  const int head = animating_ ? static_cast<int>(std::fmod(Clock::now() - start_, 1.0) * 12) : 0;
  cairo_save(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, std::max(1.5, r / 6));
  for (int i = 0; i < 12; ++i) {
    const double angle = i * M_PI / 6 - M_PI / 2;
    const double fade = 0.25 + 0.75 * std::fmod(12 + i - head, 12) / 11.0;
    setSourceColor(canvas, *color(), fade);
    cairo_move_to(cr, b.midX() + std::cos(angle) * r * 0.5, b.midY() + std::sin(angle) * r * 0.5);
    cairo_line_to(cr, b.midX() + std::cos(angle) * r * 0.95, b.midY() + std::sin(angle) * r * 0.95);
    cairo_stroke(cr);
  }
  cairo_restore(cr);
  return true;
}

}  // namespace kit
