// KTImageEncoder and the data representation. See kt_image_encoder.h.
#include "ui/images/kt_image_encoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "kit/dispatch/queue.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/process_info.h"
#include "kit/ui/application.h"
#include "kit/foundation/log.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/image_source.h"
#include "ui/images/kt_apng.h"
#include "ui/images/kt_image.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/kt_image_utilities.h"

namespace {

kit::Ref<kit::Bitmap> uprightBitmap(const kit::Image& image, kit::BitmapInfo info) {
  if (image.orientation() == kit::ImageOrientation::Up) return image.bitmap();
  return KTOrientedImageCopy(image.bitmap(), image.orientation(), info);
}

bool writeAll(int fd, const kit::Data& data) {
  const uint8_t* bytes = data.bytes();
  size_t left = data.length();
  while (left > 0) {
    const ssize_t n = ::write(fd, bytes, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// Writes the data to a new file beside `path` and renames it over `path`
// once it is complete, so `path` never holds part of the data: a failed
// write (a full disk, a file-size limit) leaves it as it was. The new file
// gets the mode any new file gets (0666 less the process's umask), set by
// the kernel as it is made; the umask itself is never touched, since it
// belongs to every thread of the process.
bool writeFileAtomically(const std::string& path, const kit::Data& data) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder + ".kt-encode-" + kit::ProcessInfo::processInfo()->globallyUniqueString();
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  const bool written = writeAll(fd, data);
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

KTImageEncoder::KTImageEncoder(KTImageType type) : type_(type) {
  if (type == KTImageTypeJPEG || type == KTImageTypeJPEG2000) {
    quality_ = 0.9;
    lossless_ = false;
  } else {
    quality_ = 1.0;
    lossless_ = true;
  }
}

kit::Ref<KTImageEncoder> KTImageEncoder::make() {
  throw kit::Exception("KTImageEncoder init error",
                       "KTImageEncoder must be initialized with a type. Use 'initWithType:' instead.");
}

kit::Ref<KTImageEncoder> KTImageEncoder::initWithType(KTImageType type) {
  if (type == KTImageTypeUnknown || type > KTImageTypeWebP) {
    kit::log("[%s: %d] Unsupported image type:%d", "-[KTImageEncoder initWithType:]", __LINE__,
             static_cast<int>(type));
    return nullptr;
  }
  if (type == KTImageTypeWebP) {
    kit::log("[%s: %d] WebP is not available", "-[KTImageEncoder initWithType:]", __LINE__);
    return nullptr;
  }
  return kit::make<KTImageEncoder>(type);
}

void KTImageEncoder::setQuality(double quality) { quality_ = std::clamp(quality, 0.0, 1.0); }

void KTImageEncoder::addImage(const kit::Ref<kit::Image>& image, double duration) {
  if (!image || !image->bitmap()) return;
  images_.emplace_back(image);
  durations_.push_back(std::max(duration, 0.0));
}

void KTImageEncoder::addImageWithData(const kit::Ref<kit::Data>& data, double duration) {
  if (!data || data->length() == 0) return;
  images_.emplace_back(data);
  durations_.push_back(std::max(duration, 0.0));
}

void KTImageEncoder::addImageWithFile(const std::string& path, double duration) {
  if (path.empty()) return;
  images_.emplace_back(path);
  durations_.push_back(std::max(duration, 0.0));
}

bool KTImageEncoder::imageIOCanEncode() const {
  if (images_.empty()) return false;
  if (type_ >= KTImageTypeJPEG && type_ <= KTImageTypeGIF) return true;
  return type_ == KTImageTypePNG && images_.size() == 1;
}

kit::Ref<kit::Data> KTImageEncoder::encode() {
  if (images_.empty()) return nullptr;
  if (imageIOCanEncode()) return encodeWithImageIO();
  if (type_ == KTImageTypePNG) return encodeAnimatedPNG();
  return nullptr;  // WebP and anything else cannot be written here
}

bool KTImageEncoder::encodeToFile(const std::string& path) {
  if (images_.empty() || path.empty()) return false;
  auto data = encode();
  if (!data || data->length() == 0) return false;
  return writeFileAtomically(path, *data);
}

kit::Ref<kit::Data> KTImageEncoder::encodeWithImageIO() {
  const size_t count = type_ == KTImageTypeGIF ? images_.size() : 1;
  auto destination = kit::ImageDestination::create(KTImageTypeToUTType(type_), count);
  if (!destination) return nullptr;
  if (type_ == KTImageTypeGIF) {
    kit::DestinationProperties properties;
    properties.gifLoopCount = static_cast<int>(loopCount_);
    destination->setProperties(properties);
  }
  for (size_t i = 0; i < images_.size(); ++i) {
    kit::EncodeOptions options;
    if (count == 1 || type_ != KTImageTypeGIF) {
      options.quality = quality_;
    } else {
      options.gifDelayTime = durations_[i];
    }
    const Entry& entry = images_[i];
    if (auto image = std::get_if<kit::Ref<kit::Image>>(&entry)) {
      const auto& bitmap = (*image)->bitmap();
      auto upright = uprightBitmap(**image, bitmap->bitmapInfo());
      if (upright) destination->addImage(upright, options);
    } else if (auto path = std::get_if<std::string>(&entry)) {
      if (auto source = kit::ImageSource::createWithFile(*path)) destination->addImageFromSource(*source, 0, options);
    } else if (auto data = std::get_if<kit::Ref<kit::Data>>(&entry)) {
      if (auto source = kit::ImageSource::create((*data)->span())) destination->addImageFromSource(*source, 0, options);
    }
  }
  if (!destination->finalize() || destination->data().empty()) return nullptr;
  return kit::Data::make(destination->data());
}

kit::Ref<kit::Data> KTImageEncoder::encodeAnimatedPNG() {
  std::vector<kit::Ref<kit::Bitmap>> bitmaps;
  for (const Entry& entry : images_) {
    kit::Ref<kit::Image> image;
    if (auto i = std::get_if<kit::Ref<kit::Image>>(&entry)) image = *i;
    else if (auto path = std::get_if<std::string>(&entry)) image = kit::Image::withContentsOfFile(*path);
    else if (auto data = std::get_if<kit::Ref<kit::Data>>(&entry)) image = kit::Image::withData((*data)->span());
    if (!image || !image->bitmap()) return nullptr;
    kit::Ref<kit::Bitmap> bitmap = image->orientation() == kit::ImageOrientation::Up
                                       ? KT_imageByDecoded(image)->bitmap()
                                       : uprightBitmap(*image, KTStandardBitmapInfo(true));
    if (!bitmap) return nullptr;
    bitmaps.push_back(bitmap);
  }
  return KTAPNGWrite(bitmaps, durations_, static_cast<uint32_t>(loopCount_));
}

kit::Ref<kit::Data> KTImageEncoder::encodeImage(const kit::Ref<kit::Image>& image, KTImageType type, double quality) {
  auto encoder = initWithType(type);
  if (!encoder) return nullptr;
  encoder->setQuality(quality);
  encoder->addImage(image, 0);
  return encoder->encode();
}

kit::Ref<kit::Data> KTImageEncoder::encodeImageWithDecoder(const kit::Ref<KTImageDecoder>& decoder, KTImageType type,
                                                           double quality) {
  if (!decoder || decoder->frameCount() == 0) return nullptr;
  auto encoder = initWithType(type);
  if (!encoder) return nullptr;
  encoder->setQuality(quality);
  for (size_t i = 0; i < decoder->frameCount(); ++i) {
    auto frame = decoder->frameAtIndex(i, true);
    if (!frame || !frame->image()) continue;
    encoder->addImageWithData(kit::Data::make(frame->image()->pngData()), decoder->frameDurationAtIndex(i));
  }
  return encoder->encode();
}

kit::Ref<kit::Data> KTEncodeCGImage(const kit::Ref<kit::Bitmap>& image, KTImageType type, double quality) {
  if (!image || type == KTImageTypeWebP) return nullptr;
  const char* uti = KTImageTypeToUTType(type);
  if (!uti) return nullptr;
  auto destination = kit::ImageDestination::create(uti, 1);
  if (!destination) return nullptr;
  kit::EncodeOptions options;
  options.quality = std::clamp(quality, 0.0, 1.0);
  destination->addImage(image, options);
  if (!destination->finalize() || destination->data().empty()) return nullptr;
  return kit::Data::make(destination->data());
}

kit::Ref<kit::Data> KT_imageDataRepresentation(const kit::Ref<kit::Image>& image) {
  return KT_dataRepresentationForSystem(image, false);
}

kit::Ref<kit::Data> KT_dataRepresentationForSystem(const kit::Ref<kit::Image>& image, bool forSystem) {
  if (!image) return nullptr;
  if (auto kt = std::dynamic_pointer_cast<KTImage>(image)) {
    if (auto data = kt->animatedImageData()) {
      if (!forSystem) return data;
      const KTImageType type = kt->animatedImageType();
      if (type == KTImageTypeGIF || type == KTImageTypePNG) return data;
    }
  }
  kit::Ref<kit::Data> data;
  if (const auto& bitmap = image->bitmap()) {
    auto upright = uprightBitmap(*image, bitmap->bitmapInfo());
    if (upright) {
      const bool alpha = kit::hasAlphaChannel(upright->alphaInfo());
      data = alpha ? KTEncodeCGImage(upright, KTImageTypePNG, 1) : KTEncodeCGImage(upright, KTImageTypeJPEG, 0.9);
    }
  }
  if (!data) data = kit::Data::make(image->pngData());
  return data;
}

void KT_saveToAlbumWithCompletionBlock(const kit::Ref<kit::Image>& image,
                                       std::function<void(kit::Ref<kit::URL>, kit::Ref<kit::Error>)> completion) {
  const std::string folder = kit::Application::shared()->picturesDirectory();
  kit::Queue::global().async([image, folder, completion = std::move(completion)] {
    kit::Ref<kit::URL> url;
    kit::Ref<kit::Error> error;
    auto data = KT_dataRepresentationForSystem(image, true);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!data || data->length() == 0) {
      error = kit::Error::make("KTImageCoderErrorDomain", -1, "the image has no data to save");
    } else if (ec) {
      error = kit::Error::make("KTImageCoderErrorDomain", -1, "the pictures folder cannot be made: " + ec.message());
    } else {
      const KTImageType type = KTDetectImageType(data);
      const char* extension = type == KTImageTypeGIF ? "gif" : type == KTImageTypePNG ? "png" : "jpg";
      const std::string path =
          folder + "/IMG_" + kit::ProcessInfo::processInfo()->globallyUniqueString() + "." + extension;
      if (writeFileAtomically(path, *data)) url = kit::URL::fileURLWithPath(path);
      else error = kit::Error::make("KTImageCoderErrorDomain", -1, "the picture cannot be written");
    }
    if (!completion) return;
    // The completion is the caller's; it runs on the main thread.
    kit::Queue::main().async([completion, url, error] { completion(url, error); });
  });
}
