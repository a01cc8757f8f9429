// Partial images of a download. See kt_web_image_progressive.h.
#include "ui/images/kt_web_image_progressive.h"

#include <algorithm>
#include <cstring>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/number.h"
#include "kit/graphics/image_io_objects.h"
#include "ui/images/kt_image_effects.h"
#include "ui/images/kt_image_type.h"

namespace {

// The flag of a per-format property dictionary of frame 0, if present.
bool frameFlag(KTImageDecoder& decoder, const char* dictionaryKey, const char* key) {
  auto properties = decoder.framePropertiesAtIndex(0);
  auto format = properties ? kit::as<kit::Dictionary>(properties->objectForKey(dictionaryKey)) : nullptr;
  auto value = format ? kit::as<kit::Number>(format->objectForKey(key)) : nullptr;
  return value && value->boolValue();
}

}  // namespace

void KTWebImageProgressiveDecoder::giveUp() {
  decoder_ = nullptr;
  ignored_ = true;
}

kit::Ref<kit::Image> KTWebImageProgressiveDecoder::imageForData(const kit::Ref<kit::MutableData>& data,
                                                                int64_t expectedSize,
                                                                const std::function<bool()>& cancelled) {
  if (ignored_ || !data) return nullptr;
  if (!decoder_) decoder_ = KTImageDecoder::initWithScale(scale_);
  if (!decoder_) return nullptr;
  decoder_->updateGrowingData(data);
  if (cancelled()) return nullptr;
  const KTImageType type = decoder_->type();
  if (type == KTImageTypeUnknown || type == KTImageTypeWebP ||
      (blur_ && type != KTImageTypeJPEG && type != KTImageTypePNG)) {
    giveUp();
    return nullptr;
  }
  if (decoder_->frameCount() == 0) return nullptr;
  if (!blur_) {
    auto frame = decoder_->frameAtIndex(0, true);
    return frame ? frame->image() : nullptr;
  }

  if (type == KTImageTypePNG && !detected_) {
    if (!frameFlag(*decoder_, kit::ImageProperty::PNGDictionary, kit::ImageProperty::PNGInterlaceType)) {
      giveUp();
      return nullptr;
    }
    detected_ = true;
  }
  if (type == KTImageTypeJPEG) {
    if (!detected_) {
      if (!frameFlag(*decoder_, kit::ImageProperty::JFIFDictionary, kit::ImageProperty::JFIFIsProgressive)) {
        giveUp();
        return nullptr;
      }
      detected_ = true;
    }
    // A blurred picture only once a further scan has begun.
    const size_t length = data->length();
    if (length < scannedLength_ + 7) return nullptr;
    const size_t fresh = length - scannedLength_;
    const bool found = containsScanMarker(data->bytes(), length, scannedLength_, fresh - 4);
    scannedLength_ = length;
    if (!found || cancelled()) return nullptr;
  }

  auto frame = decoder_->frameAtIndex(0, true);
  auto image = frame ? frame->image() : nullptr;
  if (!image || cancelled()) return nullptr;
  if (!image->bitmap() || image->bitmap()->width() == 0 || image->bitmap()->height() == 0) return nullptr;
  if (!isBottomRightDrawn(*image)) return nullptr;

  ++displayCount_;
  double radius = blurRadius(data->length(), expectedSize, displayCount_);
  auto blurred = KT_imageByBlurRadius(image, radius, nullptr, 0, 1.0, nullptr);
  return blurred;
}

bool KTWebImageProgressiveDecoder::containsScanMarker(const uint8_t* bytes, size_t length, size_t from, size_t count) {
  if (!bytes || from >= length || count < 2) return false;
  const size_t end = std::min(length, from + count);
  for (size_t i = from; i + 1 < end; ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) return true;
  }
  return false;
}

bool KTWebImageProgressiveDecoder::isBottomRightDrawn(const kit::Image& image) {
  const auto& bitmap = image.bitmap();
  if (!bitmap || bitmap->width() == 0 || bitmap->height() == 0) return true;
  return bitmap->pixelAt(bitmap->width() - 1, bitmap->height() - 1).a != 0;
}

double KTWebImageProgressiveDecoder::blurRadius(size_t received, int64_t expectedSize, size_t displayCount) {
  if (expectedSize > 0) {
    double progress = static_cast<double>(received) / static_cast<double>(expectedSize);
    // More bytes than announced would make it negative.
    return std::max(0.0, (1.0 / (3.0 * progress + 0.6) - 0.25) * 32.0);
  }
  return 32.0 / static_cast<double>(std::max<size_t>(displayCount, 1));
}
