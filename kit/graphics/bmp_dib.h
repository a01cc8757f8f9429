// The device-independent bitmap format shared by BMP files and icons.
#pragma once

#include <cstdint>
#include <string>

#include "kit/graphics/bitmap.h"
#include "kit/graphics/image_properties.h"

namespace kit {

struct DIBHeader {
  uint32_t headerSize = 0;
  int32_t width = 0, height = 0;  // height made positive; topDown keeps the sign
  bool topDown = false;
  int bitsPerPixel = 0;
  uint32_t compression = 0;  // 0 none, 3 bit fields, 6 bit fields with alpha
  uint32_t colorsUsed = 0;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;
  size_t paletteEntrySize = 4;
};

bool readDIBHeader(const uint8_t* data, size_t size, DIBHeader& header, std::string& error);

// Decodes a DIB starting at its header. pixelOffset 0 means the pixels
// follow the header and palette. With an AND mask (icons) the mask after
// the colour rows makes pixels transparent; `height` overrides the header's
// (icons store it doubled). Rows missing from the data stay transparent.
Ref<Bitmap> decodeDIB(const uint8_t* data, size_t size, size_t pixelOffset, bool withAndMask, int32_t height,
                      const DecodeLimits& limits, std::string& error);

}  // namespace kit
