// kit::Layer: the platform's layer. It holds the geometry (bounds, position,
// anchor point, transform) that a view's frame is made of, the appearance
// that rendering draws (background colour, corner radius, border, contents
// image, opacity, mask, clipping), the sublayer tree, and the animations
// added to it. Animations never change the model values; the presentation
// value of a key path applies the running animations at the clock's time.
//
// Layers belong to the main thread: every method that changes one checks it
// (KIT_CHECK_MAIN_THREAD) in debug and test builds.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/object.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/color.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/animation.h"
#include "kit/ui/transform3d.h"

struct _cairo_surface;

namespace kit {

class Canvas;
class GraphicsContext;
class Layer;

// How rendering may treat what a layer's delegate draws.
enum class LayerContent {
  // Drawn anew for every picture: it may follow the clock or state kept
  // elsewhere. The default.
  Live,
  // Changes only when the layer is marked for display (setNeedsDisplay) or
  // its bounds change: rendering keeps the pixels and reuses them until
  // then. Every setter that changes what is drawn must mark the layer.
  Retained,
  // Nothing is drawn.
  None,
};

// What a layer asks of the view that owns it.
class LayerDelegate {
 public:
  virtual ~LayerDelegate() = default;
  // Draws the layer's own content; true when something was drawn.
  virtual bool drawLayerContent(Layer& layer, Canvas& canvas) = 0;
  virtual LayerContent layerContent(const Layer&) const { return LayerContent::Live; }
  virtual void layoutSublayersOfLayer(Layer&) {}
};

// The platform's contents gravity names.
inline constexpr const char* GravityResize = "resize";
inline constexpr const char* GravityResizeAspect = "resizeAspect";
inline constexpr const char* GravityResizeAspectFill = "resizeAspectFill";
inline constexpr const char* GravityCenter = "center";
inline constexpr const char* GravityTop = "top";
inline constexpr const char* GravityBottom = "bottom";
inline constexpr const char* GravityLeft = "left";
inline constexpr const char* GravityRight = "right";
inline constexpr const char* GravityTopLeft = "topLeft";
inline constexpr const char* GravityTopRight = "topRight";
inline constexpr const char* GravityBottomLeft = "bottomLeft";
inline constexpr const char* GravityBottomRight = "bottomRight";

class Layer : public Object {
 public:
  static Ref<Layer> make() { return kit::make<Layer>(); }
  Layer();
  ~Layer() override;
  std::string description() const override;

  // ---- Geometry
  const Rect& bounds() const { return bounds_; }
  void setBounds(const Rect& bounds);
  Point position() const { return position_; }
  void setPosition(Point p) { KIT_CHECK_MAIN_THREAD(); noteChange(); position_ = p; }
  Point anchorPoint() const { return anchorPoint_; }
  void setAnchorPoint(Point p) { KIT_CHECK_MAIN_THREAD(); noteChange(); anchorPoint_ = p; }
  double zPosition() const { return zPosition_; }
  void setZPosition(double z) { KIT_CHECK_MAIN_THREAD(); noteChange(); zPosition_ = z; }
  const Transform3D& transform() const { return transform_; }
  void setTransform(const Transform3D& t) { KIT_CHECK_MAIN_THREAD(); noteChange(); transform_ = t; }
  AffineTransform affineTransform() const { return transform_.affine(); }
  void setAffineTransform(const AffineTransform& t) {
    KIT_CHECK_MAIN_THREAD();
    noteChange();
    transform_ = Transform3D::fromAffine(t);
  }
  // The bounding box of the transformed bounds in the superlayer.
  Rect frame() const;
  void setFrame(const Rect& frame);

