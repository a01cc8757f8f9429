// Colour objects and their conversions.
#include "kit/graphics/color.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace kit {

KIT_DEFINE_CLASS_NAMED(Color, Object, "UIColor") {}

static double clampUnit(double v) { return std::clamp(v, 0.0, 1.0); }

Color::Color(Ref<ColorSpace> space, std::vector<double> components)
    : space_(std::move(space)), components_(std::move(components)) {}

Ref<Color> Color::rgba(double red, double green, double blue, double alpha) {
  return make<Color>(ColorSpace::deviceRGB(), std::vector<double>{red, green, blue, alpha});
}

Ref<Color> Color::white(double white, double alpha) {
  return make<Color>(ColorSpace::deviceGray(), std::vector<double>{white, alpha});
}

Ref<Color> Color::cmyk(double cyan, double magenta, double yellow, double black, double alpha) {
  return make<Color>(ColorSpace::deviceCMYK(), std::vector<double>{cyan, magenta, yellow, black, alpha});
}

Ref<Color> Color::hex(unsigned rgb, double alpha) {
  return rgba(((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0, alpha);
}

Ref<Color> Color::withComponents(Ref<ColorSpace> space, std::vector<double> components) {
  if (!space || space->numberOfComponents() == 0 || components.size() != space->numberOfComponents() + 1) {
    return nullptr;
  }
  return make<Color>(std::move(space), std::move(components));
}

Ref<Color> Color::blackColor() { return white(0); }
Ref<Color> Color::darkGrayColor() { return white(1.0 / 3.0); }
Ref<Color> Color::lightGrayColor() { return white(2.0 / 3.0); }
Ref<Color> Color::whiteColor() { return white(1); }
Ref<Color> Color::grayColor() { return white(0.5); }
Ref<Color> Color::redColor() { return rgba(1, 0, 0); }
Ref<Color> Color::greenColor() { return rgba(0, 1, 0); }
Ref<Color> Color::blueColor() { return rgba(0, 0, 1); }
Ref<Color> Color::cyanColor() { return rgba(0, 1, 1); }
Ref<Color> Color::yellowColor() { return rgba(1, 1, 0); }
Ref<Color> Color::magentaColor() { return rgba(1, 0, 1); }
Ref<Color> Color::orangeColor() { return rgba(1, 0.5, 0); }
Ref<Color> Color::purpleColor() { return rgba(0.5, 0, 0.5); }
Ref<Color> Color::brownColor() { return rgba(0.6, 0.4, 0.2); }
Ref<Color> Color::clearColor() { return white(0, 0); }

Ref<Color> Color::withAlpha(double alpha) const {
  std::vector<double> c = components_;
  c.back() = alpha;
  return make<Color>(space_, std::move(c));
}

RGBA Color::rgbaComponents() const {
  const auto& c = components_;
  switch (space_->model()) {
    case ColorSpace::Model::Monochrome: return {c[0], c[0], c[0], c[1]};
    case ColorSpace::Model::CMYK: {
      const double k = clampUnit(c[3]);
      return {(1 - clampUnit(c[0])) * (1 - k), (1 - clampUnit(c[1])) * (1 - k), (1 - clampUnit(c[2])) * (1 - k), c[4]};
    }
    default: return {c[0], c[1], c[2], c[3]};
  }
}

bool Color::getRed(double* red, double* green, double* blue, double* alpha) const {
  const auto model = space_->model();
  if (model != ColorSpace::Model::RGB && model != ColorSpace::Model::Monochrome) return false;
  const RGBA v = rgbaComponents();
  if (red) *red = v.red;
  if (green) *green = v.green;
  if (blue) *blue = v.blue;
  if (alpha) *alpha = v.alpha;
  return true;
}

bool Color::getWhite(double* white, double* alpha) const {
  if (space_->model() != ColorSpace::Model::Monochrome) return false;
  if (white) *white = components_[0];
  if (alpha) *alpha = components_[1];
  return true;
}

std::string Color::description() const {
  std::string text;
  switch (space_->model()) {
    case ColorSpace::Model::Monochrome: text = "UIDeviceWhiteColorSpace"; break;
    case ColorSpace::Model::CMYK: text = "UIDeviceCMYKColorSpace"; break;
    default: text = "UIDeviceRGBColorSpace"; break;
  }
  for (double v : components_) {
    char buf[32];
    std::snprintf(buf, sizeof buf, " %g", v);
    text += buf;
  }
  return text;
}

bool Color::isEqual(const Object& other) const {
  auto* color = dynamic_cast<const Color*>(&other);
  if (!color) return false;
  if (color == this) return true;
  return space_->isEqual(*color->space_) && components_ == color->components_;
}

size_t Color::hash() const {
  size_t h = space_->hash();
  for (double v : components_) h = h * 31 + std::hash<double>()(v);
  return h;
}

}  // namespace kit
