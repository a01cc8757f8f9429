// The image-over-title button. See cxr_image_title_btn.h.
#include "ui/widgets/cxr_image_title_btn.h"

#include "kit/dispatch/thread_check.h"

void CXRImageTitleBtn::awakeFromNib() {
  KIT_CHECK_MAIN_THREAD();
  kit::Button::awakeFromNib();
  const kit::Size image = imageView()->frame().size;
  const kit::Size title = titleLabel()->intrinsicContentSize();
  setTitleEdgeInsets(kit::EdgeInsets{0, -image.width, -(image.height + Spacing), 0});
  setImageEdgeInsets(kit::EdgeInsets{-(title.height + Spacing), 0, 0, -title.width});
}
