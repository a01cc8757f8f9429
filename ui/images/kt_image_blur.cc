// The blur with tint and saturation, its presets, and the small animated
// GIF. See kt_image_effects.h.
#include <cfloat>
#include <cmath>
#include <numeric>

#include "kit/foundation/log.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/image_source.h"
#include "kit/graphics/pixel_buffer.h"
#include "ui/images/kt_image_effects.h"
#include "ui/images/kt_image_utilities.h"

namespace {

constexpr double kEpsilon = FLT_EPSILON;

std::string describeImage(const kit::Image& image) {
  char text[96];
  std::snprintf(text, sizeof text, "<Image %p (%.2f x %.2f) scale %.0f>", static_cast<const void*>(&image),
                image.size().width, image.size().height, image.scale());
  return text;
}

// The blurred bitmap laid under the tint and shown through the mask.
kit::Ref<kit::Image> merge(const kit::Image& image, const kit::Ref<kit::Bitmap>& bitmap,
                           const kit::Ref<kit::Color>& tintColor, int tintBlendMode,
                           const kit::Ref<kit::Image>& maskImage, bool opaque) {
  const bool hasTint = tintColor && tintColor->alpha() > kEpsilon;
  if (!hasTint && !maskImage) return kit::Image::withBitmap(bitmap, 1, kit::ImageOrientation::Up);
  const kit::Size size = image.size();
  const kit::Rect rect{0, 0, size.width, size.height};
  if (!kit::beginImageContext(size, opaque, image.scale())) return nullptr;
  auto context = kit::currentContext();
  auto stored = [&](const kit::Ref<kit::Bitmap>& b) { return kit::Image::withBitmap(b, image.scale()); };
  if (maskImage) {
    stored(image.bitmap())->drawInRect(rect);
    context->saveGState();
    context->clipToMask(rect, *maskImage->bitmap());
  }
  stored(bitmap)->drawInRect(rect);
  if (hasTint) {
    context->saveGState();
    context->setBlendMode(static_cast<kit::BlendMode>(tintBlendMode));
    context->setFillColor(tintColor);
    context->fillRect(rect);
    context->restoreGState();
  }
  if (maskImage) context->restoreGState();
  auto result = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return result;
}

// The integer colour matrix of a saturation factor, for pixels stored
// blue, green, red, alpha (premultiplied ARGB, little-endian).
void saturationMatrix(double s, int16_t matrix[16]) {
  const double m[16] = {
      0.0722 + 0.9278 * s, 0.0722 - 0.0722 * s, 0.0722 - 0.0722 * s, 0,
      0.7152 - 0.7152 * s, 0.7152 + 0.2848 * s, 0.7152 - 0.7152 * s, 0,
      0.2126 - 0.2126 * s, 0.2126 - 0.2126 * s, 0.2126 + 0.7873 * s, 0,
      0,                   0,                   0,                   1,
  };
  for (int i = 0; i < 16; ++i) matrix[i] = static_cast<int16_t>(std::lround(static_cast<float>(m[i] * 256)));
}

}  // namespace

kit::Ref<kit::Image> KT_imageByBlurRadius(const kit::Ref<kit::Image>& image, double blurRadius,
                                          const kit::Ref<kit::Color>& tintColor, int tintBlendMode, double saturation,
                                          const kit::Ref<kit::Image>& maskImage) {
  if (!image) return nullptr;
  const kit::Size size = image->size();
  if (size.width < 1 || size.height < 1) {
    kit::logMessage(kit::formatText("UIImage+KTAdd error: invalid size: (%.2f x %.2f). Both dimensions must be >= 1: ",
                                    {size.width, size.height}) +
                    describeImage(*image));
    return nullptr;
  }
  if (!image->bitmap()) {
    kit::logMessage("UIImage+KTAdd error: inputImage must be backed by a CGImage: " + describeImage(*image));
    return nullptr;
  }
  if (maskImage && !maskImage->bitmap()) {
    kit::logMessage("UIImage+KTAdd error: effectMaskImage must be backed by a CGImage: " + describeImage(*maskImage));
    return nullptr;
  }
  const bool hasBlur = blurRadius > kEpsilon;
  const bool hasSaturation = std::fabs(saturation - 1.0) > kEpsilon;
  if (!hasBlur && !hasSaturation) return merge(*image, image->bitmap(), tintColor, tintBlendMode, maskImage, false);

  const kit::PixelFormat format = kit::PixelFormat::argb32();
  kit::PixelBuffer effect, scratch;
  long error = kit::bufferFromBitmap(effect, *image->bitmap(), format);
  if (error != kit::PixelNoError) {
    kit::logMessage(kit::formatText("UIImage+KTAdd error: vImageBuffer_InitWithCGImage returned error code %zi for inputImage: ",
                                    {error}) + describeImage(*image));
    return nullptr;
  }
  error = kit::initBuffer(scratch, effect.height, effect.width, 32);
  if (error != kit::PixelNoError) {
    kit::logMessage(kit::formatText("UIImage+KTAdd error: vImageBuffer_Init returned error code %zi for inputImage: ",
                                    {error}) + describeImage(*image));
    return nullptr;
  }
  kit::PixelBuffer* input = &effect;
  kit::PixelBuffer* output = &scratch;
  if (hasBlur) {
    double radius = blurRadius * image->scale();
    if (radius - 2 < kEpsilon) radius = 2;
    size_t kernel = static_cast<size_t>(std::floor((radius * 3 * std::sqrt(2 * M_PI) / 4 + 0.5) / 2));
    kernel |= 1;
    const double scaled = blurRadius * image->scale();
    const int passes = scaled < 0.5 ? 1 : scaled < 1.5 ? 2 : 3;
    for (int i = 0; i < passes; ++i) {
      kit::boxConvolveARGB8888(*input, *output, kernel, kernel, nullptr, kit::PixelEdgeExtend);
      std::swap(input, output);
    }
  }
  if (hasSaturation) {
    int16_t matrix[16];
    saturationMatrix(saturation, matrix);
    kit::matrixMultiplyARGB8888(*input, *output, matrix, 256, nullptr, nullptr, kit::PixelNoFlags);
    std::swap(input, output);
  }
  auto bitmap = kit::bitmapFromBuffer(std::move(*input), format);
  if (!bitmap) return nullptr;
  return merge(*image, bitmap, tintColor, tintBlendMode, maskImage, false);
}

