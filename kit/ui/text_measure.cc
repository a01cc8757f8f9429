// String measurement and drawing through the text engine.
#include "kit/ui/text_measure.h"

#include <cairo.h>

#include <cmath>

#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/text_engine.h"

namespace kit {

Rect boundingRectWithSize(const AttributedString& text, Size size, unsigned options) {
  TextLayoutRequest request;
  request.text = &text;
  const bool lines = options & StringDrawingUsesLineFragmentOrigin;
  request.width = lines && size.width > 0 && size.width < 1e37 ? size.width : 0;
  const TextMeasurement m = TextEngine::shared().measure(request);
  double height = m.size.height;
  if (lines && size.height > 0 && height > size.height) {
    // Whole lines that fit in the height, at least one.
    const double lineHeight = m.lineCount > 0 ? m.size.height / m.lineCount : height;
    const double fitting = std::max(1.0, std::floor(size.height / lineHeight));
    height = std::min(height, fitting * lineHeight);
  }
  if (!lines) {
    Ref<Font> font = text.runs().empty() || !text.runs()[0].attributes.font ? Font::systemFont(Font::LabelFontSize)
                                                                             : text.runs()[0].attributes.font;
    return {0, -font->ascender(), m.size.width, m.size.height};
  }
  return {0, 0, m.size.width, height};
}

Rect boundingRectWithSize(std::string_view text, Size size, unsigned options, const TextAttributes& attributes) {
  auto s = AttributedString::make(text, attributes);
  return boundingRectWithSize(*s, size, options);
}

Size sizeWithAttributes(std::string_view text, const TextAttributes& attributes) {
  auto s = AttributedString::make(text, attributes);
  TextLayoutRequest request;
  request.text = s.get();
  return TextEngine::shared().measure(request).size;
}

void drawText(const AttributedString& text, const Rect& rect) {
  Ref<GraphicsContext> ctx = currentContext();
  if (!ctx || rect.isEmpty() || text.length() == 0) return;
  const AffineTransform t = ctx->ctm();
  const double scale = std::max(1.0, std::sqrt(std::fabs(t.a * t.d - t.b * t.c)));
  const int w = static_cast<int>(std::ceil(rect.width() * scale));
  const int h = static_cast<int>(std::ceil(rect.height() * scale));
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  TextLayoutRequest request;
  request.text = &text;
  request.width = rect.width();
  TextEngine::shared().draw(cr, request, {0, 0});
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  std::vector<uint8_t> pixels(data, data + static_cast<size_t>(stride) * h);
  cairo_surface_destroy(surface);
  auto bitmap = Bitmap::create(w, h, PixelFormat::argb32(), stride, std::move(pixels));
  if (auto image = Image::withBitmap(bitmap, scale)) image->drawInRect(rect);
}

void drawText(std::string_view text, const Rect& rect, const TextAttributes& attributes) {
  auto s = AttributedString::make(text, attributes);
  drawText(*s, rect);
}

}  // namespace kit
