// Layer geometry, tree, display flags and animation bookkeeping.
#include "kit/ui/layer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/graphics/graphics_context.h"
#include "kit/ui/transaction.h"

namespace kit {

Layer::Layer() : borderColor_(Color::blackColor()) {}

Layer::~Layer() {
  for (auto& sub : sublayers_) sub->superlayer_ = nullptr;
  if (!animations_.empty()) RunLoop::main().cancelPreviousPerformRequests(this);
}

std::string Layer::description() const {
  char buffer[160];
  const Rect f = frame();
  std::snprintf(buffer, sizeof buffer, "; frame = (%g %g; %g %g)>", f.origin.x, f.origin.y, f.size.width,
                f.size.height);
  std::string d = defaultDescription();
  if (!d.empty() && d.back() == '>') d.pop_back();
  return d + buffer;
}

// ---- Geometry ---------------------------------------------------------------

void Layer::setBounds(const Rect& bounds) {
  KIT_CHECK_MAIN_THREAD();
  noteChange();
  const Rect old = bounds_;
  bounds_ = bounds;
  if (old.size != bounds.size) boundsDidChange(old);
}

void Layer::boundsDidChange(const Rect&) {
  needsLayout_ = true;
  if (needsDisplayOnBoundsChange_) needsDisplay_ = true;
}

Point Layer::boundsAnchor() const {
  return {bounds_.origin.x + anchorPoint_.x * bounds_.size.width,
          bounds_.origin.y + anchorPoint_.y * bounds_.size.height};
}

Rect Layer::frame() const {
  const double w = bounds_.size.width, h = bounds_.size.height;
  const double left = -anchorPoint_.x * w, top = -anchorPoint_.y * h;
  if (transform_.isIdentity()) return {position_.x + left, position_.y + top, w, h};
  const Point corners[4] = {{left, top}, {left + w, top}, {left, top + h}, {left + w, top + h}};
  double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
  for (const Point& c : corners) {
    const Point p = transform_.apply(c);
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  return {position_.x + minX, position_.y + minY, maxX - minX, maxY - minY};
}

void Layer::setFrame(const Rect& frame) {
  KIT_CHECK_MAIN_THREAD();
  noteChange();
  const Rect f = frame.standardized();
  setBounds({bounds_.origin, f.size});
  position_ = {f.origin.x + anchorPoint_.x * f.size.width, f.origin.y + anchorPoint_.y * f.size.height};
}

void Layer::setMask(Ref<Layer> mask) {
  KIT_CHECK_MAIN_THREAD();
  noteChange();
  if (mask_) mask_->superlayer_ = nullptr;
  mask_ = std::move(mask);
  if (mask_) {
    mask_->removeFromSuperlayer();
  }
}

// ---- Tree -------------------------------------------------------------------

Ref<Layer> Layer::superlayer() const {
  if (!superlayer_) return nullptr;
  return std::static_pointer_cast<Layer>(superlayer_->weak_from_this().lock());
}

void Layer::detachSublayer(Layer* layer) {
  noteChange();
  auto it = std::find_if(sublayers_.begin(), sublayers_.end(), [&](const Ref<Layer>& l) { return l.get() == layer; });
  if (it != sublayers_.end()) sublayers_.erase(it);
}

void Layer::insertSublayerAt(const Ref<Layer>& layer, size_t index) {
  KIT_CHECK_MAIN_THREAD();
  if (!layer || layer.get() == this) return;
  Ref<Layer> keep = layer;  // the layer may be held only by its old superlayer
  if (layer->superlayer_) layer->superlayer_->detachSublayer(layer.get());
  layer->superlayer_ = this;
  noteChange();
  index = std::min(index, sublayers_.size());
  sublayers_.insert(sublayers_.begin() + static_cast<long>(index), layer);
}

void Layer::addSublayer(const Ref<Layer>& layer) {
  KIT_CHECK_MAIN_THREAD();
  if (layer && layer->superlayer_ == this) {
    detachSublayer(layer.get());
    Ref<Layer> keep = layer;
    sublayers_.push_back(keep);
    return;
  }
  insertSublayerAt(layer, sublayers_.size());
}

void Layer::insertSublayerBelow(const Ref<Layer>& layer, const Layer* sibling) {
  KIT_CHECK_MAIN_THREAD();
  if (!layer) return;
  Ref<Layer> keep = layer;
  if (layer->superlayer_ == this) detachSublayer(layer.get());
  for (size_t i = 0; i < sublayers_.size(); ++i)
    if (sublayers_[i].get() == sibling) return insertSublayerAt(layer, i);
  insertSublayerAt(layer, 0);
}

void Layer::insertSublayerAbove(const Ref<Layer>& layer, const Layer* sibling) {
  KIT_CHECK_MAIN_THREAD();
  if (!layer) return;
  Ref<Layer> keep = layer;
  if (layer->superlayer_ == this) detachSublayer(layer.get());
  for (size_t i = 0; i < sublayers_.size(); ++i)
    if (sublayers_[i].get() == sibling) return insertSublayerAt(layer, i + 1);
  insertSublayerAt(layer, sublayers_.size());
}

void Layer::replaceSublayer(const Layer* old, const Ref<Layer>& replacement) {
  KIT_CHECK_MAIN_THREAD();
  for (size_t i = 0; i < sublayers_.size(); ++i) {
    if (sublayers_[i].get() != old) continue;
    Ref<Layer> gone = sublayers_[i];
    gone->superlayer_ = nullptr;
    noteChange();
    sublayers_.erase(sublayers_.begin() + static_cast<long>(i));
    insertSublayerAt(replacement, i);
    return;
  }
}

void Layer::removeFromSuperlayer() {
  KIT_CHECK_MAIN_THREAD();
  if (!superlayer_) return;
  Layer* parent = superlayer_;
  superlayer_ = nullptr;
  Ref<Layer> keep = std::static_pointer_cast<Layer>(weak_from_this().lock());
  parent->detachSublayer(this);
}

long Layer::indexInSuperlayer() const {
  if (!superlayer_) return -1;
  const auto& list = superlayer_->sublayers_;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].get() == this) return static_cast<long>(i);
  return -1;
}

