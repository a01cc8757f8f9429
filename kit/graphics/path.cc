// Path building and queries.
#include "kit/graphics/path.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kit {

KIT_DEFINE_CLASS_NAMED(Path, Object, "CGPath") {}

namespace {
// Control-point distance for a circular arc of a quarter turn or less.
double arcHandle(double sweep) { return 4.0 / 3.0 * std::tan(sweep / 4); }
constexpr double kQuarterKappa = 0.5522847498307936;
}  // namespace

void Path::moveTo(Point p) {
  elements_.push_back({ElementType::MoveTo, {p}});
  current_ = subpathStart_ = p;
  hasCurrent_ = true;
}

void Path::lineTo(Point p) {
  if (!hasCurrent_) return moveTo(p);
  elements_.push_back({ElementType::LineTo, {p}});
  current_ = p;
}

void Path::quadCurveTo(Point control, Point p) {
  if (!hasCurrent_) moveTo(control);
  elements_.push_back({ElementType::QuadCurveTo, {control, p}});
  current_ = p;
}

void Path::curveTo(Point c1, Point c2, Point p) {
  if (!hasCurrent_) moveTo(c1);
  elements_.push_back({ElementType::CurveTo, {c1, c2, p}});
  current_ = p;
}

void Path::close() {
  if (!hasCurrent_) return;
  elements_.push_back({ElementType::Close, {}});
  current_ = subpathStart_;
}

void Path::addRect(const Rect& r) {
  const Rect s = r.standardized();
  moveTo({s.minX(), s.minY()});
  lineTo({s.maxX(), s.minY()});
  lineTo({s.maxX(), s.maxY()});
  lineTo({s.minX(), s.maxY()});
  close();
}

void Path::addEllipse(const Rect& r) {
  const Rect s = r.standardized();
  const double rx = s.width() / 2, ry = s.height() / 2, cx = s.midX(), cy = s.midY();
  const double kx = rx * kQuarterKappa, ky = ry * kQuarterKappa;
  moveTo({cx + rx, cy});
  curveTo({cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry});
  curveTo({cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy});
  curveTo({cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry});
  curveTo({cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy});
  close();
}

void Path::addArc(Point center, double radius, double start, double end, bool clockwise) {
  constexpr double twoPi = 2 * std::numbers::pi;
  double sweep = end - start;
  if (!clockwise) {
    while (sweep < 0) sweep += twoPi;
  } else {
    while (sweep > 0) sweep -= twoPi;
  }
  const Point first{center.x + radius * std::cos(start), center.y + radius * std::sin(start)};
  if (hasCurrent_) lineTo(first);
  else moveTo(first);
  if (sweep == 0 || radius == 0) return;
  const int segments = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (std::numbers::pi / 2) - 1e-9)));
  const double step = sweep / segments;
  const double k = arcHandle(step);
  double angle = start;
  for (int i = 0; i < segments; ++i) {
    const double a1 = angle + step;
    const double c0 = std::cos(angle), s0 = std::sin(angle), c1 = std::cos(a1), s1 = std::sin(a1);
    curveTo({center.x + radius * (c0 - k * s0), center.y + radius * (s0 + k * c0)},
            {center.x + radius * (c1 + k * s1), center.y + radius * (s1 - k * c1)},
            {center.x + radius * c1, center.y + radius * s1});
    angle = a1;
  }
}

void Path::addPath(const Path& other, const AffineTransform& t) {
  for (const Element& e : other.elements_) {
    switch (e.type) {
      case ElementType::MoveTo: moveTo(t.apply(e.points[0])); break;
      case ElementType::LineTo: lineTo(t.apply(e.points[0])); break;
      case ElementType::QuadCurveTo: quadCurveTo(t.apply(e.points[0]), t.apply(e.points[1])); break;
      case ElementType::CurveTo: curveTo(t.apply(e.points[0]), t.apply(e.points[1]), t.apply(e.points[2])); break;
      case ElementType::Close: close(); break;
    }
  }
}

Ref<Path> Path::withRect(const Rect& rect) {
  auto p = create();
  p->addRect(rect);
  return p;
}

Ref<Path> Path::withEllipse(const Rect& rect) {
  auto p = create();
  p->addEllipse(rect);
  return p;
}

Ref<Path> Path::withRoundedRect(const Rect& rect, double radius) {
  return withRoundedRect(rect, RectCornerAllCorners, {radius, radius});
}

