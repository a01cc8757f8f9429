// kit::GradientLayer: fills its bounds with an axial or radial gradient of
// colours at locations (spread evenly when none are given); the start and
// end points are in unit coordinates of the bounds.
#pragma once

#include <string>
#include <vector>

#include "kit/ui/layer.h"

namespace kit {

inline constexpr const char* GradientAxial = "axial";
inline constexpr const char* GradientRadial = "radial";

class GradientLayer : public Layer {
 public:
  static Ref<GradientLayer> make() { return kit::make<GradientLayer>(); }
  const std::vector<Ref<Color>>& colors() const { return colors_; }
  void setColors(std::vector<Ref<Color>> c) { colors_ = std::move(c); }
  const std::vector<double>& locations() const { return locations_; }
  void setLocations(std::vector<double> l) { locations_ = std::move(l); }
  Point startPoint() const { return start_; }
  void setStartPoint(Point p) { start_ = p; }
  Point endPoint() const { return end_; }
  void setEndPoint(Point p) { end_ = p; }
  const std::string& type() const { return type_; }
  void setType(std::string t) { type_ = std::move(t); }

  bool drawOwnContent(Canvas& canvas) override;

 private:
  std::vector<Ref<Color>> colors_;
  std::vector<double> locations_;
  Point start_{0.5, 0}, end_{0.5, 1};
  std::string type_ = GradientAxial;
};

}  // namespace kit
