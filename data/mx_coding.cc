// The property selection of model archiving.

#include "data/mx_coding.h"

#include "data/mx_class.h"
#include "data/mx_property.h"

namespace mx_coding {

void forEachCodedProperty(const kit::Object& object, const std::function<void(const KTProperty&)>& visit) {
  const kit::Class& cls = object.objectClass();
  auto allowed = mx_totalNames(cls, MXNameList::AllowedCoding);
  auto ignored = mx_totalNames(cls, MXNameList::IgnoredCoding);
  for (const MXPropertyEntry& entry : *mx_propertyList(cls)) {
    const std::string& name = entry.property->nameText();
    if (!allowed->empty() && !allowed->contains(name)) continue;
    if (ignored->contains(name)) continue;
    visit(*entry.property);
  }
}

}  // namespace mx_coding
