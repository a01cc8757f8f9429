// Bitmap contexts drawn with Cairo.
#include "kit/graphics/graphics_context.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kit {

KIT_DEFINE_CLASS_NAMED(GraphicsContext, Object, "CGContext") {}

namespace {

constexpr size_t kMaxSide = 32767;  // Cairo's image-surface limit
constexpr size_t kMaxPixels = size_t{1} << 28;

using SurfaceRef = std::shared_ptr<cairo_surface_t>;
SurfaceRef adopt(cairo_surface_t* s) { return SurfaceRef(s, cairo_surface_destroy); }

struct State {
  Ref<Color> fill = Color::blackColor();
  Ref<Color> stroke = Color::blackColor();
  double alpha = 1;
  BlendMode blend = BlendMode::Normal;
  InterpolationQuality quality = InterpolationQuality::Default;
  SurfaceRef mask;  // device-sized A8 coverage, or none
};

cairo_operator_t toCairo(BlendMode mode) {
  switch (mode) {
    case BlendMode::Normal: return CAIRO_OPERATOR_OVER;
    case BlendMode::Multiply: return CAIRO_OPERATOR_MULTIPLY;
    case BlendMode::Screen: return CAIRO_OPERATOR_SCREEN;
    case BlendMode::Overlay: return CAIRO_OPERATOR_OVERLAY;
    case BlendMode::Darken: return CAIRO_OPERATOR_DARKEN;
    case BlendMode::Lighten: return CAIRO_OPERATOR_LIGHTEN;
    case BlendMode::ColorDodge: return CAIRO_OPERATOR_COLOR_DODGE;
    case BlendMode::ColorBurn: return CAIRO_OPERATOR_COLOR_BURN;
    case BlendMode::SoftLight: return CAIRO_OPERATOR_SOFT_LIGHT;
    case BlendMode::HardLight: return CAIRO_OPERATOR_HARD_LIGHT;
    case BlendMode::Difference: return CAIRO_OPERATOR_DIFFERENCE;
    case BlendMode::Exclusion: return CAIRO_OPERATOR_EXCLUSION;
    case BlendMode::Hue: return CAIRO_OPERATOR_HSL_HUE;
    case BlendMode::Saturation: return CAIRO_OPERATOR_HSL_SATURATION;
    case BlendMode::Color: return CAIRO_OPERATOR_HSL_COLOR;
    case BlendMode::Luminosity: return CAIRO_OPERATOR_HSL_LUMINOSITY;
    case BlendMode::Clear: return CAIRO_OPERATOR_CLEAR;
    case BlendMode::Copy: return CAIRO_OPERATOR_SOURCE;
    case BlendMode::SourceIn: return CAIRO_OPERATOR_IN;
    case BlendMode::SourceOut: return CAIRO_OPERATOR_OUT;
    case BlendMode::SourceAtop: return CAIRO_OPERATOR_ATOP;
    case BlendMode::DestinationOver: return CAIRO_OPERATOR_DEST_OVER;
    case BlendMode::DestinationIn: return CAIRO_OPERATOR_DEST_IN;
    case BlendMode::DestinationOut: return CAIRO_OPERATOR_DEST_OUT;
    case BlendMode::DestinationAtop: return CAIRO_OPERATOR_DEST_ATOP;
    case BlendMode::XOR: return CAIRO_OPERATOR_XOR;
    case BlendMode::PlusDarker: return CAIRO_OPERATOR_MULTIPLY;  // nearest Cairo has
    case BlendMode::PlusLighter: return CAIRO_OPERATOR_ADD;
  }
  return CAIRO_OPERATOR_OVER;
}

// Cairo clears outside the shape for these; the platform leaves it alone.
bool unbounded(cairo_operator_t op) {
  return op == CAIRO_OPERATOR_IN || op == CAIRO_OPERATOR_OUT || op == CAIRO_OPERATOR_DEST_IN ||
         op == CAIRO_OPERATOR_DEST_ATOP;
}

cairo_matrix_t toCairo(const AffineTransform& t) { return {t.a, t.b, t.c, t.d, t.tx, t.ty}; }
AffineTransform fromCairo(const cairo_matrix_t& m) { return {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0}; }

bool layoutAccepted(size_t bpc, const Ref<ColorSpace>& space, BitmapInfo info) {
  if (info & FloatComponents) return false;
  const AlphaInfo a = alphaInfoOf(info);
  const BitmapInfo order = byteOrderOf(info);
  if (!space) return bpc == 8 && a == AlphaInfo::Only;
  switch (space->model()) {
    case ColorSpace::Model::Monochrome: return bpc == 8 && (a == AlphaInfo::None || a == AlphaInfo::Only);
    case ColorSpace::Model::CMYK:
      return bpc == 8 && a == AlphaInfo::None && (order == ByteOrderDefault || order == ByteOrder32Big);
    case ColorSpace::Model::RGB:
      if (bpc == 8) {
        return (a == AlphaInfo::PremultipliedFirst || a == AlphaInfo::PremultipliedLast ||
                a == AlphaInfo::NoneSkipFirst || a == AlphaInfo::NoneSkipLast) &&
               (order == ByteOrderDefault || order == ByteOrder32Big || order == ByteOrder32Little);
      }
      if (bpc == 16) {
        return (a == AlphaInfo::PremultipliedLast || a == AlphaInfo::NoneSkipLast) &&
               (order == ByteOrderDefault || order == ByteOrder16Big || order == ByteOrder16Little);
      }
      return false;
    default: return false;
  }
}

}  // namespace

