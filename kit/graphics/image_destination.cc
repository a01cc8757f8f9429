// Image destinations: collecting frames and handing them to the writers.
#include "kit/graphics/image_destination.h"

#include <algorithm>

#include "kit/graphics/image_source.h"
#include "kit/graphics/type_identifiers.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(ImageDestination, Object, "CGImageDestination") {}

std::vector<std::string> ImageDestination::typeIdentifiers() {
  return {UTType::PNG,  UTType::JPEG,     UTType::GIF, UTType::BMP, UTType::ICO,
          UTType::TIFF, UTType::JPEG2000, UTType::ICNS};
}

Ref<ImageDestination> ImageDestination::create(const std::string& type, size_t count) {
  if (count == 0) return nullptr;
  const auto types = typeIdentifiers();
  if (std::find(types.begin(), types.end(), type) == types.end()) return nullptr;
  return make<ImageDestination>(type, count);
}

void ImageDestination::addImage(Ref<Bitmap> bitmap, const EncodeOptions& options) {
  if (!bitmap || finalized_ || frames_.size() >= count_) return;
  frames_.push_back({std::move(bitmap), options});
}

bool ImageDestination::addImageFromSource(ImageSource& source, size_t index, const EncodeOptions& options) {
  Ref<Bitmap> bitmap = source.createImageAtIndex(index);
  if (!bitmap) return false;
  addImage(std::move(bitmap), options);
  return true;
}

bool ImageDestination::finalize() {
  if (finalized_) {
    error_ = "destination was already finalized";
    return false;
  }
  finalized_ = true;
  if (frames_.size() != count_) {
    error_ = "destination expected " + std::to_string(count_) + " images and was given " +
             std::to_string(frames_.size());
    return false;
  }
  const EncodeFrame& first = frames_.front();
  bool ok = false;
  if (type_ == UTType::PNG) ok = writePNG(*first.bitmap, data_, error_);
  else if (type_ == UTType::JPEG) ok = writeJPEG(*first.bitmap, first.options, data_, error_);
  else if (type_ == UTType::GIF) ok = writeGIF(frames_, properties_.gifLoopCount.value_or(-1), data_, error_);
  else if (type_ == UTType::BMP) ok = writeBMP(*first.bitmap, data_, error_);
  else if (type_ == UTType::ICO) ok = writeICO(frames_, data_, error_);
  else if (type_ == UTType::ICNS) ok = writeICNS(frames_, data_, error_);
  else if (type_ == UTType::TIFF) ok = writeTIFF(frames_, data_, error_);
  else if (type_ == UTType::JPEG2000) ok = writeJPEG2000(*first.bitmap, first.options, false, data_, error_);
  if (!ok) data_.clear();
  return ok;
}

}  // namespace kit
