// Views: geometry, hierarchy and its hooks, autoresizing, layout passes,
// coordinate conversion, hit testing and the responder chain.
#include "kit/ui/view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/layout_constraint.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace kit {

View::View(const Rect& frame) : View(Layer::make(), frame) {}

View::View(Ref<Layer> layer, const Rect& frame) : layer_(std::move(layer)) {
  KIT_CHECK_MAIN_THREAD();
  layer_->setDelegate(this);
  layer_->setFrame(frame);
  layer_->setNeedsDisplay();
}

View::~View() {
  for (auto& sub : subviews_) sub->superview_ = nullptr;
  for (auto& r : recognizers_) r->attachTo(nullptr);
  if (layer_->delegate() == this) layer_->setDelegate(nullptr);
}

std::string View::description() const {
  char buffer[200];
  const Rect f = frame();
  std::snprintf(buffer, sizeof buffer, "; frame = (%g %g; %g %g)", f.origin.x, f.origin.y, f.size.width,
                f.size.height);
  std::string d = defaultDescription();
  if (!d.empty() && d.back() == '>') d.pop_back();
  d += buffer;
  if (tag_ != 0) d += "; tag = " + std::to_string(tag_);
  if (isHidden()) d += "; hidden = YES";
  return d + ">";
}

// ---- Geometry ---------------------------------------------------------------

void View::setFrame(const Rect& frame) {
  KIT_CHECK_MAIN_THREAD();
  const Rect f = frame.standardized();
  const Point oldCenter = center();
  const Rect oldBounds = bounds();
  layer_->setFrame(f);
  noteAnimatedChange("position", oldCenter, center());
  noteAnimatedChange("bounds", oldBounds, bounds());
  if (oldBounds.size != bounds().size) boundsSizeDidChange(oldBounds.size);
}

void View::setBounds(const Rect& bounds) {
  KIT_CHECK_MAIN_THREAD();
  const Rect old = this->bounds();
  layer_->setBounds(bounds.standardized());
  noteAnimatedChange("bounds", old, this->bounds());
  if (old.size != this->bounds().size) boundsSizeDidChange(old.size);
  else if (old.origin != bounds.origin) setNeedsLayout();
}

void View::setCenter(Point c) {
  KIT_CHECK_MAIN_THREAD();
  const Point old = center();
  layer_->setPosition(c);
  noteAnimatedChange("position", old, c);
}

void View::setTransform(const AffineTransform& t) {
  KIT_CHECK_MAIN_THREAD();
  const Transform3D old = layer_->transform();
  layer_->setAffineTransform(t);
  noteAnimatedChange("transform", old, layer_->transform());
}

void View::setAlpha(double alpha) {
  KIT_CHECK_MAIN_THREAD();
  const double old = layer_->opacity();
  layer_->setOpacity(alpha);
  noteAnimatedChange("opacity", old, alpha);
}

void View::setHidden(bool hidden) {
  KIT_CHECK_MAIN_THREAD();
  layer_->setHidden(hidden);
}

void View::setBackgroundColor(Ref<Color> color) {
  KIT_CHECK_MAIN_THREAD();
  const Ref<Color> old = layer_->backgroundColor();
  layer_->setBackgroundColor(color);
  noteAnimatedChange("backgroundColor", old, color);
}

Ref<Color> View::tintColor() const {
  if (tintColor_) return tintColor_;
  if (superview_) return superview_->tintColor();
  return Color::rgba(0, 122.0 / 255, 1, 1);
}

void View::setTintColor(Ref<Color> color) {
  KIT_CHECK_MAIN_THREAD();
  tintColor_ = std::move(color);
  std::function<void(View&)> notify = [&](View& v) {
    v.tintColorDidChange();
    for (auto& sub : v.subviews_)
      if (!sub->tintColor_) notify(*sub);
  };
  notify(*this);
}

void View::setContentMode(ContentMode mode) {
  KIT_CHECK_MAIN_THREAD();
  contentMode_ = mode;
  setNeedsDisplay();
}

void View::boundsSizeDidChange(Size old) {
  setNeedsLayout();
  if (autoresizesSubviews_) resizeSubviews(old);
  setNeedsDisplay();
}

