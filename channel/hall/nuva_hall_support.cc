// The hall's shared helpers. See nuva_hall_support.h.

#include "channel/hall/nuva_hall_support.h"

#include <cmath>

#include "channel/core/nuva_data_format.h"
#include "channel/store/nuva_store_picture.h"
#include "channel/store/nuva_store_support.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/values.h"
#include "kit/graphics/bitmap.h"
#include "kit/ui/screen.h"
#include "kit/ui/text_measure.h"
#include "kit/ui/visual_effect_view.h"

namespace {
constexpr double kCoverBlurAlpha = 0.4;
// The bar pictures are drawn at three pixels a point.
constexpr double kCropFactor = 3.0;
}  // namespace

kit::Ref<kit::Button> NUVAHallSupport::attachCover(const kit::Ref<kit::Window>& window) {
  auto cover = kit::Button::make(window->bounds());
  cover->setBackgroundColor(kit::Color::white(0, 0.5));
  auto blur = kit::VisualEffectView::make(kit::BlurEffect::withStyle(kit::BlurEffectStyle::Dark), cover->bounds());
  blur->setAlpha(kCoverBlurAlpha);
  cover->addSubview(blur);
  window->addSubview(cover);
  return cover;
}

void NUVAHallSupport::loadPicture(const kit::Ref<kit::ImageView>& view, const kit::Id& address,
                                  std::function<std::string()> wanted) {
  const std::string asked = kit::describe(address);
  NUVAStorePicture::read(address, kit::bindPost(kit::Queue::main(), kit::Weak<kit::ImageView>(view),
                                                [asked, wanted](kit::ImageView& target, const kit::Ref<kit::Data>& bytes) {
                                                  if (wanted && wanted() != asked) return;
                                                  if (auto image = kit::Image::withData(bytes->span())) {
                                                    target.setImage(image);
                                                  }
                                                }));
}

kit::Size NUVAHallSupport::measure(const std::string& text, const kit::Ref<kit::Font>& font, double width) {
  kit::TextAttributes attributes;
  attributes.font = font;
  const kit::Rect box = kit::boundingRectWithSize(
      text, {width, 1e6}, kit::StringDrawingUsesLineFragmentOrigin | kit::StringDrawingUsesFontLeading, attributes);
  return box.size;
}

NUVAHallSupport::Values NUVAHallSupport::valuesOf(const kit::Ref<kit::String>& userInfo) {
  kit::Id role = kit::as<kit::Dictionary>(NUVADataFormat::dictionaryWithJsonString(userInfo));
  return {NUVAStoreSupport::plistGameId(), kit::text(role["super_role_id"]), kit::text(role["service_id"])};
}

kit::Ref<kit::Image> NUVAInterceptionWithRect(const kit::Ref<kit::Image>& image, const kit::Rect& rect) {
  if (!image) return nullptr;
  auto bitmap = image->uprightBitmap();
  if (!bitmap) return nullptr;
  const kit::Rect pixels{rect.minX() * kCropFactor, rect.minY() * kCropFactor, rect.width() * kCropFactor,
                         rect.height() * kCropFactor};
  if (!std::isfinite(pixels.minX()) || !std::isfinite(pixels.minY()) || !std::isfinite(pixels.width()) ||
      !std::isfinite(pixels.height())) {
    return nullptr;
  }
  auto cut = bitmap->cropping(pixels);
  if (!cut) return nullptr;
  return kit::Image::withBitmap(cut, kit::Screen::main()->scale());
}
