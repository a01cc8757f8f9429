// The platform API's body codec: scrambling, unscrambling and the JSON
// around them.
#include "net/body_codec.h"

#include <charconv>
#include <string>

#include "kit/foundation/base64.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
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

kit::Id parseJSON(const kit::Ref<kit::Data>& bytes) {
  kit::Ref<kit::Error> error;
  kit::Id object = kit::JSONSerialization::JSONObjectWithData(bytes, kit::JSONReadingMutableLeaves, &error);
  if (!object) {
    kit::log(kJSONFailure, error);
    return nullptr;
  }
  return object;
}

}  // namespace

kit::Ref<kit::Data> DecodeGzipBase64::codingJSON(const kit::Id& parameters, kit::Ref<kit::Error>* error) {
  kit::Ref<kit::Data> json;
  kit::Ref<kit::Error> jsonError;
  try {
    json = kit::JSONSerialization::dataWithJSONObject(parameters, 0, &jsonError);
  } catch (const kit::Exception& e) {
    // The platform raises for an object JSON cannot hold; here that is an
    // error like any other, so the caller can report it.
    jsonError = kit::Error::make(kit::CocoaErrorDomain, kit::JSONReadCorruptError,
                                 kit::formatString("Invalid object for JSON: %s", e.reason()));
  }
  if (!json) {
    if (!jsonError) jsonError = kit::Error::make(kit::CocoaErrorDomain, kit::JSONReadCorruptError, "No JSON text");
    kit::log(kJSONFailure, jsonError);
    if (error) *error = jsonError;
    return nullptr;
  }

  std::string base64 = kit::base64Encode(json->span(), kit::Base64Encoding64CharacterLineLength);
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
  return cxrLFCGzipUtillity::gzipData(kit::Data::make(scrambled), error);
}

kit::Id DecodeGzipBase64::decodingJSON(const kit::Ref<kit::Data>& body) {
  kit::Ref<kit::Data> plain = cxrLFCGzipUtillity::uncompressZippedData(body);
  if (!plain || plain->empty()) return nullptr;
  const std::string_view text = plain->view();
  if (!kit::isValidUTF8(text)) return nullptr;

  // Drop the two framing characters. They are ASCII in every reply the
  // server writes; anything else is dropped by its UTF-16 units, as text.
  std::string inner;
  if (static_cast<unsigned char>(text.front()) < 0x80 && static_cast<unsigned char>(text.back()) < 0x80) {
    if (text.size() < 2) return nullptr;
    inner = std::string(text.substr(1, text.size() - 2));
  } else {
    std::u16string units = kit::utf8ToUTF16(text);
    if (units.size() < 2) return nullptr;
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
    if (unit > 0x7f) return nullptr;
    base64 += static_cast<char>(unit);
    ++position;
    if (end == std::string::npos) break;
    start = end + 1;
  }

  auto decoded = kit::base64Decode(base64);
  if (!decoded) return nullptr;
  // The decoded bytes must be UTF-8 text before they are parsed.
  kit::Ref<kit::Data> bytes = kit::Data::make(std::move(*decoded));
  if (!kit::isValidUTF8(bytes->view())) return nullptr;
  return parseJSON(bytes);
}

kit::Id DecodeGzipBase64::cxr_decodingJSON(const kit::Ref<kit::Data>& body) {
  kit::Ref<kit::Data> plain = cxrLFCGzipUtillity::uncompressZippedData(body);
  if (!plain) return nullptr;
  return parseJSON(plain);
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
