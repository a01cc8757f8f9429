// KTFrameImage. See kt_frame_image.h.
#include "ui/images/kt_frame_image.h"

#include <fstream>
#include <iterator>

#include "kit/graphics/image_context.h"
#include "ui/images/kt_image_coder.h"

namespace {

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The frame decoded for display at the scale, or nil.
kit::Ref<kit::Image> decodedImage(std::span<const uint8_t> bytes, double scale) {
  if (bytes.empty()) return nullptr;
  auto image = kit::Image::withData(bytes, scale);
  return image ? KT_imageByDecoded(image) : nullptr;
}

}  // namespace

kit::Ref<KTFrameImage> KTFrameImage::withImagePaths(std::vector<std::string> paths,
                                                    std::vector<double> frameDurations, size_t loopCount) {
  if (paths.empty() || paths.size() != frameDurations.size()) return nullptr;
  const double scale = KTImageScaleFromPath(paths[0]);
  auto first = decodedImage(readFile(paths[0]), scale);
  if (!first || !first->bitmap()) return nullptr;
  auto image = kit::make<KTFrameImage>(first->bitmap(), scale);
  image->imagePaths_ = std::move(paths);
  image->frameDurations_ = std::move(frameDurations);
  image->loopCount_ = loopCount;
  image->oneFrameBytes_ = first->bitmap()->bytesPerRow() * first->bitmap()->height();
  return image;
}

kit::Ref<KTFrameImage> KTFrameImage::withImagePaths(std::vector<std::string> paths, double oneFrameDuration,
                                                    size_t loopCount) {
  std::vector<double> durations(paths.size(), oneFrameDuration);
  return withImagePaths(std::move(paths), std::move(durations), loopCount);
}

kit::Ref<KTFrameImage> KTFrameImage::withImageDataArray(std::vector<kit::Ref<kit::Data>> datas,
                                                        std::vector<double> frameDurations, size_t loopCount) {
  if (datas.empty() || datas.size() != frameDurations.size() || !datas[0]) return nullptr;
  const double scale = kit::mainScreenScale();
  auto first = decodedImage(datas[0]->span(), scale);
  if (!first || !first->bitmap()) return nullptr;
  auto image = kit::make<KTFrameImage>(first->bitmap(), scale);
  image->imageDatas_ = std::move(datas);
  image->frameDurations_ = std::move(frameDurations);
  image->loopCount_ = loopCount;
  image->oneFrameBytes_ = first->bitmap()->bytesPerRow() * first->bitmap()->height();
  return image;
}

kit::Ref<KTFrameImage> KTFrameImage::withImageDataArray(std::vector<kit::Ref<kit::Data>> datas,
                                                        double oneFrameDuration, size_t loopCount) {
  std::vector<double> durations(datas.size(), oneFrameDuration);
  return withImageDataArray(std::move(datas), std::move(durations), loopCount);
}

size_t KTFrameImage::animatedImageFrameCount() const {
  if (!imagePaths_.empty()) return imagePaths_.size();
  if (!imageDatas_.empty()) return imageDatas_.size();
  return 1;
}

kit::Ref<kit::Image> KTFrameImage::animatedImageFrameAtIndex(size_t index) const {
  if (!imagePaths_.empty()) {
    if (index >= imagePaths_.size()) return nullptr;
    return decodedImage(readFile(imagePaths_[index]), KTImageScaleFromPath(imagePaths_[index]));
  }
  if (!imageDatas_.empty()) {
    if (index >= imageDatas_.size() || !imageDatas_[index]) return nullptr;
    return decodedImage(imageDatas_[index]->span(), kit::mainScreenScale());
  }
  return index == 0 ? std::static_pointer_cast<kit::Image>(self()) : nullptr;
}

double KTFrameImage::animatedImageDurationAtIndex(size_t index) const {
  return index < frameDurations_.size() ? frameDurations_[index] : 0;
}
