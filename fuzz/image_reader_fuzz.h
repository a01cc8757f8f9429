// The body shared by the image reader fuzz targets: open the input as a
// complete file and as a partial download, then read every frame's
// properties and decode it, with limits small enough that a hostile header
// cannot make the run allocate a lot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kit/graphics/image_codecs.h"

template <class Open>
int fuzzImageReader(const uint8_t* data, size_t size, Open open, size_t maxPixels = size_t{1} << 22) {
  kit::DecodeLimits limits;
  limits.maxPixels = maxPixels;
  limits.maxMemory = size_t{1} << 26;
  limits.maxFrames = 64;
  auto bytes = kit::makeBytes(std::span<const uint8_t>(data, size));
  for (bool complete : {true, false}) {
    std::string error;
    auto reader = open(bytes, complete, limits, error);
    if (!reader) continue;
    for (size_t i = 0; i < reader->frameCount(); ++i) {
      reader->frameProperties(i);
      auto bitmap = reader->decode(i, error);
      if (bitmap) bitmap->pixelAt(bitmap->width() - 1, bitmap->height() - 1);
    }
    reader->fileProperties();
  }
  return 0;
}
