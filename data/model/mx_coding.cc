// Archiving models through their properties.

#include "data/model/mx_coding.h"

#include <functional>

#include "data/model/mx_class.h"
#include "data/model/mx_property.h"

namespace {

// Calls `visit` for each property of the object's class that its coding
// names let through.
void forEachCodedProperty(const kit::Object& object, const std::function<void(const KTProperty&)>& visit) {
  const kit::Class& cls = object.objectClass();
  auto allowed = mx_totalNames(cls, MXNameList::AllowedCoding);
  auto ignored = mx_totalNames(cls, MXNameList::IgnoredCoding);
  const auto list = mx_propertyList(cls);  // held: a setup may drop the cached list meanwhile
  for (const MXPropertyEntry& entry : *list) {
    const std::string& name = entry.property->nameText();
    if (!allowed->empty() && !allowed->contains(name)) continue;
    if (ignored->contains(name)) continue;
    visit(*entry.property);
  }
}

}  // namespace

void mx_encode(const kit::Object& object, kit::KeyedArchiver& coder) {
  // Reading properties by name leaves the object as it is.
  auto& readable = const_cast<kit::Object&>(object);
  forEachCodedProperty(object, [&](const KTProperty& property) {
    kit::Id value = property.valueForObject(readable);
    if (value) coder.encodeObject(value, property.nameText());
  });
}

void mx_decode(kit::Object& object, kit::KeyedUnarchiver& coder) {
  forEachCodedProperty(object, [&](const KTProperty& property) {
    kit::Id value = coder.decodeObjectForKey(property.nameText());
    if (!value) value = coder.decodeObjectForKey("_" + property.nameText());
    if (value) property.setValue(value, object);
  });
}
