// Content decoding stages on zlib, brotli and zstd.
#include "kit/net/content_decoder.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace kit::netdetail {

namespace {

constexpr size_t kPiece = 32 * 1024;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

class ContentDecoder::Stage {
 public:
  using Next = std::function<bool(const uint8_t*, size_t)>;
  virtual ~Stage() = default;
  // Decodes `bytes`, handing each decoded piece to `next`.
  virtual Result feed(const uint8_t* bytes, size_t length, const Next& next) = 0;
  virtual bool ended() const = 0;
  bool fed = false;

 protected:
  std::vector<uint8_t> out_ = std::vector<uint8_t>(kPiece);
};

namespace {

using Result = ContentDecoder::Result;

// gzip, or deflate with or without its zlib wrapper (servers send both under
// that name; the first two bytes tell which). Bytes after the end of the
// stream are ignored.
class ZlibStage : public ContentDecoder::Stage {
 public:
  explicit ZlibStage(bool gzip) {
    if (gzip) start(16 + MAX_WBITS);
  }
  ~ZlibStage() override {
    if (started_) inflateEnd(&z_);
  }

  Result feed(const uint8_t* bytes, size_t length, const Next& next) override {
    if (ended_) return Result::Ok;
    if (!started_) {
      // deflate: a zlib header is a method of 8 and a check that makes the
      // two bytes a multiple of 31.
      head_.insert(head_.end(), bytes, bytes + length);
      if (head_.size() < 2) return Result::Ok;
      const bool wrapped = (head_[0] & 0x0f) == 8 && ((head_[0] << 8) | head_[1]) % 31 == 0;
      start(wrapped ? MAX_WBITS : -MAX_WBITS);
      std::vector<uint8_t> all = std::move(head_);
      return inflateSome(all.data(), all.size(), next);
    }
    return inflateSome(bytes, length, next);
  }
  bool ended() const override { return ended_; }

 private:
  void start(int windowBits) {
    inflateInit2(&z_, windowBits);
    started_ = true;
  }

  Result inflateSome(const uint8_t* bytes, size_t length, const Next& next) {
    z_.next_in = const_cast<Bytef*>(bytes);
    z_.avail_in = static_cast<uInt>(length);
    for (;;) {
      z_.next_out = out_.data();
      z_.avail_out = static_cast<uInt>(out_.size());
      const int status = inflate(&z_, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) return Result::Malformed;
      const size_t produced = out_.size() - z_.avail_out;
      if (produced > 0 && !next(out_.data(), produced)) return Result::Stopped;
      if (status == Z_STREAM_END) {
        ended_ = true;
        return Result::Ok;
      }
      // Done with this piece when all input is in and the output was not
      // filled (a full buffer may hold back more).
      if (z_.avail_in == 0 && z_.avail_out > 0) return Result::Ok;
    }
  }

  z_stream z_{};
  bool started_ = false;
  bool ended_ = false;
  std::vector<uint8_t> head_;
};

class BrotliStage : public ContentDecoder::Stage {
 public:
  BrotliStage() : state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
  ~BrotliStage() override { BrotliDecoderDestroyInstance(state_); }

  Result feed(const uint8_t* bytes, size_t length, const Next& next) override {
    if (ended_) return Result::Ok;
    size_t availableIn = length;
    const uint8_t* in = bytes;
    for (;;) {
      size_t availableOut = out_.size();
      uint8_t* out = out_.data();
      auto status = BrotliDecoderDecompressStream(state_, &availableIn, &in, &availableOut, &out, nullptr);
      if (status == BROTLI_DECODER_RESULT_ERROR) return Result::Malformed;
      const size_t produced = out_.size() - availableOut;
      if (produced > 0 && !next(out_.data(), produced)) return Result::Stopped;
      if (status == BROTLI_DECODER_RESULT_SUCCESS) {
        ended_ = true;
        return Result::Ok;
      }
      if (status == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) return Result::Ok;
    }
  }
  bool ended() const override { return ended_; }

