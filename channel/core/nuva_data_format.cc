// The channel's value helpers. See nuva_data_format.h.

#include "channel/core/nuva_data_format.h"

#include <cstring>

#include "kit/foundation/array.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/crypto.h"
#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/random.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image_source.h"
#include "kit/net/url_connection.h"
#include "kit/ui/application.h"
#include "kit/ui/window.h"

namespace {

// The characters urlEncodeStr: escapes besides every non-ASCII one.
constexpr std::string_view kReservedURLCharacters = "?!@#$^&%*+,:;='\"`<>()[]{}/\\| ";

// How long a remote image may take to load for its size.
constexpr double kImageLoadTimeout = 10.0;

kit::Id parseJSONText(const kit::Ref<kit::String>& json) {
  if (!json) return nullptr;
  kit::Ref<kit::Error> error;
  kit::Id object = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(json->utf8()),
                                                              kit::JSONReadingMutableContainers, &error);
  if (!object) kit::log("json解析失败：%@", error);
  return object;
}

}  // namespace

bool NUVADataFormat::isBlankDictionary(const kit::Id& value) {
  auto dictionary = kit::as<kit::Dictionary>(value);
  return !dictionary || dictionary->count() == 0;
}

bool NUVADataFormat::isBlankArr(const kit::Id& value) {
  auto array = kit::as<kit::Array>(value);
  return !array || array->count() == 0;
}

bool NUVADataFormat::isBlankString(const kit::Id& value) {
  if (!value || kit::isKind<kit::Null>(value)) return true;
  if (auto text = kit::as<kit::String>(value)) return isBlankString(std::string_view(text->utf8()));
  return isBlankString(std::string_view(kit::describe(value)));
}

bool NUVADataFormat::isBlankString(std::string_view text) {
  if (text.empty() || text == "NULL" || text == "(null)") return true;
  return kit::String(std::string(text)).stringByTrimmingCharactersInSet(*kit::CharacterSet::whitespaceAndNewline())->empty();
}

bool NUVADataFormat::isUsableId(const kit::Id& value) {
  if (!kit::isKind<kit::String>(value) && !kit::isKind<kit::Number>(value)) return false;
  return !isBlankString(value);
}

kit::Ref<kit::String> NUVADataFormat::textOfValue(const kit::Id& value) {
  if (kit::isKind<kit::Null>(value)) return kit::str("(null)");
  return kit::text(value);
}

std::string NUVADataFormat::prizeCaption(const kit::Id& name, const kit::Id& amount) {
  std::string caption = kit::readableText(name);
  // An amount that draws nothing (blanks) leaves out its "*" too.
  const std::string count = kit::shownText(amount);
  if (kit::hasVisibleCharacter(count)) caption += "*" + count;
  return caption;
}

bool NUVADataFormat::isBangsScreen() {
  auto windows = kit::Application::shared()->windows();
  if (windows.empty()) return false;
  return windows.front()->safeAreaInsets().bottom > 0;
}

kit::Id NUVADataFormat::dictionaryWithJsonString(const kit::Ref<kit::String>& json) { return parseJSONText(json); }

kit::Id NUVADataFormat::arrayWithJsonString(const kit::Ref<kit::String>& json) { return parseJSONText(json); }

kit::Ref<kit::String> NUVADataFormat::urlEncodeStr(std::string_view text) {
  static const kit::NoDestructor allowed(kit::CharacterSet::fromString(kReservedURLCharacters)->inverted());
  return kit::stringByAddingPercentEncodingWithAllowedCharacters(text, **allowed);
}

bool NUVADataFormat::isHasChineseChar(const kit::Ref<kit::String>& text) {
  if (!text || text->empty()) return false;
  bool found = false;
  for (char16_t unit : text->utf16()) {
    // A surrogate half has no UTF-8 form of its own; every other unit from
    // U+0800 up takes three bytes.
    bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
    if (!surrogate && unit >= 0x0800) found = true;
  }
  return found;
}

kit::Ref<kit::String> NUVADataFormat::NUVAMD5GetRandomStr() {
  return kit::format("%d", static_cast<int>(kit::arc4random() % 90000 + 10000));
}

kit::Ref<kit::String> NUVADataFormat::NUVAMD5WithNSString(std::string_view text) {
  // The digest covers the C string, so an embedded zero byte ends it.
  size_t end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  return kit::str(kit::md5Hex(text));
}

kit::Size NUVADataFormat::getImageSizeWithURL(const kit::Id& value) {
  kit::Ref<kit::URL> url = kit::as<kit::URL>(value);
  if (!url) {
    if (auto text = kit::as<kit::String>(value)) url = kit::URL::URLWithString(text);
  }
  if (!url) return {0, 0};

  kit::Ref<kit::ImageSource> source;
  if (url->isFileURL()) {
    auto path = url->path();
    if (path) source = kit::ImageSource::createWithFile(path->utf8());
  } else {
    auto data = kit::dataWithContentsOfURL(url, kImageLoadTimeout);
    if (data) source = kit::ImageSource::create(data->span());
  }
  if (!source) return {0, 0};
  auto properties = source->propertiesAtIndex(0);
  if (!properties) return {0, 0};
  double width = static_cast<double>(properties->pixelWidth);
  double height = static_cast<double>(properties->pixelHeight);
  if (properties->orientation >= 5 && properties->orientation <= 8) std::swap(width, height);
  return {width, height};
}
