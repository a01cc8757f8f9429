// Bitmap storage, cropping and layout conversion.
#include "kit/graphics/bitmap.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

namespace kit {

KIT_DEFINE_CLASS_NAMED(Bitmap, Object, "CGImage") {}

namespace {
std::atomic<size_t> allBitmapBytes{0};
}  // namespace

size_t Bitmap::liveBytes() { return allBitmapBytes.load(std::memory_order_relaxed); }

Bitmap::Bitmap(size_t width, size_t height, const PixelFormat& format, size_t bytesPerRow,
               std::vector<uint8_t> pixels)
    : width_(width), height_(height), format_(format), bytesPerRow_(bytesPerRow), pixels_(std::move(pixels)) {
  allBitmapBytes.fetch_add(pixels_.size(), std::memory_order_relaxed);
}

Bitmap::~Bitmap() {
  allBitmapBytes.fetch_sub(pixels_.size() + argb_.size() * sizeof(uint32_t), std::memory_order_relaxed);
}

Ref<Bitmap> Bitmap::create(size_t width, size_t height, const PixelFormat& format, size_t bytesPerRow,
                           std::vector<uint8_t> pixels) {
  if (width == 0 || height == 0 || !format.isSupported()) return nullptr;
  const size_t minRow = width * format.bytesPerPixel();
  if (minRow / format.bytesPerPixel() != width) return nullptr;
  if (bytesPerRow == 0) bytesPerRow = minRow;
  if (bytesPerRow < minRow) return nullptr;
  if (height > std::numeric_limits<size_t>::max() / bytesPerRow) return nullptr;
  // The last row need only hold its pixels.
  if (pixels.size() < (height - 1) * bytesPerRow + minRow) return nullptr;
  return make<Bitmap>(width, height, format, bytesPerRow, std::move(pixels));
}

Ref<Bitmap> Bitmap::cropping(const Rect& rect) const {
  const Rect r = rect.integral().intersection(Rect(0, 0, static_cast<double>(width_), static_cast<double>(height_)));
  if (r.isEmpty()) return nullptr;
  const size_t x = static_cast<size_t>(r.minX()), y = static_cast<size_t>(r.minY());
  const size_t w = static_cast<size_t>(r.width()), h = static_cast<size_t>(r.height());
  const size_t bpp = format_.bytesPerPixel();
  std::vector<uint8_t> out(w * h * bpp);
  for (size_t row = 0; row < h; ++row) {
    std::memcpy(out.data() + row * w * bpp, pixels_.data() + (y + row) * bytesPerRow_ + x * bpp, w * bpp);
  }
  auto bitmap = create(w, h, format_, w * bpp, std::move(out));
  if (bitmap) bitmap->interpolate_ = interpolate_;
  return bitmap;
}

Ref<Bitmap> Bitmap::converted(const PixelFormat& format) const {
  if (!format.isSupported()) return nullptr;
  if (format == format_) {
    return create(width_, height_, format_, bytesPerRow_, pixels_);
  }
  const size_t rowBytes = width_ * format.bytesPerPixel();
  std::vector<uint8_t> out(rowBytes * height_);
  std::vector<uint8_t> rgba(width_ * 4);
  for (size_t y = 0; y < height_; ++y) {
    unpackRow(format_, row(y), rgba.data(), width_);
    packRow(format, rgba.data(), out.data() + y * rowBytes, width_);
  }
  return create(width_, height_, format, rowBytes, std::move(out));
}

Pixel Bitmap::pixelAt(size_t x, size_t y) const {
  if (x >= width_ || y >= height_) return {};
  uint8_t rgba[4];
  unpackRow(format_, row(y) + x * format_.bytesPerPixel(), rgba, 1);
  const uint8_t a = rgba[3];
  if (a == 0) return {0, 0, 0, 0};
  auto straight = [a](uint8_t c) { return static_cast<uint8_t>(std::min(255, (c * 255 + a / 2) / a)); };
  return {straight(rgba[0]), straight(rgba[1]), straight(rgba[2]), a};
}

std::span<const uint32_t> Bitmap::premultipliedARGB() const {
  std::call_once(argbOnce_, [this] {
    argb_.resize(width_ * height_);
    allBitmapBytes.fetch_add(argb_.size() * sizeof(uint32_t), std::memory_order_relaxed);
    const PixelFormat native = PixelFormat::argb32();
    if (format_ == native) {
      for (size_t y = 0; y < height_; ++y) std::memcpy(&argb_[y * width_], row(y), width_ * 4);
      return;
    }
    std::vector<uint8_t> rgba(width_ * 4);
    for (size_t y = 0; y < height_; ++y) {
      unpackRow(format_, row(y), rgba.data(), width_);
      uint32_t* out = &argb_[y * width_];
      for (size_t x = 0; x < width_; ++x) {
        const uint8_t* p = &rgba[x * 4];
        out[x] = (uint32_t(p[3]) << 24) | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
      }
    }
  });
  return argb_;
}

}  // namespace kit
