// How pixels are laid out in memory, in the platform's terms: bits per
// component and per pixel, a colour space, and the bitmap info (where alpha
// sits and whether it is premultiplied, plus the byte order). Rows of any
// supported layout convert to and from premultiplied 8-bit RGBA, which is
// how every other layout meets every other.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kit/foundation/object.h"
#include "kit/graphics/color_space.h"

namespace kit {

// The platform's alpha-info values (the low five bits of a bitmap info).
enum class AlphaInfo : uint32_t {
  None = 0,                // no alpha channel
  PremultipliedLast = 1,   // RGBA, colour premultiplied by alpha
  PremultipliedFirst = 2,  // ARGB, premultiplied
  Last = 3,                // RGBA, not premultiplied
  First = 4,               // ARGB, not premultiplied
  NoneSkipLast = 5,        // RGBX
  NoneSkipFirst = 6,       // XRGB
  Only = 7,                // alpha alone
};

using BitmapInfo = uint32_t;
inline constexpr BitmapInfo AlphaInfoMask = 0x1F;
inline constexpr BitmapInfo FloatComponents = 1u << 8;
inline constexpr BitmapInfo ByteOrderMask = 0x7000;
inline constexpr BitmapInfo ByteOrderDefault = 0;
inline constexpr BitmapInfo ByteOrder16Little = 1u << 12;
inline constexpr BitmapInfo ByteOrder32Little = 2u << 12;
inline constexpr BitmapInfo ByteOrder16Big = 3u << 12;
inline constexpr BitmapInfo ByteOrder32Big = 4u << 12;

constexpr BitmapInfo makeBitmapInfo(AlphaInfo alpha, BitmapInfo byteOrder = ByteOrderDefault) {
  return static_cast<BitmapInfo>(alpha) | byteOrder;
}
constexpr AlphaInfo alphaInfoOf(BitmapInfo info) { return static_cast<AlphaInfo>(info & AlphaInfoMask); }
constexpr BitmapInfo byteOrderOf(BitmapInfo info) { return info & ByteOrderMask; }
// True for the four layouts that carry alpha with colour (1 to 4).
constexpr bool hasAlphaChannel(AlphaInfo a) {
  return a == AlphaInfo::PremultipliedLast || a == AlphaInfo::PremultipliedFirst || a == AlphaInfo::Last ||
         a == AlphaInfo::First;
}

struct PixelFormat {
  size_t bitsPerComponent = 8;
  size_t bitsPerPixel = 32;
  Ref<ColorSpace> colorSpace;  // nil for alpha-only layouts
  BitmapInfo bitmapInfo = 0;

  // 8-bit RGBA, premultiplied alpha first, 32-bit little-endian: the layout
  // the platform's decoders and drawing use (and Cairo's native one).
  static PixelFormat argb32();
  // The opaque variant: no alpha, skip first, 32-bit little-endian.
  static PixelFormat xrgb32();
  // 8-bit RGBA in memory order, not premultiplied.
  static PixelFormat rgba8();
  // 8-bit gray.
  static PixelFormat gray8();
  // 8-bit alpha only.
  static PixelFormat alpha8();

  AlphaInfo alpha() const { return alphaInfoOf(bitmapInfo); }
  size_t bytesPerPixel() const { return bitsPerPixel / 8; }
  // Whether kit can read and write pixels of this layout.
  bool isSupported() const;
  bool operator==(const PixelFormat& other) const;
};

// Converts one row of `width` pixels to premultiplied 8-bit R, G, B, A.
void unpackRow(const PixelFormat& format, const uint8_t* source, uint8_t* rgba, size_t width);
// Converts one row of premultiplied 8-bit RGBA to the format.
void packRow(const PixelFormat& format, const uint8_t* rgba, uint8_t* destination, size_t width);

}  // namespace kit
