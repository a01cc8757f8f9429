// KTFrameImage: an animation played from a list of image files or encoded
// image blobs, one per frame, read and decoded when a frame is asked for.
// The image itself shows the first frame.
#pragma once

#include <string>
#include <vector>

#include "ui/images/kt_image.h"

class KTFrameImage : public kit::Image, public KTAnimatedImage {
 public:
  // Nil for an empty list, lists of different lengths, or a first entry
  // that does not decode. Files take their scale from their names, blobs
  // the main screen's.
  static kit::Ref<KTFrameImage> withImagePaths(std::vector<std::string> paths, std::vector<double> frameDurations,
                                               size_t loopCount);
  static kit::Ref<KTFrameImage> withImagePaths(std::vector<std::string> paths, double oneFrameDuration,
                                               size_t loopCount);
  static kit::Ref<KTFrameImage> withImageDataArray(std::vector<kit::Ref<kit::Data>> datas,
                                                   std::vector<double> frameDurations, size_t loopCount);
  static kit::Ref<KTFrameImage> withImageDataArray(std::vector<kit::Ref<kit::Data>> datas, double oneFrameDuration,
                                                   size_t loopCount);

  size_t animatedImageFrameCount() const override;
  size_t animatedImageLoopCount() const override { return loopCount_; }
  size_t animatedImageBytesPerFrame() const override { return oneFrameBytes_; }
  kit::Ref<kit::Image> animatedImageFrameAtIndex(size_t index) const override;
  double animatedImageDurationAtIndex(size_t index) const override;

  // Use the factories; public for make.
  KTFrameImage(kit::Ref<kit::Bitmap> first, double scale) : kit::Image(std::move(first), scale, kit::ImageOrientation::Up) {}

 private:
  std::vector<std::string> imagePaths_;
  std::vector<kit::Ref<kit::Data>> imageDatas_;
  std::vector<double> frameDurations_;
  size_t loopCount_ = 0;
  size_t oneFrameBytes_ = 0;
};