void View::resizeSubviews(Size old) {
  const Size now = bounds().size;
  const double dw = now.width - old.width, dh = now.height - old.height;
  for (auto& sub : std::vector<Ref<View>>(subviews_)) {
    const unsigned m = sub->autoresizingMask_;
    if (m == AutoresizingNone) continue;
    Rect f = sub->frame();
    auto adjust = [](double& pos, double& length, double delta, double superOld, bool flexLead, bool flexSize,
                     bool flexTrail) {
      const int count = int(flexLead) + int(flexSize) + int(flexTrail);
      if (count == 0 || delta == 0) return;
      const double lead = pos, trail = superOld - pos - length;
      const double total = (flexLead ? lead : 0) + (flexSize ? length : 0) + (flexTrail ? trail : 0);
      auto share = [&](double part) { return total > 0 ? delta * part / total : delta / count; };
      const double leadShare = flexLead ? share(lead) : 0;
      const double sizeShare = flexSize ? share(length) : 0;
      pos += leadShare;
      length += sizeShare;
    };
    adjust(f.origin.x, f.size.width, dw, old.width, m & AutoresizingFlexibleLeftMargin,
           m & AutoresizingFlexibleWidth, m & AutoresizingFlexibleRightMargin);
    adjust(f.origin.y, f.size.height, dh, old.height, m & AutoresizingFlexibleTopMargin,
           m & AutoresizingFlexibleHeight, m & AutoresizingFlexibleBottomMargin);
    sub->setFrame(f);
  }
}

// ---- Hierarchy --------------------------------------------------------------

Ref<View> View::superview() const {
  if (!superview_) return nullptr;
  return std::static_pointer_cast<View>(superview_->weak_from_this().lock());
}

Window* View::windowPointer() const {
  const View* v = this;
  while (v->superview_) v = v->superview_;
  return dynamic_cast<Window*>(const_cast<View*>(v));
}

Ref<Window> View::window() const {
  Window* w = windowPointer();
  if (!w) return nullptr;
  return std::static_pointer_cast<Window>(w->weak_from_this().lock());
}

Ref<View> View::viewWithTag(long tag) {
  if (tag_ == tag) return std::static_pointer_cast<View>(weak_from_this().lock());
  for (auto& sub : subviews_)
    if (auto found = sub->viewWithTag(tag)) return found;
  return nullptr;
}

bool View::isDescendantOfView(const View* view) const {
  for (const View* v = this; v; v = v->superview_)
    if (v == view) return true;
  return false;
}

void View::notifyWindowChange(Window* from, Window* to) {
  (void)from;
  std::function<void(View&)> will = [&](View& v) {
    v.willMoveToWindow(to);
    for (auto& sub : std::vector<Ref<View>>(v.subviews_)) will(*sub);
  };
  will(*this);
}

void View::attachLayerOf(View* view, long index) {
  // Keep the sublayer order of view layers the same as the subview order;
  // other sublayers stay where they are.
  const size_t i = static_cast<size_t>(index);
  if (i + 1 < subviews_.size()) {
    layer_->insertSublayerBelow(view->layer_, subviews_[i + 1]->layer_.get());
  } else if (i > 0) {
    layer_->insertSublayerAbove(view->layer_, subviews_[i - 1]->layer_.get());
  } else {
    layer_->addSublayer(view->layer_);
  }
}

void View::moveSubview(const Ref<View>& view, size_t index) {
  auto it = std::find(subviews_.begin(), subviews_.end(), view);
  if (it == subviews_.end()) return;
  Ref<View> keep = view;
  subviews_.erase(it);
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<long>(index), keep);
  keep->layer_->removeFromSuperlayer();
  attachLayerOf(keep.get(), static_cast<long>(index));
}

