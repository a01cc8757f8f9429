// Row conversion between every supported pixel layout and premultiplied
// 8-bit RGBA.
#include "kit/graphics/pixel_format.h"

#include <algorithm>
#include <cstring>

namespace kit {

PixelFormat PixelFormat::argb32() {
  return {8, 32, ColorSpace::deviceRGB(), makeBitmapInfo(AlphaInfo::PremultipliedFirst, ByteOrder32Little)};
}
PixelFormat PixelFormat::xrgb32() {
  return {8, 32, ColorSpace::deviceRGB(), makeBitmapInfo(AlphaInfo::NoneSkipFirst, ByteOrder32Little)};
}
PixelFormat PixelFormat::rgba8() { return {8, 32, ColorSpace::deviceRGB(), makeBitmapInfo(AlphaInfo::Last)}; }
PixelFormat PixelFormat::gray8() { return {8, 8, ColorSpace::deviceGray(), makeBitmapInfo(AlphaInfo::None)}; }
PixelFormat PixelFormat::alpha8() { return {8, 8, nullptr, makeBitmapInfo(AlphaInfo::Only)}; }

bool PixelFormat::operator==(const PixelFormat& other) const {
  const bool sameSpace = (!colorSpace && !other.colorSpace) ||
                         (colorSpace && other.colorSpace && colorSpace->model() == other.colorSpace->model());
  return bitsPerComponent == other.bitsPerComponent && bitsPerPixel == other.bitsPerPixel && sameSpace &&
         bitmapInfo == other.bitmapInfo;
}

namespace {

// A layout reduced to what the row loops need.
struct Layout {
  size_t colorCount = 0;  // colour components
  size_t channels = 0;    // components in memory, alpha or skip included
  size_t bytesPerComponent = 1;
  bool alphaFirst = false;  // alpha or skip byte before the colour
  bool hasAlpha = false;    // a real alpha component
  bool premultiplied = false;
  bool alphaOnly = false;
  bool swapPixel = false;         // 32-bit (or 16-bit) little-endian words of 8-bit components
  bool littleComponents = false;  // 16-bit components stored little-endian
  ColorSpace::Model model = ColorSpace::Model::RGB;
};

bool describe(const PixelFormat& f, Layout& out) {
  if (f.bitmapInfo & FloatComponents) return false;
  if (f.bitsPerComponent != 8 && f.bitsPerComponent != 16) return false;
  const AlphaInfo a = f.alpha();
  if (static_cast<uint32_t>(a) > 7) return false;
  Layout l;
  if (a == AlphaInfo::Only) {
    if (f.colorSpace) return false;
    l.alphaOnly = true;
    l.hasAlpha = true;
    l.channels = 1;
  } else {
    if (!f.colorSpace) return false;
    l.model = f.colorSpace->model();
    l.colorCount = f.colorSpace->numberOfComponents();
    if (l.colorCount == 0) return false;
    l.channels = l.colorCount + (a == AlphaInfo::None ? 0 : 1);
    l.hasAlpha = hasAlphaChannel(a);
    l.premultiplied = a == AlphaInfo::PremultipliedFirst || a == AlphaInfo::PremultipliedLast;
    l.alphaFirst = a == AlphaInfo::PremultipliedFirst || a == AlphaInfo::First || a == AlphaInfo::NoneSkipFirst;
  }
  l.bytesPerComponent = f.bitsPerComponent / 8;
  if (f.bitsPerPixel != l.channels * f.bitsPerComponent) return false;
  const BitmapInfo order = byteOrderOf(f.bitmapInfo);
  if (order == ByteOrder32Little) {
    if (f.bitsPerComponent == 8 && f.bitsPerPixel == 32) l.swapPixel = true;
    else if (f.bitsPerComponent == 16) l.littleComponents = true;
    else return false;
  } else if (order == ByteOrder16Little) {
    if (f.bitsPerComponent == 16) l.littleComponents = true;
    else if (f.bitsPerPixel == 16) l.swapPixel = true;
    else return false;
  } else if (order != ByteOrderDefault && order != ByteOrder16Big && order != ByteOrder32Big) {
    return false;
  }
  out = l;
  return true;
}

inline uint8_t premultiply(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 127) / 255); }
inline uint8_t unpremultiply(uint8_t c, uint8_t a) {
  if (a == 0) return 0;
  return static_cast<uint8_t>(std::min(255, (c * 255 + a / 2) / a));
}

}  // namespace

bool PixelFormat::isSupported() const {
  Layout l;
  return describe(*this, l);
}

