// kit::View: the platform's view. A rectangle in a tree of views, backed by
// a layer that holds its geometry and appearance. Views lay out their
// subviews in layout passes (autoresizing masks, layout constraints and the
// overridable layoutSubviews), draw custom content in drawRect, answer hit
// tests and touches, carry gesture recognizers, and animate property
// changes made inside the animation blocks.
//
// Ownership: a view holds its subviews, its layer, its constraints and its
// gesture recognizers. Its superview, window and controller are back
// references that never keep anything alive.
//
// Views belong to the main thread: every method that changes one checks it
// (KIT_CHECK_MAIN_THREAD) and aborts a debug or test build when called from
// another thread.
//
//   auto card = kit::View::make(kit::Rect{10, 0, 355, 295});
//   card->setBackgroundColor(kit::Color::whiteColor());
//   window->addSubview(card);
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kit/dispatch/thread_check.h"
#include "kit/graphics/affine_transform.h"
#include "kit/graphics/color.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/layer.h"
#include "kit/ui/responder.h"
#include "kit/ui/ui_types.h"

namespace kit {

class Window;
class ViewController;
class GestureRecognizer;
class LayoutConstraint;
class LayoutGuide;
class MotionEffect;

class View : public Responder, public LayerDelegate {
 public:
  static Ref<View> make(const Rect& frame = {}) { return kit::make<View>(frame); }
  View() : View(Rect{}) {}
  explicit View(const Rect& frame);
  ~View() override;
  std::string description() const override;

  const Ref<Layer>& layer() const { return layer_; }

  // ---- Geometry (all kept by the layer)
  Rect frame() const { return layer_->frame(); }
  virtual void setFrame(const Rect& frame);
  Rect bounds() const { return layer_->bounds(); }
  virtual void setBounds(const Rect& bounds);
  Point center() const { return layer_->position(); }
  virtual void setCenter(Point center);
  AffineTransform transform() const { return layer_->affineTransform(); }
  void setTransform(const AffineTransform& t);

  // ---- Appearance
  double alpha() const { return layer_->opacity(); }
  virtual void setAlpha(double alpha);
  bool isHidden() const { return layer_->isHidden(); }
  virtual void setHidden(bool hidden);
  Ref<Color> backgroundColor() const { return layer_->backgroundColor(); }
  virtual void setBackgroundColor(Ref<Color> color);
  bool clipsToBounds() const { return layer_->masksToBounds(); }
  void setClipsToBounds(bool v) { KIT_CHECK_MAIN_THREAD(); layer_->setMasksToBounds(v); }
  bool isOpaque() const { return layer_->isOpaque(); }
  void setOpaque(bool v) { KIT_CHECK_MAIN_THREAD(); layer_->setOpaque(v); }
  // The tint: the view's own, else its superview's, else the system blue.
  Ref<Color> tintColor() const;
  void setTintColor(Ref<Color> color);
  virtual void tintColorDidChange() {}
  ContentMode contentMode() const { return contentMode_; }
  virtual void setContentMode(ContentMode mode);
  double contentScaleFactor() const { return layer_->contentsScale(); }
  void setContentScaleFactor(double s) { KIT_CHECK_MAIN_THREAD(); layer_->setContentsScale(s); }

  // ---- Interaction
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool v) { KIT_CHECK_MAIN_THREAD(); userInteractionEnabled_ = v; }
  bool isMultipleTouchEnabled() const { return multipleTouchEnabled_; }
  void setMultipleTouchEnabled(bool v) { KIT_CHECK_MAIN_THREAD(); multipleTouchEnabled_ = v; }
  bool isExclusiveTouch() const { return exclusiveTouch_; }
  void setExclusiveTouch(bool v) { KIT_CHECK_MAIN_THREAD(); exclusiveTouch_ = v; }

  long tag() const { return tag_; }
  void setTag(long tag) { KIT_CHECK_MAIN_THREAD(); tag_ = tag; }
  // This view or the first descendant (depth first) with the tag.
  Ref<View> viewWithTag(long tag);

