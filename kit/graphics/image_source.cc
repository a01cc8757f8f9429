// Image sources: type detection, reader selection and frame caching.
#include "kit/graphics/image_source.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "kit/foundation/data_file.h"
#include "kit/graphics/graphics_context.h"
#include "kit/graphics/image_codecs.h"
#include "kit/graphics/type_identifiers.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(ImageSource, Object, "CGImageSource") {}

namespace {

using Opener = std::unique_ptr<ImageReader> (*)(Bytes, bool, const DecodeLimits&, std::string&);

Opener openerFor(const std::string& type) {
  if (type == UTType::PNG) return openPNGReader;
  if (type == UTType::JPEG) return openJPEGReader;
  if (type == UTType::GIF) return openGIFReader;
  if (type == UTType::BMP) return openBMPReader;
  if (type == UTType::ICO) return openICOReader;
  if (type == UTType::TIFF) return openTIFFReader;
  if (type == UTType::JPEG2000) return openJPEG2000Reader;
  if (type == UTType::ICNS) return openICNSReader;
  return nullptr;
}

}  // namespace

ImageSource::ImageSource(ImageSourceOptions options) : options_(std::move(options)) {}
ImageSource::~ImageSource() = default;

Ref<ImageSource> ImageSource::create(std::span<const uint8_t> data, ImageSourceOptions options) {
  if (data.empty()) return nullptr;
  auto source = make<ImageSource>(std::move(options));
  source->updateData(data, true);
  return source;
}

Ref<ImageSource> ImageSource::createWithFile(const std::string& path, ImageSourceOptions options) {
  auto data = dataWithContentsOfFile(path);
  if (!data) return nullptr;
  std::span<const uint8_t> bytes(data->bytes(), data->length());
  if (options.typeHint.empty()) {
    const size_t dot = path.find_last_of('.');
    if (dot != std::string::npos) options.typeHint = typeForFilenameExtension(path.substr(dot + 1));
  }
  return create(bytes, std::move(options));
}

Ref<ImageSource> ImageSource::createIncremental(ImageSourceOptions options) {
  return make<ImageSource>(std::move(options));
}

std::vector<std::string> ImageSource::typeIdentifiers() {
  return {UTType::PNG, UTType::JPEG, UTType::GIF, UTType::BMP, UTType::ICO, UTType::TIFF, UTType::JPEG2000, UTType::ICNS};
}

void ImageSource::updateData(std::span<const uint8_t> data, bool final) { updateData(data, 0, final); }

namespace {

// Bytes compared where the held data ends before trusting that new data
// continues it: enough to tell another buffer, few enough to cost nothing.
constexpr size_t kContinuationCheckBytes = 64;

bool continues(const GrowingBytes& held, std::span<const uint8_t> data, size_t unchanged) {
  if (unchanged == 0 || unchanged != held.size() || data.size() < unchanged) return false;
  const std::span<const uint8_t> end = held.tail(kContinuationCheckBytes);
  return std::equal(end.begin(), end.end(), data.begin() + static_cast<std::ptrdiff_t>(unchanged - end.size()));
}

}  // namespace

void ImageSource::updateData(std::span<const uint8_t> data, size_t unchanged, bool final) {
  std::lock_guard lock(mutex_);
  if (final_) return;
  if (continues(buffer_, data, unchanged)) {
    buffer_.append(data.subspan(unchanged));
  } else {
    buffer_.assign(data);
  }
  data_ = buffer_.snapshot();
  final_ = final;
  clearCacheLocked();
  reopen();
}

void ImageSource::reopen() {
  reader_.reset();
  error_.clear();
  corruption_.clear();
  type_ = detectImageType(data_->data(), data_->size());
  if (type_.empty()) type_ = options_.typeHint;
  if (type_ == UTType::WebP) {
    error_ = "WebP images are recognised but cannot be decoded";
    return;
  }
  Opener open = openerFor(type_);
  if (!open) {
    if (!type_.empty() || final_) error_ = "unknown image type";
    return;
  }
  reader_ = open(data_, final_, options_.limits, error_);
}

ImageSourceStatus ImageSource::status() const {
  std::lock_guard lock(mutex_);
  if (!data_ || data_->empty()) return ImageSourceStatus::ReadingHeader;
  if (type_.empty()) return final_ ? ImageSourceStatus::UnknownType : ImageSourceStatus::ReadingHeader;
  if (!reader_) {
    if (type_ == UTType::WebP) return ImageSourceStatus::UnknownType;
    return final_ ? ImageSourceStatus::InvalidData : ImageSourceStatus::ReadingHeader;
  }
  if (final_ && reader_->frameCount() > 0 && !corruptionLocked(0).empty()) return ImageSourceStatus::InvalidData;
  return final_ ? ImageSourceStatus::Complete : ImageSourceStatus::Incomplete;
}

