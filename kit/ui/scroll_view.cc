// Scroll views: offset and insets, dragging by the pan recognizer, and the
// settling steps (spring-back, deceleration, paging, animated offsets) on
// main run loop timers.
#include "kit/ui/scroll_view.h"

#include <algorithm>
#include <cmath>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/ui/window.h"

namespace kit {

namespace {

constexpr double kFrameInterval = 1.0 / 60;
// Release speeds below this (points per second) do not fling or turn a page.
constexpr double kFlingThreshold = 250;

double easeOut(double t) { return 1 - (1 - t) * (1 - t) * (1 - t); }

ObservedValue box(Point p) { return p; }

}  // namespace

struct ScrollView::OffsetAnimation {
  Point from, to;
  double start = 0, duration = 0;
  Ref<Timer> timer, end;
  std::function<void(ScrollView&)> done;
};

ScrollView::ScrollView(const Rect& frame) : View(frame) {
  setClipsToBounds(true);
  pan_ = PanGestureRecognizer::make();
  pan_->setName("scroll pan");
  addGestureRecognizer(pan_);
  // The recognizer's action holds the view weakly (the view owns it).
  ScrollView* raw = this;
  pan_->addAction([raw](GestureRecognizer& g) {
    if (g.viewPointer() == raw) raw->handlePan(static_cast<PanGestureRecognizer&>(g));
  });
}

ScrollView::~ScrollView() { cancelAnimation(); }

// ---- Geometry ---------------------------------------------------------------

void ScrollView::applyOffset(Point offset) {
  const Point old = contentOffset();
  if (old == offset) return;
  Rect b = bounds();
  b.origin = offset;
  setBounds(b);
  Ref<Object> keep = weak_from_this().lock();
  contentOffsetDidChange();
  observers_.notify("contentOffset", box(old), box(offset));
  if (auto d = delegate()) d->scrollViewDidScroll(*this);
}

void ScrollView::setContentOffset(Point offset) {
  // An offset set from outside ends any settling where it puts the content
  // (a refresh header holding the list open while it springs back).
  cancelAnimation();
  applyOffset(offset);
  if (decelerating_) finishDeceleration();
}

void ScrollView::setContentOffset(Point offset, bool animated) {
  if (!animated) {
    setContentOffset(offset);
    return;
  }
  animateOffset(offset, AnimationDuration, [](ScrollView& self) {
    if (auto d = self.delegate()) d->scrollViewDidEndScrollingAnimation(self);
  });
}

void ScrollView::setContentSize(Size size) {
  const Size old = contentSize_;
  if (old == size) return;
  contentSize_ = size;
  Ref<Object> keep = weak_from_this().lock();
  contentSizeDidChange();
  observers_.notify("contentSize", old, size);
}

void ScrollView::setContentInset(const EdgeInsets& inset) {
  const EdgeInsets old = contentInset_;
  if (old == inset) return;
  contentInset_ = inset;
  observers_.notify("contentInset", old, inset);
  const EdgeInsets adjusted = adjustedContentInset();
  if (adjusted != lastAdjustedInset_) {
    lastAdjustedInset_ = adjusted;
    if (auto d = delegate()) d->scrollViewDidChangeAdjustedContentInset(*this);
  }
}

void ScrollView::setContentInsetAdjustmentBehavior(ScrollViewContentInsetAdjustmentBehavior b) {
  adjustment_ = b;
  safeAreaInsetsDidChange();
}

EdgeInsets ScrollView::adjustedContentInset() const {
  EdgeInsets e = contentInset_;
  if (adjustment_ == ScrollViewContentInsetAdjustmentBehavior::Never) return e;
  const EdgeInsets safe = safeAreaInsets();
  const bool always = adjustment_ == ScrollViewContentInsetAdjustmentBehavior::Always;
  const bool automatic = adjustment_ == ScrollViewContentInsetAdjustmentBehavior::Automatic;
  // Automatic adjusts the vertical edges always, as a scroll view filling a
  // controller's view does; scrollable-axes only the axes that scroll.
  if (always || automatic || scrollsAlong(1)) {
    e.top += safe.top;
    e.bottom += safe.bottom;
  }
  if (always || scrollsAlong(0)) {
    e.left += safe.left;
    e.right += safe.right;
  }
  return e;
}

Point ScrollView::minimumContentOffset() const {
  const EdgeInsets e = adjustedContentInset();
  return {-e.left, -e.top};
}

Point ScrollView::maximumContentOffset() const {
  const EdgeInsets e = adjustedContentInset();
  const Size b = bounds().size;
  const Point lo = minimumContentOffset();
  return {std::max(lo.x, contentSize_.width + e.right - b.width),
          std::max(lo.y, contentSize_.height + e.bottom - b.height)};
}

Point ScrollView::clampedOffset(Point p) const {
  const Point lo = minimumContentOffset(), hi = maximumContentOffset();
  return {std::clamp(p.x, lo.x, hi.x), std::clamp(p.y, lo.y, hi.y)};
}

bool ScrollView::scrollsAlong(int axis) const {
  const EdgeInsets e = contentInset_;
  const Size b = bounds().size;
  if (axis == 0) return contentSize_.width + e.left + e.right > b.width;
  return contentSize_.height + e.top + e.bottom > b.height;
}

void ScrollView::scrollRectToVisible(const Rect& rect, bool animated) {
  const Rect visible = bounds();
  Point target = visible.origin;
  if (rect.maxX() > visible.maxX()) target.x = rect.maxX() - visible.width();
  if (rect.minX() < target.x) target.x = rect.minX();
  if (rect.maxY() > visible.maxY()) target.y = rect.maxY() - visible.height();
  if (rect.minY() < target.y) target.y = rect.minY();
  target = clampedOffset(target);
  if (target == visible.origin) return;
  setContentOffset(target, animated);
}

void ScrollView::boundsSizeDidChange(Size old) {
  View::boundsSizeDidChange(old);
  setNeedsLayout();
}

void ScrollView::safeAreaInsetsDidChange() {
  const EdgeInsets adjusted = adjustedContentInset();
  if (adjusted == lastAdjustedInset_) return;
  lastAdjustedInset_ = adjusted;
  if (auto d = delegate()) d->scrollViewDidChangeAdjustedContentInset(*this);
}

// ---- Animation steps ------------------------------------------------------------

void ScrollView::animateOffset(Point target, double duration, std::function<void(ScrollView&)> done) {
  cancelAnimation();
  auto animation = std::make_shared<OffsetAnimation>();
  animation->from = contentOffset();
  animation->to = target;
  animation->start = Clock::now();
  animation->duration = duration;
  animation->done = std::move(done);
  animation_ = animation;
  Weak<ScrollView> weak = std::static_pointer_cast<ScrollView>(weak_from_this().lock());
  std::weak_ptr<OffsetAnimation> weakAnimation = animation;
  // One step a frame; the last step is a timer of its own at the end, so
  // that the animation ends when its duration has passed. It is set a
  // nanosecond early: clock time advanced in parts that add up to the
  // duration can fall short of it by a rounding step.
  auto step = [weak, weakAnimation](bool last) {
    auto self = weak.lock();
    auto running = weakAnimation.lock();
    if (!self || !running || self->animation_ != running) return;
    const double t = std::clamp((Clock::now() - running->start) / running->duration, 0.0, 1.0);
    if (last || t >= 1) {
      self->cancelAnimation();
      self->applyOffset(running->to);
      if (running->done) running->done(*self);
      return;
    }
    const double f = easeOut(t);
    self->applyOffset({running->from.x + (running->to.x - running->from.x) * f,
                       running->from.y + (running->to.y - running->from.y) * f});
  };
  animation->timer = Timer::create(kFrameInterval, true, [step](Timer&) { step(false); });
  animation->end = Timer::create(std::max(0.0, duration - 1e-9), false, [step](Timer&) { step(true); });
  RunLoop::main().addTimer(animation->timer, CommonRunLoopModes);
  RunLoop::main().addTimer(animation->end, CommonRunLoopModes);
}

void ScrollView::cancelAnimation() {
  if (!animation_) return;
  if (animation_->timer) animation_->timer->invalidate();
  if (animation_->end) animation_->end->invalidate();
  animation_.reset();
}

void ScrollView::stopScrolling() {
  cancelAnimation();
  decelerating_ = false;
  const bool panning =
      pan_->state() == GestureRecognizerState::Began || pan_->state() == GestureRecognizerState::Changed;
  dragging_ = tracking_ = false;
  if (panning) {
    pan_->setEnabled(false);
    pan_->setEnabled(scrollEnabled_);
  }
}

// ---- Dragging -------------------------------------------------------------------

void ScrollView::setScrollEnabled(bool v) {
  scrollEnabled_ = v;
  pan_->setEnabled(v);
}

bool ScrollView::gestureRecognizerShouldBegin(GestureRecognizer& recognizer) {
  if (&recognizer != pan_.get()) return View::gestureRecognizerShouldBegin(recognizer);
  if (!scrollEnabled_) return false;
  const Point t = pan_->translationInView(this);
  const bool alongX = scrollsAlong(0) || alwaysBounceHorizontal_;
  const bool alongY = scrollsAlong(1) || alwaysBounceVertical_;
  // A pan mostly along an axis the content cannot move on belongs to
  // someone else (an outer scroll view, the navigation's pop gesture).
  if (std::fabs(t.y) >= std::fabs(t.x)) return alongY;
  return alongX;
}

void ScrollView::touchesBegan(const TouchSet& touches, const Event* event) {
  // A finger on the content stops its settling where it is.
  tracking_ = true;
  if (animation_ || decelerating_) {
    cancelAnimation();
    if (decelerating_) finishDeceleration();
  }
  View::touchesBegan(touches, event);
}

void ScrollView::touchesEnded(const TouchSet& touches, const Event* event) {
  if (!dragging_) tracking_ = false;
  View::touchesEnded(touches, event);
}

void ScrollView::touchesCancelled(const TouchSet& touches, const Event* event) {
  if (!dragging_) tracking_ = false;
  View::touchesCancelled(touches, event);
}

void ScrollView::handlePan(PanGestureRecognizer& pan) {
  Ref<Object> keep = weak_from_this().lock();
  switch (pan.state()) {
    case GestureRecognizerState::Began: {
      cancelAnimation();
      if (decelerating_) finishDeceleration();
      tracking_ = dragging_ = true;
      // The content follows the finger from here, without the movement
      // the recognizer needed to begin.
      pan.setTranslation({0, 0}, this);
      dragStartOffset_ = contentOffset();
      lockedAxis_ = -1;
      if (keyboardDismissMode_ == ScrollViewKeyboardDismissMode::OnDrag) endEditing(true);
      if (auto d = delegate()) d->scrollViewWillBeginDragging(*this);
      break;
    }
    case GestureRecognizerState::Changed: {
      if (!dragging_) break;
      const Point t = pan.translationInView(this);
      const bool alongX = scrollsAlong(0) || alwaysBounceHorizontal_;
      const bool alongY = scrollsAlong(1) || alwaysBounceVertical_;
      if (directionalLock_ && lockedAxis_ < 0 && (t.x != 0 || t.y != 0))
        lockedAxis_ = std::fabs(t.x) > std::fabs(t.y) ? 0 : 1;
      Point p = dragStartOffset_;
      if (alongX && lockedAxis_ != 1) p.x -= t.x;
      if (alongY && lockedAxis_ != 0) p.y -= t.y;
      if (!bounces_) p = clampedOffset(p);
      applyOffset(p);
      break;
    }
    case GestureRecognizerState::Ended:
    case GestureRecognizerState::Cancelled: {
      if (!dragging_) break;
      const Point v = pan.state() == GestureRecognizerState::Ended ? pan.velocityInView(this) : Point{};
      endDrag({-v.x, -v.y});
      break;
    }
    default: break;
  }
}

Point ScrollView::pagedTarget(Point velocity) const {
  const Size page = bounds().size;
  const Point offset = contentOffset();
  const Point lo = minimumContentOffset(), hi = maximumContentOffset();
  auto along = [&](double pos, double v, double size, double min, double max, double start) {
    if (size <= 0) return std::clamp(pos, min, max);
    const double startPage = std::round(start / size);
    double index = std::round(pos / size);
    // A flick turns one page from where the drag began.
    if (v > kFlingThreshold) index = std::min(std::ceil(pos / size), startPage + 1);
    else if (v < -kFlingThreshold) index = std::max(std::floor(pos / size), startPage - 1);
    return std::clamp(index * size, min, max);
  };
  return {along(offset.x, velocity.x, page.width, lo.x, hi.x, dragStartOffset_.x),
          along(offset.y, velocity.y, page.height, lo.y, hi.y, dragStartOffset_.y)};
}

void ScrollView::endDrag(Point velocity) {
  const Point offset = contentOffset();
  const Point clamped = clampedOffset(offset);
  Point target = offset;
  double duration = AnimationDuration;
  if (pagingEnabled_) {
    target = pagedTarget(velocity);
  } else if (clamped != offset) {
    target = clamped;  // spring back from beyond an edge
    duration = BounceDuration;
  } else if (std::hypot(velocity.x, velocity.y) > kFlingThreshold) {
    // The distance a flick covers while its speed decays by the rate per
    // millisecond, stopped at the edges.
    const double k = decelerationRate_ / (1 - decelerationRate_) / 1000;
    target = clampedOffset({offset.x + velocity.x * k, offset.y + velocity.y * k});
    duration = std::clamp(std::hypot(target.x - offset.x, target.y - offset.y) /
                              std::max(1.0, std::hypot(velocity.x, velocity.y)) * 3,
                          0.2, 2.0);
  }
  if (auto d = delegate()) {
    Point proposed = target;
    d->scrollViewWillEndDragging(*this, {velocity.x / 1000, velocity.y / 1000}, &proposed);
    if (proposed != target) target = clampedOffset(proposed);
  }
  const bool decelerate = target != offset;
  dragging_ = false;
  tracking_ = false;
  if (auto d = delegate()) d->scrollViewDidEndDragging(*this, decelerate);
  if (!decelerate) return;
  decelerating_ = true;
  if (auto d = delegate()) d->scrollViewWillBeginDecelerating(*this);
  if (!decelerating_) return;  // the delegate stopped it
  animateOffset(target, duration, [](ScrollView& self) { self.finishDeceleration(); });
}

void ScrollView::finishDeceleration() {
  if (!decelerating_) return;
  decelerating_ = false;
  if (auto d = delegate()) d->scrollViewDidEndDecelerating(*this);
}

}  // namespace kit
