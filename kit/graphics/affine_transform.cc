// Affine transform arithmetic.
#include "kit/graphics/affine_transform.h"

#include <algorithm>
#include <cmath>

namespace kit {

AffineTransform AffineTransform::makeRotation(double angle) {
  const double s = std::sin(angle);
  const double co = std::cos(angle);
  return {co, s, -s, co, 0, 0};
}

AffineTransform AffineTransform::translated(double x, double y) const { return makeTranslation(x, y).concat(*this); }
AffineTransform AffineTransform::scaled(double sx, double sy) const { return makeScale(sx, sy).concat(*this); }
AffineTransform AffineTransform::rotated(double angle) const { return makeRotation(angle).concat(*this); }

AffineTransform AffineTransform::concat(const AffineTransform& t) const {
  return {a * t.a + b * t.c,          a * t.b + b * t.d,          c * t.a + d * t.c,
          c * t.b + d * t.d,          tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
}

bool AffineTransform::isInvertible() const {
  const double det = a * d - b * c;
  return det != 0 && std::isfinite(det);
}

AffineTransform AffineTransform::inverted() const {
  const double det = a * d - b * c;
  if (det == 0 || !std::isfinite(det)) return *this;
  const double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
  return {ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id)};
}

Rect AffineTransform::apply(const Rect& r) const {
  if (r.isNull()) return r;
  const Rect s = r.standardized();
  const Point corners[4] = {apply(Point{s.minX(), s.minY()}), apply(Point{s.maxX(), s.minY()}),
                            apply(Point{s.minX(), s.maxY()}), apply(Point{s.maxX(), s.maxY()})};
  double x1 = corners[0].x, x2 = corners[0].x, y1 = corners[0].y, y2 = corners[0].y;
  for (const Point& p : corners) {
    x1 = std::min(x1, p.x);
    x2 = std::max(x2, p.x);
    y1 = std::min(y1, p.y);
    y2 = std::max(y2, p.y);
  }
  return {x1, y1, x2 - x1, y2 - y1};
}

std::string toString(const AffineTransform& t) {
  return "[" + std::to_string(t.a) + ", " + std::to_string(t.b) + ", " + std::to_string(t.c) + ", " +
         std::to_string(t.d) + ", " + std::to_string(t.tx) + ", " + std::to_string(t.ty) + "]";
}

}  // namespace kit