struct GraphicsContext::Impl {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  cairo_format_t cairoFormat = CAIRO_FORMAT_ARGB32;
  AffineTransform base;  // lower-left-origin pixels to Cairo's device space
  std::vector<State> states{State()};

  ~Impl() {
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
  }
  State& state() { return states.back(); }
  const State& state() const { return states.back(); }
};

Ref<GraphicsContext> GraphicsContext::createBitmap(size_t width, size_t height, size_t bitsPerComponent,
                                                   size_t bytesPerRow, Ref<ColorSpace> space, BitmapInfo info) {
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
    return nullptr;
  }
  // Gray with alpha-only is the platform's mask layout; keep it alpha-only.
  if (space && space->model() == ColorSpace::Model::Monochrome && alphaInfoOf(info) == AlphaInfo::Only) space = nullptr;
  if (!layoutAccepted(bitsPerComponent, space, info)) return nullptr;
  PixelFormat format;
  format.bitsPerComponent = bitsPerComponent;
  format.colorSpace = space;
  format.bitmapInfo = info;
  const AlphaInfo a = alphaInfoOf(info);
  const size_t channels = space ? space->numberOfComponents() + (a == AlphaInfo::None ? 0 : 1) : 1;
  format.bitsPerPixel = channels * bitsPerComponent;
  if (!format.isSupported()) return nullptr;
  const size_t minRow = width * format.bytesPerPixel();
  if (bytesPerRow == 0) bytesPerRow = (minRow + 15) / 16 * 16;
  if (bytesPerRow < minRow) return nullptr;

  auto impl = std::make_unique<Impl>();
  if (!space) impl->cairoFormat = CAIRO_FORMAT_A8;
  else if (!hasAlphaChannel(a)) impl->cairoFormat = CAIRO_FORMAT_RGB24;
  impl->surface = cairo_image_surface_create(impl->cairoFormat, static_cast<int>(width), static_cast<int>(height));
  if (cairo_surface_status(impl->surface) != CAIRO_STATUS_SUCCESS) return nullptr;
  impl->cr = cairo_create(impl->surface);
  if (cairo_status(impl->cr) != CAIRO_STATUS_SUCCESS) return nullptr;
  // Opaque layouts start black, as a zeroed opaque bitmap is.
  impl->base = {1, 0, 0, -1, 0, static_cast<double>(height)};
  cairo_matrix_t m = toCairo(impl->base);
  cairo_set_matrix(impl->cr, &m);
  cairo_set_line_width(impl->cr, 1.0);
  cairo_set_miter_limit(impl->cr, 10.0);
  return make<GraphicsContext>(std::move(impl), width, height, format, bytesPerRow);
}

