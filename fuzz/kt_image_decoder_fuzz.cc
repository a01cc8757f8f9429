// Fuzzes the image decoder: type detection, then the input fed in growing
// prefixes at split points taken from its length, then as final data, with
// every frame asked for (plain and decoded for display) after each update,
// in an order taken from its middle byte, so that animated PNG frames are
// composed by steps and by rebuilds alike. The whole input is the file, so
// image files serve as seeds as they are.
//
// Inputs whose frames are above 256x256 pixels or more than 64 are skipped:
// every frame is as large as its canvas, so their cost is bounded by kit's
// decode limits rather than by anything the decoder does.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "kit/foundation/data.h"
#include "kit/graphics/image_source.h"
#include "ui/images/kt_image_decoder.h"
#include "ui/images/kt_image_type.h"

namespace {

bool tooLarge(std::span<const uint8_t> file) {
  auto source = kit::ImageSource::create(file);
  if (!source) return false;
  if (source->count() > 64) return true;
  for (size_t i = 0; i < source->count(); ++i) {
    auto properties = source->propertiesAtIndex(i);
    if (properties && properties->pixelWidth * properties->pixelHeight > 256 * 256) return true;
  }
  return false;
}

void askForFrames(KTImageDecoder& decoder, uint8_t orderSeed) {
  const size_t count = decoder.frameCount();
  std::vector<size_t> order;
  for (size_t i = 0; i <= count; ++i) order.push_back(i);
  if (count > 2) {
    // A jump, a step, back to the start, the end, one back.
    const size_t k = orderSeed % count;
    order.insert(order.end(), {k, (k + 1) % count, 0, count - 1, k > 0 ? k - 1 : 0});
  }
  for (size_t i : order) {
    decoder.frameDurationAtIndex(i);
    decoder.framePropertiesAtIndex(i);
    auto plain = decoder.frameAtIndex(i, false);
    auto shown = decoder.frameAtIndex(i, true);
    if (i >= count && (plain || shown)) __builtin_trap();  // no frame past the end
    if (shown && decoder.type() != KTImageTypeICO && decoder.width() > 0) {
      const auto& bitmap = shown->image()->bitmap();
      // Shown frames fill the canvas.
      if (bitmap->width() != decoder.width() || bitmap->height() != decoder.height()) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t step = 1 + size % 97;
  const uint8_t orderSeed = data[size / 2];
  std::span<const uint8_t> file(data, size);
  KTDetectImageType(file);
  if (tooLarge(file)) return 0;
  auto decoder = KTImageDecoder::initWithScale(1 + size % 3);
  for (size_t n = step; n < file.size(); n += step * 5) {
    decoder->updateData(kit::Data::make(file.data(), n), false);
    askForFrames(*decoder, orderSeed);
  }
  const bool taken = decoder->updateData(kit::Data::make(file.data(), file.size()), true);
  if (taken && decoder->updateData(kit::Data::make(file.data(), file.size()), true)) __builtin_trap();
  askForFrames(*decoder, orderSeed);
  decoder->imageProperties();
  KTImageDecoder::decoderWithData(kit::Data::make(file.data(), file.size()), 2);
  return 0;
}
