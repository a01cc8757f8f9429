// Image effects: making images, drawing by content mode, resizing,
// cropping, insets, rounded corners, rotation, flipping and tinting. The
// blur and the small GIF are in kt_image_blur.cc. See kt_image_effects.h.
#include "ui/images/kt_image_effects.h"

#include <cmath>

#include "kit/graphics/image_context.h"
#include "kit/graphics/path.h"
#include "kit/graphics/pixel_buffer.h"
#include "ui/images/kt_image_utilities.h"

namespace {

// Runs `draw` in an image context and returns what it drew; nil when the
// context cannot be opened.
template <class Draw>
kit::Ref<kit::Image> drawImage(kit::Size size, bool opaque, double scale, Draw&& draw) {
  if (!kit::beginImageContext(size, opaque, scale)) return nullptr;
  auto context = kit::currentContext();
  draw(*context);
  auto image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

kit::Rect contentModeRect(kit::Rect rect, kit::Size size, int mode) {
  rect = rect.standardized();
  size.width = std::fabs(size.width);
  size.height = std::fabs(size.height);
  const kit::Point mid{rect.midX(), rect.origin.y + rect.size.height / 2};
  auto centred = [&](kit::Size s) { return kit::Rect(mid.x - s.width / 2, mid.y - s.height / 2, s.width, s.height); };
  switch (mode) {
    case KTContentModeScaleAspectFit:
    case KTContentModeScaleAspectFill: {
      if (size.width < 0.01 || size.height < 0.01 || rect.size.width < 0.01 || rect.size.height < 0.01) {
        return kit::Rect(mid.x, mid.y, 0, 0);
      }
      const bool imageNarrower = size.width / size.height < rect.size.width / rect.size.height;
      const bool byHeight = (mode == KTContentModeScaleAspectFit) == imageNarrower;
      const double scale = byHeight ? rect.size.height / size.height : rect.size.width / size.width;
      return centred({size.width * scale, size.height * scale});
    }
    case KTContentModeCenter:
      return centred(size);
    case KTContentModeTop:
      return {mid.x - size.width / 2, rect.origin.y, size.width, size.height};
    case KTContentModeBottom:
      return {mid.x - size.width / 2, rect.origin.y + rect.size.height - size.height, size.width, size.height};
    case KTContentModeLeft:
      return {rect.origin.x, mid.y - size.height / 2, size.width, size.height};
    case KTContentModeRight:
      return {rect.origin.x + rect.size.width - size.width, mid.y - size.height / 2, size.width, size.height};
    case KTContentModeTopLeft:
      return {rect.origin.x, rect.origin.y, size.width, size.height};
    case KTContentModeTopRight:
      return {rect.origin.x + rect.size.width - size.width, rect.origin.y, size.width, size.height};
    case KTContentModeBottomLeft:
      return {rect.origin.x, rect.origin.y + rect.size.height - size.height, size.width, size.height};
    case KTContentModeBottomRight:
      return {rect.origin.x + rect.size.width - size.width, rect.origin.y + rect.size.height - size.height, size.width,
              size.height};
    default:
      return rect;
  }
}

// The bitmap as an upright image of scale 1 for drawing it stretched over
// a rectangle exactly as it is stored.
kit::Ref<kit::Image> asStored(const kit::Ref<kit::Bitmap>& bitmap, double scale) {
  return kit::Image::withBitmap(bitmap, scale, kit::ImageOrientation::Up);
}

kit::Ref<kit::Image> flipped(const kit::Ref<kit::Image>& image, bool horizontal, bool vertical) {
  if (!image || !image->bitmap()) return nullptr;
  const auto& bitmap = image->bitmap();
  kit::PixelBuffer source;
  if (kit::bufferFromBitmap(source, *bitmap, kit::PixelFormat::argb32()) != kit::PixelNoError) return nullptr;
  kit::PixelBuffer other;
  if (kit::initBuffer(other, source.height, source.width, 32) != kit::PixelNoError) return nullptr;
  if (vertical) {
    kit::reflectVerticalARGB8888(source, other);
    std::swap(source, other);
  }
  if (horizontal) {
    kit::reflectHorizontalARGB8888(source, other);
    std::swap(source, other);
  }
  auto result = kit::bitmapFromBuffer(std::move(source), kit::PixelFormat::argb32());
  return result ? kit::Image::withBitmap(result, image->scale(), image->orientation()) : nullptr;
}

}  // namespace

kit::Ref<kit::Image> KT_imageWithColor(const kit::Ref<kit::Color>& color) { return KT_imageWithColor(color, {1, 1}); }

kit::Ref<kit::Image> KT_imageWithColor(const kit::Ref<kit::Color>& color, kit::Size size) {
  if (!color || size.width <= 0 || size.height <= 0) return nullptr;
  return drawImage(size, false, 0, [&](kit::GraphicsContext& context) {
    context.setFillColor(color);
    context.fillRect({0, 0, size.width, size.height});
  });
}

kit::Ref<kit::Image> KT_imageWithSize(kit::Size size, const std::function<void(kit::GraphicsContext&)>& drawBlock) {
  if (!drawBlock) return nullptr;
  return drawImage(size, false, 0, [&](kit::GraphicsContext& context) { drawBlock(context); });
}

bool KT_hasAlphaChannel(const kit::Image& image) {
  return image.bitmap() && kit::hasAlphaChannel(image.bitmap()->alphaInfo());
}

void KT_drawInRect(const kit::Image& image, kit::Rect rect, int contentMode, bool clipsToBounds) {
  const kit::Rect drawRect = contentModeRect(rect, image.size(), contentMode);
  if (drawRect.size.width == 0 || drawRect.size.height == 0) return;
  if (!clipsToBounds) {
    image.drawInRect(drawRect);
    return;
  }
  auto context = kit::currentContext();
  if (!context) return;
  context->saveGState();
  context->clipToRect(rect);
  image.drawInRect(drawRect);
  context->restoreGState();
}

kit::Ref<kit::Image> KT_imageByResizeToSize(const kit::Ref<kit::Image>& image, kit::Size size) {
  if (!image || size.width <= 0 || size.height <= 0) return nullptr;
  return drawImage(size, false, image->scale(),
                   [&](kit::GraphicsContext&) { image->drawInRect({0, 0, size.width, size.height}); });
}

kit::Ref<kit::Image> KT_imageByResizeToSize(const kit::Ref<kit::Image>& image, kit::Size size, int contentMode) {
  if (!image || size.width <= 0 || size.height <= 0) return nullptr;
  return drawImage(size, false, image->scale(), [&](kit::GraphicsContext&) {
    KT_drawInRect(*image, {0, 0, size.width, size.height}, contentMode, false);
  });
}

kit::Ref<kit::Image> KT_imageByCropToRect(const kit::Ref<kit::Image>& image, kit::Rect rect) {
  if (!image || !image->bitmap()) return nullptr;
  const double s = image->scale();
  const kit::Rect pixels{rect.origin.x * s, rect.origin.y * s, rect.size.width * s, rect.size.height * s};
  if (pixels.size.width <= 0 || pixels.size.height <= 0) return nullptr;
  auto cropped = image->bitmap()->cropping(pixels);
  return cropped ? kit::Image::withBitmap(cropped, s, image->orientation()) : nullptr;
}

kit::Ref<kit::Image> KT_imageByInsetEdge(const kit::Ref<kit::Image>& image, KTEdgeInsets insets,
                                         const kit::Ref<kit::Color>& color) {
  if (!image) return nullptr;
  const kit::Size size = image->size();
  const kit::Size newSize{size.width - (insets.left + insets.right), size.height - (insets.top + insets.bottom)};
  if (newSize.width <= 0 || newSize.height <= 0) return nullptr;
  const kit::Rect imageRect{-insets.left, -insets.top, size.width, size.height};
  return drawImage(newSize, false, image->scale(), [&](kit::GraphicsContext& context) {
    if (color) {
      context.setFillColor(color);
      context.beginPath();
      context.addRect({0, 0, newSize.width, newSize.height});
      context.addRect(imageRect);
      context.eoFillPath();
    }
    image->drawInRect(imageRect);
  });
}

kit::Ref<kit::Image> KT_imageByRoundCornerRadius(const kit::Ref<kit::Image>& image, double radius) {
  return KT_imageByRoundCornerRadius(image, radius, 0, nullptr);
}

kit::Ref<kit::Image> KT_imageByRoundCornerRadius(const kit::Ref<kit::Image>& image, double radius, double borderWidth,
                                                 const kit::Ref<kit::Color>& borderColor) {
  return KT_imageByRoundCornerRadius(image, radius, KTRectCornerAllCorners, borderWidth, borderColor,
                                     kit::LineJoin::Miter);
}

kit::Ref<kit::Image> KT_imageByRoundCornerRadius(const kit::Ref<kit::Image>& image, double radius, unsigned corners,
                                                 double borderWidth, const kit::Ref<kit::Color>& borderColor,
                                                 kit::LineJoin borderLineJoin) {
  if (!image || !image->bitmap()) return nullptr;
  // The image context runs top-down, as the corner names do, so the
  // corners need no swapping here.
  const kit::Size size = image->size();
  const double scale = image->scale();
  const kit::Rect rect{0, 0, size.width, size.height};
  return drawImage(size, false, scale, [&](kit::GraphicsContext& context) {
    if (borderWidth >= std::min(size.width, size.height) / 2) return;  // all border: nothing shows
    const kit::Rect inner{borderWidth, borderWidth, size.width - 2 * borderWidth, size.height - 2 * borderWidth};
    context.saveGState();
    context.beginPath();
    context.addPath(*kit::Path::withRoundedRect(inner, corners, {radius, borderWidth}));
    context.closePath();
    context.clip();
    asStored(image->bitmap(), scale)->drawInRect(rect);
    context.restoreGState();
    if (borderColor && borderWidth > 0) {
      const double strokeInset = (std::floor(borderWidth * scale) + 0.5) / scale;
      const double strokeRadius = radius > scale / 2 ? radius - scale / 2 : 0;
      const kit::Rect strokeRect{strokeInset, strokeInset, size.width - 2 * strokeInset,
                                 size.height - 2 * strokeInset};
      context.beginPath();
      context.addPath(*kit::Path::withRoundedRect(strokeRect, corners, {strokeRadius, borderWidth}));
      context.closePath();
      context.setLineWidth(borderWidth);
      context.setLineJoin(borderLineJoin);
      context.setStrokeColor(borderColor);
      context.strokePath();
    }
  });
}

kit::Ref<kit::Image> KT_imageByRotate(const kit::Ref<kit::Image>& image, double radians, bool fitSize) {
  // An angle that is no number turns the picture into no size at all.
  if (!image || !image->bitmap() || !std::isfinite(radians)) return nullptr;
  const double w = static_cast<double>(image->bitmap()->width());
  const double h = static_cast<double>(image->bitmap()->height());
  double boxW = w, boxH = h;
  if (fitSize) {
    const double c = std::fabs(std::cos(radians)), s = std::fabs(std::sin(radians));
    // Rounded a hair so that a quarter turn of w x h is exactly h x w.
    boxW = std::floor(w * c + h * s + 1e-9);
    boxH = std::floor(w * s + h * c + 1e-9);
  }
  auto context = kit::GraphicsContext::createBitmap(static_cast<size_t>(boxW), static_cast<size_t>(boxH), 8, 0,
                                                    KTDeviceRGBColorSpace(), KTStandardBitmapInfo(true));
  if (!context) return nullptr;
  context->setShouldAntialias(true);
  context->setInterpolationQuality(kit::InterpolationQuality::High);
  context->translateCTM(boxW / 2, boxH / 2);
  context->rotateCTM(radians);
  context->drawImage({-w / 2, -h / 2, w, h}, *image->bitmap());
  auto bitmap = context->makeImage();
  return bitmap ? kit::Image::withBitmap(bitmap, image->scale(), image->orientation()) : nullptr;
}

kit::Ref<kit::Image> KT_imageByRotateLeft90(const kit::Ref<kit::Image>& image) {
  return KT_imageByRotate(image, M_PI / 2, true);
}

kit::Ref<kit::Image> KT_imageByRotateRight90(const kit::Ref<kit::Image>& image) {
  return KT_imageByRotate(image, -M_PI / 2, true);
}

kit::Ref<kit::Image> KT_imageByRotate180(const kit::Ref<kit::Image>& image) { return flipped(image, true, true); }
kit::Ref<kit::Image> KT_imageByFlipVertical(const kit::Ref<kit::Image>& image) { return flipped(image, false, true); }
kit::Ref<kit::Image> KT_imageByFlipHorizontal(const kit::Ref<kit::Image>& image) {
  return flipped(image, true, false);
}

kit::Ref<kit::Image> KT_imageByTintColor(const kit::Ref<kit::Image>& image, const kit::Ref<kit::Color>& color) {
  if (!image) return nullptr;
  const kit::Size size = image->size();
  const kit::Rect rect{0, 0, size.width, size.height};
  return drawImage(size, false, image->scale(), [&](kit::GraphicsContext& context) {
    if (color) context.setFillColor(color);
    context.fillRect(rect);
    image->drawInRect(rect, kit::BlendMode::DestinationIn, 1.0);
  });
}
