// NUVARadialGradientLayer: the darkened backdrop of the status HUD's
// gradient mask: clear at its centre, black at alpha 0.75 from a radius of
// the smaller side of its bounds outwards.
#pragma once

#include "kit/graphics/geometry.h"
#include "kit/ui/layer.h"

class NUVARadialGradientLayer : public kit::Layer {
 public:
  static kit::Ref<NUVARadialGradientLayer> make() { return kit::make<NUVARadialGradientLayer>(); }

  void drawInContext(kit::GraphicsContext& context) override;

  kit::Point gradientCenter() const { return gradientCenter_; }
  void setGradientCenter(kit::Point center) { gradientCenter_ = center; }

 private:
  kit::Point gradientCenter_;
};
