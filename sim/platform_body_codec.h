// The platform API server's side of the scrambled body format, written from
// the wire format alone (it shares nothing with the client's codec but the
// key table): a body is gzip over "x" + numbers joined by "_" + "y", where
// number p is the p-th character of a base64 text plus key entry p % 64.
//
// Requests may carry their base64 in lines joined by CR LF (the client
// breaks it every 64 characters); the server reads them either way. Replies
// are written with the base64 on one line, which is all the client reads.
// The server is strict where the client is lenient: a number with a sign,
// a leading zero or any other character is an error.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/foundation/object.h"

namespace sim {

class PlatformBodyCodec {
 public:
  // Why a body was refused, for the request log and the error reply.
  struct Failure {
    std::string reason;
  };

  // The JSON object of a scrambled gzip body, or nothing with *failure set.
  static kit::Id decodeRequest(std::string_view body, Failure* failure = nullptr);
  // The scrambled gzip body of a JSON object (compact JSON, base64 on one
  // line). Raises kit::Exception for an object without JSON form.
  static std::string encodeReply(const kit::Id& object);
  // The scrambled gzip body of text that is already JSON (or anything).
  static std::string encodeReplyText(std::string_view json);
  // gzip of the compact JSON, no scrambling: the plain reply form.
  static std::string encodePlainReply(const kit::Id& object);

  // The pieces, for tests and fault replies.
  static std::string scramble(std::string_view base64);
  static std::optional<std::string> unscramble(std::string_view text, Failure* failure = nullptr);
  static std::string base64(std::string_view bytes);
  // Strict base64, except that CR LF between lines is skipped.
  static std::optional<std::string> unbase64(std::string_view text);
  static std::string gzip(std::string_view bytes);
  // gzip or zlib; nothing for broken input or output beyond `limit` bytes.
  static std::optional<std::string> gunzip(std::string_view bytes, size_t limit = 16u << 20);
};

}  // namespace sim
