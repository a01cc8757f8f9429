// Values, errors and pictures between WebKit and kit. See browser_values.h.
#include "kit/web/browser/browser_values.h"

#include <cairo.h>
#include <gio/gio.h>
#include <jsc/jsc.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "kit/foundation/values.h"

namespace kit {

Ref<Error> scriptErrorFromGError(const GError* error) {
  if (!error) return scriptExceptionError("The script failed");
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) return webViewInvalidatedError();
  if (error->domain == WEBKIT_JAVASCRIPT_ERROR) {
    if (error->code == WEBKIT_JAVASCRIPT_ERROR_SCRIPT_FAILED) return scriptExceptionError(error->message);
    return scriptResultUnsupportedError();
  }
  return Error::make(WebErrorDomain, WebErrorUnknown, dict({{LocalizedDescriptionKey, std::string(error->message)}}));
}

Ref<Bitmap> bitmapFromSurface(cairo_surface_t* surface, int width, int height, int scale) {
  if (!surface || width <= 0 || height <= 0) return nullptr;
  scale = std::max(1, scale);
  const int w = width * scale, h = height * scale;
  // Painting into an image surface reads any kind of surface (an X11
  // window's included) and brings its device scale to pixels.
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(image);
  // User units are the surface's own (its device scale applied by Cairo).
  cairo_scale(cr, scale, scale);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(image);
  const int stride = cairo_image_surface_get_stride(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    std::memcpy(&pixels[static_cast<size_t>(y) * w * 4], data + static_cast<size_t>(y) * stride, static_cast<size_t>(w) * 4);
  cairo_surface_destroy(image);
  return Bitmap::create(static_cast<size_t>(w), static_cast<size_t>(h), PixelFormat::argb32(), 0, std::move(pixels));
}

}  // namespace kit
