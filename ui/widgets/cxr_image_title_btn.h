// CXRImageTitleBtn: a button loaded from an interface scene that stacks its
// image centred above its title (insets with a 5-point space, which leaves
// image and title 2.5 points apart, as edge insets move each by half their
// amount). When its scene wakes it
// (awakeFromNib), it sets its title and image edge insets from the image
// view's frame size and the title's natural size; it has no state of its
// own.
#pragma once

#include "kit/ui/button.h"

class CXRImageTitleBtn : public kit::Button {
 public:
  static kit::Ref<CXRImageTitleBtn> make(const kit::Rect& frame = {}) { return kit::make<CXRImageTitleBtn>(frame); }
  explicit CXRImageTitleBtn(const kit::Rect& frame = {}) : kit::Button(frame) {}

  // Title insets (0, -image width, -(image height + 5), 0); image insets
  // (-(title height + 5), 0, 0, -title width).
  void awakeFromNib() override;

  // The space in the insets between the image and the title.
  static constexpr double Spacing = 5;
};
