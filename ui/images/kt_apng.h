// Animated PNG, read and written by the codec itself: the chunk walk that
// checks a PNG file is a valid animated PNG and records its chunks and
// frame-control fields; the assembly of one frame into a stand-alone PNG
// that the PNG decoder reads; and the writer that turns one PNG per frame
// into an animated PNG.
//
// File format (integers big-endian): the 8-byte signature, then chunks of
// length (4, data only), type (4), data, CRC-32 of type and data (4).
// "acTL" holds the frame count and the play count (0 endless); "fcTL" the
// sequence number, width, height, x and y offset from the canvas's top-left
// corner, delay numerator and denominator (2 each), dispose (0 none,
// 1 background, 2 previous) and blend (0 source, 1 over) operations; "fdAT"
// a sequence number and then image data as an "IDAT" would carry it.
// Stored CRCs are not checked on reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "kit/foundation/data.h"
#include "kit/graphics/bitmap.h"

// A chunk type as one 32-bit value: "IHDR" is 0x49484452.
constexpr uint32_t KTAPNGChunkType(const char (&name)[5]) {
  return (uint32_t(uint8_t(name[0])) << 24) | (uint32_t(uint8_t(name[1])) << 16) | (uint32_t(uint8_t(name[2])) << 8) |
         uint32_t(uint8_t(name[3]));
}

struct KTAPNGChunk {
  uint32_t offset = 0;  // of the length field, from the start of the file
  uint32_t type = 0;
  uint32_t length = 0;  // of the data
  uint32_t crc = 0;     // as stored
};

struct KTAPNGFrame {
  uint32_t chunkIndex = 0;  // the first data chunk, right after the frame's "fcTL"
  uint32_t chunkCount = 0;  // its data chunks
  uint32_t chunkBytes = 0;  // their length + 12, summed
  uint32_t sequence = 0;
  uint32_t width = 0, height = 0;
  uint32_t xOffset = 0, yOffset = 0;  // from the canvas's top-left corner
  uint16_t delayNumerator = 0, delayDenominator = 0;
  uint8_t disposeOp = 0, blendOp = 0;
};

struct KTAPNGInfo {
  // "IHDR"
  uint32_t width = 0, height = 0;
  uint8_t bitDepth = 0, colorType = 0, compressionMethod = 0, filterMethod = 0, interlaceMethod = 0;

  std::vector<KTAPNGChunk> chunks;
  // One entry per "fcTL"; empty when the file is a plain PNG (or an animated
  // one that breaks the rules, which is then shown as a still image).
  std::vector<KTAPNGFrame> frames;
  uint32_t loopCount = 0;  // the "acTL" play count
  // Chunks every assembled frame carries ("IHDR", "PLTE", "tRNS", "IEND",
  // ancillary chunks), in file order, and their length + 12 summed.
  std::vector<uint32_t> sharedChunkIndexes;
  uint64_t sharedChunkBytes = 0;
  uint32_t insertIndex = 0;  // the chunk index of the first "IDAT"
  // The first "fcTL" comes before the "IDAT" run: the default image is frame 0.
  bool firstFrameIsCover = false;
};

// Reads the chunks of a PNG file. Nil for fewer than 32 bytes, a wrong
// signature, a chunk that runs past the data, fewer than 3 chunks or a
// first chunk that is not a 13-byte "IHDR". A plain PNG, and an animated PNG
// that breaks the format's rules (sequence numbers, chunk order, frame
// count, frame rectangles outside the canvas or empty), gives a record
// without frames.
std::unique_ptr<KTAPNGInfo> KTAPNGReadChunks(std::span<const uint8_t> bytes);

// Frame `index` as a stand-alone PNG: the shared chunks, with "IHDR" resized
// to the frame, and the frame's data chunks as "IDAT" chunks before the
// first shared chunk at or after the "IDAT" position. Nothing when the index
// is out of range or the record does not fit the bytes.
std::optional<std::vector<uint8_t>> KTAPNGCopyFrameData(std::span<const uint8_t> bytes, const KTAPNGInfo& info,
                                                        size_t index);

// A delay of `seconds` as a fraction numerator / denominator, each from 1 to
// 255: 0.1 s is 1/10, 0.04 s 1/25; 255 s or more 255/1; 1/255 s or less 1/255.
void KTAPNGDelayFraction(double seconds, uint16_t& numerator, uint16_t& denominator);

// An animated PNG of the images (upright, decoded, one duration each; a
// missing duration counts as 0) with the play count. The canvas is the
// largest width by the largest height; frame 0 is drawn onto it at the
// top-left, later frames keep their size at offset 0,0; every frame is
// disposed to the background and blended as source. Every image is written
// as 8-bit RGBA. Nil for no images or for an image that is nil, empty or
// cannot be encoded.
kit::Ref<kit::Data> KTAPNGWrite(const std::vector<kit::Ref<kit::Bitmap>>& images, const std::vector<double>& durations,
                                uint32_t loopCount);
