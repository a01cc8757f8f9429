// An immutable bitmap image: width, height, pixel layout and the pixel
// bytes, top row first. It stands in for the platform's bitmap image type:
// decoders produce it, contexts snapshot into it, drawing reads it.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/graphics/geometry.h"
#include "kit/graphics/pixel_format.h"

namespace kit {

// One pixel as straight (not premultiplied) 8-bit components.
struct Pixel {
  uint8_t r = 0, g = 0, b = 0, a = 0;
  bool operator==(const Pixel&) const = default;
};

class Bitmap : public Object {
  KIT_OBJECT(Bitmap)

 public:
  // A bitmap over the given bytes. bytesPerRow 0 means tightly packed.
  // Nil when the layout is not supported or the bytes are too few.
  static Ref<Bitmap> create(size_t width, size_t height, const PixelFormat& format, size_t bytesPerRow,
                            std::vector<uint8_t> pixels);

  size_t width() const { return width_; }
  size_t height() const { return height_; }
  const PixelFormat& format() const { return format_; }
  size_t bitsPerComponent() const { return format_.bitsPerComponent; }
  size_t bitsPerPixel() const { return format_.bitsPerPixel; }
  size_t bytesPerRow() const { return bytesPerRow_; }
  const Ref<ColorSpace>& colorSpace() const { return format_.colorSpace; }
  BitmapInfo bitmapInfo() const { return format_.bitmapInfo; }
  AlphaInfo alphaInfo() const { return format_.alpha(); }
  std::span<const uint8_t> data() const { return pixels_; }
  const uint8_t* row(size_t y) const { return pixels_.data() + y * bytesPerRow_; }

  bool shouldInterpolate() const { return interpolate_; }
  void setShouldInterpolate(bool v) { interpolate_ = v; }

  // The part inside rect (pixels, top-left origin), made integral and
  // clipped to the bitmap; nil when nothing is left.
  Ref<Bitmap> cropping(const Rect& rect) const;
  // The same picture in another layout; nil for unsupported layouts.
  Ref<Bitmap> converted(const PixelFormat& format) const;
  // The straight colour of one pixel (0,0 is the top-left).
  Pixel pixelAt(size_t x, size_t y) const;

  // The pixels as Cairo's native premultiplied 32-bit words, top row first,
  // with a stride of width * 4. Shared and computed once.
  std::span<const uint32_t> premultipliedARGB() const;

  // The pixel bytes of every bitmap alive in the process, with their drawing
  // copies: what decoded and drawn pictures hold, for tests and diagnostics.
  static size_t liveBytes();

  // Use create; public for make.
  Bitmap(size_t width, size_t height, const PixelFormat& format, size_t bytesPerRow, std::vector<uint8_t> pixels);
  ~Bitmap() override;

 private:
  size_t width_, height_;
  PixelFormat format_;
  size_t bytesPerRow_;
  std::vector<uint8_t> pixels_;
  bool interpolate_ = true;
  mutable std::once_flag argbOnce_;
  mutable std::vector<uint32_t> argb_;
};

}  // namespace kit
