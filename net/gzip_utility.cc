// gzip over zlib for the platform API bodies.
#include "net/gzip_utility.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/values.h"

namespace {

constexpr const char* kGzipOperation = "+[cxrLFCGzipUtillity gzipData:]";
constexpr const char* kEmptyInput = "Can't compress an empty or nil NSData object";

// The message for a zlib result code during deflateInit2.
const char* initialisationMessage(int code) {
  switch (code) {
    case Z_VERSION_ERROR: return "The version of zlib.h and the version of the library linked do not match.";
    case Z_MEM_ERROR: return "Insufficient memory.";
    case Z_STREAM_ERROR: return "Invalid parameter passed in to function.";
    default: return "Unknown error code.";
  }
}

// The message for a zlib result code during compression.
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

// The message for a zlib result code during decompression.
const char* decompressionMessage(int code) {
  switch (code) {
    case Z_NEED_DICT: return "The compressed data needs a preset dictionary.";
    case Z_BUF_ERROR: return "The compressed data ends before the stream does.";
    case Z_MEM_ERROR: return "Memory could not be allocated for processing.";
    case Z_DATA_ERROR: return "The deflate data was invalid or incomplete.";
    case Z_STREAM_ERROR: return "The stream state was inconsistent.";
    case Z_VERSION_ERROR: return "The version of zlib.h and the version of the library linked do not match.";
    default: return "Unknown error code.";
  }
}

kit::Unexpected zlibError(int code, const char* description, const char* function, const char* zlibMessage) {
  return kit::unexpected(kit::Error::make(SDPZlibErrorDomain, code,
                                          kit::dict({{kit::LocalizedDescriptionKey, description},
                                                     {SDPZlibFunctionKey, function},
                                                     {SDPZlibMessageKey, zlibMessage}})));
}

std::string infoText(const kit::Error& error, const char* key) {
  auto value = error.userInfo()->objectForKey(kit::str(key));
  return value ? kit::describe(value) : std::string();
}

// The log line of a failed compression, by the step that failed.
void logCompressionFailure(const kit::Error& error) {
  const std::string function = infoText(error, SDPZlibFunctionKey);
  const auto description = kit::str(error.localizedDescription());
  const std::string zlibMessage = infoText(error, SDPZlibMessageKey);
  if (function.empty()) {
    kit::log("%s: Error: %@", kGzipOperation, description);
  } else if (function == "deflateInit2") {
    kit::log("%s:deflateInit2() Error: \"%@\" Message: \"%s\"", kGzipOperation, description, zlibMessage);
  } else {
    kit::log("%s:zlib error while attempting compression: \"%@\" Message: \"%s\"", kGzipOperation, description,
             zlibMessage);
  }
}

// The output buffer's first size. A body that is one whole gzip member ends
// with its uncompressed size (modulo 2^32), so most replies inflate into a
// buffer of exactly their size in one call. The field is only a guess: bytes
// after the member, or a zlib stream, end with something else, so it is
// trusted only as far as deflate can expand the input (at most 1032 to 1)
// and never beyond the limit; without it the guess is four times the input.
size_t firstOutputSize(std::span<const uint8_t> in) {
  constexpr size_t kMostExpansion = 1032;
  const size_t bound = std::min(in.size() * kMostExpansion + 64, cxrLFCGzipUtillity::kMaximumUncompressedLength);
  if (in.size() >= 18 && in[0] == 0x1f && in[1] == 0x8b) {
    const uint8_t* size = in.data() + in.size() - 4;
    const size_t stated = size[0] | size[1] << 8 | size[2] << 16 | static_cast<size_t>(size[3]) << 24;
    if (stated > 0 && stated <= bound) return stated;
  }
  return std::clamp<size_t>(in.size() * 4, 64, bound);
}

// A deflate stream kept from one body to the next. Its state is a quarter
// of a megabyte (window, hash chains, pending output); set up and freed for
// every body, it went back to the system each time and came back as fresh
// pages to fault in and clear, which cost a request more than deflating its
// body did. deflateReset gives the same output as a new stream.
//
// One stream is kept for the process: a compression takes it (or makes its
// own while another thread holds it) and puts it back when it succeeded,
// unless one was put back meanwhile. A stream that failed is dropped.
class DeflateStream {
 public:
  // The kept stream reset, or a new one. `status` is zlib's answer to
  // setting it up: the stream is of no use unless it is Z_OK.
  static std::unique_ptr<DeflateStream> take(int& status) {
    std::unique_ptr<DeflateStream> stream(spare().exchange(nullptr, std::memory_order_acquire));
    if (stream && deflateReset(&stream->z) == Z_OK) {
      status = Z_OK;
      return stream;
    }
    stream = std::make_unique<DeflateStream>();
    status = deflateInit2(&stream->z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    stream->ready_ = status == Z_OK;
    return stream;
  }

  static void putBack(std::unique_ptr<DeflateStream> stream) {
    stream->z.next_in = nullptr;  // holds nothing of the body it made
    stream->z.next_out = nullptr;
    DeflateStream* empty = nullptr;
    if (spare().compare_exchange_strong(empty, stream.get(), std::memory_order_release)) stream.release();
  }

  DeflateStream() = default;
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;
  ~DeflateStream() {
    if (ready_) deflateEnd(&z);
  }

  z_stream z{};

 private:
  static std::atomic<DeflateStream*>& spare() {
    static kit::NoDestructor<std::atomic<DeflateStream*>> slot;
    return *slot;
  }

  bool ready_ = false;
};

}  // namespace

kit::Expected<kit::Ref<kit::Data>> cxrLFCGzipUtillity::compress(const kit::Ref<kit::Data>& data) {
  if (!data || data->empty()) return zlibError(Z_BUF_ERROR, kEmptyInput, nullptr, nullptr);

  int status;
  std::unique_ptr<DeflateStream> deflater = DeflateStream::take(status);
  if (status != Z_OK) return zlibError(status, initialisationMessage(status), "deflateInit2", deflater->z.msg);
  z_stream& stream = deflater->z;

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
    return zlibError(status, compressionMessage(status), "deflate", stream.msg);
  }
  out.resize(stream.total_out);
  DeflateStream::putBack(std::move(deflater));
  return kit::Data::make(std::move(out));
}