GraphicsContext::GraphicsContext(std::unique_ptr<Impl> impl, size_t width, size_t height, const PixelFormat& format,
                                 size_t bytesPerRow)
    : impl_(std::move(impl)), width_(width), height_(height), format_(format), bytesPerRow_(bytesPerRow) {}

GraphicsContext::~GraphicsContext() = default;

// ---- Pixels ----

std::vector<uint8_t> GraphicsContext::data() const {
  cairo_surface_flush(impl_->surface);
  const uint8_t* pixels = cairo_image_surface_get_data(impl_->surface);
  const int stride = cairo_image_surface_get_stride(impl_->surface);
  std::vector<uint8_t> out(bytesPerRow_ * height_);
  std::vector<uint8_t> rgba(width_ * 4);
  const bool native = format_ == PixelFormat::argb32() && impl_->cairoFormat == CAIRO_FORMAT_ARGB32;
  for (size_t y = 0; y < height_; ++y) {
    const uint8_t* row = pixels + y * static_cast<size_t>(stride);
    uint8_t* dst = out.data() + y * bytesPerRow_;
    if (native) {
      std::memcpy(dst, row, width_ * 4);
      continue;
    }
    if (impl_->cairoFormat == CAIRO_FORMAT_A8) {
      for (size_t x = 0; x < width_; ++x) {
        rgba[x * 4] = rgba[x * 4 + 1] = rgba[x * 4 + 2] = 0;
        rgba[x * 4 + 3] = row[x];
      }
    } else {
      const auto* words = reinterpret_cast<const uint32_t*>(row);
      const bool opaque = impl_->cairoFormat == CAIRO_FORMAT_RGB24;
      for (size_t x = 0; x < width_; ++x) {
        const uint32_t w = words[x];
        rgba[x * 4] = static_cast<uint8_t>(w >> 16);
        rgba[x * 4 + 1] = static_cast<uint8_t>(w >> 8);
        rgba[x * 4 + 2] = static_cast<uint8_t>(w);
        rgba[x * 4 + 3] = opaque ? 255 : static_cast<uint8_t>(w >> 24);
      }
    }
    packRow(format_, rgba.data(), dst, width_);
  }
  return out;
}

Ref<Bitmap> GraphicsContext::makeImage() const {
  return Bitmap::create(width_, height_, format_, bytesPerRow_, data());
}

void GraphicsContext::flush() { cairo_surface_flush(impl_->surface); }

// ---- State ----

void GraphicsContext::saveGState() {
  cairo_save(impl_->cr);
  impl_->states.push_back(impl_->state());
}

void GraphicsContext::restoreGState() {
  if (impl_->states.size() <= 1) return;  // unbalanced restore: ignored, as the platform does
  impl_->states.pop_back();
  cairo_restore(impl_->cr);
}

void GraphicsContext::translateCTM(double tx, double ty) { cairo_translate(impl_->cr, tx, ty); }
void GraphicsContext::scaleCTM(double sx, double sy) {
  if (sx == 0 || sy == 0) return;  // Cairo refuses singular matrices; drawing would show nothing anyway
  cairo_scale(impl_->cr, sx, sy);
}
void GraphicsContext::rotateCTM(double angle) { cairo_rotate(impl_->cr, angle); }
void GraphicsContext::concatCTM(const AffineTransform& t) {
  if (!t.isInvertible()) return;
  cairo_matrix_t m = toCairo(t);
  cairo_transform(impl_->cr, &m);
}

AffineTransform GraphicsContext::ctm() const {
  cairo_matrix_t m;
  cairo_get_matrix(impl_->cr, &m);
  return fromCairo(m).concat(impl_->base.inverted());
}

