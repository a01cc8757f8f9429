// NUVAIndefiniteAnimatedView: the status HUD's flat indefinite spinner, an
// arc in a shape layer that turns and breathes on layer animations alone.
// The shape layer lives while the view is in a superview and is rebuilt
// when the radius changes.
#pragma once

#include "kit/ui/shape_layer.h"
#include "kit/ui/view.h"

class NUVAIndefiniteAnimatedView : public kit::View {
 public:
  static kit::Ref<NUVAIndefiniteAnimatedView> make(const kit::Rect& frame = {}) {
    return kit::make<NUVAIndefiniteAnimatedView>(frame);
  }
  using kit::View::View;

  void willMoveToSuperview(kit::View* newSuperview) override;
  void setFrame(const kit::Rect& frame) override;
  // A square of side 2 * (radius + thickness / 2 + 5).
  kit::Size sizeThatFits(kit::Size size) const override;

  double strokeThickness() const { return strokeThickness_; }
  void setStrokeThickness(double thickness);
  double radius() const { return radius_; }
  void setRadius(double radius);
  const kit::Ref<kit::Color>& strokeColor() const { return strokeColor_; }
  void setStrokeColor(kit::Ref<kit::Color> color);

  // The arc layer, made on first use.
  kit::Ref<kit::ShapeLayer> indefiniteAnimatedLayer();
  // The layer as it is now, without making one.
  const kit::Ref<kit::ShapeLayer>& currentAnimatedLayer() const { return layer_; }
  void setIndefiniteAnimatedLayer(kit::Ref<kit::ShapeLayer> layer) { layer_ = std::move(layer); }

 private:
  void layoutAnimatedLayer();
  void dropAnimatedLayer();

  double strokeThickness_ = 0;
  double radius_ = 0;
  kit::Ref<kit::Color> strokeColor_;
  kit::Ref<kit::ShapeLayer> layer_;
};
