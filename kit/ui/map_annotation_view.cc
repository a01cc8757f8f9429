// Map annotation views: the image and its size.
#include "kit/ui/map_annotation_view.h"

#include "kit/ui/canvas_drawing.h"

namespace kit {

void MapAnnotationView::setImage(Ref<Image> image) {
  KIT_CHECK_MAIN_THREAD();
  image_ = std::move(image);
  Rect b = bounds();
  const Size size = image_ ? image_->size() : Size{};
  setBounds(Rect{b.origin.x, b.origin.y, size.width, size.height});
  setNeedsDisplay();
}

bool MapAnnotationView::drawContent(Canvas& canvas) {
  if (!image_) return false;
  Ref<Bitmap> bitmap = image_->uprightBitmap();
  if (!bitmap) return false;
  drawBitmap(canvas, *bitmap, bounds());
  return true;
}

}  // namespace kit
