// Gradient layers drawn with Cairo patterns.
#include "kit/ui/gradient_layer.h"

#include <cairo.h>

#include <cmath>

#include "kit/ui/canvas.h"

namespace kit {

bool GradientLayer::drawOwnContent(Canvas& canvas) {
  if (colors_.empty()) return false;
  const Rect b = bounds();
  const double x0 = b.minX() + start_.x * b.width(), y0 = b.minY() + start_.y * b.height();
  const double x1 = b.minX() + end_.x * b.width(), y1 = b.minY() + end_.y * b.height();
  cairo_pattern_t* pattern =
      type_ == GradientRadial
          ? cairo_pattern_create_radial(x0, y0, 0, x0, y0, std::hypot(x1 - x0, y1 - y0))
          : cairo_pattern_create_linear(x0, y0, x1, y1);
  const size_t n = colors_.size();
  for (size_t i = 0; i < n; ++i) {
    const double at = locations_.size() == n ? locations_[i] : (n == 1 ? 0 : double(i) / double(n - 1));
    const RGBA c = colors_[i] ? colors_[i]->rgbaComponents() : RGBA{};
    cairo_pattern_add_color_stop_rgba(pattern, at, c.red, c.green, c.blue, c.alpha);
  }
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_t* cr = canvas.cairo();
  cairo_save(cr);
  cairo_rectangle(cr, b.origin.x, b.origin.y, b.size.width, b.size.height);
  cairo_set_source(cr, pattern);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_pattern_destroy(pattern);
  return true;
}

}  // namespace kit
