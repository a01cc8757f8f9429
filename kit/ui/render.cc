// Drawing layer trees with Cairo.
//
// Each layer is drawn in its superlayer's space: background, contents image,
// its own content (the view's or the layer's drawing), its sublayers, then
// its border. A layer that is translucent or masked is composited as one
// piece, and that is where the time of a picture goes, so the renderer keeps
// it small:
// - a group (an offscreen surface) is clipped to the device-space box of
//   what the layer and its sublayers can draw, so a translucent 40x40 view
//   costs a 40x40 surface, not one of the whole picture;
// - a layer that draws one thing and has no sublayers needs no group at
//   all: its opacity goes into that one paint;
// - content that only changes when the layer is marked for display (labels'
//   text, see LayerDelegate::layerContent) is kept as pixels at the scale
//   and sub-pixel position it was drawn at, and copied into later pictures.
// The reference mode (renderReference) draws every translucent or masked
// layer through a group of the picture's size and draws every content anew:
// the tests hold the shortcuts against it.
#include "kit/ui/render.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <typeinfo>

#include "kit/graphics/image.h"
#include "kit/graphics/image_codecs.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/pixel_buffer.h"
#include "kit/ui/application.h"
#include "kit/ui/canvas.h"
#include "kit/ui/canvas_drawing.h"
#include "kit/ui/gradient_layer.h"
#include "kit/ui/render_reference.h"
#include "kit/ui/replicator_layer.h"
#include "kit/ui/screen.h"
#include "kit/ui/shape_layer.h"
#include "kit/ui/view.h"
#include "kit/ui/window.h"

