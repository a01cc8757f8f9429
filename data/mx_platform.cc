// JSON reading and writing on nlohmann's parser, and the number reading of
// the mapper's shared number formatter.

#include "data/mx_platform.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/number_formatter.h"
#include "kit/foundation/string.h"

namespace mx_platform {
namespace {

using Json = nlohmann::ordered_json;
constexpr int kMaximumDepth = 512;

kit::Id toObject(const Json& json, int depth) {
  if (depth > kMaximumDepth) return nullptr;
  switch (json.type()) {
    case Json::value_t::null:
      return kit::null();
    case Json::value_t::boolean:
      return kit::Number::fromBool(json.get<bool>());
    case Json::value_t::number_integer:
      return kit::Number::fromLongLong(json.get<long long>());
    case Json::value_t::number_unsigned:
      return kit::Number::fromUnsignedLongLong(json.get<unsigned long long>());
    case Json::value_t::number_float:
      return kit::Number::fromDouble(json.get<double>());
    case Json::value_t::string:
      return kit::String::fromUTF8Bytes(json.get_ref<const std::string&>());
    case Json::value_t::array: {
      std::vector<kit::Id> elements;
      elements.reserve(json.size());
      for (const Json& element : json) {
        kit::Id value = toObject(element, depth + 1);
        if (!value) return nullptr;
        elements.push_back(std::move(value));
      }
      return kit::Array::make(std::move(elements));
    }
    case Json::value_t::object: {
      kit::Dictionary::Entries entries;
      entries.reserve(json.size());
      for (const auto& [key, element] : json.items()) {
        kit::Id value = toObject(element, depth + 1);
        kit::Ref<kit::String> keyText = kit::String::fromUTF8Bytes(key);
        if (!value || !keyText) return nullptr;
        entries.emplace_back(std::move(keyText), std::move(value));
      }
      return kit::Dictionary::make(std::move(entries));
    }
    default:
      return nullptr;
  }
}

bool toJson(const kit::Id& object, Json& out, int depth) {
  if (depth > kMaximumDepth || !object) return false;
  if (kit::isNull(object)) {
    out = nullptr;
  } else if (auto* text = dynamic_cast<const kit::String*>(object.get())) {
    out = text->utf8();
  } else if (auto* number = dynamic_cast<const kit::Number*>(object.get())) {
    switch (number->kind()) {
      case kit::Number::Kind::Bool:
        out = number->boolValue();
        break;
      case kit::Number::Kind::Signed:
        out = number->longLongValue();
        break;
      case kit::Number::Kind::Unsigned:
        out = number->unsignedLongLongValue();
        break;
      case kit::Number::Kind::Double:
        if (!std::isfinite(number->doubleValue())) return false;
        out = number->doubleValue();
        break;
    }
  } else if (auto* array = dynamic_cast<const kit::Array*>(object.get())) {
    out = Json::array();
    for (const kit::Id& element : array->objects()) {
      Json value;
      if (!toJson(element, value, depth + 1)) return false;
      out.push_back(std::move(value));
    }
  } else if (auto* dictionary = dynamic_cast<const kit::Dictionary*>(object.get())) {
    out = Json::object();
    for (const auto& [key, element] : dictionary->entries()) {
      auto* keyText = dynamic_cast<const kit::String*>(key.get());
      Json value;
      if (!keyText || !toJson(element, value, depth + 1)) return false;
      out[keyText->utf8()] = std::move(value);
    }
  } else {
    return false;
  }
  return true;
}

}  // namespace

kit::Id JSONObjectWithBytes(std::string_view bytes) {
  Json json = Json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded() || !(json.is_array() || json.is_object())) return nullptr;
  return toObject(json, 0);
}

kit::Ref<kit::Data> dataWithJSONObject(const kit::Id& object) {
  if (!kit::isKind<kit::Array>(object) && !kit::isKind<kit::Dictionary>(object)) return nullptr;
  Json json;
  if (!toJson(object, json, 0)) return nullptr;
  return kit::Data::make(json.dump(-1, ' ', false, Json::error_handler_t::replace));
}

kit::Ref<kit::Number> numberFromString(std::string_view text) {
  // One formatter with default settings serves every conversion; reading
  // does not change it, so threads may share it.
  static const auto* formatter = new kit::NumberFormatter;  // lives for the process
  return formatter->numberFromString(text);
}

}  // namespace mx_platform