// ---- Coordinates ------------------------------------------------------------

namespace {

// A point of `layer`'s bounds space in its superlayer's space, and back.
Point toSuper(const Layer& layer, Point p) {
  const Rect& b = layer.bounds();
  const Point anchor{b.origin.x + layer.anchorPoint().x * b.size.width,
                     b.origin.y + layer.anchorPoint().y * b.size.height};
  const Point r = layer.transform().apply(Point{p.x - anchor.x, p.y - anchor.y});
  return {layer.position().x + r.x, layer.position().y + r.y};
}

Point fromSuper(const Layer& layer, Point p) {
  const Rect& b = layer.bounds();
  const Point anchor{b.origin.x + layer.anchorPoint().x * b.size.width,
                     b.origin.y + layer.anchorPoint().y * b.size.height};
  Point r{p.x - layer.position().x, p.y - layer.position().y};
  if (!layer.transform().isIdentity()) r = layer.transform().inverted().apply(r);
  return {r.x + anchor.x, r.y + anchor.y};
}

}  // namespace

Point Layer::convertPointToLayer(Point p, const Layer* to) const {
  // Up to the root, then down to the target.
  const Layer* l = this;
  while (l) {
    if (l == to) return p;
    if (!l->superlayer_) break;
    p = toSuper(*l, p);
    l = l->superlayer_;
  }
  if (!to) return toSuper(*l, p);
  std::vector<const Layer*> chain;
  for (const Layer* t = to; t; t = t->superlayer_) chain.push_back(t);
  if (chain.back() != l) return p;  // different trees: no conversion is possible
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) p = fromSuper(**it, p);
  return p;
}

Point Layer::convertPointFromLayer(Point p, const Layer* from) const {
  if (!from) return fromSuper(*this, p);
  return from->convertPointToLayer(p, this);
}

