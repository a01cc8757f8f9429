// Fuzzes the ICNS reader: the container walk, the classic run-length icons
// and masks, and the embedded PNG and JPEG 2000 icons, with limits small
// enough that a hostile header cannot make the run allocate a lot.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kit/graphics/image_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kit::DecodeLimits limits;
  limits.maxPixels = size_t{1} << 20;
  limits.maxMemory = size_t{1} << 26;
  limits.maxFrames = 64;
  auto bytes = std::make_shared<const std::vector<uint8_t>>(data, data + size);
  for (bool complete : {true, false}) {
    std::string error;
    auto reader = kit::openICNSReader(bytes, complete, limits, error);
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
