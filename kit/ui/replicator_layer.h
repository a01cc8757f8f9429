// kit::ReplicatorLayer: draws its sublayers instanceCount times, each copy
// transformed once more by the instance transform (about the replicator's
// anchor point), its animations running instanceDelay seconds after the
// previous copy's, and its alpha changed by the alpha offset.
#pragma once

#include "kit/ui/layer.h"

namespace kit {

class ReplicatorLayer : public Layer {
 public:
  static Ref<ReplicatorLayer> make() { return kit::make<ReplicatorLayer>(); }
  long instanceCount() const { return instanceCount_; }
  void setInstanceCount(long n) { instanceCount_ = n < 0 ? 0 : n; }
  const Transform3D& instanceTransform() const { return instanceTransform_; }
  void setInstanceTransform(const Transform3D& t) { instanceTransform_ = t; }
  double instanceDelay() const { return instanceDelay_; }
  void setInstanceDelay(double d) { instanceDelay_ = d; }
  const Ref<Color>& instanceColor() const { return instanceColor_; }
  void setInstanceColor(Ref<Color> c) { instanceColor_ = std::move(c); }
  double instanceAlphaOffset() const { return alphaOffset_; }
  void setInstanceAlphaOffset(double a) { alphaOffset_ = a; }

 private:
  long instanceCount_ = 1;
  Transform3D instanceTransform_;
  double instanceDelay_ = 0;
  Ref<Color> instanceColor_;
  double alphaOffset_ = 0;
};

}  // namespace kit
