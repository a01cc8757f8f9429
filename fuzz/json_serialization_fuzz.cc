// Fuzzes the JSON reader with every reading option; whatever it accepts
// must write and read back, and must be refused once a NUL byte and more
// bytes follow it (the input ends at its last byte, not at a NUL).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kit/foundation/json_serialization.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace kit;
  if (size == 0) return 0;
  unsigned options = bytes[0] & 7;  // the first byte picks the options
  Ref<Error> error;
  Id value = JSONSerialization::JSONObjectWithData(Data::make(bytes + 1, size - 1), options, &error);
  if (!value) {
    if (!error) std::abort();
    return 0;
  }
  std::vector<uint8_t> followed(bytes + 1, bytes + size);
  followed.insert(followed.end(), {0, 'x', 0, 0});
  if (JSONSerialization::JSONObjectWithData(Data::make(followed.data(), followed.size()), options)) std::abort();
  Ref<Data> text = JSONSerialization::dataWithJSONObject(value, JSONWritingFragmentsAllowed | (bytes[0] >> 3 & 3), &error);
  if (!text || !JSONSerialization::JSONObjectWithData(text, JSONReadingFragmentsAllowed)) std::abort();
  return 0;
}
