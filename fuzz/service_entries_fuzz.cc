// Fuzzes the reader of the client's services file (a property list or a JSON
// object of service addresses): it never crashes, a refusal always carries
// its reason, and what it accepts is only configuration keys with http or
// https addresses.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "config/client_configuration.h"
#include "config/service_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  auto data = kit::Data::make(bytes, size);
  for (auto unknown : {UnknownServiceKeys::Report, UnknownServiceKeys::Ignore}) {
    auto entries = parseServiceEntries(data, unknown);
    if (!entries) {
      if (!entries.error() || entries.error()->domain() != ServiceEntriesErrorDomain) std::abort();
      continue;
    }
    for (const auto& [name, address] : entries->addresses) {
      if (!ClientConfiguration::findKey(name) || !ClientConfiguration::isServiceAddress(address)) std::abort();
    }
  }
  return 0;
}
