// KTWebImageProgressiveDecoder: the partial images of one download. Fed all
// bytes received so far, it decodes what it can and says which partial image
// (if any) to show now. Plain partial images come from any type the decoder
// reads incrementally except WebP. Blurred ones come only from progressive
// JPEG and interlaced PNG, only once the bottom-right pixel is drawn, and for
// JPEG only when a further scan has begun since the last look; their blur
// shrinks as the download nears its end.
//
// Chunk-size and timing rules stay with the caller; this decides on bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "kit/foundation/data.h"
#include "kit/graphics/image.h"
#include "ui/images/kt_image_decoder.h"

class KTWebImageProgressiveDecoder {
 public:
  KTWebImageProgressiveDecoder(bool blur, double scale) : blur_(blur), scale_(scale) {}

  // The partial image to deliver for `data` (all bytes so far, in the
  // download's own buffer, which is read during this call only), or nil.
  // `expectedSize` is the announced length, 0 or below when unknown;
  // `cancelled` is asked between the costly steps.
  kit::Ref<kit::Image> imageForData(const kit::Ref<kit::MutableData>& data, int64_t expectedSize,
                                    const std::function<bool()>& cancelled);
  // Partial delivery was given up for this download.
  bool isIgnored() const { return ignored_; }

  // Whether the JPEG start-of-scan marker (FF DA) begins within `count`
  // bytes from `from`.
  static bool containsScanMarker(const uint8_t* bytes, size_t length, size_t from, size_t count);
  // Whether the image's bottom-right pixel has been drawn (alpha above 0).
  // An image without pixels passes.
  static bool isBottomRightDrawn(const kit::Image& image);
  // The blur for a partial image: smaller as more of the expected bytes have
  // arrived, or as more partial images were shown when the length is unknown.
  static double blurRadius(size_t received, int64_t expectedSize, size_t displayCount);

 private:
  void giveUp();

  const bool blur_;
  const double scale_;
  kit::Ref<KTImageDecoder> decoder_;
  bool ignored_ = false;
  bool detected_ = false;
  size_t scannedLength_ = 0;
  size_t displayCount_ = 0;
};