  // ---- Hierarchy
  Ref<View> superview() const;
  const std::vector<Ref<View>>& subviews() const { return subviews_; }
  // The window at the root of the tree, if the root is one.
  Ref<Window> window() const;
  Window* windowPointer() const;
  // Adding a view that is already a subview brings it to the front.
  void addSubview(const Ref<View>& view);
  void insertSubviewAt(const Ref<View>& view, size_t index);
  void insertSubviewBelow(const Ref<View>& view, const View* sibling);
  void insertSubviewAbove(const Ref<View>& view, const View* sibling);
  void removeFromSuperview();
  void bringSubviewToFront(const View* view);
  void sendSubviewToBack(const View* view);
  void exchangeSubviewAt(size_t first, size_t second);
  bool isDescendantOfView(const View* view) const;

  // Hooks around hierarchy changes. The pointers are valid for the call.
  virtual void willMoveToSuperview(View* /*newSuperview*/) {}
  virtual void didMoveToSuperview() {}
  virtual void willMoveToWindow(Window* /*newWindow*/) {}
  virtual void didMoveToWindow() {}
  virtual void didAddSubview(View* /*subview*/) {}
  // Sent to the top-level views a nib factory made (see scene_registry.h).
  virtual void awakeFromNib() {}
  virtual void willRemoveSubview(View* /*subview*/) {}

  // ---- Layout
  unsigned autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(unsigned mask) { KIT_CHECK_MAIN_THREAD(); autoresizingMask_ = mask; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool v) { KIT_CHECK_MAIN_THREAD(); autoresizesSubviews_ = v; }
  void setNeedsLayout();
  bool needsLayout() const { return needsLayout_; }
  // Runs the pending layout passes of this view's tree now.
  void layoutIfNeeded();
  // Places the subviews; the base applies the layout constraints.
  virtual void layoutSubviews();
  // The size that fits the content within `size`; the base answers the
  // current size.
  virtual Size sizeThatFits(Size size) const;
  // Resizes the view to sizeThatFits(its current size), keeping its origin.
  void sizeToFit();
  // The natural size, NoIntrinsicMetric on an axis without one.
  virtual Size intrinsicContentSize() const { return {NoIntrinsicMetric, NoIntrinsicMetric}; }
  void invalidateIntrinsicContentSize();

  // ---- Layout constraints (see layout_constraint.h)
  const std::vector<Ref<LayoutConstraint>>& constraints() const { return constraints_; }
  void addConstraint(const Ref<LayoutConstraint>& constraint);
  void addConstraints(const std::vector<Ref<LayoutConstraint>>& constraints);
  void removeConstraint(const LayoutConstraint* constraint);
  void removeConstraints(const std::vector<Ref<LayoutConstraint>>& constraints);
  bool translatesAutoresizingMaskIntoConstraints() const { return translatesMask_; }
  void setTranslatesAutoresizingMaskIntoConstraints(bool v) { KIT_CHECK_MAIN_THREAD(); translatesMask_ = v; }
  void setNeedsUpdateConstraints() { KIT_CHECK_MAIN_THREAD(); needsUpdateConstraints_ = true; setNeedsLayout(); }
  bool needsUpdateConstraints() const { return needsUpdateConstraints_; }
  void updateConstraintsIfNeeded();
  virtual void updateConstraints() {}
  // Priorities that keep the view at its intrinsic size (250 and 750 by
  // default); index 0 is horizontal, 1 vertical.
  double contentHuggingPriority(int axis) const { return hugging_[axis & 1]; }
  void setContentHuggingPriority(double p, int axis) { KIT_CHECK_MAIN_THREAD(); hugging_[axis & 1] = p; }
  double contentCompressionResistancePriority(int axis) const { return compression_[axis & 1]; }
  void setContentCompressionResistancePriority(double p, int axis) {
    KIT_CHECK_MAIN_THREAD();
    compression_[axis & 1] = p;
  }
  const EdgeInsets& layoutMargins() const { return layoutMargins_; }
  void setLayoutMargins(const EdgeInsets& m) { KIT_CHECK_MAIN_THREAD(); layoutMargins_ = m; }
  // The part of the bounds not covered by the window's unsafe edges.
  EdgeInsets safeAreaInsets() const;
  Rect safeAreaLayoutFrame() const { return insetRect(bounds(), safeAreaInsets()); }
  const Ref<LayoutGuide>& safeAreaLayoutGuide();
  virtual void safeAreaInsetsDidChange() {}

