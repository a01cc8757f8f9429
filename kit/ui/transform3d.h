// Three-dimensional transforms of layers: a 4x4 matrix in the platform's
// row-vector convention (a point [x y z 1] is multiplied on the left), so
// concat(a, b) applies a first, then b. Layers keep one as their transform;
// views see its affine part.
#pragma once

#include <string>

#include "kit/graphics/affine_transform.h"
#include "kit/graphics/geometry.h"

namespace kit {

struct Transform3D {
  double m11 = 1, m12 = 0, m13 = 0, m14 = 0;
  double m21 = 0, m22 = 1, m23 = 0, m24 = 0;
  double m31 = 0, m32 = 0, m33 = 1, m34 = 0;
  double m41 = 0, m42 = 0, m43 = 0, m44 = 1;

  static constexpr Transform3D identity() { return {}; }
  static Transform3D makeTranslation(double tx, double ty, double tz);
  static Transform3D makeScale(double sx, double sy, double sz);
  // A rotation by an angle in radians about the axis (x, y, z); a zero axis
  // gives the identity.
  static Transform3D makeRotation(double angle, double x, double y, double z);
  static Transform3D fromAffine(const AffineTransform& t);

  bool isIdentity() const { return *this == identity(); }
  // Whether the transform only acts in the plane (and so has an affine form).
  bool isAffine() const;
  // The plane part: exact when isAffine().
  AffineTransform affine() const;

  // These prepend the new operation to *this, as the platform's
  // Translate/Scale/Rotate do.
  Transform3D translated(double tx, double ty, double tz) const;
  Transform3D scaled(double sx, double sy, double sz) const;
  Transform3D rotated(double angle, double x, double y, double z) const;
  // *this followed by other.
  Transform3D concat(const Transform3D& other) const;
  Transform3D inverted() const;

  // Maps a point of the plane z = 0, with the perspective divide.
  Point apply(Point p) const;

  bool operator==(const Transform3D&) const = default;
};

std::string toString(const Transform3D& t);

}  // namespace kit
