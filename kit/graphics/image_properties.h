// What image I/O reports about a file and its frames, and the limits every
// decoder enforces before it allocates. The comments name the platform's
// property keys each field stands for.
#pragma once

#include <cstddef>
#include <optional>

#include "kit/graphics/color_space.h"

namespace kit {

struct ImageProperties {
  size_t pixelWidth = 0;   // PixelWidth
  size_t pixelHeight = 0;  // PixelHeight
  int orientation = 0;     // Orientation, EXIF 1-8; 0 when the file has none
  bool hasAlpha = false;   // HasAlpha
  int depth = 8;           // Depth: bits per sample in the file
  ColorSpace::Model colorModel = ColorSpace::Model::RGB;  // ColorModel
  std::optional<double> dpiWidth, dpiHeight;              // DPIWidth, DPIHeight
  // GIF dictionary; no delays for a frame without a graphic control block.
  std::optional<double> gifDelayTime;           // DelayTime (at least 0.1 when the file says 0.01 or less)
  std::optional<double> gifUnclampedDelayTime;  // UnclampedDelayTime
  // PNG dictionary.
  std::optional<int> pngInterlaceType;  // InterlaceType: 0 none, 1 Adam7
  // JFIF dictionary.
  std::optional<bool> jfifIsProgressive;  // IsProgressive
};

struct FileProperties {
  size_t fileSize = 0;                   // FileSize
  std::optional<int> gifLoopCount;       // GIF LoopCount (0 = endless)
  std::optional<bool> gifHasGlobalColorMap;  // GIF HasGlobalColorMap
};

// Decoders refuse anything beyond these with a clear error instead of
// allocating what the file asks for.
struct DecodeLimits {
  size_t maxDimension = 32767;        // width or height
  size_t maxPixels = size_t{1} << 26;  // width * height of one frame
  size_t maxFrames = 4096;
  size_t maxMemory = size_t{1} << 29;  // bytes a decoder may hold at once

  bool accepts(size_t width, size_t height) const {
    return width > 0 && height > 0 && width <= maxDimension && height <= maxDimension &&
           width * height <= maxPixels && width * height * 4 <= maxMemory;
  }
};

}  // namespace kit
