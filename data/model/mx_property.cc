// The property-list cache and the per-property lookups.

#include "data/model/mx_property.h"

#include <mutex>
#include <unordered_map>

#include "data/model/kt_foundation.h"
#include "data/model/mx_class.h"
#include "data/model/mx_class_settings.h"
#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/string.h"

namespace {

struct PropertyListCache {
  std::mutex mutex;
  std::unordered_map<const kit::Class*, MXPropertyList> byClass;
  uint64_t generation = 0;
};

PropertyListCache& propertyLists() {
  static kit::NoDestructor<PropertyListCache> cache;
  return *cache;
}

void dropPropertyLists() {
  PropertyListCache& cache = propertyLists();
  std::unordered_map<const kit::Class*, MXPropertyList> dropped;  // released outside the lock
  std::lock_guard lock(cache.mutex);
  dropped.swap(cache.byClass);
  ++cache.generation;
}

bool isName(const kit::Id& key, const std::string& name) {
  auto* text = dynamic_cast<const kit::String*>(key.get());
  return text && text->utf8() == name;
}

kit::Id entryOf(const kit::Ref<kit::Dictionary>& dictionary, const std::string& name) {
  return dictionary ? dictionary->objectForKey(std::string_view(name)) : nullptr;
}

MXPropertyList buildList(const kit::Class& cls) {
  auto entries = std::make_shared<std::vector<MXPropertyEntry>>();
  mx_enumerateClasses(cls, [&](const kit::Class& visited, bool*) {
    for (const kit::Property& declared : visited.declaredProperties()) {
      kit::Ref<KTProperty> property = KTProperty::cachedPropertyWithProperty(&declared);
      if (KTFoundation::isClassFromFoundation(property->srcClass())) continue;
      property->setSrcClass(&visited);
      // The entry holds what the settings give now. The shared descriptor
      // keeps its last non-empty keys and element class per class, which a
      // setup changed or removed since would leave stale.
      KTKeyPaths keyPaths = KTProperty::keyPathsWithOriginKey(mx_propertyKey(cls, property->nameText()));
      const kit::Class* elementClass = mx_propertyObjectClassInArray(cls, property->nameText());
      property->setPorpertyKeys(keyPaths, cls);
      property->setObjectClassInArray(elementClass, cls);
      KTKeyPathList keys = keyPaths.empty() ? nullptr : std::make_shared<const KTKeyPaths>(std::move(keyPaths));
      entries->push_back({property, std::move(keys), elementClass});
    }
  });
  return entries;
}

}  // namespace

MXPropertyList mx_propertyList(const kit::Class& cls) {
  PropertyListCache& cache = propertyLists();
  uint64_t generation;
  {
    std::lock_guard lock(cache.mutex);
    auto it = cache.byClass.find(&cls);
    if (it != cache.byClass.end()) return it->second;
    generation = cache.generation;
  }
  // Built outside the lock: the key and element-class hooks are model code.
  MXPropertyList list = buildList(cls);
  std::lock_guard lock(cache.mutex);
  if (cache.generation != generation) return list;  // settings changed meanwhile: do not keep it
  return cache.byClass.emplace(&cls, std::move(list)).first->second;
}

void mx_enumerateProperties(const kit::Class& cls, const MXPropertiesEnumeration& enumeration) {
  if (!enumeration) return;
  MXPropertyList list = mx_propertyList(cls);
  bool stop = false;
  for (const MXPropertyEntry& entry : *list) {
    enumeration(entry.property, &stop);
    if (stop) return;
  }
}

std::vector<kit::Ref<KTProperty>> mx_properties(const kit::Class& cls) {
  std::vector<kit::Ref<KTProperty>> properties;
  const auto list = mx_propertyList(cls);  // held: a setup may drop the cached list meanwhile
  for (const MXPropertyEntry& entry : *list) properties.push_back(entry.property);
  return properties;
}

