// CXRMessage: the platform SDK's toast. A black box with rounded corners
// holding the text in white bold 16, centred across the view at two thirds
// of its free height; text wider than the view less 40 points wraps within
// that width. The box fades out over 2 s after 0.3 s (taps go through
// meanwhile) and removes itself; several toasts may overlap. Main thread.
//
//   CXRMessage::showMessage("无法连接服务器");          // on the front-most window
//   CXRMessage::showMessage(kit::text(reply["msg"]), view);
#pragma once

#include <string_view>

#include "kit/foundation/string.h"
#include "kit/ui/view.h"

class CXRMessage {
 public:
  // Shows the text on the view; nothing for a nil text or a nil view.
  static void showMessage(const kit::Ref<kit::String>& message, const kit::Ref<kit::View>& superView);
  // The same on CXRWindowManager::topWindow(); nothing without a window.
  static void showMessage(const kit::Ref<kit::String>& message);
  static void showMessage(std::string_view message) { showMessage(kit::str(message)); }

  // The text's width on one line in the regular system font of that size
  // (13 for a size of 0 or less), within the height (0 when negative); nil
  // and "" are measured as "无". Not rounded.
  static double getWidthWithText(const kit::Ref<kit::String>& text, double height, double fontSize);

  // The look and the timing.
  static constexpr double Padding = 10;      // around the text inside the box
  static constexpr double SideMargin = 20;   // the widest text leaves this much on each side
  static constexpr double FontSize = 16;
  static constexpr double CornerRadius = 5;
  static constexpr double FadeDelay = 0.3;
  static constexpr double FadeDuration = 2.0;
};
