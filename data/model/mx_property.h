// Property enumeration and per-property configuration of the model mapper:
// the cached property list of a model class (its own declared properties,
// then each superclass's, up to the first Foundation class), the key or key
// paths under which each property is found, the element class of array
// properties, and the value-replacement hook.
//
// A property list is built once per class and reused until one of the three
// key or element-class setups drops every class's list; the next mapping of
// any class then rebuilds it with the new settings.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/model/kt_property.h"
#include "data/model/mx_hooks.h"
#include "kit/foundation/runtime.h"

using MXPropertiesEnumeration = std::function<void(const kit::Ref<KTProperty>& property, bool* stop)>;

// Calls `enumeration` for each property of the class's list, in order,
// until it sets *stop.
void mx_enumerateProperties(const kit::Class& cls, const MXPropertiesEnumeration& enumeration);
// The class's property list.
std::vector<kit::Ref<KTProperty>> mx_properties(const kit::Class& cls);

// The key of a property for the class: the answer of the key hooks, the key
// functions and the replaced keys of the class chain, else the name itself.
kit::Id mx_propertyKey(const kit::Class& cls, const std::string& propertyName);
// The element class of an array property for the class, or nullptr. An
// element class given by name is looked up in the runtime.
const kit::Class* mx_propertyObjectClassInArray(const kit::Class& cls, const std::string& propertyName);
// The value to assign in place of `oldValue`: the object's replacement hook,
// the class's older hook, or the nearest new-value function of the class
// chain; `oldValue` itself when there is none.
kit::Id mx_getNewValueFromObject(const kit::Class& cls, kit::Object& object, const kit::Id& oldValue,
                                 const KTProperty& property);

// Each calls `setup` once and keeps its answer on the class (nil removes
// the setting), then drops every class's property list.
void mx_setupReplacedKeyFromPropertyName(const kit::Class& cls, const MXDictionaryHook& setup);
void mx_setupObjectClassInArray(const kit::Class& cls, const MXDictionaryHook& setup);
// Keeps the function, which answers on every lookup; drops every class's
// property list.
void mx_setupReplacedKeyFromPropertyName121(const kit::Class& cls, MXKeyHook function);
// Keeps the function, which answers on every lookup.
void mx_setupNewValueFromOldValue(const kit::Class& cls, MXNewValueHook function);

// The replacement source of a class, resolved once for a run over the
// properties of one object: the object's hook, the class's older hook, or
// the nearest new-value function of the class chain.
class MXNewValueSource {
 public:
  MXNewValueSource(const kit::Class& cls, const kit::Object& object);
  // `oldValue` itself when nothing replaces values.
  kit::Id operator()(kit::Object& object, const kit::Id& oldValue, const KTProperty& property) const;

 private:
  MXNewValueHook objectHook_;
  MXClassNewValueHook classHook_;
  MXNewValueHook function_;
};

// One entry of a class's property list with what the mapper needs of it for
// that class: its key paths and its element class.
struct MXPropertyEntry {
  kit::Ref<KTProperty> property;
  KTKeyPathList keyPaths;                  // nullptr: not found in, nor written to, a dictionary
  const kit::Class* elementClass = nullptr;
};
using MXPropertyList = std::shared_ptr<const std::vector<MXPropertyEntry>>;
MXPropertyList mx_propertyList(const kit::Class& cls);