namespace kit {

namespace {

// What a layer shows at the clock's time (`delay` seconds behind for
// replicated instances): its model values with running animations applied.
struct Geometry {
  Point position;
  Rect bounds;
  Transform3D transform;
  double opacity = 1;
};

Geometry geometryOf(const Layer& layer, double delay, bool root) {
  Geometry g;
  if (!layer.hasAnimations()) {
    g.position = layer.position();
    g.bounds = layer.bounds();
    g.transform = layer.transform();
    g.opacity = root ? 1.0 : layer.opacity();
    return g;
  }
  AnimationValue positionValue = layer.presentationValue("position", delay);
  AnimationValue boundsValue = layer.presentationValue("bounds", delay);
  g.position = std::holds_alternative<Point>(positionValue) ? std::get<Point>(positionValue) : layer.position();
  g.bounds = std::holds_alternative<Rect>(boundsValue) ? std::get<Rect>(boundsValue) : layer.bounds();
  g.transform = layer.presentationTransform(delay);
  g.opacity = root ? 1.0 : layer.presentationDouble("opacity", delay);
  return g;
}

double doubleValue(const Layer& layer, const char* key, double model, double delay) {
  return layer.hasAnimations() ? layer.presentationDouble(key, delay) : model;
}

Ref<Color> colorValue(const Layer& layer, const char* key, const Ref<Color>& model, double delay) {
  if (!layer.hasAnimations()) return model;
  AnimationValue v = layer.presentationValue(key, delay);
  if (auto c = std::get_if<Ref<Color>>(&v)) return *c;
  return nullptr;
}

// The plane part of a layer's transform as a Cairo matrix (perspective is
// not drawn); a collapsed transform becomes a tiny scale, which draws
// nothing and keeps Cairo's matrix invertible.
cairo_matrix_t planeMatrix(const Transform3D& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.m11, t.m12, t.m21, t.m22, t.m41, t.m42);
  if (std::fabs(m.xx * m.yy - m.xy * m.yx) < 1e-12) cairo_matrix_init_scale(&m, 1e-6, 1e-6);
  return m;
}

// Moves the context from a superlayer's bounds space into the layer's.
void enterLayer(cairo_t* cr, const Layer& layer, const Geometry& g) {
  cairo_translate(cr, g.position.x, g.position.y);
  if (!g.transform.isIdentity()) {
    const cairo_matrix_t m = planeMatrix(g.transform);
    cairo_transform(cr, &m);
  }
  cairo_translate(cr, -(g.bounds.origin.x + layer.anchorPoint().x * g.bounds.size.width),
                  -(g.bounds.origin.y + layer.anchorPoint().y * g.bounds.size.height));
}

// The same move as a matrix from the layer's bounds space to its
// superlayer's.
cairo_matrix_t placementOf(const Layer& layer, const Geometry& g) {
  cairo_matrix_t m;
  cairo_matrix_init_translate(&m, -(g.bounds.origin.x + layer.anchorPoint().x * g.bounds.size.width),
                              -(g.bounds.origin.y + layer.anchorPoint().y * g.bounds.size.height));
  if (!g.transform.isIdentity()) {
    const cairo_matrix_t t = planeMatrix(g.transform);
    cairo_matrix_multiply(&m, &m, &t);
  }
  cairo_matrix_t move;
  cairo_matrix_init_translate(&move, g.position.x, g.position.y);
  cairo_matrix_multiply(&m, &m, &move);
  return m;
}

// The box of a rectangle mapped through a matrix.
Rect mappedBox(const cairo_matrix_t& m, const Rect& r) {
  const double xs[2] = {r.minX(), r.maxX()}, ys[2] = {r.minY(), r.maxY()};
  double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
  for (double x : xs)
    for (double y : ys) {
      double px = x, py = y;
      cairo_matrix_transform_point(&m, &px, &py);
      minX = std::min(minX, px);
      maxX = std::max(maxX, px);
      minY = std::min(minY, py);
      maxY = std::max(maxY, py);
    }
  return {minX, minY, maxX - minX, maxY - minY};
}

Rect unite(const Rect& a, const Rect& b) {
  if (a.isEmpty()) return b;
  if (b.isEmpty()) return a;
  return a.unionWith(b);
}

// Where the contents image goes in the bounds.
Rect contentsPlacement(const Layer& layer, const Bitmap& contents, const Rect& bounds) {
  const double s = layer.contentsScale();
  const Rect unit = layer.contentsRect();
  const Size size{contents.width() * unit.size.width / s, contents.height() * unit.size.height / s};
  return rectForContentMode(contentModeForGravity(layer.contentsGravity()), size, bounds);
}

// The part of a layer's bounds space that the layer's own drawing can
// cover; nothing when it is not known (a layer class whose drawing the
// renderer cannot see into).
std::optional<Rect> ownDrawingExtent(Layer& layer, const Rect& bounds, double delay) {
  Rect extent = bounds;
  if (const Ref<Bitmap>& contents = layer.contents()) {
    // Outside rounded corners the image is clipped; with square ones it may
    // pass the bounds.
    if (doubleValue(layer, "cornerRadius", layer.cornerRadius(), delay) <= 0)
      extent = unite(extent, contentsPlacement(layer, *contents, bounds));
  }
  // A view's drawing is clipped to the bounds, and so is a plain layer's
  // drawInContext picture.
  if (layer.delegate()) return extent;
  const std::type_info& type = typeid(layer);
  if (type == typeid(Layer) || type == typeid(GradientLayer) || type == typeid(ReplicatorLayer)) return extent;
  if (auto* shape = dynamic_cast<ShapeLayer*>(&layer); shape && type == typeid(ShapeLayer)) {
    AnimationValue pathValue = shape->presentationValue("path", delay);
    Ref<Path> path = std::holds_alternative<Ref<Path>>(pathValue) ? std::get<Ref<Path>>(pathValue) : shape->path();
    if (!path || path->isEmpty()) return extent;
    // Strokes reach half their width out, and miter joins up to the limit.
    const double width = std::max(shape->lineWidth(), shape->presentationDouble("lineWidth", delay));
    const double reach = width / 2 * std::max({shape->miterLimit(), M_SQRT2, 1.0}) + 1;
    return unite(extent, path->boundingBox().insetBy(-reach, -reach));
  }
  return std::nullopt;
}

std::optional<Rect> drawnExtent(Layer& layer, const Geometry& g, double delay);

// The part of a layer's bounds space that its sublayers can draw on.
std::optional<Rect> sublayersExtent(Layer& layer, double delay) {
  Rect extent = Rect::null();
  for (const auto& sub : layer.sublayers()) {
    if (sub->isHidden()) continue;
    const Geometry sg = geometryOf(*sub, delay, false);
    if (sg.opacity <= 0) continue;
    std::optional<Rect> inner = drawnExtent(*sub, sg, delay);
    if (!inner) return std::nullopt;
    if (inner->isEmpty()) continue;
    extent = unite(extent, mappedBox(placementOf(*sub, sg), *inner));
  }
  return extent;
}

// The part of a layer's bounds space that the layer and its sublayers can
// draw on; nothing when it is not known.
std::optional<Rect> drawnExtent(Layer& layer, const Geometry& g, double delay) {
  std::optional<Rect> extent = ownDrawingExtent(layer, g.bounds, delay);
  if (!extent) return std::nullopt;
  // Everything but the border (which is inside the bounds) is clipped.
  if (layer.masksToBounds()) return g.bounds;
  if (auto* replicator = dynamic_cast<ReplicatorLayer*>(&layer); replicator && replicator->instanceCount() > 1) {
    return std::nullopt;  // copies spread by the instance transform
  }
  std::optional<Rect> subs = sublayersExtent(layer, delay);
  if (!subs) return std::nullopt;
  return unite(*extent, *subs);
}

// Clips the context to the device pixels that `extent` (in user space)
// touches, so that a group pushed next is no larger. False when nothing is
// left to draw on.
bool clipToDeviceBox(cairo_t* cr, const Rect& extent) {
  if (extent.isEmpty()) return false;
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  const Rect box = mappedBox(m, extent);
  double x0, y0, x1, y1;
  cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
  // The clip's extents come back in user space; take them to device space.
  const Rect clip = mappedBox(m, {x0, y0, x1 - x0, y1 - y0});
  const double left = std::floor(std::max(box.minX(), clip.minX()));
  const double top = std::floor(std::max(box.minY(), clip.minY()));
  const double right = std::ceil(std::min(box.maxX(), clip.maxX()));
  const double bottom = std::ceil(std::min(box.maxY(), clip.maxY()));
  if (!(right > left && bottom > top)) return false;
  cairo_identity_matrix(cr);
  cairo_rectangle(cr, left, top, right - left, bottom - top);
  cairo_clip(cr);
  cairo_set_matrix(cr, &m);
  return true;
}

// Blurs, in place, what the picture already holds behind a layer: within
// `bounds` (the context's user space, rounded by `radius`, inside the clips
// in force), a blur of standard deviation `sigma` points. Three box blurs
// make it nearly Gaussian; they run on a copy shrunk by a whole factor (a
// plain mean of each block) so that the blur is some four of its pixels,
// which keeps a full-screen backdrop to a few milliseconds, and the result
// is scaled back smoothly.
void blurBackdrop(cairo_t* cr, const Rect& bounds, double radius, double sigma) {
  cairo_surface_t* target = cairo_get_group_target(cr);
  if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) return;
  const cairo_format_t format = cairo_image_surface_get_format(target);
  if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return;
  cairo_surface_flush(target);
  double offsetX = 0, offsetY = 0;
  cairo_surface_get_device_offset(target, &offsetX, &offsetY);
  const int tw = cairo_image_surface_get_width(target), th = cairo_image_surface_get_height(target);
  const int stride = cairo_image_surface_get_stride(target);
  uint8_t* data = cairo_image_surface_get_data(target);
  if (!data || tw <= 0 || th <= 0) return;

  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  const double sigmaPixels = sigma * std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
  if (!(sigmaPixels >= 0.5)) return;
  // The target's pixels the bounds cover, within the clip.
  double x0, y0, x1, y1;
  cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
  const Rect box = mappedBox(m, bounds), clip = mappedBox(m, {x0, y0, x1 - x0, y1 - y0});
  const long left = std::max<long>(0, std::lround(std::floor(std::max(box.minX(), clip.minX()) + offsetX)));
  const long top = std::max<long>(0, std::lround(std::floor(std::max(box.minY(), clip.minY()) + offsetY)));
  const long right = std::min<long>(tw, std::lround(std::ceil(std::min(box.maxX(), clip.maxX()) + offsetX)));
  const long bottom = std::min<long>(th, std::lround(std::ceil(std::min(box.maxY(), clip.maxY()) + offsetY)));
  if (right <= left || bottom <= top) return;

