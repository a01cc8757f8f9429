// The refresh kit's labels: bold 14-point text in dark grey, centred, on a
// clear background, as wide as their component; and the width a label's
// text needs on one line.
#pragma once

#include "kit/ui/label.h"

class UILabelKTRefresh {
 public:
  static kit::Ref<kit::Label> KT_label();
  // 0 for an empty text; else the width of the text's box in the label's
  // font with no limit on width or height.
  static double KT_textWith(const kit::Label& label);
};