void View::insertSubviewAt(const Ref<View>& view, size_t index) {
  KIT_CHECK_MAIN_THREAD();
  if (!view || view.get() == this || isDescendantOfView(view.get())) return;
  Ref<View> keep = view;
  if (view->superview_ == this) {
    moveSubview(view, index);
    return;
  }
  Window* oldWindow = view->windowPointer();
  Window* newWindow = windowPointer();
  view->willMoveToSuperview(this);
  if (oldWindow != newWindow) view->notifyWindowChange(oldWindow, newWindow);
  if (View* old = view->superview_) {
    old->willRemoveSubview(view.get());
    old->subviews_.erase(std::find(old->subviews_.begin(), old->subviews_.end(), view));
  }
  view->layer_->removeFromSuperlayer();
  view->superview_ = this;
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<long>(index), view);
  attachLayerOf(view.get(), static_cast<long>(index));
  if (oldWindow != newWindow) {
    std::function<void(View&)> did = [&](View& v) {
      v.didMoveToWindow();
      if (v.controller_) v.controller_->updateAppearance();
      for (auto& sub : std::vector<Ref<View>>(v.subviews_)) did(*sub);
    };
    did(*view);
  }
  view->didMoveToSuperview();
  didAddSubview(view.get());
  view->setNeedsLayout();
  if (newWindow) {
    std::function<void(View&)> mark = [&](View& v) {
      v.needsLayout_ = true;
      for (auto& sub : v.subviews_) mark(*sub);
    };
    mark(*view);
    view->scheduleLayout();
  }
}

void View::addSubview(const Ref<View>& view) {
  KIT_CHECK_MAIN_THREAD();
  if (view && view->superview_ == this) {
    bringSubviewToFront(view.get());
    return;
  }
  insertSubviewAt(view, subviews_.size());
}

void View::insertSubviewBelow(const Ref<View>& view, const View* sibling) {
  KIT_CHECK_MAIN_THREAD();
  if (!view) return;
  Ref<View> keep = view;
  for (size_t i = 0; i < subviews_.size(); ++i) {
    if (subviews_[i].get() != sibling) continue;
    size_t index = i;
    if (view->superview_ == this) {
      auto it = std::find(subviews_.begin(), subviews_.end(), view);
      if (static_cast<size_t>(it - subviews_.begin()) < i) --index;
    }
    insertSubviewAt(view, index);
    return;
  }
  addSubview(view);
}

void View::insertSubviewAbove(const Ref<View>& view, const View* sibling) {
  KIT_CHECK_MAIN_THREAD();
  if (!view) return;
  Ref<View> keep = view;
  for (size_t i = 0; i < subviews_.size(); ++i) {
    if (subviews_[i].get() != sibling) continue;
    size_t index = i + 1;
    if (view->superview_ == this) {
      auto it = std::find(subviews_.begin(), subviews_.end(), view);
      if (static_cast<size_t>(it - subviews_.begin()) < i) --index;
    }
    insertSubviewAt(view, index);
    return;
  }
  addSubview(view);
}

void View::removeFromSuperview() {
  KIT_CHECK_MAIN_THREAD();
  if (!superview_) return;
  Ref<Object> keep = weak_from_this().lock();
  View* parent = superview_;
  Window* oldWindow = windowPointer();
  if (auto first = as<View>(Responder::currentFirstResponder()); first && first->isDescendantOfView(this)) {
    first->resignFirstResponder();
  }
  parent->willRemoveSubview(this);
  willMoveToSuperview(nullptr);
  if (oldWindow) notifyWindowChange(oldWindow, nullptr);
  auto it = std::find_if(parent->subviews_.begin(), parent->subviews_.end(),
                         [&](const Ref<View>& v) { return v.get() == this; });
  Ref<View> held;
  if (it != parent->subviews_.end()) {
    held = *it;
    parent->subviews_.erase(it);
  }
  layer_->removeFromSuperlayer();
  superview_ = nullptr;
  if (oldWindow) {
    std::function<void(View&)> did = [&](View& v) {
      v.didMoveToWindow();
      if (v.controller_) v.controller_->updateAppearance();
      for (auto& sub : std::vector<Ref<View>>(v.subviews_)) did(*sub);
    };
    did(*this);
  }
  didMoveToSuperview();
}

void View::bringSubviewToFront(const View* view) {
  KIT_CHECK_MAIN_THREAD();
  for (auto& sub : subviews_)
    if (sub.get() == view) return moveSubview(sub, subviews_.size());
}

void View::sendSubviewToBack(const View* view) {
  KIT_CHECK_MAIN_THREAD();
  for (auto& sub : subviews_)
    if (sub.get() == view) return moveSubview(sub, 0);
}

void View::exchangeSubviewAt(size_t first, size_t second) {
  KIT_CHECK_MAIN_THREAD();
  if (first >= subviews_.size() || second >= subviews_.size() || first == second) return;
  std::swap(subviews_[first], subviews_[second]);
  for (size_t i = 0; i < subviews_.size(); ++i) {
    subviews_[i]->layer_->removeFromSuperlayer();
    attachLayerOf(subviews_[i].get(), static_cast<long>(i));
  }
}