kit::Id mx_propertyKey(const kit::Class& cls, const std::string& propertyName) {
  kit::Id key;
  if (const MXKeyHook* hook = mx_hook(cls, MXHooks::mx_replacedKeyFromPropertyName121)) key = (*hook)(propertyName);
  if (const MXKeyHook* hook = mx_hook(cls, MXHooks::replacedKeyFromPropertyName121)) key = (*hook)(propertyName);
  if (!key) {
    mx_enumerateAllClasses(cls, [&](const kit::Class& c, bool* stop) {
      MXKeyHook function = mx_settings::of(c).keyFunction;
      if (!function) return;
      key = function(propertyName);
      if (key) *stop = true;
    });
  }
  if (!key || isName(key, propertyName)) {
    if (const MXDictionaryHook* hook = mx_hook(cls, MXHooks::mx_replacedKeyFromPropertyName)) {
      key = entryOf((*hook)(), propertyName);
    }
  }
  if (!key || isName(key, propertyName)) {
    if (const MXDictionaryHook* hook = mx_hook(cls, MXHooks::replacedKeyFromPropertyName)) {
      key = entryOf((*hook)(), propertyName);
    }
  }
  if (!key || isName(key, propertyName)) {
    mx_enumerateAllClasses(cls, [&](const kit::Class& c, bool* stop) {
      kit::Ref<kit::Dictionary> replaced = mx_settings::of(c).replacedKeys;
      if (!replaced) return;
      key = entryOf(replaced, propertyName);
      if (key && !isName(key, propertyName)) *stop = true;
    });
  }
  if (!key) key = kit::str(propertyName);
  return key;
}

const kit::Class* mx_propertyObjectClassInArray(const kit::Class& cls, const std::string& propertyName) {
  kit::Id found;
  if (const MXDictionaryHook* hook = mx_hook(cls, MXHooks::mx_objectClassInArray)) {
    found = entryOf((*hook)(), propertyName);
  }
  if (const MXDictionaryHook* hook = mx_hook(cls, MXHooks::objectClassInArray)) {
    found = entryOf((*hook)(), propertyName);
  }
  if (!found) {
    mx_enumerateAllClasses(cls, [&](const kit::Class& c, bool* stop) {
      kit::Ref<kit::Dictionary> classes = mx_settings::of(c).objectClassInArray;
      if (!classes) return;
      found = entryOf(classes, propertyName);
      if (found) *stop = true;
    });
  }
  if (auto* value = dynamic_cast<const kit::ClassValue*>(found.get())) return &value->value();
  if (auto* name = dynamic_cast<const kit::String*>(found.get())) return kit::Class::named(name->utf8());
  return nullptr;
}

MXNewValueSource::MXNewValueSource(const kit::Class& cls, const kit::Object& object) {
  if (const MXNewValueHook* hook = mx_hook(object.objectClass(), MXHooks::mx_newValueFromOldValue)) {
    objectHook_ = *hook;
  } else if (const MXClassNewValueHook* hook = mx_hook(cls, MXHooks::newValueFromOldValue)) {
    classHook_ = *hook;
  } else {
    mx_enumerateAllClasses(cls, [&](const kit::Class& c, bool* stop) {
      function_ = mx_settings::newValueFunctionOf(c);
      if (function_) *stop = true;
    });
  }
}

kit::Id MXNewValueSource::operator()(kit::Object& object, const kit::Id& oldValue, const KTProperty& property) const {
  if (objectHook_) return objectHook_(object, oldValue, property);
  if (classHook_) return classHook_(oldValue, property);
  if (function_) return function_(object, oldValue, property);
  return oldValue;
}

kit::Id mx_getNewValueFromObject(const kit::Class& cls, kit::Object& object, const kit::Id& oldValue,
                                 const KTProperty& property) {
  return MXNewValueSource(cls, object)(object, oldValue, property);
}

void mx_setupReplacedKeyFromPropertyName(const kit::Class& cls, const MXDictionaryHook& setup) {
  kit::Ref<kit::Dictionary> answer = setup ? setup() : nullptr;
  if (answer) answer = kit::as<kit::Dictionary>(answer->copy());  // a snapshot other threads can read
  mx_settings::update(cls, [&](MXClassSettings& settings) { settings.replacedKeys = answer; });
  dropPropertyLists();
}

void mx_setupObjectClassInArray(const kit::Class& cls, const MXDictionaryHook& setup) {
  kit::Ref<kit::Dictionary> answer = setup ? setup() : nullptr;
  if (answer) answer = kit::as<kit::Dictionary>(answer->copy());  // a snapshot other threads can read
  mx_settings::update(cls, [&](MXClassSettings& settings) { settings.objectClassInArray = answer; });
  dropPropertyLists();
}

void mx_setupReplacedKeyFromPropertyName121(const kit::Class& cls, MXKeyHook function) {
  mx_settings::update(cls, [&](MXClassSettings& settings) { settings.keyFunction = std::move(function); });
  dropPropertyLists();
}

void mx_setupNewValueFromOldValue(const kit::Class& cls, MXNewValueHook function) {
  mx_settings::update(cls, [&](MXClassSettings& settings) { settings.newValueFunction = std::move(function); });
}
