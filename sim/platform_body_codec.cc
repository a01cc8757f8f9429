// The platform API server's body codec.
#include "sim/platform_body_codec.h"

#include <zlib.h>

#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "net/body_codec_key.h"

namespace sim {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int alphabetIndex(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

void fail(PlatformBodyCodec::Failure* failure, std::string reason) {
  if (failure) failure->reason = std::move(reason);
}

}  // namespace

std::string PlatformBodyCodec::base64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (size_t rest = bytes.size() - i; rest > 0) {
    uint32_t v = uint8_t(bytes[i]) << 16;
    if (rest == 2) v |= uint8_t(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<std::string> PlatformBodyCodec::unbase64(std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      continue;
    }
    clean += text[i];
  }
  if (clean.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < clean.size(); i += 4) {
    int pads = 0;
    uint32_t v = 0;
    for (size_t j = 0; j < 4; ++j) {
      char c = clean[i + j];
      if (c == '=') {
        // Padding only at the very end, in the last one or two places.
        if (i + 4 != clean.size() || j < 2) return std::nullopt;
        ++pads;
        v <<= 6;
        continue;
      }
      if (pads > 0) return std::nullopt;
      int index = alphabetIndex(c);
      if (index < 0) return std::nullopt;
      v = (v << 6) | static_cast<uint32_t>(index);
    }
    out += static_cast<char>(v >> 16);
    if (pads < 2) out += static_cast<char>((v >> 8) & 0xff);
    if (pads < 1) out += static_cast<char>(v & 0xff);
  }
  return out;
}

std::string PlatformBodyCodec::scramble(std::string_view base64) {
  std::string out = "x";
  for (size_t p = 0; p < base64.size(); ++p) {
    if (p > 0) out += '_';
    out += std::to_string(static_cast<unsigned>(static_cast<unsigned char>(base64[p])) +
                          static_cast<unsigned>(kPlatformBodyKey[p % kPlatformBodyKey.size()]));
  }
  out += 'y';
  return out;
}

std::optional<std::string> PlatformBodyCodec::unscramble(std::string_view text, Failure* failure) {
  if (text.size() < 2 || text.front() != 'x' || text.back() != 'y') {
    fail(failure, "body is not framed by x and y");
    return std::nullopt;
  }
  std::string_view inner = text.substr(1, text.size() - 2);
  std::string out;
  size_t p = 0;
  size_t start = 0;
  while (start <= inner.size()) {
    size_t end = inner.find('_', start);
    if (end == std::string_view::npos) end = inner.size();
    std::string_view number = inner.substr(start, end - start);
    if (number.empty() || number.size() > 6 || (number.size() > 1 && number[0] == '0')) {
      fail(failure, "malformed number at position " + std::to_string(p));
      return std::nullopt;
    }
    unsigned value = 0;
    for (char c : number) {
      if (c < '0' || c > '9') {
        fail(failure, "malformed number at position " + std::to_string(p));
        return std::nullopt;
      }
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    unsigned key = kPlatformBodyKey[p % kPlatformBodyKey.size()];
    if (value < key || value - key > 0x7f) {
      fail(failure, "character out of range at position " + std::to_string(p));
      return std::nullopt;
    }
    out += static_cast<char>(value - key);
    ++p;
    start = end + 1;
  }
  return out;
}

std::string PlatformBodyCodec::gzip(std::string_view bytes) {
  z_stream s{};
  deflateInit2(&s, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, bytes.size()), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  s.avail_in = static_cast<uInt>(bytes.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

std::optional<std::string> PlatformBodyCodec::gunzip(std::string_view bytes, size_t limit) {
  z_stream s{};
  if (inflateInit2(&s, 15 + 32) != Z_OK) return std::nullopt;
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  s.avail_in = static_cast<uInt>(bytes.size());
  std::string out;
  char chunk[16384];
  int status = Z_OK;
  while (status == Z_OK) {
    s.next_out = reinterpret_cast<Bytef*>(chunk);
    s.avail_out = sizeof chunk;
    status = inflate(&s, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - s.avail_out);
    if (out.size() > limit) status = Z_MEM_ERROR;
    if (status == Z_BUF_ERROR && s.avail_in == 0) break;  // input ended early
  }
  inflateEnd(&s);
  if (status != Z_STREAM_END) return std::nullopt;
  return out;
}

kit::Id PlatformBodyCodec::decodeRequest(std::string_view body, Failure* failure) {
  auto text = gunzip(body);
  if (!text) {
    fail(failure, "body is not gzip");
    return nullptr;
  }
  auto base64Text = unscramble(*text, failure);
  if (!base64Text) return nullptr;
  auto json = unbase64(*base64Text);
  if (!json) {
    fail(failure, "unscrambled text is not base64");
    return nullptr;
  }
  kit::Ref<kit::Error> error;
  kit::Id object = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(*json), 0, &error);
  if (!object) fail(failure, "decoded text is not JSON");
  return object;
}

std::string PlatformBodyCodec::encodeReplyText(std::string_view json) { return gzip(scramble(base64(json))); }

std::string PlatformBodyCodec::encodeReply(const kit::Id& object) {
  return encodeReplyText(kit::JSONSerialization::dataWithJSONObject(object)->view());
}

std::string PlatformBodyCodec::encodePlainReply(const kit::Id& object) {
  return gzip(kit::JSONSerialization::dataWithJSONObject(object)->view());
}

}  // namespace sim
