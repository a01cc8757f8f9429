// Images: creation, orientation, drawing and encoding.
#include "kit/graphics/image.h"

#include <cmath>
#include <filesystem>
#include <iterator>
#include <regex>

#include "kit/foundation/data_file.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/image_source.h"
#include "kit/graphics/type_identifiers.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Image, Object, "UIImage") {
  cls.readonlyProperty("scale", &Image::scale);
  cls.readonlyProperty("duration", &Image::duration);
}

namespace {

bool swapsSides(ImageOrientation o) {
  return o == ImageOrientation::Left || o == ImageOrientation::Right || o == ImageOrientation::LeftMirrored ||
         o == ImageOrientation::RightMirrored;
}

// Maps the raw bitmap's box (top-down) onto the displayed box of w x h.
AffineTransform displayTransform(ImageOrientation o, double w, double h) {
  switch (o) {
    case ImageOrientation::Up: return {};
    case ImageOrientation::Down: return {-1, 0, 0, -1, w, h};
    case ImageOrientation::Left: return {0, -1, 1, 0, 0, h};
    case ImageOrientation::Right: return {0, 1, -1, 0, w, 0};
    case ImageOrientation::UpMirrored: return {-1, 0, 0, 1, w, 0};
    case ImageOrientation::DownMirrored: return {1, 0, 0, -1, 0, h};
    // EXIF 5: the stored rows become the columns from the left, the stored
    // columns the rows from the top (a transpose).
    case ImageOrientation::LeftMirrored: return {0, 1, 1, 0, 0, 0};
    // EXIF 7: stored rows become columns from the right, stored columns rows
    // from the bottom.
    case ImageOrientation::RightMirrored: return {0, -1, -1, 0, w, h};
  }
  return {};
}

std::vector<uint8_t> readFile(const std::string& path) {
  auto data = dataWithContentsOfFile(path);
  if (!data) return {};
  return std::vector<uint8_t>(data->bytes(), data->bytes() + data->length());
}

double scaleFromName(const std::string& stem) {
  static const std::regex suffix("@([0-9]+(\\.[0-9]+)?)x$");
  std::smatch match;
  if (std::regex_search(stem, match, suffix)) {
    const double v = std::strtod(match[1].str().c_str(), nullptr);
    if (v > 0) return v;
  }
  return 1.0;
}

}  // namespace

ImageOrientation orientationFromEXIF(int exif) {
  switch (exif) {
    case 2: return ImageOrientation::UpMirrored;
    case 3: return ImageOrientation::Down;
    case 4: return ImageOrientation::DownMirrored;
    case 5: return ImageOrientation::LeftMirrored;
    case 6: return ImageOrientation::Right;
    case 7: return ImageOrientation::RightMirrored;
    case 8: return ImageOrientation::Left;
    default: return ImageOrientation::Up;
  }
}

int exifFromOrientation(ImageOrientation o) {
  switch (o) {
    case ImageOrientation::Up: return 1;
    case ImageOrientation::UpMirrored: return 2;
    case ImageOrientation::Down: return 3;
    case ImageOrientation::DownMirrored: return 4;
    case ImageOrientation::LeftMirrored: return 5;
    case ImageOrientation::Right: return 6;
    case ImageOrientation::RightMirrored: return 7;
    case ImageOrientation::Left: return 8;
  }
  return 1;
}

Image::Image(Ref<Bitmap> bitmap, double scale, ImageOrientation orientation)
    : bitmap_(std::move(bitmap)), scale_(scale > 0 ? scale : 1.0), orientation_(orientation) {}

Ref<Image> Image::withBitmap(Ref<Bitmap> bitmap, double scale, ImageOrientation orientation) {
  if (!bitmap) return nullptr;
  return make<Image>(std::move(bitmap), scale, orientation);
}

Ref<Image> Image::withData(std::span<const uint8_t> data, double scale) {
  auto source = ImageSource::create(data);
  if (!source || source->count() == 0) return nullptr;
  auto bitmap = source->createImageAtIndex(0);
  if (!bitmap) return nullptr;
  const auto properties = source->propertiesAtIndex(0);
  return withBitmap(std::move(bitmap), scale, orientationFromEXIF(properties ? properties->orientation : 0));
}