// ---- Layout -----------------------------------------------------------------

void View::scheduleLayout() {
  if (Window* w = windowPointer()) w->scheduleLayoutPass();
}

void View::setNeedsLayout() {
  KIT_CHECK_MAIN_THREAD();
  needsLayout_ = true;
  scheduleLayout();
}

void View::layoutIfNeeded() {
  KIT_CHECK_MAIN_THREAD();
  View* root = this;
  for (View* v = superview_; v; v = v->superview_)
    if (v->needsLayout_) root = v;
  Ref<Object> keep = root->weak_from_this().lock();
  root->layoutPass();
}

void View::layoutPass() {
  if (needsUpdateConstraints_) updateConstraintsIfNeeded();
  if (needsLayout_) {
    needsLayout_ = false;
    if (controller_) controller_->viewWillLayoutSubviews();
    layoutSubviews();
    if (controller_) controller_->viewDidLayoutSubviews();
  }
  for (auto& sub : std::vector<Ref<View>>(subviews_)) sub->layoutPass();
}

void View::layoutSubviews() { applyConstraints(); }

void View::layoutSublayersOfLayer(Layer&) {}

void View::updateConstraintsIfNeeded() {
  KIT_CHECK_MAIN_THREAD();
  for (auto& sub : std::vector<Ref<View>>(subviews_))
    if (sub->needsUpdateConstraints_) sub->updateConstraintsIfNeeded();
  if (needsUpdateConstraints_) {
    needsUpdateConstraints_ = false;
    updateConstraints();
  }
}

Size View::sizeThatFits(Size) const { return bounds().size; }

void View::sizeToFit() {
  KIT_CHECK_MAIN_THREAD();
  const Size s = sizeThatFits(bounds().size);
  setFrame({frame().origin, s});
}

void View::invalidateIntrinsicContentSize() {
  KIT_CHECK_MAIN_THREAD();
  if (superview_) superview_->setNeedsLayout();
}

EdgeInsets View::safeAreaInsets() const {
  Window* w = windowPointer();
  if (!w) return {};
  const EdgeInsets windowInsets = w->windowSafeAreaInsets();
  if (w == this) return windowInsets;
  const Rect inWindow = convertRectToView(bounds(), w);
  const Rect wb = w->bounds();
  auto clamp = [](double v, double limit) { return std::clamp(v, 0.0, std::max(0.0, limit)); };
  EdgeInsets e;
  e.top = clamp(windowInsets.top - inWindow.minY(), inWindow.height());
  e.left = clamp(windowInsets.left - inWindow.minX(), inWindow.width());
  e.bottom = clamp(inWindow.maxY() - (wb.maxY() - windowInsets.bottom), inWindow.height());
  e.right = clamp(inWindow.maxX() - (wb.maxX() - windowInsets.right), inWindow.width());
  return e;
}

const Ref<LayoutGuide>& View::safeAreaLayoutGuide() {
  if (!safeAreaGuide_) {
    safeAreaGuide_ = LayoutGuide::make();
    safeAreaGuide_->setOwner(this, LayoutGuide::Kind::SafeArea);
  }
  return safeAreaGuide_;
}

void View::addConstraint(const Ref<LayoutConstraint>& constraint) {
  KIT_CHECK_MAIN_THREAD();
  if (!constraint) return;
  if (std::find(constraints_.begin(), constraints_.end(), constraint) == constraints_.end())
    constraints_.push_back(constraint);
  setNeedsLayout();
}

void View::addConstraints(const std::vector<Ref<LayoutConstraint>>& constraints) {
  KIT_CHECK_MAIN_THREAD();
  for (const auto& c : constraints) addConstraint(c);
}

void View::removeConstraint(const LayoutConstraint* constraint) {
  KIT_CHECK_MAIN_THREAD();
  auto it = std::find_if(constraints_.begin(), constraints_.end(),
                         [&](const Ref<LayoutConstraint>& c) { return c.get() == constraint; });
  if (it != constraints_.end()) constraints_.erase(it);
  setNeedsLayout();
}

