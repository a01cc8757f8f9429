// Animated PNG reading: the chunk walk, the validity and order rules, the
// frame table, and the assembly of one frame as a stand-alone PNG. See
// kt_apng.h. All offsets and sizes are computed in 64 bits and checked
// against the data before anything is read.
#include "ui/images/kt_apng.h"

#include <cstring>
#include <limits>

#include "ui/images/kt_apng_bytes.h"

namespace {

using namespace ktapng;

KTAPNGFrame readFrameControl(const uint8_t* d) {
  KTAPNGFrame f;
  f.sequence = be32(d);
  f.width = be32(d + 4);
  f.height = be32(d + 8);
  f.xOffset = be32(d + 12);
  f.yOffset = be32(d + 16);
  f.delayNumerator = be16(d + 20);
  f.delayDenominator = be16(d + 22);
  f.disposeOp = d[24];
  f.blendOp = d[25];
  return f;
}

struct Walk {
  std::vector<KTAPNGChunk> chunks;
  bool invalid = false;
  uint32_t frameControls = 0;
  uint32_t announcedFrames = 0, plays = 0;
};

// Algorithm: read chunk after chunk from offset 8 until "IEND" or until
// fewer than 12 bytes remain; false when a chunk runs past the data.
bool walkChunks(std::span<const uint8_t> bytes, Walk& walk) {
  const uint8_t* data = bytes.data();
  const uint64_t size = bytes.size();
  uint64_t offset = 8;
  int64_t lastSequence = -1;
  walk.chunks.reserve(16);
  while (true) {
    KTAPNGChunk chunk;
    chunk.offset = static_cast<uint32_t>(offset);
    chunk.length = be32(data + offset);
    chunk.type = be32(data + offset + 4);
    const uint64_t end = offset + uint64_t{chunk.length} + 12;
    if (end > size) return false;
    chunk.crc = be32(data + end - 4);
    walk.chunks.push_back(chunk);
    const uint8_t* payload = data + offset + 8;
    if (chunk.type == kfcTL) {
      if (chunk.length != 26) walk.invalid = true;
      else ++walk.frameControls;
    }
    if (chunk.type == kfcTL || chunk.type == kfdAT) {
      if (chunk.length < 5) {
        walk.invalid = true;
      } else {
        const uint32_t sequence = be32(payload);
        if (int64_t{sequence} != lastSequence + 1) walk.invalid = true;
        lastSequence = sequence;
      }
    } else if (chunk.type == kacTL) {
      if (chunk.length == 8) {
        walk.announcedFrames = be32(payload);
        walk.plays = be32(payload + 4);
      } else {
        walk.invalid = true;
      }
    }
    offset = end;
    if (chunk.type == kIEND || size - offset < 12) return true;
  }
}

// The order rules of an animated PNG, and every frame rectangle inside the
// canvas and not empty.
bool orderIsValid(std::span<const uint8_t> bytes, const KTAPNGInfo& info, uint32_t announcedFrames) {
  const auto& chunks = info.chunks;
  uint32_t acTLs = 0, IHDRs = 0, IDATs = 0, fcTLs = 0;
  bool idatRunEnded = false;
  for (size_t i = 0; i < chunks.size(); ++i) {
    const uint32_t type = chunks[i].type;
    const uint32_t previous = i > 0 ? chunks[i - 1].type : 0;
    if (previous == kIDAT && type != kIDAT) idatRunEnded = true;
    if (type == kacTL) {
      if (++acTLs > 1) return false;
    } else if (type == kIHDR) {
      if (i != 0) return false;
      ++IHDRs;
    } else if (type == kfcTL) {
      if (i + 1 >= chunks.size()) return false;
      const uint32_t next = chunks[i + 1].type;
      if (next != kfdAT && next != kIDAT) return false;
      const KTAPNGFrame f = readFrameControl(bytes.data() + chunks[i].offset + 8);
      if (f.width == 0 || f.height == 0) return false;
      if (uint64_t{f.xOffset} + f.width > info.width || uint64_t{f.yOffset} + f.height > info.height) return false;
      ++fcTLs;
    } else if (type == kfdAT) {
      if (previous != kfdAT && previous != kfcTL) return false;
    } else if (type == kIDAT) {
      if (idatRunEnded) return false;
      ++IDATs;
    }
  }
  return acTLs == 1 && IHDRs == 1 && IDATs > 0 && fcTLs >= announcedFrames;
}

void buildFrameTable(std::span<const uint8_t> bytes, KTAPNGInfo& info, const Walk& walk) {
  const auto& chunks = info.chunks;
  info.loopCount = walk.plays;
  for (size_t i = 0; i < chunks.size(); ++i) {
    if (chunks[i].type == kIDAT) {
      info.insertIndex = static_cast<uint32_t>(i);
      break;
    }
  }
  for (size_t i = 0; i + 1 < chunks.size(); ++i) {
    if (chunks[i].type == kfcTL) {
      info.firstFrameIsCover = chunks[i + 1].type == kIDAT;
      break;
    }
  }
  info.frames.reserve(walk.frameControls);
  KTAPNGFrame* current = nullptr;
  for (size_t i = 0; i < chunks.size(); ++i) {
    const KTAPNGChunk& chunk = chunks[i];
    const uint32_t bytesOfChunk = chunk.length + 12;  // inside the data, so below 2^32
    if (chunk.type == kfcTL) {
      KTAPNGFrame frame = readFrameControl(bytes.data() + chunk.offset + 8);
      frame.chunkIndex = static_cast<uint32_t>(i + 1);
      info.frames.push_back(frame);
      current = &info.frames.back();
    } else if (chunk.type == kfdAT || (chunk.type == kIDAT && info.firstFrameIsCover)) {
      if (current) {
        ++current->chunkCount;
        current->chunkBytes += bytesOfChunk;
      }
    } else if (chunk.type == kIDAT || chunk.type == kacTL) {
      // The default image outside the animation, and the animation control,
      // belong to no frame.
    } else {
      info.sharedChunkIndexes.push_back(static_cast<uint32_t>(i));
      info.sharedChunkBytes += bytesOfChunk;
    }
  }
}

}  // namespace

