// gzip compression and decompression of whole buffers over zlib, for the
// platform API's request and reply bodies.
//
// Compression writes a gzip member (window bits 31, default level) in one
// finishing pass into a buffer sized with deflateBound, so incompressible
// input fits too. Decompression reads a gzip or zlib stream (window bits 47,
// header detected), only its first member, and refuses output beyond
// kMaximumUncompressedLength. It inflates in one call into a buffer of the
// size a gzip member states in its trailer, doubling the buffer when the
// size was not stated or was wrong.
//
// compress() and decompress() do the work and return failures as values;
// gzipData() and uncompressZippedData() are their answers for the request
// clients: nil, with the log lines compression failures are known by.
#pragma once

#include <cstddef>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/expected.h"

// The error domain of a zlib failure: the code is zlib's result code and the
// description the message for it. The zlib call that failed is named under
// SDPZlibFunctionKey ("deflateInit2", "deflate", "inflateInit2", "inflate",
// "inflateEnd"; absent for input refused before any call) and zlib's own
// message, when it gave one, under SDPZlibMessageKey.
inline constexpr const char* SDPZlibErrorDomain = "com.sdp.networking.zlib";
inline constexpr const char* SDPZlibFunctionKey = "SDPZlibFunction";
inline constexpr const char* SDPZlibMessageKey = "SDPZlibMessage";

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

  // The same two operations with their failures as values. Compression
  // refuses nil or empty input with Z_BUF_ERROR; decompression answers nil
  // or empty input with that input, and output beyond the limit with
  // Z_BUF_ERROR from "inflate".
  static kit::Expected<kit::Ref<kit::Data>> compress(const kit::Ref<kit::Data>& data);
  static kit::Expected<kit::Ref<kit::Data>> decompress(const kit::Ref<kit::Data>& data);
};