  const long factor = std::clamp<long>(std::lround(std::floor(sigmaPixels / 4)), 1, 16);
  const double small = sigmaPixels / static_cast<double>(factor);
  // Three boxes of side 2r + 1 have the variance r (r + 1).
  const long r = std::max<long>(1, std::lround(std::sqrt(small * small + 0.25) - 0.5));
  // What the blur reads: the covered pixels and as far round them as the
  // three boxes reach, within the picture.
  const long reach = 3 * r * factor;
  const long sx = std::max<long>(0, left - reach), sy = std::max<long>(0, top - reach);
  const long sw = std::min<long>(tw, right + reach) - sx, sh = std::min<long>(th, bottom + reach) - sy;
  const size_t w = static_cast<size_t>((sw + factor - 1) / factor), h = static_cast<size_t>((sh + factor - 1) / factor);

  PixelBuffer shrunk, blurred;
  if (initBuffer(shrunk, h, w, 32) != PixelNoError || initBuffer(blurred, h, w, 32) != PixelNoError) return;
  const bool opaque = format == CAIRO_FORMAT_RGB24;
  // Each band of `factor` rows is summed byte by byte down its columns (a
  // loop the compiler makes wide), then across each block of columns.
  const size_t bytes = static_cast<size_t>(sw) * 4;
  std::vector<uint32_t> columns(bytes);
  for (size_t y = 0; y < h; ++y) {
    std::fill(columns.begin(), columns.end(), 0);
    const long rowFrom = sy + static_cast<long>(y) * factor, rowTo = std::min(sy + sh, rowFrom + factor);
    for (long ty = rowFrom; ty < rowTo; ++ty) {
      const uint8_t* row = data + ty * stride + sx * 4;
      for (size_t i = 0; i < bytes; ++i) columns[i] += row[i];
    }
    uint8_t* out = shrunk.row(y);
    for (size_t x = 0; x < w; ++x) {
      const long from = static_cast<long>(x) * factor, to = std::min(sw, from + factor);
      uint32_t sum[4] = {0, 0, 0, 0};
      for (long px = from; px < to; ++px) {
        for (int c = 0; c < 4; ++c) sum[c] += columns[static_cast<size_t>(px) * 4 + c];
      }
      const uint32_t count = static_cast<uint32_t>((to - from) * (rowTo - rowFrom));
      for (int c = 0; c < 4; ++c) out[x * 4 + c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
      // An opaque target's fourth byte is undefined: the copy is opaque.
      if (opaque) reinterpret_cast<uint32_t*>(out)[x] |= 0xFF000000u;
    }
  }
  const size_t side = static_cast<size_t>(2 * r + 1);
  if (boxConvolveARGB8888(shrunk, blurred, side, side, nullptr, PixelEdgeExtend) != PixelNoError ||
      boxConvolveARGB8888(blurred, shrunk, side, side, nullptr, PixelEdgeExtend) != PixelNoError ||
      boxConvolveARGB8888(shrunk, blurred, side, side, nullptr, PixelEdgeExtend) != PixelNoError) {
    return;
  }

  cairo_surface_t* source = cairo_image_surface_create_for_data(
      blurred.bytes.data(), CAIRO_FORMAT_ARGB32, static_cast<int>(w), static_cast<int>(h),
      static_cast<int>(blurred.rowBytes));
  cairo_save(cr);
  Canvas canvas(cr, 1);
  addRoundedRect(canvas, bounds, radius);
  cairo_clip(cr);
  cairo_identity_matrix(cr);
  cairo_rectangle(cr, static_cast<double>(left) - offsetX, static_cast<double>(top) - offsetY,
                  static_cast<double>(right - left), static_cast<double>(bottom - top));
  cairo_clip(cr);
  cairo_translate(cr, static_cast<double>(sx) - offsetX, static_cast<double>(sy) - offsetY);
  cairo_scale(cr, static_cast<double>(factor), static_cast<double>(factor));
  cairo_set_source_surface(cr, source, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), factor > 1 ? CAIRO_FILTER_BILINEAR : CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(source);
}

// A cairo surface shared with the layer that keeps it.
std::shared_ptr<_cairo_surface> keepSurface(cairo_surface_t* surface) {
  return std::shared_ptr<_cairo_surface>(surface, cairo_surface_destroy);
}

class Renderer {
 public:
  Renderer(cairo_t* cr, double scale, bool reference) : cr_(cr), scale_(scale), reference_(reference) {}

