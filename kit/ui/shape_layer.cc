// Shape layers: paths filled and stroked with Cairo, strokes trimmed to
// [strokeStart, strokeEnd] of the path's length.
#include "kit/ui/shape_layer.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "kit/ui/canvas.h"
#include "kit/ui/canvas_drawing.h"

namespace kit {

ShapeLayer::ShapeLayer() : fillColor_(Color::blackColor()) {}

AnimationValue ShapeLayer::modelValue(const std::string& k) const {
  if (k == "strokeStart") return strokeStart_;
  if (k == "strokeEnd") return strokeEnd_;
  if (k == "lineWidth") return lineWidth_;
  if (k == "strokeColor") return strokeColor_;
  if (k == "fillColor") return fillColor_;
  if (k == "path") return path_;
  if (k == "lineDashPhase") return dashPhase_;
  return Layer::modelValue(k);
}

namespace {

void addPath(cairo_t* cr, const Path& path) {
  for (const auto& e : path.elements()) {
    switch (e.type) {
      case Path::ElementType::MoveTo: cairo_move_to(cr, e.points[0].x, e.points[0].y); break;
      case Path::ElementType::LineTo: cairo_line_to(cr, e.points[0].x, e.points[0].y); break;
      case Path::ElementType::QuadCurveTo: {
        double x0, y0;
        cairo_get_current_point(cr, &x0, &y0);
        const Point c = e.points[0], p = e.points[1];
        cairo_curve_to(cr, x0 + 2.0 / 3 * (c.x - x0), y0 + 2.0 / 3 * (c.y - y0), p.x + 2.0 / 3 * (c.x - p.x),
                       p.y + 2.0 / 3 * (c.y - p.y), p.x, p.y);
        break;
      }
      case Path::ElementType::CurveTo:
        cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x, e.points[2].y);
        break;
      case Path::ElementType::Close: cairo_close_path(cr); break;
    }
  }
}

// Replaces the current path with the part between two fractions of its
// length (flattened to lines).
void trimPath(cairo_t* cr, double start, double end) {
  cairo_path_t* flat = cairo_copy_path_flat(cr);
  cairo_new_path(cr);
  // Segments as (from, to) pairs, with the subpath starts for closing.
  struct Segment {
    double x0, y0, x1, y1, length;
    bool starts;
  };
  std::vector<Segment> segments;
  double total = 0, cx = 0, cy = 0, sx = 0, sy = 0;
  bool fresh = true;
  for (int i = 0; i < flat->num_data; i += flat->data[i].header.length) {
    const cairo_path_data_t* d = &flat->data[i];
    switch (d->header.type) {
      case CAIRO_PATH_MOVE_TO:
        cx = sx = d[1].point.x;
        cy = sy = d[1].point.y;
        fresh = true;
        break;
      case CAIRO_PATH_LINE_TO:
      case CAIRO_PATH_CLOSE_PATH: {
        const double x = d->header.type == CAIRO_PATH_LINE_TO ? d[1].point.x : sx;
        const double y = d->header.type == CAIRO_PATH_LINE_TO ? d[1].point.y : sy;
        const double len = std::hypot(x - cx, y - cy);
        segments.push_back({cx, cy, x, y, len, fresh});
        fresh = false;
        total += len;
        cx = x;
        cy = y;
        break;
      }
      default: break;
    }
  }
  cairo_path_destroy(flat);
  if (total <= 0) return;
  const double a = start * total, b = end * total;
  double at = 0;
  bool drawing = false;
  for (const auto& s : segments) {
    const double s0 = at, s1 = at + s.length;
    at = s1;
    if (s.starts) drawing = false;
    if (s1 < a || s0 > b || s.length == 0) {
      drawing = false;
      continue;
    }
    const double t0 = std::max(0.0, (a - s0) / s.length), t1 = std::min(1.0, (b - s0) / s.length);
    const double x0 = s.x0 + (s.x1 - s.x0) * t0, y0 = s.y0 + (s.y1 - s.y0) * t0;
    const double x1 = s.x0 + (s.x1 - s.x0) * t1, y1 = s.y0 + (s.y1 - s.y0) * t1;
    if (!drawing || t0 > 0) cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    drawing = t1 >= 1;
  }
}

}  // namespace

bool ShapeLayer::drawOwnContent(Canvas& canvas) {
  AnimationValue pathValue = presentationValue("path");
  Ref<Path> path = std::holds_alternative<Ref<Path>>(pathValue) ? std::get<Ref<Path>>(pathValue) : path_;
  if (!path || path->isEmpty()) return false;
  cairo_t* cr = canvas.cairo();
  cairo_save(cr);
  cairo_new_path(cr);
  addPath(cr, *path);
  AnimationValue fillValue = presentationValue("fillColor");
  Ref<Color> fill = std::holds_alternative<Ref<Color>>(fillValue) ? std::get<Ref<Color>>(fillValue) : fillColor_;
  if (fill && fill->alpha() > 0) {
    cairo_set_fill_rule(cr, fillRule_ == FillRuleEvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    setSourceColor(canvas, *fill);
    cairo_fill_preserve(cr);
  }
  AnimationValue strokeValue = presentationValue("strokeColor");
  Ref<Color> stroke =
      std::holds_alternative<Ref<Color>>(strokeValue) ? std::get<Ref<Color>>(strokeValue) : strokeColor_;
  const double width = presentationDouble("lineWidth");
  const double start = std::clamp(presentationDouble("strokeStart"), 0.0, 1.0);
  const double end = std::clamp(presentationDouble("strokeEnd"), 0.0, 1.0);
  if (stroke && width > 0 && end > start) {
    if (start > 0 || end < 1) trimPath(cr, start, end);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, lineCap_ == LineCapRound    ? CAIRO_LINE_CAP_ROUND
                           : lineCap_ == LineCapSquare ? CAIRO_LINE_CAP_SQUARE
                                                       : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, lineJoin_ == LineJoinRound   ? CAIRO_LINE_JOIN_ROUND
                            : lineJoin_ == LineJoinBevel ? CAIRO_LINE_JOIN_BEVEL
                                                         : CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, miterLimit_);
    if (!dash_.empty()) cairo_set_dash(cr, dash_.data(), static_cast<int>(dash_.size()), dashPhase_);
    setSourceColor(canvas, *stroke);
    cairo_stroke(cr);
  }
  cairo_new_path(cr);
  cairo_restore(cr);
  return true;
}

}  // namespace kit
