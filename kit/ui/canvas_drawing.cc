// Image placement and Cairo drawing helpers.
#include "kit/ui/canvas_drawing.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "kit/ui/layer.h"

namespace kit {

Rect rectForContentMode(ContentMode mode, Size size, const Rect& b) {
  const double w = size.width, h = size.height;
  switch (mode) {
    case ContentMode::ScaleToFill:
    case ContentMode::Redraw: return b;
    case ContentMode::ScaleAspectFit:
    case ContentMode::ScaleAspectFill: {
      if (w <= 0 || h <= 0) return b;
      const double sx = b.size.width / w, sy = b.size.height / h;
      const double s = mode == ContentMode::ScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
      return {b.midX() - w * s / 2, b.midY() - h * s / 2, w * s, h * s};
    }
    case ContentMode::Center: return {b.midX() - w / 2, b.midY() - h / 2, w, h};
    case ContentMode::Top: return {b.midX() - w / 2, b.minY(), w, h};
    case ContentMode::Bottom: return {b.midX() - w / 2, b.maxY() - h, w, h};
    case ContentMode::Left: return {b.minX(), b.midY() - h / 2, w, h};
    case ContentMode::Right: return {b.maxX() - w, b.midY() - h / 2, w, h};
    case ContentMode::TopLeft: return {b.minX(), b.minY(), w, h};
    case ContentMode::TopRight: return {b.maxX() - w, b.minY(), w, h};
    case ContentMode::BottomLeft: return {b.minX(), b.maxY() - h, w, h};
    case ContentMode::BottomRight: return {b.maxX() - w, b.maxY() - h, w, h};
  }
  return b;
}

ContentMode contentModeForGravity(const std::string& g) {
  if (g == GravityResizeAspect) return ContentMode::ScaleAspectFit;
  if (g == GravityResizeAspectFill) return ContentMode::ScaleAspectFill;
  if (g == GravityCenter) return ContentMode::Center;
  if (g == GravityTop) return ContentMode::Top;
  if (g == GravityBottom) return ContentMode::Bottom;
  if (g == GravityLeft) return ContentMode::Left;
  if (g == GravityRight) return ContentMode::Right;
  if (g == GravityTopLeft) return ContentMode::TopLeft;
  if (g == GravityTopRight) return ContentMode::TopRight;
  if (g == GravityBottomLeft) return ContentMode::BottomLeft;
  if (g == GravityBottomRight) return ContentMode::BottomRight;
  return ContentMode::ScaleToFill;
}

namespace {

// A Cairo surface over the bitmap's premultiplied pixels (kept alive by the
// bitmap, which the caller holds for the surface's life).
cairo_surface_t* surfaceFor(const Bitmap& bitmap) {
  auto argb = bitmap.premultipliedARGB();
  const int w = static_cast<int>(bitmap.width()), h = static_cast<int>(bitmap.height());
  return cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(argb.data())), CAIRO_FORMAT_ARGB32, w, h, w * 4);
}

void placePattern(cairo_t* cr, cairo_surface_t* surface, const Bitmap& bitmap, const Rect& dest, const Rect& unit) {
  const double srcX = unit.origin.x * bitmap.width(), srcY = unit.origin.y * bitmap.height();
  const double srcW = unit.size.width * bitmap.width(), srcH = unit.size.height * bitmap.height();
  cairo_translate(cr, dest.origin.x, dest.origin.y);
  cairo_scale(cr, dest.size.width / srcW, dest.size.height / srcH);
  cairo_translate(cr, -srcX, -srcY);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr),
                           bitmap.shouldInterpolate() ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
}

}  // namespace

void drawBitmap(Canvas& canvas, const Bitmap& bitmap, const Rect& dest, double alpha, const Rect& unit) {
  if (dest.isEmpty() || bitmap.width() == 0 || bitmap.height() == 0 || unit.isEmpty()) return;
  cairo_t* cr = canvas.cairo();
  cairo_surface_t* surface = surfaceFor(bitmap);
  cairo_save(cr);
  cairo_rectangle(cr, dest.origin.x, dest.origin.y, dest.size.width, dest.size.height);
  cairo_clip(cr);
  placePattern(cr, surface, bitmap, dest, unit);
  cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
  cairo_surface_destroy(surface);
}

void drawTemplate(Canvas& canvas, const Bitmap& bitmap, const Rect& dest, const Color& color, double alpha) {
  if (dest.isEmpty() || bitmap.width() == 0 || bitmap.height() == 0) return;
  cairo_t* cr = canvas.cairo();
  cairo_surface_t* surface = surfaceFor(bitmap);
  cairo_save(cr);
  cairo_rectangle(cr, dest.origin.x, dest.origin.y, dest.size.width, dest.size.height);
  cairo_clip(cr);
  cairo_push_group(cr);
  setSourceColor(canvas, color, alpha);
  cairo_paint(cr);
  cairo_pop_group_to_source(cr);
  cairo_pattern_t* fill = cairo_get_source(cr);
  cairo_pattern_reference(fill);
  // The mask is used in the current user space, so its own matrix maps the
  // destination onto the bitmap's pixels (a pattern taken from a scaled
  // source would lose the scale and draw a 2x bitmap twice as large).
  cairo_pattern_t* mask = cairo_pattern_create_for_surface(surface);
  cairo_matrix_t toPixels;
  cairo_matrix_init_scale(&toPixels, bitmap.width() / dest.size.width, bitmap.height() / dest.size.height);
  cairo_matrix_translate(&toPixels, -dest.origin.x, -dest.origin.y);
  cairo_pattern_set_matrix(mask, &toPixels);
  cairo_pattern_set_filter(mask, bitmap.shouldInterpolate() ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(mask, CAIRO_EXTEND_PAD);
  cairo_set_source(cr, fill);
  cairo_mask(cr, mask);
  cairo_pattern_destroy(mask);
  cairo_pattern_destroy(fill);
  cairo_restore(cr);
  cairo_surface_destroy(surface);
}

void addRoundedRect(Canvas& canvas, const Rect& r, double radius) {
  cairo_t* cr = canvas.cairo();
  radius = std::min({radius, r.size.width / 2, r.size.height / 2});
  if (radius <= 0) {
    cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height);
    return;
  }
  const double x0 = r.minX(), y0 = r.minY(), x1 = r.maxX(), y1 = r.maxY();
  cairo_new_sub_path(cr);
  cairo_arc(cr, x1 - radius, y0 + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x1 - radius, y1 - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x0 + radius, y1 - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x0 + radius, y0 + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void setSourceColor(Canvas& canvas, const Color& color, double alpha) {
  const RGBA c = color.rgbaComponents();
  cairo_set_source_rgba(canvas.cairo(), c.red, c.green, c.blue, c.alpha * alpha);
}

}  // namespace kit
