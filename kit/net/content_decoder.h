// Internal: undoes a response's Content-Encoding (gzip, x-gzip, deflate, br,
// zstd, in the reverse of the order listed) as the body arrives, in bounded
// pieces, and knows whether each compressed stream reached its end, so that
// a body cut short is told apart from a whole one. A coding kit does not
// know fails on the first body byte; "identity" is no coding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace kit::netdetail {

class ContentDecoder {
 public:
  // Takes decoded bytes; returns false to stop decoding.
  using Output = std::function<bool(const uint8_t* bytes, size_t length)>;
  enum class Result { Ok, Stopped, Malformed };

  // nullptr when the value names no coding to undo.
  static std::unique_ptr<ContentDecoder> forEncoding(std::string_view contentEncoding);
  ~ContentDecoder();

  // Decodes the next bytes of the body into `out`, in pieces of at most a
  // few tens of kilobytes.
  Result feed(const uint8_t* bytes, size_t length, const Output& out);
  // True when no bytes came, or every stream that began has ended.
  bool complete() const;

  class Stage;

 private:
  ContentDecoder() = default;
  Result feedStage(size_t index, const uint8_t* bytes, size_t length, const Output& out);

  std::vector<std::unique_ptr<Stage>> stages_;  // the outermost coding first
  bool fed_ = false;
};

}  // namespace kit::netdetail
