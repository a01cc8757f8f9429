// The platform API's body codec.
//
// A request body is the gzip form of a scrambled text: the compact JSON of
// the parameters, base64-encoded in lines of 64 characters joined by CR LF,
// and every character c at position p written as the decimal number
// c + key[p % 64] (UTF-16 code units), the numbers joined by "_" between an
// "x" in front and a "y" behind. A scrambled reply has the same form with
// its base64 on one line; a plain reply is gzip-compressed JSON.
//
// Decoding never throws. decodeScrambledReply() and decodePlainReply() say
// which step a reply failed at; decodingJSON() and cxr_decodingJSON() are
// their answers for the request clients: the object or nil, with a log line
// for a JSON parse error alone.
#pragma once

#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/expected.h"
#include "kit/foundation/string.h"

// The error domain of a reply that fails a step of the codec itself. A reply
// that does not decompress fails with the zlib error (gzip_utility.h).
inline constexpr const char* SDPBodyCodecErrorDomain = "com.sdp.networking.bodycodec";
enum SDPBodyCodecError : long {
  SDPBodyCodecErrorEmptyReply = 1,   // nothing, or nothing once decompressed
  SDPBodyCodecErrorNotText = 2,      // the reply or its decoded JSON bytes are not UTF-8 text
  SDPBodyCodecErrorNoFraming = 3,    // fewer than the two framing characters
  SDPBodyCodecErrorNotBase64 = 4,    // the unscrambled text is not strict base64
  SDPBodyCodecErrorNotJSON = 5,      // the parser's error is the underlying error
};

class DecodeGzipBase64 {
 public:
  // The request body for a parameter object, or nil when the object has no
  // JSON form or compression fails; both are logged, and *error (when
  // given) receives the JSON or zlib error.
  static kit::Ref<kit::Data> codingJSON(const kit::Id& parameters, kit::Ref<kit::Error>* error = nullptr);

  // The JSON object (an object or array, strings mutable) of a scrambled
  // reply body, or nil. Only a JSON parse error is logged.
  static kit::Id decodingJSON(const kit::Ref<kit::Data>& body);

  // The JSON object of a plain (gzip-only) reply body, or nil; a parse
  // error is logged.
  static kit::Id cxr_decodingJSON(const kit::Ref<kit::Data>& body);

  // The two decodings with their failures as values, logging nothing.
  static kit::Expected<kit::Id> decodeScrambledReply(const kit::Ref<kit::Data>& body);
  static kit::Expected<kit::Id> decodePlainReply(const kit::Ref<kit::Data>& body);

  // One one-unit string per UTF-16 unit of `text`, in order.
  static kit::Ref<kit::Array> getArrayFromStr(const kit::Ref<kit::String>& text);

  // The key table as a new array of one-unit strings.
  static kit::Ref<kit::Array> getArray();
};
