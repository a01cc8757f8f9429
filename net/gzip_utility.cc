// gzip over zlib for the platform API bodies.
#include "net/gzip_utility.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "kit/foundation/log.h"

namespace {

constexpr const char* kGzipOperation = "+[cxrLFCGzipUtillity gzipData:]";

// The text logged for a zlib result code during deflateInit2.
const char* initialisationMessage(int code) {
  switch (code) {
    case Z_VERSION_ERROR: return "The version of zlib.h and the version of the library linked do not match.";
    case Z_MEM_ERROR: return "Insufficient memory.";
    case Z_STREAM_ERROR: return "Invalid parameter passed in to function.";
    default: return "Unknown error code.";
  }
}

// The text logged for a zlib result code during compression.
const char* compressionMessage(int code) {
  switch (code) {
    case Z_VERSION_ERROR: return "The version of zlib.h and the version of the library linked do not match.";
    case Z_BUF_ERROR: return "Ran out of output buffer for writing compressed bytes.";
    case Z_MEM_ERROR: return "Memory could not be allocated for processing.";
    case Z_DATA_ERROR: return "The deflate data was invalid or incomplete.";
    case Z_STREAM_ERROR: return "The stream state was inconsistent (e.g., next_in or next_out was NULL).";
    case Z_ERRNO: return "Error occured while reading file.";
    default: return "Unknown error code.";
  }
}

kit::Ref<kit::Error> zlibError(int code, const char* message) {
  return kit::Error::make(SDPZlibErrorDomain, code, message);
}

}  // namespace

kit::Ref<kit::Data> cxrLFCGzipUtillity::gzipData(const kit::Ref<kit::Data>& data, kit::Ref<kit::Error>* error) {
  if (!data || data->empty()) {
    kit::log("%s: Error: Can't compress an empty or nil NSData object", kGzipOperation);
    if (error) *error = zlibError(Z_BUF_ERROR, "Can't compress an empty or nil NSData object");
    return nullptr;
  }

  z_stream stream{};
  int status = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  if (status != Z_OK) {
    const char* message = initialisationMessage(status);
    kit::log("%s:deflateInit2() Error: \"%@\" Message: \"%s\"", kGzipOperation, kit::str(message),
             stream.msg ? stream.msg : "");
    if (error) *error = zlibError(status, message);
    return nullptr;
  }

  // deflateBound covers the worst case of the whole input in one pass, so a
  // buffer of that size never runs out, incompressible input included.
  std::vector<uint8_t> out(deflateBound(&stream, static_cast<uLong>(data->length())));
  stream.next_in = const_cast<Bytef*>(data->bytes());
  stream.avail_in = static_cast<uInt>(data->length());
  do {
    stream.next_out = out.data() + stream.total_out;
    stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
    status = deflate(&stream, Z_FINISH);
  } while (status == Z_OK);

  if (status != Z_STREAM_END) {
    const char* message = compressionMessage(status);
    kit::log("%s:zlib error while attempting compression: \"%@\" Message: \"%s\"", kGzipOperation, kit::str(message),
             stream.msg ? stream.msg : "");
    if (error) *error = zlibError(status, message);
    deflateEnd(&stream);
    return nullptr;
  }
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return kit::Data::make(std::move(out));
}

kit::Ref<kit::Data> cxrLFCGzipUtillity::uncompressZippedData(const kit::Ref<kit::Data>& data) {
  if (!data || data->empty()) return data;

  const size_t length = data->length();
  // The buffer starts at one and a half times the input and grows by half
  // the input each time it fills (at least one byte, so tiny inputs still
  // make progress), up to the output limit.
  const size_t step = std::max<size_t>(length / 2, 1);
  std::vector<uint8_t> out(std::min(length + length / 2, kMaximumUncompressedLength));

  z_stream stream{};
  stream.next_in = const_cast<Bytef*>(data->bytes());
  stream.avail_in = static_cast<uInt>(std::min<size_t>(length, UINT32_MAX));
  if (inflateInit2(&stream, 47) != Z_OK) return nullptr;

  int status = Z_OK;
  while (status == Z_OK) {
    if (stream.total_out >= out.size()) {
      if (out.size() >= kMaximumUncompressedLength) {
        inflateEnd(&stream);
        return nullptr;
      }
      out.resize(std::min(out.size() + step, kMaximumUncompressedLength));
    }
    stream.next_out = out.data() + stream.total_out;
    stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
    status = inflate(&stream, Z_SYNC_FLUSH);
  }

  if (status != Z_STREAM_END) {
    inflateEnd(&stream);
    return nullptr;
  }
  size_t produced = stream.total_out;
  if (inflateEnd(&stream) != Z_OK) return nullptr;
  out.resize(produced);
  return kit::Data::make(std::move(out));
}