void GraphicsContext::setFillColor(Ref<Color> color) { impl_->state().fill = color ? color : Color::clearColor(); }
void GraphicsContext::setStrokeColor(Ref<Color> color) {
  impl_->state().stroke = color ? color : Color::clearColor();
}
void GraphicsContext::setLineWidth(double width) { cairo_set_line_width(impl_->cr, std::max(0.0, width)); }
void GraphicsContext::setLineCap(LineCap cap) {
  cairo_set_line_cap(impl_->cr, cap == LineCap::Round    ? CAIRO_LINE_CAP_ROUND
                                : cap == LineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                         : CAIRO_LINE_CAP_BUTT);
}
void GraphicsContext::setLineJoin(LineJoin join) {
  cairo_set_line_join(impl_->cr, join == LineJoin::Round   ? CAIRO_LINE_JOIN_ROUND
                                 : join == LineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                           : CAIRO_LINE_JOIN_MITER);
}
void GraphicsContext::setMiterLimit(double limit) { cairo_set_miter_limit(impl_->cr, limit); }
void GraphicsContext::setLineDash(double phase, const std::vector<double>& lengths) {
  for (double v : lengths) {
    if (v < 0) return;
  }
  cairo_set_dash(impl_->cr, lengths.data(), static_cast<int>(lengths.size()), phase);
}
void GraphicsContext::setAlpha(double alpha) { impl_->state().alpha = std::clamp(alpha, 0.0, 1.0); }
void GraphicsContext::setBlendMode(BlendMode mode) { impl_->state().blend = mode; }
BlendMode GraphicsContext::blendMode() const { return impl_->state().blend; }
void GraphicsContext::setShouldAntialias(bool on) {
  cairo_set_antialias(impl_->cr, on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}
void GraphicsContext::setInterpolationQuality(InterpolationQuality quality) { impl_->state().quality = quality; }

// ---- Path ----

void GraphicsContext::beginPath() { cairo_new_path(impl_->cr); }
void GraphicsContext::moveTo(double x, double y) { cairo_move_to(impl_->cr, x, y); }
void GraphicsContext::addLineTo(double x, double y) {
  if (!cairo_has_current_point(impl_->cr)) return;  // the platform ignores a line without a start
  cairo_line_to(impl_->cr, x, y);
}
void GraphicsContext::addCurveTo(double c1x, double c1y, double c2x, double c2y, double x, double y) {
  if (!cairo_has_current_point(impl_->cr)) return;
  cairo_curve_to(impl_->cr, c1x, c1y, c2x, c2y, x, y);
}
void GraphicsContext::addQuadCurveTo(double cx, double cy, double x, double y) {
  if (!cairo_has_current_point(impl_->cr)) return;
  double x0, y0;
  cairo_get_current_point(impl_->cr, &x0, &y0);
  cairo_curve_to(impl_->cr, x0 + 2.0 / 3.0 * (cx - x0), y0 + 2.0 / 3.0 * (cy - y0), x + 2.0 / 3.0 * (cx - x),
                 y + 2.0 / 3.0 * (cy - y), x, y);
}
void GraphicsContext::addArc(double x, double y, double radius, double startAngle, double endAngle, bool clockwise) {
  Path arc;
  if (cairo_has_current_point(impl_->cr)) {
    double cx, cy;
    cairo_get_current_point(impl_->cr, &cx, &cy);
    arc.moveTo({cx, cy});
  }
  arc.addArc({x, y}, radius, startAngle, endAngle, clockwise);
  addPath(arc);
}
void GraphicsContext::addRect(const Rect& rect) {
  const Rect r = rect.standardized();
  cairo_rectangle(impl_->cr, r.minX(), r.minY(), r.width(), r.height());
}
void GraphicsContext::addEllipseInRect(const Rect& rect) { addPath(*Path::withEllipse(rect)); }
void GraphicsContext::addPath(const Path& path) {
  cairo_t* cr = impl_->cr;
  for (const auto& e : path.elements()) {
    const Point* p = e.points;
    switch (e.type) {
      case Path::ElementType::MoveTo: cairo_move_to(cr, p[0].x, p[0].y); break;
      case Path::ElementType::LineTo: cairo_line_to(cr, p[0].x, p[0].y); break;
      case Path::ElementType::QuadCurveTo: addQuadCurveTo(p[0].x, p[0].y, p[1].x, p[1].y); break;
      case Path::ElementType::CurveTo: cairo_curve_to(cr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y); break;
      case Path::ElementType::Close: cairo_close_path(cr); break;
    }
  }
}
void GraphicsContext::closePath() { cairo_close_path(impl_->cr); }
bool GraphicsContext::isPathEmpty() const {
  cairo_path_t* path = cairo_copy_path(impl_->cr);
  const bool empty = path->num_data == 0;
  cairo_path_destroy(path);
  return empty;
}

// ---- Painting ----

template <class Draw>
void GraphicsContext::paint(Draw&& draw) {
  cairo_t* cr = impl_->cr;
  const State& st = impl_->state();
  const cairo_operator_t op = toCairo(st.blend);
  if (!st.mask) {
    cairo_set_operator(cr, op);
    draw(op);
    return;
  }
  // Under a mask clip: draw into a group, then composite it through the mask.
  cairo_push_group(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  draw(CAIRO_OPERATOR_OVER);
  cairo_pop_group_to_source(cr);
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_operator(cr, op);
  cairo_mask_surface(cr, st.mask.get(), 0, 0);
  cairo_restore(cr);
}

static void setSource(cairo_t* cr, const Color& color, double alpha) {
  const RGBA c = color.rgbaComponents();
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha * alpha);
}

void GraphicsContext::fillWithRule(bool evenOdd, bool keepPath) {
  cairo_t* cr = impl_->cr;
  cairo_set_fill_rule(cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  const State& st = impl_->state();
  paint([&](cairo_operator_t op) {
    setSource(cr, *st.fill, st.alpha);
    if (unbounded(op)) {
      cairo_save(cr);
      cairo_clip_preserve(cr);
      cairo_fill_preserve(cr);
      cairo_restore(cr);
    } else {
      cairo_fill_preserve(cr);
    }
  });
  if (!keepPath) cairo_new_path(cr);
}

void GraphicsContext::strokeCurrent(bool keepPath) {
  cairo_t* cr = impl_->cr;
  const State& st = impl_->state();
  paint([&](cairo_operator_t) {
    setSource(cr, *st.stroke, st.alpha);
    cairo_stroke_preserve(cr);
  });
  if (!keepPath) cairo_new_path(cr);
}

void GraphicsContext::fillPath() { fillWithRule(false, false); }
void GraphicsContext::eoFillPath() { fillWithRule(true, false); }
void GraphicsContext::strokePath() { strokeCurrent(false); }

void GraphicsContext::drawPath(PathDrawingMode mode) {
  switch (mode) {
    case PathDrawingMode::Fill: fillWithRule(false, false); break;
    case PathDrawingMode::EOFill: fillWithRule(true, false); break;
    case PathDrawingMode::Stroke: strokeCurrent(false); break;
    case PathDrawingMode::FillStroke:
      fillWithRule(false, true);
      strokeCurrent(false);
      break;
    case PathDrawingMode::EOFillStroke:
      fillWithRule(true, true);
      strokeCurrent(false);
      break;
  }
}

void GraphicsContext::fillRect(const Rect& rect) {
  beginPath();
  addRect(rect);
  fillPath();
}

void GraphicsContext::strokeRect(const Rect& rect) {
  beginPath();
  addRect(rect);
  strokePath();
}

void GraphicsContext::strokeRectWithWidth(const Rect& rect, double width) {
  saveGState();
  setLineWidth(width);
  strokeRect(rect);
  restoreGState();
}

void GraphicsContext::clearRect(const Rect& rect) {
  cairo_t* cr = impl_->cr;
  cairo_save(cr);
  cairo_new_path(cr);
  const Rect r = rect.standardized();
  cairo_rectangle(cr, r.minX(), r.minY(), r.width(), r.height());
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_fill(cr);
  cairo_restore(cr);
}

void GraphicsContext::fillEllipseInRect(const Rect& rect) {
  beginPath();
  addEllipseInRect(rect);
  fillPath();
}

void GraphicsContext::strokeEllipseInRect(const Rect& rect) {
  beginPath();
  addEllipseInRect(rect);
  strokePath();
}

void GraphicsContext::drawImage(const Rect& rect, const Bitmap& image) {
  const Rect r = rect.standardized();
  if (r.isEmpty()) return;
  auto argb = image.premultipliedARGB();
  const int w = static_cast<int>(image.width()), h = static_cast<int>(image.height());
  cairo_surface_t* source = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(argb.data())), CAIRO_FORMAT_ARGB32, w, h, w * 4);
  cairo_t* cr = impl_->cr;
  const State& st = impl_->state();
  const bool smooth = image.shouldInterpolate() && st.quality != InterpolationQuality::None;
  paint([&](cairo_operator_t) {
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_translate(cr, r.minX(), r.maxY());
    cairo_scale(cr, r.width() / w, -r.height() / h);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(cr);
    cairo_pattern_set_filter(pattern, smooth ? (st.quality == InterpolationQuality::High ? CAIRO_FILTER_BEST
                                                                                           : CAIRO_FILTER_GOOD)
                                             : CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, st.alpha);
    cairo_restore(cr);
  });
  cairo_surface_destroy(source);
}

