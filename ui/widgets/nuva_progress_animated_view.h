// NUVAProgressAnimatedView: the status HUD's determinate progress ring, a
// full-turn arc in a shape layer whose stroke end shows the progress. The
// shape layer lives while the view is in a superview and is rebuilt when the
// radius changes.
#pragma once

#include "kit/ui/shape_layer.h"
#include "kit/ui/view.h"

class NUVAProgressAnimatedView : public kit::View {
 public:
  static kit::Ref<NUVAProgressAnimatedView> make(const kit::Rect& frame = {}) {
    return kit::make<NUVAProgressAnimatedView>(frame);
  }
  using kit::View::View;

  void willMoveToSuperview(kit::View* newSuperview) override;
  void setFrame(const kit::Rect& frame) override;
  // A square of side 2 * (radius + thickness / 2 + 5).
  kit::Size sizeThatFits(kit::Size size) const override;

  double radius() const { return radius_; }
  void setRadius(double radius);
  double strokeThickness() const { return strokeThickness_; }
  void setStrokeThickness(double thickness);
  const kit::Ref<kit::Color>& strokeColor() const { return strokeColor_; }
  void setStrokeColor(kit::Ref<kit::Color> color);
  double strokeEnd() const { return strokeEnd_; }
  void setStrokeEnd(double strokeEnd);

  // The ring layer, made on first use (with its full stroke).
  kit::Ref<kit::ShapeLayer> ringAnimatedLayer();
  const kit::Ref<kit::ShapeLayer>& currentAnimatedLayer() const { return layer_; }
  void setRingAnimatedLayer(kit::Ref<kit::ShapeLayer> layer) { layer_ = std::move(layer); }

 private:
  void layoutAnimatedLayer();
  void dropAnimatedLayer();

  double radius_ = 0;
  double strokeThickness_ = 0;
  kit::Ref<kit::Color> strokeColor_;
  double strokeEnd_ = 0;
  kit::Ref<kit::ShapeLayer> layer_;
};
