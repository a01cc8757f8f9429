// Dictionary-to-model mapping and back.

#include "data/model/mx_key_value.h"

#include <exception>
#include <mutex>
#include <string_view>
#include <unordered_set>

#include "data/model/kt_foundation.h"
#include "data/model/mx_class.h"
#include "data/model/mx_hooks.h"
#include "data/model/mx_platform.h"
#include "data/model/mx_property.h"
#include "data/model/mx_string.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/decimal_number.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/format.h"
#include "kit/foundation/number.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/url.h"

namespace {

const char kErrorSlot = 0;
const char kReferenceFlag = 0;

// Nesting of model conversions on this thread, one count per direction.
thread_local int forwardNesting = 0;
thread_local int reverseNesting = 0;

class Nesting {
 public:
  explicit Nesting(int& depth) : depth_(depth), entered_(depth < MXMaximumNesting) {
    if (entered_) ++depth_;
  }
  ~Nesting() {
    if (entered_) --depth_;
  }
  Nesting(const Nesting&) = delete;
  Nesting& operator=(const Nesting&) = delete;
  bool entered() const { return entered_; }

 private:
  int& depth_;
  bool entered_;
};

void setError(const kit::Class& cls, std::string message) {
  setMx_error(cls, kit::Error::make(std::move(message), MXErrorCode));
}

std::unordered_set<std::string> nameSet(const kit::Ref<kit::Array>& names) {
  std::unordered_set<std::string> set;
  if (names) {
    for (const kit::Id& name : names->objects()) set.insert(kit::describe(name));
  }
  return set;
}

// Runs one property's handling; an exception ends that property only and
// leaves its reason in the class's error slot.
template <class Work>
void guarded(const kit::Class& cls, Work&& work) {
  try {
    work();
  } catch (const kit::Exception& e) {
    setError(cls, e.reason());
  } catch (const std::exception& e) {
    setError(cls, e.what());
  }
}

// ---- Filling a model ---------------------------------------------------------

kit::Id lookUp(const kit::Id& dictionary, const KTKeyPathList& keyPaths) {
  if (!keyPaths) return nullptr;
  for (const KTKeyPath& path : *keyPaths) {
    kit::Id value = dictionary;
    for (const kit::Ref<KTPropertyKey>& step : path) {
      value = step->valueInObject(value);
      if (!value) break;
    }
    if (value) return value;  // the null object counts as found
  }
  return nullptr;
}

std::string lowercased(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A plain value converted for the property's type (steps for values that
// are neither nested models nor arrays of models).
kit::Id plainValue(kit::Id value, const KTPropertyType& type) {
  const kit::Class* typeClass = type.typeClass();
  if (typeClass == &kit::String::staticClass()) {
    if (auto* number = dynamic_cast<const kit::Number*>(value.get())) {
      value = kit::str(number->description());
    } else if (auto* url = dynamic_cast<const kit::URL*>(value.get())) {
      value = url->absoluteString();
    }
  } else if (auto text = kit::as<kit::String>(value)) {
    if (typeClass == &kit::URL::staticClass()) {
      value = mx_url(text);
    } else if (typeClass == &kit::DecimalNumber::staticClass()) {
      value = kit::DecimalNumber::decimalNumberWithString(text->utf8());  // NaN for a text of no number
    } else if (type.isNumberType()) {
      value = mx_platform::numberFromString(text->utf8());
      if (type.isBoolType()) {
        std::string lower = lowercased(text->utf8());
        if (lower == "yes" || lower == "true") {
          value = kit::Number::yes();
        } else if (lower == "no" || lower == "false") {
          value = kit::Number::no();
        }
      }
    }
  }
  // A plain number for a decimal property is taken at its written value
  // rather than dropped as a number of the wrong class.
  if (typeClass == &kit::DecimalNumber::staticClass() && !kit::isKind<kit::DecimalNumber>(value)) {
    if (auto* number = dynamic_cast<const kit::Number*>(value.get())) {
      value = kit::DecimalNumber::decimalNumberWithNumber(*number);
    }
  }
  if (typeClass && value && !value->isKindOfClass(*typeClass)) value = nullptr;
  return value;
}

kit::Id convertedValue(kit::Id value, const MXPropertyEntry& entry, const kit::Id& context) {
  const KTPropertyType& type = *entry.property->type();
  const kit::Class* typeClass = type.typeClass();

  if ((typeClass == &kit::MutableArray::staticClass() && kit::isKind<kit::Array>(value)) ||
      (typeClass == &kit::MutableDictionary::staticClass() && kit::isKind<kit::Dictionary>(value)) ||
      (typeClass == &kit::MutableString::staticClass() && kit::isKind<kit::String>(value)) ||
      (typeClass == &kit::MutableData::staticClass() && kit::isKind<kit::Data>(value))) {
    value = value->mutableCopy();
  }

  if (typeClass && !type.isFromFoundation()) return mx_objectWithKeyValues(*typeClass, value, context);

  if (entry.elementClass) {
    auto* array = dynamic_cast<const kit::Array*>(value.get());
    if (entry.elementClass == &kit::URL::staticClass() && array) {
      auto urls = kit::MutableArray::make();
      for (const kit::Id& element : array->objects()) {
        if (auto text = kit::as<kit::String>(element)) urls->addObject(mx_url(text));  // a text of no URL raises
      }
      return urls;
    }
    return mx_objectArrayWithKeyValuesArray(*entry.elementClass, value, context);
  }

  return plainValue(std::move(value), type);
}

// ---- Writing a model back ----------------------------------------------------

[[noreturn]] void raiseCannotStore(const kit::Id& container, std::string_view selector) {
  kit::raise(kit::InvalidArgumentException, "-[" + (container ? container->className() : std::string("nil")) + " " +
                                                 std::string(selector) + "]: unrecognized selector sent to instance");
}

// Stores `value` into `container` at one key-path step: under the key of a
// key step (a mutable dictionary), at the index of an index step (a mutable
// array, the index at most its count).
void storeAt(const kit::Id& container, const KTPropertyKey& step, const kit::Id& value) {
  if (step.type() == KTPropertyKeyTypeDictionary) {
    auto* dictionary = dynamic_cast<kit::MutableDictionary*>(container.get());
    if (!dictionary) raiseCannotStore(container, "setObject:forKeyedSubscript:");
    dictionary->setObject(value, std::string_view(step.nameText()));
    return;
  }
  auto* array = dynamic_cast<kit::MutableArray*>(container.get());
  if (!array) raiseCannotStore(container, "setObject:atIndexedSubscript:");
  long long index = step.index();
  if (index < 0 || static_cast<unsigned long long>(index) > array->count()) {
    kit::raise(kit::RangeException, "*** -[NSMutableArray setObject:atIndexedSubscript:]: index " +
                                        std::to_string(index) + " beyond bounds [0 .. " +
                                        std::to_string(array->count()) + "]");
  }
  if (static_cast<size_t>(index) == array->count()) {
    array->addObject(value);
  } else {
    array->replaceObjectAtIndex(static_cast<size_t>(index), value);
  }
}

// Stores `value` at the end of the key path, making the dictionaries and
// arrays on the way (arrays padded with nulls up to the index that follows).
void storeAlong(const KTKeyPath& path, const kit::Ref<kit::MutableDictionary>& result, const kit::Id& value) {
  kit::Id container = result;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    const KTPropertyKey& step = *path[i];
    const KTPropertyKey& following = *path[i + 1];
    kit::Id next = step.valueInObject(container);
    if (!next || kit::isNull(next)) {
      if (following.type() == KTPropertyKeyTypeDictionary) {
        next = kit::MutableDictionary::make();
      } else {
        next = kit::MutableArray::make();
      }
      storeAt(container, step, next);
    }
    if (auto* array = dynamic_cast<kit::MutableArray*>(next.get())) {
      long long wanted = following.index() + 1;
      while (wanted > 0 && array->count() < static_cast<unsigned long long>(wanted)) array->addObject(kit::null());
    }
    container = next;
  }
  storeAt(container, *path.back(), value);
}

}  // namespace

