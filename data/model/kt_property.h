// KTProperty: one declared property of one declaring class, shared by every
// model class that inherits it, with the key paths under which each model
// class finds it in a dictionary and the element class each model class
// gives it when it holds an array of models.
//
// One KTProperty exists per declared property for the whole process. Its
// per-class tables are keyed by the model class being mapped, not by the
// declaring class, so a subclass and its superclass keep separate entries.
// The tables are guarded, so mappings may run on several threads at once.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/model/kt_property_key.h"
#include "data/model/kt_property_type.h"
#include "kit/foundation/runtime.h"

// The key paths of a property for one model class, tried in order.
using KTKeyPaths = std::vector<KTKeyPath>;
using KTKeyPathList = std::shared_ptr<const KTKeyPaths>;

class KTProperty : public kit::Object {
  KIT_OBJECT(KTProperty)

 public:
  // The shared descriptor of a declared property, made on first request.
  static kit::Ref<KTProperty> cachedPropertyWithProperty(const kit::Property* property);

  // Stores the property and, when it is not null, its name and the type
  // descriptor of the encoding read from its attribute text.
  void setProperty(const kit::Property* property);
  const kit::Property* property() const { return property_; }
  kit::Ref<kit::String> name() const { return kit::str(name_); }
  const std::string& nameText() const { return name_; }
  const kit::Ref<KTPropertyType>& type() const { return type_; }

  // The class that declares the property, as last recorded.
  const kit::Class* srcClass() const;
  void setSrcClass(const kit::Class* cls);

  // The shared NSNull for a type that is never read by name; otherwise the
  // object's value for the property's name (raises as key-value coding does).
  kit::Id valueForObject(kit::Object& object) const;
  // Nothing for nil or an untouchable type; otherwise sets the object's
  // value for the property's name (raises as key-value coding does).
  void setValue(const kit::Id& value, kit::Object& object) const;

  // The steps of a key such as "data.list[1].name"; empty for an empty key.
  static KTKeyPath propertyKeysWithStringKey(std::string_view key);
  // The key paths of a key given by a model class: a string gives one, an
  // array of strings one per string, anything else none.
  static KTKeyPaths keyPathsWithOriginKey(const kit::Id& key);
  // Stores keyPathsWithOriginKey(key) for `cls` (as setPorpertyKeys does).
  void setOriginKey(const kit::Id& key, const kit::Class& cls);
  // Stores the key paths for `cls`; an empty list changes nothing.
  void setPorpertyKeys(const KTKeyPaths& keyPaths, const kit::Class& cls);
  // The stored key paths for `cls`, or nullptr.
  KTKeyPathList propertyKeysForClass(const kit::Class& cls) const;
  // Stores the element class for `cls`; nullptr changes nothing.
  void setObjectClassInArray(const kit::Class* elementClass, const kit::Class& cls);
  const kit::Class* objectClassInArrayForClass(const kit::Class& cls) const;

  std::string description() const override;

 private:
  const kit::Property* property_ = nullptr;
  std::string name_;
  kit::Ref<KTPropertyType> type_;

  mutable std::mutex mutex_;
  const kit::Class* srcClass_ = nullptr;
  std::unordered_map<const kit::Class*, KTKeyPathList> propertyKeysDict_;
  std::unordered_map<const kit::Class*, const kit::Class*> objectClassInArrayDict_;
};
