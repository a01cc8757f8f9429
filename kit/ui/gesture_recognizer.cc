// Gesture recognizer states, actions and the tap, pan and long-press rules.
#include "kit/ui/gesture_recognizer.h"

#include <algorithm>
#include <cmath>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/timer.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/touch_dispatcher.h"
#include "kit/ui/view.h"
#include "kit/ui/window.h"

namespace kit {

namespace {
double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }
}  // namespace

GestureRecognizer::GestureRecognizer(Action action) {
  if (action) actions_.push_back(std::move(action));
}

GestureRecognizer::~GestureRecognizer() = default;

void GestureRecognizer::addAction(Action action) {
  if (action) actions_.push_back(std::move(action));
}

void GestureRecognizer::setEnabled(bool v) {
  enabled_ = v;
  if (!v && (state_ == GestureRecognizerState::Began || state_ == GestureRecognizerState::Changed)) {
    setState(GestureRecognizerState::Cancelled);
  }
}

Ref<View> GestureRecognizer::view() const {
  if (!view_) return nullptr;
  return std::static_pointer_cast<View>(view_->weak_from_this().lock());
}

Point GestureRecognizer::locationInView(const View* view) const {
  if (touches_.empty()) return {};
  double x = 0, y = 0;
  for (const auto& t : touches_) {
    const Point p = t->locationInView(view);
    x += p.x;
    y += p.y;
  }
  const double n = static_cast<double>(touches_.size());
  return {x / n, y / n};
}

Point GestureRecognizer::locationOfTouch(size_t index, const View* view) const {
  return index < touches_.size() ? touches_[index]->locationInView(view) : Point{};
}

void GestureRecognizer::setState(GestureRecognizerState state) {
  const bool recognizing = state == GestureRecognizerState::Began || state == GestureRecognizerState::Ended;
  if (recognizing && state_ == GestureRecognizerState::Possible) {
    bool allowed = true;
    for (auto& weak : mustFail_)
      if (auto other = weak.lock(); other && other->state_ != GestureRecognizerState::Failed) allowed = false;
    if (auto d = delegate.lock(); allowed && d) allowed = d->gestureRecognizerShouldBegin(*this);
    if (allowed && view_) {
      // The touched view may refuse recognizers of its ancestors (a button
      // keeps a tap for itself).
      for (const auto& t : touches_)
        if (auto touched = t->view(); touched && !touched->gestureRecognizerShouldBegin(*this)) allowed = false;
    }
    // The recognizer's own view may refuse it too (a scroll view refuses
    // a pan along an axis it cannot scroll).
    if (allowed && view_ && std::none_of(touches_.begin(), touches_.end(), [&](const Ref<Touch>& t) {
          return t->view().get() == view_;
        }))
      allowed = view_->gestureRecognizerShouldBegin(*this);
    if (allowed && arena_) allowed = arena_->mayRecognize(*this);
    if (!allowed) {
      assignState(GestureRecognizerState::Failed);
      return;
    }
    if (arena_ && !arena_->winner) {
      arena_->winner = this;
      arena_->failOthers();
    }
  }
  Ref<Object> keep = weak_from_this().lock();
  assignState(state);
  if (state == GestureRecognizerState::Failed || state == GestureRecognizerState::Possible) return;
  for (auto& action : std::vector<Action>(actions_)) action(*this);
}

void GestureRecognizer::touchesBegan(const TouchSet& touches, const Event&) {
  for (const auto& t : touches) touches_.push_back(t);
}

void GestureRecognizer::touchesMoved(const TouchSet&, const Event&) {}

void GestureRecognizer::touchesEnded(const TouchSet&, const Event&) {}

void GestureRecognizer::touchesCancelled(const TouchSet&, const Event&) {
  if (state_ == GestureRecognizerState::Began || state_ == GestureRecognizerState::Changed)
    setState(GestureRecognizerState::Cancelled);
  else if (state_ == GestureRecognizerState::Possible)
    assignState(GestureRecognizerState::Failed);
}

void GestureRecognizer::assignState(GestureRecognizerState state) {
  const GestureRecognizerState old = state_;
  state_ = state;
  if (old != state) observers_.notify("state", static_cast<long>(old), static_cast<long>(state));
}

void GestureRecognizer::reset() {
  assignState(GestureRecognizerState::Possible);
  touches_.clear();
  arena_ = nullptr;
}

// ---- Tap ------------------------------------------------------------------------

void TapGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesBegan(touches, event);
  if (!touches.empty()) start_ = touches.front()->windowLocation();
  // Taps of a multi-tap gesture must follow each other within 0.35 s.
  if (lastEnd_ >= 0 && Clock::now() - lastEnd_ > 0.35) taps_ = 0;
}

void TapGestureRecognizer::touchesMoved(const TouchSet& touches, const Event&) {
  if (state() != GestureRecognizerState::Possible) return;
  for (const auto& t : touches)
    if (distance(t->windowLocation(), start_) > AllowableMovement) setState(GestureRecognizerState::Failed);
}