// ---- The error slot and the flag ---------------------------------------------------

kit::Ref<kit::Error> mx_error(const kit::Class& cls) { return kit::as<kit::Error>(cls.associated(&kErrorSlot)); }

void setMx_error(const kit::Class& cls, const kit::Ref<kit::Error>& error) { cls.setAssociated(&kErrorSlot, error); }

namespace {
void setRootReferenceFlagOnce() {
  static std::once_flag once;
  std::call_once(once, [] { kit::Object::staticClass().setAssociated(&kReferenceFlag, kit::Number::yes()); });
}
}  // namespace

void mx_referenceReplacedKeyWhenCreatingKeyValues(const kit::Class& cls, bool reference) {
  setRootReferenceFlagOnce();
  cls.setAssociated(&kReferenceFlag, kit::Number::fromBool(reference));
}

bool mx_isReferenceReplacedKeyWhenCreatingKeyValues(const kit::Class& cls) {
  setRootReferenceFlagOnce();
  for (const kit::Class* c = &cls; c; c = c->superclass()) {
    if (auto flag = kit::as<kit::Number>(c->associated(&kReferenceFlag))) return flag->boolValue();
  }
  return false;
}

// ---- Models from key values --------------------------------------------------------

kit::Id mx_setKeyValues(const kit::Id& object, const kit::Id& keyValues, const kit::Id& context) {
  if (!object) return nullptr;
  kit::Id converted = mx_JSONObject(keyValues);
  const kit::Class& cls = object->objectClass();
  setMx_error(cls, nullptr);
  if (!kit::isKind<kit::Dictionary>(converted)) {
    setError(cls, MXErrorNotADictionary);
    return object;
  }
  Nesting nesting(forwardNesting);
  if (!nesting.entered()) {
    setError(cls, MXErrorNestedTooDeep);
    return object;
  }

  auto allowed = mx_totalNames(cls, MXNameList::Allowed);
  auto ignored = mx_totalNames(cls, MXNameList::Ignored);
  MXPropertyList properties = mx_propertyList(cls);
  MXNewValueSource newValue(cls, *object);

  for (const MXPropertyEntry& entry : *properties) {
    guarded(cls, [&] {
      const KTProperty& property = *entry.property;
      const std::string& name = property.nameText();
      if (!allowed->empty() && !allowed->contains(name)) return;
      if (ignored->contains(name)) return;

      kit::Id value = lookUp(converted, entry.keyPaths);
      kit::Id replaced = newValue(*object, value, property);
      if (replaced.get() != value.get()) {
        property.setValue(replaced, *object);
        return;
      }
      if (!value || kit::isNull(value)) return;
      property.setValue(convertedValue(std::move(value), entry, context), *object);
    });
  }

  if (const MXObjectHook* hook = mx_hook(cls, MXHooks::mx_keyValuesDidFinishConvertingToObject)) (*hook)(*object);
  return object;
}