  // Draws a layer in its superlayer's space; the root of a picture is
  // drawn in its own bounds space, whatever its position, transform,
  // opacity or hidden flag.
  void drawLayer(Layer& layer, double delay, bool root = false);

 private:
  // The layer's own content, when the layer is translucent: how it is to be
  // drawn and whether it draws one thing.
  enum class Content { None, OnePaint, Unknown };

  void drawSublayers(Layer& layer, double delay);
  Content prepareContent(Layer& layer, const Rect& bounds);
  void drawContent(Layer& layer, const Rect& bounds, double alpha);
  // Draws a delegate's retained content from its kept pixels (drawing them
  // first when they are out of date); false when the context's matrix does
  // not allow it (the content is then drawn directly).
  bool refreshRetained(Layer& layer, const Rect& bounds);
  void paintRetained(Layer& layer, double alpha);
  void prepareLayerPicture(Layer& layer);

  cairo_t* cr_;
  double scale_;
  bool reference_;
};

bool Renderer::refreshRetained(Layer& layer, const Rect& bounds) {
  cairo_matrix_t m;
  cairo_get_matrix(cr_, &m);
  // Kept pixels are copied one to one: only for a plain scale to the
  // picture's pixels and a move.
  if (m.xy != 0 || m.yx != 0 || std::fabs(m.xx - scale_) > 1e-9 || std::fabs(m.yy - scale_) > 1e-9) return false;
  double dx = bounds.origin.x, dy = bounds.origin.y;
  cairo_matrix_transform_point(&m, &dx, &dy);
  const double px = std::floor(dx), py = std::floor(dy);
  const Point phase{dx - px, dy - py};
  Layer::RetainedContent& kept = layer.retainedContent();
  kept.pixelOrigin = {px, py};
  auto same = [](double a, double b) { return std::fabs(a - b) < 1e-6; };
  if (kept.valid && !layer.needsDisplay() && kept.scale == scale_ && kept.bounds == bounds &&
      kept.modelBounds == layer.bounds() && same(kept.phase.x, phase.x) && same(kept.phase.y, phase.y)) {
    return true;
  }
  kept.surface.reset();
  kept.valid = true;
  kept.scale = scale_;
  kept.bounds = bounds;
  kept.modelBounds = layer.bounds();
  kept.phase = phase;
  const int w = static_cast<int>(std::ceil(phase.x + bounds.size.width * scale_));
  const int h = static_cast<int>(std::ceil(phase.y + bounds.size.height * scale_));
  if (w > 0 && h > 0 && w <= 32767 && h <= 32767) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    // The same sub-pixel position as in the picture, so the pixels are the
    // ones drawing in place would give.
    cairo_translate(cr, phase.x, phase.y);
    cairo_scale(cr, scale_, scale_);
    cairo_translate(cr, -bounds.origin.x, -bounds.origin.y);
    cairo_rectangle(cr, bounds.origin.x, bounds.origin.y, bounds.size.width, bounds.size.height);
    cairo_clip(cr);
    Canvas canvas(cr, scale_);
    const bool drew = layer.delegate()->drawLayerContent(layer, canvas);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (drew) kept.surface = keepSurface(surface);
    else cairo_surface_destroy(surface);
  }
  layer.clearNeedsDisplay();
  return true;
}

