// Colour spaces: the device RGB, device gray and device CMYK spaces that
// bitmaps and colours are described in. Each is one shared object per
// process, so spaces compare by identity as well as by model.
#pragma once

#include <string>

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"

namespace kit {

class ColorSpace : public Object {
  KIT_OBJECT(ColorSpace)

 public:
  // The platform's colour-space model numbers.
  enum class Model : int { Unknown = -1, Monochrome = 0, RGB = 1, CMYK = 2, Lab = 3, DeviceN = 4, Indexed = 5 };

  static Ref<ColorSpace> deviceRGB();
  static Ref<ColorSpace> deviceGray();
  static Ref<ColorSpace> deviceCMYK();
  // The shared space of a model, or nil for models kit does not draw in.
  static Ref<ColorSpace> withModel(Model model);

  Model model() const { return model_; }
  // Colour components without alpha: 3, 1 or 4.
  size_t numberOfComponents() const;
  const std::string& name() const { return name_; }
  std::string description() const override { return "<ColorSpace " + name_ + ">"; }
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return static_cast<size_t>(model_) + 17; }

  // Use the factories; public for make.
  ColorSpace(Model model, std::string name) : model_(model), name_(std::move(name)) {}

 private:
  Model model_;
  std::string name_;
};

}  // namespace kit
