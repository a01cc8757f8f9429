// The HUD's radial backdrop. See nuva_radial_gradient_layer.h.

#include "ui/widgets/nuva_radial_gradient_layer.h"

#include <algorithm>

#include "kit/graphics/color_space.h"
#include "kit/graphics/gradient.h"
#include "kit/graphics/graphics_context.h"

void NUVARadialGradientLayer::drawInContext(kit::GraphicsContext& context) {
  auto gradient = kit::Gradient::withComponents(kit::ColorSpace::deviceRGB(), {0, 0, 0, 0, 0, 0, 0, 0.75}, {0, 1});
  if (!gradient) return;
  double radius = static_cast<float>(std::min(bounds().width(), bounds().height()));
  context.drawRadialGradient(*gradient, gradientCenter_, 0, gradientCenter_, radius,
                             kit::GradientDrawsAfterEndLocation);
}
