// Colour gradients: colours at locations from 0 to 1, drawn linearly or
// radially by a graphics context.
#pragma once

#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/graphics/color.h"

namespace kit {

class Gradient : public Object {
  KIT_OBJECT(Gradient)

 public:
  struct Stop {
    double location;
    RGBA color;
  };

  // Colours at the given locations; empty locations spread them evenly.
  // Nil when there are no colours or the counts differ.
  static Ref<Gradient> create(Ref<ColorSpace> space, const std::vector<Ref<Color>>& colors,
                              std::vector<double> locations = {});
  // Components in the space's layout (colour components then alpha) per stop.
  static Ref<Gradient> withComponents(Ref<ColorSpace> space, const std::vector<double>& components,
                                      std::vector<double> locations);

  const Ref<ColorSpace>& colorSpace() const { return space_; }
  const std::vector<Stop>& stops() const { return stops_; }

  // Use the factories; public for make.
  Gradient(Ref<ColorSpace> space, std::vector<Stop> stops) : space_(std::move(space)), stops_(std::move(stops)) {}

 private:
  Ref<ColorSpace> space_;
  std::vector<Stop> stops_;
};

}  // namespace kit
