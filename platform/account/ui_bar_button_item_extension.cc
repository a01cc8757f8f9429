// The bar-button factory. See ui_bar_button_item_extension.h.
#include "platform/account/ui_bar_button_item_extension.h"

#include "kit/dispatch/thread_check.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/button.h"

kit::Ref<kit::BarButtonItem> UIBarButtonItemExtension::itemWithTarget(std::function<void()> action,
                                                                      const std::string& image,
                                                                      const std::string& highImage, kit::Size size) {
  KIT_CHECK_MAIN_THREAD();
  auto button = kit::Button::withType(kit::ButtonType::Custom);
  if (action) button->addAction(kit::ControlEvent::TouchUpInside, std::move(action));
  button->setBackgroundImage(kit::imageNamed(image), kit::ControlStateNormal);
  button->setBackgroundImage(kit::imageNamed(highImage), kit::ControlStateHighlighted);
  kit::Rect frame = button->frame();
  if (size.width != 0) {
    frame.size = size;
  } else if (auto background = button->currentBackgroundImage()) {
    frame.size = background->size();
  }
  button->setFrame(frame);
  return kit::BarButtonItem::withCustomView(button);
}
