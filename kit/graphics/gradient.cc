// Gradient construction.
#include "kit/graphics/gradient.h"

#include <algorithm>

namespace kit {

KIT_DEFINE_CLASS_NAMED(Gradient, Object, "CGGradient") {}

Ref<Gradient> Gradient::create(Ref<ColorSpace> space, const std::vector<Ref<Color>>& colors,
                               std::vector<double> locations) {
  if (colors.empty() || (!locations.empty() && locations.size() != colors.size())) return nullptr;
  std::vector<Stop> stops;
  for (size_t i = 0; i < colors.size(); ++i) {
    if (!colors[i]) return nullptr;
    const double location =
        locations.empty() ? (colors.size() == 1 ? 0.0 : static_cast<double>(i) / (colors.size() - 1)) : locations[i];
    stops.push_back({std::clamp(location, 0.0, 1.0), colors[i]->rgbaComponents()});
  }
  if (!space) space = ColorSpace::deviceRGB();
  return make<Gradient>(std::move(space), std::move(stops));
}

Ref<Gradient> Gradient::withComponents(Ref<ColorSpace> space, const std::vector<double>& components,
                                       std::vector<double> locations) {
  if (!space || space->numberOfComponents() == 0) return nullptr;
  const size_t per = space->numberOfComponents() + 1;
  if (components.empty() || components.size() % per != 0) return nullptr;
  std::vector<Ref<Color>> colors;
  for (size_t i = 0; i < components.size(); i += per) {
    colors.push_back(Color::withComponents(space, std::vector<double>(components.begin() + i,
                                                                      components.begin() + i + per)));
  }
  return create(std::move(space), colors, std::move(locations));
}

}  // namespace kit