kit::Id mx_objectWithKeyValues(const kit::Class& cls, const kit::Id& keyValues, const kit::Id& context) {
  kit::Id converted = mx_JSONObject(keyValues);
  setMx_error(cls, nullptr);
  if (!kit::isKind<kit::Dictionary>(converted)) {
    setError(cls, MXErrorNotADictionary);
    return nullptr;
  }
  if (forwardNesting >= MXMaximumNesting) {
    setError(cls, MXErrorNestedTooDeep);
    return nullptr;
  }
  (void)context;  // no managed-object store: every model is a plain new instance
  kit::Id object = cls.create();
  if (object) mx_setKeyValues(object, converted);
  return object;
}

kit::Ref<kit::MutableArray> mx_objectArrayWithKeyValuesArray(const kit::Class& cls, const kit::Id& keyValuesArray,
                                                             const kit::Id& context) {
  kit::Id converted = mx_JSONObject(keyValuesArray);
  setMx_error(cls, nullptr);
  auto* array = dynamic_cast<const kit::Array*>(converted.get());
  if (!array) {
    setError(cls, MXErrorNotAnArray);
    return nullptr;
  }
  if (KTFoundation::isClassFromFoundation(&cls)) return kit::as<kit::MutableArray>(array->mutableCopy());
  Nesting nesting(forwardNesting);
  if (!nesting.entered()) {
    setError(cls, MXErrorNestedTooDeep);
    return nullptr;
  }

  auto models = kit::MutableArray::make();
  for (const kit::Id& element : array->objects()) {
    kit::Id model = kit::isKind<kit::Array>(element) ? kit::Id(mx_objectArrayWithKeyValuesArray(cls, element, context))
                                                     : mx_objectWithKeyValues(cls, element, context);
    if (model) models->addObject(model);
  }
  return models;
}