  // ---- Display
  void setNeedsDisplay() { KIT_CHECK_MAIN_THREAD(); layer_->setNeedsDisplay(); }
  void setNeedsDisplayInRect(const Rect&) { KIT_CHECK_MAIN_THREAD(); layer_->setNeedsDisplay(); }
  // Custom drawing: kit::currentContext() is a context over the bounds, its
  // origin at the top-left corner. Called when the view is rendered after
  // setNeedsDisplay (or for the first time).
  virtual void drawRect(const Rect& rect);

  // ---- Coordinates (a nil view means the window)
  Point convertPointToView(Point p, const View* view) const;
  Point convertPointFromView(Point p, const View* view) const;
  Rect convertRectToView(const Rect& r, const View* view) const;
  Rect convertRectFromView(const Rect& r, const View* view) const;

  // ---- Hit testing: the deepest visible, interactive descendant that
  // contains the point (in this view's bounds space).
  virtual Ref<View> hitTest(Point p, const Event* event);
  virtual bool pointInside(Point p, const Event* event) const;

  // ---- Gestures
  void addGestureRecognizer(const Ref<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const GestureRecognizer* recognizer);
  const std::vector<Ref<GestureRecognizer>>& gestureRecognizers() const { return recognizers_; }
  // Whether a recognizer (attached here or to an ancestor) may begin.
  virtual bool gestureRecognizerShouldBegin(GestureRecognizer&) { return true; }

  // ---- Responder
  Ref<Responder> nextResponder() const override;
  // Makes the first responder inside this view resign; true when none is
  // left (always with force).
  bool endEditing(bool force);
  // The controller whose root view this is.
  ViewController* owningController() const { return controller_; }

  // ---- Accessibility and motion effects, kept for those who read them
  const std::string& accessibilityLabel() const { return accessibilityLabel_; }
  void setAccessibilityLabel(std::string s) { KIT_CHECK_MAIN_THREAD(); accessibilityLabel_ = std::move(s); }
  const std::string& accessibilityIdentifier() const { return accessibilityIdentifier_; }
  void setAccessibilityIdentifier(std::string s) { KIT_CHECK_MAIN_THREAD(); accessibilityIdentifier_ = std::move(s); }
  const std::string& accessibilityHint() const { return accessibilityHint_; }
  void setAccessibilityHint(std::string s) { KIT_CHECK_MAIN_THREAD(); accessibilityHint_ = std::move(s); }
  const std::string& accessibilityValue() const { return accessibilityValue_; }
  void setAccessibilityValue(std::string s) { KIT_CHECK_MAIN_THREAD(); accessibilityValue_ = std::move(s); }
  bool isAccessibilityElement() const { return isAccessibilityElement_; }
  void setIsAccessibilityElement(bool v) { KIT_CHECK_MAIN_THREAD(); isAccessibilityElement_ = v; }
  bool accessibilityViewIsModal() const { return accessibilityViewIsModal_; }
  void setAccessibilityViewIsModal(bool v) { KIT_CHECK_MAIN_THREAD(); accessibilityViewIsModal_ = v; }
  uint64_t accessibilityTraits() const { return accessibilityTraits_; }
  void setAccessibilityTraits(uint64_t t) { KIT_CHECK_MAIN_THREAD(); accessibilityTraits_ = t; }
  void addMotionEffect(const Ref<MotionEffect>& effect);
  void removeMotionEffect(const MotionEffect* effect);
  const std::vector<Ref<MotionEffect>>& motionEffects() const { return motionEffects_; }

