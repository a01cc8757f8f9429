// Fuzzes the decoding of response bodies: the first byte picks the
// Content-Encoding (single codings, stacked ones, an unknown one), the
// second how the rest is cut into pieces; the rest is the body as a server
// sent it. Decoding must stop when the output says so and never hand out
// more than it was asked to take.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kit/net/content_decoder.h"

namespace {

void check(bool condition) {
  if (!condition) abort();
}

constexpr std::string_view kEncodings[] = {"gzip", "x-gzip", "deflate", "br", "zstd", "identity",
                                           "deflate, gzip", "gzip, br", "zstd, deflate", "compress"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string_view encoding = kEncodings[data[0] % std::size(kEncodings)];
  const size_t piece = 1 + data[1] % 64;
  data += 2;
  size -= 2;
  auto decoder = kit::netdetail::ContentDecoder::forEncoding(encoding);
  if (!decoder) return 0;
  // Take at most 4 MiB: a bomb stops there.
  constexpr size_t kLimit = 4 << 20;
  size_t taken = 0;
  bool stopped = false;
  for (size_t at = 0; at < size && !stopped; at += piece) {
    const size_t length = std::min(piece, size - at);
    auto result = decoder->feed(data + at, length, [&](const uint8_t* bytes, size_t n) {
      check(bytes != nullptr && n > 0);
      check(!stopped);
      taken += n;
      if (taken > kLimit) stopped = true;
      return !stopped;
    });
    if (result == kit::netdetail::ContentDecoder::Result::Stopped) check(stopped);
    if (result == kit::netdetail::ContentDecoder::Result::Malformed) break;
  }
  decoder->complete();
  return 0;
}
