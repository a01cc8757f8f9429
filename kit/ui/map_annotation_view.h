// kit::MapAnnotationView: the view that marks a place on a map, reduced to
// what is drawn without a map: an image (the view takes the image's size,
// keeping its centre) and a highlighted flag, on the view's layer.
#pragma once

#include "kit/graphics/image.h"
#include "kit/ui/view.h"

namespace kit {

class MapAnnotationView : public View {
 public:
  static Ref<MapAnnotationView> make(const Rect& frame = {}) { return kit::make<MapAnnotationView>(frame); }
  explicit MapAnnotationView(const Rect& frame = {}) : View(frame) {}

  const Ref<Image>& image() const { return image_; }
  void setImage(Ref<Image> image);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool v) { KIT_CHECK_MAIN_THREAD(); highlighted_ = v; }

 protected:
  bool drawContent(Canvas& canvas) override;

 private:
  Ref<Image> image_;
  bool highlighted_ = false;
};

}  // namespace kit