void Renderer::paintRetained(Layer& layer, double alpha) {
  const Layer::RetainedContent& kept = layer.retainedContent();
  if (!kept.surface) return;
  cairo_surface_t* surface = kept.surface.get();
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  cairo_set_source_surface(cr_, surface, kept.pixelOrigin.x, kept.pixelOrigin.y);
  cairo_rectangle(cr_, kept.pixelOrigin.x, kept.pixelOrigin.y, cairo_image_surface_get_width(surface),
                  cairo_image_surface_get_height(surface));
  if (alpha >= 1) {
    cairo_fill(cr_);
  } else {
    cairo_clip(cr_);
    cairo_paint_with_alpha(cr_, alpha);
  }
  cairo_restore(cr_);
}

// A plain layer's drawInContext picture, drawn when it was marked for
// display (or its size or scale changed) and kept until then.
void Renderer::prepareLayerPicture(Layer& layer) {
  auto& cache = layer.drawnContents();
  const Size size = layer.bounds().size;
  if (!layer.needsDisplay() && !(cache.bitmap && (cache.scale != scale_ || cache.size != size))) return;
  layer.clearNeedsDisplay();
  cache = {};
  cache.scale = scale_;
  cache.size = size;
  if (beginImageContext(size, false, scale_)) {
    if (auto ctx = currentContext()) layer.drawInContext(*ctx);
    if (auto image = imageFromCurrentImageContext()) cache.bitmap = image->bitmap();
    endImageContext();
  }
}

Renderer::Content Renderer::prepareContent(Layer& layer, const Rect& bounds) {
  if (LayerDelegate* delegate = layer.delegate()) {
    switch (delegate->layerContent(layer)) {
      case LayerContent::None: return Content::None;
      case LayerContent::Retained:
        if (!refreshRetained(layer, bounds)) return Content::Unknown;
        return layer.retainedContent().surface ? Content::OnePaint : Content::None;
      case LayerContent::Live: return Content::Unknown;
    }
  }
  if (typeid(layer) != typeid(Layer)) return Content::Unknown;
  prepareLayerPicture(layer);
  return layer.drawnContents().bitmap ? Content::OnePaint : Content::None;
}

