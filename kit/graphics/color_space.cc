// The shared device colour spaces.
#include "kit/graphics/color_space.h"
#include "kit/foundation/no_destructor.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(ColorSpace, Object, "CGColorSpace") {}

Ref<ColorSpace> ColorSpace::deviceRGB() {
  static const NoDestructor<Ref<ColorSpace>> space(make<ColorSpace>(Model::RGB, "kCGColorSpaceDeviceRGB"));
  return *space;
}

Ref<ColorSpace> ColorSpace::deviceGray() {
  static const NoDestructor<Ref<ColorSpace>> space(make<ColorSpace>(Model::Monochrome, "kCGColorSpaceDeviceGray"));
  return *space;
}

Ref<ColorSpace> ColorSpace::deviceCMYK() {
  static const NoDestructor<Ref<ColorSpace>> space(make<ColorSpace>(Model::CMYK, "kCGColorSpaceDeviceCMYK"));
  return *space;
}

Ref<ColorSpace> ColorSpace::withModel(Model model) {
  switch (model) {
    case Model::RGB: return deviceRGB();
    case Model::Monochrome: return deviceGray();
    case Model::CMYK: return deviceCMYK();
    default: return nullptr;
  }
}

size_t ColorSpace::numberOfComponents() const {
  switch (model_) {
    case Model::Monochrome: return 1;
    case Model::CMYK: return 4;
    case Model::RGB: return 3;
    default: return 0;
  }
}

bool ColorSpace::isEqual(const Object& other) const {
  auto* space = dynamic_cast<const ColorSpace*>(&other);
  return space && space->model_ == model_;
}

}  // namespace kit
