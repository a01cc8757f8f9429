// Colour helpers of the platform screens: colours from hexadecimal numbers
// (0xAARRGGBB with an opaque default, or the short 0xRGB form), and a
// layer's border colour as a colour object. Components are computed in
// single precision, as the screens' designs were measured.
//
//   UIColorXTExtention::fromHexValue(0xFF7F00)       // opaque orange
//   UIColorXTExtention::fromHexValue(0x80000000)     // black at 128/255
//   UIColorXTExtention::fromShortHexValue(0xF80)     // (1, 8/15, 0)
#pragma once

#include <cstdint>

#include "kit/graphics/color.h"
#include "kit/ui/layer.h"

class UIColorXTExtention {
 public:
  // Bits 24-31 give the alpha (value / 255) unless they are 0, which means
  // opaque; bits 16-23, 8-15 and 0-7 red, green and blue.
  static kit::Ref<kit::Color> fromHexValue(uint64_t hex);
  static kit::Ref<kit::Color> fromHexValue(uint64_t hex, double alpha);
  // Bits 8-11, 4-7 and 0-3 red, green and blue (value / 15).
  static kit::Ref<kit::Color> fromShortHexValue(uint64_t hex);
  static kit::Ref<kit::Color> fromShortHexValue(uint64_t hex, double alpha);
};

class CALayerKTColor {
 public:
  static void setBorderUIColor(kit::Layer& layer, const kit::Ref<kit::Color>& color);
  static kit::Ref<kit::Color> borderUIColor(const kit::Layer& layer);
};
