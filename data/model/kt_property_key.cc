// Key-path steps and their lookup.

#include "data/model/kt_property_key.h"

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"

KIT_DEFINE_CLASS(KTPropertyKey, kit::Object) {}

kit::Ref<KTPropertyKey> KTPropertyKey::make(std::string name, KTPropertyKeyType type) {
  auto key = kit::make<KTPropertyKey>();
  key->setNameText(std::move(name));
  key->type_ = type;
  return key;
}

void KTPropertyKey::setName(const kit::Ref<kit::String>& name) { setNameText(name ? name->utf8() : std::string()); }

void KTPropertyKey::setNameText(std::string name) {
  name_ = std::move(name);
  index_ = kit::String(name_).longLongValue();
}

kit::Id KTPropertyKey::valueInObject(const kit::Id& object) const {
  if (!object) return nullptr;
  if (type_ == KTPropertyKeyTypeDictionary) {
    if (auto* dictionary = dynamic_cast<const kit::Dictionary*>(object.get())) {
      return dictionary->objectForKey(std::string_view(name_));
    }
  } else if (type_ == KTPropertyKeyTypeArray) {
    if (auto* array = dynamic_cast<const kit::Array*>(object.get())) {
      auto index = static_cast<unsigned long long>(index_);
      if (index < array->count()) return array->objectAtIndex(static_cast<size_t>(index));
    }
  }
  return nullptr;
}

std::string KTPropertyKey::description() const {
  return "<KTPropertyKey " + (type_ == KTPropertyKeyTypeArray ? "[" + name_ + "]" : name_) + ">";
}
