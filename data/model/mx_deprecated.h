// The older names of the model mapper's operations, kept for code written
// against them. Each forwards to its current mx_ form (mx_key_value.h,
// mx_property.h, mx_string.h) and gives exactly what that form gives.
//
// They live in namespaces named after the families they belong to, because
// bare names such as JSONString and JSONData already belong to the JSON
// codec:
//
//   KTKeyValueDeprecated::objectWithKeyValues(Shop::staticClass(), reply, &error);
//   KTPropertyDeprecated::enumerateProperties(Shop::staticClass(), visit);
//   KTExtensionDeprecated::underlineFromCamel(kit::str("userName"));   // "user_name"
//
// A form taking a kit::Ref<kit::Error>* stores there, after the call, the
// error slot of the class concerned (the object's class for object forms,
// the receiving class for class forms); nullptr leaves it alone.
#pragma once

#include "data/model/mx_key_value.h"
#include "data/model/mx_property.h"
#include "data/model/mx_string.h"

namespace KTKeyValueDeprecated {

using Error = kit::Ref<kit::Error>;

kit::Id setKeyValues(const kit::Id& object, const kit::Id& keyValues);
kit::Id setKeyValues(const kit::Id& object, const kit::Id& keyValues, Error* error);
kit::Id setKeyValues(const kit::Id& object, const kit::Id& keyValues, const kit::Id& context);
kit::Id setKeyValues(const kit::Id& object, const kit::Id& keyValues, const kit::Id& context, Error* error);

void referenceReplacedKeyWhenCreatingKeyValues(const kit::Class& cls, bool reference);

kit::Id keyValues(const kit::Id& object);
kit::Id keyValuesWithError(const kit::Id& object, Error* error);
kit::Id keyValuesWithKeys(const kit::Id& object, const kit::Ref<kit::Array>& keys);
kit::Id keyValuesWithKeys(const kit::Id& object, const kit::Ref<kit::Array>& keys, Error* error);
kit::Id keyValuesWithIgnoredKeys(const kit::Id& object, const kit::Ref<kit::Array>& ignoredKeys);
kit::Id keyValuesWithIgnoredKeys(const kit::Id& object, const kit::Ref<kit::Array>& ignoredKeys, Error* error);

// The :keys: and :ignoredKeys: forms take the lists as the current form
// does: keyValuesArrayWithObjectArray(cls, array, nullptr, ignoredKeys).
kit::Ref<kit::MutableArray> keyValuesArrayWithObjectArray(const kit::Class& cls, const kit::Id& objectArray,
                                                          const kit::Ref<kit::Array>& keys = nullptr,
                                                          const kit::Ref<kit::Array>& ignoredKeys = nullptr);
kit::Ref<kit::MutableArray> keyValuesArrayWithObjectArray(const kit::Class& cls, const kit::Id& objectArray,
                                                          Error* error);
kit::Ref<kit::MutableArray> keyValuesArrayWithObjectArray(const kit::Class& cls, const kit::Id& objectArray,
                                                          const kit::Ref<kit::Array>& keys,
                                                          const kit::Ref<kit::Array>& ignoredKeys, Error* error);

kit::Id objectWithKeyValues(const kit::Class& cls, const kit::Id& keyValues);
kit::Id objectWithKeyValues(const kit::Class& cls, const kit::Id& keyValues, Error* error);
kit::Id objectWithKeyValues(const kit::Class& cls, const kit::Id& keyValues, const kit::Id& context);
kit::Id objectWithKeyValues(const kit::Class& cls, const kit::Id& keyValues, const kit::Id& context, Error* error);
kit::Id objectWithFilename(const kit::Class& cls, const kit::Ref<kit::String>& filename, Error* error = nullptr);
kit::Id objectWithFile(const kit::Class& cls, const kit::Ref<kit::String>& path, Error* error = nullptr);

kit::Ref<kit::MutableArray> objectArrayWithKeyValuesArray(const kit::Class& cls, const kit::Id& keyValuesArray);
kit::Ref<kit::MutableArray> objectArrayWithKeyValuesArray(const kit::Class& cls, const kit::Id& keyValuesArray,
                                                          Error* error);
kit::Ref<kit::MutableArray> objectArrayWithKeyValuesArray(const kit::Class& cls, const kit::Id& keyValuesArray,
                                                          const kit::Id& context);
kit::Ref<kit::MutableArray> objectArrayWithKeyValuesArray(const kit::Class& cls, const kit::Id& keyValuesArray,
                                                          const kit::Id& context, Error* error);
kit::Ref<kit::MutableArray> objectArrayWithFilename(const kit::Class& cls, const kit::Ref<kit::String>& filename,
                                                    Error* error = nullptr);
kit::Ref<kit::MutableArray> objectArrayWithFile(const kit::Class& cls, const kit::Ref<kit::String>& path,
                                                Error* error = nullptr);

kit::Ref<kit::Data> JSONData(const kit::Id& object);
kit::Id JSONObject(const kit::Id& object);
kit::Ref<kit::String> JSONString(const kit::Id& object);

}  // namespace KTKeyValueDeprecated

namespace KTPropertyDeprecated {

void enumerateProperties(const kit::Class& cls, const MXPropertiesEnumeration& enumeration);
void setupNewValueFromOldValue(const kit::Class& cls, MXNewValueHook function);
kit::Id getNewValueFromObject(const kit::Class& cls, kit::Object& object, const kit::Id& oldValue,
                              const KTProperty& property);
void setupReplacedKeyFromPropertyName(const kit::Class& cls, const MXDictionaryHook& setup);
void setupReplacedKeyFromPropertyName121(const kit::Class& cls, MXKeyHook function);
void setupObjectClassInArray(const kit::Class& cls, const MXDictionaryHook& setup);

}  // namespace KTPropertyDeprecated

namespace KTExtensionDeprecated {

kit::Ref<kit::String> underlineFromCamel(const kit::Ref<kit::String>& text);
kit::Ref<kit::String> camelFromUnderline(const kit::Ref<kit::String>& text);
kit::Ref<kit::String> firstCharLower(const kit::Ref<kit::String>& text);
kit::Ref<kit::String> firstCharUpper(const kit::Ref<kit::String>& text);
bool isPureInt(const kit::Ref<kit::String>& text);
kit::Ref<kit::URL> url(const kit::Ref<kit::String>& text);

}  // namespace KTExtensionDeprecated
