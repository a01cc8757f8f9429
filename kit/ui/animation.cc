// Timing, interpolation and copying of layer animations.
#include "kit/ui/animation.h"

#include <algorithm>
#include <cmath>

namespace kit {

namespace {

double lerp(double a, double b, double f) { return a + (b - a) * f; }

Ref<Color> lerpColor(const Ref<Color>& a, const Ref<Color>& b, double f) {
  if (!a || !b) return f < 0.5 ? a : b;
  const RGBA x = a->rgbaComponents(), y = b->rgbaComponents();
  return Color::rgba(lerp(x.red, y.red, f), lerp(x.green, y.green, f), lerp(x.blue, y.blue, f),
                     lerp(x.alpha, y.alpha, f));
}

Ref<Path> lerpPath(const Ref<Path>& a, const Ref<Path>& b, double f) {
  if (!a || !b || a->elements().size() != b->elements().size()) return f < 0.5 ? a : b;
  auto out = Path::create();
  const auto& ea = a->elements();
  const auto& eb = b->elements();
  for (size_t i = 0; i < ea.size(); ++i) {
    if (ea[i].type != eb[i].type) return f < 0.5 ? a : b;
    auto at = [&](int k) {
      return Point{lerp(ea[i].points[k].x, eb[i].points[k].x, f), lerp(ea[i].points[k].y, eb[i].points[k].y, f)};
    };
    switch (ea[i].type) {
      case Path::ElementType::MoveTo: out->moveTo(at(0)); break;
      case Path::ElementType::LineTo: out->lineTo(at(0)); break;
      case Path::ElementType::QuadCurveTo: out->quadCurveTo(at(0), at(1)); break;
      case Path::ElementType::CurveTo: out->curveTo(at(0), at(1), at(2)); break;
      case Path::ElementType::Close: out->close(); break;
    }
  }
  return out;
}

}  // namespace

AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double f) {
  if (from.index() != to.index()) return f < 0.5 ? from : to;
  if (auto a = std::get_if<double>(&from)) return lerp(*a, std::get<double>(to), f);
  if (auto a = std::get_if<Point>(&from)) {
    const Point b = std::get<Point>(to);
    return Point{lerp(a->x, b.x, f), lerp(a->y, b.y, f)};
  }
  if (auto a = std::get_if<Size>(&from)) {
    const Size b = std::get<Size>(to);
    return Size{lerp(a->width, b.width, f), lerp(a->height, b.height, f)};
  }
  if (auto a = std::get_if<Rect>(&from)) {
    const Rect b = std::get<Rect>(to);
    return Rect{lerp(a->origin.x, b.origin.x, f), lerp(a->origin.y, b.origin.y, f),
                lerp(a->size.width, b.size.width, f), lerp(a->size.height, b.size.height, f)};
  }
  if (auto a = std::get_if<Transform3D>(&from)) {
    const Transform3D b = std::get<Transform3D>(to);
    Transform3D r;
    const double* pa = &a->m11;
    const double* pb = &b.m11;
    double* pr = &r.m11;
    for (int i = 0; i < 16; ++i) pr[i] = lerp(pa[i], pb[i], f);
    return r;
  }
  if (auto a = std::get_if<Ref<Color>>(&from)) return lerpColor(*a, std::get<Ref<Color>>(to), f);
  if (auto a = std::get_if<Ref<Path>>(&from)) return lerpPath(*a, std::get<Ref<Path>>(to), f);
  return f < 0.5 ? from : to;
}

AnimationValue addValues(const AnimationValue& a, const AnimationValue& b) {
  if (a.index() != b.index()) return b;
  if (auto x = std::get_if<double>(&a)) return *x + std::get<double>(b);
  if (auto x = std::get_if<Point>(&a)) {
    const Point y = std::get<Point>(b);
    return Point{x->x + y.x, x->y + y.y};
  }
  if (auto x = std::get_if<Size>(&a)) {
    const Size y = std::get<Size>(b);
    return Size{x->width + y.width, x->height + y.height};
  }
  if (auto x = std::get_if<Rect>(&a)) {
    const Rect y = std::get<Rect>(b);
    return Rect{x->origin.x + y.origin.x, x->origin.y + y.origin.y, x->size.width + y.size.width,
                x->size.height + y.size.height};
  }
  if (auto x = std::get_if<Transform3D>(&a)) return std::get<Transform3D>(b).concat(*x);
  return b;
}

