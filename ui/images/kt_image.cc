// KTImage: an image from encoded data that keeps its decoder for the other
// frames of an animation. See kt_image.h.
#include "ui/images/kt_image.h"

#include <cfloat>
#include <cmath>
#include <fstream>
#include <iterator>
#include <regex>

#include "kit/foundation/bundle.h"
#include "kit/graphics/image_context.h"
#include "ui/images/kt_image_coder.h"

namespace {

kit::Ref<kit::Data> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return kit::Data::make(std::move(bytes));
}

std::string withoutExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return path;
  return path.substr(0, dot);
}

std::string extensionOf(const std::string& path) {
  const std::string base = withoutExtension(path);
  return base.size() < path.size() ? path.substr(base.size() + 1) : std::string();
}

// The screen scales tried by imageNamed, fixed once per process.
const std::vector<double>& preferredScales() {
  static const std::vector<double> scales = [] {
    const double screen = kit::mainScreenScale();
    if (screen <= 1) return std::vector<double>{1, 2, 3};
    if (screen <= 2) return std::vector<double>{2, 3, 1};
    return std::vector<double>{3, 2, 1};
  }();
  return scales;
}

std::string formatScale(double scale) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", scale);
  return text;
}

}  // namespace

KIT_DEFINE_CLASS(KTImage, kit::Image) {}

double KTImageScaleFromPath(const std::string& path) {
  double scale = 1;
  if (path.empty() || path.back() == '/') return scale;
  const std::string name = withoutExtension(path);
  static const std::regex suffix("@[0-9]+\\.?[0-9]*x$");
  // Anchors match at line ends: each line is searched on its own.
  size_t lineStart = 0;
  while (lineStart <= name.size()) {
    size_t lineEnd = name.find('\n', lineStart);
    if (lineEnd == std::string::npos) lineEnd = name.size();
    const std::string line = name.substr(lineStart, lineEnd - lineStart);
    std::smatch match;
    if (std::regex_search(line, match, suffix) && lineStart + match.position(0) >= 3) {
      const std::string number = match.str(0).substr(1, match.length(0) - 2);
      scale = std::strtod(number.c_str(), nullptr);
    }
    lineStart = lineEnd + 1;
  }
  return scale;
}

kit::Ref<KTImage> KTImage::imageNamed(const std::string& name) {
  if (name.empty() || name.back() == '/') return nullptr;
  const std::string base = withoutExtension(name);
  const std::string ext = extensionOf(name);
  const std::vector<std::string> exts =
      ext.empty() ? std::vector<std::string>{"", "png", "jpeg", "jpg", "gif", "webp", "apng"}
                  : std::vector<std::string>{ext};
  auto bundle = kit::Bundle::main();
  for (double scale : preferredScales()) {
    const bool plain = std::fabs(scale - 1) <= FLT_EPSILON || base.empty() || base.back() == '/';
    const std::string resource = plain ? base : base + "@" + formatScale(scale) + "x";
    for (const auto& e : exts) {
      auto path = e.empty() ? bundle->pathForResource(resource, "") : bundle->pathForResource(resource, e);
      if (!path) continue;
      auto data = readFile(path->utf8());
      if (!data || data->length() == 0) return nullptr;
      auto image = kit::make<KTImage>();
      return image->initWithData(data, scale) ? image : nullptr;
    }
  }
  return nullptr;
}

kit::Ref<KTImage> KTImage::imageWithContentsOfFile(const std::string& path) {
  auto data = readFile(path);
  if (!data) return nullptr;
  auto image = kit::make<KTImage>();
  return image->initWithData(data, KTImageScaleFromPath(path)) ? image : nullptr;
}

kit::Ref<KTImage> KTImage::imageWithData(const kit::Ref<kit::Data>& data, double scale) {
  auto image = kit::make<KTImage>();
  return image->initWithData(data, scale) ? image : nullptr;
}

bool KTImage::initWithData(const kit::Ref<kit::Data>& data, double scale) {
  if (!data || data->length() == 0) return false;
  if (scale <= 0) scale = kit::mainScreenScale();
  auto decoder = KTImageDecoder::decoderWithData(data, scale);
  if (!decoder) return false;
  auto frame = decoder->frameAtIndex(0, true);
  if (!frame || !frame->image() || !frame->image()->bitmap()) return false;
  const auto& first = frame->image();
  setContents(first->bitmap(), decoder->scale(), first->orientation());
  type_ = decoder->type();
  if (decoder->frameCount() > 1) {
    decoder_ = decoder;
    bytesPerFrame_ = first->bitmap()->bytesPerRow() * first->bitmap()->height();
    memorySize_ = bytesPerFrame_ * decoder->frameCount();
  }
  setKT_isDecodedForDisplay(*this, true);
  return true;
}

bool KTImage::preloadAllAnimatedImageFrames() const {
  std::lock_guard lock(preloadedLock_);
  return preload_;
}

void KTImage::setPreloadAllAnimatedImageFrames(bool preload) {
  {
    std::lock_guard lock(preloadedLock_);
    if (preload_ == preload) return;
    preload_ = preload;
  }
  std::vector<kit::Ref<kit::Image>> frames;
  if (preload && decoder_ && decoder_->frameCount() > 0) {
    const size_t count = decoder_->frameCount();
    frames.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      auto frame = decoder_->frameAtIndex(i, true);
      frames.push_back(frame ? frame->image() : nullptr);
    }
  }
  std::lock_guard lock(preloadedLock_);
  preloadedFrames_ = std::move(frames);
}

kit::Ref<kit::Image> KTImage::animatedImageFrameAtIndex(size_t index) const {
  if (!decoder_ || index >= decoder_->frameCount()) return nullptr;
  {
    std::lock_guard lock(preloadedLock_);
    if (index < preloadedFrames_.size()) return preloadedFrames_[index];
  }
  auto frame = decoder_->frameAtIndex(index, true);
  return frame ? frame->image() : nullptr;
}

double KTImage::animatedImageDurationAtIndex(size_t index) const {
  const double duration = decoder_ ? decoder_->frameDurationAtIndex(index) : 0;
  // Players treat tiny delays as a default; so do we.
  return duration < 0.011 ? 0.1 : duration;
}

void KTImage::encodeWithCoder(kit::KeyedArchiver& coder) const {
  auto data = animatedImageData();
  if (data && data->length() > 0) {
    coder.encodeDouble(scale(), "KTImageScale");
    coder.encodeObject(data, "KTImageData");
    return;
  }
  // The plain image coding: the upright picture and its scale.
  coder.encodeDouble(scale(), "KTImageScale");
  coder.encodeObject(kit::Data::make(pngData()), "KTImageStill");
}

bool KTImage::initWithCoder(kit::KeyedUnarchiver& coder) {
  const double scale = coder.decodeDoubleForKey("KTImageScale");
  auto data = coder.decodeObjectOfClass<kit::Data>("KTImageData");
  if (data && data->length() > 0) return initWithData(data, scale);
  auto still = coder.decodeObjectOfClass<kit::Data>("KTImageStill");
  if (!still || still->length() == 0) return false;
  auto image = kit::Image::withData(still->span(), scale);
  if (!image) return false;
  setContents(image->bitmap(), image->scale(), image->orientation());
  type_ = KTImageTypePNG;
  return true;
}