  // ---- Animation blocks (view_animation.cc). Property changes made by the
  // block take their final values at once; the layers record animations of
  // them; the completion runs on the main run loop when those end (with
  // false when one was removed first), never inside the call.
  static void animate(double duration, const std::function<void()>& animations,
                      std::function<void(bool)> completion = {});
  static void animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
                      std::function<void(bool)> completion = {});
  static void animateSpring(double duration, double delay, double damping, double initialVelocity,
                            unsigned options, const std::function<void()>& animations,
                            std::function<void(bool)> completion = {});
  // A transition of a view's content (recorded on its layer).
  static void transition(View* view, double duration, unsigned options, const std::function<void()>& animations,
                         std::function<void(bool)> completion = {});
  static void performWithoutAnimation(const std::function<void()>& actions);
  static bool areAnimationsEnabled();
  static void setAnimationsEnabled(bool enabled);
  // The older begin/commit form.
  static void beginAnimations(const std::string& name = "");
  static void setAnimationDuration(double seconds);
  static void setAnimationDelay(double seconds);
  static void setAnimationCurve(unsigned curveOption);
  static void commitAnimations();

  // Used by rendering and the layer.
  bool drawLayerContent(Layer& layer, Canvas& canvas) override;
  // A view or window of that very class draws nothing; subclasses draw anew
  // for every picture unless they keep their content (see LayerContent).
  LayerContent layerContent(const Layer& layer) const override;
  void layoutSublayersOfLayer(Layer& layer) override;
  // The cached output of drawRect (and whether drawRect drew anything).
  bool hasCustomDrawing() const { return customDrawing_; }

 protected:
  // For subclasses backed by another kind of layer.
  View(Ref<Layer> layer, const Rect& frame);
  // Draws the view's own content straight onto the canvas (labels, image
  // views); true when something was drawn. The base runs drawRect.
  virtual bool drawContent(Canvas& canvas);
  // Records an animation of a layer key path when inside an animation
  // block; `from` is the value shown before the change.
  void noteAnimatedChange(const std::string& keyPath, const AnimationValue& from, const AnimationValue& to);
  // Called when the bounds size changed.
  virtual void boundsSizeDidChange(Size old);

 private:
  friend class ViewController;
  friend class Window;
  void attachLayerOf(View* view, long index);
  void moveSubview(const Ref<View>& view, size_t index);
  void notifyWindowChange(Window* from, Window* to);
  void resizeSubviews(Size old);
  void layoutPass();
  void applyConstraints();
  void scheduleLayout();

  Ref<Layer> layer_;
  View* superview_ = nullptr;
  ViewController* controller_ = nullptr;
  std::vector<Ref<View>> subviews_;
  Ref<Color> tintColor_;
  ContentMode contentMode_ = ContentMode::ScaleToFill;
  bool userInteractionEnabled_ = true;
  bool multipleTouchEnabled_ = false;
  bool exclusiveTouch_ = false;
  long tag_ = 0;
  unsigned autoresizingMask_ = AutoresizingNone;
  bool autoresizesSubviews_ = true;
  bool needsLayout_ = true;
  bool translatesMask_ = true;
  bool needsUpdateConstraints_ = false;
  bool customDrawing_ = true;
  double hugging_[2] = {250, 250};
  double compression_[2] = {750, 750};
  EdgeInsets layoutMargins_{8, 8, 8, 8};
  std::vector<Ref<LayoutConstraint>> constraints_;
  Ref<LayoutGuide> safeAreaGuide_;
  std::vector<Ref<GestureRecognizer>> recognizers_;
  std::vector<Ref<MotionEffect>> motionEffects_;
  std::string accessibilityLabel_, accessibilityIdentifier_, accessibilityHint_, accessibilityValue_;
  bool isAccessibilityElement_ = false;
  bool accessibilityViewIsModal_ = false;
  uint64_t accessibilityTraits_ = 0;
};

// A recorded motion effect (the platform's interpolating motion effect).
class MotionEffect : public Object {
 public:
  enum class Kind { TiltAlongHorizontalAxis, TiltAlongVerticalAxis };
  static Ref<MotionEffect> interpolating(std::string keyPath, Kind kind, double minimum, double maximum);
  std::string keyPath;
  Kind kind = Kind::TiltAlongHorizontalAxis;
  double minimumRelativeValue = 0, maximumRelativeValue = 0;
  // The effects of a group.
  std::vector<Ref<MotionEffect>> group;
};

}  // namespace kit
