// Shared bitmap functions: colour space, decoded, transformed and upright
// copies, pixel-buffer conversion. See kt_image_utilities.h.
#include "ui/images/kt_image_utilities.h"

#include <cmath>
#include <numbers>

#include "kit/foundation/no_destructor.h"
#include "kit/graphics/graphics_context.h"
#include "kit/graphics/image_properties.h"

namespace {

using kit::AlphaInfo;
using kit::BitmapInfo;

kit::PixelFormat rgb32(BitmapInfo info) {
  kit::PixelFormat format;
  format.bitsPerComponent = 8;
  format.bitsPerPixel = 32;
  format.colorSpace = KTDeviceRGBColorSpace();
  format.bitmapInfo = info;
  return format;
}

bool acceptedLayout(BitmapInfo info) {
  const auto alpha = static_cast<uint32_t>(kit::alphaInfoOf(info));
  if (alpha < static_cast<uint32_t>(AlphaInfo::PremultipliedLast) ||
      alpha > static_cast<uint32_t>(AlphaInfo::NoneSkipFirst)) {
    return false;
  }
  const BitmapInfo order = kit::byteOrderOf(info);
  return order == kit::ByteOrderDefault || order == kit::ByteOrder32Big || order == kit::ByteOrder32Little;
}

// The drawing route of KTImageToBitmapBuffer: draw into a context of the
// requested layout (its premultiplied variant for straight alpha), copy the
// pixels out and, for straight alpha, divide the colour by alpha again.
bool drawToBuffer(const kit::Bitmap& image, kit::PixelBuffer& buffer, BitmapInfo info) {
  const AlphaInfo alpha = kit::alphaInfoOf(info);
  const BitmapInfo order = kit::byteOrderOf(info);
  const bool straight = alpha == AlphaInfo::Last || alpha == AlphaInfo::First;
  BitmapInfo contextInfo = info;
  if (alpha == AlphaInfo::Last) contextInfo = kit::makeBitmapInfo(AlphaInfo::PremultipliedLast, order);
  if (alpha == AlphaInfo::First) contextInfo = kit::makeBitmapInfo(AlphaInfo::PremultipliedFirst, order);
  auto context = kit::GraphicsContext::createBitmap(image.width(), image.height(), 8, 0, KTDeviceRGBColorSpace(),
                                                    contextInfo);
  if (!context) return false;
  const double w = static_cast<double>(image.width()), h = static_cast<double>(image.height());
  context->drawImage(kit::Rect(0, 0, w, h), image);
  buffer.bytes = context->data();
  buffer.width = image.width();
  buffer.height = image.height();
  buffer.rowBytes = context->bytesPerRow();
  if (!straight) return true;
  // Where alpha sits in memory: last for RGBA read big-endian (or in the
  // default order) and for ARGB read as little-endian words; first otherwise.
  const bool alphaLastInMemory = (alpha == AlphaInfo::Last && order != kit::ByteOrder32Little) ||
                                 (alpha == AlphaInfo::First && order == kit::ByteOrder32Little);
  const long error = alphaLastInMemory ? kit::unpremultiplyRGBA8888(buffer, buffer)
                                       : kit::unpremultiplyARGB8888(buffer, buffer);
  return error == kit::PixelNoError;
}

}  // namespace

const kit::Ref<kit::ColorSpace>& KTDeviceRGBColorSpace() {
  static const kit::NoDestructor<kit::Ref<kit::ColorSpace>> space(kit::ColorSpace::deviceRGB());
  return *space;
}

BitmapInfo KTStandardBitmapInfo(bool hasAlpha) {
  return kit::makeBitmapInfo(hasAlpha ? AlphaInfo::PremultipliedFirst : AlphaInfo::NoneSkipFirst,
                             kit::ByteOrder32Little);
}

