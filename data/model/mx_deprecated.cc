// The older names, each forwarding to its mx_ form.

#include "data/model/mx_deprecated.h"

namespace KTKeyValueDeprecated {

namespace {

// The class whose error slot an object form reports.
const kit::Class& classOf(const kit::Id& object) {
  return object ? object->objectClass() : kit::Object::staticClass();
}

template <class T>
T reporting(T result, const kit::Class& cls, Error* error) {
  if (error) *error = mx_error(cls);
  return result;
}

}  // namespace

kit::Id setKeyValues(const kit::Id& object, const kit::Id& keyValues) { return mx_setKeyValues(object, keyValues); }

kit::Id setKeyValues(const kit::Id& object, const kit::Id& keyValues, Error* error) {
  return reporting(mx_setKeyValues(object, keyValues), classOf(object), error);
}

kit::Id setKeyValues(const kit::Id& object, const kit::Id& keyValues, const kit::Id& context) {
  return mx_setKeyValues(object, keyValues, context);
}

kit::Id setKeyValues(const kit::Id& object, const kit::Id& keyValues, const kit::Id& context, Error* error) {
  return reporting(mx_setKeyValues(object, keyValues, context), classOf(object), error);
}

void referenceReplacedKeyWhenCreatingKeyValues(const kit::Class& cls, bool reference) {
  mx_referenceReplacedKeyWhenCreatingKeyValues(cls, reference);
}

kit::Id keyValues(const kit::Id& object) { return mx_keyValues(object); }

kit::Id keyValuesWithError(const kit::Id& object, Error* error) {
  return reporting(mx_keyValues(object), classOf(object), error);
}

kit::Id keyValuesWithKeys(const kit::Id& object, const kit::Ref<kit::Array>& keys) {
  return mx_keyValuesWithKeys(object, keys);
}

kit::Id keyValuesWithKeys(const kit::Id& object, const kit::Ref<kit::Array>& keys, Error* error) {
  return reporting(mx_keyValuesWithKeys(object, keys), classOf(object), error);
}

kit::Id keyValuesWithIgnoredKeys(const kit::Id& object, const kit::Ref<kit::Array>& ignoredKeys) {
  return mx_keyValuesWithIgnoredKeys(object, ignoredKeys);
}

kit::Id keyValuesWithIgnoredKeys(const kit::Id& object, const kit::Ref<kit::Array>& ignoredKeys, Error* error) {
  return reporting(mx_keyValuesWithIgnoredKeys(object, ignoredKeys), classOf(object), error);
}

kit::Ref<kit::MutableArray> keyValuesArrayWithObjectArray(const kit::Class& cls, const kit::Id& objectArray,
                                                          const kit::Ref<kit::Array>& keys,
                                                          const kit::Ref<kit::Array>& ignoredKeys) {
  return mx_keyValuesArrayWithObjectArray(cls, objectArray, keys, ignoredKeys);
}

kit::Ref<kit::MutableArray> keyValuesArrayWithObjectArray(const kit::Class& cls, const kit::Id& objectArray,
                                                          Error* error) {
  return reporting(mx_keyValuesArrayWithObjectArray(cls, objectArray), cls, error);
}

kit::Ref<kit::MutableArray> keyValuesArrayWithObjectArray(const kit::Class& cls, const kit::Id& objectArray,
                                                          const kit::Ref<kit::Array>& keys,
                                                          const kit::Ref<kit::Array>& ignoredKeys, Error* error) {
  return reporting(mx_keyValuesArrayWithObjectArray(cls, objectArray, keys, ignoredKeys), cls, error);
}

kit::Id objectWithKeyValues(const kit::Class& cls, const kit::Id& keyValues) {
  return mx_objectWithKeyValues(cls, keyValues);
}

kit::Id objectWithKeyValues(const kit::Class& cls, const kit::Id& keyValues, Error* error) {
  return reporting(mx_objectWithKeyValues(cls, keyValues), cls, error);
}

kit::Id objectWithKeyValues(const kit::Class& cls, const kit::Id& keyValues, const kit::Id& context) {
  return mx_objectWithKeyValues(cls, keyValues, context);
}

kit::Id objectWithKeyValues(const kit::Class& cls, const kit::Id& keyValues, const kit::Id& context, Error* error) {
  return reporting(mx_objectWithKeyValues(cls, keyValues, context), cls, error);
}

kit::Id objectWithFilename(const kit::Class& cls, const kit::Ref<kit::String>& filename, Error* error) {
  return reporting(mx_objectWithFilename(cls, filename), cls, error);
}

kit::Id objectWithFile(const kit::Class& cls, const kit::Ref<kit::String>& path, Error* error) {
  return reporting(mx_objectWithFile(cls, path), cls, error);
}

kit::Ref<kit::MutableArray> objectArrayWithKeyValuesArray(const kit::Class& cls, const kit::Id& keyValuesArray) {
  return mx_objectArrayWithKeyValuesArray(cls, keyValuesArray);
}

kit::Ref<kit::MutableArray> objectArrayWithKeyValuesArray(const kit::Class& cls, const kit::Id& keyValuesArray,
                                                          Error* error) {
  return reporting(mx_objectArrayWithKeyValuesArray(cls, keyValuesArray), cls, error);
}

kit::Ref<kit::MutableArray> objectArrayWithKeyValuesArray(const kit::Class& cls, const kit::Id& keyValuesArray,
                                                          const kit::Id& context) {
  return mx_objectArrayWithKeyValuesArray(cls, keyValuesArray, context);
}

kit::Ref<kit::MutableArray> objectArrayWithKeyValuesArray(const kit::Class& cls, const kit::Id& keyValuesArray,
                                                          const kit::Id& context, Error* error) {
  return reporting(mx_objectArrayWithKeyValuesArray(cls, keyValuesArray, context), cls, error);
}

kit::Ref<kit::MutableArray> objectArrayWithFilename(const kit::Class& cls, const kit::Ref<kit::String>& filename,
                                                    Error* error) {
  return reporting(mx_objectArrayWithFilename(cls, filename), cls, error);
}

kit::Ref<kit::MutableArray> objectArrayWithFile(const kit::Class& cls, const kit::Ref<kit::String>& path,
                                                Error* error) {
  return reporting(mx_objectArrayWithFile(cls, path), cls, error);
}

kit::Ref<kit::Data> JSONData(const kit::Id& object) { return mx_JSONData(object); }
kit::Id JSONObject(const kit::Id& object) { return mx_JSONObject(object); }
kit::Ref<kit::String> JSONString(const kit::Id& object) { return mx_JSONString(object); }

}  // namespace KTKeyValueDeprecated

