// The platform SDK's bar-button factory: a custom button with a background
// image per state (normal and highlighted, by image name in the main
// bundle) that runs the action on touch-up-inside, as a bar-button item.
//
//   auto close = UIBarButtonItemExtension::itemWithTarget([weak] { ... }, "VIROV.bundle/KT_close",
//                                                         "VIROV.bundle/KT_close_h", {30, 30});
#pragma once

#include <functional>
#include <string>

#include "kit/graphics/geometry.h"
#include "kit/ui/navigation_bar.h"

class UIBarButtonItemExtension {
 public:
  // The target and action are one callback. The button takes `size` when
  // its width is not 0, else the size of its normal background image.
  static kit::Ref<kit::BarButtonItem> itemWithTarget(std::function<void()> action, const std::string& image,
                                                     const std::string& highImage, kit::Size size);
};
