// KTAnimatedImage: what an animated image view needs from an image to play
// it, and KTImage, the image made from encoded data (still, animated GIF or
// animated PNG) whose first frame shows like any image while its other
// frames are decoded on demand.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/data.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/graphics/geometry.h"
#include "kit/graphics/image.h"
#include "ui/images/kt_image_decoder.h"
#include "ui/images/kt_image_type.h"

class KTAnimatedImage {
 public:
  virtual ~KTAnimatedImage() = default;
  virtual size_t animatedImageFrameCount() const = 0;
  // 0 loops forever.
  virtual size_t animatedImageLoopCount() const = 0;
  // Memory of one decoded frame; 0 when unknown.
  virtual size_t animatedImageBytesPerFrame() const = 0;
  // May be slow: called off the main thread.
  virtual kit::Ref<kit::Image> animatedImageFrameAtIndex(size_t index) const = 0;
  // Seconds.
  virtual double animatedImageDurationAtIndex(size_t index) const = 0;
  // For images that show a part of one bitmap per frame: the rectangle in
  // the image's points. Nothing for the others.
  virtual std::optional<kit::Rect> animatedImageContentsRectAtIndex(size_t) const { return std::nullopt; }
};

// The scale a file name gives ("icon@2x.png" 2, "icon@1.5x.png" 1.5), 1
// without a suffix or when the "@" stands at character index 2 or earlier.
double KTImageScaleFromPath(const std::string& path);

class KTImage : public kit::Image, public KTAnimatedImage, public kit::Coding {
  KIT_OBJECT(KTImage)

 public:
  // From the main bundle: the name with each extension tried for each
  // screen-scale suffix in the order the main screen's scale gives.
  static kit::Ref<KTImage> imageNamed(const std::string& name);
  static kit::Ref<KTImage> imageWithContentsOfFile(const std::string& path);
  static kit::Ref<KTImage> imageWithData(const kit::Ref<kit::Data>& data, double scale = 1.0);

  KTImageType animatedImageType() const { return type_; }
  // The encoded file, for animated images only.
  kit::Ref<kit::Data> animatedImageData() const { return decoder_ ? decoder_->data() : nullptr; }
  size_t animatedImageMemorySize() const { return memorySize_; }

  bool preloadAllAnimatedImageFrames() const;
  void setPreloadAllAnimatedImageFrames(bool preload);

  size_t animatedImageFrameCount() const override { return decoder_ ? decoder_->frameCount() : 0; }
  size_t animatedImageLoopCount() const override { return decoder_ ? decoder_->loopCount() : 0; }
  size_t animatedImageBytesPerFrame() const override { return bytesPerFrame_; }
  kit::Ref<kit::Image> animatedImageFrameAtIndex(size_t index) const override;
  double animatedImageDurationAtIndex(size_t index) const override;

  // Keys "KTImageScale" and "KTImageData" for animated images; a still
  // image is kept as its PNG under "KTImageStill" with its scale.
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

  // Use the factories; public for make and the unarchiver.
  KTImage() : kit::Image(nullptr, 1.0, kit::ImageOrientation::Up) {}

 private:
  // Empty data, undecodable data or no first frame: false. A scale of 0 or
  // below takes the main screen's.
  bool initWithData(const kit::Ref<kit::Data>& data, double scale);

  kit::Ref<KTImageDecoder> decoder_;
  KTImageType type_ = KTImageTypeUnknown;
  size_t bytesPerFrame_ = 0;
  size_t memorySize_ = 0;

  mutable std::mutex preloadedLock_;
  bool preload_ = false;
  // A nil entry stands for a frame that failed.
  std::vector<kit::Ref<kit::Image>> preloadedFrames_;
};
