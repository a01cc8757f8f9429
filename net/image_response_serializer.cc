// Image bodies decoded and inflated.
#include "net/image_response_serializer.h"

#include <mutex>

#include "kit/graphics/graphics_context.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/image_source.h"
#include "kit/graphics/type_identifiers.h"

namespace {

constexpr size_t kMaximumInflatedPixels = 1024 * 1024;

kit::Ref<kit::Set> imageTypes() {
  std::vector<kit::Id> types;
  for (const char* type : {"image/tiff", "image/jpeg", "image/gif", "image/png", "image/ico", "image/x-icon",
                           "image/bmp", "image/x-bmp", "image/x-xbitmap", "image/x-win-bitmap"}) {
    types.push_back(kit::str(type));
  }
  return kit::Set::make(types);
}

// The bitmap of a PNG or JPEG body decoded straight from the bytes, when
// the MIME type names that format and the bytes are of it; a CMYK JPEG is
// left to the general decoder.
kit::Ref<kit::Bitmap> directBitmap(const kit::Ref<kit::URLResponse>& response, const kit::Data& data) {
  const auto& mime = response ? response->MIMEType() : nullptr;
  if (!mime) return nullptr;
  std::string wanted = mime->isEqualToString("image/png")    ? kit::UTType::PNG
                       : mime->isEqualToString("image/jpeg") ? kit::UTType::JPEG
                                                             : "";
  if (wanted.empty() || kit::detectImageType(data.bytes(), data.length()) != wanted) return nullptr;
  auto source = kit::ImageSource::create(data.span());
  auto bitmap = source ? source->createImageAtIndex(0) : nullptr;
  if (bitmap && wanted == kit::UTType::JPEG && bitmap->colorSpace() &&
      bitmap->colorSpace()->model() == kit::ColorSpace::Model::CMYK) {
    return nullptr;
  }
  return bitmap;
}

}  // namespace

kit::Ref<kit::Image> SDPSafeImageWithData(const kit::Ref<kit::Data>& data) {
  static std::mutex lock;
  std::lock_guard guard(lock);
  return data ? kit::Image::withData(data->span()) : nullptr;
}

KIT_DEFINE_CLASS(SDPImageResponseSerializer, SDPHTTPResponseSerializer) {}

SDPImageResponseSerializer::SDPImageResponseSerializer() : imageScale(kit::mainScreenScale()) {
  setAcceptableContentTypes(imageTypes());
}

kit::Id SDPImageResponseSerializer::responseObjectForResponse(const kit::Ref<kit::URLResponse>& response,
                                                              const kit::Ref<kit::Data>& data,
                                                              kit::Ref<kit::Error>* error) {
  if (!validateForReading(response, data, error)) return nullptr;
  if (automaticallyInflatesResponseImage) return inflatedImage(response, data);
  auto image = SDPSafeImageWithData(data);
  if (!image || !image->images().empty()) return image;
  return kit::Image::withBitmap(image->bitmap(), imageScale, image->orientation());
}

kit::Ref<kit::Image> SDPImageResponseSerializer::inflatedImage(const kit::Ref<kit::URLResponse>& response,
                                                               const kit::Ref<kit::Data>& data) const {
  if (!data || data->empty()) return nullptr;
  kit::Ref<kit::Bitmap> bitmap = directBitmap(response, *data);
  auto image = SDPSafeImageWithData(data);
  if (!bitmap) {
    if (!image || !image->images().empty()) return image;
    bitmap = image->bitmap();
    if (!bitmap) return nullptr;
  }
  const auto orientation = image ? image->orientation() : kit::ImageOrientation::Up;

  const size_t width = bitmap->width();
  const size_t height = bitmap->height();
  if (width * height > kMaximumInflatedPixels || bitmap->bitsPerComponent() > 8) return image;

  kit::BitmapInfo info = bitmap->bitmapInfo() & ~kit::AlphaInfoMask;
  switch (bitmap->alphaInfo()) {
    case kit::AlphaInfo::None: info |= static_cast<kit::BitmapInfo>(kit::AlphaInfo::NoneSkipFirst); break;
    case kit::AlphaInfo::NoneSkipLast:
    case kit::AlphaInfo::NoneSkipFirst: info |= static_cast<kit::BitmapInfo>(bitmap->alphaInfo()); break;
    default: info |= static_cast<kit::BitmapInfo>(kit::AlphaInfo::PremultipliedFirst); break;
  }
  auto context = kit::GraphicsContext::createBitmap(width, height, bitmap->bitsPerComponent(), 0,
                                                    kit::ColorSpace::deviceRGB(), info);
  if (!context) return image;
  context->drawImage(kit::Rect{0, 0, static_cast<double>(width), static_cast<double>(height)}, *bitmap);
  auto inflated = context->makeImage();
  if (!inflated) return image;
  return kit::Image::withBitmap(inflated, imageScale, orientation);
}

kit::Ref<SDPHTTPResponseSerializer> SDPImageResponseSerializer::makeEmpty() const {
  return kit::make<SDPImageResponseSerializer>();
}

void SDPImageResponseSerializer::copySettingsTo(SDPHTTPResponseSerializer& other) const {
  SDPHTTPResponseSerializer::copySettingsTo(other);
  auto& image = static_cast<SDPImageResponseSerializer&>(other);
  image.imageScale = imageScale;
  image.automaticallyInflatesResponseImage = automaticallyInflatesResponseImage;
}

void SDPImageResponseSerializer::encodeWithCoder(kit::KeyedArchiver& coder) const {
  SDPHTTPResponseSerializer::encodeWithCoder(coder);
  coder.encodeDouble(imageScale, "imageScale");
  coder.encodeBool(automaticallyInflatesResponseImage, "automaticallyInflatesResponseImage");
}

bool SDPImageResponseSerializer::initWithCoder(kit::KeyedUnarchiver& coder) {
  SDPHTTPResponseSerializer::initWithCoder(coder);
  if (coder.containsValueForKey("imageScale")) imageScale = coder.decodeDoubleForKey("imageScale");
  if (coder.containsValueForKey("automaticallyInflatesResponseImage")) {
    automaticallyInflatesResponseImage = coder.decodeBoolForKey("automaticallyInflatesResponseImage");
  }
  return true;
}