static void addStops(cairo_pattern_t* pattern, const Gradient& gradient, double alpha) {
  for (const auto& stop : gradient.stops()) {
    cairo_pattern_add_color_stop_rgba(pattern, stop.location, stop.color.red, stop.color.green, stop.color.blue,
                                      stop.color.alpha * alpha);
  }
}

// Clips to the half-plane on the given side of the line through `at`
// perpendicular to `direction` (side +1: where direction points).
static void clipHalfPlane(cairo_t* cr, Point at, Point direction, int side) {
  const double len = std::hypot(direction.x, direction.y);
  if (len == 0) return;
  double x1, y1, x2, y2;
  cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
  const double big = std::hypot(x2 - x1, y2 - y1) + std::hypot(at.x - x1, at.y - y1) + 1;
  const Point d{direction.x / len * side, direction.y / len * side};
  const Point n{-d.y, d.x};
  cairo_new_path(cr);
  cairo_move_to(cr, at.x + n.x * big, at.y + n.y * big);
  cairo_line_to(cr, at.x + n.x * big + d.x * big, at.y + n.y * big + d.y * big);
  cairo_line_to(cr, at.x - n.x * big + d.x * big, at.y - n.y * big + d.y * big);
  cairo_line_to(cr, at.x - n.x * big, at.y - n.y * big);
  cairo_close_path(cr);
  cairo_clip(cr);
}

