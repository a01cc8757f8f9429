// The image decoder: data updates and type fixing, the image-source and
// animated-PNG frame lists, and frames with their compositing on the blend
// canvas. See kt_image_decoder.h.
#include "ui/images/kt_image_decoder.h"

#include <mutex>

#include "kit/foundation/log.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/image_io_objects.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/kt_image_utilities.h"

namespace {

// The type is fixed by the first update longer than this.
constexpr size_t kTypeDetectionBytes = 16;

kit::Rect frameRect(const KTImageFrame& frame) {
  return kit::Rect(static_cast<double>(frame.offsetX()), static_cast<double>(frame.offsetY()),
                   static_cast<double>(frame.width()), static_cast<double>(frame.height()));
}

void logWebPNoticeOnce() {
  static std::once_flag once;
  std::call_once(once, [] { kit::log("WebP images cannot be decoded here: WebP support is not available."); });
}

}  // namespace

KTImageDecoder::KTImageDecoder(double scale) : scale_(scale > 0 ? scale : 1.0) {}
KTImageDecoder::~KTImageDecoder() = default;

kit::Ref<KTImageDecoder> KTImageDecoder::initWithScale(double scale) { return kit::make<KTImageDecoder>(scale); }

kit::Ref<KTImageDecoder> KTImageDecoder::make() { return initWithScale(kit::mainScreenScale()); }

kit::Ref<KTImageDecoder> KTImageDecoder::decoderWithData(const kit::Ref<kit::Data>& data, double scale) {
  if (!data) return nullptr;
  auto decoder = initWithScale(scale);
  decoder->updateData(data, true);
  return decoder->frameCount() > 0 ? decoder : nullptr;
}

kit::Ref<kit::Data> KTImageDecoder::data() const {
  std::lock_guard lock(lock_);
  return data_;
}

bool KTImageDecoder::updateData(const kit::Ref<kit::Data>& data, bool final) {
  // Our own immutable copy: the caller may go on appending to its data.
  return update(data ? kit::as<kit::Data>(data->copy()) : kit::Data::make(), final);
}

bool KTImageDecoder::updateGrowingData(const kit::Ref<kit::MutableData>& data) {
  // Unfinished data is read only here (the image source keeps its own
  // bytes, copying from a buffer it saw before only what was appended
  // since; the animated-PNG reader waits for the final data), so the
  // buffer is held as it is.
  if (!data) return update(kit::Data::make(), false);
  return update(data, false);
}

bool KTImageDecoder::update(kit::Ref<kit::Data> data, bool final) {
  std::lock_guard lock(lock_);
  if (finalized_) return false;
  if (data->length() < dataLength_) return false;
  finalized_ = final;
  // The same growing buffer again holds what it held then, and more.
  unchangedLength_ = data == data_ ? dataLength_ : 0;
  dataLength_ = data->length();
  data_ = std::move(data);
  const KTImageType detected = KTDetectImageType(data_);
  if (sourceTypeDetected_) {
    if (detected != type_) return false;
    updateSource();
    return true;
  }
  if (data_->length() > kTypeDetectionBytes) {
    type_ = detected;
    sourceTypeDetected_ = true;
    updateSource();
  }
  return true;
}

void KTImageDecoder::updateSource() {
  blendFrameIndex_ = kNoFrame;
  lastComposedIndex_ = kNoFrame;
  lastComposed_ = nullptr;
  switch (type_.load()) {
    case KTImageTypePNG:
      updateSourceAPNG();
      break;
    case KTImageTypeWebP:
      logWebPNoticeOnce();
      break;
    default:
      updateSourceImageIO();
      break;
  }
}

void KTImageDecoder::setFrames(Frames frames) {
  std::lock_guard lock(framesLock_);
  frames_ = std::move(frames);
  frameCount_ = frames_.size();
}

kit::Ref<KTImageDecoderFrame> KTImageDecoder::frameRecord(size_t index) {
  std::lock_guard lock(framesLock_);
  return index < frames_.size() ? frames_[index] : nullptr;
}