namespace KTPropertyDeprecated {

void enumerateProperties(const kit::Class& cls, const MXPropertiesEnumeration& enumeration) {
  mx_enumerateProperties(cls, enumeration);
}

void setupNewValueFromOldValue(const kit::Class& cls, MXNewValueHook function) {
  mx_setupNewValueFromOldValue(cls, std::move(function));
}

kit::Id getNewValueFromObject(const kit::Class& cls, kit::Object& object, const kit::Id& oldValue,
                              const KTProperty& property) {
  return mx_getNewValueFromObject(cls, object, oldValue, property);
}

void setupReplacedKeyFromPropertyName(const kit::Class& cls, const MXDictionaryHook& setup) {
  mx_setupReplacedKeyFromPropertyName(cls, setup);
}

void setupReplacedKeyFromPropertyName121(const kit::Class& cls, MXKeyHook function) {
  mx_setupReplacedKeyFromPropertyName121(cls, std::move(function));
}

void setupObjectClassInArray(const kit::Class& cls, const MXDictionaryHook& setup) {
  mx_setupObjectClassInArray(cls, setup);
}

}  // namespace KTPropertyDeprecated

namespace KTExtensionDeprecated {

kit::Ref<kit::String> underlineFromCamel(const kit::Ref<kit::String>& text) { return mx_underlineFromCamel(text); }
kit::Ref<kit::String> camelFromUnderline(const kit::Ref<kit::String>& text) { return mx_camelFromUnderline(text); }
kit::Ref<kit::String> firstCharLower(const kit::Ref<kit::String>& text) { return mx_firstCharLower(text); }
kit::Ref<kit::String> firstCharUpper(const kit::Ref<kit::String>& text) { return mx_firstCharUpper(text); }
bool isPureInt(const kit::Ref<kit::String>& text) { return mx_isPureInt(text); }
kit::Ref<kit::URL> url(const kit::Ref<kit::String>& text) { return mx_url(text); }

}  // namespace KTExtensionDeprecated
