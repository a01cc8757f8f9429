// Paths: sequences of move, line, curve and close elements in user space,
// with builders for rectangles, ellipses, arcs and rounded rectangles
// (including rounded rectangles that round only some corners). Arcs are
// stored as cubic curves, a quarter turn or less each.
#pragma once

#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/graphics/affine_transform.h"
#include "kit/graphics/geometry.h"

namespace kit {

class Path : public Object {
  KIT_OBJECT(Path)

 public:
  enum class ElementType { MoveTo, LineTo, QuadCurveTo, CurveTo, Close };
  struct Element {
    ElementType type;
    Point points[3];  // end point last: [p] for move/line, [c, p] quad, [c1, c2, p] cubic
  };

  static Ref<Path> create() { return make<Path>(); }
  static Ref<Path> withRect(const Rect& rect);
  static Ref<Path> withEllipse(const Rect& rect);
  // Every corner rounded with the same radius (clamped to half the sides).
  static Ref<Path> withRoundedRect(const Rect& rect, double radius);
  // The corners in `corners` (top = the rectangle's minimum y, as in a
  // top-left-origin view) rounded with radii.width; the height of the radii
  // is ignored, as the platform's rounded-corner path does.
  static Ref<Path> withRoundedRect(const Rect& rect, unsigned corners, Size radii);
  // An arc in a top-left-origin view: clockwise on screen means increasing
  // angle there.
  static Ref<Path> withArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);

  void moveTo(Point p);
  void lineTo(Point p);
  void quadCurveTo(Point control, Point p);
  void curveTo(Point control1, Point control2, Point p);
  void close();
  void addRect(const Rect& rect);
  void addEllipse(const Rect& rect);
  // An arc of a circle. `clockwise` is in the y-up sense (decreasing angle),
  // as the platform's path arcs are; a line joins the current point to the
  // arc's start.
  void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);
  void addPath(const Path& other, const AffineTransform& transform = AffineTransform::identity());

  bool isEmpty() const { return elements_.empty(); }
  bool hasCurrentPoint() const { return hasCurrent_; }
  Point currentPoint() const { return current_; }
  const std::vector<Element>& elements() const { return elements_; }
  // The box around all points, control points included; null when empty.
  Rect boundingBox() const;
  // Whether a point lies inside under the non-zero or the even-odd rule.
  bool contains(Point p, bool evenOdd = false) const;
  Ref<Path> transformed(const AffineTransform& t) const;
  Id copy() const override;

 private:
  std::vector<Element> elements_;
  Point current_;
  Point subpathStart_;
  bool hasCurrent_ = false;
};

}  // namespace kit
