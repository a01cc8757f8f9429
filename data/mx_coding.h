// Keyed archiving of any model object through its declared properties: a
// model class that archives itself calls mx_encode from its encoding and
// mx_decode from its decoding. The allowed and ignored coding names of the
// class (mx_class.h) choose the properties.
//
// The coder needs encodeObject(value, key) and decodeObjectForKey(key), as
// the keyed archiver and unarchiver give them.
#pragma once

#include <functional>
#include <string>

#include "data/kt_property.h"
#include "kit/foundation/object.h"

namespace mx_coding {
// Calls `visit` for each property of the object's class that its coding
// names let through.
void forEachCodedProperty(const kit::Object& object, const std::function<void(const KTProperty&)>& visit);
}  // namespace mx_coding

// Encodes each coded property that holds a value under the property's name.
template <class Coder>
void mx_encode(kit::Object& object, Coder& coder) {
  mx_coding::forEachCodedProperty(object, [&](const KTProperty& property) {
    kit::Id value = property.valueForObject(object);
    if (value) coder.encodeObject(value, property.nameText());
  });
}

// Sets each coded property from the value under its name, or else under "_"
// and its name; a property with neither keeps its value.
template <class Coder>
void mx_decode(kit::Object& object, Coder& coder) {
  mx_coding::forEachCodedProperty(object, [&](const KTProperty& property) {
    kit::Id value = coder.decodeObjectForKey(property.nameText());
    if (!value) value = coder.decodeObjectForKey("_" + property.nameText());
    if (value) property.setValue(value, object);
  });
}