namespace {
kit::Ref<kit::String> resourcePath(const kit::Ref<kit::String>& filename) {
  return kit::Bundle::main()->pathForResource(filename->utf8(), "");
}
}  // namespace

kit::Id mx_objectWithFile(const kit::Class& cls, const kit::Ref<kit::String>& path) {
  setMx_error(cls, nullptr);
  if (!path) {
    setError(cls, MXErrorNoFile);
    return nullptr;
  }
  return mx_objectWithKeyValues(cls, kit::dictionaryWithContentsOfFile(path->utf8()));
}

kit::Ref<kit::MutableArray> mx_objectArrayWithFile(const kit::Class& cls, const kit::Ref<kit::String>& path) {
  setMx_error(cls, nullptr);
  if (!path) {
    setError(cls, MXErrorNoFile);
    return nullptr;
  }
  return mx_objectArrayWithKeyValuesArray(cls, kit::arrayWithContentsOfFile(path->utf8()));
}

kit::Id mx_objectWithFilename(const kit::Class& cls, const kit::Ref<kit::String>& filename) {
  setMx_error(cls, nullptr);
  if (!filename) {
    setError(cls, MXErrorNoFilename);
    return nullptr;
  }
  return mx_objectWithFile(cls, resourcePath(filename));
}

kit::Ref<kit::MutableArray> mx_objectArrayWithFilename(const kit::Class& cls, const kit::Ref<kit::String>& filename) {
  setMx_error(cls, nullptr);
  if (!filename) {
    setError(cls, MXErrorNoFilename);
    return nullptr;
  }
  return mx_objectArrayWithFile(cls, resourcePath(filename));
}

// ---- Key values from models ---------------------------------------------------------

kit::Id mx_keyValues(const kit::Id& object) { return mx_keyValuesWithKeys(object, nullptr, nullptr); }

kit::Id mx_keyValuesWithKeys(const kit::Id& object, const kit::Ref<kit::Array>& keys) {
  return mx_keyValuesWithKeys(object, keys, nullptr);
}

kit::Id mx_keyValuesWithIgnoredKeys(const kit::Id& object, const kit::Ref<kit::Array>& ignoredKeys) {
  return mx_keyValuesWithKeys(object, nullptr, ignoredKeys);
}

