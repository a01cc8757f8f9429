// Byte-level helpers shared by the animated PNG reader and writer:
// big-endian integers, the signature and chunks written with a fresh CRC-32
// (zlib's crc32 over type and data, started from 0).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <vector>

#include "ui/images/kt_apng.h"

namespace ktapng {

inline constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
inline constexpr uint32_t kIHDR = KTAPNGChunkType("IHDR");
inline constexpr uint32_t kIDAT = KTAPNGChunkType("IDAT");
inline constexpr uint32_t kIEND = KTAPNGChunkType("IEND");
inline constexpr uint32_t kacTL = KTAPNGChunkType("acTL");
inline constexpr uint32_t kfcTL = KTAPNGChunkType("fcTL");
inline constexpr uint32_t kfdAT = KTAPNGChunkType("fdAT");

inline uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

inline void putBE32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
inline void putBE16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

// Appends a chunk: length, type, data, CRC of type and data.
inline void putChunk(std::vector<uint8_t>& out, uint32_t type, const uint8_t* data, uint32_t length) {
  putBE32(out, length);
  const size_t typeAt = out.size();
  putBE32(out, type);
  out.insert(out.end(), data, data + length);
  const uLong crc = crc32(0, out.data() + typeAt, static_cast<uInt>(length) + 4);
  putBE32(out, static_cast<uint32_t>(crc));
}

}  // namespace ktapng
