// Button helpers of the platform screens: image and title placed above,
// left of, below or right of each other by edge insets with a space between
// them, and solid-colour backgrounds per control state.
//
//   UIButtonKTImageTitleSpacing::layoutButtonWithEdgeInsetsStyle(*home, KTButtonEdgeInsetsStyleRight, 5);
//   UIButtonFillColor::setBackgroundColor(*use, UIColorXTExtention::fromHexValue(0xFF7F00),
//                                         kit::ControlStateNormal);
#pragma once

#include "kit/graphics/color.h"
#include "kit/graphics/geometry.h"
#include "kit/graphics/image.h"
#include "kit/ui/button.h"

// Where the image goes relative to the title.
inline constexpr unsigned long KTButtonEdgeInsetsStyleTop = 0;
inline constexpr unsigned long KTButtonEdgeInsetsStyleLeft = 1;
inline constexpr unsigned long KTButtonEdgeInsetsStyleBottom = 2;
inline constexpr unsigned long KTButtonEdgeInsetsStyleRight = 3;

class UIButtonKTImageTitleSpacing {
 public:
  struct Insets {
    kit::EdgeInsets image;
    kit::EdgeInsets title;
  };
  // Sets the button's image and title edge insets for the style, from its
  // image view's frame size and its title's size (the title label's
  // intrinsic size on system 8 and later, else its frame size). Other styles
  // set all insets to 0.
  static void layoutButtonWithEdgeInsetsStyle(kit::Button& button, unsigned long style, double imageTitleSpace);
  // The insets for an image and a title of these sizes.
  static Insets insetsFor(unsigned long style, kit::Size image, kit::Size title, double space);
};

class UIButtonFillColor {
 public:
  // The state's background image becomes a 1 x 1 picture of the colour.
  static void setBackgroundColor(kit::Button& button, const kit::Ref<kit::Color>& color, unsigned state);
  // A 1 x 1 image (scale 1) filled with the colour.
  static kit::Ref<kit::Image> imageWithColor(const kit::Ref<kit::Color>& color);
};
