// The platform API's body codec: scrambling, unscrambling and the JSON
// around them.
#include "net/body_codec.h"

#include <charconv>
#include <string>

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

// The scrambled text of JSON bytes.
std::string scramble(const kit::Data& json) {
  std::string base64 = kit::base64Encode(json.span(), kit::Base64Encoding64CharacterLineLength);
  std::string scrambled;
  scrambled.reserve(base64.size() * 4 + 2);
  scrambled += 'x';
  char digits[16];
  // Base64 text is ASCII, so each byte is one UTF-16 unit.
  for (size_t p = 0; p < base64.size(); ++p) {
    unsigned sum = static_cast<unsigned char>(base64[p]) + kPlatformBodyKey[p % kPlatformBodyKeyLength];
    if (p > 0) scrambled += '_';
    auto end = std::to_chars(digits, digits + sizeof digits, sum).ptr;
    scrambled.append(digits, end);
  }
  scrambled += 'y';
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
  if (!kit::isValidUTF8(text)) return codecError(SDPBodyCodecErrorNotText, "The reply is not UTF-8 text.");

  auto base64 = unscramble(text);
  if (!base64) return kit::unexpected(base64.error());
  auto decoded = kit::base64Decode(*base64);
  if (!decoded) return codecError(SDPBodyCodecErrorNotBase64, "The unscrambled reply is not base64.");
  // The decoded bytes must be UTF-8 text before they are parsed.
  kit::Ref<kit::Data> bytes = kit::Data::make(std::move(*decoded));
  if (!kit::isValidUTF8(bytes->view())) {
    return codecError(SDPBodyCodecErrorNotText, "The decoded reply is not UTF-8 text.");
  }
  return parseJSON(bytes);
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
