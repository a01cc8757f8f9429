// Helpers shared by the codecs: straight RGBA conversion and EXIF reading.
#include <cstring>

#include "kit/graphics/image_codecs.h"

namespace kit::codec {

std::vector<uint8_t> straightRGBA(const Bitmap& bitmap) {
  const size_t w = bitmap.width(), h = bitmap.height();
  std::vector<uint8_t> out(w * h * 4);
  for (size_t y = 0; y < h; ++y) {
    uint8_t* row = out.data() + y * w * 4;
    unpackRow(bitmap.format(), bitmap.row(y), row, w);
    for (size_t x = 0; x < w; ++x) {
      uint8_t* p = row + x * 4;
      const uint8_t a = p[3];
      if (a != 255 && a != 0) {
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::min(255, (p[c] * 255 + a / 2) / a));
      }
    }
  }
  return out;
}

Ref<Bitmap> fromRGBA(size_t width, size_t height, std::vector<uint8_t> pixels, bool hasAlpha) {
  PixelFormat format = PixelFormat::rgba8();
  if (!hasAlpha) format.bitmapInfo = makeBitmapInfo(AlphaInfo::NoneSkipLast);
  return Bitmap::create(width, height, format, width * 4, std::move(pixels));
}

int exifOrientation(const uint8_t* d, size_t n) {
  if (n < 14 || std::memcmp(d, "Exif\0\0", 6) != 0) return 0;
  d += 6;
  n -= 6;
  const bool little = d[0] == 'I' && d[1] == 'I';
  if (!little && !(d[0] == 'M' && d[1] == 'M')) return 0;
  auto u16 = [&](size_t at) -> uint32_t {
    return little ? (d[at] | (d[at + 1] << 8)) : ((d[at] << 8) | d[at + 1]);
  };
  auto u32 = [&](size_t at) -> uint32_t {
    return little ? (d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (uint32_t(d[at + 3]) << 24))
                  : ((uint32_t(d[at]) << 24) | (d[at + 1] << 16) | (d[at + 2] << 8) | d[at + 3]);
  };
  if (u16(2) != 42) return 0;
  const uint32_t ifd = u32(4);
  if (ifd > n || n - ifd < 2) return 0;
  const uint32_t count = u16(ifd);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = ifd + 2 + size_t{i} * 12;
    if (entry + 12 > n) return 0;
    if (u16(entry) == 0x0112 && u16(entry + 2) == 3) {
      const uint32_t v = u16(entry + 8);
      return v >= 1 && v <= 8 ? static_cast<int>(v) : 0;
    }
  }
  return 0;
}

}  // namespace kit::codec