void View::removeConstraints(const std::vector<Ref<LayoutConstraint>>& constraints) {
  KIT_CHECK_MAIN_THREAD();
  for (const auto& c : constraints) removeConstraint(c.get());
}

// ---- Coordinates ------------------------------------------------------------

namespace {
const Layer* targetLayer(const View* from, const View* to) {
  if (to) return to->layer().get();
  Window* w = from->windowPointer();
  if (w) return w->layer().get();
  const View* root = from;
  while (root->superview()) root = root->superview().get();
  return root->layer().get();
}
}  // namespace

Point View::convertPointToView(Point p, const View* view) const {
  return layer_->convertPointToLayer(p, targetLayer(this, view));
}

Point View::convertPointFromView(Point p, const View* view) const {
  return targetLayer(this, view)->convertPointToLayer(p, layer_.get());
}

Rect View::convertRectToView(const Rect& r, const View* view) const {
  return layer_->convertRectToLayer(r, targetLayer(this, view));
}

Rect View::convertRectFromView(const Rect& r, const View* view) const {
  return targetLayer(this, view)->convertRectToLayer(r, layer_.get());
}

// ---- Hit testing --------------------------------------------------------------

bool View::pointInside(Point p, const Event*) const { return bounds().contains(p); }

Ref<View> View::hitTest(Point p, const Event* event) {
  if (isHidden() || !userInteractionEnabled_ || alpha() < 0.01) return nullptr;
  if (!pointInside(p, event)) return nullptr;
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    Ref<View> sub = *it;
    const Point local = sub->layer_->convertPointFromLayer(p, layer_.get());
    if (auto hit = sub->hitTest(local, event)) return hit;
  }
  return std::static_pointer_cast<View>(weak_from_this().lock());
}

// ---- Gestures ---------------------------------------------------------------

void View::addGestureRecognizer(const Ref<GestureRecognizer>& recognizer) {
  KIT_CHECK_MAIN_THREAD();
  if (!recognizer) return;
  if (View* old = recognizer->viewPointer(); old && old != this) old->removeGestureRecognizer(recognizer.get());
  if (std::find(recognizers_.begin(), recognizers_.end(), recognizer) == recognizers_.end())
    recognizers_.push_back(recognizer);
  recognizer->attachTo(this);
}

void View::removeGestureRecognizer(const GestureRecognizer* recognizer) {
  KIT_CHECK_MAIN_THREAD();
  auto it = std::find_if(recognizers_.begin(), recognizers_.end(),
                         [&](const Ref<GestureRecognizer>& r) { return r.get() == recognizer; });
  if (it == recognizers_.end()) return;
  Ref<GestureRecognizer> gone = *it;
  recognizers_.erase(it);
  gone->attachTo(nullptr);
}

// ---- Responder --------------------------------------------------------------

Ref<Responder> View::nextResponder() const {
  if (controller_) return std::static_pointer_cast<Responder>(controller_->weak_from_this().lock());
  if (superview_) return std::static_pointer_cast<Responder>(superview_->weak_from_this().lock());
  return nullptr;
}

bool View::endEditing(bool force) {
  KIT_CHECK_MAIN_THREAD();
  auto first = as<View>(Responder::currentFirstResponder());
  if (!first || !first->isDescendantOfView(this)) return true;
  if (first->resignFirstResponder()) return true;
  if (force) {
    // A forced end: the responder goes whether it agrees or not.
    first->Responder::resignFirstResponder();
  }
  return force;
}

// ---- Motion effects -----------------------------------------------------------

Ref<MotionEffect> MotionEffect::interpolating(std::string keyPath, Kind kind, double minimum, double maximum) {
  auto e = kit::make<MotionEffect>();
  e->keyPath = std::move(keyPath);
  e->kind = kind;
  e->minimumRelativeValue = minimum;
  e->maximumRelativeValue = maximum;
  return e;
}

void View::addMotionEffect(const Ref<MotionEffect>& effect) {
  KIT_CHECK_MAIN_THREAD();
  if (effect) motionEffects_.push_back(effect);
}

void View::removeMotionEffect(const MotionEffect* effect) {
  KIT_CHECK_MAIN_THREAD();
  std::erase_if(motionEffects_, [&](const Ref<MotionEffect>& e) { return e.get() == effect; });
}

}  // namespace kit
