// Drawing layer trees with Cairo.
#include "kit/ui/render.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "kit/graphics/image.h"
#include "kit/graphics/image_codecs.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/application.h"
#include "kit/ui/canvas.h"
#include "kit/ui/canvas_drawing.h"
#include "kit/ui/replicator_layer.h"
#include "kit/ui/screen.h"
#include "kit/ui/view.h"
#include "kit/ui/window.h"

namespace kit {

namespace {

void applyTransform(cairo_t* cr, const Transform3D& t) {
  if (t.isIdentity()) return;
  // The plane part of the transform (perspective is not drawn).
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.m11, t.m12, t.m21, t.m22, t.m41, t.m42);
  double det = m.xx * m.yy - m.xy * m.yx;
  if (std::fabs(det) < 1e-12) {
    // A collapsed layer draws nothing; keep Cairo's matrix invertible.
    cairo_scale(cr, 1e-6, 1e-6);
    return;
  }
  cairo_transform(cr, &m);
}

Ref<Color> colorValue(const Layer& layer, const char* key, double delay) {
  AnimationValue v = layer.presentationValue(key, delay);
  if (auto c = std::get_if<Ref<Color>>(&v)) return *c;
  return nullptr;
}

// The cached result of a plain layer's drawInContext.
void drawCustomLayerContents(Layer& layer, Canvas& canvas) {
  auto& cache = layer.drawnContents();
  const Size size = layer.bounds().size;
  if (layer.needsDisplay() || (cache.bitmap && (cache.scale != canvas.scale() || cache.size != size))) {
    layer.clearNeedsDisplay();
    cache = {};
    cache.scale = canvas.scale();
    cache.size = size;
    if (beginImageContext(size, false, canvas.scale())) {
      if (auto ctx = currentContext()) layer.drawInContext(*ctx);
      if (auto image = imageFromCurrentImageContext()) cache.bitmap = image->bitmap();
      endImageContext();
    }
  }
  if (cache.bitmap) drawBitmap(canvas, *cache.bitmap, {layer.bounds().origin, size});
}

void drawLayer(cairo_t* cr, Layer& layer, double scale, double delay, bool root = false);

void drawSublayers(cairo_t* cr, Layer& layer, double scale, double delay) {
  std::vector<Layer*> order;
  for (const auto& sub : layer.sublayers()) order.push_back(sub.get());
  std::stable_sort(order.begin(), order.end(), [](Layer* a, Layer* b) { return a->zPosition() < b->zPosition(); });
  auto* replicator = dynamic_cast<ReplicatorLayer*>(&layer);
  if (!replicator || replicator->instanceCount() <= 1) {
    for (Layer* sub : order) drawLayer(cr, *sub, scale, delay);
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
    cairo_save(cr);
    cairo_translate(cr, anchor.x, anchor.y);
    applyTransform(cr, t);
    cairo_translate(cr, -anchor.x, -anchor.y);
    cairo_push_group(cr);
    for (Layer* sub : order) drawLayer(cr, *sub, scale, delay + replicator->instanceDelay() * static_cast<double>(i));
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, std::clamp(alpha, 0.0, 1.0));
    cairo_restore(cr);
    t = t.concat(replicator->instanceTransform());
    alpha += replicator->instanceAlphaOffset();
  }
}

