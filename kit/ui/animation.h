// Layer animations: basic (from/to/by a value), keyframe, group and
// transition animations with the platform's timing attributes (begin time,
// duration, speed, repeat count or duration, autoreverse, fill mode,
// removal on completion, timing function). Layers keep copies of the
// animations added to them under their keys, report them to tests, evaluate
// them for the presentation values that rendering uses, and tell the
// animation's callbacks when they start and stop on the main run loop.
#pragma once

#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/graphics/color.h"
#include "kit/graphics/geometry.h"
#include "kit/graphics/path.h"
#include "kit/ui/transform3d.h"

namespace kit {

// A value an animation moves between. Empty means "not given".
using AnimationValue = std::variant<std::monostate, double, Point, Size, Rect, Transform3D, Ref<Color>, Ref<Path>>;

inline bool hasValue(const AnimationValue& v) { return !std::holds_alternative<std::monostate>(v); }

// Interpolates between two values of the same kind (colours in RGBA, paths
// by their points when they have the same elements); other pairs jump at
// the half-way point.
AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double fraction);
// a + b for numbers, points, sizes and rectangles; b otherwise.
AnimationValue addValues(const AnimationValue& a, const AnimationValue& b);

// The platform's timing function names.
inline constexpr const char* TimingLinear = "linear";
inline constexpr const char* TimingEaseIn = "easeIn";
inline constexpr const char* TimingEaseOut = "easeOut";
inline constexpr const char* TimingEaseInEaseOut = "easeInEaseOut";
inline constexpr const char* TimingDefault = "default";

// A cubic Bezier timing curve from (0, 0) to (1, 1).
class TimingFunction {
 public:
  TimingFunction() = default;
  TimingFunction(double c1x, double c1y, double c2x, double c2y) : c1x_(c1x), c1y_(c1y), c2x_(c2x), c2y_(c2y) {}
  static TimingFunction named(const std::string& name);
  const std::string& name() const { return name_; }
  // The output progress for an input progress in [0, 1].
  double evaluate(double t) const;

 private:
  std::string name_ = TimingLinear;
  double c1x_ = 0, c1y_ = 0, c2x_ = 1, c2y_ = 1;
};

// What an animation shows outside its active time.
enum class FillMode { Removed, Forwards, Backwards, Both };

class Layer;

class Animation : public Object {
 public:
  Animation() = default;

  // The platform's begin time: 0 means "when added"; a positive value is a
  // time on kit::Clock::now()'s scale.
  double beginTime() const { return beginTime_; }
  void setBeginTime(double t) { beginTime_ = t; }
  double duration() const { return duration_; }
  void setDuration(double d) { duration_ = d; }
  double speed() const { return speed_; }
  void setSpeed(double s) { speed_ = s; }
  double timeOffset() const { return timeOffset_; }
  void setTimeOffset(double t) { timeOffset_ = t; }
  // A count of Forever (or any huge value) repeats without end.
  double repeatCount() const { return repeatCount_; }
  void setRepeatCount(double c) { repeatCount_ = c; }
  double repeatDuration() const { return repeatDuration_; }
  void setRepeatDuration(double d) { repeatDuration_ = d; }
  bool autoreverses() const { return autoreverses_; }
  void setAutoreverses(bool v) { autoreverses_ = v; }
  FillMode fillMode() const { return fillMode_; }
  void setFillMode(FillMode m) { fillMode_ = m; }
  bool isRemovedOnCompletion() const { return removedOnCompletion_; }
  void setRemovedOnCompletion(bool v) { removedOnCompletion_ = v; }
  const TimingFunction& timingFunction() const { return timing_; }
  void setTimingFunction(TimingFunction f) { timing_ = std::move(f); }
  void setTimingFunction(const std::string& name) { timing_ = TimingFunction::named(name); }

  // Called on the main run loop; `finished` is false when the animation was
  // removed or replaced before its end.
  std::function<void(Animation&)> onStart;
  std::function<void(Animation&, bool finished)> onStop;

  // Duration with 0 read as the default of 0.25 seconds.
  double effectiveDuration() const { return duration_ > 0 ? duration_ : 0.25; }
  // The whole active time in seconds of parent time (repeats and reverses
  // included); Forever for an endless animation.
  double activeDuration() const;
  // The local progress in [0, 1] at a parent time since the start, after
  // repeats, reverse and timing; nullopt-like -1 when the animation shows
  // nothing at that time (before its start without backward fill, after its
  // end without forward fill).
  double progressAt(double elapsed) const;

  Id copy() const override;

 protected:
  // Copies the timing attributes into a new animation of the same kind.
  virtual Ref<Animation> clone() const = 0;
  void copyTimingTo(Animation& other) const;