void GraphicsContext::drawLinearGradient(const Gradient& gradient, Point start, Point end, unsigned options) {
  cairo_t* cr = impl_->cr;
  const State& st = impl_->state();
  cairo_pattern_t* pattern = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
  addStops(pattern, gradient, st.alpha);
  const bool before = options & GradientDrawsBeforeStartLocation;
  const bool after = options & GradientDrawsAfterEndLocation;
  cairo_pattern_set_extend(pattern, (before || after) ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
  const Point direction{end.x - start.x, end.y - start.y};
  paint([&](cairo_operator_t) {
    cairo_save(cr);
    if (before && !after) clipHalfPlane(cr, end, direction, -1);
    if (after && !before) clipHalfPlane(cr, start, direction, +1);
    cairo_set_source(cr, pattern);
    cairo_paint(cr);
    cairo_restore(cr);
  });
  cairo_pattern_destroy(pattern);
}

void GraphicsContext::drawRadialGradient(const Gradient& gradient, Point startCenter, double startRadius,
                                         Point endCenter, double endRadius, unsigned options) {
  cairo_t* cr = impl_->cr;
  const State& st = impl_->state();
  cairo_pattern_t* pattern = cairo_pattern_create_radial(startCenter.x, startCenter.y, std::max(0.0, startRadius),
                                                         endCenter.x, endCenter.y, std::max(0.0, endRadius));
  addStops(pattern, gradient, st.alpha);
  // Cairo extends both ways or neither; with a zero start radius (the usual
  // case) "before the start" is empty, so extending covers "after the end".
  const bool after = options & GradientDrawsAfterEndLocation;
  const bool before = options & GradientDrawsBeforeStartLocation;
  cairo_pattern_set_extend(pattern, (after || (before && startRadius > 0)) ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
  paint([&](cairo_operator_t) {
    cairo_save(cr);
    cairo_set_source(cr, pattern);
    cairo_paint(cr);
    cairo_restore(cr);
  });
  cairo_pattern_destroy(pattern);
}

// ---- Clipping ----

void GraphicsContext::clip() {
  cairo_set_fill_rule(impl_->cr, CAIRO_FILL_RULE_WINDING);
  cairo_clip(impl_->cr);
}

void GraphicsContext::eoClip() {
  cairo_set_fill_rule(impl_->cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_clip(impl_->cr);
}

void GraphicsContext::clipToRect(const Rect& rect) {
  cairo_t* cr = impl_->cr;
  cairo_new_path(cr);
  if (rect.isNull()) {
    cairo_rectangle(cr, 0, 0, 0, 0);
  } else {
    const Rect r = rect.standardized();
    cairo_rectangle(cr, r.minX(), r.minY(), r.width(), r.height());
  }
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr);
}

void GraphicsContext::clipToMask(const Rect& rect, const Bitmap& mask) {
  const Rect r = rect.standardized();
  const int w = static_cast<int>(mask.width()), h = static_cast<int>(mask.height());
  // The mask's coverage as an A8 surface.
  auto coverage = adopt(cairo_image_surface_create(CAIRO_FORMAT_A8, w, h));
  const bool useAlpha = hasAlphaChannel(mask.alphaInfo()) || mask.alphaInfo() == AlphaInfo::Only;
  {
    cairo_surface_flush(coverage.get());
    uint8_t* dst = cairo_image_surface_get_data(coverage.get());
    const int stride = cairo_image_surface_get_stride(coverage.get());
    std::vector<uint8_t> rgba(mask.width() * 4);
    for (size_t y = 0; y < mask.height(); ++y) {
      unpackRow(mask.format(), mask.row(y), rgba.data(), mask.width());
      for (size_t x = 0; x < mask.width(); ++x) {
        const uint8_t* p = &rgba[x * 4];
        dst[y * stride + x] =
            useAlpha ? p[3] : static_cast<uint8_t>((p[0] * 299 + p[1] * 587 + p[2] * 114 + 500) / 1000);
      }
    }
    cairo_surface_mark_dirty(coverage.get());
  }
  // Placed in device space through the current transform.
  auto placed = adopt(cairo_image_surface_create(CAIRO_FORMAT_A8, static_cast<int>(width_),
                                                 static_cast<int>(height_)));
  cairo_t* m = cairo_create(placed.get());
  cairo_matrix_t matrix;
  cairo_get_matrix(impl_->cr, &matrix);
  cairo_set_matrix(m, &matrix);
  if (!r.isEmpty()) {
    cairo_translate(m, r.minX(), r.maxY());
    cairo_scale(m, r.width() / w, -r.height() / h);
    cairo_set_source_surface(m, coverage.get(), 0, 0);
    cairo_rectangle(m, 0, 0, w, h);
    cairo_fill(m);
  }
  State& st = impl_->state();
  if (st.mask) {
    cairo_identity_matrix(m);
    cairo_set_operator(m, CAIRO_OPERATOR_IN);
    cairo_set_source_surface(m, st.mask.get(), 0, 0);
    cairo_paint(m);
  }
  cairo_destroy(m);
  cairo_surface_flush(placed.get());
  st.mask = placed;
}

Rect GraphicsContext::clipBoundingBox() const {
  double x1, y1, x2, y2;
  cairo_clip_extents(impl_->cr, &x1, &y1, &x2, &y2);
  return {x1, y1, x2 - x1, y2 - y1};
}

}  // namespace kit