// ---- Timing functions -------------------------------------------------------

TimingFunction TimingFunction::named(const std::string& name) {
  TimingFunction f;
  if (name == TimingEaseIn) f = TimingFunction(0.42, 0, 1, 1);
  else if (name == TimingEaseOut) f = TimingFunction(0, 0, 0.58, 1);
  else if (name == TimingEaseInEaseOut) f = TimingFunction(0.42, 0, 0.58, 1);
  else if (name == TimingDefault) f = TimingFunction(0.25, 0.1, 0.25, 1);
  f.name_ = name == TimingEaseIn || name == TimingEaseOut || name == TimingEaseInEaseOut || name == TimingDefault
                ? name
                : std::string(TimingLinear);
  return f;
}

double TimingFunction::evaluate(double t) const {
  if (t <= 0) return 0;
  if (t >= 1) return 1;
  if (c1x_ == c1y_ && c2x_ == c2y_) return t;  // a straight line
  auto bezier = [](double p1, double p2, double s) {
    const double u = 1 - s;
    return 3 * u * u * s * p1 + 3 * u * s * s * p2 + s * s * s;
  };
  // Solve x(s) = t for s by bisection (x is monotonic for valid curves).
  double lo = 0, hi = 1, s = t;
  for (int i = 0; i < 50; ++i) {
    s = (lo + hi) / 2;
    const double x = bezier(c1x_, c2x_, s);
    if (std::fabs(x - t) < 1e-7) break;
    if (x < t) lo = s;
    else hi = s;
  }
  return bezier(c1y_, c2y_, s);
}

// ---- Animation --------------------------------------------------------------

double Animation::activeDuration() const {
  const double cycle = effectiveDuration() * (autoreverses_ ? 2 : 1);
  double local;
  if (repeatDuration_ > 0) local = repeatDuration_;
  else if (repeatCount_ > 0) local = repeatCount_ >= 1e30 ? HUGE_VAL : repeatCount_ * cycle;
  else local = cycle;
  const double s = speed_ > 0 ? speed_ : 1;
  return local / s;
}

double Animation::progressAt(double elapsed) const {
  const double s = speed_ > 0 ? speed_ : 1;
  const double local = elapsed * s + timeOffset_;
  const double d = effectiveDuration();
  const double cycle = d * (autoreverses_ ? 2 : 1);
  const double total = activeDuration() * s;
  auto phase = [&](double t) {
    double within = std::fmod(t, cycle);
    if (within < 0) within += cycle;
    if (autoreverses_ && within > d) within = cycle - within;
    return timing_.evaluate(within / d);
  };
  if (local < 0) {
    if (fillMode_ == FillMode::Backwards || fillMode_ == FillMode::Both) return timing_.evaluate(0);
    return -1;
  }
  if (local >= total) {
    if (fillMode_ != FillMode::Forwards && fillMode_ != FillMode::Both) return -1;
    if (autoreverses_) return timing_.evaluate(0);
    const double cycles = total / cycle;
    const double fraction = cycles - std::floor(cycles);
    return fraction == 0 ? timing_.evaluate(1) : phase(total);
  }
  return phase(local);
}

void Animation::copyTimingTo(Animation& o) const {
  o.beginTime_ = beginTime_;
  o.duration_ = duration_;
  o.speed_ = speed_;
  o.timeOffset_ = timeOffset_;
  o.repeatCount_ = repeatCount_;
  o.repeatDuration_ = repeatDuration_;
  o.autoreverses_ = autoreverses_;
  o.fillMode_ = fillMode_;
  o.removedOnCompletion_ = removedOnCompletion_;
  o.timing_ = timing_;
  o.onStart = onStart;
  o.onStop = onStop;
}

Id Animation::copy() const { return clone(); }

void PropertyAnimation::copyPropertyTo(PropertyAnimation& o) const {
  copyTimingTo(o);
  o.keyPath_ = keyPath_;
  o.additive_ = additive_;
  o.cumulative_ = cumulative_;
}

// ---- Basic ------------------------------------------------------------------

Ref<BasicAnimation> BasicAnimation::withKeyPath(const std::string& keyPath) {
  auto a = kit::make<BasicAnimation>();
  a->setKeyPath(keyPath);
  return a;
}