  // ---- Appearance
  const Ref<Color>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(Ref<Color> c) { KIT_CHECK_MAIN_THREAD(); noteChange(); backgroundColor_ = std::move(c); }
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double r) { KIT_CHECK_MAIN_THREAD(); noteChange(); cornerRadius_ = r; }
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double w) { KIT_CHECK_MAIN_THREAD(); noteChange(); borderWidth_ = w; }
  // Black by default, as on the platform.
  const Ref<Color>& borderColor() const { return borderColor_; }
  void setBorderColor(Ref<Color> c) { KIT_CHECK_MAIN_THREAD(); noteChange(); borderColor_ = std::move(c); }
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool v) { KIT_CHECK_MAIN_THREAD(); noteChange(); masksToBounds_ = v; }
  // How much of a blur (its standard deviation, in points) rendering gives
  // what lies behind the layer within its bounds, before drawing the layer:
  // the backdrop of a visual effect view. 0, the default, blurs nothing.
  double backdropBlur() const { return backdropBlur_; }
  void setBackdropBlur(double points) { KIT_CHECK_MAIN_THREAD(); noteChange(); backdropBlur_ = points; }
  // A layer whose alpha masks this layer's drawing (its own geometry is in
  // this layer's coordinates).
  const Ref<Layer>& mask() const { return mask_; }
  void setMask(Ref<Layer> mask);
  bool isHidden() const { return hidden_; }
  void setHidden(bool v) { KIT_CHECK_MAIN_THREAD(); noteChange(); hidden_ = v; }
  double opacity() const { return opacity_; }
  void setOpacity(double o) { KIT_CHECK_MAIN_THREAD(); noteChange(); opacity_ = o; }
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool v) { KIT_CHECK_MAIN_THREAD(); opaque_ = v; }
  bool allowsGroupOpacity() const { return allowsGroupOpacity_; }
  void setAllowsGroupOpacity(bool v) { KIT_CHECK_MAIN_THREAD(); allowsGroupOpacity_ = v; }
  const std::string& name() const { return name_; }
  void setName(std::string n) { KIT_CHECK_MAIN_THREAD(); name_ = std::move(n); }

  // Shadows are kept for those who read them; rendering does not draw them.
  const Ref<Color>& shadowColor() const { return shadowColor_; }
  void setShadowColor(Ref<Color> c) { KIT_CHECK_MAIN_THREAD(); shadowColor_ = std::move(c); }
  double shadowOpacity() const { return shadowOpacity_; }
  void setShadowOpacity(double o) { KIT_CHECK_MAIN_THREAD(); shadowOpacity_ = o; }
  Size shadowOffset() const { return shadowOffset_; }
  void setShadowOffset(Size s) { KIT_CHECK_MAIN_THREAD(); shadowOffset_ = s; }
  double shadowRadius() const { return shadowRadius_; }
  void setShadowRadius(double r) { KIT_CHECK_MAIN_THREAD(); shadowRadius_ = r; }

  // ---- Contents: an image drawn into the bounds by the gravity.
  const Ref<Bitmap>& contents() const { return contents_; }
  void setContents(Ref<Bitmap> image) { KIT_CHECK_MAIN_THREAD(); noteChange(); contents_ = std::move(image); }
  // The part of the image shown, in unit coordinates.
  const Rect& contentsRect() const { return contentsRect_; }
  void setContentsRect(const Rect& r) { KIT_CHECK_MAIN_THREAD(); noteChange(); contentsRect_ = r; }
  double contentsScale() const { return contentsScale_; }
  void setContentsScale(double s) { KIT_CHECK_MAIN_THREAD(); noteChange(); contentsScale_ = s > 0 ? s : 1; }
  const std::string& contentsGravity() const { return contentsGravity_; }
  void setContentsGravity(std::string g) { KIT_CHECK_MAIN_THREAD(); noteChange(); contentsGravity_ = std::move(g); }

  // ---- Tree
  Ref<Layer> superlayer() const;
  const std::vector<Ref<Layer>>& sublayers() const { return sublayers_; }
  void addSublayer(const Ref<Layer>& layer);
  void insertSublayerAt(const Ref<Layer>& layer, size_t index);
  void insertSublayerBelow(const Ref<Layer>& layer, const Layer* sibling);
  void insertSublayerAbove(const Ref<Layer>& layer, const Layer* sibling);
  void replaceSublayer(const Layer* old, const Ref<Layer>& replacement);
  void removeFromSuperlayer();
  // The layer's index among its superlayer's sublayers, or -1.
  long indexInSuperlayer() const;

  // ---- Coordinates
  Point convertPointToLayer(Point p, const Layer* to) const;
  Point convertPointFromLayer(Point p, const Layer* from) const;
  Rect convertRectToLayer(const Rect& r, const Layer* to) const;
  bool containsPoint(Point p) const { return bounds_.contains(p); }
  // The deepest visible layer at a point of the superlayer's space.
  Ref<Layer> hitTest(Point p);

  // ---- Display
  void setNeedsDisplay() { KIT_CHECK_MAIN_THREAD(); noteChange(); needsDisplay_ = true; }
  bool needsDisplay() const { return needsDisplay_; }
  bool needsDisplayOnBoundsChange() const { return needsDisplayOnBoundsChange_; }
  void setNeedsDisplayOnBoundsChange(bool v) { KIT_CHECK_MAIN_THREAD(); needsDisplayOnBoundsChange_ = v; }
  void setNeedsLayout() { KIT_CHECK_MAIN_THREAD(); needsLayout_ = true; }
  bool needsLayout() const { return needsLayout_; }
  void layoutIfNeeded();
  virtual void layoutSublayers();
  // Custom drawing into a context whose origin is the bounds' top-left
  // corner, y growing downwards, at the layer's bounds size. Called when the
  // layer has been told setNeedsDisplay and is rendered.
  virtual void drawInContext(GraphicsContext& context);
  // Draws content beyond the base appearance (shape, gradient, text, the
  // owning view's drawing) in the layer's bounds space; true when it drew.
  virtual bool drawOwnContent(Canvas& canvas);
  // Used by rendering: the cached result of drawInContext and its scale.
  struct DrawnContents {
    Ref<Bitmap> bitmap;
    double scale = 0;
    Size size;
  };
  DrawnContents& drawnContents() { return drawn_; }
  // Used by rendering: the delegate's retained content as last drawn (no
  // surface when it drew nothing), what it was drawn for (scale, bounds
  // shown, model bounds, sub-pixel position in the picture) and the device
  // pixel it was last placed at.
  struct RetainedContent {
    std::shared_ptr<_cairo_surface> surface;
    bool valid = false;
    double scale = 0;
    Rect bounds;
    Rect modelBounds;
    Point phase;
    Point pixelOrigin;
  };
  RetainedContent& retainedContent() { return retained_; }
  void clearNeedsDisplay() { needsDisplay_ = false; }

  // Used by rendering: a count of the changes made to any layer that can
  // alter a picture (geometry, appearance, the tree, display requests,
  // animations added or ended).
  static uint64_t changeCount() { return changes_.load(std::memory_order_relaxed); }
  // The count as it stood after this layer's latest change (its own state,
  // or its list of sublayers). The largest stamp in a tree moves whenever
  // anything in the tree changes, and only then: while it stands still, a
  // picture of a tree that draws nothing live (see LayerContent) stays right.
  uint64_t changeStamp() const { return stamp_; }
  // The last picture rendering made of the tree under this layer, with the
  // scale and the tree's largest stamp it was made at.
  struct KeptPicture {
    double scale = 0;
    uint64_t stamp = 0;
    Ref<Bitmap> picture;
  };
  KeptPicture& keptPicture() { return keptPicture_; }

  LayerDelegate* delegate() const { return delegate_; }
  void setDelegate(LayerDelegate* d) { noteChange(); delegate_ = d; }

  // ---- Animations
  // Adds a copy of the animation under the key (replacing, and stopping, an
  // animation under the same key). The copy starts now.
  void addAnimation(const Ref<Animation>& animation, const std::string& key = "");
  Ref<Animation> animationForKey(const std::string& key) const;
  // Keys of the keyed animations, in the order they were added.
  std::vector<std::string> animationKeys() const;
  // Every animation on the layer, keyed or not.
  std::vector<Ref<Animation>> allAnimations() const;
  void removeAnimationForKey(const std::string& key);
  void removeAllAnimations();
  bool hasAnimations() const { return !animations_.empty(); }

  // The model value of an animatable key path ("opacity", "position",
  // "position.x", "bounds", "bounds.size", "transform", "transform.scale",
  // "transform.rotation", "backgroundColor", "cornerRadius", ...); empty for
  // an unknown key path.
  virtual AnimationValue modelValue(const std::string& keyPath) const;
  // The value shown at kit::Clock's time, `delay` seconds behind (used for
  // replicated instances): the model value with the running animations on
  // that key path applied.
  AnimationValue presentationValue(const std::string& keyPath, double delay = 0) const;
  // The transform shown, with animations of "transform" and its
  // components ("transform.scale", "transform.rotation.z", ...) applied.
  Transform3D presentationTransform(double delay = 0) const;
  double presentationDouble(const std::string& keyPath, double delay = 0) const;

 protected:
  // Called after the bounds change.
  virtual void boundsDidChange(const Rect& old);
  // Counts a change that can alter a picture (see changeCount).
  void noteChange() { stamp_ = changes_.fetch_add(1, std::memory_order_relaxed) + 1; }

 private:
  struct Running {
    std::string key;
    Ref<Animation> animation;
    double start = 0;
    uint64_t serial = 0;
  };
  void finishAnimation(uint64_t serial);
  void stopRunning(Running& r, bool finished);
  void applyAnimations(const std::string& keyPath, AnimationValue& value, double delay) const;
  Point boundsAnchor() const;
  void detachSublayer(Layer* layer);

  Rect bounds_;
  Point position_;
  Point anchorPoint_{0.5, 0.5};
  double zPosition_ = 0;
  Transform3D transform_;
  Ref<Color> backgroundColor_;
  double cornerRadius_ = 0;
  double borderWidth_ = 0;
  Ref<Color> borderColor_;
  bool masksToBounds_ = false;
  double backdropBlur_ = 0;
  Ref<Layer> mask_;
  bool hidden_ = false;
  double opacity_ = 1;
  bool opaque_ = false;
  bool allowsGroupOpacity_ = true;
  std::string name_;
  Ref<Color> shadowColor_;
  double shadowOpacity_ = 0;
  Size shadowOffset_{0, -3};
  double shadowRadius_ = 3;
  Ref<Bitmap> contents_;
  Rect contentsRect_{0, 0, 1, 1};
  double contentsScale_ = 1;
  std::string contentsGravity_ = GravityResize;
  Layer* superlayer_ = nullptr;
  std::vector<Ref<Layer>> sublayers_;
  bool needsDisplay_ = false;
  bool needsDisplayOnBoundsChange_ = false;
  bool needsLayout_ = false;
  DrawnContents drawn_;
  RetainedContent retained_;
  LayerDelegate* delegate_ = nullptr;
  std::vector<Running> animations_;
  uint64_t nextSerial_ = 1;
  static inline std::atomic<uint64_t> changes_{0};
  uint64_t stamp_ = 0;
  KeptPicture keptPicture_;
};

}  // namespace kit
