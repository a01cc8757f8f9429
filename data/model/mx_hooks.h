// The hooks a model class can answer to steer the model mapper, and the
// callback types of the setup operations.
//
// A model class answers a hook in its registration; the hook is found
// through the superclass chain, as a class method is inherited:
//
//   KIT_DEFINE_CLASS(Shop, kit::Object) {
//     cls.property("ID", &Shop::ID);
//     cls.property("goods", &Shop::goods);
//     mx_answer(cls, MXHooks::mx_replacedKeyFromPropertyName, [] { return kit::dict({{"ID", "id"}}); });
//     mx_answer(cls, MXHooks::mx_objectClassInArray, [] { return kit::dict({{"goods", "Goods"}}); });
//   }
//
// The older hook names are answered the same way and are consulted after
// their mx_ forms.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/runtime.h"

class KTProperty;

// Answers a dictionary: property name → key (a string or an array of
// strings), or property name → element class (a kit::ClassValue or a class
// name).
using MXDictionaryHook = std::function<kit::Ref<kit::Dictionary>()>;
// Answers the key of one property: a string, an array of strings, or nil.
using MXKeyHook = std::function<kit::Id(const std::string& propertyName)>;
// Answers a list of property names.
using MXNamesHook = std::function<kit::Ref<kit::Array>()>;
// Answers the value to assign in place of the one found in the dictionary.
// Answering `oldValue` itself means "no replacement".
using MXNewValueHook = std::function<kit::Id(kit::Object& object, const kit::Id& oldValue, const KTProperty& property)>;
// The older class-level form of the replacement hook.
using MXClassNewValueHook = std::function<kit::Id(const kit::Id& oldValue, const KTProperty& property)>;
// Called on the object after a conversion.
using MXObjectHook = std::function<void(kit::Object& object)>;

// A hook name that carries the type of its answer.
template <class Fn>
struct MXHook {
  using Function = Fn;
  const char* name;
};

struct MXHooks {
  // Class-level.
  static constexpr MXHook<MXDictionaryHook> mx_replacedKeyFromPropertyName{"mx_replacedKeyFromPropertyName"};
  static constexpr MXHook<MXKeyHook> mx_replacedKeyFromPropertyName121{"mx_replacedKeyFromPropertyName121"};
  static constexpr MXHook<MXDictionaryHook> mx_objectClassInArray{"mx_objectClassInArray"};
  static constexpr MXHook<MXNamesHook> mx_allowedPropertyNames{"mx_allowedPropertyNames"};
  static constexpr MXHook<MXNamesHook> mx_ignoredPropertyNames{"mx_ignoredPropertyNames"};
  static constexpr MXHook<MXNamesHook> mx_allowedCodingPropertyNames{"mx_allowedCodingPropertyNames"};
  static constexpr MXHook<MXNamesHook> mx_ignoredCodingPropertyNames{"mx_ignoredCodingPropertyNames"};
  // Older class-level forms.
  static constexpr MXHook<MXKeyHook> replacedKeyFromPropertyName121{"replacedKeyFromPropertyName121"};
  static constexpr MXHook<MXDictionaryHook> replacedKeyFromPropertyName{"replacedKeyFromPropertyName"};
  static constexpr MXHook<MXDictionaryHook> objectClassInArray{"objectClassInArray"};
  static constexpr MXHook<MXClassNewValueHook> newValueFromOldValue{"newValueFromOldValue"};
  // Instance-level: called with the model object.
  static constexpr MXHook<MXNewValueHook> mx_newValueFromOldValue{"mx_newValueFromOldValue"};
  static constexpr MXHook<MXObjectHook> mx_keyValuesDidFinishConvertingToObject{
      "mx_keyValuesDidFinishConvertingToObject"};
  static constexpr MXHook<MXObjectHook> mx_objectDidFinishConvertingToKeyValues{
      "mx_objectDidFinishConvertingToKeyValues"};
};

// Answers `hook` for the class being registered.
template <class T, class Fn, class Answer>
void mx_answer(kit::ClassBuilder<T>& cls, MXHook<Fn> hook, Answer&& answer) {
  cls.hook(hook.name, Fn(std::forward<Answer>(answer)));
}
// Answers `hook` for a class after its registration.
template <class Fn, class Answer>
void mx_answer(const kit::Class& cls, MXHook<Fn> hook, Answer&& answer) {
  cls.setHook(hook.name, Fn(std::forward<Answer>(answer)));
}

// The class's (or its nearest ancestor's) answer to `hook`, or nullptr.
template <class Fn>
const Fn* mx_hook(const kit::Class& cls, MXHook<Fn> hook) {
  const Fn* fn = cls.hook<Fn>(hook.name);
  return fn && *fn ? fn : nullptr;
}
