// What the hall's views share: the dimmed, blurred cover under a pop-up,
// pictures read from the web into an image view, text measuring, the game
// server's request values of the role description, and the image crop of
// the super wheel's progress bar.
#pragma once

#include <string>

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/graphics/image.h"
#include "kit/ui/button.h"
#include "kit/ui/font.h"
#include "kit/ui/image_view.h"
#include "kit/ui/window.h"

class NUVAHallSupport {
 public:
  // A button without action over the window's bounds, black at alpha 0.5
  // holding a dark blur at alpha 0.4, added to the window.
  static kit::Ref<kit::Button> attachCover(const kit::Ref<kit::Window>& window);

  // Reads the picture at the address ("%@" of the value) and sets it on the
  // image view on the main queue, unless the view is gone or `wanted`
  // (read on the main queue) no longer names this address.
  static void loadPicture(const kit::Ref<kit::ImageView>& view, const kit::Id& address,
                          std::function<std::string()> wanted = nullptr);

  // The wrapped size of a text in a font inside a box `width` wide.
  static kit::Size measure(const std::string& text, const kit::Ref<kit::Font>& font, double width);

  // The three values of the wheel and claim requests: the bundle's game id
  // and the role description's "super_role_id" and "service_id" ("%@").
  struct Values {
    kit::Ref<kit::String> game_id, role_id, service_id;
  };
  static Values valuesOf(const kit::Ref<kit::String>& userInfo);

};

// The image crop of the progress bar (the platform's interceptionWithRect:
// of its image category): the rectangle in points, multiplied by 3 whatever
// the image's own scale, is cut out of the bitmap (intersected with it) and
// made an upright image of the main screen's scale. Nil when nothing of the
// rectangle lies in the bitmap.
kit::Ref<kit::Image> NUVAInterceptionWithRect(const kit::Ref<kit::Image>& image, const kit::Rect& rect);
