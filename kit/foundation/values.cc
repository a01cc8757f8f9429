// Literals, the "is set" test and the texts shown of outside values.

#include "kit/foundation/values.h"

#include "kit/foundation/charset.h"

namespace kit {

Ref<Dictionary> dict(std::initializer_list<std::pair<Value, Value>> entries) {
  Dictionary::Entries out;
  out.reserve(entries.size());
  for (const auto& [k, v] : entries) {
    if (v.id()) out.emplace_back(k.id(), v.id());
  }
  return Dictionary::make(std::move(out));
}

Ref<MutableDictionary> mutableDict(std::initializer_list<std::pair<Value, Value>> entries) {
  Dictionary::Entries out;
  for (const auto& [k, v] : entries) {
    if (v.id()) out.emplace_back(k.id(), v.id());
  }
  return MutableDictionary::make(std::move(out));
}

Ref<Array> array(std::initializer_list<Value> elements) {
  std::vector<Id> out;
  out.reserve(elements.size());
  for (const Value& v : elements) out.push_back(v.id());
  return Array::make(std::move(out));
}

Ref<MutableArray> mutableArray(std::initializer_list<Value> elements) {
  std::vector<Id> out;
  for (const Value& v : elements) out.push_back(v.id());
  return MutableArray::make(std::move(out));
}

bool isSet(const Id& value) {
  if (auto string = as<String>(value)) {
    const std::string& text = string->utf8();
    return !text.empty() && text != "(null)" && text != "<null>";
  }
  auto number = as<Number>(value);
  return number && !number->isBool();
}

std::string shownText(const Id& value) { return isSet(value) ? describe(value) : std::string(); }

std::string readableText(const Id& value) {
  if (!isKind<String>(value) || !isSet(value)) return std::string();
  auto string = as<String>(value);
  static const auto& blanks = *new auto(CharacterSet::whitespaceAndNewline());
  return string->stringByTrimmingCharactersInSet(*blanks)->empty() ? std::string() : string->utf8();
}

}  // namespace kit