 private:
  BrotliDecoderState* state_;
  bool ended_ = false;
};

// One or more zstd frames; the stream has ended when its last frame has.
class ZstdStage : public ContentDecoder::Stage {
 public:
  ZstdStage() : stream_(ZSTD_createDStream()) {
    // Frames that ask for a window beyond 8 MiB are refused, as a bound on
    // what a server can make the client allocate.
    ZSTD_DCtx_setParameter(stream_, ZSTD_d_windowLogMax, 23);
  }
  ~ZstdStage() override { ZSTD_freeDStream(stream_); }

  Result feed(const uint8_t* bytes, size_t length, const Next& next) override {
    ZSTD_inBuffer in{bytes, length, 0};
    for (;;) {
      ZSTD_outBuffer out{out_.data(), out_.size(), 0};
      const size_t hint = ZSTD_decompressStream(stream_, &out, &in);
      if (ZSTD_isError(hint)) return Result::Malformed;
      frameEnded_ = hint == 0;
      if (out.pos > 0 && !next(out_.data(), out.pos)) return Result::Stopped;
      // Done with this piece when all input is in and the output was not
      // filled (a full buffer may hold back more).
      if (in.pos == in.size && out.pos < out.size) return Result::Ok;
    }
  }
  bool ended() const override { return frameEnded_; }

 private:
  ZSTD_DStream* stream_;
  bool frameEnded_ = false;
};

// A coding kit cannot undo: any byte of the body is an error.
class UnknownStage : public ContentDecoder::Stage {
 public:
  Result feed(const uint8_t*, size_t length, const Next&) override {
    return length > 0 ? Result::Malformed : Result::Ok;
  }
  bool ended() const override { return false; }
};

}  // namespace

std::unique_ptr<ContentDecoder> ContentDecoder::forEncoding(std::string_view value) {
  std::vector<std::unique_ptr<Stage>> listed;
  while (!value.empty()) {
    const size_t comma = value.find(',');
    std::string_view token = value.substr(0, comma);
    value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    while (!token.empty() && (token.front() == ' ' || token.front() == '\t')) token.remove_prefix(1);
    while (!token.empty() && (token.back() == ' ' || token.back() == '\t' || token.back() == '\r')) token.remove_suffix(1);
    if (token.empty() || equalsIgnoringCase(token, "identity")) continue;
    if (equalsIgnoringCase(token, "gzip") || equalsIgnoringCase(token, "x-gzip")) {
      listed.push_back(std::make_unique<ZlibStage>(true));
    } else if (equalsIgnoringCase(token, "deflate")) {
      listed.push_back(std::make_unique<ZlibStage>(false));
    } else if (equalsIgnoringCase(token, "br")) {
      listed.push_back(std::make_unique<BrotliStage>());
    } else if (equalsIgnoringCase(token, "zstd")) {
      listed.push_back(std::make_unique<ZstdStage>());
    } else {
      listed.push_back(std::make_unique<UnknownStage>());
    }
  }
  if (listed.empty()) return nullptr;
  auto decoder = std::unique_ptr<ContentDecoder>(new ContentDecoder());
  // The last coding listed was applied last, so it is undone first.
  decoder->stages_.assign(std::make_move_iterator(listed.rbegin()), std::make_move_iterator(listed.rend()));
  return decoder;
}

ContentDecoder::~ContentDecoder() = default;

ContentDecoder::Result ContentDecoder::feed(const uint8_t* bytes, size_t length, const Output& out) {
  if (length == 0) return Result::Ok;
  fed_ = true;
  return feedStage(0, bytes, length, out);
}

ContentDecoder::Result ContentDecoder::feedStage(size_t index, const uint8_t* bytes, size_t length,
                                                 const Output& out) {
  if (index == stages_.size()) return out(bytes, length) ? Result::Ok : Result::Stopped;
  Stage& stage = *stages_[index];
  stage.fed = true;
  Result inner = Result::Ok;
  Result result = stage.feed(bytes, length, [&](const uint8_t* piece, size_t size) {
    inner = feedStage(index + 1, piece, size, out);
    return inner == Result::Ok;
  });
  // A stop or a fault further in is what the caller hears of.
  return inner != Result::Ok ? inner : result;
}

bool ContentDecoder::complete() const {
  if (!fed_) return true;
  return std::all_of(stages_.begin(), stages_.end(), [](const auto& stage) { return !stage->fed || stage->ended(); });
}

}  // namespace kit::netdetail
