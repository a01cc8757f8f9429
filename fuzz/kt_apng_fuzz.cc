// Fuzzes the animated PNG chunk reader and frame assembly: every frame of a
// record is assembled, checked against the record (its size and its
// header), and read back by the PNG reader under small limits.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "kit/graphics/image_codecs.h"
#include "ui/images/kt_apng.h"

namespace {

uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> file(data, size);
  auto info = KTAPNGReadChunks(file);
  if (!info) return 0;
  for (const KTAPNGChunk& chunk : info->chunks) {
    if (uint64_t{chunk.offset} + chunk.length + 12 > size) __builtin_trap();  // every chunk lies in the data
  }
  kit::DecodeLimits limits;
  limits.maxPixels = size_t{1} << 18;
  limits.maxMemory = size_t{1} << 24;
  limits.maxFrames = 4;
  for (size_t k = 0; k <= info->frames.size(); ++k) {
    auto png = KTAPNGCopyFrameData(file, *info, k);
    if (k == info->frames.size()) {
      if (png) __builtin_trap();
      break;
    }
    const KTAPNGFrame& frame = info->frames[k];
    // Frames lie inside the canvas and are not empty.
    if (frame.width == 0 || frame.height == 0 || uint64_t{frame.xOffset} + frame.width > info->width ||
        uint64_t{frame.yOffset} + frame.height > info->height) {
      __builtin_trap();
    }
    if (!png) continue;
    const bool cover = k == 0 && info->firstFrameIsCover;
    const uint64_t expected = info->sharedChunkBytes + frame.chunkBytes + 8 - (cover ? 0 : 4ull * frame.chunkCount);
    if (png->size() != expected) __builtin_trap();
    if (png->size() < 33 || be32(png->data() + 16) != frame.width || be32(png->data() + 20) != frame.height) {
      __builtin_trap();
    }
    auto bytes = kit::makeBytes(std::move(*png));
    std::string error;
    if (auto reader = kit::openPNGReader(bytes, true, limits, error)) {
      if (reader->frameCount() > 0) reader->decode(0, error);
    }
  }
  return 0;
}
