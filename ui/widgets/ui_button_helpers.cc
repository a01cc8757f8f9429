// Image and title spacing, and colour backgrounds, of buttons. See
// ui_button_helpers.h.
#include "ui/widgets/ui_button_helpers.h"

#include "kit/dispatch/thread_check.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/screen.h"

void UIButtonKTImageTitleSpacing::layoutButtonWithEdgeInsetsStyle(kit::Button& button, unsigned long style,
                                                                 double imageTitleSpace) {
  KIT_CHECK_MAIN_THREAD();
  const kit::Size image = button.imageView()->frame().size;
  const kit::Size title = static_cast<float>(kit::Device::current()->systemVersionNumber()) >= 8.0f
                              ? button.titleLabel()->intrinsicContentSize()
                              : button.titleLabel()->frame().size;
  const Insets insets = insetsFor(style, image, title, imageTitleSpace);
  button.setTitleEdgeInsets(insets.title);
  button.setImageEdgeInsets(insets.image);
}

UIButtonKTImageTitleSpacing::Insets UIButtonKTImageTitleSpacing::insetsFor(unsigned long style, kit::Size image,
                                                                           kit::Size title, double space) {
  const double iw = image.width, ih = image.height;
  const double tw = title.width, th = title.height;
  const double half = space / 2;
  switch (style) {
    case KTButtonEdgeInsetsStyleTop:
      return {{-(th + half), 0, 0, -tw}, {0, -iw, -(ih + half), 0}};
    case KTButtonEdgeInsetsStyleLeft:
      return {{0, -half, 0, half}, {0, half, 0, -half}};
    case KTButtonEdgeInsetsStyleBottom:
      return {{0, 0, -(th + half), -tw}, {-(ih + half), -iw, 0, 0}};
    case KTButtonEdgeInsetsStyleRight:
      return {{0, tw + half, 0, -(tw + half)}, {0, -(iw + half), 0, iw + half}};
    default:
      return {};
  }
}

void UIButtonFillColor::setBackgroundColor(kit::Button& button, const kit::Ref<kit::Color>& color, unsigned state) {
  KIT_CHECK_MAIN_THREAD();
  button.setBackgroundImage(imageWithColor(color), state);
}

kit::Ref<kit::Image> UIButtonFillColor::imageWithColor(const kit::Ref<kit::Color>& color) {
  if (!kit::beginImageContext(kit::Size{1, 1}, false, 1)) return nullptr;
  auto context = kit::currentContext();
  context->setFillColor(color);
  context->fillRect(kit::Rect{0, 0, 1, 1});
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}
