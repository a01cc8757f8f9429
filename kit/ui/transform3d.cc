// Matrix arithmetic for three-dimensional layer transforms.
#include "kit/ui/transform3d.h"

#include <cmath>
#include <cstdio>

namespace kit {

namespace {

using Matrix = double[4][4];

void toArray(const Transform3D& t, Matrix m) {
  const double v[16] = {t.m11, t.m12, t.m13, t.m14, t.m21, t.m22, t.m23, t.m24,
                        t.m31, t.m32, t.m33, t.m34, t.m41, t.m42, t.m43, t.m44};
  for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = v[i];
}

Transform3D fromArray(const Matrix m) {
  return {m[0][0], m[0][1], m[0][2], m[0][3], m[1][0], m[1][1], m[1][2], m[1][3],
          m[2][0], m[2][1], m[2][2], m[2][3], m[3][0], m[3][1], m[3][2], m[3][3]};
}

}  // namespace

Transform3D Transform3D::makeTranslation(double tx, double ty, double tz) {
  Transform3D t;
  t.m41 = tx;
  t.m42 = ty;
  t.m43 = tz;
  return t;
}

Transform3D Transform3D::makeScale(double sx, double sy, double sz) {
  Transform3D t;
  t.m11 = sx;
  t.m22 = sy;
  t.m33 = sz;
  return t;
}

Transform3D Transform3D::makeRotation(double angle, double x, double y, double z) {
  const double length = std::sqrt(x * x + y * y + z * z);
  if (length == 0) return identity();
  x /= length;
  y /= length;
  z /= length;
  const double c = std::cos(angle), s = std::sin(angle), k = 1 - c;
  Transform3D t;
  t.m11 = x * x * k + c;
  t.m12 = x * y * k + z * s;
  t.m13 = x * z * k - y * s;
  t.m21 = y * x * k - z * s;
  t.m22 = y * y * k + c;
  t.m23 = y * z * k + x * s;
  t.m31 = z * x * k + y * s;
  t.m32 = z * y * k - x * s;
  t.m33 = z * z * k + c;
  return t;
}

Transform3D Transform3D::fromAffine(const AffineTransform& a) {
  Transform3D t;
  t.m11 = a.a;
  t.m12 = a.b;
  t.m21 = a.c;
  t.m22 = a.d;
  t.m41 = a.tx;
  t.m42 = a.ty;
  return t;
}

bool Transform3D::isAffine() const {
  return m13 == 0 && m14 == 0 && m23 == 0 && m24 == 0 && m31 == 0 && m32 == 0 && m33 == 1 && m34 == 0 &&
         m43 == 0 && m44 == 1;
}

AffineTransform Transform3D::affine() const { return {m11, m12, m21, m22, m41, m42}; }

Transform3D Transform3D::concat(const Transform3D& other) const {
  Matrix a, b, r;
  toArray(*this, a);
  toArray(other, b);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[i][k] * b[k][j];
      r[i][j] = sum;
    }
  return fromArray(r);
}

Transform3D Transform3D::translated(double tx, double ty, double tz) const {
  return makeTranslation(tx, ty, tz).concat(*this);
}

Transform3D Transform3D::scaled(double sx, double sy, double sz) const {
  return makeScale(sx, sy, sz).concat(*this);
}

Transform3D Transform3D::rotated(double angle, double x, double y, double z) const {
  return makeRotation(angle, x, y, z).concat(*this);
}

Transform3D Transform3D::inverted() const {
  // Gauss-Jordan elimination with partial pivoting; a singular matrix is
  // returned unchanged, as the platform does.
  Matrix a, inv;
  toArray(*this, a);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) inv[i][j] = i == j ? 1 : 0;
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (std::fabs(a[pivot][col]) < 1e-12) return *this;
    for (int j = 0; j < 4; ++j) {
      std::swap(a[col][j], a[pivot][j]);
      std::swap(inv[col][j], inv[pivot][j]);
    }
    const double d = a[col][col];
    for (int j = 0; j < 4; ++j) {
      a[col][j] /= d;
      inv[col][j] /= d;
    }
    for (int r = 0; r < 4; ++r) {
      if (r == col) continue;
      const double f = a[r][col];
      if (f == 0) continue;
      for (int j = 0; j < 4; ++j) {
        a[r][j] -= f * a[col][j];
        inv[r][j] -= f * inv[col][j];
      }
    }
  }
  return fromArray(inv);
}

Point Transform3D::apply(Point p) const {
  const double x = p.x * m11 + p.y * m21 + m41;
  const double y = p.x * m12 + p.y * m22 + m42;
  const double w = p.x * m14 + p.y * m24 + m44;
  if (w == 0 || w == 1) return {x, y};
  return {x / w, y / w};
}

std::string toString(const Transform3D& t) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "[%g %g %g %g; %g %g %g %g; %g %g %g %g; %g %g %g %g]", t.m11, t.m12, t.m13,
                t.m14, t.m21, t.m22, t.m23, t.m24, t.m31, t.m32, t.m33, t.m34, t.m41, t.m42, t.m43, t.m44);
  return buffer;
}

}  // namespace kit
