// Fuzzes the animated images made from outside bytes: KTImage from data
// (every frame and duration asked for, preloading on and off) and the small
// animated GIF of the image effects. The whole input is the file, so image
// files serve as seeds as they are.
//
// Large screens from few bytes are the point here: a frame may be as large
// as 4096 x 4096. Inputs with more than 64 frames, or whose frames add up to
// more than 16 million pixels (all of them are held while preloading), are
// skipped: their cost is bounded by kit's decode limits, not by the code
// under test.
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
  size_t pixels = 0;
  for (size_t i = 0; i < source->count(); ++i) {
    auto properties = source->propertiesAtIndex(i);
    if (properties) pixels += properties->pixelWidth * properties->pixelHeight;
    if (pixels > size_t{1} << 24) return true;
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
