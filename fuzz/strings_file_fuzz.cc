// Fuzzes the strings-file reader: any bytes give a table or an error.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kit/foundation/strings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace kit;
  Ref<Error> error;
  Ref<Dictionary> table = StringsFile::parse(Data::make(bytes, size), &error);
  if (!table && !error) std::abort();
  return 0;
}