void Renderer::drawContent(Layer& layer, const Rect& bounds, double alpha) {
  Canvas canvas(cr_, scale_);
  if (LayerDelegate* delegate = layer.delegate()) {
    const LayerContent kind = reference_ ? LayerContent::Live : delegate->layerContent(layer);
    if (kind == LayerContent::None) return;
    if (kind == LayerContent::Retained && refreshRetained(layer, bounds)) {
      paintRetained(layer, alpha);
      return;
    }
    // A view's own content is drawn within its bounds, as in a backing
    // store.
    cairo_save(cr_);
    cairo_rectangle(cr_, bounds.origin.x, bounds.origin.y, bounds.size.width, bounds.size.height);
    cairo_clip(cr_);
    layer.drawOwnContent(canvas);
    cairo_restore(cr_);
    return;
  }
  if (layer.needsDisplay() || layer.drawnContents().bitmap) {
    prepareLayerPicture(layer);
    if (const Ref<Bitmap>& bitmap = layer.drawnContents().bitmap)
      drawBitmap(canvas, *bitmap, {layer.bounds().origin, layer.drawnContents().size}, alpha);
  }
  cairo_save(cr_);
  layer.drawOwnContent(canvas);
  cairo_restore(cr_);
}

void Renderer::drawSublayers(Layer& layer, double delay) {
  std::vector<Layer*> order;
  order.reserve(layer.sublayers().size());
  for (const auto& sub : layer.sublayers()) order.push_back(sub.get());
  std::stable_sort(order.begin(), order.end(), [](Layer* a, Layer* b) { return a->zPosition() < b->zPosition(); });
  auto* replicator = dynamic_cast<ReplicatorLayer*>(&layer);
  if (!replicator || replicator->instanceCount() <= 1) {
    for (Layer* sub : order) drawLayer(*sub, delay);
    return;
  }
  // Each instance is drawn with the instance transform applied once more
  // about the replicator's anchor point, and runs its animations later by
  // the instance delay.
  const Rect& b = layer.bounds();
  const Point anchor{b.origin.x + layer.anchorPoint().x * b.size.width,
                     b.origin.y + layer.anchorPoint().y * b.size.height};
  Transform3D t;
  double alpha = 1;
  for (long i = 0; i < replicator->instanceCount(); ++i) {
    const double instanceDelay = delay + replicator->instanceDelay() * static_cast<double>(i);
    cairo_save(cr_);
    cairo_translate(cr_, anchor.x, anchor.y);
    if (!t.isIdentity()) {
      const cairo_matrix_t m = planeMatrix(t);
      cairo_transform(cr_, &m);
    }
    cairo_translate(cr_, -anchor.x, -anchor.y);
    bool visible = true;
    if (!reference_) {
      if (std::optional<Rect> extent = sublayersExtent(layer, instanceDelay)) visible = clipToDeviceBox(cr_, *extent);
    }
    if (visible) {
      cairo_push_group(cr_);
      for (Layer* sub : order) drawLayer(*sub, instanceDelay);
      cairo_pop_group_to_source(cr_);
      cairo_reset_clip(cr_);  // drawn through the clips already
      cairo_paint_with_alpha(cr_, std::clamp(alpha, 0.0, 1.0));
    }
    cairo_restore(cr_);
    t = t.concat(replicator->instanceTransform());
    alpha += replicator->instanceAlphaOffset();
  }
}

