// Fuzzes the partial-image step of the web-image download: the file arrives
// in chunks whose sizes come from the first byte, with the length announced
// or not (second byte), and after every chunk the progressive decoder (plain
// and blurred) decodes what it has, searches for JPEG scan markers, tests
// whether the bottom-right pixel is drawn and blurs. The rest of the input is
// the file, so image files with two bytes in front serve as seeds.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "kit/foundation/data.h"
#include "kit/graphics/image_source.h"
#include "ui/images/kt_web_image_progressive.h"

namespace {

bool tooLarge(std::span<const uint8_t> file) {
  auto source = kit::ImageSource::create(file);
  if (!source) return false;
  auto properties = source->propertiesAtIndex(0);
  return properties && properties->pixelWidth * properties->pixelHeight > 256 * 256;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t seed = data[0];
  const bool announced = data[1] & 1;
  std::span<const uint8_t> file(data + 2, size - 2);
  if (tooLarge(file)) return 0;
  const int64_t expected = announced ? static_cast<int64_t>(file.size()) : -1;

  KTWebImageProgressiveDecoder plain(false, 1.0);
  KTWebImageProgressiveDecoder blurred(true, 2.0);
  auto never = [] { return false; };
  uint32_t state = seed;
  size_t at = 0;
  // One growing buffer, as a download keeps it.
  auto received = kit::MutableData::make();
  while (at < file.size()) {
    state = state * 1103515245u + 12345u;
    const size_t from = at;
    at = std::min(file.size(), at + 1 + (state >> 16) % 700);
    received->appendBytes(file.data() + from, at - from);
    for (auto* decoder : {&plain, &blurred}) {
      if (auto image = decoder->imageForData(received, expected, never)) {
        KTWebImageProgressiveDecoder::isBottomRightDrawn(*image);
      }
    }
    KTWebImageProgressiveDecoder::containsScanMarker(file.data(), at, (state >> 8) % (at + 1), at);
    KTWebImageProgressiveDecoder::blurRadius(at, expected, state % 5);
  }
  return 0;
}
