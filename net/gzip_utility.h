// gzip compression and decompression of whole buffers over zlib, for the
// platform API's request and reply bodies.
//
// Compression writes a gzip member (window bits 31, default level) in one
// finishing pass into a buffer sized with deflateBound, so incompressible
// input fits too. Decompression reads a gzip or zlib stream (window bits 47,
// header detected), only its first member, and refuses output beyond
// kMaximumUncompressedLength.
#pragma once

#include <cstddef>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"

// The error domain of a zlib failure, as handed out by gzipData; the code is
// zlib's result code and the description the message logged for it.
inline constexpr const char* SDPZlibErrorDomain = "com.sdp.networking.zlib";

class cxrLFCGzipUtillity {
 public:
  // Decompressed output is refused beyond this many bytes (64 MiB).
  static constexpr std::size_t kMaximumUncompressedLength = 64u << 20;

  // The gzip form of `data`, or nil: for nil or empty input (logged) and for
  // a zlib failure (logged, and described in *error when given).
  static kit::Ref<kit::Data> gzipData(const kit::Ref<kit::Data>& data, kit::Ref<kit::Error>* error = nullptr);

  // The decompressed bytes; `data` itself when it is nil or empty; nil when
  // the bytes are not a complete gzip or zlib stream or decompress to more
  // than kMaximumUncompressedLength. Logs nothing.
  static kit::Ref<kit::Data> uncompressZippedData(const kit::Ref<kit::Data>& data);
};
