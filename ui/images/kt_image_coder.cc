// Decoded-for-display operations of images. See kt_image_coder.h.
#include "ui/images/kt_image_coder.h"

#include "kit/foundation/number.h"
#include "ui/images/kt_image_utilities.h"
#include "ui/images/kt_sprite_sheet_image.h"

namespace {

// The address that keys the flag among an image's associated values.
const char kDecodedForDisplayKey = 0;

}  // namespace

bool KT_isDecodedForDisplay(const kit::Image& image) {
  if (image.images().size() > 1) return true;
  // A sprite sheet is shown through contents rectangles, never redrawn.
  if (dynamic_cast<const KTSpriteSheetImage*>(&image)) return true;
  auto flag = kit::as<kit::Number>(image.associated(&kDecodedForDisplayKey));
  return flag && flag->boolValue();
}

void setKT_isDecodedForDisplay(kit::Image& image, bool decoded) {
  image.setAssociated(&kDecodedForDisplayKey, kit::Number::fromBool(decoded));
}

kit::Ref<kit::Image> KT_imageByDecoded(const kit::Ref<kit::Image>& image) {
  if (!image || KT_isDecodedForDisplay(*image) || !image->bitmap()) return image;
  auto decoded = KTDecodedImageCopy(image->bitmap(), true);
  if (!decoded) return image;
  auto copy = kit::Image::withBitmap(std::move(decoded), image->scale(), image->orientation());
  if (!copy) {
    setKT_isDecodedForDisplay(*image, true);
    return image;
  }
  setKT_isDecodedForDisplay(*copy, true);
  return copy;
}