AnimationValue BasicAnimation::valueAt(double progress, const AnimationValue& model) const {
  AnimationValue from, to;
  if (hasValue(from_) && hasValue(to_)) {
    from = from_;
    to = to_;
  } else if (hasValue(from_) && hasValue(by_)) {
    from = from_;
    to = addValues(from_, by_);
  } else if (hasValue(from_)) {
    from = from_;
    to = model;
  } else if (hasValue(to_)) {
    from = model;
    to = to_;
  } else if (hasValue(by_)) {
    from = model;
    to = addValues(model, by_);
  } else {
    return model;
  }
  AnimationValue v = interpolate(from, to, progress);
  return isAdditive() ? addValues(model, v) : v;
}

Ref<Animation> BasicAnimation::clone() const {
  auto a = kit::make<BasicAnimation>();
  copyPropertyTo(*a);
  a->from_ = from_;
  a->to_ = to_;
  a->by_ = by_;
  return a;
}

// ---- Spring -----------------------------------------------------------------

Ref<SpringAnimation> SpringAnimation::withKeyPath(const std::string& keyPath) {
  auto a = kit::make<SpringAnimation>();
  a->setKeyPath(keyPath);
  return a;
}

AnimationValue SpringAnimation::valueAt(double progress, const AnimationValue& model) const {
  // A damped oscillator normalised so that it has settled at progress 1.
  const double zeta = std::clamp(damping_, 0.05, 1.0);
  const double omega = 10.0;
  const double t = progress;
  double p;
  if (zeta >= 1) {
    p = 1 - (1 + (omega - velocity_) * t) * std::exp(-omega * t);
  } else {
    const double wd = omega * std::sqrt(1 - zeta * zeta);
    p = 1 - std::exp(-zeta * omega * t) *
                (std::cos(wd * t) + ((zeta * omega - velocity_) / wd) * std::sin(wd * t));
  }
  if (progress >= 1) p = 1;
  return BasicAnimation::valueAt(p, model);
}

Ref<Animation> SpringAnimation::clone() const {
  auto a = kit::make<SpringAnimation>();
  a->setFromValue(fromValue());
  a->setToValue(toValue());
  a->setByValue(byValue());
  copyPropertyTo(*a);
  a->damping_ = damping_;
  a->velocity_ = velocity_;
  return a;
}

// ---- Keyframe ---------------------------------------------------------------

Ref<KeyframeAnimation> KeyframeAnimation::withKeyPath(const std::string& keyPath) {
  auto a = kit::make<KeyframeAnimation>();
  a->setKeyPath(keyPath);
  return a;
}

AnimationValue KeyframeAnimation::valueAt(double progress, const AnimationValue& model) const {
  if (values_.empty()) return model;
  if (values_.size() == 1) return values_[0];
  const size_t n = values_.size();
  auto timeOf = [&](size_t i) {
    return keyTimes_.size() == n ? keyTimes_[i] : static_cast<double>(i) / static_cast<double>(n - 1);
  };
  if (progress <= timeOf(0)) return values_[0];
  for (size_t i = 1; i < n; ++i) {
    const double t0 = timeOf(i - 1), t1 = timeOf(i);
    if (progress <= t1) {
      const double f = t1 > t0 ? (progress - t0) / (t1 - t0) : 1;
      AnimationValue v = interpolate(values_[i - 1], values_[i], f);
      return isAdditive() ? addValues(model, v) : v;
    }
  }
  return values_.back();
}

Ref<Animation> KeyframeAnimation::clone() const {
  auto a = kit::make<KeyframeAnimation>();
  copyPropertyTo(*a);
  a->values_ = values_;
  a->keyTimes_ = keyTimes_;
  return a;
}

Ref<Animation> AnimationGroup::clone() const {
  auto a = kit::make<AnimationGroup>();
  copyTimingTo(*a);
  for (const auto& child : animations_) a->animations_.push_back(as<PropertyAnimation>(child->copy()));
  return a;
}

Ref<Animation> Transition::clone() const {
  auto a = kit::make<Transition>();
  copyTimingTo(*a);
  a->type_ = type_;
  a->subtype_ = subtype_;
  return a;
}

}  // namespace kit
