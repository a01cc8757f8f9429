// Fuzzes incremental image sources: the input is fed in growing prefixes
// (split points taken from its first bytes), decoding the first frame after
// each, then as final data. A second source is given only the bytes after
// what it was given before (now and then with a wrong count, which it must
// notice) and has to end up as the first.
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
  const size_t miscount = data[0] >> 7;
  auto source = kit::ImageSource::createIncremental(options);
  auto appended = kit::ImageSource::createIncremental(options);
  size_t given = 0;
  for (size_t n = step; n < file.size(); n += step * 8) {
    source->updateData(file.first(n), false);
    source->status();
    if (source->count() > 0) source->createImageAtIndex(0);
    appended->updateData(file.first(n), given > miscount ? given - miscount : given, false);
    given = n;
  }
  source->updateData(file, true);
  appended->updateData(file, given, true);
  if (appended->status() != source->status() || appended->count() != source->count()) __builtin_trap();
  for (size_t i = 0; i < source->count(); ++i) {
    source->propertiesAtIndex(i);
    source->createImageAtIndex(i);
  }
  return 0;
}