kit::Ref<kit::Bitmap> KTDecodedImageCopy(const kit::Ref<kit::Bitmap>& image, bool decodeForDisplay) {
  if (!image) return nullptr;
  const size_t width = image->width(), height = image->height();
  if (width == 0 || height == 0) return nullptr;
  if (decodeForDisplay) {
    const bool hasAlpha = kit::hasAlphaChannel(image->alphaInfo());
    auto context = kit::GraphicsContext::createBitmap(width, height, 8, 0, KTDeviceRGBColorSpace(),
                                                      KTStandardBitmapInfo(hasAlpha));
    if (!context) return nullptr;
    context->drawImage(kit::Rect(0, 0, static_cast<double>(width), static_cast<double>(height)), *image);
    return context->makeImage();
  }
  if (image->bytesPerRow() == 0) return nullptr;
  const auto bytes = image->data();
  return kit::Bitmap::create(width, height, image->format(), image->bytesPerRow(),
                             std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

kit::Ref<kit::Bitmap> KTTransformedImageCopy(const kit::Ref<kit::Bitmap>& image, const kit::AffineTransform& transform,
                                            double destWidth, double destHeight, BitmapInfo bitmapInfo) {
  if (!image || !std::isfinite(destWidth) || !std::isfinite(destHeight)) return nullptr;
  const double roundedWidth = std::round(destWidth), roundedHeight = std::round(destHeight);
  if (roundedWidth < 1 || roundedHeight < 1) return nullptr;
  const kit::DecodeLimits limits;
  if (roundedWidth > static_cast<double>(limits.maxDimension) ||
      roundedHeight > static_cast<double>(limits.maxDimension)) {
    return nullptr;
  }
  const auto width = static_cast<size_t>(roundedWidth), height = static_cast<size_t>(roundedHeight);
  if (!limits.accepts(width, height)) return nullptr;

  // Straight ARGB in memory order, as the warp samples it.
  const BitmapInfo argbInfo = kit::makeBitmapInfo(AlphaInfo::First, kit::ByteOrderDefault);
  kit::PixelBuffer source;
  if (!KTImageToBitmapBuffer(image, source, argbInfo)) return nullptr;
  kit::PixelBuffer destination;
  destination.width = width;
  destination.height = height;
  destination.rowBytes = (width * 4 + 31) / 32 * 32;
  destination.bytes.assign(destination.rowBytes * height, 0);
  const uint8_t clear[4] = {0, 0, 0, 0};
  if (kit::affineWarpARGB8888(source, destination, transform, clear, kit::PixelBackgroundColorFill) !=
      kit::PixelNoError) {
    return nullptr;
  }
  auto result = kit::bitmapFromBuffer(std::move(destination), rgb32(argbInfo));
  if (!result) return nullptr;
  if (kit::alphaInfoOf(bitmapInfo) == AlphaInfo::First && kit::byteOrderOf(bitmapInfo) != kit::ByteOrder32Little) {
    return result;
  }
  return result->converted(rgb32(bitmapInfo));
}

bool KTImageToBitmapBuffer(const kit::Ref<kit::Bitmap>& image, kit::PixelBuffer& buffer, BitmapInfo bitmapInfo) {
  buffer = {};
  if (!image || !acceptedLayout(bitmapInfo)) return false;
  if (kit::bufferFromBitmap(buffer, *image, rgb32(bitmapInfo)) == kit::PixelNoError) return true;
  buffer = {};
  if (drawToBuffer(*image, buffer, bitmapInfo)) return true;
  buffer = {};
  return false;
}

kit::Ref<kit::Bitmap> KTOrientedImageCopy(const kit::Ref<kit::Bitmap>& image, kit::ImageOrientation orientation,
                                         BitmapInfo bitmapInfo) {
  if (!image) return nullptr;
  const auto w = static_cast<double>(image->width()), h = static_cast<double>(image->height());
  constexpr double pi = std::numbers::pi;
  kit::AffineTransform transform;
  bool swapSize = false;
  switch (orientation) {
    case kit::ImageOrientation::Down:
      transform = transform.rotated(pi).translated(-w, -h);
      break;
    case kit::ImageOrientation::Left:
      transform = transform.rotated(pi / 2).translated(0, -h);
      swapSize = true;
      break;
    case kit::ImageOrientation::Right:
      transform = transform.rotated(-pi / 2).translated(-w, 0);
      swapSize = true;
      break;
    case kit::ImageOrientation::UpMirrored:
      transform = transform.translated(w, 0).scaled(-1, 1);
      break;
    case kit::ImageOrientation::DownMirrored:
      transform = transform.translated(0, h).scaled(1, -1);
      break;
    case kit::ImageOrientation::LeftMirrored:
      transform = transform.rotated(-pi / 2).scaled(1, -1).translated(-w, -h);
      swapSize = true;
      break;
    case kit::ImageOrientation::RightMirrored:
      transform = transform.rotated(pi / 2).scaled(1, -1);
      swapSize = true;
      break;
    default:
      return image;  // up, and values that name no orientation
  }
  if (transform.isIdentity()) return image;
  return KTTransformedImageCopy(image, transform, swapSize ? h : w, swapSize ? w : h, bitmapInfo);
}