void Renderer::drawLayer(Layer& layer, double delay, bool root) {
  if (layer.isHidden() && !root) return;
  const Geometry g = geometryOf(layer, delay, root);
  if (g.opacity <= 0) return;
  const Rect& bounds = g.bounds;
  const double radius = doubleValue(layer, "cornerRadius", layer.cornerRadius(), delay);
  const double borderWidth = doubleValue(layer, "borderWidth", layer.borderWidth(), delay);
  const Ref<Color> background = colorValue(layer, "backgroundColor", layer.backgroundColor(), delay);
  const Ref<Color> border = borderWidth > 0 ? colorValue(layer, "borderColor", layer.borderColor(), delay) : nullptr;

  cairo_save(cr_);
  if (!root) enterLayer(cr_, layer, g);
  else cairo_translate(cr_, -bounds.origin.x, -bounds.origin.y);

  // A backdrop blur works on what is drawn behind the layer, before the
  // layer and whatever group it is drawn through; its opacity weakens what
  // it draws over the blur, not the blur.
  if (layer.backdropBlur() > 0) blurBackdrop(cr_, bounds, radius, layer.backdropBlur());

  // How the layer's opacity is applied: to the one thing it draws, or to
  // everything it draws together, through a group.
  const bool translucent = g.opacity < 1;
  bool group = translucent || layer.mask();
  double paintAlpha = 1;
  if (group && !reference_) {
    if (translucent && !layer.mask()) {
      bool drawsSublayers = false;
      for (const auto& sub : layer.sublayers()) drawsSublayers = drawsSublayers || !sub->isHidden();
      const Content content = drawsSublayers ? Content::Unknown : prepareContent(layer, bounds);
      if (content != Content::Unknown) {
        const int things = (background && background->alpha() > 0) + (layer.contents() != nullptr) +
                           (border != nullptr) + (content == Content::OnePaint);
        if (things == 0) {
          cairo_restore(cr_);
          return;
        }
        if (things == 1) {
          group = false;
          paintAlpha = g.opacity;
        }
      }
    }
    if (group) {
      if (std::optional<Rect> extent = drawnExtent(layer, g, delay); extent && !clipToDeviceBox(cr_, *extent)) {
        cairo_restore(cr_);
        return;
      }
    }
  }
  if (group) cairo_push_group(cr_);

  Canvas canvas(cr_, scale_);
  cairo_save(cr_);
  if (layer.masksToBounds()) {
    addRoundedRect(canvas, bounds, radius);
    cairo_clip(cr_);
  }
  if (background) {
    addRoundedRect(canvas, bounds, radius);
    setSourceColor(canvas, *background, paintAlpha);
    cairo_fill(cr_);
  }
  if (const Ref<Bitmap>& contents = layer.contents()) {
    cairo_save(cr_);
    if (radius > 0) {
      addRoundedRect(canvas, bounds, radius);
      cairo_clip(cr_);
    }
    drawBitmap(canvas, *contents, contentsPlacement(layer, *contents, bounds), paintAlpha, layer.contentsRect());
    cairo_restore(cr_);
  }
  drawContent(layer, bounds, paintAlpha);
  drawSublayers(layer, delay);
  cairo_restore(cr_);

  if (border) {
    const Rect inner = bounds.insetBy(borderWidth / 2, borderWidth / 2);
    addRoundedRect(canvas, inner, std::max(0.0, radius - borderWidth / 2));
    setSourceColor(canvas, *border, paintAlpha);
    cairo_set_line_width(cr_, borderWidth);
    cairo_stroke(cr_);
  }

  if (group) {
    // What the group holds was drawn through the clips in force, so it is
    // painted back (and masked) without them: a clip's soft edge counts
    // once, as for a layer drawn without a group.
    cairo_pattern_t* content = cairo_pop_group(cr_);
    if (const Ref<Layer>& mask = layer.mask()) {
      cairo_push_group(cr_);
      cairo_save(cr_);
      cairo_reset_clip(cr_);
      drawLayer(*mask, delay);
      cairo_restore(cr_);
      cairo_pattern_t* maskPattern = cairo_pop_group(cr_);
      cairo_push_group(cr_);
      cairo_save(cr_);
      cairo_reset_clip(cr_);
      cairo_set_source(cr_, content);
      cairo_mask(cr_, maskPattern);
      cairo_restore(cr_);
      cairo_pattern_destroy(maskPattern);
      cairo_pattern_destroy(content);
      content = cairo_pop_group(cr_);
    }
    cairo_reset_clip(cr_);
    cairo_set_source(cr_, content);
    cairo_paint_with_alpha(cr_, g.opacity);
    cairo_pattern_destroy(content);
  }
  cairo_restore(cr_);
}

Ref<Bitmap> toBitmap(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  const size_t row = static_cast<size_t>(w) * 4;
  std::vector<uint8_t> pixels;
  if (static_cast<size_t>(stride) == row) {
    pixels.assign(data, data + row * h);
  } else {
    pixels.reserve(row * h);
    for (int y = 0; y < h; ++y) pixels.insert(pixels.end(), data + y * stride, data + y * stride + row);
  }
  return Bitmap::create(w, h, PixelFormat::argb32(), 0, std::move(pixels));
}

cairo_surface_t* makeSurface(Size size, double scale) {
  const int w = std::max(1, static_cast<int>(std::ceil(size.width * scale)));
  const int h = std::max(1, static_cast<int>(std::ceil(size.height * scale)));
  if (w > 32767 || h > 32767) return nullptr;
  return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
}

// Whether a picture's root layer paints every pixel of it opaquely (its own
// background), so that nothing under it shows.
bool coversPicture(const Layer& root, double scale) {
  if (root.mask()) return false;
  const Ref<Color> background = colorValue(root, "backgroundColor", root.backgroundColor(), 0);
  if (!background || background->alpha() < 1) return false;
  if (doubleValue(root, "cornerRadius", root.cornerRadius(), 0) > 0) return false;
  // The picture is the model bounds; the background fills the bounds shown.
  const Rect shown = geometryOf(root, 0, true).bounds;
  const double w = root.bounds().size.width * scale, h = root.bounds().size.height * scale;
  return shown.size == root.bounds().size && w == std::floor(w) && h == std::floor(h);
}

