// Frame records and their copies. See kt_image_frame.h.
#include "ui/images/kt_image_frame.h"

kit::Ref<KTImageFrame> KTImageFrame::frameWithImage(kit::Ref<kit::Image> image) {
  auto frame = make();
  frame->setImage(std::move(image));
  return frame;
}

void KTImageFrame::copyFieldsTo(KTImageFrame& other) const {
  other.index_ = index_;
  other.width_ = width_;
  other.height_ = height_;
  other.offsetX_ = offsetX_;
  other.offsetY_ = offsetY_;
  other.duration_ = duration_;
  other.dispose_ = dispose_;
  other.blend_ = blend_;
  other.image_ = image_;
}

kit::Id KTImageFrame::copy() const {
  auto other = make();
  copyFieldsTo(*other);
  return other;
}

kit::Id KTImageDecoderFrame::copy() const {
  auto other = make();
  copyFieldsTo(*other);
  other->hasAlpha_ = hasAlpha_;
  other->isFullSize_ = isFullSize_;
  other->blendFromIndex_ = blendFromIndex_;
  return other;
}
