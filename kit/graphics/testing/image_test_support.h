// Helpers for the image codec tests: known pictures, encoding through a
// destination, decoding through a source, and pixel comparison.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <span>
#include <vector>

#include "kit/graphics/image_destination.h"
#include "kit/graphics/image_source.h"

namespace kit::test {

// A w x h picture whose every pixel differs from its neighbours: opaque
// (without an alpha channel), or with an alpha ramp from 0 to 255.
inline Ref<Bitmap> patternBitmap(size_t w, size_t h, bool alpha) {
  std::vector<uint8_t> px(w * h * 4);
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      uint8_t* p = &px[(y * w + x) * 4];
      p[0] = static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
      p[1] = static_cast<uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
      p[2] = static_cast<uint8_t>((x * 37 + y * 91) & 0xff);
      p[3] = alpha ? static_cast<uint8_t>((x + y * w) * 255 / (w * h - 1)) : 255;
    }
  }
  PixelFormat format = PixelFormat::rgba8();
  if (!alpha) format.bitmapInfo = makeBitmapInfo(AlphaInfo::NoneSkipLast);
  return Bitmap::create(w, h, format, 0, std::move(px));
}

// An opaque w x h picture like a photograph: smooth colour with grain.
inline Ref<Bitmap> photoBitmap(size_t w, size_t h) {
  std::vector<uint8_t> px(w * h * 4);
  uint32_t seed = 12345;
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      uint8_t* p = &px[(y * w + x) * 4];
      seed = seed * 1103515245 + 12345;
      const int grain = static_cast<int>((seed >> 16) & 15);
      p[0] = static_cast<uint8_t>(x * 200 / w + grain);
      p[1] = static_cast<uint8_t>(y * 200 / h + grain);
      p[2] = static_cast<uint8_t>(100 + (x + y) * 100 / (w + h) + grain);
      p[3] = 255;
    }
  }
  PixelFormat format = PixelFormat::rgba8();
  format.bitmapInfo = makeBitmapInfo(AlphaInfo::NoneSkipLast);
  return Bitmap::create(w, h, format, 0, std::move(px));
}

inline std::vector<uint8_t> encodeImages(const std::vector<Ref<Bitmap>>& bitmaps, const char* type,
                                         EncodeOptions options = {}) {
  auto destination = ImageDestination::create(type, bitmaps.size());
  EXPECT_TRUE(destination);
  if (!destination) return {};
  for (const auto& b : bitmaps) destination->addImage(b, options);
  EXPECT_TRUE(destination->finalize()) << destination->lastError();
  return destination->data();
}

inline Ref<Bitmap> decodeFirst(std::span<const uint8_t> bytes) {
  auto source = ImageSource::create(bytes);
  EXPECT_TRUE(source);
  if (!source) return nullptr;
  auto bitmap = source->createImageAtIndex(0);
  EXPECT_TRUE(bitmap) << source->lastError();
  return bitmap;
}

// Whether two pixels differ by at most `tolerance` in every channel.
inline bool near(const Pixel& a, const Pixel& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance &&
         std::abs(a.a - b.a) <= tolerance;
}

// The largest difference of any channel of any pixel, colour compared as
// it shows (premultiplied by alpha); 256 when the sizes differ.
inline int maxChannelError(const Bitmap& a, const Bitmap& b) {
  if (a.width() != b.width() || a.height() != b.height()) return 256;
  auto shown = [](uint8_t c, uint8_t alpha) { return (c * alpha + 127) / 255; };
  int worst = 0;
  for (size_t y = 0; y < a.height(); ++y) {
    for (size_t x = 0; x < a.width(); ++x) {
      const Pixel p = a.pixelAt(x, y), q = b.pixelAt(x, y);
      worst = std::max({worst, std::abs(p.a - q.a), std::abs(shown(p.r, p.a) - shown(q.r, q.a)),
                        std::abs(shown(p.g, p.a) - shown(q.g, q.a)), std::abs(shown(p.b, p.a) - shown(q.b, q.a))});
    }
  }
  return worst;
}

}  // namespace kit::test
