// Colours: immutable objects holding components in a colour space (RGB with
// alpha, white with alpha, or CMYK with alpha), the platform's named colours,
// component reads with conversion, and equality by space and components.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/graphics/color_space.h"

namespace kit {

// Red, green, blue and alpha from 0 to 1, not premultiplied.
struct RGBA {
  double red = 0, green = 0, blue = 0, alpha = 0;
  bool operator==(const RGBA&) const = default;
};

class Color : public Object {
  KIT_OBJECT(Color)

 public:
  static Ref<Color> rgba(double red, double green, double blue, double alpha = 1.0);
  static Ref<Color> white(double white, double alpha = 1.0);
  static Ref<Color> cmyk(double cyan, double magenta, double yellow, double black, double alpha = 1.0);
  // From 0xRRGGBB and an alpha.
  static Ref<Color> hex(unsigned rgb, double alpha = 1.0);
  // Components must hold the space's component count plus alpha; nil otherwise.
  static Ref<Color> withComponents(Ref<ColorSpace> space, std::vector<double> components);

  // The platform's named colours.
  static Ref<Color> blackColor();
  static Ref<Color> darkGrayColor();
  static Ref<Color> lightGrayColor();
  static Ref<Color> whiteColor();
  static Ref<Color> grayColor();
  static Ref<Color> redColor();
  static Ref<Color> greenColor();
  static Ref<Color> blueColor();
  static Ref<Color> cyanColor();
  static Ref<Color> yellowColor();
  static Ref<Color> magentaColor();
  static Ref<Color> orangeColor();
  static Ref<Color> purpleColor();
  static Ref<Color> brownColor();
  static Ref<Color> clearColor();

  const Ref<ColorSpace>& colorSpace() const { return space_; }
  // Colour components followed by alpha.
  const std::vector<double>& components() const { return components_; }
  size_t numberOfComponents() const { return components_.size(); }
  double alpha() const { return components_.back(); }
  // The same colour with another alpha.
  Ref<Color> withAlpha(double alpha) const;

  // Red, green, blue, alpha; gray and CMYK colours convert. Always succeeds
  // for the device spaces.
  RGBA rgbaComponents() const;
  // The platform's getRed:green:blue:alpha: (true for RGB and gray colours).
  bool getRed(double* red, double* green, double* blue, double* alpha) const;
  // The platform's getWhite:alpha: (true for gray colours only).
  bool getWhite(double* white, double* alpha) const;

  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override { return self(); }

  // Use the factories; public for make.
  Color(Ref<ColorSpace> space, std::vector<double> components);

 private:
  Ref<ColorSpace> space_;
  std::vector<double> components_;
};

}  // namespace kit
