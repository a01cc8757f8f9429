// Window pixels from the X server. See x_screenshot.h.
#include "kit/desktop/testing/x_screenshot.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace kit::test {

Ref<Bitmap> screenshot(Display* display, unsigned long window, int width, int height) {
  XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
  if (!image) return nullptr;
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      uint8_t* out = &rgba[(static_cast<size_t>(y) * width + x) * 4];
      out[0] = (pixel >> 16) & 0xFF;
      out[1] = (pixel >> 8) & 0xFF;
      out[2] = pixel & 0xFF;
      out[3] = 255;
    }
  XDestroyImage(image);
  return Bitmap::create(width, height, PixelFormat::rgba8(), 0, std::move(rgba));
}

}  // namespace kit::test