void KTImageDecoder::updateSourceImageIO() {
  width_ = 0;
  height_ = 0;
  orientation_ = kit::ImageOrientation::Up;
  loopCount_ = 0;
  setFrames({});

  const std::span<const uint8_t> bytes = data_->span();
  if (!source_) {
    // The decoder's callers keep the frames they want (an animated image's
    // view buffers what its budget allows); the source keeps none.
    kit::ImageSourceOptions options;
    options.shouldCache = false;
    if (finalized_) {
      source_ = kit::ImageSource::create(bytes, options);
    } else {
      source_ = kit::ImageSource::createIncremental(options);
      source_->updateData(bytes, false);
    }
  } else {
    source_->updateData(bytes, unchangedLength_, finalized_);
  }
  if (!source_) return;

  size_t count = source_->count();
  if (count == 0) return;
  if (!finalized_) {
    count = 1;  // only the first frame of unfinished data is decoded
  } else if (type_ == KTImageTypePNG) {
    count = 1;  // the animation is the animated-PNG reader's business
  } else if (type_ == KTImageTypeGIF) {
    loopCount_ = static_cast<size_t>(std::max(0, source_->properties().gifLoopCount.value_or(0)));
  }

  Frames frames;
  frames.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    auto frame = KTImageDecoderFrame::make();
    frame->setIndex(i);
    frame->setBlendFromIndex(i);
    frame->setHasAlpha(true);
    frame->setIsFullSize(true);
    if (auto properties = source_->propertiesAtIndex(i)) {
      frame->setWidth(properties->pixelWidth);
      frame->setHeight(properties->pixelHeight);
      if (type_ == KTImageTypeGIF) {
        // As the file says; the shortest delay shown is the animated image's business.
        frame->setDuration(properties->gifUnclampedDelayTime.value_or(properties->gifDelayTime.value_or(0)));
      }
      if (i == 0 && width_ + height_ == 0) {
        width_ = properties->pixelWidth;
        height_ = properties->pixelHeight;
        orientation_ = kit::orientationFromEXIF(properties->orientation);
      }
    }
    frames.push_back(std::move(frame));
  }
  setFrames(std::move(frames));
}

void KTImageDecoder::updateSourceAPNG() {
  updateSourceImageIO();
  if (frameCount_ == 0 || !finalized_) return;
  auto info = KTAPNGReadChunks(data_->span());
  if (!info || info->frames.empty()) return;
  if (info->frames.size() == 1 && info->firstFrameIsCover) return;  // the default image alone
  if (!kit::DecodeLimits{}.accepts(info->width, info->height)) return;

  source_.reset();
  const size_t canvasWidth = info->width, canvasHeight = info->height;
  Frames frames;
  frames.reserve(info->frames.size());
  bool needBlend = false;
  size_t lastClean = 0;  // the last frame from which the canvas can be rebuilt
  for (size_t i = 0; i < info->frames.size(); ++i) {
    const KTAPNGFrame& f = info->frames[i];
    auto frame = KTImageDecoderFrame::make();
    frame->setIndex(i);
    frame->setDuration(static_cast<double>(f.delayNumerator) / (f.delayDenominator == 0 ? 100 : f.delayDenominator));
    frame->setHasAlpha(true);
    frame->setWidth(f.width);
    frame->setHeight(f.height);
    frame->setOffsetX(f.xOffset);
    // The reader keeps every rectangle inside the canvas, so this stays >= 0.
    frame->setOffsetY(canvasHeight - f.yOffset - f.height);
    const bool fullSize = f.width == canvasWidth && f.height == canvasHeight && f.xOffset == 0 && f.yOffset == 0;
    frame->setIsFullSize(fullSize);
    frame->setDispose(f.disposeOp == 1   ? KTImageDisposeBackground
                      : f.disposeOp == 2 ? KTImageDisposePrevious
                                         : KTImageDisposeNone);
    frame->setBlend(f.blendOp == 1 ? KTImageBlendOver : KTImageBlendNone);
    if (fullSize && frame->blend() == KTImageBlendNone) {
      frame->setBlendFromIndex(i);
      if (frame->dispose() != KTImageDisposePrevious) lastClean = i;
    } else if (fullSize && frame->dispose() == KTImageDisposeBackground) {
      frame->setBlendFromIndex(lastClean);
      lastClean = i + 1;
    } else {
      frame->setBlendFromIndex(lastClean);
    }
    if (frame->blendFromIndex() != i) needBlend = true;
    frames.push_back(std::move(frame));
  }
  width_ = canvasWidth;
  height_ = canvasHeight;
  loopCount_ = info->loopCount;
  needBlend_ = needBlend;
  apngSource_ = std::move(info);
  setFrames(std::move(frames));
}

