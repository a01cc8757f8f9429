// Affine transforms of the plane, in the platform's row-vector convention:
// a point (x, y) maps to (a*x + c*y + tx, b*x + d*y + ty), and concat(t1, t2)
// applies t1 first, then t2.
#pragma once

#include <string>

#include "kit/graphics/geometry.h"

namespace kit {

struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static constexpr AffineTransform identity() { return {}; }
  static AffineTransform makeTranslation(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }
  static AffineTransform makeScale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  // Rotation by an angle in radians, counter-clockwise in a y-up space.
  static AffineTransform makeRotation(double angle);

  bool isIdentity() const { return *this == identity(); }

  // These prepend the new operation, as the platform's Translate/Scale/Rotate
  // do: the result first translates (scales, rotates), then applies *this.
  AffineTransform translated(double x, double y) const;
  AffineTransform scaled(double sx, double sy) const;
  AffineTransform rotated(double angle) const;
  // *this followed by other.
  AffineTransform concat(const AffineTransform& other) const;
  // The inverse, or *this unchanged when it cannot be inverted.
  AffineTransform inverted() const;
  bool isInvertible() const;

  Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  // Sizes ignore the translation.
  Size apply(Size s) const { return {a * s.width + c * s.height, b * s.width + d * s.height}; }
  // The bounding box of the transformed rectangle; null stays null.
  Rect apply(const Rect& r) const;

  bool operator==(const AffineTransform&) const = default;
};

inline AffineTransform concat(const AffineTransform& t1, const AffineTransform& t2) { return t1.concat(t2); }

std::string toString(const AffineTransform& t);

}  // namespace kit