void TapGestureRecognizer::touchesEnded(const TouchSet& touches, const Event&) {
  if (state() != GestureRecognizerState::Possible) return;
  for (const auto& t : touches)
    if (distance(t->windowLocation(), start_) > AllowableMovement) {
      setState(GestureRecognizerState::Failed);
      return;
    }
  if (static_cast<int>(numberOfTouches()) < numberOfTouchesRequired) {
    setState(GestureRecognizerState::Failed);
    return;
  }
  ++taps_;
  lastEnd_ = Clock::now();
  if (taps_ >= numberOfTapsRequired) {
    taps_ = 0;
    setState(GestureRecognizerStateRecognized);
  }
}

void TapGestureRecognizer::reset() {
  GestureRecognizer::reset();
  if (taps_ == 0) lastEnd_ = -1;
}

// ---- Pan ------------------------------------------------------------------------

void PanGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesBegan(touches, event);
  if (!touches.empty()) start_ = lastPoint_ = touches.front()->windowLocation();
  lastTime_ = Clock::now();
  offset_ = {};
  velocity_ = {};
}

void PanGestureRecognizer::touchesMoved(const TouchSet& touches, const Event&) {
  if (touches.empty()) return;
  const Point p = touches.front()->windowLocation();
  const double now = Clock::now();
  // Touches arrive at most once a frame, so a move is spread over at least
  // one frame; a finger that stays put has no velocity.
  const double dt = std::max(now - lastTime_, 1.0 / 60);
  velocity_ = {(p.x - lastPoint_.x) / dt, (p.y - lastPoint_.y) / dt};
  lastPoint_ = p;
  lastTime_ = now;
  if (state() == GestureRecognizerState::Possible) {
    if (numberOfTouches() < minimumNumberOfTouches || numberOfTouches() > maximumNumberOfTouches) return;
    if (distance(p, start_) >= Hysteresis) setState(GestureRecognizerState::Began);
  } else if (state() == GestureRecognizerState::Began || state() == GestureRecognizerState::Changed) {
    setState(GestureRecognizerState::Changed);
  }
}

void PanGestureRecognizer::touchesEnded(const TouchSet&, const Event&) {
  if (state() == GestureRecognizerState::Began || state() == GestureRecognizerState::Changed)
    setState(GestureRecognizerState::Ended);
  else if (state() == GestureRecognizerState::Possible)
    setState(GestureRecognizerState::Failed);
}

void PanGestureRecognizer::touchesCancelled(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesCancelled(touches, event);
}

void PanGestureRecognizer::reset() {
  GestureRecognizer::reset();
  offset_ = {};
}

Point PanGestureRecognizer::translationInView(const View* view) const {
  const Point now{lastPoint_.x - offset_.x, lastPoint_.y - offset_.y};
  if (!view) return {now.x - start_.x, now.y - start_.y};
  const Point a = view->convertPointFromView(start_, nullptr);
  const Point b = view->convertPointFromView(now, nullptr);
  return {b.x - a.x, b.y - a.y};
}

void PanGestureRecognizer::setTranslation(Point translation, const View*) {
  // The next reading starts from `translation` (given in window units).
  offset_ = {lastPoint_.x - start_.x - translation.x, lastPoint_.y - start_.y - translation.y};
}

Point PanGestureRecognizer::velocityInView(const View*) const { return velocity_; }

// ---- Long press -----------------------------------------------------------------

LongPressGestureRecognizer::~LongPressGestureRecognizer() { cancelTimer(); }

void LongPressGestureRecognizer::cancelTimer() {
  if (timer_) timer_->invalidate();
  timer_.reset();
}

void LongPressGestureRecognizer::touchesBegan(const TouchSet& touches, const Event& event) {
  GestureRecognizer::touchesBegan(touches, event);
  if (!touches.empty()) start_ = touches.front()->windowLocation();
  cancelTimer();
  Weak<LongPressGestureRecognizer> weak = std::static_pointer_cast<LongPressGestureRecognizer>(weak_from_this().lock());
  timer_ = runOnMainAfter(minimumPressDuration, [weak] {
    if (auto self = weak.lock(); self && self->state() == GestureRecognizerState::Possible && self->numberOfTouches())
      self->setState(GestureRecognizerState::Began);
  });
}

void LongPressGestureRecognizer::touchesMoved(const TouchSet& touches, const Event&) {
  if (touches.empty()) return;
  if (state() == GestureRecognizerState::Possible) {
    if (distance(touches.front()->windowLocation(), start_) > allowableMovement) {
      cancelTimer();
      setState(GestureRecognizerState::Failed);
    }
  } else if (state() == GestureRecognizerState::Began || state() == GestureRecognizerState::Changed) {
    setState(GestureRecognizerState::Changed);
  }
}

void LongPressGestureRecognizer::touchesEnded(const TouchSet&, const Event&) {
  cancelTimer();
  if (state() == GestureRecognizerState::Began || state() == GestureRecognizerState::Changed)
    setState(GestureRecognizerState::Ended);
  else if (state() == GestureRecognizerState::Possible)
    setState(GestureRecognizerState::Failed);
}

void LongPressGestureRecognizer::touchesCancelled(const TouchSet& touches, const Event& event) {
  cancelTimer();
  GestureRecognizer::touchesCancelled(touches, event);
}

void LongPressGestureRecognizer::reset() {
  cancelTimer();
  GestureRecognizer::reset();
}

}  // namespace kit
