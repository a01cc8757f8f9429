// Fuzzes incremental image sources: the input is fed in growing prefixes
// (split points taken from its first bytes), decoding the first frame after
// each, then as final data.
#include <cstddef>
#include <cstdint>
#include <span>

#include "kit/graphics/image_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  kit::ImageSourceOptions options;
  options.limits.maxPixels = size_t{1} << 22;
  options.limits.maxMemory = size_t{1} << 26;
  options.limits.maxFrames = 64;
  const size_t step = 1 + data[0] % 64;
  std::span<const uint8_t> file(data + 1, size - 1);
  auto source = kit::ImageSource::createIncremental(options);
  for (size_t n = step; n < file.size(); n += step * 8) {
    source->updateData(file.first(n), false);
    source->status();
    if (source->count() > 0) source->createImageAtIndex(0);
  }
  source->updateData(file, true);
  for (size_t i = 0; i < source->count(); ++i) {
    source->propertiesAtIndex(i);
    source->createImageAtIndex(i);
  }
  return 0;
}