const std::string& ImageSource::corruptionLocked(size_t index) const {
  auto found = corruption_.find(index);
  if (found == corruption_.end()) found = corruption_.emplace(index, reader_->corruption(index)).first;
  return found->second;
}

ImageSourceStatus ImageSource::statusAtIndex(size_t index) const {
  const ImageSourceStatus whole = status();
  if (whole != ImageSourceStatus::Complete && whole != ImageSourceStatus::Incomplete) return whole;
  std::lock_guard lock(mutex_);
  if (index >= reader_->frameCount()) return final_ ? ImageSourceStatus::InvalidData : ImageSourceStatus::ReadingHeader;
  if (final_) return corruptionLocked(index).empty() ? ImageSourceStatus::Complete : ImageSourceStatus::InvalidData;
  return index + 1 < reader_->frameCount() ? ImageSourceStatus::Complete : ImageSourceStatus::Incomplete;
}

std::string ImageSource::type() const {
  std::lock_guard lock(mutex_);
  return type_;
}

size_t ImageSource::count() const {
  std::lock_guard lock(mutex_);
  return reader_ ? reader_->frameCount() : 0;
}

FileProperties ImageSource::properties() const {
  std::lock_guard lock(mutex_);
  if (!reader_) {
    FileProperties f;
    f.fileSize = data_ ? data_->size() : 0;
    return f;
  }
  return reader_->fileProperties();
}

std::optional<ImageProperties> ImageSource::propertiesAtIndex(size_t index) const {
  std::lock_guard lock(mutex_);
  if (!reader_ || index >= reader_->frameCount()) return std::nullopt;
  return reader_->frameProperties(index);
}

Ref<Bitmap> ImageSource::createImageAtIndex(size_t index) {
  std::lock_guard lock(mutex_);
  if (!reader_) {
    if (error_.empty()) error_ = "no image data";
    return nullptr;
  }
  if (index >= reader_->frameCount()) {
    error_ = "frame index out of range";
    return nullptr;
  }
  if (auto it = cache_.find(index); it != cache_.end()) {
    cacheOrder_.remove(index);
    cacheOrder_.push_front(index);
    return it->second;
  }
  if (auto damaged = corruption_.find(index); damaged != corruption_.end() && !damaged->second.empty()) {
    error_ = damaged->second;
    return nullptr;
  }
  std::string error;
  Ref<Bitmap> bitmap = reader_->decode(index, error);
  if (!bitmap) {
    error_ = error.empty() ? "decoding failed" : error;
    return nullptr;
  }
  if (final_ && options_.shouldCache) keepLocked(index, bitmap);
  return bitmap;
}

void ImageSource::keepLocked(size_t index, const Ref<Bitmap>& bitmap) {
  const size_t bytes = bitmap->data().size();
  if (bytes > options_.maxCachedBytes) return;
  while (cachedBytes_ + bytes > options_.maxCachedBytes && !cacheOrder_.empty()) {
    auto oldest = cache_.find(cacheOrder_.back());
    cachedBytes_ -= oldest->second->data().size();
    cache_.erase(oldest);
    cacheOrder_.pop_back();
  }
  cache_[index] = bitmap;
  cacheOrder_.push_front(index);
  cachedBytes_ += bytes;
}

void ImageSource::clearCacheLocked() {
  cache_.clear();
  cacheOrder_.clear();
  cachedBytes_ = 0;
}

size_t ImageSource::cachedBytes() const {
  std::lock_guard lock(mutex_);
  return cachedBytes_;
}

uint64_t ImageSource::copiedBytes() const {
  std::lock_guard lock(mutex_);
  return buffer_.copiedBytes();
}

Ref<Bitmap> ImageSource::createThumbnailAtIndex(size_t index, size_t maxPixelSize) {
  Ref<Bitmap> full = createImageAtIndex(index);
  if (!full || maxPixelSize == 0) return full;
  const size_t longer = std::max(full->width(), full->height());
  if (longer <= maxPixelSize) return full;
  const double scale = static_cast<double>(maxPixelSize) / static_cast<double>(longer);
  const size_t w = std::max<size_t>(1, static_cast<size_t>(std::lround(full->width() * scale)));
  const size_t h = std::max<size_t>(1, static_cast<size_t>(std::lround(full->height() * scale)));
  auto context = GraphicsContext::createBitmap(w, h, 8, 0, ColorSpace::deviceRGB(),
                                               makeBitmapInfo(AlphaInfo::PremultipliedFirst, ByteOrder32Little));
  if (!context) return nullptr;
  context->setInterpolationQuality(InterpolationQuality::High);
  context->drawImage(Rect(0, 0, static_cast<double>(w), static_cast<double>(h)), *full);
  return context->makeImage();
}

std::string ImageSource::lastError() const {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace kit
