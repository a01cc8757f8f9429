// Fuzzes the animated images made from outside bytes: KTImage from data
// (every frame and duration asked for, preloading on and off) and the small
// animated GIF of the image effects. The whole input is the file, so image
// files serve as seeds as they are.
//
// Inputs whose frames are above 256x256 pixels or more than 64 are skipped:
// their cost is bounded by kit's decode limits, not by the code under test.
#include <cstddef>
#include <cstdint>
#include <span>

#include "kit/foundation/data.h"
#include "kit/graphics/image_source.h"
#include "ui/images/kt_image.h"
#include "ui/images/kt_image_effects.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> file(data, size);
  if (tooLarge(file)) return 0;
  auto bytes = kit::Data::make(data, size);
  if (auto image = KTImage::imageWithData(bytes, size % 4)) {
    if (!image->bitmap() || image->scale() <= 0) __builtin_trap();
    const size_t count = image->animatedImageFrameCount();
    for (size_t i = 0; i <= count; ++i) {
      if (image->animatedImageDurationAtIndex(i) < 0.011) __builtin_trap();
      auto frame = image->animatedImageFrameAtIndex(i);
      if (i == count && frame) __builtin_trap();
    }
    image->setPreloadAllAnimatedImageFrames(true);
    image->animatedImageFrameAtIndex(count / 2);
    image->setPreloadAllAnimatedImageFrames(false);
  }
  if (auto gif = KT_imageWithSmallGIFData(bytes, 1 + size % 3)) {
    if (!gif->bitmap()) __builtin_trap();
    if (!gif->images().empty() && gif->images().size() > (size_t{1} << 16)) __builtin_trap();
  }
  return 0;
}
