// Declared-property descriptors: the process-wide cache, key-path
// splitting and the per-class key paths and element classes.

#include "data/model/kt_property.h"

#include "kit/foundation/array.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"

KIT_DEFINE_CLASS(KTProperty, kit::Object) {}

namespace {

struct PropertyCache {
  std::mutex mutex;
  std::unordered_map<const kit::Property*, kit::Ref<KTProperty>> byProperty;
};

PropertyCache& propertyCache() {
  static kit::NoDestructor<PropertyCache> cache;
  return *cache;
}

// The type encoding inside an attribute text: from its second character up
// to the first ",", or to the end.
std::string_view encodingOf(std::string_view attributes) {
  if (attributes.empty()) return {};
  size_t comma = attributes.find(',');
  if (comma == std::string_view::npos) return attributes.substr(1);
  return comma == 0 ? std::string_view() : attributes.substr(1, comma - 1);
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      pieces.emplace_back(text.substr(start));
      return pieces;
    }
    pieces.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
}

}  // namespace

kit::Ref<KTProperty> KTProperty::cachedPropertyWithProperty(const kit::Property* property) {
  PropertyCache& cache = propertyCache();
  {
    std::lock_guard lock(cache.mutex);
    auto it = cache.byProperty.find(property);
    if (it != cache.byProperty.end()) return it->second;
  }
  auto made = kit::make<KTProperty>();
  made->setProperty(property);
  std::lock_guard lock(cache.mutex);
  return cache.byProperty.emplace(property, made).first->second;
}

void KTProperty::setProperty(const kit::Property* property) {
  property_ = property;
  if (!property) return;
  name_ = property->name;
  type_ = KTPropertyType::cachedTypeWithCode(encodingOf(property->attributes));
}

const kit::Class* KTProperty::srcClass() const {
  std::lock_guard lock(mutex_);
  return srcClass_;
}

void KTProperty::setSrcClass(const kit::Class* cls) {
  std::lock_guard lock(mutex_);
  srcClass_ = cls;
}

kit::Id KTProperty::valueForObject(kit::Object& object) const {
  if (type_ && type_->isKVCDisabled()) return kit::null();
  return object.valueForKey(name_);
}

void KTProperty::setValue(const kit::Id& value, kit::Object& object) const {
  if (!value || (type_ && type_->isKVCDisabled())) return;
  object.setValueForKey(name_, value);
}

KTKeyPath KTProperty::propertyKeysWithStringKey(std::string_view key) {
  KTKeyPath steps;
  if (key.empty()) return steps;
  for (const std::string& segment : split(key, '.')) {
    size_t bracket = segment.find('[');
    if (bracket == std::string::npos) {
      steps.push_back(KTPropertyKey::make(segment, KTPropertyKeyTypeDictionary));
      continue;
    }
    if (bracket == 0) continue;  // "[1]" names no key: the segment gives nothing
    steps.push_back(KTPropertyKey::make(segment.substr(0, bracket), KTPropertyKeyTypeDictionary));
    // Only the leading name is taken off, so a name that also appears
    // among the indexes ("2[12]") keeps its indexes whole.
    std::string indexes;
    for (char c : std::string_view(segment).substr(bracket)) {
      if (c != '[') indexes += c;
    }
    std::vector<std::string> pieces = split(indexes, ']');
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
      steps.push_back(KTPropertyKey::make(pieces[i], KTPropertyKeyTypeArray));
    }
  }
  return steps;
}

KTKeyPaths KTProperty::keyPathsWithOriginKey(const kit::Id& key) {
  KTKeyPaths paths;
  if (auto* text = dynamic_cast<const kit::String*>(key.get())) {
    KTKeyPath path = propertyKeysWithStringKey(text->utf8());
    if (!path.empty()) paths.push_back(std::move(path));
  } else if (auto* keys = dynamic_cast<const kit::Array*>(key.get())) {
    for (const kit::Id& element : keys->objects()) {
      auto* elementText = dynamic_cast<const kit::String*>(element.get());
      if (!elementText) continue;
      KTKeyPath path = propertyKeysWithStringKey(elementText->utf8());
      if (!path.empty()) paths.push_back(std::move(path));
    }
  }
  return paths;
}

void KTProperty::setOriginKey(const kit::Id& key, const kit::Class& cls) {
  setPorpertyKeys(keyPathsWithOriginKey(key), cls);
}

void KTProperty::setPorpertyKeys(const KTKeyPaths& keyPaths, const kit::Class& cls) {
  if (keyPaths.empty()) return;
  auto list = std::make_shared<const KTKeyPaths>(keyPaths);
  std::lock_guard lock(mutex_);
  propertyKeysDict_[&cls] = std::move(list);
}

KTKeyPathList KTProperty::propertyKeysForClass(const kit::Class& cls) const {
  std::lock_guard lock(mutex_);
  auto it = propertyKeysDict_.find(&cls);
  return it == propertyKeysDict_.end() ? nullptr : it->second;
}

void KTProperty::setObjectClassInArray(const kit::Class* elementClass, const kit::Class& cls) {
  if (!elementClass) return;
  std::lock_guard lock(mutex_);
  objectClassInArrayDict_[&cls] = elementClass;
}

const kit::Class* KTProperty::objectClassInArrayForClass(const kit::Class& cls) const {
  std::lock_guard lock(mutex_);
  auto it = objectClassInArrayDict_.find(&cls);
  return it == objectClassInArrayDict_.end() ? nullptr : it->second;
}

std::string KTProperty::description() const {
  return "<KTProperty " + name_ + " " + (type_ ? type_->codeText() : std::string()) + ">";
}
