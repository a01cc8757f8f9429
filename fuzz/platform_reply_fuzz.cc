// Fuzzes the platform API body readers: the client's reply decoders (the
// scrambled and the plain form) and the local server's request decoder.
// The first byte picks whether the rest is used as it is or gzip-compressed
// first, so the fuzzer reaches the unscrambling and not only zlib. Where the
// server's strict reader takes a compressed text, the client must read the
// same object from it: the client's one-pass reading of well-formed replies
// and its step-by-step reading of the rest agree with an independent reader.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/json_serialization.h"
#include "net/body_codec.h"
#include "net/gzip_utility.h"
#include "sim/platform_body_codec.h"

namespace {

std::string gzip(const uint8_t* bytes, size_t size) {
  z_stream s{};
  deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, size), '\0');
  s.next_in = const_cast<Bytef*>(bytes);
  s.avail_in = static_cast<uInt>(size);
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

bool isContainer(const kit::Id& value) { return kit::isKind<kit::Dictionary>(value) || kit::isKind<kit::Array>(value); }

bool knownFailure(const kit::Error& error) {
  return error.domain() == SDPBodyCodecErrorDomain || error.domain() == SDPZlibErrorDomain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size == 0) return 0;
  const bool compress = bytes[0] & 1;
  std::string body =
      compress ? gzip(bytes + 1, size - 1) : std::string(reinterpret_cast<const char*>(bytes + 1), size - 1);
  auto data = kit::Data::make(body);

  kit::Id scrambled = DecodeGzipBase64::decodingJSON(data);
  if (scrambled && !isContainer(scrambled)) std::abort();
  kit::Id plain = DecodeGzipBase64::cxr_decodingJSON(data);
  if (plain && !isContainer(plain)) std::abort();
  // The decodings as values agree with the answers and always say why not.
  auto scrambledValue = DecodeGzipBase64::decodeScrambledReply(data);
  auto plainValue = DecodeGzipBase64::decodePlainReply(data);
  if (scrambledValue.hasValue() != (scrambled != nullptr) || plainValue.hasValue() != (plain != nullptr)) std::abort();
  if (!scrambledValue && !knownFailure(*scrambledValue.error())) std::abort();
  if (!plainValue && !knownFailure(*plainValue.error())) std::abort();

  if (compress) {
    const std::string_view text(reinterpret_cast<const char*>(bytes + 1), size - 1);
    auto base64 = sim::PlatformBodyCodec::unscramble(text);
    auto json = base64 && base64->find_first_of("\r\n") == std::string::npos
                    ? sim::PlatformBodyCodec::unbase64(*base64)
                    : std::nullopt;
    if (json && kit::isValidUTF8(*json)) {
      kit::Id expected = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(*json),
                                                                    kit::JSONReadingMutableLeaves);
      if (isContainer(expected) && !kit::isEqual(scrambled, expected)) std::abort();
    }
  }

  sim::PlatformBodyCodec::Failure failure;
  kit::Id request = sim::PlatformBodyCodec::decodeRequest(body, &failure);
  if (!request && failure.reason.empty()) std::abort();
  // What the server reads, the client writes the same way.
  if (request && kit::isKind<kit::Dictionary>(request)) {
    kit::Id again = sim::PlatformBodyCodec::decodeRequest(DecodeGzipBase64::codingJSON(request)->view());
    if (!kit::isEqual(again, request)) std::abort();
  }
  return 0;
}