kit::Id mx_keyValuesWithKeys(const kit::Id& object, const kit::Ref<kit::Array>& keys,
                             const kit::Ref<kit::Array>& ignoredKeys) {
  if (!object) return nullptr;
  const kit::Class& cls = object->objectClass();
  setMx_error(cls, nullptr);
  if (KTFoundation::isClassFromFoundation(&cls)) {
    setError(cls, MXErrorNotAModelClass);
    return object;
  }
  Nesting nesting(reverseNesting);
  if (!nesting.entered()) {
    setError(cls, MXErrorNestedTooDeep);
    return nullptr;
  }

  auto result = kit::MutableDictionary::make();
  auto allowed = mx_totalNames(cls, MXNameList::Allowed);
  auto ignored = mx_totalNames(cls, MXNameList::Ignored);
  const std::unordered_set<std::string> givenKeys = nameSet(keys);
  const std::unordered_set<std::string> givenIgnored = nameSet(ignoredKeys);
  const bool byReplacedKey = mx_isReferenceReplacedKeyWhenCreatingKeyValues(cls);
  MXPropertyList properties = mx_propertyList(cls);

  for (const MXPropertyEntry& entry : *properties) {
    guarded(cls, [&] {
      const KTProperty& property = *entry.property;
      const std::string& name = property.nameText();
      if (!allowed->empty() && !allowed->contains(name)) return;
      if (ignored->contains(name)) return;
      if (!givenKeys.empty() && !givenKeys.count(name)) return;
      if (givenIgnored.count(name)) return;

      kit::Id value = property.valueForObject(*object);
      if (!value) return;
      const KTPropertyType& type = *property.type();
      if (type.typeClass() && !type.isFromFoundation()) {
        value = mx_keyValues(value);
      } else if (kit::isKind<kit::Array>(value)) {
        value = mx_keyValuesArrayWithObjectArray(kit::Object::staticClass(), value);
      } else if (type.typeClass() == &kit::URL::staticClass()) {
        if (auto url = kit::as<kit::URL>(value)) value = url->absoluteString();
      }
      if (!value) return;  // a nested model that could not be converted (its class holds the error)

      if (!byReplacedKey) {
        result->setObject(value, std::string_view(name));
      } else if (entry.keyPaths && !entry.keyPaths->empty() && !entry.keyPaths->front().empty()) {
        storeAlong(entry.keyPaths->front(), result, value);
      }
    });
  }

  if (const MXObjectHook* hook = mx_hook(cls, MXHooks::mx_objectDidFinishConvertingToKeyValues)) (*hook)(*object);
  return result;
}

kit::Ref<kit::MutableArray> mx_keyValuesArrayWithObjectArray(const kit::Class& cls, const kit::Id& objectArray,
                                                             const kit::Ref<kit::Array>& keys,
                                                             const kit::Ref<kit::Array>& ignoredKeys) {
  setMx_error(cls, nullptr);
  auto* array = dynamic_cast<const kit::Array*>(objectArray.get());
  if (!array) {
    setError(cls, MXErrorObjectArrayNotAnArray);
    return nullptr;
  }
  auto result = kit::MutableArray::make();
  for (const kit::Id& element : array->objects()) {
    kit::Id answer = keys ? mx_keyValuesWithKeys(element, keys) : mx_keyValuesWithIgnoredKeys(element, ignoredKeys);
    if (answer) result->addObject(answer);
  }
  return result;
}

// ---- JSON ----------------------------------------------------------------------------

kit::Id mx_JSONObject(const kit::Id& object) {
  if (auto* text = dynamic_cast<const kit::String*>(object.get())) return mx_platform::JSONObjectWithString(*text);
  if (auto* data = dynamic_cast<const kit::Data*>(object.get())) return mx_platform::JSONObjectWithData(*data);
  if (kit::isKind<kit::Dictionary>(object) || kit::isKind<kit::Array>(object)) return object;
  return mx_keyValues(object);
}

kit::Ref<kit::Data> mx_JSONData(const kit::Id& object) {
  if (auto* text = dynamic_cast<const kit::String*>(object.get())) return kit::Data::make(text->utf8());
  if (auto data = kit::as<kit::Data>(object)) return data;
  kit::Id json = mx_JSONObject(object);
  return json ? mx_platform::dataWithJSONObject(json) : nullptr;
}

kit::Ref<kit::String> mx_JSONString(const kit::Id& object) {
  if (auto text = kit::as<kit::String>(object)) return text;
  if (auto* data = dynamic_cast<const kit::Data*>(object.get())) return kit::String::fromUTF8Bytes(data->view());
  kit::Ref<kit::Data> json = mx_JSONData(object);
  return json ? kit::String::fromUTF8Bytes(json->view()) : nullptr;
}