// Draws a layer in its superlayer's space; the root of a picture is drawn in
// its own bounds space, whatever its position, transform, opacity or hidden
// flag.
void drawLayer(cairo_t* cr, Layer& layer, double scale, double delay, bool root) {
  if (layer.isHidden() && !root) return;
  const double opacity = root ? 1.0 : layer.presentationDouble("opacity", delay);
  if (opacity <= 0) return;
  AnimationValue positionValue = layer.presentationValue("position", delay);
  AnimationValue boundsValue = layer.presentationValue("bounds", delay);
  const Point position = std::holds_alternative<Point>(positionValue) ? std::get<Point>(positionValue)
                                                                      : layer.position();
  const Rect bounds = std::holds_alternative<Rect>(boundsValue) ? std::get<Rect>(boundsValue) : layer.bounds();
  const Transform3D transform = layer.presentationTransform(delay);
  const double radius = layer.presentationDouble("cornerRadius", delay);
  const double borderWidth = layer.presentationDouble("borderWidth", delay);

  cairo_save(cr);
  if (!root) {
    cairo_translate(cr, position.x, position.y);
    applyTransform(cr, transform);
    cairo_translate(cr, -(bounds.origin.x + layer.anchorPoint().x * bounds.size.width),
                    -(bounds.origin.y + layer.anchorPoint().y * bounds.size.height));
  } else {
    cairo_translate(cr, -bounds.origin.x, -bounds.origin.y);
  }
  const bool group = opacity < 1 || layer.mask();
  if (group) cairo_push_group(cr);

  Canvas canvas(cr, scale);
  cairo_save(cr);
  if (layer.masksToBounds()) {
    addRoundedRect(canvas, bounds, radius);
    cairo_clip(cr);
  }
  if (auto bg = colorValue(layer, "backgroundColor", delay)) {
    addRoundedRect(canvas, bounds, radius);
    setSourceColor(canvas, *bg);
    cairo_fill(cr);
  }
  if (const Ref<Bitmap>& contents = layer.contents()) {
    const double s = layer.contentsScale();
    const Rect unit = layer.contentsRect();
    const Size size{contents->width() * unit.size.width / s, contents->height() * unit.size.height / s};
    cairo_save(cr);
    if (radius > 0) {
      addRoundedRect(canvas, bounds, radius);
      cairo_clip(cr);
    }
    drawBitmap(canvas, *contents, rectForContentMode(contentModeForGravity(layer.contentsGravity()), size, bounds), 1,
               unit);
    cairo_restore(cr);
  }
  cairo_save(cr);
  if (layer.delegate()) {
    // A view's own content is drawn within its bounds, as in a backing store.
    cairo_rectangle(cr, bounds.origin.x, bounds.origin.y, bounds.size.width, bounds.size.height);
    cairo_clip(cr);
    layer.drawOwnContent(canvas);
  } else {
    if (layer.needsDisplay() || layer.drawnContents().bitmap) drawCustomLayerContents(layer, canvas);
    layer.drawOwnContent(canvas);
  }
  cairo_restore(cr);
  drawSublayers(cr, layer, scale, delay);
  cairo_restore(cr);

  if (borderWidth > 0) {
    if (auto border = colorValue(layer, "borderColor", delay)) {
      const Rect inner = bounds.insetBy(borderWidth / 2, borderWidth / 2);
      addRoundedRect(canvas, inner, std::max(0.0, radius - borderWidth / 2));
      setSourceColor(canvas, *border);
      cairo_set_line_width(cr, borderWidth);
      cairo_stroke(cr);
    }
  }

  if (group) {
    cairo_pattern_t* content = cairo_pop_group(cr);
    if (const Ref<Layer>& mask = layer.mask()) {
      cairo_push_group(cr);
      drawLayer(cr, *mask, scale, delay);
      cairo_pattern_t* maskPattern = cairo_pop_group(cr);
      cairo_push_group(cr);
      cairo_set_source(cr, content);
      cairo_mask(cr, maskPattern);
      cairo_pattern_destroy(maskPattern);
      cairo_pattern_destroy(content);
      content = cairo_pop_group(cr);
    }
    cairo_set_source(cr, content);
    cairo_paint_with_alpha(cr, opacity);
    cairo_pattern_destroy(content);
  }
  cairo_restore(cr);
}

Ref<Bitmap> toBitmap(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) std::memcpy(&pixels[static_cast<size_t>(y) * w * 4], data + y * stride, w * 4);
  return Bitmap::create(w, h, PixelFormat::argb32(), 0, std::move(pixels));
}

cairo_surface_t* makeSurface(Size size, double scale) {
  const int w = std::max(1, static_cast<int>(std::ceil(size.width * scale)));
  const int h = std::max(1, static_cast<int>(std::ceil(size.height * scale)));
  if (w > 32767 || h > 32767) return nullptr;
  return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
}

}  // namespace

Ref<Bitmap> renderLayer(Layer& layer, double scale) {
  if (scale <= 0) scale = Screen::main()->scale();
  cairo_surface_t* surface = makeSurface(layer.bounds().size, scale);
  if (!surface) return nullptr;
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  drawLayer(cr, layer, scale, 0, true);
  cairo_destroy(cr);
  Ref<Bitmap> out = toBitmap(surface);
  cairo_surface_destroy(surface);
  return out;
}

Ref<Bitmap> render(View& view, double scale) {
  if (scale <= 0) scale = Screen::main()->scale();
  view.layoutIfNeeded();
  cairo_surface_t* surface = makeSurface(view.bounds().size, scale);
  if (!surface) return nullptr;
  cairo_t* cr = cairo_create(surface);
  if (dynamic_cast<Window*>(&view)) {
    // A window is seen over black, as on a screen.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
  }
  cairo_scale(cr, scale, scale);
  drawLayer(cr, *view.layer(), scale, 0, true);
  cairo_destroy(cr);
  Ref<Bitmap> out = toBitmap(surface);
  cairo_surface_destroy(surface);
  return out;
}

Ref<Bitmap> renderScreen(double scale) {
  if (scale <= 0) scale = Screen::main()->scale();
  const Rect screenBounds = Screen::main()->bounds();
  cairo_surface_t* surface = makeSurface(screenBounds.size, scale);
  if (!surface) return nullptr;
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  cairo_scale(cr, scale, scale);
  for (const auto& window : Application::shared()->windows()) {
    window->layoutIfNeeded();
    drawLayer(cr, *window->layer(), scale, 0);
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