void unpackRow(const PixelFormat& format, const uint8_t* src, uint8_t* rgba, size_t width) {
  Layout l;
  if (!describe(format, l)) {
    std::memset(rgba, 0, width * 4);
    return;
  }
  // Fast paths for the layouts decoders and contexts produce.
  if (l.bytesPerComponent == 1 && l.model == ColorSpace::Model::RGB && l.channels == 4 && !l.alphaOnly) {
    for (size_t x = 0; x < width; ++x, src += 4, rgba += 4) {
      uint8_t p[4] = {src[0], src[1], src[2], src[3]};
      if (l.swapPixel) std::swap(p[0], p[3]), std::swap(p[1], p[2]);
      const uint8_t* c = l.alphaFirst ? p + 1 : p;
      const uint8_t alpha = l.hasAlpha ? (l.alphaFirst ? p[0] : p[3]) : 255;
      if (l.hasAlpha && !l.premultiplied) {
        rgba[0] = premultiply(c[0], alpha);
        rgba[1] = premultiply(c[1], alpha);
        rgba[2] = premultiply(c[2], alpha);
      } else {
        rgba[0] = c[0];
        rgba[1] = c[1];
        rgba[2] = c[2];
      }
      rgba[3] = alpha;
    }
    return;
  }
  const size_t bpp = l.channels * l.bytesPerComponent;
  for (size_t x = 0; x < width; ++x, src += bpp, rgba += 4) {
    uint8_t p[8];
    if (l.bytesPerComponent == 1) {
      std::memcpy(p, src, l.channels);
      if (l.swapPixel) std::reverse(p, p + l.channels);
    } else {
      for (size_t i = 0; i < l.channels; ++i) p[i] = l.littleComponents ? src[2 * i + 1] : src[2 * i];
    }
    if (l.alphaOnly) {
      rgba[0] = rgba[1] = rgba[2] = 0;
      rgba[3] = p[0];
      continue;
    }
    const bool withExtra = l.channels > l.colorCount;
    const uint8_t* c = (withExtra && l.alphaFirst) ? p + 1 : p;
    const uint8_t alpha = l.hasAlpha ? (l.alphaFirst ? p[0] : p[l.channels - 1]) : 255;
    uint8_t r, g, b;
    if (l.model == ColorSpace::Model::Monochrome) {
      r = g = b = c[0];
    } else if (l.model == ColorSpace::Model::CMYK) {
      const int k = 255 - c[3];
      r = static_cast<uint8_t>((255 - c[0]) * k / 255);
      g = static_cast<uint8_t>((255 - c[1]) * k / 255);
      b = static_cast<uint8_t>((255 - c[2]) * k / 255);
    } else {
      r = c[0], g = c[1], b = c[2];
    }
    if (l.hasAlpha && !l.premultiplied) {
      r = premultiply(r, alpha), g = premultiply(g, alpha), b = premultiply(b, alpha);
    }
    rgba[0] = r, rgba[1] = g, rgba[2] = b, rgba[3] = alpha;
  }
}

void packRow(const PixelFormat& format, const uint8_t* rgba, uint8_t* dst, size_t width) {
  Layout l;
  if (!describe(format, l)) return;
  const size_t bpp = l.channels * l.bytesPerComponent;
  for (size_t x = 0; x < width; ++x, rgba += 4, dst += bpp) {
    uint8_t alpha = rgba[3];
    uint8_t r = rgba[0], g = rgba[1], b = rgba[2];
    if (!l.hasAlpha || !l.premultiplied) {
      r = unpremultiply(r, alpha), g = unpremultiply(g, alpha), b = unpremultiply(b, alpha);
    }
    uint8_t p[8] = {};
    if (l.alphaOnly) {
      p[0] = alpha;
    } else {
      uint8_t color[4] = {r, g, b, 0};
      size_t count = 3;
      if (l.model == ColorSpace::Model::Monochrome) {
        color[0] = static_cast<uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
        count = 1;
      } else if (l.model == ColorSpace::Model::CMYK) {
        const uint8_t maxc = std::max({r, g, b});
        const int k = 255 - maxc;
        for (int i = 0; i < 3; ++i) {
          const uint8_t v = i == 0 ? r : (i == 1 ? g : b);
          color[i] = maxc == 0 ? 0 : static_cast<uint8_t>((maxc - v) * 255 / maxc);
        }
        color[3] = static_cast<uint8_t>(k);
        count = 4;
      }
      const bool withExtra = l.channels > l.colorCount;
      const size_t colorAt = (withExtra && l.alphaFirst) ? 1 : 0;
      for (size_t i = 0; i < count; ++i) p[colorAt + i] = color[i];
      if (withExtra) {
        const uint8_t extra = l.hasAlpha ? alpha : 255;
        p[l.alphaFirst ? 0 : l.channels - 1] = extra;
      }
    }
    if (l.bytesPerComponent == 1) {
      if (l.swapPixel) std::reverse(p, p + l.channels);
      std::memcpy(dst, p, l.channels);
    } else {
      for (size_t i = 0; i < l.channels; ++i) {
        dst[2 * i] = dst[2 * i + 1] = p[i];  // v * 257 in either byte order
      }
    }
  }
}

}  // namespace kit