kit::Expected<kit::Ref<kit::Data>> cxrLFCGzipUtillity::decompress(const kit::Ref<kit::Data>& data) {
  if (!data || data->empty()) return data;

  // The slack keeps the end of an output of the stated size on zlib's fast
  // path, which wants room for a longest match (258 bytes) after it. The
  // buffer never outgrows the limit, so neither can the output.
  std::vector<uint8_t> out(std::min(firstOutputSize(data->span()) + 512, kMaximumUncompressedLength));
  z_stream stream{};
  stream.next_in = const_cast<Bytef*>(data->bytes());
  stream.avail_in = static_cast<uInt>(std::min<size_t>(data->length(), UINT32_MAX));
  if (int status = inflateInit2(&stream, 47); status != Z_OK) {
    return zlibError(status, decompressionMessage(status), "inflateInit2", stream.msg);
  }

  // Z_FINISH lets zlib inflate straight into the buffer without keeping a
  // window of its own when the buffer is large enough. When it is not,
  // inflate stops with Z_BUF_ERROR and no room left; the buffer doubles and
  // inflation goes on. Z_BUF_ERROR with room left means the input ran out.
  int status;
  while (true) {
    stream.next_out = out.data() + stream.total_out;
    stream.avail_out = static_cast<uInt>(std::min<size_t>(out.size() - stream.total_out, UINT32_MAX));
    status = inflate(&stream, Z_FINISH);
    if (status != Z_BUF_ERROR || stream.avail_out != 0) break;
    if (out.size() >= kMaximumUncompressedLength) {
      inflateEnd(&stream);
      return zlibError(Z_BUF_ERROR, "The uncompressed data is larger than 64 MiB.", "inflate", nullptr);
    }
    out.resize(std::min(out.size() * 2, kMaximumUncompressedLength));
  }

  if (status != Z_STREAM_END) {
    auto failed = zlibError(status, decompressionMessage(status), "inflate", stream.msg);
    inflateEnd(&stream);
    return failed;
  }
  size_t produced = stream.total_out;
  if (int ended = inflateEnd(&stream); ended != Z_OK) {
    return zlibError(ended, decompressionMessage(ended), "inflateEnd", nullptr);
  }
  out.resize(produced);
  // A first size taken from bytes after the member (not its size field) can
  // be far too large; the result does not keep such slack.
  if (out.capacity() - produced > produced + 4096) out.shrink_to_fit();
  return kit::Data::make(std::move(out));
}

kit::Ref<kit::Data> cxrLFCGzipUtillity::gzipData(const kit::Ref<kit::Data>& data, kit::Ref<kit::Error>* error) {
  auto compressed = compress(data);
  if (!compressed) {
    logCompressionFailure(*compressed.error());
    if (error) *error = compressed.error();
    return nullptr;
  }
  return std::move(compressed).value();
}

kit::Ref<kit::Data> cxrLFCGzipUtillity::uncompressZippedData(const kit::Ref<kit::Data>& data) {
  return decompress(data).valueOr(nullptr);
}
