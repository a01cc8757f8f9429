// Fuzzes the ICNS reader: the container walk, the classic run-length icons
// and masks, and the embedded PNG and JPEG 2000 icons, with limits small
// enough that a hostile header cannot make the run allocate a lot.

#include "fuzz/image_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzImageReader(data, size, kit::openICNSReader, size_t{1} << 20);
}
