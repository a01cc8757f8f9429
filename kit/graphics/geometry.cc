// Rectangle arithmetic following the platform's rules for null, empty and
// negative-size rectangles.
#include "kit/graphics/geometry.h"

#include <algorithm>
#include <charconv>

namespace kit {

Rect Rect::standardized() const {
  if (isNull()) return *this;
  return {minX(), minY(), width(), height()};
}

Rect Rect::intersection(const Rect& other) const {
  if (isNull() || other.isNull()) return null();
  const Rect a = standardized();
  const Rect b = other.standardized();
  const double x1 = std::max(a.minX(), b.minX());
  const double y1 = std::max(a.minY(), b.minY());
  const double x2 = std::min(a.maxX(), b.maxX());
  const double y2 = std::min(a.maxY(), b.maxY());
  if (x2 < x1 || y2 < y1) return null();
  return {x1, y1, x2 - x1, y2 - y1};
}

Rect Rect::unionWith(const Rect& other) const {
  if (isNull()) return other.standardized();
  if (other.isNull()) return standardized();
  const double x1 = std::min(minX(), other.minX());
  const double y1 = std::min(minY(), other.minY());
  const double x2 = std::max(maxX(), other.maxX());
  const double y2 = std::max(maxY(), other.maxY());
  return {x1, y1, x2 - x1, y2 - y1};
}

Rect Rect::insetBy(double dx, double dy) const {
  if (isNull()) return *this;
  Rect r = standardized();
  r.origin.x += dx;
  r.origin.y += dy;
  r.size.width -= 2 * dx;
  r.size.height -= 2 * dy;
  if (r.size.width < 0 || r.size.height < 0) return null();
  return r;
}

Rect Rect::offsetBy(double dx, double dy) const {
  if (isNull()) return *this;
  Rect r = standardized();
  r.origin.x += dx;
  r.origin.y += dy;
  return r;
}

Rect Rect::integral() const {
  if (isNull()) return *this;
  const Rect r = standardized();
  const double x1 = std::floor(r.minX());
  const double y1 = std::floor(r.minY());
  const double x2 = std::ceil(r.maxX());
  const double y2 = std::ceil(r.maxY());
  return {x1, y1, x2 - x1, y2 - y1};
}

bool Rect::contains(Point p) const {
  if (isNull()) return false;
  return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& other) const {
  if (isNull() || other.isNull()) return false;
  return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() &&
         other.maxY() <= maxY();
}

bool Rect::intersects(const Rect& other) const {
  // Rectangles that only touch along an edge do not intersect.
  return !intersection(other).isEmpty();
}

Rect insetRect(const Rect& rect, const EdgeInsets& insets) {
  return {rect.origin.x + insets.left, rect.origin.y + insets.top, rect.size.width - (insets.left + insets.right),
          rect.size.height - (insets.top + insets.bottom)};
}

static std::string number(double v) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, result.ptr);
}

std::string toString(Point p) { return "{" + number(p.x) + ", " + number(p.y) + "}"; }
std::string toString(Size s) { return "{" + number(s.width) + ", " + number(s.height) + "}"; }
std::string toString(const Rect& r) { return "{" + toString(r.origin) + ", " + toString(r.size) + "}"; }
std::string toString(const EdgeInsets& e) {
  return "{" + number(e.top) + ", " + number(e.left) + ", " + number(e.bottom) + ", " + number(e.right) + "}";
}

}  // namespace kit