double KTImageDecoder::frameDurationAtIndex(size_t index) {
  std::lock_guard lock(framesLock_);
  return index < frames_.size() ? frames_[index]->duration() : 0;
}

kit::Ref<kit::Dictionary> KTImageDecoder::framePropertiesAtIndex(size_t index) {
  std::lock_guard lock(lock_);
  if (!source_ || index >= frameCount_) return nullptr;
  return kit::imagePropertiesAtIndex(*source_, index);
}

kit::Ref<kit::Dictionary> KTImageDecoder::imageProperties() {
  std::lock_guard lock(lock_);
  if (!source_) return nullptr;
  return kit::imageSourceProperties(*source_);
}

kit::Ref<kit::GraphicsContext> KTImageDecoder::canvasContext(size_t width, size_t height) {
  if (!kit::DecodeLimits{}.accepts(width, height)) return nullptr;
  return kit::GraphicsContext::createBitmap(width, height, 8, 0, KTDeviceRGBColorSpace(), KTStandardBitmapInfo(true));
}

kit::Ref<KTImageFrame> KTImageDecoder::frameAtIndex(size_t index, bool decodeForDisplay) {
  std::lock_guard lock(lock_);
  auto record = frameRecord(index);
  if (!record) return nullptr;
  auto frame = kit::as<KTImageDecoderFrame>(record->copy());
  const bool extendToCanvas = decodeForDisplay && type_ != KTImageTypeICO;

  if (!needBlend_) {
    bool decoded = false;
    auto bitmap = unblendedImage(index, extendToCanvas, decoded);
    if (!bitmap) return nullptr;
    if (decodeForDisplay && !decoded) {
      if (auto copy = KTDecodedImageCopy(bitmap, true)) {
        bitmap = std::move(copy);
        decoded = true;
      }
    }
    auto image = kit::Image::withBitmap(std::move(bitmap), scale_, orientation_);
    if (!image) return nullptr;
    setKT_isDecodedForDisplay(*image, decoded);
    frame->setImage(std::move(image));
    return frame;
  }

  auto bitmap = composedImage(*frame);
  if (!bitmap) return nullptr;
  auto image = kit::Image::withBitmap(std::move(bitmap), scale_, orientation_);
  if (!image) return nullptr;
  setKT_isDecodedForDisplay(*image, true);
  frame->setImage(std::move(image));
  if (extendToCanvas) {
    frame->setWidth(width_);
    frame->setHeight(height_);
    frame->setOffsetX(0);
    frame->setOffsetY(0);
    frame->setDispose(KTImageDisposeNone);
    frame->setBlend(KTImageBlendNone);
  }
  return frame;
}

kit::Ref<kit::Bitmap> KTImageDecoder::unblendedImage(size_t index, bool extendToCanvas, bool& decoded) {
  decoded = false;
  if (index > 0 && !finalized_) return nullptr;
  auto record = frameRecord(index);
  if (!record) return nullptr;
  const size_t canvasWidth = width_, canvasHeight = height_;

  ++framesDecoded_;
  if (source_) {
    auto image = source_->createImageAtIndex(index);
    if (!image || !extendToCanvas) return image;
    if (image->width() != canvasWidth || image->height() != canvasHeight) {
      // Top-left corner at the canvas's top-left.
      if (auto canvas = canvasContext(canvasWidth, canvasHeight)) {
        const double w = static_cast<double>(image->width()), h = static_cast<double>(image->height());
        canvas->drawImage(kit::Rect(0, static_cast<double>(canvasHeight) - h, w, h), *image);
        decoded = true;
        return canvas->makeImage();
      }
    } else if (auto copy = KTDecodedImageCopy(image, true)) {
      decoded = true;
      return copy;
    }
    return image;
  }

  if (apngSource_) {
    auto png = KTAPNGCopyFrameData(data_->span(), *apngSource_, index);
    if (!png) return nullptr;
    auto frameSource = kit::ImageSource::create(*png);
    auto image = frameSource ? frameSource->createImageAtIndex(0) : nullptr;
    if (!image || !extendToCanvas) return image;
    if (auto canvas = canvasContext(canvasWidth, canvasHeight)) {
      canvas->drawImage(frameRect(*record), *image);
      decoded = true;
      return canvas->makeImage();
    }
    return image;
  }
  return nullptr;
}

