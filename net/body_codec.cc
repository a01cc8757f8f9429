// The platform API's body codec: scrambling, unscrambling and the JSON
// around them.
#include "net/body_codec.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/base64.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "net/body_codec_key.h"
#include "net/gzip_utility.h"

namespace {

constexpr const char* kJSONFailure = "JSON序列化失败----%@";

// The platform's integer reading of one piece: leading white space, an
// optional sign, the digits up to the first non-digit, 0 without digits;
// saturating at the int range.
int pieceValue(std::string_view piece) {
  size_t i = 0;
  while (i < piece.size() && (piece[i] == ' ' || piece[i] == '\t' || piece[i] == '\n' || piece[i] == '\r' ||
                              piece[i] == '\v' || piece[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
  long long value = 0;
  for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
    value = value * 10 + (piece[i] - '0');
    if (value > 2147483648LL) value = 2147483648LL;  // enough to saturate either way
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

kit::Unexpected codecError(SDPBodyCodecError code, std::string_view description) {
  return kit::unexpected(SDPBodyCodecErrorDomain, code, description);
}

// The JSON bytes of the parameters, or the serializer's error.
kit::Expected<kit::Ref<kit::Data>> jsonOf(const kit::Id& parameters) {
  kit::Ref<kit::Data> json;
  kit::Ref<kit::Error> error;
  try {
    json = kit::JSONSerialization::dataWithJSONObject(parameters, 0, &error);
  } catch (const kit::Exception& e) {
    // The platform raises for an object JSON cannot hold; here that is an
    // error like any other, so the caller can report it.
    return kit::unexpected(kit::CocoaErrorDomain, kit::JSONReadCorruptError,
                           kit::formatString("Invalid object for JSON: %s", e.reason()));
  }
  if (json) return json;
  if (error) return kit::unexpected(error);
  return kit::unexpected(kit::CocoaErrorDomain, kit::JSONReadCorruptError, "No JSON text");
}

// The scrambled text of JSON bytes, written in one pass into a buffer of the
// most it can take: every number is at most five digits (a base64
// character plus a UTF-16 unit) and a separator.
std::vector<uint8_t> scramble(const kit::Data& json) {
  const std::string base64 = kit::base64Encode(json.span(), kit::Base64Encoding64CharacterLineLength);
  std::vector<uint8_t> scrambled(base64.size() * 6 + 2);
  char* const first = reinterpret_cast<char*>(scrambled.data());
  char* const last = first + scrambled.size();
  char* out = first;
  *out++ = 'x';
  // Base64 text is ASCII, so each byte is one UTF-16 unit.
  for (size_t p = 0; p < base64.size(); ++p) {
    if (p > 0) *out++ = '_';
    const unsigned sum = static_cast<unsigned char>(base64[p]) + kPlatformBodyKey[p % kPlatformBodyKeyLength];
    out = std::to_chars(out, last, sum).ptr;
  }
  *out++ = 'y';
  scrambled.resize(static_cast<size_t>(out - first));
  return scrambled;
}

// The base64 text inside a scrambled reply's text.
kit::Expected<std::string> unscramble(std::string_view text) {
  // Drop the two framing characters. They are ASCII in every reply the
  // server writes; anything else is dropped by its UTF-16 units, as text.
  std::string inner;
  if (static_cast<unsigned char>(text.front()) < 0x80 && static_cast<unsigned char>(text.back()) < 0x80) {
    if (text.size() < 2) return codecError(SDPBodyCodecErrorNoFraming, "The reply has no framing characters.");
    inner = std::string(text.substr(1, text.size() - 2));
  } else {
    std::u16string units = kit::utf8ToUTF16(text);
    if (units.size() < 2) return codecError(SDPBodyCodecErrorNoFraming, "The reply has no framing characters.");
    inner = kit::utf16ToUTF8(std::u16string_view(units).substr(1, units.size() - 2));
  }

  std::string base64;
  size_t position = 0;
  size_t start = 0;
  while (true) {
    size_t end = inner.find('_', start);
    std::string_view piece = std::string_view(inner).substr(start, end == std::string::npos ? end : end - start);
    int value = pieceValue(piece);
    char16_t unit =
        static_cast<char16_t>(static_cast<unsigned>(value) - kPlatformBodyKey[position % kPlatformBodyKeyLength]);
    // The strict decoder takes nothing outside the base64 alphabet, so a
    // unit beyond ASCII fails the whole reply here already.
    if (unit > 0x7f) {
      return codecError(SDPBodyCodecErrorNotBase64,
                        kit::formatString("Piece %lu of the reply is no base64 character.",
                                          static_cast<unsigned long>(position)));
    }
    base64 += static_cast<char>(unit);
    ++position;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return base64;
}

static_assert(kPlatformBodyKeyLength == 64, "key positions wrap with a mask");

// The 6-bit value of each base64 character, kPadding for "=", kNotBase64 for
// every other ASCII character.
constexpr int8_t kNotBase64 = -1;
constexpr int8_t kPadding = -2;
constexpr std::array<int8_t, 128> makeBase64Values() {
  constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::array<int8_t, 128> values{};
  for (auto& v : values) v = kNotBase64;
  for (int i = 0; i < 64; ++i) values[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
  values['='] = kPadding;
  return values;
}
constexpr auto kBase64Values = makeBase64Values();

// The decoded bytes of a reply text in the form the server writes it: an
// ASCII first character, pieces of one to nine digits joined by "_", each
// giving a base64 character, "=" padding only where strict base64 allows
// it, and a last character that is neither a digit nor "_". Unscrambling
// and base64 decoding happen in one pass over the text, with no
// intermediate string. Anything else gives nothing, and the reply is then
// read step by step (unscramble() and kit::base64Decode), which accept what
// the platform's readers accept (signs, white space, long digit runs) and
// say where a reply fails. For every text this accepts, the two ways give
// the same bytes.
std::optional<std::vector<uint8_t>> decodeWellFormed(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  if (n < 3 || s[0] >= 0x80 || s[n - 1] >= 0x80) return std::nullopt;
  // The last character stops every digit run and separator search, so the
  // loop below needs no bounds check of its own.
  if (static_cast<unsigned>(s[n - 1] - '0') <= 9 || s[n - 1] == '_') return std::nullopt;
  const unsigned char* p = s + 1;
  const unsigned char* const end = s + n - 1;

  // Each piece is at least one digit and a separator, and four pieces make
  // three bytes.
  std::vector<uint8_t> out(((end - p) / 2 + 1) / 4 * 3 + 3);
  uint8_t* o = out.data();
  uint32_t quantum = 0;
  unsigned inGroup = 0, padding = 0;
  size_t position = 0;
  while (true) {
    const unsigned char* const start = p;
    uint32_t value = 0;
    for (unsigned digit; (digit = static_cast<unsigned>(*p - '0')) <= 9; ++p) value = value * 10 + digit;
    // One to nine digits: within the int range, where the step-by-step
    // reading does not saturate.
    if (static_cast<size_t>(p - start) - 1 >= 9) return std::nullopt;
    const uint32_t unit = (value - kPlatformBodyKey[position++ & 63]) & 0xFFFF;
    if (unit >= kBase64Values.size()) return std::nullopt;
    const int8_t v = kBase64Values[unit];
    if (v >= 0) {
      if (padding) return std::nullopt;  // data after the padding
      quantum = quantum << 6 | static_cast<uint32_t>(v);
      if (++inGroup == 4) {
        o[0] = static_cast<uint8_t>(quantum >> 16);
        o[1] = static_cast<uint8_t>(quantum >> 8);
        o[2] = static_cast<uint8_t>(quantum);
        o += 3;
        quantum = 0;
        inGroup = 0;
      }
    } else if (v == kPadding) {
      ++padding;
    } else {
      return std::nullopt;
    }
    if (*p != '_') {
      if (p == end) break;
      return std::nullopt;
    }
    ++p;
  }
  // Padding completes a last group of two characters with "==" or of three
  // with "=".
  if (padding == 0 && inGroup != 0) return std::nullopt;
  if (padding != 0) {
    if (inGroup == 2 && padding == 2) {
      *o++ = static_cast<uint8_t>(quantum >> 4);
    } else if (inGroup == 3 && padding == 1) {
      *o++ = static_cast<uint8_t>(quantum >> 10);
      *o++ = static_cast<uint8_t>(quantum >> 2);
    } else {
      return std::nullopt;
    }
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

// The bytes read step by step, with the failure of the step that refused
// them.
kit::Expected<std::vector<uint8_t>> decodeStepByStep(std::string_view text) {
  if (!kit::isValidUTF8(text)) return codecError(SDPBodyCodecErrorNotText, "The reply is not UTF-8 text.");
  auto base64 = unscramble(text);
  if (!base64) return kit::unexpected(base64.error());
  auto decoded = kit::base64Decode(*base64);
  if (!decoded) return codecError(SDPBodyCodecErrorNotBase64, "The unscrambled reply is not base64.");
  return std::move(*decoded);
}

// kit::isValidUTF8 with ASCII, most of any reply, skipped eight bytes at a
// time: only the runs of other bytes go to the full check. A sequence cut
// by an ASCII byte is invalid in its run as it is in the whole.
bool isUTF8Text(std::string_view bytes) {
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    for (uint64_t word; i + 8 <= n; i += 8) {
      std::memcpy(&word, bytes.data() + i, 8);
      if (word & 0x8080808080808080ULL) break;
    }
    while (i < n && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
    if (i == n) break;
    size_t run = i;
    while (run < n && static_cast<unsigned char>(bytes[run]) >= 0x80) ++run;
    if (!kit::isValidUTF8(bytes.substr(i, run - i))) return false;
    i = run;
  }
  return true;
}

// The reply's JSON object, with strings mutable.
kit::Expected<kit::Id> parseJSON(const kit::Ref<kit::Data>& bytes) {
  kit::Ref<kit::Error> error;
  kit::Id object = kit::JSONSerialization::JSONObjectWithData(bytes, kit::JSONReadingMutableLeaves, &error);
  if (object) return object;
  std::string reason = error ? error->localizedDescription() : "no JSON value";
  return kit::unexpected(kit::Error::make(
      SDPBodyCodecErrorDomain, SDPBodyCodecErrorNotJSON,
      kit::dict({{kit::LocalizedDescriptionKey, "The reply is not JSON: " + reason},
                 {kit::UnderlyingErrorKey, error}})));
}

// The answer the request clients get: the object, or nil after logging a
// JSON parse error.
kit::Id objectOrNil(kit::Expected<kit::Id>&& decoded) {
  if (decoded) return std::move(decoded).value();
  const kit::Ref<kit::Error>& error = decoded.error();
  if (error->domain() == SDPBodyCodecErrorDomain && error->code() == SDPBodyCodecErrorNotJSON) {
    kit::log(kJSONFailure, error->underlyingError());
  }
  return nullptr;
}

}  // namespace

kit::Ref<kit::Data> DecodeGzipBase64::codingJSON(const kit::Id& parameters, kit::Ref<kit::Error>* error) {
  auto json = jsonOf(parameters);
  if (!json) {
    kit::log(kJSONFailure, json.error());
    if (error) *error = json.error();
    return nullptr;
  }
  return cxrLFCGzipUtillity::gzipData(kit::Data::make(scramble(**json)), error);
}

kit::Expected<kit::Id> DecodeGzipBase64::decodeScrambledReply(const kit::Ref<kit::Data>& body) {
  auto plain = cxrLFCGzipUtillity::decompress(body);
  if (!plain) return kit::unexpected(plain.error());
  if (!*plain || (*plain)->empty()) return codecError(SDPBodyCodecErrorEmptyReply, "The reply is empty.");
  const std::string_view text = (*plain)->view();

  std::vector<uint8_t> bytes;
  if (auto fast = decodeWellFormed(text)) {
    bytes = std::move(*fast);
  } else {
    auto decoded = decodeStepByStep(text);
    if (!decoded) return kit::unexpected(decoded.error());
    bytes = std::move(*decoded);
  }
  // The decoded bytes must be UTF-8 text before they are parsed.
  if (!isUTF8Text({reinterpret_cast<const char*>(bytes.data()), bytes.size()})) {
    return codecError(SDPBodyCodecErrorNotText, "The decoded reply is not UTF-8 text.");
  }
  return parseJSON(kit::Data::make(std::move(bytes)));
}

kit::Expected<kit::Id> DecodeGzipBase64::decodePlainReply(const kit::Ref<kit::Data>& body) {
  auto plain = cxrLFCGzipUtillity::decompress(body);
  if (!plain) return kit::unexpected(plain.error());
  // Empty bytes come back as they are and fail in the parser.
  if (!*plain) return codecError(SDPBodyCodecErrorEmptyReply, "There is no reply.");
  return parseJSON(*plain);
}

kit::Id DecodeGzipBase64::decodingJSON(const kit::Ref<kit::Data>& body) {
  return objectOrNil(decodeScrambledReply(body));
}

kit::Id DecodeGzipBase64::cxr_decodingJSON(const kit::Ref<kit::Data>& body) {
  return objectOrNil(decodePlainReply(body));
}

kit::Ref<kit::Array> DecodeGzipBase64::getArrayFromStr(const kit::Ref<kit::String>& text) {
  auto out = kit::MutableArray::make();
  if (!text) return out;
  for (char16_t unit : text->utf16()) out->addObject(kit::String::fromUTF16(std::u16string_view(&unit, 1)));
  return out;
}

kit::Ref<kit::Array> DecodeGzipBase64::getArray() {
  std::vector<kit::Id> entries;
  entries.reserve(kPlatformBodyKeyLength);
  for (char16_t unit : kPlatformBodyKey) entries.push_back(kit::String::fromUTF16(std::u16string_view(&unit, 1)));
  return kit::Array::make(std::move(entries));
}