Rect Layer::convertRectToLayer(const Rect& r, const Layer* to) const {
  const Point corners[4] = {r.origin,
                            {r.maxX(), r.minY()},
                            {r.minX(), r.maxY()},
                            {r.maxX(), r.maxY()}};
  double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
  for (const Point& c : corners) {
    const Point p = convertPointToLayer(c, to);
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  return {minX, minY, maxX - minX, maxY - minY};
}

Ref<Layer> Layer::hitTest(Point p) {
  if (hidden_ || opacity_ <= 0) return nullptr;
  const Point local = fromSuper(*this, p);
  if (masksToBounds_ && !containsPoint(local)) return nullptr;
  for (auto it = sublayers_.rbegin(); it != sublayers_.rend(); ++it)
    if (auto hit = (*it)->hitTest(local)) return hit;
  if (containsPoint(local)) return std::static_pointer_cast<Layer>(shared_from_this());
  return nullptr;
}

// ---- Display and layout -----------------------------------------------------

void Layer::layoutIfNeeded() {
  KIT_CHECK_MAIN_THREAD();
  if (needsLayout_) {
    needsLayout_ = false;
    layoutSublayers();
  }
  for (size_t i = 0; i < sublayers_.size(); ++i) {
    Ref<Layer> sub = sublayers_[i];
    sub->layoutIfNeeded();
  }
}

void Layer::layoutSublayers() {
  if (delegate_) delegate_->layoutSublayersOfLayer(*this);
}

void Layer::drawInContext(GraphicsContext&) {}

bool Layer::drawOwnContent(Canvas& canvas) {
  if (delegate_) return delegate_->drawLayerContent(*this, canvas);
  return false;
}

// ---- Animations -------------------------------------------------------------

void Layer::addAnimation(const Ref<Animation>& animation, const std::string& key) {
  KIT_CHECK_MAIN_THREAD();
  if (!animation) return;
  if (auto property = as<PropertyAnimation>(animation); property && property->keyPath().empty() && key.empty()) {
    return;  // an animation of nothing
  }
  if (!key.empty()) removeAnimationForKey(key);
  Running r;
  r.key = key;
  r.animation = as<Animation>(animation->copy());
  const double now = Clock::now();
  r.start = animation->beginTime() > 0 ? animation->beginTime() : now;
  r.serial = nextSerial_++;
  animations_.push_back(r);
  noteChange();
  Transaction::noteAnimation(r.start + r.animation->activeDuration());

  Ref<Animation> added = r.animation;
  if (added->onStart) {
    Weak<Animation> weak = added;
    RunLoop::main().performAfter(this, "kit.animation.start", nullptr, std::max(0.0, r.start - now), [weak] {
      if (auto a = weak.lock(); a && a->onStart) a->onStart(*a);
    }, {CommonRunLoopModes});
  }
  const double end = r.start + added->activeDuration();
  if (std::isfinite(end)) {
    const uint64_t serial = r.serial;
    RunLoop::main().performAfter(this, "kit.animation." + std::to_string(serial), nullptr,
                                 std::max(0.0, end - now), [this, serial] { finishAnimation(serial); },
                                 {CommonRunLoopModes});
  }
}

void Layer::finishAnimation(uint64_t serial) {
  for (size_t i = 0; i < animations_.size(); ++i) {
    if (animations_[i].serial != serial) continue;
    Running r = animations_[i];
    if (r.animation->isRemovedOnCompletion()) {
      animations_.erase(animations_.begin() + static_cast<long>(i));
      noteChange();
    }
    if (r.animation->onStop) r.animation->onStop(*r.animation, true);
    return;
  }
}

void Layer::stopRunning(Running& r, bool finished) {
  RunLoop::main().cancelPreviousPerformRequests(this, "kit.animation." + std::to_string(r.serial), nullptr);
  if (r.animation->onStop) {
    // Stopping is reported after the current work, as the platform does.
    Ref<Animation> a = r.animation;
    RunLoop::main().perform([a, finished] { a->onStop(*a, finished); });
  }
}

Ref<Animation> Layer::animationForKey(const std::string& key) const {
  if (key.empty()) return nullptr;
  for (const auto& r : animations_)
    if (r.key == key) return r.animation;
  return nullptr;
}

std::vector<std::string> Layer::animationKeys() const {
  std::vector<std::string> keys;
  for (const auto& r : animations_)
    if (!r.key.empty()) keys.push_back(r.key);
  return keys;
}

std::vector<Ref<Animation>> Layer::allAnimations() const {
  std::vector<Ref<Animation>> all;
  for (const auto& r : animations_) all.push_back(r.animation);
  return all;
}

void Layer::removeAnimationForKey(const std::string& key) {
  KIT_CHECK_MAIN_THREAD();
  for (size_t i = 0; i < animations_.size(); ++i) {
    if (animations_[i].key != key || key.empty()) continue;
    Running r = animations_[i];
    animations_.erase(animations_.begin() + static_cast<long>(i));
    noteChange();
    stopRunning(r, false);
    return;
  }
}

void Layer::removeAllAnimations() {
  KIT_CHECK_MAIN_THREAD();
  std::vector<Running> all;
  all.swap(animations_);
  if (!all.empty()) noteChange();
  for (auto& r : all) stopRunning(r, false);
}

AnimationValue Layer::modelValue(const std::string& k) const {
  if (k == "opacity") return opacity_;
  if (k == "position") return position_;
  if (k == "position.x") return position_.x;
  if (k == "position.y") return position_.y;
  if (k == "bounds") return bounds_;
  if (k == "bounds.size") return bounds_.size;
  if (k == "bounds.origin") return bounds_.origin;
  if (k == "bounds.size.width") return bounds_.size.width;
  if (k == "bounds.size.height") return bounds_.size.height;
  if (k == "anchorPoint") return anchorPoint_;
  if (k == "zPosition") return zPosition_;
  if (k == "transform") return transform_;
  if (k == "backgroundColor") return backgroundColor_;
  if (k == "cornerRadius") return cornerRadius_;
  if (k == "borderWidth") return borderWidth_;
  if (k == "borderColor") return borderColor_;
  if (k == "contentsRect") return contentsRect_;
  if (k == "shadowOpacity") return shadowOpacity_;
  if (k == "hidden") return hidden_ ? 1.0 : 0.0;
  return {};
}

void Layer::applyAnimations(const std::string& keyPath, AnimationValue& value, double delay) const {
  if (animations_.empty()) return;
  const double now = Clock::now() - delay;
  for (const auto& r : animations_) {
    auto apply = [&](const PropertyAnimation& p, double progress) {
      if (p.keyPath() == keyPath && progress >= 0) value = p.valueAt(progress, value);
    };
    const double progress = r.animation->progressAt(now - r.start);
    if (progress < 0) continue;
    if (auto p = as<PropertyAnimation>(r.animation)) {
      apply(*p, progress);
    } else if (auto g = as<AnimationGroup>(r.animation)) {
      const double groupTime = (now - r.start) * g->speed() + g->timeOffset();
      double local = std::fmod(std::max(0.0, groupTime), g->effectiveDuration());
      if (g->progressAt(now - r.start) >= 1) local = g->effectiveDuration();
      // A child without its own duration spans the group's.
      for (const auto& child : g->animations())
        apply(*child, child->duration() > 0 ? child->progressAt(local)
                                            : child->timingFunction().evaluate(local / g->effectiveDuration()));
    }
  }
}

AnimationValue Layer::presentationValue(const std::string& keyPath, double delay) const {
  AnimationValue v = modelValue(keyPath);
  if (keyPath == "transform") return presentationTransform(delay);
  applyAnimations(keyPath, v, delay);
  return v;
}

double Layer::presentationDouble(const std::string& keyPath, double delay) const {
  const AnimationValue v = presentationValue(keyPath, delay);
  if (auto d = std::get_if<double>(&v)) return *d;
  return 0;
}

Transform3D Layer::presentationTransform(double delay) const {
  AnimationValue whole = transform_;
  applyAnimations("transform", whole, delay);
  Transform3D base = std::holds_alternative<Transform3D>(whole) ? std::get<Transform3D>(whole) : transform_;
  if (animations_.empty()) return base;

  // Split the plane part into scale, rotation and translation, let the
  // component animations replace their parts, and put it back together.
  const AffineTransform a = base.affine();
  double sx = std::sqrt(a.a * a.a + a.b * a.b);
  double rotation = 0, sy;
  if (sx != 0) {
    rotation = std::atan2(a.b, a.a);
    sy = (a.a * a.d - a.b * a.c) / sx;
  } else {
    sy = std::sqrt(a.c * a.c + a.d * a.d);
    if (sy != 0) rotation = std::atan2(-a.c, a.d);
  }
  double tx = a.tx, ty = a.ty;
  bool changed = false;
  auto component = [&](const char* key, double& target) {
    AnimationValue v = target;
    applyAnimations(key, v, delay);
    if (auto d = std::get_if<double>(&v); d && *d != target) {
      target = *d;
      changed = true;
    }
  };
  double uniform = sx;
  AnimationValue scaleValue = uniform;
  applyAnimations("transform.scale", scaleValue, delay);
  if (auto d = std::get_if<double>(&scaleValue); d && (*d != sx || *d != sy)) {
    // "transform.scale" from its model value only counts when animated.
    bool animated = false;
    for (const auto& r : animations_) {
      if (auto p = as<PropertyAnimation>(r.animation); p && p->keyPath() == "transform.scale") animated = true;
      if (auto g = as<AnimationGroup>(r.animation))
        for (const auto& c : g->animations())
          if (c->keyPath() == "transform.scale") animated = true;
    }
    if (animated) {
      sx = sy = *d;
      changed = true;
    }
  }
  component("transform.scale.x", sx);
  component("transform.scale.y", sy);
  component("transform.rotation", rotation);
  component("transform.rotation.z", rotation);
  component("transform.translation.x", tx);
  component("transform.translation.y", ty);
  if (!changed) return base;
  return Transform3D::makeScale(sx, sy, 1)
      .concat(Transform3D::makeRotation(rotation, 0, 0, 1))
      .concat(Transform3D::makeTranslation(tx, ty, 0));
}

}  // namespace kit