Ref<Image> Image::withContentsOfFile(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path original(path);
  const std::string stem = original.stem().string();
  const std::string extension = original.extension().string();
  std::vector<fs::path> candidates;
  if (scaleFromName(stem) == 1.0) {
    const int screen = static_cast<int>(std::lround(mainScreenScale()));
    if (screen >= 2) candidates.push_back(original.parent_path() / (stem + "@" + std::to_string(screen) + "x" + extension));
    candidates.push_back(original);
    for (int s = 3; s >= 2; --s) {
      if (s != screen) candidates.push_back(original.parent_path() / (stem + "@" + std::to_string(s) + "x" + extension));
    }
  } else {
    candidates.push_back(original);
  }
  for (const fs::path& candidate : candidates) {
    std::error_code ec;
    if (!fs::is_regular_file(candidate, ec)) continue;
    const std::vector<uint8_t> bytes = readFile(candidate.string());
    if (bytes.empty()) continue;
    return withData(bytes, scaleFromName(candidate.stem().string()));
  }
  return nullptr;
}

Ref<Image> Image::animated(std::vector<Ref<Image>> images, double duration) {
  std::erase(images, nullptr);
  if (images.empty()) return nullptr;
  auto image = make<Image>(images.front()->bitmap_, images.front()->scale_, images.front()->orientation_);
  image->images_ = std::move(images);
  image->duration_ = duration;
  return image;
}

Size Image::size() const {
  const double w = static_cast<double>(bitmap_->width()) / scale_;
  const double h = static_cast<double>(bitmap_->height()) / scale_;
  return swapsSides(orientation_) ? Size(h, w) : Size(w, h);
}

Ref<Image> Image::withRenderingMode(ImageRenderingMode mode) const {
  auto image = make<Image>(bitmap_, scale_, orientation_);
  image->renderingMode_ = mode;
  image->images_ = images_;
  image->duration_ = duration_;
  return image;
}

void Image::drawInContext(GraphicsContext& context, const Rect& rect) const {
  const Rect r = rect.standardized();
  if (r.isEmpty()) return;
  const double rw = static_cast<double>(bitmap_->width()), rh = static_cast<double>(bitmap_->height());
  const double dw = swapsSides(orientation_) ? rh : rw;
  const double dh = swapsSides(orientation_) ? rw : rh;
  context.saveGState();
  context.translateCTM(r.minX(), r.minY());
  context.scaleCTM(r.width() / dw, r.height() / dh);
  context.concatCTM(displayTransform(orientation_, dw, dh));
  context.translateCTM(0, rh);
  context.scaleCTM(1, -1);
  context.drawImage(Rect(0, 0, rw, rh), *bitmap_);
  context.restoreGState();
}

void Image::drawAtPoint(Point point) const { drawInRect(Rect(point, size())); }

void Image::drawInRect(const Rect& rect) const {
  if (auto context = currentContext()) drawInContext(*context, rect);
}

void Image::drawInRect(const Rect& rect, BlendMode mode, double alpha) const {
  auto context = currentContext();
  if (!context) return;
  context->saveGState();
  context->setBlendMode(mode);
  context->setAlpha(alpha);
  drawInContext(*context, rect);
  context->restoreGState();
}

Ref<Bitmap> Image::uprightBitmap() const {
  if (orientation_ == ImageOrientation::Up) return bitmap_;
  const size_t rw = bitmap_->width(), rh = bitmap_->height();
  const size_t dw = swapsSides(orientation_) ? rh : rw;
  const size_t dh = swapsSides(orientation_) ? rw : rh;
  const bool opaque = !hasAlphaChannel(bitmap_->alphaInfo());
  auto context = GraphicsContext::createBitmap(
      dw, dh, 8, 0, ColorSpace::deviceRGB(),
      makeBitmapInfo(opaque ? AlphaInfo::NoneSkipFirst : AlphaInfo::PremultipliedFirst, ByteOrder32Little));
  if (!context) return nullptr;
  context->translateCTM(0, static_cast<double>(dh));
  context->scaleCTM(1, -1);
  context->setBlendMode(BlendMode::Copy);
  drawInContext(*context, Rect(0, 0, static_cast<double>(dw), static_cast<double>(dh)));
  return context->makeImage();
}

static std::vector<uint8_t> encode(const Ref<Bitmap>& bitmap, const char* type, double quality) {
  if (!bitmap) return {};
  auto destination = ImageDestination::create(type, 1);
  EncodeOptions options;
  options.quality = quality;
  destination->addImage(bitmap, options);
  if (!destination->finalize()) return {};
  return destination->data();
}

std::vector<uint8_t> Image::pngData() const { return encode(uprightBitmap(), UTType::PNG, 1.0); }
std::vector<uint8_t> Image::jpegData(double quality) const { return encode(uprightBitmap(), UTType::JPEG, quality); }

}  // namespace kit
