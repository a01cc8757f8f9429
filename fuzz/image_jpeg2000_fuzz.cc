// Fuzzes the JPEG 2000 reader (JP2 files and raw codestreams): the SIZ
// check, openjpeg's header reading and decoding, and the pixel conversion,
// with limits small enough that a hostile header cannot make the run
// allocate a lot.

#include "fuzz/image_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzImageReader(data, size, kit::openJPEG2000Reader, size_t{1} << 20);
}