kit::Ref<kit::Bitmap> KTImageDecoder::composedImage(const KTImageDecoderFrame& frame) {
  if (!blendCanvas_) {
    blendCanvas_ = canvasContext(width_, height_);
    blendFrameIndex_ = kNoFrame;
    if (!blendCanvas_) return nullptr;
  }
  const size_t index = frame.index();
  // The frame just made, asked for again.
  if (lastComposed_ && lastComposedIndex_ == index) return lastComposed_;
  kit::Ref<kit::Bitmap> result;
  bool canvasHoldsResult = true;
  if (blendFrameIndex_ != kNoFrame && blendFrameIndex_ < index && frame.blendFromIndex() <= blendFrameIndex_ + 1) {
    // A later frame whose picture the canvas already leads up to: the
    // frames between are drawn on it, not the whole run from the frame the
    // picture starts at.
    for (size_t i = blendFrameIndex_ + 1; i < index; ++i) {
      if (auto earlier = frameRecord(i)) applyEarlierFrame(*earlier);
    }
    result = blendedImage(frame);
  } else {
    blendFrameIndex_ = kNoFrame;
    const kit::Rect whole(0, 0, static_cast<double>(blendCanvas_->width()),
                          static_cast<double>(blendCanvas_->height()));
    blendCanvas_->clearRect(whole);
    if (frame.blendFromIndex() == index) {
      bool decoded = false;
      if (auto image = unblendedImage(index, false, decoded)) {
        blendCanvas_->drawImage(frameRect(frame), *image);
        result = blendCanvas_->makeImage();
        if (frame.dispose() == KTImageDisposeBackground) blendCanvas_->clearRect(frameRect(frame));
      }
      // A frame disposed to the previous picture stays on the canvas here;
      // the next frame must not be composed over it, so it rebuilds.
      if (frame.dispose() == KTImageDisposePrevious) canvasHoldsResult = false;
    } else {
      for (size_t i = frame.blendFromIndex(); i < index; ++i) {
        if (auto earlier = frameRecord(i)) applyEarlierFrame(*earlier);
      }
      result = blendedImage(frame);
    }
  }
  blendFrameIndex_ = result && canvasHoldsResult ? index : kNoFrame;
  lastComposedIndex_ = result ? index : kNoFrame;
  lastComposed_ = result;
  return result;
}

void KTImageDecoder::applyEarlierFrame(const KTImageDecoderFrame& frame) {
  const kit::Rect rect = frameRect(frame);
  switch (frame.dispose()) {
    case KTImageDisposePrevious:
      break;
    case KTImageDisposeBackground:
      blendCanvas_->clearRect(rect);
      break;
    case KTImageDisposeNone: {
      bool decoded = false;
      auto image = unblendedImage(frame.index(), false, decoded);
      if (frame.blend() == KTImageBlendNone) blendCanvas_->clearRect(rect);
      if (image) blendCanvas_->drawImage(rect, *image);
      break;
    }
  }
}

kit::Ref<kit::Bitmap> KTImageDecoder::blendedImage(const KTImageDecoderFrame& frame) {
  bool decoded = false;
  auto image = unblendedImage(frame.index(), false, decoded);
  if (!image) return nullptr;
  const kit::Rect rect = frameRect(frame);
  if (frame.dispose() == KTImageDisposePrevious) {
    auto before = blendCanvas_->makeImage();
    if (frame.blend() == KTImageBlendNone) blendCanvas_->clearRect(rect);
    blendCanvas_->drawImage(rect, *image);
    auto result = blendCanvas_->makeImage();
    const kit::Rect whole(0, 0, static_cast<double>(blendCanvas_->width()),
                          static_cast<double>(blendCanvas_->height()));
    blendCanvas_->clearRect(whole);
    if (before) blendCanvas_->drawImage(whole, *before);
    return result;
  }
  if (frame.blend() == KTImageBlendNone) blendCanvas_->clearRect(rect);
  blendCanvas_->drawImage(rect, *image);
  auto result = blendCanvas_->makeImage();
  if (frame.dispose() == KTImageDisposeBackground) blendCanvas_->clearRect(rect);
  return result;
}
