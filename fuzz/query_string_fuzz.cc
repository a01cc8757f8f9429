// Fuzzes the query-string serializer with parameter objects read from JSON:
// whatever the keys and values, the query holds only characters that cannot
// change its meaning, besides its own "=" and "&".

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kit/foundation/json_serialization.h"
#include "net/query_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  kit::Id parameters =
      kit::JSONSerialization::JSONObjectWithData(kit::Data::make(bytes, size), kit::JSONReadingFragmentsAllowed);
  if (!parameters) return 0;
  std::string query = SDPQueryStringFromParameters(parameters);
  for (char c : query) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              std::strchr("-._~/?%=&", c) != nullptr;
    if (!ok || c == '\0') std::abort();
  }
  return 0;
}
