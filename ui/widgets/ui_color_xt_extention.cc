// Colours from hexadecimal numbers and a layer's border colour. See
// ui_color_xt_extention.h.
#include "ui/widgets/ui_color_xt_extention.h"

namespace {

// The component under `mask` at `shift`, over its largest value, in
// single precision.
double component(uint64_t hex, int shift, uint64_t mask) {
  return static_cast<float>((hex >> shift) & mask) / static_cast<float>(mask);
}

}  // namespace

kit::Ref<kit::Color> UIColorXTExtention::fromHexValue(uint64_t hex) {
  const uint64_t alphaBits = (hex >> 24) & 0xFF;
  const double alpha = alphaBits == 0 ? 1.0 : static_cast<double>(static_cast<float>(alphaBits) / 255.0f);
  return fromHexValue(hex, alpha);
}

kit::Ref<kit::Color> UIColorXTExtention::fromHexValue(uint64_t hex, double alpha) {
  return kit::Color::rgba(component(hex, 16, 0xFF), component(hex, 8, 0xFF), component(hex, 0, 0xFF), alpha);
}

kit::Ref<kit::Color> UIColorXTExtention::fromShortHexValue(uint64_t hex) { return fromShortHexValue(hex, 1.0); }

kit::Ref<kit::Color> UIColorXTExtention::fromShortHexValue(uint64_t hex, double alpha) {
  return kit::Color::rgba(component(hex, 8, 0xF), component(hex, 4, 0xF), component(hex, 0, 0xF), alpha);
}

void CALayerKTColor::setBorderUIColor(kit::Layer& layer, const kit::Ref<kit::Color>& color) {
  layer.setBorderColor(color);
}

kit::Ref<kit::Color> CALayerKTColor::borderUIColor(const kit::Layer& layer) { return layer.borderColor(); }
