// Literals and the "is set" test.

#include "kit/foundation/values.h"

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
  if (!value || isNull(value)) return false;
  std::string text = describe(value);
  return !text.empty() && text != "(null)";
}

std::string shownText(const Id& value) { return isSet(value) ? describe(value) : std::string(); }

}  // namespace kit
