// The refresh kit's label factory and text width. See ui_label_kt_refresh.h.
#include "ui/widgets/ui_label_kt_refresh.h"

#include <cfloat>

#include "kit/ui/text_measure.h"
#include "ui/widgets/kt_refresh_const.h"

kit::Ref<kit::Label> UILabelKTRefresh::KT_label() {
  auto label = kit::Label::make();
  label->setFont(KTRefreshLabelFont());
  label->setTextColor(KTRefreshLabelTextColor());
  label->setAutoresizingMask(kit::AutoresizingFlexibleWidth);
  label->setTextAlignment(kit::TextAlignment::Center);
  label->setBackgroundColor(kit::Color::clearColor());
  return label;
}

double UILabelKTRefresh::KT_textWith(const kit::Label& label) {
  if (label.text().empty()) return 0.0;
  kit::TextAttributes attributes;
  attributes.font = label.font();
  return kit::boundingRectWithSize(label.text(), kit::Size{FLT_MAX, FLT_MAX}, kit::StringDrawingUsesLineFragmentOrigin,
                                   attributes)
      .size.width;
}