// Whether everything a tree draws follows from layer state that counts its
// changes (Layer::changeStamp): plain layers only (the shape, gradient and
// replicator layers and other layer classes keep state of their own), no
// running animation (the clock moves them), no live view content. `stamp`
// gathers the largest change stamp of the tree, hidden layers' included (a
// layer that was just hidden changed the picture).
bool drawsFromLayerStateOnly(const Layer& layer, bool root, uint64_t& stamp) {
  stamp = std::max(stamp, layer.changeStamp());
  if (layer.isHidden() && !root) return true;
  if (typeid(layer) != typeid(Layer) || layer.hasAnimations()) return false;
  if (layer.delegate() && layer.delegate()->layerContent(layer) == LayerContent::Live) return false;
  if (layer.mask() && !drawsFromLayerStateOnly(*layer.mask(), false, stamp)) return false;
  for (const auto& sub : layer.sublayers())
    if (!drawsFromLayerStateOnly(*sub, false, stamp)) return false;
  return true;
}

// Each root layer keeps its last picture (Layer::keptPicture), given again
// while nothing in its tree has changed since it was drawn and the tree draws
// nothing live; changes in other windows leave it standing.
Ref<Bitmap> renderView(View& view, double scale, bool reference) {
  if (scale <= 0) scale = Screen::main()->scale();
  view.layoutIfNeeded();
  Layer& root = *view.layer();
  uint64_t stamp = 0;
  const bool reusable = !reference && drawsFromLayerStateOnly(root, true, stamp);
  Layer::KeptPicture& kept = root.keptPicture();
  if (reusable && kept.picture && kept.scale == scale && kept.stamp == stamp) return kept.picture;
  const int w = std::max(1, static_cast<int>(std::ceil(view.bounds().size.width * scale)));
  const int h = std::max(1, static_cast<int>(std::ceil(view.bounds().size.height * scale)));
  if (w > 32767 || h > 32767) return nullptr;
  // Drawn straight into the picture's pixels.
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
  cairo_surface_t* surface = cairo_image_surface_create_for_data(pixels.data(), CAIRO_FORMAT_ARGB32, w, h, w * 4);
  cairo_t* cr = cairo_create(surface);
  if (dynamic_cast<Window*>(&view) && (reference || !coversPicture(root, scale))) {
    // A window is seen over black, as on a screen.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
  }
  cairo_scale(cr, scale, scale);
  Renderer(cr, scale, reference).drawLayer(root, 0, true);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  Ref<Bitmap> out = Bitmap::create(w, h, PixelFormat::argb32(), 0, std::move(pixels));
  if (reusable) {
    kept = {scale, stamp, out};
  } else if (!reference) {
    kept = {};
  }
  return out;
}

}  // namespace

Ref<Bitmap> renderLayer(Layer& layer, double scale) {
  if (scale <= 0) scale = Screen::main()->scale();
  cairo_surface_t* surface = makeSurface(layer.bounds().size, scale);
  if (!surface) return nullptr;
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  Renderer(cr, scale, false).drawLayer(layer, 0, true);
  cairo_destroy(cr);
  Ref<Bitmap> out = toBitmap(surface);
  cairo_surface_destroy(surface);
  return out;
}

Ref<Bitmap> render(View& view, double scale) { return renderView(view, scale, false); }

Ref<Bitmap> renderReference(View& view, double scale) { return renderView(view, scale, true); }

Ref<Bitmap> renderScreen(double scale) {
  if (scale <= 0) scale = Screen::main()->scale();
  const Rect screenBounds = Screen::main()->bounds();
  cairo_surface_t* surface = makeSurface(screenBounds.size, scale);
  if (!surface) return nullptr;
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  cairo_scale(cr, scale, scale);
  Renderer renderer(cr, scale, false);
  for (const auto& window : Application::shared()->windows()) {
    window->layoutIfNeeded();
    renderer.drawLayer(*window->layer(), 0);
  }
  cairo_destroy(cr);
  Ref<Bitmap> out = toBitmap(surface);
  cairo_surface_destroy(surface);
  return out;
}

bool writePNG(const Bitmap& bitmap, const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes;
  std::string why;
  if (!writePNG(bitmap, bytes, why)) {
    if (error) *error = why;
    return false;
  }
  std::error_code ec;
  const std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  if (!out) {
    if (error) *error = "cannot open " + path + " for writing";
    return false;
  }
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

bool writePNG(View& view, const std::string& path, double scale, std::string* error) {
  Ref<Bitmap> picture = render(view, scale);
  if (!picture) {
    if (error) *error = "the view is too large to render";
    return false;
  }
  return writePNG(*picture, path, error);
}

}  // namespace kit
