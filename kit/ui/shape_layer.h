// kit::ShapeLayer: a layer that draws a path: filled by a rule, stroked with
// a width, caps, joins and dashes, and only between strokeStart and
// strokeEnd (fractions of the path's length), as progress rings need.
#pragma once

#include <string>
#include <vector>

#include "kit/graphics/path.h"
#include "kit/ui/layer.h"

namespace kit {

inline constexpr const char* LineCapButt = "butt";
inline constexpr const char* LineCapRound = "round";
inline constexpr const char* LineCapSquare = "square";
inline constexpr const char* LineJoinMiter = "miter";
inline constexpr const char* LineJoinRound = "round";
inline constexpr const char* LineJoinBevel = "bevel";
inline constexpr const char* FillRuleNonZero = "non-zero";
inline constexpr const char* FillRuleEvenOdd = "even-odd";

class ShapeLayer : public Layer {
 public:
  static Ref<ShapeLayer> make() { return kit::make<ShapeLayer>(); }
  ShapeLayer();

  const Ref<Path>& path() const { return path_; }
  void setPath(Ref<Path> p) { path_ = std::move(p); }
  // Black by default; nil fills nothing.
  const Ref<Color>& fillColor() const { return fillColor_; }
  void setFillColor(Ref<Color> c) { fillColor_ = std::move(c); }
  // Nil by default: no stroke.
  const Ref<Color>& strokeColor() const { return strokeColor_; }
  void setStrokeColor(Ref<Color> c) { strokeColor_ = std::move(c); }
  double lineWidth() const { return lineWidth_; }
  void setLineWidth(double w) { lineWidth_ = w; }
  const std::string& lineCap() const { return lineCap_; }
  void setLineCap(std::string c) { lineCap_ = std::move(c); }
  const std::string& lineJoin() const { return lineJoin_; }
  void setLineJoin(std::string j) { lineJoin_ = std::move(j); }
  double miterLimit() const { return miterLimit_; }
  void setMiterLimit(double m) { miterLimit_ = m; }
  const std::string& fillRule() const { return fillRule_; }
  void setFillRule(std::string r) { fillRule_ = std::move(r); }
  double strokeStart() const { return strokeStart_; }
  void setStrokeStart(double s) { strokeStart_ = s; }
  double strokeEnd() const { return strokeEnd_; }
  void setStrokeEnd(double e) { strokeEnd_ = e; }
  const std::vector<double>& lineDashPattern() const { return dash_; }
  void setLineDashPattern(std::vector<double> d) { dash_ = std::move(d); }
  double lineDashPhase() const { return dashPhase_; }
  void setLineDashPhase(double p) { dashPhase_ = p; }

  AnimationValue modelValue(const std::string& keyPath) const override;
  bool drawOwnContent(Canvas& canvas) override;

 private:
  Ref<Path> path_;
  Ref<Color> fillColor_;
  Ref<Color> strokeColor_;
  double lineWidth_ = 1;
  std::string lineCap_ = LineCapButt, lineJoin_ = LineJoinMiter, fillRule_ = FillRuleNonZero;
  double miterLimit_ = 10;
  double strokeStart_ = 0, strokeEnd_ = 1;
  std::vector<double> dash_;
  double dashPhase_ = 0;
};

}  // namespace kit
