// kit::Canvas: the Cairo context that rendering draws a layer tree into,
// handed to layers and views that draw their own content (text, shapes,
// gradients). Its space is the layer's bounds space at the moment of the
// call, in points; the device scale is already applied.
#pragma once

struct _cairo;

namespace kit {

class Canvas {
 public:
  Canvas(_cairo* cr, double scale) : cr_(cr), scale_(scale) {}
  _cairo* cairo() const { return cr_; }
  // Device pixels per point.
  double scale() const { return scale_; }
  // The opacity the drawing is composited with (for content drawn
  // directly).
  double opacity = 1;

 private:
  _cairo* cr_;
  double scale_;
};

}  // namespace kit
