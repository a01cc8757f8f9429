// Plane geometry in double precision: points, sizes, rectangles and edge
// insets, with the platform's rectangle rules (the null rectangle, negative
// sizes standardized before use, integral rounding outwards).
#pragma once

#include <cmath>
#include <limits>
#include <string>

namespace kit {

struct Point {
  double x = 0;
  double y = 0;

  constexpr Point() = default;
  constexpr Point(double px, double py) : x(px), y(py) {}
  static constexpr Point zero() { return {}; }
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;

  constexpr Size() = default;
  constexpr Size(double w, double h) : width(w), height(h) {}
  static constexpr Size zero() { return {}; }
  bool operator==(const Size&) const = default;
};

struct Vector {
  double dx = 0;
  double dy = 0;
  bool operator==(const Vector&) const = default;
};

struct Rect {
  Point origin;
  Size size;

  constexpr Rect() = default;
  constexpr Rect(double x, double y, double w, double h) : origin(x, y), size(w, h) {}
  constexpr Rect(Point o, Size s) : origin(o), size(s) {}

  static constexpr Rect zero() { return {}; }
  // The rectangle that stands for "no rectangle" (an empty intersection).
  static constexpr Rect null() {
    return {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(), 0, 0};
  }
  // The rectangle that has no bounds.
  static constexpr Rect infinite() {
    constexpr double big = std::numeric_limits<double>::max();
    return {-big / 2, -big / 2, big, big};
  }

  double minX() const { return size.width < 0 ? origin.x + size.width : origin.x; }
  double maxX() const { return size.width < 0 ? origin.x : origin.x + size.width; }
  double midX() const { return origin.x + size.width / 2; }
  double minY() const { return size.height < 0 ? origin.y + size.height : origin.y; }
  double maxY() const { return size.height < 0 ? origin.y : origin.y + size.height; }
  double midY() const { return origin.y + size.height / 2; }
  double width() const { return std::fabs(size.width); }
  double height() const { return std::fabs(size.height); }

  bool isNull() const { return std::isinf(origin.x) && origin.x > 0 && std::isinf(origin.y) && origin.y > 0; }
  // Null, or zero width or height.
  bool isEmpty() const { return isNull() || size.width == 0 || size.height == 0; }
  bool isInfinite() const { return *this == infinite(); }

  // The same rectangle with non-negative width and height.
  Rect standardized() const;
  // The overlap, or the null rectangle when the two do not meet.
  Rect intersection(const Rect& other) const;
  // The smallest rectangle holding both; the null rectangle is ignored.
  Rect unionWith(const Rect& other) const;
  // Moves every edge inwards by dx / dy (outwards for negative values); a
  // rectangle that turns inside out becomes null.
  Rect insetBy(double dx, double dy) const;
  Rect offsetBy(double dx, double dy) const;
  // The smallest rectangle with whole-number edges that holds this one.
  Rect integral() const;
  bool contains(Point p) const;
  bool contains(const Rect& other) const;
  bool intersects(const Rect& other) const;

  bool operator==(const Rect&) const = default;
};

// Distances to move each edge inwards, as the platform orders them.
struct EdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;

  static constexpr EdgeInsets zero() { return {}; }
  bool operator==(const EdgeInsets&) const = default;
};

// The rectangle with its edges moved inwards by the insets (not standardized,
// as the platform does it).
Rect insetRect(const Rect& rect, const EdgeInsets& insets);

// Which corners of a rectangle a rounded path rounds, in the platform's
// top-left-origin sense.
enum RectCorner : unsigned {
  RectCornerTopLeft = 1u << 0,
  RectCornerTopRight = 1u << 1,
  RectCornerBottomLeft = 1u << 2,
  RectCornerBottomRight = 1u << 3,
  RectCornerAllCorners = ~0u,
};

// Texts as the platform prints them: "{1, 2}", "{{0, 0}, {10, 20}}".
std::string toString(Point p);
std::string toString(Size s);
std::string toString(const Rect& r);
std::string toString(const EdgeInsets& e);

}  // namespace kit
