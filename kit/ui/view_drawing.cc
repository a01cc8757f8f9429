// A view's own drawing: drawRect into an image context, kept until the view
// asks for display again.
#include <cmath>
#include <typeinfo>

#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/canvas.h"
#include "kit/ui/canvas_drawing.h"
#include "kit/ui/view.h"
#include "kit/ui/window.h"

namespace kit {

namespace {
// Set by the base drawRect, so that a view that does not draw costs one
// empty picture and is not asked again until setNeedsDisplay.
thread_local bool baseDrawRectCalled = false;

// An image context starts with every byte zero (premultiplied, clear), so
// any byte that is not is ink.
bool anyInk(const Bitmap& bitmap) {
  for (uint8_t byte : bitmap.data())
    if (byte != 0) return true;
  return false;
}
}  // namespace

void View::drawRect(const Rect&) { baseDrawRectCalled = true; }

bool View::drawLayerContent(Layer&, Canvas& canvas) { return drawContent(canvas); }

LayerContent View::layerContent(const Layer&) const {
  // The base drawRect draws nothing, and the plain views (a view or a
  // window of that very class) have no other drawing.
  const std::type_info& type = typeid(*this);
  return type == typeid(View) || type == typeid(Window) ? LayerContent::None : LayerContent::Live;
}

bool View::drawContent(Canvas& canvas) {
  auto& cache = layer_->drawnContents();
  const Size size = bounds().size;
  if (layer_->needsDisplay() || cache.scale != canvas.scale() || cache.size != size) {
    layer_->clearNeedsDisplay();
    cache = {};
    cache.scale = canvas.scale();
    cache.size = size;
    if (customDrawing_ && size.width > 0 && size.height > 0 && beginImageContext(size, false, canvas.scale())) {
      baseDrawRectCalled = false;
      drawRect(bounds());
      const bool onlyBase = baseDrawRectCalled;
      Ref<Image> picture = imageFromCurrentImageContext();
      endImageContext();
      if (picture && picture->bitmap()) {
        if (onlyBase && !anyInk(*picture->bitmap())) customDrawing_ = false;
        else cache.bitmap = picture->bitmap();
      }
    }
  }
  if (!cache.bitmap) return false;
  drawBitmap(canvas, *cache.bitmap, bounds());
  return true;
}

}  // namespace kit