Ref<Path> Path::withRoundedRect(const Rect& rect, unsigned corners, Size radii) {
  const Rect s = rect.standardized();
  const double r = std::clamp(radii.width, 0.0, std::min(s.width(), s.height()) / 2);
  auto radiusOf = [&](unsigned corner) { return (corners & corner) ? r : 0.0; };
  const double tl = radiusOf(RectCornerTopLeft), tr = radiusOf(RectCornerTopRight);
  const double bl = radiusOf(RectCornerBottomLeft), br = radiusOf(RectCornerBottomRight);
  const double x0 = s.minX(), y0 = s.minY(), x1 = s.maxX(), y1 = s.maxY();
  const double k = kQuarterKappa;
  auto p = create();
  p->moveTo({x0 + tl, y0});
  p->lineTo({x1 - tr, y0});
  if (tr > 0) p->curveTo({x1 - tr + tr * k, y0}, {x1, y0 + tr - tr * k}, {x1, y0 + tr});
  p->lineTo({x1, y1 - br});
  if (br > 0) p->curveTo({x1, y1 - br + br * k}, {x1 - br + br * k, y1}, {x1 - br, y1});
  p->lineTo({x0 + bl, y1});
  if (bl > 0) p->curveTo({x0 + bl - bl * k, y1}, {x0, y1 - bl + bl * k}, {x0, y1 - bl});
  p->lineTo({x0, y0 + tl});
  if (tl > 0) p->curveTo({x0, y0 + tl - tl * k}, {x0 + tl - tl * k, y0}, {x0 + tl, y0});
  p->close();
  return p;
}

Ref<Path> Path::withArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
  auto p = create();
  // Clockwise on a top-left-origin screen is increasing angle, which is the
  // y-up path's counter-clockwise.
  p->addArc(center, radius, startAngle, endAngle, !clockwise);
  return p;
}

Rect Path::boundingBox() const {
  Rect box = Rect::null();
  for (const Element& e : elements_) {
    const int count = e.type == ElementType::CurveTo ? 3 : e.type == ElementType::QuadCurveTo ? 2
                      : e.type == ElementType::Close ? 0 : 1;
    for (int i = 0; i < count; ++i) box = box.unionWith(Rect(e.points[i], Size()));
  }
  return box;
}

namespace {
// Flattens a path into closed polygons for point tests.
void flatten(const std::vector<Path::Element>& elements, std::vector<std::vector<Point>>& polygons) {
  Point current;
  for (const auto& e : elements) {
    switch (e.type) {
      case Path::ElementType::MoveTo:
        polygons.emplace_back();
        polygons.back().push_back(e.points[0]);
        current = e.points[0];
        break;
      case Path::ElementType::LineTo:
        if (polygons.empty()) polygons.emplace_back();
        polygons.back().push_back(e.points[0]);
        current = e.points[0];
        break;
      case Path::ElementType::QuadCurveTo:
      case Path::ElementType::CurveTo: {
        if (polygons.empty()) polygons.emplace_back();
        const bool cubic = e.type == Path::ElementType::CurveTo;
        const Point p0 = current, c1 = e.points[0], c2 = cubic ? e.points[1] : e.points[0];
        const Point p3 = cubic ? e.points[2] : e.points[1];
        for (int i = 1; i <= 16; ++i) {
          const double t = i / 16.0, u = 1 - t;
          Point q;
          if (cubic) {
            q = {u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p3.x,
                 u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p3.y};
          } else {
            q = {u * u * p0.x + 2 * u * t * c1.x + t * t * p3.x, u * u * p0.y + 2 * u * t * c1.y + t * t * p3.y};
          }
          polygons.back().push_back(q);
        }
        current = p3;
        break;
      }
      case Path::ElementType::Close:
        if (!polygons.empty() && !polygons.back().empty()) current = polygons.back().front();
        break;
    }
  }
}
}  // namespace

bool Path::contains(Point p, bool evenOdd) const {
  std::vector<std::vector<Point>> polygons;
  flatten(elements_, polygons);
  int winding = 0, crossings = 0;
  for (const auto& poly : polygons) {
    const size_t n = poly.size();
    for (size_t i = 0; i < n; ++i) {
      const Point a = poly[i], b = poly[(i + 1) % n];
      if ((a.y <= p.y) != (b.y <= p.y)) {
        const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
        if (x > p.x) {
          ++crossings;
          winding += b.y > a.y ? 1 : -1;
        }
      }
    }
  }
  return evenOdd ? (crossings % 2) == 1 : winding != 0;
}

Ref<Path> Path::transformed(const AffineTransform& t) const {
  auto p = create();
  p->addPath(*this, t);
  return p;
}

Id Path::copy() const { return transformed(AffineTransform::identity()); }

}  // namespace kit