std::unique_ptr<KTAPNGInfo> KTAPNGReadChunks(std::span<const uint8_t> bytes) {
  if (bytes.size() < 32 || bytes.size() > std::numeric_limits<uint32_t>::max()) return nullptr;
  if (std::memcmp(bytes.data(), kSignature, 8) != 0) return nullptr;
  Walk walk;
  if (!walkChunks(bytes, walk)) return nullptr;
  if (walk.chunks.size() < 3 || walk.chunks[0].type != kIHDR || walk.chunks[0].length != 13) return nullptr;

  auto info = std::make_unique<KTAPNGInfo>();
  const uint8_t* header = bytes.data() + walk.chunks[0].offset + 8;
  info->width = be32(header);
  info->height = be32(header + 4);
  info->bitDepth = header[8];
  info->colorType = header[9];
  info->compressionMethod = header[10];
  info->filterMethod = header[11];
  info->interlaceMethod = header[12];
  info->chunks = std::move(walk.chunks);

  // A plain PNG, or an animation that breaks the rules: a still image.
  if (walk.invalid || walk.announcedFrames != walk.frameControls || walk.announcedFrames < 1 ||
      info->chunks.back().type != kIEND) {
    return info;
  }
  if (!orderIsValid(bytes, *info, walk.announcedFrames)) return info;
  buildFrameTable(bytes, *info, walk);
  return info;
}

std::optional<std::vector<uint8_t>> KTAPNGCopyFrameData(std::span<const uint8_t> bytes, const KTAPNGInfo& info,
                                                        size_t index) {
  if (index >= info.frames.size()) return std::nullopt;
  const KTAPNGFrame& frame = info.frames[index];
  const auto& chunks = info.chunks;
  const uint64_t firstChunk = frame.chunkIndex, endChunk = firstChunk + frame.chunkCount;
  if (endChunk > chunks.size()) return std::nullopt;
  auto fits = [&](const KTAPNGChunk& c) { return uint64_t{c.offset} + c.length + 12 <= bytes.size(); };

  // The size, chunk by chunk: shared chunks whole ("IHDR" is always 25
  // bytes), "IDAT" whole, "fdAT" without its sequence number.
  uint64_t size = 8;
  for (uint32_t shared : info.sharedChunkIndexes) {
    if (shared >= chunks.size() || !fits(chunks[shared])) return std::nullopt;
    size += chunks[shared].type == kIHDR ? 25 : uint64_t{chunks[shared].length} + 12;
  }
  for (uint64_t i = firstChunk; i < endChunk; ++i) {
    const KTAPNGChunk& c = chunks[i];
    if (!fits(c)) return std::nullopt;
    if (c.type == kfdAT) {
      if (c.length < 4) return std::nullopt;
      size += uint64_t{c.length} + 8;
    } else if (c.type == kIDAT) {
      size += uint64_t{c.length} + 12;
    } else {
      return std::nullopt;
    }
  }
  if (size > bytes.size() + 25) return std::nullopt;  // never more than the file itself holds

  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(size));
  out.insert(out.end(), kSignature, kSignature + 8);
  auto writeFrameChunks = [&] {
    for (uint64_t i = firstChunk; i < endChunk; ++i) {
      const KTAPNGChunk& c = chunks[i];
      const uint8_t* start = bytes.data() + c.offset;
      if (c.type == kfdAT) putChunk(out, kIDAT, start + 12, c.length - 4);
      else out.insert(out.end(), start, start + c.length + 12);
    }
  };
  bool inserted = false;
  for (uint32_t shared : info.sharedChunkIndexes) {
    if (!inserted && shared >= info.insertIndex) {
      writeFrameChunks();
      inserted = true;
    }
    const KTAPNGChunk& c = chunks[shared];
    const uint8_t* start = bytes.data() + c.offset;
    if (c.type == kIHDR) {
      const uint32_t w = frame.width, h = frame.height;
      const uint8_t header[13] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                                  uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                                  info.bitDepth,    info.colorType,   info.compressionMethod,
                                  info.filterMethod, info.interlaceMethod};
      putChunk(out, kIHDR, header, 13);
    } else {
      out.insert(out.end(), start, start + c.length + 12);
    }
  }
  if (!inserted || out.size() != size) return std::nullopt;
  return out;
}
