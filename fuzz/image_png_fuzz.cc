// Fuzzes the PNG reader: header parsing and decoding of every frame, with
// limits small enough that a hostile header cannot make the run allocate a lot.

#include "fuzz/image_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzImageReader(data, size, kit::openPNGReader);
}
