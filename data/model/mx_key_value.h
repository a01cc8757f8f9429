// The model mapper: model objects from dictionaries, arrays, JSON text or
// JSON data, and back to dictionaries, arrays and JSON.
//
// A model class is any registered class that is not a Foundation class
// (KTFoundation). It needs no base class and no code of its own: each
// declared property is filled from the dictionary key of its own name,
// unless the class steers the mapping through hooks (mx_hooks.h) or setups
// (mx_class.h, mx_property.h).
//
//   auto rows = mx_objectArrayWithKeyValuesArray(CouponRow::staticClass(), reply["lists"]);
//   auto shop = mx_objectWithKeyValues<Shop>(R"({"name":"a","goods":[...]})");
//
// Failures never raise: they give nil (or the unchanged object) and leave
// an error on the class concerned, read with mx_error(cls): its domain is
// the message, its code 250. Every entry point except the three JSON forms
// first clears that slot, so it tells the outcome of the last call on the
// class. A value one property cannot take is left out and its reason kept
// in the slot while the other properties are still mapped.
//
// Mapping may run on several threads at once; hooks and setup callbacks are
// called with no lock of the mapper held, so they may map again.
#pragma once

#include <string>

#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

inline constexpr long MXErrorCode = 250;
inline constexpr const char* MXErrorNotADictionary = "keyValues参数不是一个字典";
inline constexpr const char* MXErrorNotAnArray = "keyValuesArray参数不是一个数组";
inline constexpr const char* MXErrorNotAModelClass = "不是自定义的模型类";
inline constexpr const char* MXErrorObjectArrayNotAnArray = "objectArray参数不是一个数组";
inline constexpr const char* MXErrorNoFilename = "filename参数为nil";
inline constexpr const char* MXErrorNoFile = "file参数为nil";
inline constexpr const char* MXErrorNestedTooDeep = "模型嵌套层次过深";
// Models nested deeper than this (in either direction) are not mapped: a
// model graph that contains itself, or a dictionary that contains itself,
// stops here with MXErrorNestedTooDeep instead of recursing without end.
inline constexpr int MXMaximumNesting = 100;

// ---- The error slot and the reference-replaced-key flag ----------------------

kit::Ref<kit::Error> mx_error(const kit::Class& cls);
void setMx_error(const kit::Class& cls, const kit::Ref<kit::Error>& error);
// When YES (the default, set on the root class), a model turned back into a
// dictionary stores each value under its replaced key path; when NO, under
// the property's name. A class without its own flag takes its nearest
// superclass's.
void mx_referenceReplacedKeyWhenCreatingKeyValues(const kit::Class& cls, bool reference);
bool mx_isReferenceReplacedKeyWhenCreatingKeyValues(const kit::Class& cls);

// ---- Models from key values ----------------------------------------------------
// `keyValues` is a dictionary, JSON text (a String) or JSON data. The
// context is handed down through nested conversions for callers that keep
// one; there is no managed-object store, so it does not change the result.

// A new model filled from the dictionary; nil when the input is not one.
kit::Id mx_objectWithKeyValues(const kit::Class& cls, const kit::Id& keyValues, const kit::Id& context = nullptr);
template <class T>
kit::Ref<T> mx_objectWithKeyValues(const kit::Id& keyValues, const kit::Id& context = nullptr) {
  return kit::as<T>(mx_objectWithKeyValues(T::staticClass(), keyValues, context));
}
// One model per dictionary element, in order; elements that are arrays give
// nested arrays, other elements are dropped. For a Foundation class, a
// mutable copy of the array. nil when the input is not an array.
kit::Ref<kit::MutableArray> mx_objectArrayWithKeyValuesArray(const kit::Class& cls, const kit::Id& keyValuesArray,
                                                             const kit::Id& context = nullptr);
// A model from the dictionary (or an array of models from the array) in a
// property-list file; nil with MXErrorNoFile for a nil path.
kit::Id mx_objectWithFile(const kit::Class& cls, const kit::Ref<kit::String>& path);
kit::Ref<kit::MutableArray> mx_objectArrayWithFile(const kit::Class& cls, const kit::Ref<kit::String>& path);
// The same for a resource of the main bundle, named with its extension; nil
// with MXErrorNoFilename for a nil name.
kit::Id mx_objectWithFilename(const kit::Class& cls, const kit::Ref<kit::String>& filename);
kit::Ref<kit::MutableArray> mx_objectArrayWithFilename(const kit::Class& cls, const kit::Ref<kit::String>& filename);
// Fills the object's properties from the dictionary; returns the object.
kit::Id mx_setKeyValues(const kit::Id& object, const kit::Id& keyValues, const kit::Id& context = nullptr);

// ---- Key values from models -----------------------------------------------------

// The model as a mutable dictionary; for an object of a Foundation class,
// the object itself (with MXErrorNotAModelClass on its class). `keys`, when
// not empty, limits the properties to those names; `ignoredKeys` leaves
// names out.
kit::Id mx_keyValues(const kit::Id& object);
kit::Id mx_keyValuesWithKeys(const kit::Id& object, const kit::Ref<kit::Array>& keys);
kit::Id mx_keyValuesWithIgnoredKeys(const kit::Id& object, const kit::Ref<kit::Array>& ignoredKeys);
kit::Id mx_keyValuesWithKeys(const kit::Id& object, const kit::Ref<kit::Array>& keys,
                             const kit::Ref<kit::Array>& ignoredKeys);
// Each element as mx_keyValuesWithKeys (when `keys` is given) or
// mx_keyValuesWithIgnoredKeys gives it; nil when the input is not an array.
kit::Ref<kit::MutableArray> mx_keyValuesArrayWithObjectArray(const kit::Class& cls, const kit::Id& objectArray,
                                                             const kit::Ref<kit::Array>& keys = nullptr,
                                                             const kit::Ref<kit::Array>& ignoredKeys = nullptr);

// ---- JSON ----------------------------------------------------------------------

// A string or data: the parsed JSON (nil when unparsable); an array or a
// dictionary: itself; a model: its key values.
kit::Id mx_JSONObject(const kit::Id& object);
// A string: its UTF-8 bytes; data: itself; anything else: the compact JSON
// of mx_JSONObject (nil when it holds a value JSON cannot represent).
kit::Ref<kit::Data> mx_JSONData(const kit::Id& object);
// A string: itself; data: its UTF-8 text; anything else: the text of
// mx_JSONData.
kit::Ref<kit::String> mx_JSONString(const kit::Id& object);