 private:
  double beginTime_ = 0, duration_ = 0, speed_ = 1, timeOffset_ = 0;
  double repeatCount_ = 0, repeatDuration_ = 0;
  bool autoreverses_ = false;
  FillMode fillMode_ = FillMode::Removed;
  bool removedOnCompletion_ = true;
  TimingFunction timing_;
};

// An animation of one key path of a layer ("opacity", "position",
// "transform.scale", "strokeEnd", ...).
class PropertyAnimation : public Animation {
 public:
  const std::string& keyPath() const { return keyPath_; }
  void setKeyPath(std::string k) { keyPath_ = std::move(k); }
  bool isAdditive() const { return additive_; }
  void setAdditive(bool v) { additive_ = v; }
  bool isCumulative() const { return cumulative_; }
  void setCumulative(bool v) { cumulative_ = v; }

  // The value at a local progress, given the layer's model value.
  virtual AnimationValue valueAt(double progress, const AnimationValue& model) const = 0;

 protected:
  void copyPropertyTo(PropertyAnimation& other) const;

 private:
  std::string keyPath_;
  bool additive_ = false, cumulative_ = false;
};

class BasicAnimation : public PropertyAnimation {
 public:
  static Ref<BasicAnimation> withKeyPath(const std::string& keyPath);

  const AnimationValue& fromValue() const { return from_; }
  void setFromValue(AnimationValue v) { from_ = std::move(v); }
  const AnimationValue& toValue() const { return to_; }
  void setToValue(AnimationValue v) { to_ = std::move(v); }
  const AnimationValue& byValue() const { return by_; }
  void setByValue(AnimationValue v) { by_ = std::move(v); }

  AnimationValue valueAt(double progress, const AnimationValue& model) const override;

 protected:
  Ref<Animation> clone() const override;

 private:
  AnimationValue from_, to_, by_;
};

// A basic animation that settles like a damped spring: damping is the
// platform's ratio (1 settles without overshoot), the initial velocity is
// relative to the whole distance per second.
class SpringAnimation : public BasicAnimation {
 public:
  static Ref<SpringAnimation> withKeyPath(const std::string& keyPath);
  double damping() const { return damping_; }
  void setDamping(double d) { damping_ = d; }
  double initialVelocity() const { return velocity_; }
  void setInitialVelocity(double v) { velocity_ = v; }

  AnimationValue valueAt(double progress, const AnimationValue& model) const override;

 protected:
  Ref<Animation> clone() const override;

 private:
  double damping_ = 1, velocity_ = 0;
};

class KeyframeAnimation : public PropertyAnimation {
 public:
  static Ref<KeyframeAnimation> withKeyPath(const std::string& keyPath);

  const std::vector<AnimationValue>& values() const { return values_; }
  void setValues(std::vector<AnimationValue> v) { values_ = std::move(v); }
  // Key times in [0, 1], one per value; empty spreads the values evenly.
  const std::vector<double>& keyTimes() const { return keyTimes_; }
  void setKeyTimes(std::vector<double> t) { keyTimes_ = std::move(t); }

  AnimationValue valueAt(double progress, const AnimationValue& model) const override;

 protected:
  Ref<Animation> clone() const override;

 private:
  std::vector<AnimationValue> values_;
  std::vector<double> keyTimes_;
};

// Several property animations sharing one timeline.
class AnimationGroup : public Animation {
 public:
  static Ref<AnimationGroup> make() { return kit::make<AnimationGroup>(); }
  const std::vector<Ref<PropertyAnimation>>& animations() const { return animations_; }
  void setAnimations(std::vector<Ref<PropertyAnimation>> a) { animations_ = std::move(a); }

 protected:
  Ref<Animation> clone() const override;

 private:
  std::vector<Ref<PropertyAnimation>> animations_;
};

// The platform's transition types and subtypes.
inline constexpr const char* TransitionFade = "fade";
inline constexpr const char* TransitionMoveIn = "moveIn";
inline constexpr const char* TransitionPush = "push";
inline constexpr const char* TransitionReveal = "reveal";
inline constexpr const char* TransitionFromRight = "fromRight";
inline constexpr const char* TransitionFromLeft = "fromLeft";
inline constexpr const char* TransitionFromTop = "fromTop";
inline constexpr const char* TransitionFromBottom = "fromBottom";

// A transition of a layer's whole content; recorded, not drawn.
class Transition : public Animation {
 public:
  static Ref<Transition> make() { return kit::make<Transition>(); }
  const std::string& type() const { return type_; }
  void setType(std::string t) { type_ = std::move(t); }
  const std::string& subtype() const { return subtype_; }
  void setSubtype(std::string s) { subtype_ = std::move(s); }

 protected:
  Ref<Animation> clone() const override;

 private:
  std::string type_ = TransitionFade;
  std::string subtype_;
};

}  // namespace kit
