// Drawing contexts over bitmaps, backed by Cairo image surfaces.
//
// A bitmap context has the platform's lower-left origin: y grows upwards and
// (0, 0) is the bottom-left pixel corner. The context keeps its own graphics
// state stack (fill and stroke colours, alpha, blend mode, mask clips) beside
// Cairo's. Layouts Cairo does not hold natively (RGBA orders, gray, CMYK,
// 16-bit) are drawn in Cairo's 32-bit layout and converted when the pixels
// are read; combinations the platform refuses give nil.
#pragma once

#include <memory>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/graphics/affine_transform.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/color.h"
#include "kit/graphics/geometry.h"
#include "kit/graphics/gradient.h"
#include "kit/graphics/path.h"
#include "kit/graphics/pixel_format.h"

namespace kit {

// The platform's blend modes, by number.
enum class BlendMode : int {
  Normal = 0, Multiply, Screen, Overlay, Darken, Lighten, ColorDodge, ColorBurn, SoftLight, HardLight,
  Difference, Exclusion, Hue, Saturation, Color, Luminosity,
  Clear = 16, Copy, SourceIn, SourceOut, SourceAtop, DestinationOver, DestinationIn, DestinationOut,
  DestinationAtop, XOR, PlusDarker, PlusLighter,
};

enum class LineCap : int { Butt = 0, Round, Square };
enum class LineJoin : int { Miter = 0, Round, Bevel };
enum class PathDrawingMode : int { Fill = 0, EOFill, Stroke, FillStroke, EOFillStroke };
enum class InterpolationQuality : int { Default = 0, None, Low, High, Medium };

enum GradientDrawingOptions : unsigned {
  GradientDrawsBeforeStartLocation = 1u << 0,
  GradientDrawsAfterEndLocation = 1u << 1,
};

class GraphicsContext : public Object {
  KIT_OBJECT(GraphicsContext)

 public:
  // A context drawing into a new zeroed bitmap. bytesPerRow 0 lets kit pick.
  // Nil for a zero or oversized bitmap or a layout the platform refuses.
  static Ref<GraphicsContext> createBitmap(size_t width, size_t height, size_t bitsPerComponent,
                                           size_t bytesPerRow, Ref<ColorSpace> space, BitmapInfo info);
  ~GraphicsContext() override;

  // ---- The bitmap ----
  size_t width() const { return width_; }
  size_t height() const { return height_; }
  const PixelFormat& format() const { return format_; }
  size_t bitsPerComponent() const { return format_.bitsPerComponent; }
  size_t bitsPerPixel() const { return format_.bitsPerPixel; }
  size_t bytesPerRow() const { return bytesPerRow_; }
  const Ref<ColorSpace>& colorSpace() const { return format_.colorSpace; }
  BitmapInfo bitmapInfo() const { return format_.bitmapInfo; }
  AlphaInfo alphaInfo() const { return format_.alpha(); }
  // The pixels in the context's own layout, top row first.
  std::vector<uint8_t> data() const;
  // A snapshot of the pixels as an image, in the context's layout.
  Ref<Bitmap> makeImage() const;

  // ---- State ----
  void saveGState();
  void restoreGState();
  void translateCTM(double tx, double ty);
  void scaleCTM(double sx, double sy);
  void rotateCTM(double angle);
  void concatCTM(const AffineTransform& t);
  // User space to the context's lower-left-origin pixel space.
  AffineTransform ctm() const;
  void setFillColor(Ref<Color> color);
  void setStrokeColor(Ref<Color> color);
  void setFillColor(double r, double g, double b, double a) { setFillColor(Color::rgba(r, g, b, a)); }
  void setStrokeColor(double r, double g, double b, double a) { setStrokeColor(Color::rgba(r, g, b, a)); }
  void setLineWidth(double width);
  void setLineCap(LineCap cap);
  void setLineJoin(LineJoin join);
  void setMiterLimit(double limit);
  void setLineDash(double phase, const std::vector<double>& lengths);
  // A factor applied to everything drawn.
  void setAlpha(double alpha);
  void setBlendMode(BlendMode mode);
  BlendMode blendMode() const;
  void setShouldAntialias(bool on);
  void setInterpolationQuality(InterpolationQuality quality);

  // ---- The current path (points are transformed by the CTM when added) ----
  void beginPath();
  void moveTo(double x, double y);
  void addLineTo(double x, double y);
  void addCurveTo(double c1x, double c1y, double c2x, double c2y, double x, double y);
  void addQuadCurveTo(double cx, double cy, double x, double y);
  // `clockwise` in the y-up sense, as the platform's context arcs.
  void addArc(double x, double y, double radius, double startAngle, double endAngle, bool clockwise);
  void addRect(const Rect& rect);
  void addEllipseInRect(const Rect& rect);
  void addPath(const Path& path);
  void closePath();
  bool isPathEmpty() const;

  // ---- Painting ----
  void fillPath();
  void eoFillPath();
  void strokePath();
  void drawPath(PathDrawingMode mode);
  void fillRect(const Rect& rect);
  void strokeRect(const Rect& rect);
  void strokeRectWithWidth(const Rect& rect, double width);
  // Makes the rectangle transparent, whatever the blend mode.
  void clearRect(const Rect& rect);
  void fillEllipseInRect(const Rect& rect);
  void strokeEllipseInRect(const Rect& rect);
  // Draws the bitmap upright (its top row at the rectangle's maximum y).
  void drawImage(const Rect& rect, const Bitmap& image);
  void drawLinearGradient(const Gradient& gradient, Point start, Point end, unsigned options);
  void drawRadialGradient(const Gradient& gradient, Point startCenter, double startRadius, Point endCenter,
                          double endRadius, unsigned options);

  // ---- Clipping ----
  void clip();
  void eoClip();
  void clipToRect(const Rect& rect);
  // Clips to the mask's coverage placed in rect: its alpha when it has one,
  // otherwise its gray level (white paints, black hides).
  void clipToMask(const Rect& rect, const Bitmap& mask);
  Rect clipBoundingBox() const;

  void flush();

  // Use createBitmap; public for make.
  struct Impl;
  explicit GraphicsContext(std::unique_ptr<Impl> impl, size_t width, size_t height, const PixelFormat& format,
                           size_t bytesPerRow);

 private:
  template <class Draw>
  void paint(Draw&& draw);
  void fillWithRule(bool evenOdd, bool keepPath);
  void strokeCurrent(bool keepPath);

  std::unique_ptr<Impl> impl_;
  size_t width_, height_;
  PixelFormat format_;
  size_t bytesPerRow_;
};

}  // namespace kit