kit::Ref<kit::Image> KT_imageByGrayscale(const kit::Ref<kit::Image>& image) {
  return KT_imageByBlurRadius(image, 0, nullptr, 0, 0, nullptr);
}

kit::Ref<kit::Image> KT_imageByBlurSoft(const kit::Ref<kit::Image>& image) {
  return KT_imageByBlurRadius(image, 60, kit::Color::white(0.84, 0.36), 0, 1.8, nullptr);
}

kit::Ref<kit::Image> KT_imageByBlurLight(const kit::Ref<kit::Image>& image) {
  return KT_imageByBlurRadius(image, 60, kit::Color::white(1.0, 0.3), 0, 1.8, nullptr);
}

kit::Ref<kit::Image> KT_imageByBlurExtraLight(const kit::Ref<kit::Image>& image) {
  return KT_imageByBlurRadius(image, 40, kit::Color::white(0.97, 0.82), 0, 1.8, nullptr);
}

kit::Ref<kit::Image> KT_imageByBlurDark(const kit::Ref<kit::Image>& image) {
  return KT_imageByBlurRadius(image, 40, kit::Color::white(0.11, 0.73), 0, 1.8, nullptr);
}

kit::Ref<kit::Image> KT_imageByBlurWithTint(const kit::Ref<kit::Image>& image, const kit::Ref<kit::Color>& tintColor) {
  constexpr double kEffectColorAlpha = 0.6;
  kit::Ref<kit::Color> effectColor = tintColor;
  if (tintColor) {
    double white = 0, r = 0, g = 0, b = 0, a = 0;
    if (tintColor->numberOfComponents() == 2) {
      if (tintColor->getWhite(&white, &a)) effectColor = kit::Color::white(white, kEffectColorAlpha);
    } else if (tintColor->getRed(&r, &g, &b, &a)) {
      effectColor = kit::Color::rgba(r, g, b, kEffectColorAlpha);
    }
  }
  return KT_imageByBlurRadius(image, 20, effectColor, 0, -1.0, nullptr);
}

kit::Ref<kit::Image> KT_imageWithSmallGIFData(const kit::Ref<kit::Data>& data, double scale) {
  if (!data || data->length() == 0) return nullptr;
  auto source = kit::ImageSource::create(data->span());
  if (!source) return nullptr;
  const size_t count = source->count();
  if (count <= 1) return kit::Image::withData(data->span(), scale);

  std::vector<size_t> lengths(count);
  size_t gcd = 0;
  double total = 0;
  for (size_t i = 0; i < count; ++i) {
    auto properties = source->propertiesAtIndex(i);
    double delay = 0;
    if (properties) {
      delay = properties->gifUnclampedDelayTime.value_or(0);
      if (delay <= kEpsilon) delay = properties->gifDelayTime.value_or(0);
    }
    if (delay < 0.02) delay = 0.1;
    const double units = std::nearbyint(delay / 0.02);  // halves to even
    lengths[i] = units < 1 ? 1 : static_cast<size_t>(units);
    gcd = std::gcd(gcd, lengths[i]);
    total += delay;
  }
  // A hostile file could ask for millions of repeats; the list holds
  // pointers to shared frames, but it is still bounded.
  constexpr size_t kMaxEntries = 1 << 16;
  size_t entries = 0;
  for (size_t length : lengths) entries += length / gcd;
  if (entries > kMaxEntries) return nullptr;

  std::vector<kit::Ref<kit::Image>> frames;
  frames.reserve(entries);
  for (size_t i = 0; i < count; ++i) {
    auto bitmap = source->createImageAtIndex(i);
    if (!bitmap || bitmap->width() == 0 || bitmap->height() == 0) return nullptr;
    const bool alpha = kit::hasAlphaChannel(bitmap->alphaInfo());
    auto context = kit::GraphicsContext::createBitmap(bitmap->width(), bitmap->height(), 8, 0,
                                                      KTDeviceRGBColorSpace(), KTStandardBitmapInfo(alpha));
    if (!context) return nullptr;
    context->drawImage({0, 0, static_cast<double>(bitmap->width()), static_cast<double>(bitmap->height())}, *bitmap);
    auto decoded = context->makeImage();
    auto frame = decoded ? kit::Image::withBitmap(decoded, scale, kit::ImageOrientation::Up) : nullptr;
    if (!frame) return nullptr;
    for (size_t n = 0; n < lengths[i] / gcd; ++n) frames.push_back(frame);
  }
  return kit::Image::animated(std::move(frames), total);
}
